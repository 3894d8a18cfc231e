// Note_c: the record a note travels in from the MIDI side to the parts, by
// value: note number and velocity. NoteC_c adds the MIDI channel. Both carry
// their range tests and clamps, so a receiver can tell whether a note is
// playable and force it into range. A default record holds -1 everywhere.
#pragma once

#include <cstdint>

class Note_c
{
public:
    Note_c() = default;
    virtual ~Note_c() = default;
    Note_c(const Note_c&) = default;
    Note_c& operator=(const Note_c&) = default;

    // Stores both, then clamps through limitFwd (so a NoteC_c limits its
    // channel too).
    virtual Note_c& set(int note, int velocity);
    // Only a NoteC_c has a channel; here the record stays as it is.
    virtual Note_c& set(int note, int velocity, int channel);
    virtual void reset();
    // A sounding note-on: note 0..127, velocity 1..127.
    virtual bool isValid() const;
    // Any note event: note 0..127, velocity 0..127 (a velocity of 0 is in
    // range but not valid).
    virtual bool isInRange() const;
    // Clamps note to 0..127 and velocity to 1..127.
    virtual void validate();
    // Clamps note and velocity to 0..127.
    virtual void limit();
    virtual void validateFwd() { validate(); }
    virtual void limitFwd() { limit(); }

    int32_t note = -1;
    int32_t velocity = -1;
};

class NoteC_c : public Note_c
{
public:
    NoteC_c() = default;
    // A record of exactly these values (set clamps them; this does not).
    static NoteC_c of(int note, int velocity, int channel)
    {
        NoteC_c n;
        n.note = note;
        n.velocity = velocity;
        n.channel = channel;
        return n;
    }

    NoteC_c& set(int note, int velocity) override;
    NoteC_c& set(int note, int velocity, int channel) override;
    void reset() override;
    // The note tests plus channel 0..15.
    bool isValid() const override;
    bool isInRange() const override;
    // The note clamps plus channel to 0..15.
    void validate() override;
    void limit() override;
    void validateFwd() override { validate(); }
    void limitFwd() override { limit(); }

    int32_t channel = -1;
};
