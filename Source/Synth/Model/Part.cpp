#include "Part.h"

#include "NoteFreqTable.h"
#include "OsLib.h"
#include "SafeDiv.h"
#include "Synth.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

int clampSlot(int i)
{
    return std::clamp(i, 0, NumPartChildren - 1);
}

// How long setInactive sleeps between looks at the rendering flag (ms).
constexpr int InactiveWaitStepMs = 5;

} // namespace

// ---------------------------------------------------------------------------
// PartGroup_c

void PartGroup_c::setSampleRate(float rate)
{
    sampleRate = rate;
    inverseSampleRate = so_fdiv(1.0f, rate);
    for (int i = 0; i < childCount; ++i)
        if (children[i])
            children[i]->setSampleRate(rate);
}

void PartGroup_c::suspend()
{
    for (int i = 0; i < childCount; ++i)
        if (children[i])
            children[i]->suspend();
}

void PartGroup_c::resume()
{
    for (int i = 0; i < childCount; ++i)
        if (children[i])
            children[i]->resume();
}

void PartGroup_c::resetPara()
{
    for (int i = 0; i < childCount; ++i)
        if (children[i])
            children[i]->resetPara();
}

void PartGroup_c::postprocessParaChangeGroup(int set)
{
    for (int i = 0; i < childCount; ++i)
        if (children[i])
            children[i]->postprocessParaChange(set, -1);
}

void PartGroup_c::prepProc(int instrument, Note_c note, bool legato, bool flag2)
{
    for (int i = 0; i < childCount; ++i)
        if (children[i] && children[i]->active)
            children[i]->prepProc(instrument, note, legato, flag2);
}

void PartGroup_c::NoteOff(int instrument, Note_c note)
{
    for (int i = 0; i < childCount; ++i)
        if (children[i] && children[i]->active)
            children[i]->NoteOff(instrument, note);
}

void PartGroup_c::quickFadeOut()
{
    for (int i = 0; i < childCount; ++i)
        if (children[i] && children[i]->active)
            children[i]->quickFadeOut();
}

void PartGroup_c::definePart(int i, Part_c* part)
{
    i = clampSlot(i);
    children[i] = part;
    if (childCount < i + 1)
        childCount = i + 1;
}

Part_c* PartGroup_c::getPart(int i) const
{
    return children[clampSlot(i)];
}

void PartGroup_c::undefinePart(int i)
{
    i = clampSlot(i);
    children[i] = nullptr;
    if (childCount > i)
        childCount = i;
}

// ---------------------------------------------------------------------------
// Part_c: lifecycle

Part_c::~Part_c()
{
    bindParaSet(nullptr);
}

void Part_c::setSampleRate(float rate)
{
    PartGroup_c::setSampleRate(rate);
    twoSamplePeriods = so_fdiv(2.0f, rate);
    rateFactor = std::min(1.0f, so_fdiv(44100.0f, rate));
    ReadyThenCache(crSampleRate);
}

void Part_c::suspend()
{
    PartGroup_c::suspend();
    if (ready)
        initBuffer();
}

void Part_c::resetPara()
{
    if (paraSet)
        paraSet->resetAll();
}

void Part_c::prepProc(int instrument, Note_c n, bool legato, bool flag2)
{
    PartGroup_c::prepProc(instrument, n, legato, flag2);
    prepProc(instrument, n, legato);
}

void Part_c::NoteOff(int instrument, Note_c n)
{
    PartGroup_c::NoteOff(instrument, n);
    prepared = false;
}

// ---------------------------------------------------------------------------
// Engine, tuning and parameter set

void Part_c::setSynth(Synth* s)
{
    synth = s;
}

void Part_c::create(Synth* s, NoteFreqTable_c* tuningTable)
{
    if (!s)
        return;
    synth = s;
    tuning = tuningTable;
    const uint32_t code = static_cast<uint32_t>(getTypeCode());
    typeCodeText.reset(new (std::nothrow) char[5]);
    if (!typeCodeText)
        return;
    for (int i = 0; i < 4; ++i)
        typeCodeText[i] = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
    typeCodeText[4] = 0;
}

