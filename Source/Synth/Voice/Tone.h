// Tone_c: the base of a voice. The voice is a part group whose children are
// its per-voice modules (generators, filters, amplifiers, panners,
// envelopes, LFOs, glide); Tone_c adds the modulation matrix that connects
// them:
//
//   sources       up to NumModSources floats that the note, the instrument's
//                 controllers and the modulators write (each a pointer, a pre
//                 flag and a scaled-kind flag);
//   destinations  up to NumModDests floats that the voice's modules read as
//                 their live coefficients (each a pointer, an additive flag
//                 and a third-group flag);
//   rows          (source, amount, destination) triples read from a matrix
//                 part's parameters at every note start and sorted into nine
//                 lists by when they apply (per block "pre", per control step
//                 "post", once at note start) and how (additive,
//                 multiplicative, scaled).
//
// The concrete voice defines its sources and destinations, calls prepProc
// and precalcModulation at note start, applies the note-start lists, and per
// block writes its base destination values and row amounts, calls
// premodulate once and modulate once per control step of ControlStepFrames
// samples. docs/voices.md tells the whole story.
//
// Threads: create, defineModSource/defineModDest of the fixed slots and
// setSampleRate while audio is stopped; everything else on the audio thread.
// Nothing here allocates, locks or waits: the lists live in fixed arrays
// inside the voice.
#pragma once

#include "Capacities.h"
#include "Note.h"
#include "Part.h"

#include <cstdint>

class Instrument_c;
class Synth;

// The factor a pitch modulation value y stands for: P(y)^4 with
// P(y) = 1 + 0.695218770961068 y + 0.2480732860777168 y^2 + 0.05362607007876781 y^3,
// a cheap stand-in for 2^(4y) on -1..1. So 1.0 is four octaves up, 0.25 one
// octave and 1/48 one semitone.
constexpr double pitchFactor(double y)
{
    const double p = 1.0 + 0.695218770961068 * y + 0.2480732860777168 * y * y + 0.05362607007876781 * y * y * y;
    const double p2 = p * p;
    return p2 * p2;
}

// The source slots the instrument uses, by number. The matrix's source
// parameter offers them as ModSourceItems, value -1 ("none") first.
enum ModSourceNumber_t : int {
    msNone = -1,
    msNoteLog = 0,    // the key's signed square
    msNoteLin = 1,    // the key, bipolar
    msVelocity = 2,   // bipolar
    msAftertouch = 3, // poly + channel, smoothed
    msPitchWheel = 4, // 4..12: the playing instrument's controllers, bound at every note start
    msModWheel = 5,
    msBreath = 6,
    msFoot = 7,
    msExpression = 8,
    msCC16 = 9,
    msCC17 = 10,
    msCC18 = 11,
    msCC19 = 12,
    msLFO1 = 13, // 13..16: LFOs 1..4
    msGenEnvelope1 = 17,
    msGenEnvelope2 = 18,
    msModEnvelope1 = 19,
    msModEnvelope2 = 20,
    msFil1Envelope = 21,
    msFil2Envelope = 22,
    msAmpEnvelope = 23,
    msGlideCurve = 24,
    msArpeggiator = 25,
    msAlternate = 26,
    msConstant = 27,
    ModSourcesUsed = 28
};

// The matrix source parameter's items, ModSourceItemWidth characters each,
// for the values -1 .. ModSourcesUsed - 1.
constexpr int ModSourceItemWidth = 12;
inline constexpr char ModSourceItems[] = "    - - -   "
                                         "  Note Log  "
                                         "  Note Lin  "
                                         "  Velocity  "
                                         "Aftertouch  "
                                         "Pitch Wheel "
                                         "ModulatWheel"
                                         "BreathContr "
                                         " FootContr  "
                                         "ExpressContr"
                                         "CC16 Contr  "
                                         "CC17 Contr  "
                                         "CC18 Contr  "
                                         "CC19 Contr  "
                                         "   LFO 1    "
                                         "   LFO 2    "
                                         "   LFO 3    "
                                         "   LFO 4    "
                                         "GenEnvelope1"
                                         "GenEnvelope2"
                                         "ModEnvelope1"
                                         "ModEnvelope2"
                                         "Fil1Envelope"
                                         "Fil2Envelope"
                                         "Amp Envelope"
                                         "Glide Curve "
                                         "Arpeggiator "
                                         "Alternate   "
                                         "Constant    ";
static_assert(sizeof(ModSourceItems) - 1 == (ModSourcesUsed + 1) * ModSourceItemWidth,
              "one item per source value, -1 included");

// How the instrument defines its sources: pre sources are known at the start
// of a block (the note, the controllers, the constants: 0..12, 26, 27); the
// modulators and the arpeggiator (13..25) are post. Scaled kind: sources
// that run 0..1 as "how much is left" (3, 5..8, 17..23, 25, 27).
constexpr bool modSourceIsPre(int s)
{
    return (s >= msNoteLog && s <= msCC19) || s == msAlternate || s == msConstant;
}
constexpr bool modSourceIsScaledKind(int s)
{
    return s == msAftertouch || (s >= msModWheel && s <= msExpression) ||
           (s >= msGenEnvelope1 && s <= msAmpEnvelope) || s == msArpeggiator || s == msConstant;
}

