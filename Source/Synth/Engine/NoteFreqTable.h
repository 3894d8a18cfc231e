// NoteFreqTable_c: the engine's tuning, a table of NumTuningNotes frequencies
// in Hz (MIDI notes 0..128) through which every module turns a fractional
// note number into a frequency. It starts in 12-tone equal temperament, can
// switch to a tonewheel-organ tuning and can load a microtuning from a ".tun"
// text file. As a part with the type code 'TUN0' its table travels in the
// project chunk as the float-array parameter "Frequencies".
//
// One rule decides what a usable frequency is, everywhere: finite, above 0
// and at most MaxUsableHz. A .tun line that gives anything else is ignored,
// and fixSongLoad replaces a restored table holding any unusable entry.
//
// .tun grammar (only note lines count, in whatever section they stand):
//   [chars 1..32] "note" (any case) [anything that is not a digit, '=' or
//   blank ends the line's chances] digits (chars 1..32 skipped) "=" digits
//   [("," | ".") digits] (chars 1..32 skipped) end of line
// The number after "=" is the absolute pitch in cents above note 0. CR LF
// line ends need nothing special: CR is one of the skipped characters.
// Parsing is byte-based and locale-free.
//
// Threads: loading, init and parameter changes run on the user-interface
// thread; get, getNoteNr, getSemiPerOct and getSemiScale may run on the audio
// thread. Table entries are written and read as relaxed atomics, and a file
// is parsed into a copy that is stored only when the parse is done.
#pragma once

#include "Capacities.h"
#include "Part.h"
#include "Path.h"

#include <cstddef>
#include <cstdint>

class NoteFreqTable_c : public Part_c
{
public:
    // Note 0 in Hz, so that note 69 is 440 Hz in equal temperament.
    static constexpr double BaseFrequency = 8.175798915643707;
    // The highest frequency a table entry may hold (Hz).
    static constexpr double MaxUsableHz = 100000.0;

    // Parameter indices of the 'TUN0' set.
    enum Para_t : int {
        tpVersion = 0,
        tpOnOff = 1,       // part of the set; nothing reads it
        tpFrequencies = 2, // the table itself
        tpFilePath = 3,    // the loaded .tun file, or the built-in tuning's name
        tpLoadCommand = 4, // writing a path here loads that file
        tpCount = 5,
    };

    NoteFreqTable_c() = default;
    ~NoteFreqTable_c() override;

    // Fills the table with equal temperament or the tonewheel tuning and sets
    // "TUN-File Path" to "12 Tone Equal" or "Tonewheel" (no notification).
    virtual void init(bool tonewheel);

    // Builds the one-set 'TUN0' set on first use (nSets is ignored: there is
    // one table), binds the table and fills it with equal temperament. True
    // when the set is defined.
    bool getParaSetPtr(ParaSet_c** shared) override;
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    int getTypeCode() const override;
    // After the part's own handling: index 3 or -1 (a chunk was read) reloads
    // the named file when the path is not empty; index 4 first copies its
    // text into "TUN-File Path".
    void postprocessParaChange(int set, int index) override;

    // Hz of a fractional note: linear between the two neighbouring entries
    // (the end segments extrapolate); 0 without a table.
    float get(float note) const;
    // The note 0..127 whose entry the bisection ends on; 60 without a table.
    int getNoteNr(float hz) const;
    int getSemiPerOct() const { return semitonesPerOctave; }
    float getSemiScale() const { return semitoneScale; }
    // Entry n clamped to 0..NumTuningNotes-1; 0 without a table.
    float getEntry(int n) const;
    bool hasTable() const { return table != nullptr; }

    // Reads a .tun file: only a regular file of at most TunFileMaxBytes is
    // opened (a chunk may name /dev/zero or a pipe). False without a table,
    // for an empty path or a file that cannot be read (the table unchanged);
    // otherwise loadTunText's result.
    bool loadTunFile(Tool::Disk::Path_c& path);
    // Applies the note lines of a .tun text of n bytes. True when every note
    // line counted; lines that do not are ignored and the others still load.
    // False without a table.
    bool loadTunText(const char* text, size_t n);
    // Derives semitones per octave and the semitone scale from the table.
    void determineSemiScale();
    // After a project chunk: equal temperament when any entry is unusable.
    void fixSongLoad();

    // The scanners of the grammar. Both skip characters 1..32, stop at the
    // first other character (position is left on it) and answer whether they
    // read a digit. Values saturate instead of overflowing. ScanFloat takes
    // one "," or "." and fraction digits after it.
    static bool ScanLong(const char* text, int* position, int* value);
    static bool ScanFloat(const char* text, int* position, float* value);
    // Finite, above 0 and at most MaxUsableHz.
    static bool isUsableFrequency(double hz);

private:
    float loadEntry(int n) const;
    void storeEntry(int n, float hz);
    void bindTable();

    float* table = nullptr; // the payload of "Frequencies" in set 0; not owned
    RelaxedAtomic_t<int32_t> semitonesPerOctave{12};
    RelaxedAtomic_t<float> semitoneScale{1.0f};
};
