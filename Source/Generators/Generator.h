// Generator_c: the base of the sound generators of a voice (the analog
// oscillator, the time-stretch sampler, the wavetable generator and the loop
// sampler). It adds what they share: the choice among a plain render and the
// two cross-modulation renders, the unison render of NumUnisonCopies detuned
// copies, and the note arithmetic that turns a key and the generator's
// Octave, Semitone, Cent and Track parameters into a frequency.
//
// Cross-modulation pairs: the generators of slots 1 and 2 form one pair,
// those of slots 3 and 4 the other. The first of a pair is the modulator, the
// second the carrier. Before every render of the pair the voice gives the
// carrier its render mode (setRenderMode) and the modulator the same mode as
// its source mode (setXModSourceMode); the carrier reads the modulator's
// signal from its input bus, one value per output sample.
//
// Unison: while the unison amount (the generator's Spread, cached by the
// subclass) is above UnisonThreshold, render() plays NumUnisonCopies copies
// one after another into the same output, each at its own pitch factor. The
// copies are added at full level; the voice lowers the slot's level when
// Spread is on.
//
// Threads: construction and create while audio is stopped; setRenderMode,
// setXModSourceMode, prepProc and the renders on the audio thread. The
// unison amount is written by cachePara on the thread of a parameter change
// and read by the audio thread, so it is a relaxed atomic.
#pragma once

#include "Capacities.h"
#include "Part.h"

#include <algorithm>
#include <cstdint>

// The rows the samplers open their parameter tables with: on/off, the three
// tuning offsets and whether the pitch follows the key. Each module gives
// its own indices; names, ranges and defaults are the same everywhere.
namespace SamplerRows {
constexpr ParaRow_s onOff(int index)
{
    return {.index = index, .kind = ParaKind::OnOff, .name = "On/Off", .def = 1};
}
constexpr ParaRow_s octave(int index)
{
    return {.index = index, .name = "Octave", .lo = -3, .hi = 3, .precision = 0, .def = 0};
}
constexpr ParaRow_s semitone(int index)
{
    return {.index = index, .name = "Semitone", .lo = -11, .hi = 11, .precision = 0, .def = 0};
}
constexpr ParaRow_s cent(int index)
{
    return {.index = index, .name = "Cent", .lo = -99, .hi = 99, .precision = 0, .def = 0};
}
constexpr ParaRow_s pitchTrack(int index)
{
    return {.index = index, .kind = ParaKind::OnOff, .name = "PitchTrack On/Off", .def = 1};
}
} // namespace SamplerRows

class Generator_c : public Part_c
{
public:
    // The render modes. The voice maps its pair routing (0 Mix, 1 AM, 2 FM)
    // to these (0, 2, 1).
    enum RenderMode_t : int {
        rmPlain = 0,
        rmCrossFM = 1,
        rmCrossAM = 2,
    };

    // Spread values up to this render one copy; above it, every copy plays.
    static constexpr float UnisonThreshold = 0.001f;
    // Pitch factor of unison copy k: 1 + UnisonDetune[k] x d, d the unison
    // amount. The oscillator keeps a table of its own.
    static constexpr float UnisonDetune[NumUnisonCopies] = {0.0f, 0.0011f, -0.00117f, -0.00056f, 0.0006f};

    // finishes: whether "finished" from renderOne is passed on by render.
    // Samplers that run out pass true; the oscillator and the wavetable
    // generator never end a voice and pass false. Every generator starts at
    // 44.1 kHz until the engine gives it its rate.
    explicit Generator_c(bool finishes);
    ~Generator_c() override;

    using Part_c::create;
    using Part_c::prepProc;

