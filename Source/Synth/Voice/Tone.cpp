// The voice base and its modulation matrix. See Tone.h and docs/voices.md.
#include "Tone.h"

#include "BlockMath.h"
#include "Instrument.h"
#include "NoteFreqTable.h"
#include "SafeDiv.h"
#include "Synth.h"
#include "SysGlo.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Key and bend ranges are expressed in units of 48 semitones.
constexpr float KeyScale = 0.007874016f;   // 1 / 127
constexpr float PerFourOctaves = 0.020833334f; // 1 / 48

// Aftertouch and controllers follow their targets with this one-pole
// coefficient per ControllerChunkFrames samples: 1400 times the sample time,
// kept where the smoothing neither stalls nor rings.
constexpr float AftertouchCoefficientLow = 0.0025f;
constexpr float AftertouchCoefficientHigh = 0.25f;

// The block and the row amounts go back and forth once per control step and
// are read float by float at once: copied as floats (see BlockMath::copy),
// the odd bytes of a size that is no multiple of a float after them.
void copyBlock(float* to, const float* from, int bytes)
{
    const int floats = bytes / static_cast<int>(sizeof(float));
    BlockMath::copy(to, from, floats);
    if (const int rest = bytes % static_cast<int>(sizeof(float)))
        std::memmove(to + floats, from + floats, static_cast<size_t>(rest));
}

} // namespace

Tone_c::Tone_c(bool scaled) : scaledMode(scaled)
{
    for (ModSource_t& s : sources)
        s.value = &constantOne;
    for (ModDest_t& d : dests)
        d.value = &scratchDest;
    clearLists();
}

Tone_c::~Tone_c() = default;

// Only while audio is stopped.
void Tone_c::setSampleRate(float rate)
{
    PartGroup_c::setSampleRate(rate);
    // A rate of 0 gives the safe division's huge quotient, so the top end.
    const float c = so_fdiv(1400.0f, rate);
    aftertouchCoefficient = std::isnan(c) ? AftertouchCoefficientLow
                                          : std::clamp(c, AftertouchCoefficientLow, AftertouchCoefficientHigh);
}

// Only while audio is stopped.
void Tone_c::create(Synth* s, Part_c* matrix, int voice, float* saved, float* live, int blockSize,
                    int amountSize)
{
    if (!s || !matrix || blockSize < 0 || amountSize < 0)
        return;
    if (blockSize != 0 && (!saved || !live))
        return;
    synth = s;
    matrixPart = matrix;
    voiceIndex = voice;
    savedBlock = saved;
    liveBlock = live;
    blockBytes = blockSize;
    // The row amounts saved with the block are this voice's own arrays.
    amountBytes = std::min(amountSize, static_cast<int>(sizeof(rowAmounts)));
}

// Audio thread.
void Tone_c::prepProc(int ins, NoteC_c n, bool reused, bool legato)
{
    if (!synth)
        return;
    instrumentIndex = ins;
    instrument = synth->getInstPtr(ins);
    note = n;
    matrixRows = matrixPart ? matrixPart->getRenderParaPtr(ins) : nullptr;
    matrixParaCount = matrixRows && matrixPart->getParaSet() ? matrixPart->getParaSet()->getParaCount() : 0;
    if (matrixParaCount <= 0)
        matrixRows = nullptr;
    stepCounter = 0;

    // Key: bipolar over the keyboard, its signed square ("Note Log") and an
    // offset from the middle C in units of 48 keys.
    const int key = n.note;
    const float x = static_cast<float>(key) * KeyScale * 2.0f - 1.0f;
    keyBipolar = x;
    keySignedSquare = static_cast<float>(std::clamp(2.0 * std::fabs(static_cast<double>(x)) * x, -1.0, 1.0));
    keyOffset = static_cast<float>(key - 60) * PerFourOctaves;

    // Velocity through the curve: "VelCurve" 0 is linear, 9 exponential
    // (about 6 dB per 14 steps); velocity 127 is 1 whatever the curve.
    float p = 0.0f;
    if (SynGlo_c* settings = synth->getSynGlo())
        p = std::clamp(settings->getPara01(0, SynGloPara::VelCurve), 0.0f, 1.0f);
    const float v = static_cast<float>(n.velocity);
    const float w = p * std::exp((v - 127.0f) * 0.05f) + (1.0f - p) * v / 127.0f;
    velocity = w;
    velocityBipolar = 2.0f * w - 1.0f;

    monoAftertouch = instrument ? instrument->getAftertouch() : 0.0f;
    polyAftertouch = 0.0f;
    aftertouchSum = monoAftertouch + polyAftertouch;
    aftertouchSmoothed = aftertouchSum;
    alternateValue = instrument ? instrument->getAlternateValue() : 0.0f;

    Note_c limited;
    limited.note = std::clamp(n.note, 0, 127);
    limited.velocity = std::clamp(n.velocity, 0, 127);
    PartGroup_c::prepProc(ins, limited, reused, legato);

    float up = 0.0f;
    float down = 0.0f;
    if (SynGloIns_c* settings = synth->getSynGloIns()) {
        up = static_cast<float>(settings->getParaVal(ins, SynGloInsPara::BendUp)) * PerFourOctaves;
        const int d = settings->getParaVal(ins, SynGloInsPara::BendDown);
        down = d < 0 ? up : static_cast<float>(d) * PerFourOctaves;
    }
    const NoteFreqTable_c* tuningTable = synth->getTuningTable();
    const float semiScale = tuningTable ? tuningTable->getSemiScale() : 1.0f;
    pitchBendUp = up * semiScale;
    pitchBendDown = down * semiScale;
}