class Tone_c : public PartGroup_c
{
public:
    // The nine row lists: by timing (pre: once per block; post: once per
    // control step; note start: once, by the concrete voice) and by kind.
    enum ModList_t : int {
        mlPreAdditive = 0,
        mlPreMultiplicative,
        mlPreScaled,
        mlPostAdditive,
        mlPostMultiplicative,
        mlPostScaled,
        mlNoteStartAdditive,
        mlNoteStartMultiplicative,
        mlNoteStartScaled,
        ModListCount
    };
    // Entries of a list: every row and the terminator.
    static constexpr int ModListEntries = NumModRows + 1;

    // One list: three parallel arrays, ended by a null source.
    struct ModRowList_t
    {
        const float* source[ModListEntries] = {};
        const float* amount[ModListEntries] = {};
        float* dest[ModListEntries] = {};
        int32_t count = 0;
    };

    struct ModSource_t
    {
        const float* value = nullptr; // the constant 1.0 until defined
        uint8_t pre = 0;              // known at block start: applied per block
        uint8_t scaledKind = 0;       // 0..1 source that scales down from 1 (scaled mode)
    };
    struct ModDest_t
    {
        float* value = nullptr;  // the scratch cell until defined
        uint8_t additive = 0;    // rows add source x amount; otherwise they multiply
        uint8_t thirdGroup = 0;  // applied once at note start by the concrete voice
    };

    // scaledMode false: no row is ever put into a scaled list.
    explicit Tone_c(bool scaledMode);
    ~Tone_c() override;

    // Only while audio is stopped: the children, then the aftertouch
    // smoothing coefficient 1400 / rate kept within 0.0025..0.25.
    void setSampleRate(float rate) override;

    using PartGroup_c::prepProc;

    // --- Voice operations -----------------------------------------------------
    // Only while audio is stopped: binds the engine, the matrix part (whose
    // parameters hold the rows), the voice index, and the live destination
    // block with its saved copy (blockBytes each) and the bytes of row
    // amounts saved with it (at most NumModRows floats). Ignored for a null
    // engine or part, a null block with a non-zero size, or a negative size.
    virtual void create(Synth* synth, Part_c* matrixPart, int voiceIndex, float* saved, float* live,
                        int blockBytes, int amountBytes);
    // Audio thread: a note starts (the engine passes reused and legato):
    // note, key, velocity and aftertouch sources, the alternate value, the
    // children's note start and the pitch-bend ranges. Nothing without an
    // engine.
    virtual void prepProc(int instrument, NoteC_c note, bool reused, bool legato);
    // Audio thread: renders frames samples; true when the voice has finished
    // and may be freed. The base has nothing to play and answers true.
    virtual bool render(int frames);
    // Address of row `row`'s amount; null outside 0..NumModRows-1.
    virtual float* getModAmountPtr(int row);
    // Audio thread: the gain of the note's place in its instrument's key and
    // velocity zone, set by the engine before the note start when zones of
    // several instruments overlap (1.0 otherwise). The concrete voice
    // applies it to its level.
    void setFadeVolume(float gain) { fadeVolume = gain; }
    float getFadeVolume() const { return fadeVolume; }
    // Audio thread: store the pressure and refresh the sum of both.
    virtual void setPolyAftertouch(float value);
    virtual void setMonoAftertouch(float value);
    // The float destination `dest` stands for (the row is not used); the
    // scratch cell for an index outside 0..NumModDests-1.
    virtual float* getModDestOffer(int row, int dest);

    // --- Matrix ---------------------------------------------------------------
    // Slot i reads *p. Ignored unless 0 <= i < NumModSources and p is set.
    void defineModSource(int i, float* p, bool pre, bool scaledKind);
    // Slot i is *p. Ignored unless 0 <= i < NumModDests and p is set.
    void defineModDest(int i, float* p, bool additive, bool thirdGroup);
    // Audio thread, after prepProc: sorts the rows into the nine lists. Row r
    // (0..rows-1, at most NumModRows) takes its source from matrix parameter
    // srcPara + r and its destination from destPara + r (-1: none); a row
    // whose destination lies in amountDestFirst .. amountDestFirst +
    // amountDestCount - 1 modulates the amount of row dest - amountDestFirst
    // and is listed before that row. amountPara is not read (amounts come
    // through getModAmountPtr). Rows whose source is outside
    // 0..NumModSources-1, whose destination is outside 0..NumModDests-1 or
    // whose parameters lie outside the matrix part's set are in no list.
    // Without matrix rows for the note's instrument every list is empty.
    void precalcModulation(int srcPara, int amountPara, int destPara, int amountDestFirst, int rows,
                           int amountDestCount);
    // Whether row `row` can be applied per block: its source is a pre source
    // and so are the sources of the rows that modulate its amount (the last
    // such row in index order decides; nesting deeper than MaxPreLevel
    // counts as pre).
    bool isModSourcePre(int row, int srcPara, int destPara, int rows, int amountDestFirst, int level,
                        int amountDestCount);
    // Audio thread, once per block after the concrete voice has written the
    // base destination values and row amounts: the pre lists, then the live
    // block and the row amounts are saved.
    void premodulate();
    // Audio thread: the pre lists alone, for a voice whose note has no
    // per-step rows (nothing restores the block, so nothing need be saved).
    void applyPreLists();
    // Audio thread, once per control step: aftertouch smoothing and the
    // instrument's controller step every ControllerChunkFrames samples, the
    // saved block back into the live one, then the post lists.
    void modulate();
    // Audio thread: the aftertouch and controller part of modulate only, for
    // voices without a matrix. Inline: it runs at every control step of
    // every voice and mostly only counts.
    void modulateNoMatrix()
    {
        if (stepCounter % ControllerChunkFrames == 0)
            aftertouchSmoothed =
                aftertouchCoefficient * aftertouchSum + (1.0f - aftertouchCoefficient) * aftertouchSmoothed;
        stepCounter += ControlStepFrames;
        if (stepCounter % ControllerChunkFrames == 0 && instrument)
            stepControllers();
    }

