#include "LFO.h"

#include "ParaRow.h"
#include "SafeDiv.h"
#include "Synth.h"
#include "TempoSync.h"
#include "XorShift.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <new>

namespace {

// The note-value items of the segment LFO: the shared list with its first
// item written "Off  " instead of " Off ".
constexpr auto makeLFONoteValueItems()
{
    std::array<char, sizeof(NoteValueItems)> items{};
    for (size_t i = 0; i < items.size(); ++i)
        items[i] = NoteValueItems[i];
    constexpr char off[] = "Off  ";
    for (int i = 0; i < NoteValueItemWidth; ++i)
        items[static_cast<size_t>(i)] = off[i];
    return items;
}
constexpr auto LFONoteValueItems = makeLFONoteValueItems();

constexpr char WaveformItems[] = "Sine  TriangSawtooSquareNoise Sam&Ho";

// Below this tempo the host's tempo is not trusted and the free rate counts.
constexpr double MinSyncBpm = 6.0;

// A waveform whose whole cycle has no length waits this many control steps
// before it looks again.
constexpr int ZeroCycleWaitSteps = 8;

// Noise and sample-and-hold take eight random values per cycle.
constexpr double NoiseValuesPerCycle = 8.0;

// The parameters both LFO classes have at the same indices: 1 "S0 On/Off",
// 2 "Waveform", 3 "Frequency" (Hz), 4 "Sync", 5 "Frequency" (note value, with
// the class's items and default) and 10 "Symmetry".
void defineCommonLFOParas(Parameter_c* p, const char* noteItems, int noteDefault)
{
    createParas(p, {
        {.index = LFOSimp_c::pOnOff, .kind = ParaKind::OnOff, .name = "S0 On/Off", .def = 1},
        {.index = LFOSimp_c::pWaveform, .kind = ParaKind::Enu, .name = "Waveform", .lo = 0, .hi = 5, .def = 1,
         .width = 6, .items = WaveformItems},
        {.index = LFOSimp_c::pFrequency, .name = "Frequency", .unit = "Hz", .logFactor = 4.0f, .lo = 1, .hi = 3200,
         .precision = 2, .def = 100},
        {.index = LFOSimp_c::pSync, .kind = ParaKind::OnOff, .name = "Sync", .def = 1},
        {.index = LFOSimp_c::pNotes, .kind = ParaKind::Enu, .name = "Frequency", .unit = "Notes",
         .lo = NoteValueCodeOff, .hi = NoteValueCodeLast, .def = noteDefault, .width = NoteValueItemWidth,
         .items = noteItems},
        {.index = LFOSimp_c::pSymmetry, .name = "Symmetry", .unit = "%", .lo = 4, .hi = 96, .precision = 2, .def = 50},
    });
}

constexpr bool sameIndex(int a, int b)
{
    return a == b;
}
static_assert(sameIndex(AdvLFO_c::pOnOff, LFOSimp_c::pOnOff) && sameIndex(AdvLFO_c::pWaveform, LFOSimp_c::pWaveform) &&
              sameIndex(AdvLFO_c::pFrequency, LFOSimp_c::pFrequency) && sameIndex(AdvLFO_c::pSync, LFOSimp_c::pSync) &&
              sameIndex(AdvLFO_c::pNotes, LFOSimp_c::pNotes) && sameIndex(AdvLFO_c::pSymmetry, LFOSimp_c::pSymmetry),
              "both LFO classes keep the shared parameters at the same indices");

// Seeds of the LFOs in construction order, so each has its own noise.
std::atomic<uint32_t> seedCounter{0};

// "Sync" switched off means tempo sync off: the note value goes to its lowest
// value ("Off") and "Sync" back on. Only for a defined on/off parameter, so
// the notifications this sends cannot come back here for ever.
void applySyncRule(Part_c& part, int set, int syncIdx, int notesIdx)
{
    const Parameter_c* sync = part.getParaPtr(set, syncIdx);
    const Parameter_c* notes = part.getParaPtr(set, notesIdx);
    if (!sync || !notes || sync->getType() != ptOnOff || sync->value != 0)
        return;
    part.setParaVal(set, notesIdx, notes->getLowValue());
    part.setParaOn(set, syncIdx, true);
}

// The set of AdvLFO_c. Besides its own parameters it holds the sets of the
// embedded LFO and envelope that every AdvLFO_c bound to it shares, as one
// of their users, so they live as long as the outer set.
class AdvLFOParaSet_c : public ParaSet_c
{
public:
    using ParaSet_c::ParaSet_c;
    ~AdvLFOParaSet_c() override
    {
        if (lfoHeld)
            ParaSet_c::release(lfoSet);
        if (envHeld)
            ParaSet_c::release(envSet);
    }
    ParaSet_c* lfoSet = nullptr;
    ParaSet_c* envSet = nullptr;
    bool lfoHeld = false;
    bool envHeld = false;
};

} // namespace