bool Tone_c::render(int)
{
    return true;
}

float* Tone_c::getModAmountPtr(int row)
{
    if (row < 0 || row >= NumModRows)
        return nullptr;
    return &rowAmounts[row];
}

void Tone_c::setPolyAftertouch(float value)
{
    polyAftertouch = value;
    aftertouchSum = polyAftertouch + monoAftertouch;
}

void Tone_c::setMonoAftertouch(float value)
{
    monoAftertouch = value;
    aftertouchSum = polyAftertouch + monoAftertouch;
}

float* Tone_c::getModDestOffer(int, int dest)
{
    if (dest < 0 || dest >= NumModDests)
        return &scratchDest;
    return dests[dest].value;
}

void Tone_c::defineModSource(int i, float* p, bool pre, bool scaledKind)
{
    if (i < 0 || i >= NumModSources || !p)
        return;
    sources[i].value = p;
    sources[i].pre = pre ? 1 : 0;
    sources[i].scaledKind = scaledKind ? 1 : 0;
}

void Tone_c::defineModDest(int i, float* p, bool additive, bool thirdGroup)
{
    if (i < 0 || i >= NumModDests || !p)
        return;
    dests[i].value = p;
    dests[i].additive = additive ? 1 : 0;
    dests[i].thirdGroup = thirdGroup ? 1 : 0;
}

const Tone_c::ModSource_t& Tone_c::getModSource(int i) const
{
    return sources[std::clamp(i, 0, NumModSources - 1)];
}

const Tone_c::ModDest_t& Tone_c::getModDest(int i) const
{
    return dests[std::clamp(i, 0, NumModDests - 1)];
}

const Tone_c::ModRowList_t& Tone_c::getModList(int k) const
{
    return lists[std::clamp(k, 0, ModListCount - 1)];
}

int Tone_c::matrixValue(int base, int offset) const
{
    const int64_t idx = static_cast<int64_t>(base) + offset;
    if (!matrixRows || idx < 0 || idx >= matrixParaCount)
        return -1;
    return matrixRows[idx].value.load();
}

bool Tone_c::sourceIsPre(int s) const
{
    return s >= 0 && s < NumModSources && sources[s].pre != 0;
}

void Tone_c::clearLists()
{
    for (ModRowList_t& l : lists) {
        std::fill(std::begin(l.source), std::end(l.source), nullptr);
        std::fill(std::begin(l.amount), std::end(l.amount), nullptr);
        std::fill(std::begin(l.dest), std::end(l.dest), nullptr);
        l.count = 0;
    }
}

// Audio thread.
bool Tone_c::isModSourcePre(int row, int srcPara, int destPara, int rows, int amountDestFirst, int level,
                            int amountDestCount)
{
    if (level >= MaxPreLevel)
        return true;
    rows = std::clamp(rows, 0, NumModRows);
    amountDestCount = std::clamp(amountDestCount, 0, NumModRows);
    const bool p = sourceIsPre(matrixValue(srcPara, row));
    if (!p || row >= amountDestCount)
        return p;
    // The rows that modulate this row's amount decide, the last one in
    // index order winning; a row whose own amount is modulated passes the
    // question on, two levels deeper.
    bool result = p;
    const int64_t amountOfRow = static_cast<int64_t>(amountDestFirst) + row;
    for (int j = 0; j < rows; ++j) {
        if (j == row || matrixValue(destPara, j) != amountOfRow)
            continue;
        result = level + 1 >= MaxPreLevel ? true : sourceIsPre(matrixValue(srcPara, j));
        if (!result || j >= amountDestCount)
            continue;
        const int64_t amountOfJ = static_cast<int64_t>(amountDestFirst) + j;
        for (int k = 0; k < rows; ++k) {
            if (k == j || matrixValue(destPara, k) != amountOfJ)
                continue;
            result = isModSourcePre(k, srcPara, destPara, rows, amountDestFirst, level + 2, amountDestCount);
        }
    }
    return result;
}