void Part_c::bindParaSet(ParaSet_c* set)
{
    if (set == paraSet)
        return;
    if (set)
        set->retain();
    ParaSet_c* old = paraSet;
    paraSet = set;
    // Values read from here on are another set's.
    Parameter_c::noteWrite();
    ParaSet_c::release(old);
}

template <typename SetT>
ParaSet_c* Part_c::bindShared(ParaSet_c** shared, int nSets, int nParas, bool* created)
{
    *created = false;
    if (!shared)
        return nullptr;
    if (!*shared) {
        ParaSet_c* set = new (std::nothrow) SetT(getTypeCode(), nSets, nParas);
        if (!set)
            return nullptr;
        *shared = set;
        *created = true;
    }
    bindParaSet(*shared);
    return paraSet;
}

ParaSet_c* Part_c::createParaSet(ParaSet_c** shared, int nSets, int nParas)
{
    bool created = false;
    ParaSet_c* set = bindShared<ParaSet_c>(shared, nSets, nParas, &created);
    if (created)
        ownsSet = true;
    return set;
}

bool Part_c::allocPara(ParaSet_c** shared, int nSets, int nParas)
{
    bool created = false;
    bindShared<ParaSetMCFACT_c>(shared, nSets, nParas, &created);
    return created;
}

void Part_c::resetPara(int first, int end)
{
    if (!paraSet)
        return;
    PartGroup_c::resetPara();
    paraSet->resetSE(first, end);
    // Only sets that exist are announced: the engine indexes its instance
    // lists with them.
    const int from = std::max(first, 0);
    const int to = std::min(end, paraSet->getSetCount());
    for (int s = from; s < to; ++s)
        postprocessParaChange(s, -1);
}

bool Part_c::getParaSetPtr(ParaSet_c** shared)
{
    return getParaSetPtr(shared, 1);
}

bool Part_c::getParaSetPtr(ParaSet_c**, int)
{
    return false;
}

Parameter_c* Part_c::beginParaDefinition(ParaSet_c** shared, int nSets, int nParas, bool* result, int order)
{
    Parameter_c* p = beginUnversionedParaDefinition(shared, nSets, nParas, result, order);
    if (p)
        p[0].createNum("Version", "", 0.0f, 200, 9900, 2, 200, 0);
    return p;
}

bool Part_c::defineParas(ParaSet_c** shared, int nSets, int nParas, const ParaRow_s* rows, int nRows)
{
    bool defined = false;
    Parameter_c* p = beginParaDefinition(shared, nSets, nParas, &defined);
    if (!p)
        return defined;
    createParas(p, rows, nRows);
    return paraSet->spreadPara();
}

Parameter_c* Part_c::beginUnversionedParaDefinition(ParaSet_c** shared, int nSets, int nParas, bool* result,
                                                    int order)
{
    *result = false;
    if (!createParaSet(shared, nSets, nParas))
        return nullptr;
    if (order >= 0)
        paraSet->setOrder(order);
    if (paraSet->getParaDefined()) {
        *result = true;
        return nullptr;
    }
    return paraSet->getParaPtr(0);
}

void Part_c::initBuffer() {}

// ---------------------------------------------------------------------------
// Parameter access

int Part_c::getChunkSize(int set) const
{
    return paraSet ? paraSet->getChunkSize(set) : 0;
}

int Part_c::getChunk(int* buf, int set) const
{
    return paraSet ? paraSet->getChunk(buf, set) : 0;
}

Parameter_c* Part_c::getParaPtr(int set, int idx) const
{
    if (!paraSet || idx < 0 || idx >= paraSet->getParaCount())
        return nullptr;
    Parameter_c* first = paraSet->getParaPtr(set);
    return first ? first + idx : nullptr;
}

template <typename Change> void Part_c::changeThenNotify(int set, int idx, Change change)
{
    if (!paraSet)
        return;
    change(*paraSet);
    postprocessParaChange(set, idx);
}

void Part_c::setPara01(int set, int idx, float x)
{
    changeThenNotify(set, idx, [&](ParaSet_c& paras) { paras.setPara01(set, idx, x); });
}

float Part_c::getPara01(int set, int idx) const
{
    return paraSet ? paraSet->getPara01(set, idx) : 0.0f;
}

void Part_c::setParaVal(int set, int idx, int v)
{
    changeThenNotify(set, idx, [&](ParaSet_c& paras) { paras.setParaVal(set, idx, v); });
}