// ---------------------------------------------------------------------------
// LFOSimp_c: waveform tables

const LFOSimp_c::Segment_t LFOSimp_c::waveforms[LFOWaveformCount][LFOMaxSegments] = {
    // Sine: a 14-segment approximation.
    {{10, 30, 0}, {8, 45, 0}, {6, 50, 0}, {2, 50, 0}, {6, 45, 0}, {8, 30, 0}, {10, 0, 0},
     {10, -30, 1}, {8, -45, 1}, {6, -50, 1}, {2, -50, 1}, {6, -45, 1}, {8, -30, 1}, {10, 0, 1}},
    // Triangle.
    {{25, 50, 0}, {25, 0, 0}, {25, -50, 1}, {25, 0, 1}},
    // Sawtooth: jumps to the top, then falls.
    {{0, 50, 0}, {50, 0, 0}, {50, -50, 1}},
    // Square: jumps, then holds each half.
    {{0, 50, 0}, {50, 50, 0}, {0, -50, 1}, {50, -50, 1}},
    // Noise and sample-and-hold do not walk their segments; the cycle is
    // their table.
    {{50, 0, 1}, {0, 0, 0}},
    {{50, 0, 1}, {0, 0, 0}},
};

const int32_t LFOSimp_c::segmentCounts[LFOWaveformCount] = {14, 4, 3, 4, 2, 2};

// ---------------------------------------------------------------------------
// LFOSimp_c

LFOSimp_c::LFOSimp_c()
{
    setRandomSeed(seedCounter.fetch_add(1, std::memory_order_relaxed) + 1);
}

LFOSimp_c::~LFOSimp_c() = default;

void LFOSimp_c::setRandomSeed(uint32_t seed)
{
    // Spread the seed over all bits; xorshift must not start at 0.
    uint32_t z = seed + 0x9E3779B9u;
    z = (z ^ (z >> 16)) * 0x85EBCA6Bu;
    z = (z ^ (z >> 13)) * 0xC2B2AE35u;
    z ^= z >> 16;
    randomState = z != 0 ? z : 0x6D2B79F5u;
    for (uint8_t& b : noiseTable)
        b = static_cast<uint8_t>(nextRandom() >> 24);
}

uint32_t LFOSimp_c::nextRandom()
{
    return xorshift32(randomState);
}

float LFOSimp_c::byteLevel(uint8_t b)
{
    return static_cast<float>(b) / 255.0f * 2.0f - 1.0f;
}

bool LFOSimp_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    bool result = false;
    Parameter_c* p = beginParaDefinition(shared, nSets, ParaCount, &result);
    if (!p)
        return result;
    defineCommonLFOParas(p, LFONoteValueItems.data(), NoteValueCodeOff);
    createParas(p, {
        {.index = pUnused6, .name = "Unused", .lo = 0, .hi = 96, .precision = 0, .def = 0},
        {.index = pReserve7, .name = "Reserve", .lo = 0, .hi = 1, .precision = 0, .def = 0},
        {.index = pReserve8, .name = "Reserve", .lo = 0, .hi = 1, .precision = 0, .def = 0},
        {.index = pUnused9, .name = "Unused", .lo = 0, .hi = 1, .precision = 0, .def = 0},
    });
    return paraSet->spreadPara();
}

void LFOSimp_c::postprocessParaChange(int set, int idx)
{
    Modulator_c::postprocessParaChange(set, idx);
    if (idx == pSync || idx == -1)
        applySyncRule(*this, set, pSync, pNotes);
}

int LFOSimp_c::waveform(const Parameter_c* para) const
{
    return std::clamp<int>(para[pWaveform].value, 0, LFOWaveformCount - 1);
}