// Audio thread.
void Tone_c::precalcModulation(int srcPara, int, int destPara, int amountDestFirst, int rows, int amountDestCount)
{
    // Without rows for this note's instrument the note plays without the
    // matrix, not with the rows sorted for an earlier note.
    clearLists();
    if (!matrixRows)
        return;
    // Row counts come from the caller and row values from parameters: both
    // are bounded before they index anything.
    rows = std::clamp(rows, 0, NumModRows);
    amountDestCount = std::clamp(amountDestCount, 0, NumModRows);

    int src[NumModRows];
    int dst[NumModRows];
    for (int r = 0; r < rows; ++r) {
        src[r] = matrixValue(srcPara, r);
        dst[r] = matrixValue(destPara, r);
    }

    // Depth: a row that modulates the amount of row t is one deeper than t,
    // so it is applied first. Depths only grow and stop at cap, so the
    // passes end; a cycle of rows climbs to cap together.
    const int cap = amountDestCount + 1;
    int depth[NumModRows] = {};
    int maxDepth = 0;
    const int64_t first = amountDestFirst;
    const int64_t end = first + amountDestCount;
    const int passLimit = rows * (cap + 1) + 1;
    bool changed = true;
    for (int pass = 0; changed && pass < passLimit; ++pass) {
        changed = false;
        for (int r = 0; r < rows; ++r) {
            if (dst[r] < first || dst[r] >= end)
                continue;
            const int t = static_cast<int>(dst[r] - first);
            const int d = std::min(cap, depth[t] + 1);
            if (d != depth[r]) {
                depth[r] = d;
                changed = true;
            }
            maxDepth = std::max(maxDepth, d);
        }
    }

    for (int level = maxDepth; level >= 0; --level) {
        for (int r = 0; r < rows; ++r) {
            if (depth[r] != level)
                continue;
            const int s = src[r];
            const int d = dst[r];
            if (s < 0 || s >= NumModSources || d < 0 || d >= NumModDests)
                continue;
            const float* amount = getModAmountPtr(r);
            float* target = getModDestOffer(r, d);
            if (!amount || !target)
                continue;
            const bool additive = dests[d].additive != 0;
            const bool scaled = scaledMode && sources[s].scaledKind != 0;
            ModList_t k;
            if (dests[d].thirdGroup)
                k = additive ? mlNoteStartAdditive : scaled ? mlNoteStartScaled : mlNoteStartMultiplicative;
            else if (isModSourcePre(r, srcPara, destPara, rows, amountDestFirst, 0, amountDestCount))
                k = additive ? mlPreAdditive : scaled ? mlPreScaled : mlPreMultiplicative;
            else
                k = additive ? mlPostAdditive : scaled ? mlPostScaled : mlPostMultiplicative;
            ModRowList_t& l = lists[k];
            // Every row goes to exactly one list, so no list holds more
            // than NumModRows entries and the terminator stays null.
            l.source[l.count] = sources[s].value;
            l.amount[l.count] = amount;
            l.dest[l.count] = target;
            ++l.count;
        }
    }
}

void Tone_c::applyAdditive(const ModRowList_t& l)
{
    for (int i = 0; i < NumModRows && l.source[i]; ++i)
        *l.dest[i] += *l.source[i] * *l.amount[i];
}

void Tone_c::applyMultiplicative(const ModRowList_t& l)
{
    for (int i = 0; i < NumModRows && l.source[i]; ++i)
        *l.dest[i] *= 1.0f + *l.source[i] * *l.amount[i];
}

void Tone_c::applyScaled(const ModRowList_t& l)
{
    // A positive amount pulls the destination down where the source is
    // below 1 (a source at 1 leaves it alone); a negative one scales it by
    // the source as a multiplicative row does.
    for (int i = 0; i < NumModRows && l.source[i]; ++i) {
        const float s = *l.source[i];
        const float a = *l.amount[i];
        if (a > 0.0f)
            *l.dest[i] *= 1.0f - (1.0f - s) * a;
        else
            *l.dest[i] *= 1.0f + s * a;
    }
}

// Audio thread.
void Tone_c::applyPreLists()
{
    applyAdditive(lists[mlPreAdditive]);
    applyMultiplicative(lists[mlPreMultiplicative]);
    if (scaledMode)
        applyScaled(lists[mlPreScaled]);
}

// Audio thread.
void Tone_c::premodulate()
{
    applyPreLists();
    if (blockBytes != 0)
        copyBlock(savedBlock, liveBlock, blockBytes);
    if (amountBytes != 0)
        copyBlock(savedRowAmounts, rowAmounts, amountBytes);
}

// Audio thread.
void Tone_c::stepControllers()
{
    instrument->updateMIDICCValues();
}

// Audio thread.
void Tone_c::modulate()
{
    modulateNoMatrix();
    // Every step starts again from the block's pre-modulated values, so post
    // rows never accumulate from one step to the next.
    if (blockBytes != 0) {
        copyBlock(liveBlock, savedBlock, blockBytes);
        if (amountBytes != 0)
            copyBlock(rowAmounts, savedRowAmounts, amountBytes);
    }
    applyAdditive(lists[mlPostAdditive]);
    applyMultiplicative(lists[mlPostMultiplicative]);
    if (scaledMode)
        applyScaled(lists[mlPostScaled]);
}