void Part_c::setParaHiVal(int set, int idx, int v)
{
    if (paraSet)
        paraSet->setParaHiVal(set, idx, v);
}

void Part_c::setParaLoVal(int set, int idx, int v)
{
    if (paraSet)
        paraSet->setParaLoVal(set, idx, v);
}

float Part_c::getParaFl(int set, int idx) const
{
    return paraSet ? paraSet->getParaFl(set, idx) : 0.0f;
}

int Part_c::getParaVal(int set, int idx) const
{
    return paraSet ? paraSet->getParaVal(set, idx) : 0;
}

bool Part_c::getParaOn(int set, int idx) const
{
    return paraSet ? paraSet->getParaOn(set, idx) : false;
}

void Part_c::setParaOn(int set, int idx, bool on)
{
    changeThenNotify(set, idx, [&](ParaSet_c& paras) { paras.setParaOn(set, idx, on); });
}

float Part_c::getParaDef(int set, int idx) const
{
    return paraSet ? paraSet->getParaDef(set, idx) : 0.0f;
}

int Part_c::getEnuIdx(int set, int idx, const char* text) const
{
    return paraSet ? paraSet->getEnuIdx(set, idx, text) : 0;
}

float Part_c::getParaVol(int set, int idx) const
{
    return paraSet ? paraSet->getParaVol(set, idx) : 0.0f;
}

void Part_c::setParaCharPtr(int set, int idx, const char* text)
{
    changeThenNotify(set, idx, [&](ParaSet_c& paras) { paras.setParaCharPtr(set, idx, text); });
}

void Part_c::setParaString(int set, int idx, Vdx::String_c s)
{
    changeThenNotify(set, idx, [&](ParaSet_c& paras) { paras.setParaString(set, idx, std::move(s)); });
}

void Part_c::setParaPath(int set, int idx, Tool::Disk::Path_c p)
{
    changeThenNotify(set, idx, [&](ParaSet_c& paras) { paras.setParaPath(set, idx, std::move(p)); });
}

template <typename Read> void Part_c::readTextOrEmpty(char* dst, Read read) const
{
    if (paraSet)
        read(*paraSet);
    else if (dst)
        dst[0] = 0;
}

void Part_c::getParaCharPtr(int set, int idx, char* dst) const
{
    readTextOrEmpty(dst, [&](const ParaSet_c& paras) { paras.getParaCharPtr(set, idx, dst); });
}

void Part_c::getParaString(int set, int idx, Vdx::String_c* s) const
{
    if (paraSet)
        paraSet->getParaString(set, idx, s);
}

void Part_c::getParaPath(int set, int idx, Tool::Disk::Path_c* p) const
{
    if (paraSet)
        paraSet->getParaPath(set, idx, p);
}

void Part_c::getParaUnit(int set, int idx, char* dst) const
{
    readTextOrEmpty(dst, [&](const ParaSet_c& paras) { paras.getParaUnit(set, idx, dst); });
}

void Part_c::getDisplay(int set, int idx, Vdx::String_c& out)
{
    if (paraSet)
        paraSet->getDisplay(set, idx, out);
}

void Part_c::getParaName(int set, int idx, char* dst) const
{
    readTextOrEmpty(dst, [&](const ParaSet_c& paras) { paras.getParaName(set, idx, dst); });
}

float Part_c::getParaStepChangeFl(int idx, int dir) const
{
    return paraSet ? paraSet->getParaStepChangeFl(idx, dir) : 0.0f;
}

void Part_c::dupPara(int set, int changedIdx, int srcIdx, Part_c* target, int dstIdx)
{
    if (!target)
        return;
    if (changedIdx != -1 && srcIdx != -1 && changedIdx != srcIdx)
        return;
    target->setPara01(set, dstIdx, getPara01(set, srcIdx));
}

// ---------------------------------------------------------------------------
// What the class is

int Part_c::getTypeCode() const
{
    return 0;
}

void Part_c::lockPara(bool locked)
{
    if (paraSet)
        paraSet->lockPara(locked);
}

float Part_c::getModSampleDefault(int) const
{
    return 0.0f;
}

bool Part_c::isBPMDependent() const
{
    return false;
}