double LFOSimp_c::getFrequency(const Parameter_c* para) const
{
    if (!para)
        return 0.0;
    double f = para[pFrequency].fl;
    const int code = para[pNotes].value;
    const double bpm = Bpm.load(std::memory_order_relaxed);
    // Synced when the code is above the parameter's low bound ("Off").
    if (code > para[pNotes].getLowValue() && bpm >= MinSyncBpm)
        f = FractToQuarterMultiple::rateHz(code, bpm);
    return f;
}

double LFOSimp_c::segmentShare(const Parameter_c* para, int wf, int k) const
{
    const Segment_t& seg = waveforms[wf][k];
    double share = seg.length * 0.01;
    const double s = para[pSymmetry].fl;
    if (s < 0.499 || s > 0.501)
        share *= seg.secondHalf ? 2.0 * (1.0 - s) : 2.0 * s;
    return share;
}

int LFOSimp_c::getSegmentLength(int k)
{
    const Parameter_c* para = renderParameters;
    double x = carry;
    if (para && k >= 0 && sampleRate > 0.0f) {
        const int wf = waveform(para);
        if (k < segmentCounts[wf]) {
            const double cycleSteps = so_ddiv(static_cast<double>(sampleRate), getFrequency(para));
            x += segmentShare(para, wf, k) * cycleSteps * scale1 * scale2 * std::exp2(-2.0 * speedOffset);
        }
    }
    if (!(x >= 0.0)) {
        carry = 0.0f;
        return 0;
    }
    if (x >= static_cast<double>(ModHoldSteps)) {
        carry = 0.0f;
        return ModHoldSteps;
    }
    const int steps = static_cast<int>(x);
    carry = static_cast<float>(x - steps);
    return steps;
}

bool LFOSimp_c::prepareLFOvelope(int k)
{
    const Parameter_c* para = renderParameters;
    if (!para || !(sampleRate > 1.0f))
        return false;
    const int wf = waveform(para);
    const int count = segmentCounts[wf];
    float target = 0.0f;
    int steps = 0;
    // Zero-length segments are jumps: take their level and go on. A whole
    // cycle of them (a rate so high that no segment gets a step) must not
    // keep the loop going: wait a few steps and look again.
    for (int visited = 0;; ++visited) {
        if (k < 0 || k >= count)
            k = 0;
        stage = k;
        if (k == 0)
            locValue = 0.0f; // a cycle starts at 0
        target = static_cast<float>(waveforms[wf][k].level) * 0.02f;
        steps = getSegmentLength(k);
        if (steps > 0)
            break;
        locValue = target;
        ++k;
        if (visited + 1 >= count) {
            subStage = target;
            locIncrement = 0.0f;
            locRemaining = ZeroCycleWaitSteps;
            return true;
        }
    }
    subStage = target;
    locIncrement = std::clamp((target - locValue) / static_cast<float>(steps), -2.0f, 2.0f);
    locRemaining = std::min(steps, ModHoldSteps);
    return true;
}

bool LFOSimp_c::stepNoise(bool hold)
{
    const Parameter_c* para = renderParameters;
    if (!para || !(sampleRate > 0.0f))
        return false;
    // The index always stays inside the table, whatever stage held before
    // (a quick fade-out leaves 99, a bad caller anything).
    stage = (stage + 1) & (LFONoiseTableSize - 1);
    const float target = byteLevel(noiseTable[stage]);
    const double valueSteps = std::exp2(-2.0 * speedOffset) * so_ddiv(1.0, getFrequency(para)) *
                              static_cast<double>(sampleRate) / NoiseValuesPerCycle * scale1 * scale2;
    const int n = toControlSteps(valueSteps);
    subStage = target;
    if (hold) {
        locValue = target;
        locIncrement = 0.0f;
    } else {
        locIncrement = std::clamp((target - locValue) / static_cast<float>(n), -2.0f, 2.0f);
    }
    locRemaining = n;
    return true;
}

bool LFOSimp_c::prepareNoise()
{
    return stepNoise(false);
}

bool LFOSimp_c::prepareSH()
{
    return stepNoise(true);
}

void LFOSimp_c::readSlots()
{
    locRemaining = *remainingPtr;
    locValue = *valuePtr;
    locIncrement = *incrementPtr;
}

void LFOSimp_c::writeSlots()
{
    *valuePtr = locValue;
    writeSegment(locIncrement, locRemaining);
}