    // Apply one list: d += s a; d *= 1 + s a; scaled: d *= 1 - (1 - s) a for
    // a > 0, else d *= 1 + s a.
    static void applyAdditive(const ModRowList_t& list);
    static void applyMultiplicative(const ModRowList_t& list);
    static void applyScaled(const ModRowList_t& list);
    // List k (clamped to the nine).
    const ModRowList_t& getModList(int k) const;

    const ModSource_t& getModSource(int i) const;
    const ModDest_t& getModDest(int i) const;
    int getVoiceIndex() const { return voiceIndex; }
    int getInstrumentIndex() const { return instrumentIndex; }
    Instrument_c* getInstrument() const { return instrument; }
    Part_c* getMatrixPart() const { return matrixPart; }
    bool getScaledMode() const { return scaledMode; }
    float getAftertouchCoefficient() const { return aftertouchCoefficient; }
    uint32_t getStepCounter() const { return stepCounter; }

    // isModSourcePre counts this level and deeper as pre.
    static constexpr int MaxPreLevel = 7;

    // --- Source cells, computed at note start (the concrete voice binds them)
    float keySignedSquare = 0.0f; // 2|x|x of the key bipolar x, within -1..1: "Note Log"
    float keyBipolar = 0.0f;      // key / 127 x 2 - 1: "Note Lin"
    float keyOffset = 0.0f;       // (key - 60) / 48
    float velocityBipolar = 0.0f; // 2 w - 1: "Velocity"
    float velocity = 0.0f;        // w, the velocity through the "VelCurve" curve
    float polyAftertouch = 0.0f;
    float monoAftertouch = 0.0f;
    float aftertouchSum = 0.0f;      // poly + channel
    float aftertouchSmoothed = 0.0f; // follows the sum every ControllerChunkFrames samples: "Aftertouch"
    float alternateValue = 0.0f;     // the instrument's alternate value at note start: "Alternate"
    float constantOne = 1.0f;        // "Constant"; every undefined source reads it

    // The playing note; -1 everywhere before the first.
    NoteC_c note;
    // Pitch-bend ranges in units of 48 semitones times the tuning table's
    // semitone scale; -1 before the first note.
    float pitchBendUp = -1.0f;
    float pitchBendDown = -1.0f;
    // One amount per matrix row, written by the concrete voice every block;
    // the first amountBytes of them are saved with the block.
    float rowAmounts[NumModRows] = {};
    float savedRowAmounts[NumModRows] = {};

protected:
    // Value of matrix parameter base + offset; -1 (none) without rows or for
    // an index outside the set.
    int matrixValue(int base, int offset) const;
    // Pre flag of source slot s; false for a source outside the table.
    bool sourceIsPre(int s) const;
    void clearLists();
    // The instrument's smoothed controllers one chunk on.
    void stepControllers();

    const bool scaledMode;
    int32_t voiceIndex = -1;
    int32_t instrumentIndex = -1;
    Instrument_c* instrument = nullptr;
    Part_c* matrixPart = nullptr;
    // The matrix part's render parameters for the playing instrument, and
    // how many there are.
    const Parameter_c* matrixRows = nullptr;
    int32_t matrixParaCount = 0;
    // Samples of the note in steps of ControlStepFrames; wraps without harm
    // (2^32 is a multiple of every interval it is tested against).
    uint32_t stepCounter = 0;

    float* savedBlock = nullptr;
    float* liveBlock = nullptr;
    int32_t blockBytes = 0;
    int32_t amountBytes = 0; // 0: no row amounts saved
    float aftertouchCoefficient = 0.0025f;
    float fadeVolume = 1.0f;
    float scratchDest = 1.0f; // where undefined destinations point

    ModSource_t sources[NumModSources];
    ModDest_t dests[NumModDests];
    ModRowList_t lists[ModListCount];
};