    // While audio is stopped: Part_c::create with the engine and its tuning
    // table (nothing of that for a null engine), then keeps the voice's sync
    // rows (not used by any generator, kept for the voice).
    virtual void create(Synth* s, unsigned int** syncRows);
    // Audio thread, before every render of the pair.
    void setRenderMode(int mode) { renderMode = mode; }
    void setXModSourceMode(int mode) { xModSourceMode = mode; }
    // Audio thread: renders n samples of one piece: the unison render while
    // the unison amount is above UnisonThreshold, otherwise copy 0 at pitch
    // factor 1. True when the generator has finished (only ever when the
    // finishes flag is set). Nothing while the part is switched off.
    virtual bool render(int n);
    // Audio thread: the copies one after another, each at its pitch factor
    // (1 + UnisonDetune[k] d); the pitch factor is 1 again afterwards. The
    // result is copy 1's: a sampler whose copy 1 ran out ends the generator
    // even while slower copies still play.
    virtual bool renderUnisono(int n, float d);
    // Audio thread: one copy (0..NumUnisonCopies-1) in the current render
    // mode: renderNX, renderXF or renderXA. Another mode renders nothing.
    virtual bool renderOne(int n, int copy);
    // The plain, cross-AM and cross-FM render of one copy; nothing here.
    virtual bool renderNX(int n, int copy);
    virtual bool renderXA(int n, int copy);
    virtual bool renderXF(int n, int copy);

    // Audio thread: the part's note start; nothing more.
    void prepProc(int instrument, Note_c note, bool legato) override;

    // Hz of `note` through the tuning table with the generator's parameters
    // of the set chosen at the last note start (an index of -1 is not used):
    // Track off plays note 24; Octave adds that many octaves of the table's
    // semitones per octave, Semitone its semitones, Cent its cents. The note
    // is kept within 0..127 before the lookup. Without a tuning table (no
    // table object, or one whose table is not built yet) every note is 440 Hz.
    float getFrequency(int note, int trackPara, int octavePara, int semitonePara, int centPara) const;
    // The same arithmetic without cents and without the limits; 60 without a
    // tuning table.
    int getNoteNr(int note, int trackPara, int octavePara, int semitonePara) const;

    int getRenderMode() const { return renderMode; }
    int getXModSourceMode() const { return xModSourceMode; }
    unsigned int** getSyncRows() const { return syncRows; }

    const bool finishes;
    // Copies of the unison render.
    const int32_t unisonCount = NumUnisonCopies;
    // The unison amount d: the Spread display value, cached by the subclass.
    RelaxedAtomic_t<float> unisonAmount{0.0f};
    // The factor of the copy being rendered; 1 outside a unison render.
    float pitchFactor = 1.0f;

protected:
    // A copy number kept within 0..NumUnisonCopies-1: the index into a
    // subclass's per-copy state and tables.
    static int copySlot(int copy) { return std::clamp(copy, 0, NumUnisonCopies - 1); }
    // The speed factor P(y)^4 of a pitch input value y (pitchFactor in
    // Tone.h), y kept within -1..1 (P(y)^4 grows like y^12 beyond) and NaN
    // taken as 0.
    static double inputPitchFactor(float y);
    // Audio thread, at a note start after the base's prepProc: caches the
    // note's set (cachePara for crVoiceStart). False, and nothing cached,
    // without a parameter set.
    bool cacheNoteStart();
    // Whether the generator has a tuning table it can read.
    bool hasTuning() const;
    // Parameter idx of the note's set; null for -1, before a note or for an
    // index outside the set.
    const Parameter_c* notePara(int idx) const;
    // The note before cents: Track, Octave and Semitone applied.
    int offsetNote(int note, int trackPara, int octavePara, int semitonePara) const;
    // The Octave, Semitone and Cent offsets of the parameters p as one speed
    // ratio: 2^(octave + semitone / 12 + cent / 1200), in equal temperament
    // whatever the tuning table.
    static double offsetRatio(const Parameter_c* p, int octavePara, int semitonePara, int centPara);

    int32_t renderMode = rmPlain;
    int32_t xModSourceMode = rmPlain;
    unsigned int** syncRows = nullptr;
};