void LFOSimp_c::goNextPhase()
{
    if (!slotsReady)
        return;
    readSlots();
    const Parameter_c* para = renderParameters;
    const int wf = para ? waveform(para) : wfSine;
    bool prepared;
    if (wf == wfSampleHold)
        prepared = prepareSH();
    else if (wf == wfNoise)
        prepared = prepareNoise();
    else
        prepared = prepareLFOvelope(stage + 1);
    if (!prepared) {
        // Nothing to run on (no note yet, no rate): hold.
        locIncrement = 0.0f;
        locRemaining = ModHoldSteps;
    }
    writeSlots();
}

void LFOSimp_c::prepProc(int instrument, Note_c n, bool keep, bool legato)
{
    Modulator_c::prepProc(instrument, n, keep, legato);
    const Parameter_c* para = renderParameters;
    if (!para || !slotsReady)
        return;
    idle = false;
    locValue = keep ? *valuePtr : 0.0f;
    if (!legato) {
        scale1 = 1.0f;
        scale2 = 1.0f;
        locRemaining = 0;
        locIncrement = 0.0f;
        const int wf = waveform(para);
        bool prepared;
        if (wf >= wfNoise) {
            stage = static_cast<int>(nextRandom() >> 24); // 0..255
            prepared = wf == wfSampleHold ? prepareSH() : prepareNoise();
        } else {
            prepared = prepareLFOvelope(0);
        }
        if (!prepared) {
            locIncrement = 0.0f;
            locRemaining = ModHoldSteps;
        }
    }
    if (!keep)
        writeSlots();
}

void LFOSimp_c::setSyncPhase(double phase)
{
    const Parameter_c* para = renderParameters;
    if (!slotsReady || !para)
        return;
    if (!(phase >= 0.0))
        phase = 0.0;
    phase = std::min(phase, 1.0);
    const int wf = waveform(para);
    if (wf <= wfSquare)
        setSyncPhaseWave(phase);
    else
        setSyncPhaseNoise(phase, wf == wfNoise);
    writeSlots();
}

void LFOSimp_c::setSyncPhaseWave(double phase)
{
    const Parameter_c* para = renderParameters;
    const int wf = waveform(para);
    const int count = segmentCounts[wf];
    double start = 0.0;
    for (int k = 0; k < count; ++k) {
        // The last segment ends at exactly 1, whatever the shares add up to.
        const double end = k == count - 1 ? 1.0 : start + segmentShare(para, wf, k);
        if (end > start && end >= phase) {
            const double g = std::clamp((phase - start) / (end - start), 0.0, 1.0);
            stage = k;
            const int remaining = toControlSteps(getSegmentLength(k) * (1.0 - g));
            const float level = static_cast<float>(waveforms[wf][k].level) * 0.02f;
            const float previous = k == 0 ? 0.0f : static_cast<float>(waveforms[wf][k - 1].level) * 0.02f;
            locValue = previous + (level - previous) * static_cast<float>(g);
            locRemaining = remaining;
            locIncrement = std::clamp((level - locValue) / static_cast<float>(remaining), -1.0f, 1.0f);
            subStage = level;
            return;
        }
        start = end;
    }
}

void LFOSimp_c::setSyncPhaseNoise(double phase, bool interpolate)
{
    const Parameter_c* para = renderParameters;
    const double p = phase * LFONoiseTableSize * 0.999999999999;
    const int i = std::clamp(static_cast<int>(p), 0, LFONoiseTableSize - 1);
    // The value after the last one is the first: phase 1.0 never reads past
    // the table.
    const int next = (i + 1) & (LFONoiseTableSize - 1);
    stage = next;
    const float target = byteLevel(noiseTable[next]);
    const float here = byteLevel(noiseTable[i]);
    const double g = p - i;
    locValue = interpolate ? here + (target - here) * static_cast<float>(g) : target;
    const double valueSteps =
        so_ddiv(1.0, getFrequency(para)) * static_cast<double>(sampleRate) / NoiseValuesPerCycle * (1.0 - g);
    locRemaining = toControlSteps(valueSteps);
    locIncrement =
        interpolate ? std::clamp((target - locValue) / static_cast<float>(locRemaining), -1.0f, 1.0f) : 0.0f;
    subStage = target;
}