bool Part_c::isReady() const
{
    return ready;
}

void Part_c::handlePrgChanged() {}

// ---------------------------------------------------------------------------
// Change handling

void Part_c::postprocessParaChange(int set, int idx)
{
    if (idx == -1)
        postprocessParaChangeGroup(set);
    if (ready && synth)
        synth->cachePara(crParaChange, set, this, idx);
}

void Part_c::cachePara(CacheReason_t, int, int) {}

// ---------------------------------------------------------------------------
// Morphing

void Part_c::defineMorphParaList(const int* list)
{
    // Held values belong to the list they were taken with.
    heldMorphValues.reset();
    heldMorphCount = 0;
    morphList.reset();
    if (!list)
        return;
    size_t n = 0;
    while (list[n] >= 0)
        ++n;
    morphList.reset(new (std::nothrow) int[n + 1]);
    if (morphList)
        std::copy(list, list + n + 1, morphList.get());
}

namespace {

// Parameter idx of a set's array, or null when idx lies outside the set.
Parameter_c* morphTarget(Parameter_c* first, const ParaSet_c& set, int idx)
{
    return idx >= 0 && idx < set.getParaCount() ? first + idx : nullptr;
}

} // namespace

void Part_c::copyMorphPara(int set, bool b)
{
    Parameter_c* p = paraSet ? paraSet->getParaPtr(set) : nullptr;
    if (!p || !morphList)
        return;
    const int o = b ? 1 : 0;
    for (const int* idx = morphList.get(); *idx >= 0; ++idx) {
        Parameter_c* dst = morphTarget(p, *paraSet, *idx + o);
        Parameter_c* src = morphTarget(p, *paraSet, *idx + 1 - o);
        if (dst && src)
            dst->setVal(src->value);
    }
}

void Part_c::holdMorphPara(int set, bool b)
{
    heldMorphValues.reset();
    heldMorphCount = 0;
    Parameter_c* p = paraSet ? paraSet->getParaPtr(set) : nullptr;
    if (!p || !morphList)
        return;
    int n = 0;
    while (morphList[n] >= 0)
        ++n;
    heldMorphValues.reset(new (std::nothrow) int[static_cast<size_t>(n) + 1]);
    if (!heldMorphValues)
        return;
    heldMorphCount = n;
    const int o = b ? 1 : 0;
    for (int k = 0; k < n; ++k) {
        const Parameter_c* src = morphTarget(p, *paraSet, morphList[k] + o);
        heldMorphValues[k] = src ? static_cast<int>(src->value) : 0;
    }
}

void Part_c::unholdMorphPara(int set, bool b)
{
    Parameter_c* p = paraSet ? paraSet->getParaPtr(set) : nullptr;
    if (!heldMorphValues || !p || !morphList)
        return;
    const int o = b ? 1 : 0;
    for (int k = 0; k < heldMorphCount && morphList[k] >= 0; ++k) {
        Parameter_c* dst = morphTarget(p, *paraSet, morphList[k] + o);
        if (dst)
            dst->setVal(heldMorphValues[k]);
    }
}

// ---------------------------------------------------------------------------
// Note start

void Part_c::prepProc(int instrument, Note_c n, bool)
{
    renderParameters = nullptr;
    n.limit();
    if (!paraSet)
        return;
    routeIndex = std::clamp(instrument, 0, NumInstrumentSlots - 1);
    note = n;
    // 0.010416667 is 1/96 as the single-precision constant the key tracking
    // was tuned with.
    keyTrack = static_cast<float>(n.note - centreKey) * 0.010416667f;
    // Velocity curve: x runs from -2 to 2 over velocities 0..127 (single
    // precision, as tuned), the cubic and its fourth power in double.
    const float x = static_cast<float>(n.velocity) * 0.031496f - 2.0f;
    const double xd = x;
    const double p = 1.0 + 0.173804692740267 * xd + 0.0155045803798573 * xd * xd +
                     0.000837907344980747 * xd * xd * xd;
    velocityGain = static_cast<float>(p * p * p * p);
    renderParameters = paraSet->getParaPtr(routeIndex);
    if (!outputFixed && routeOnStart && synth)
        synth->setRoute(this, routeIndex);
    std::fill(std::begin(modulation), std::end(modulation), 0.0f);
    prepared = true;
}