void LFOSimp_c::updateSpeedLoc(float offset)
{
    if (offset == speedOffset || !std::isfinite(offset))
        return;
    const double end = std::clamp(static_cast<double>(locValue) + static_cast<double>(locIncrement) * locRemaining,
                                  -1.0, 1.0);
    const int remaining =
        toControlSteps(static_cast<double>(locRemaining) * std::exp2(2.0 * (speedOffset - offset)) + 0.5);
    locIncrement = static_cast<float>((end - locValue) / remaining);
    locRemaining = remaining;
    speedOffset = offset;
}

void LFOSimp_c::updateSpeed(float offset)
{
    if (!slotsReady || offset == speedOffset || !std::isfinite(offset))
        return;
    readSlots();
    updateSpeedLoc(offset);
    writeSlots();
}

double LFOSimp_c::getSyncStepUp(int set) const
{
    const Parameter_c* para = getRenderParaPtr(set);
    if (!para || !(sampleRate > 0.0f))
        return 0.0;
    double step = getFrequency(para) / static_cast<double>(sampleRate);
    if (waveform(para) >= wfNoise)
        step *= NoiseValuesPerCycle / LFONoiseTableSize;
    return step;
}

// ---------------------------------------------------------------------------
// AdvLFO_c

AdvLFO_c::AdvLFO_c()
{
    lfo.setPtr(&lfoValue, &lfoIncrement, &lfoRemaining);
    env.setPtr(&envValue, &envIncrement, &envRemaining);
}

AdvLFO_c::~AdvLFO_c() = default;

bool AdvLFO_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    if (!shared)
        return false;
    bool created = false;
    if (!*shared) {
        ParaSet_c* set = new (std::nothrow) AdvLFOParaSet_c(getTypeCode(), nSets, ParaCount);
        if (!set)
            return false;
        *shared = set;
        created = true;
    }
    // The embedded sets hang on the outer set; a set of another making has
    // nowhere to keep them.
    auto* outer = dynamic_cast<AdvLFOParaSet_c*>(*shared);
    if (!outer)
        return false;
    bool defined = false;
    Parameter_c* p = beginParaDefinition(shared, nSets, ParaCount, &defined);
    if (created && paraSet == outer)
        ownsSet = true;
    if (p) {
        // " Off " first, default " 1/4 ".
        defineCommonLFOParas(p, NoteValueItems, 7);
        createParas(p, {
            {.index = pDelay, .name = "Delay", .unit = "sec", .logFactor = 4.0f, .lo = 0, .hi = 10000,
             .precision = 3, .def = 0, .cut = 4},
            {.index = pAttack, .name = "Attack", .unit = "sec", .logFactor = 4.0f, .lo = 0, .hi = 10000,
             .precision = 3, .def = 0, .cut = 4},
            {.index = pDecay, .name = "Decay", .unit = "sec", .logFactor = 4.0f, .lo = 0, .hi = 10001,
             .precision = 3, .def = 10001, .infiniteHi = true},
            {.index = pPhase, .name = "Phase", .unit = "%", .lo = 0, .hi = 99, .precision = 2, .def = 0},
            {.index = pKeyTrack, .name = "KeyTrack", .unit = "%", .lo = -100, .hi = 100, .precision = 0, .def = 0},
        });
        defined = paraSet->spreadPara();
    }
    if (!defined)
        return false;

    const int sets = paraSet->getSetCount();
    const bool fresh = !outer->lfoSet || !outer->envSet;
    if (!lfo.getParaSetPtr(&outer->lfoSet, sets) || !env.getParaSetPtr(&outer->envSet, sets))
        return false;
    if (!outer->lfoHeld) {
        outer->lfoSet->retain();
        outer->lfoHeld = true;
    }
    if (!outer->envHeld) {
        outer->envSet->retain();
        outer->envHeld = true;
    }
    // New embedded sets start from their own class defaults; they must show
    // the outer set's values from the start.
    if (fresh)
        for (int s = 0; s < sets; ++s)
            copyToEmbedded(s, -1);
    return true;
}

void AdvLFO_c::copyToEmbedded(int set, int idx)
{
    struct Copy_t
    {
        int from;
        bool toEnvelope;
        int to;
    };
    static constexpr Copy_t copies[] = {
        {pWaveform, false, LFOSimp_c::pWaveform}, {pFrequency, false, LFOSimp_c::pFrequency},
        {pSync, false, LFOSimp_c::pSync},         {pNotes, false, LFOSimp_c::pNotes},
        {pSymmetry, false, LFOSimp_c::pSymmetry}, {pDelay, true, EnvDAD_c::pDelayTime},
        {pAttack, true, EnvDAD_c::pAttackTime},   {pDecay, true, EnvDAD_c::pDecayTime},
    };
    for (const Copy_t& c : copies) {
        Part_c* target = c.toEnvelope ? static_cast<Part_c*>(&env) : static_cast<Part_c*>(&lfo);
        dupPara(set, idx, c.from, target, c.to);
    }
}

void AdvLFO_c::postprocessParaChange(int set, int idx)
{
    Modulator_c::postprocessParaChange(set, idx);
    if (idx == pSync || idx == -1)
        applySyncRule(*this, set, pSync, pNotes);
    copyToEmbedded(set, idx);
}

void AdvLFO_c::setSampleRate(float rate)
{
    lfo.setSampleRate(rate);
    env.setSampleRate(rate);
    Modulator_c::setSampleRate(rate);
}

void AdvLFO_c::setPtr(float* value, float* increment, int* remaining)
{
    Modulator_c::setPtr(value, increment, remaining);
    if (slotsReady)
        lastWritten = *remainingPtr;
}

void AdvLFO_c::catchUp()
{
    if (!slotsReady)
        return;
    // Steps the owner has run the product since it was written; the
    // embedded parts' own slots have not moved meanwhile.
    const int consumed = lastWritten - *remainingPtr;
    if (consumed != 0) {
        lfoValue += lfoIncrement * static_cast<float>(consumed);
        lfoRemaining -= consumed;
        envValue += envIncrement * static_cast<float>(consumed);
        envRemaining -= consumed;
    }
    lastWritten = *remainingPtr;
}

void AdvLFO_c::writeProduct()
{
    if (!slotsReady)
        return;
    const int remaining = std::clamp(std::min(lfoRemaining, envRemaining), 1, ModHoldSteps);
    const float value = lfoValue * envValue;
    const double r = remaining;
    const double lfoEnd = std::clamp(static_cast<double>(lfoValue) + static_cast<double>(lfoIncrement) * r, -1.0, 1.0);
    const double envEnd = std::clamp(static_cast<double>(envValue) + static_cast<double>(envIncrement) * r, 0.0, 1.0);
    *valuePtr = value;
    writeSegment(static_cast<float>((lfoEnd * envEnd - value) / r), remaining);
    lastWritten = *remainingPtr;
}

void AdvLFO_c::prepProc(int instrument, Note_c n, bool keep, bool legato)
{
    catchUp();
    Modulator_c::prepProc(instrument, n, keep, legato);
    if (renderParameters)
        idle = false;
    lfo.speedOffset = speedOffset;
    lfo.prepProc(instrument, n, keep, legato);
    env.prepProc(instrument, n, keep, legato);
    const Parameter_c* para = renderParameters;
    if (!para)
        return;
    const int wf = std::clamp<int>(para[pWaveform].value, 0, LFOWaveformCount - 1);
    if (wf != LFOSimp_c::wfNoise && wf != LFOSimp_c::wfSampleHold)
        lfo.setSyncPhase(para[pPhase].fl);
    writeProduct();
}

void AdvLFO_c::goNextPhase()
{
    if (!slotsReady)
        return;
    catchUp();
    if (lfoRemaining <= 0) {
        lfo.speedOffset = speedOffset;
        lfo.goNextPhase();
    }
    if (envRemaining <= 0)
        env.goNextPhase();
    writeProduct();
}

void AdvLFO_c::quickFadeOut()
{
    catchUp();
    Modulator_c::quickFadeOut();
    if (slotsReady)
        lastWritten = *remainingPtr;
}

void AdvLFO_c::setSyncPhase(double phase)
{
    if (!slotsReady)
        return;
    catchUp();
    lfo.setSyncPhase(phase);
    envValue = 1.0f;
    envIncrement = 0.0f;
    envRemaining = ModHoldSteps;
    writeProduct();
}

void AdvLFO_c::updateSpeed(float offset)
{
    if (!slotsReady)
        return;
    catchUp();
    lfo.updateSpeed(offset);
    if (std::isfinite(offset))
        speedOffset = offset;
    writeProduct();
}