// ---------------------------------------------------------------------------
// Activation

void Part_c::setActive()
{
    active = true;
    cachePara(crActivate, -1, -1);
}

void Part_c::setInactive()
{
    active = false;
    waitForRenderToLeave();
}

const Parameter_c* Part_c::refreshParameters(int& set) const
{
    if (set < 0)
        set = std::max<int>(routeIndex, 0);
    return getRenderParaPtr(set);
}

const Parameter_c* Part_c::ownParameters() const
{
    return getRenderParaPtr(std::max<int>(routeIndex, 0));
}

const Parameter_c* Part_c::refreshParameters(int& set, bool usable) const
{
    return usable ? refreshParameters(set) : nullptr;
}

const Parameter_c* Part_c::refreshParameters(CacheReason_t reason, int& set, bool usable) const
{
    return refreshParameters(set, usable && reason != crTempoChange);
}

void Part_c::waitForRenderToLeave() const
{
    while (rendering)
        OsLib_c::xSleep(InactiveWaitStepMs);
}

void Part_c::notifyBPMChange()
{
    if (active && ready)
        cachePara(crTempoChange, -1, -1);
}

// ---------------------------------------------------------------------------
// Keyboard and velocity scaling

void Part_c::setCenterKey(int k)
{
    centreKey = std::clamp(k, 24, 96);
}

void Part_c::applyKeyboardScaling(float* v, float amount) const
{
    if (v)
        *v *= std::exp2(keyTrack * amount * 8.0f);
}

void Part_c::applyVelocityScaling(float* v, float amount) const
{
    if (!v)
        return;
    if (amount > 0.0f)
        *v *= (velocityGain - 1.0f) * amount + 1.0f;
    else
        *v = so_fdiv(*v, 1.0f - (velocityGain - 1.0f) * amount);
    if (!(*v >= 0.0f))
        *v = 0.0f;
    else if (*v > 1e9f)
        *v = 1e9f;
}

// ---------------------------------------------------------------------------
// Buses

void Part_c::setInBuf(InBuffer2_c* bus)
{
    inputBus = bus;
}

void Part_c::setInAlt(InBuffer2_c* bus)
{
    alternativeInputBus = bus;
}

void Part_c::setOutBufFixed(InBuffer2_c* a, InBuffer2_c* b)
{
    outputBusA = a;
    outputBusB = b;
    outputFixed = true;
}

void Part_c::setOutBuf(int route, InBuffer2_c* a, InBuffer2_c* b)
{
    if (route != routeIndex)
        return;
    outputBusA = a;
    outputBusB = b;
}

InBuffer2_c* Part_c::getInBuf(bool main) const
{
    return main ? inputBus : alternativeInputBus;
}

InBuffer2_c* Part_c::getOutBuf(bool first) const
{
    return first ? outputBusA : outputBusB;
}

InBuffer2_c* Part_c::getInBuf() const
{
    return inputBus;
}

void Part_c::findMirror(float*, float) {}

void Part_c::mixSample(float** p, float v)
{
    **p += v;
    ++*p;
}

void Part_c::writeSample(float** p, float v)
{
    **p = v;
    ++*p;
}

void Part_c::checkSetFlagReady()
{
    ready = true;
}

void Part_c::ReadyThenCache(CacheReason_t reason)
{
    checkSetFlagReady();
    if (ready)
        cachePara(reason, -1, -1);
}

// ---------------------------------------------------------------------------
// Non-virtual

float* Part_c::getModVectorAdr(int i)
{
    return i >= 0 && i < NumModInputs ? &modulation[i] : nullptr;
}

float Part_c::MidiFrequency(float n) const
{
    return tuning ? tuning->get(n) : 440.0f;
}

int Part_c::FrequencyNote(float hz) const
{
    return tuning ? tuning->getNoteNr(hz) : 60;
}

float* allocSampleMem(int n)
{
    if (n < 0 || n > SampleMemMaxFrames)
        return nullptr;
    // In size_t: 4n no longer wraps for large frame counts.
    const size_t bytes = ((4 * static_cast<size_t>(n)) & ~static_cast<size_t>(15)) + 80;
    return static_cast<float*>(std::calloc(bytes | 16, 1));
}
