// Synth: the module registry and the host parameter map.
//
// Every path from outside a module to one of its parameters comes through
// here: the host's VST parameter calls, the editor, MIDI learn and value
// copies look a host index up in the descriptor table, write the value under
// the instrument's optional lock, let every instance of the module re-read
// its coefficients and run the change side effects.
//
// Threads. Lookups only read tables that are filled while the plug-in opens.
// Writes may come from several threads at once (host automation, the editor,
// the idle side) and from the audio thread (hosts that automate there):
// - the optional lock of the instrument is taken by the outermost write of
//   each thread and released by that same write, so nested writes (side
//   effects, value copies) run under it and two threads writing at once can
//   never leave it held. The depth is per thread; a shared counter would let
//   one thread's release fall to another that never took the lock.
// - on the audio thread the lock is only tried; the value is written either
//   way, as rendering also goes on without that lock.
// - value copies guard against re-entry per thread too, so one thread's copy
//   never suppresses another thread's.
#include "Synth.h"
#include "SynthParameterMap.h"

#include "CmdBuffer.h"
#include "CommandLetters.h"
#include "EPAS.h"
#include "HostFamily.h"
#include "Instrument.h"
#include "PatchBay.h"
#include "RegMod.h"
#include "SysGlo.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr int16_t EmptyLink = -1;

// Depth of parameter writes and of value copies on this thread.
thread_local int paraWriteDepth = 0;
thread_local int valueCopyDepth = 0;

// Copies at most cap - 1 characters and terminates.
void copyText(char* dst, const char* src, size_t cap)
{
    if (!dst || cap == 0)
        return;
    const size_t n = src ? strnlen(src, cap - 1) : 0;
    if (n)
        std::memcpy(dst, src, n);
    dst[n] = 0;
}

int typeCodeOf(const Part_c* part)
{
    return part ? part->getTypeCode() : 0;
}

} // namespace


Synth::ParameterMap_t* Synth::newParameterMap()
{
    return new (std::nothrow) ParameterMap_t;
}

void Synth::deleteParameterMap(ParameterMap_t* map)
{
    delete map;
}

// ---------------------------------------------------------------------------
// Tables made at opening

bool Synth::openParameterMap()
{
    ParameterMap_t* m = paraMap.get();
    if (!m)
        return false;
    if (m->epas && m->links)
        return true;
    m->freeDescriptors();
    const int n = std::max(numParaSlots, 0);
    m->epas = new (std::nothrow) EPAS_c[static_cast<size_t>(n) + 1];
    m->links = new (std::nothrow) int16_t[(static_cast<size_t>(n) + 1) * EPASLinkSlots];
    if (!m->epas || !m->links) {
        m->freeDescriptors();
        return false;
    }
    m->count = n;
    initEPASAdd();
    std::memset(m->copyPairs, 0, sizeof m->copyPairs);
    m->copyCount = 0;
    return true;
}

void Synth::closeParameterMap()
{
    ParameterMap_t* m = paraMap.get();
    if (!m)
        return;
    m->freeDescriptors();
    for (RegMod_t& row : m->rows)
        row.clear();
    m->rowCount = 0;
}

bool Synth::hasParameterMap() const
{
    const ParameterMap_t* m = paraMap.get();
    return m && m->epas && m->links;
}

void Synth::setSampleRateRegMod(float rate)
{
    ParameterMap_t* m = paraMap.get();
    if (!m)
        return;
    for (int r = 0; r < m->rowCount; ++r)
        for (int k = 0; k < m->rows[r].count; ++k)
            if (Part_c* part = m->rows[r].instance(k))
                part->setSampleRate(rate);
}

// ---------------------------------------------------------------------------
// Host parameter map: filling

void Synth::initEPASAdd()
{
    ParameterMap_t* m = paraMap.get();
    if (!m || !m->epas || !m->links)
        return;
    std::fill(m->links, m->links + (static_cast<size_t>(m->count) + 1) * EPASLinkSlots, EmptyLink);
}

EPAS_c* Synth::getEPAS(int i)
{
    ParameterMap_t* m = paraMap.get();
    if (!m || !m->epas || i < 0 || i >= m->count)
        return nullptr;
    return &m->epas[i];
}

void Synth::storeInEPASAdd(Part_c* part, int set, int para, int index)
{
    ParameterMap_t* m = paraMap.get();
    if (!m || !m->epas || !m->links || !part || index < 0 || index >= m->count)
        return;
    for (int j = 0; j < m->count; ++j) {
        const EPAS_c& d = m->epas[j];
        if (j != index && d.target == part && d.instrument == set && d.parameter == para)
            storeInEPASAdd(j, index);
    }
}

void Synth::storeInEPASAdd(int a, int b)
{
    ParameterMap_t* m = paraMap.get();
    if (!m || !m->links || a < 0 || a >= m->count || b < 0 || b >= m->count || b > INT16_MAX)
        return;
    int16_t* list = m->links + static_cast<size_t>(a) * EPASLinkSlots;
    for (int s = 0; s < EPASLinkSlots; ++s) {
        if (list[s] < 0) {
            list[s] = static_cast<int16_t>(b);
            return;
        }
    }
}

int Synth::getEPASLink(int i, int slot) const
{
    const ParameterMap_t* m = paraMap.get();
    if (!m || !m->links || i < 0 || i >= m->count || slot < 0 || slot >= EPASLinkSlots)
        return -1;
    const int16_t v = m->links[static_cast<size_t>(i) * EPASLinkSlots + slot];
    return v < 0 ? -1 : v;
}

void Synth::defineValCopy(int a, int b, bool both)
{
    ParameterMap_t* m = paraMap.get();
    if (!m || a < 0 || b < 0)
        return;
    auto append = [m](int src, int dst) {
        if (m->copyCount >= ValueCopyPairCapacity)
            return;
        m->copyPairs[m->copyCount][0] = src;
        m->copyPairs[m->copyCount][1] = dst;
        ++m->copyCount;
    };
    append(a, b);
    if (both)
        append(b, a);
}

int Synth::getValueCopyCount() const
{
    const ParameterMap_t* m = paraMap.get();
    return m ? m->copyCount : 0;
}

bool Synth::getValueCopyPair(int i, int* source, int* destination) const
{
    const ParameterMap_t* m = paraMap.get();
    if (!m || i < 0 || i >= m->copyCount || !source || !destination)
        return false;
    *source = m->copyPairs[i][0];
    *destination = m->copyPairs[i][1];
    return true;
}

namespace {

// The smallest normalised value in 0..1 that p turns into v or more
// (valueOf01 never falls as its argument grows); 1 when none does.
float lowest01Of(const Parameter_c& p, int v)
{
    if (p.valueOf01(0.0f) >= v)
        return 0.0f;
    if (p.valueOf01(1.0f) < v)
        return 1.0f;
    float below = 0.0f;
    float at = 1.0f;
    for (int i = 0; i < 40 && std::nextafter(below, 1.0f) < at; ++i) {
        const float mid = 0.5f * (below + at);
        (p.valueOf01(mid) >= v ? at : below) = mid;
    }
    return at;
}

// Whether one normalised value gives both parameters their present values:
// then they agree as a copy left them, whatever their ranges.
bool copiesAgree(const Parameter_c& a, const Parameter_c& b)
{
    const int va = a.value;
    const int vb = b.value;
    if (a.valueOf01(a.norm) != va || b.valueOf01(b.norm) != vb)
        return false;
    // The normalised values that give a its value: [first, last].
    const float first = lowest01Of(a, va);
    const float next = lowest01Of(a, va + 1);
    const float last = a.valueOf01(next) > va ? std::nextafter(next, 0.0f) : next;
    return b.valueOf01(first) <= vb && vb <= b.valueOf01(last);
}

} // namespace

void Synth::doValueCopy(int index, float value)
{
    ParameterMap_t* m = paraMap.get();
    // A copy's own write comes back here; it must not copy again, or a pair
    // defined both ways would bounce for ever.
    if (!m || valueCopyDepth > 0)
        return;
    ++valueCopyDepth;
    for (int i = 0; i < m->copyCount; ++i) {
        const int src = m->copyPairs[i][0];
        const int dst = m->copyPairs[i][1];
        if (index >= 0) {
            if (src == index)
                setParameterIntern(dst, value);
        } else {
            // A source that names no parameter (a module not built) has no
            // value to give: its 0 would overwrite a real one.
            const Parameter_c* from = copiedParameter(src);
            const Parameter_c* to = copiedParameter(dst);
            if (!from)
                continue;
            // A pair that agrees already stays as it is. The two ends may
            // have ranges of different steps (a cent of -100..100 and one of
            // -99..99): copying the normalised value back and forth would
            // round an agreeing value to its neighbour, and every program
            // load would move it one step further.
            if (to && copiesAgree(*from, *to))
                continue;
            setParameterIntern(dst, getParameterEdited(src));
        }
    }
    --valueCopyDepth;
}

void Synth::defineSelector(int s, int index, int selStride)
{
    ParameterMap_t* m = paraMap.get();
    if (!m || s < 1 || s > SelectorCount)
        return;
    m->selectorIndex[s] = index;
    m->selectorStride[s] = selStride;
}

void Synth::setDirtyMarkerIndex(int index)
{
    if (ParameterMap_t* m = paraMap.get())
        m->dirtyMarker = index;
}

int Synth::getDirtyMarkerIndex() const
{
    const ParameterMap_t* m = paraMap.get();
    return m ? m->dirtyMarker : -1;
}

// ---------------------------------------------------------------------------
// Host parameter map: lookups

namespace {

// Host index -> (instrument, local index). A stride below 1 (a failed
// construction) counts as one instrument.
void splitHostIndex(int index, int stride, int* ins, int* local)
{
    if (stride < 1) {
        *ins = 0;
        *local = index;
        return;
    }
    *ins = index / stride;
    *local = index % stride;
}

} // namespace

bool Synth::getPartParaIdx(int local, Part_c** part, int* para, int* ins)
{
    Part_c* p = nullptr;
    int pa = -1;
    int in = -1;
    const bool ok = lookupParameter(local, &p, &pa, &in, 0) == LookupMapped;
    if (part)
        *part = p;
    if (para)
        *para = pa;
    if (ins)
        *ins = in;
    return ok;
}

Synth::Lookup_t Synth::lookupParameter(int local, Part_c** part, int* para, int* ins, int depth)
{
    *part = nullptr;
    *para = -1;
    *ins = -1;
    const ParameterMap_t* m = paraMap.get();
    if (!m || !m->epas || local < 0 || local >= m->count)
        return LookupUnmapped;
    const EPAS_c& d = m->epas[local];
    // An unset slot has no target, or an index that is not its own.
    if (d.index != local || !d.target)
        return LookupUnmapped;
    Part_c* p = d.target;
    long long pa = d.parameter;
    int in = d.instrument;
    if (in == -1)
        in = std::clamp(curEditIns.load(), 0, std::max(numInstruments - 1, 0));

    const int s = d.selector;
    if (s >= 1 && s <= SelectorCount) {
        // The page entry may itself be paged. A chain of distinct selectors
        // is at most SelectorCount long, so a deeper one goes round in a
        // circle: the whole lookup fails instead of recursing for ever.
        if (depth >= SelectorCount)
            return LookupTooDeep;
        Part_c* selPart = nullptr;
        int selPara = -1;
        int selIns = -1;
        int page = 0; // an undefined or unmapped page entry shows page 0
        const Lookup_t found = lookupParameter(m->selectorIndex[s], &selPart, &selPara, &selIns, depth + 1);
        if (found == LookupTooDeep)
            return LookupTooDeep;
        if (found == LookupMapped)
            if (const Parameter_c* sp = selPart->getParaPtr(selIns, selPara))
                page = sp->value;
        pa += static_cast<long long>(page) * m->selectorStride[s];
        // The page must land on a parameter of the set: the set's setters
        // would clamp a stray number onto another parameter.
        if (pa < 0 || pa > INT32_MAX || !p->getParaPtr(in, static_cast<int>(pa)))
            return LookupUnmapped;
    }
    *part = p;
    *para = static_cast<int>(pa);
    *ins = in;
    return LookupMapped;
}

Synth::ParaTarget_t Synth::getParaTarget(int local)
{
    ParaTarget_t t;
    getPartParaIdx(local, &t.part, &t.para, &t.ins);
    return t;
}

bool Synth::getPartParaIdxDis(int local, Part_c** part, int* para, int* ins, bool* flag)
{
    const bool ok = getPartParaIdx(local, part, para, ins);
    if (flag) {
        const ParameterMap_t* m = paraMap.get();
        *flag = m && m->epas && m->count > 0 ? m->epas[std::clamp(local, 0, m->count - 1)].flag : false;
    }
    return ok;
}

int Synth::getGroupType(int local)
{
    const EPAS_c* d = getEPAS(local);
    return d ? d->group : -1;
}

bool Synth::isParameterReadOnly(int local)
{
    const EPAS_c* d = getEPAS(local);
    return d ? d->readOnly : false;
}

// ---------------------------------------------------------------------------
// Host parameter entries

void Synth::setParameter(int32_t index, float value)
{
    if (index < 0)
        return;
    int ins = 0;
    int local = 0;
    splitHostIndex(index, stride, &ins, &local);
    if (local >= numHostParas)
        return;
    // Samplitude sends stale values before its first block.
    if (hostId == HostFamily::Samplitude && getSampleCounter() == 0)
        return;
    HostCallScope owner(*this);
    setParameterIntern(index, value);
}

float Synth::getParameter(int32_t index)
{
    HostCallScope owner(*this);
    return getParameterCore(index, true);
}

float Synth::getParameterCore(int local, bool forHost)
{
    if (local < 0 || !hasParameterMap())
        return 0.0f;
    BusyScope busyScope(*this);
    auto [part, para, ins] = getParaTarget(local);
    if (!part)
        return 0.0f;
    // The host reads instrument 0 for an entry that follows the edited
    // instrument, so its automation lane does not jump with the editor.
    if (forHost && getEPAS(local)->instrument == -1)
        ins = 0;
    return part->getPara01(ins, para);
}

float Synth::getParameterEdited(int index)
{
    return getParameterCore(index, false);
}

const Parameter_c* Synth::copiedParameter(int index)
{
    const ParameterMap_t* m = paraMap.get();
    if (!m || index < 0)
        return nullptr;
    int ins = 0;
    int local = 0;
    splitHostIndex(index, stride, &ins, &local);
    if (local >= m->count)
        return nullptr;
    // The instance a copy reads (getParameterEdited) and writes
    // (setParameterIntern): the entry's own instrument, else the one the
    // index names.
    auto [part, para, mappedIns] = getParaTarget(local);
    if (!part)
        return nullptr;
    if (m->epas[local].instrument != -1)
        ins = mappedIns;
    return part->getParaPtr(std::clamp(ins, 0, std::max(numInstruments - 1, 0)), para);
}

void Synth::setParameterIntern(int index, float v)
{
    ParameterMap_t* m = paraMap.get();
    if (index < 0 || !hasParameterMap())
        return;
    int ins = 0;
    int local = 0;
    splitHostIndex(index, stride, &ins, &local);
    ins = std::clamp(ins, 0, std::max(numInstruments - 1, 0));
    if (local >= m->count || local == m->dirtyMarker || m->epas[local].readOnly)
        return;
    auto [part, para, mappedIns] = getParaTarget(local);
    if (!part)
        return;
    BusyScope busyScope(*this);
    const EPAS_c& d = m->epas[local];
    if (d.instrument != -1)
        ins = mappedIns;
    setParameterCore(local, part, ins, para, v, true);
    if (d.callback)
        (this->*d.callback)(local, part, para);
    // Sending a change back to the host as a MIDI controller is the only
    // reason for a 'Y' record; queueing one for every write would fill the
    // audio ring during a knob drag or an automation pass.
    if (wantsParameterCC(ins, local))
        queueParameterCC(ins, local);
    doValueCopy(index, v);
}

namespace {

// The outermost parameter write of a thread holds the unit's optional lock
// for everything its write sets off, and releases it itself.
class ParaWriteScope
{
public:
    ParaWriteScope(Lock_c* lock, bool audioThread)
    {
        if (paraWriteDepth++ > 0 || !lock)
            return;
        // The audio thread never waits: it writes without the lock when
        // another thread holds it, as rendering does.
        if (audioThread ? lock->getImmediateReadPermission() : lock->getWritePermission())
            lock_ = lock;
    }
    ~ParaWriteScope()
    {
        --paraWriteDepth;
        if (lock_)
            lock_->releaseWritePermission();
    }
    ParaWriteScope(const ParaWriteScope&) = delete;
    ParaWriteScope& operator=(const ParaWriteScope&) = delete;

private:
    Lock_c* lock_ = nullptr; // taken by this write, released by it
};

} // namespace

void Synth::setParameterCore(int local, Part_c* part, int ins, int para, float v, bool notify)
{
    if (!part)
        return;
    const int group = getRegModGroup(part->getParaSet());
    // Effect units keep no optional lock in this engine; instruments do.
    Lock_c* lock = nullptr;
    if (group == rmgInstrument && instruments && ins >= 0 && ins < numInstruments && instruments[ins])
        lock = &instruments[ins]->optionalLock;
    {
        ParaWriteScope scope(lock, onAudioThread());
        part->setPara01(ins, para, v);
        cachePara(crParaChange, ins, local, para);
        if (group != rmgEffect)
            postprocessParaChange(ins, part, para);
        else
            postprocessParaChangeFxs(ins, part, para);
    }
    updateEditor(local, notify);
}

void Synth::setParameterAutomated(int32_t index, float value)
{
    const int local = index;
    ParameterMap_t* m = paraMap.get();
    if (local < 0 || !hasParameterMap() || local >= m->count)
        return;
    auto [part, para, ins] = getParaTarget(local);
    if (!part)
        return;
    const int full = ins * std::max(stride, 1) + local;
    const int code = typeCodeOf(part);
    if ((code == TypeCodeSynGloIns && (para == SynGloInsPara::Mute || para == SynGloInsPara::Solo)) || local >= numHostParas)
        setParameterIntern(full, value);
    else if (automation)
        AudioEffect::setParameterAutomated(full, value);
    else
        setParameter(full, value);
    followEditedInstrument(local, part);
    setGlobalDisplayTo(local);
}

void Synth::getParameterName(int32_t index, char* text)
{
    if (!text)
        return;
    if (!isOpen())
        open();
    if (!isOpen() || !hasParameterMap()) {
        copyText(text, "uninitialized", ParameterTextAnswerSize);
        return;
    }
    int ins = 0;
    int local = -1;
    if (index >= 0)
        splitHostIndex(index, stride, &ins, &local);
    const EPAS_c* d = getEPAS(local);
    if (local >= 0 && local < numHostParas && d)
        copyText(text, d->name, ParameterTextAnswerSize);
    else if (d)
        copyText(text, "hidden", ParameterTextAnswerSize);
    else
        copyText(text, "reserved", ParameterTextAnswerSize);
}

void Synth::getParameterLabel(int32_t index, char* label)
{
    if (!label)
        return;
    if (!isOpen())
        open();
    if (!isOpen() || !hasParameterMap()) {
        copyText(label, "---", ParameterTextAnswerSize);
        return;
    }
    auto [part, para, ins] = getParaTarget(index);
    if (!part) {
        copyText(label, "-", ParameterTextAnswerSize);
        return;
    }
    char name[ParaNameBufferBytes] = {};
    part->getParaName(ins, para, name);
    copyText(label, name, ParaNameBufferBytes);
}

void Synth::getParameterDisplay(int32_t index, char* text)
{
    if (!text)
        return;
    Vdx::String_c s;
    getParaDispStr(index, s);
    copyText(text, s.c_str(), ParaNameBufferBytes);
}

void Synth::getParaDispStr(int index, Vdx::String_c& s)
{
    if (!isOpen())
        open();
    BusyScope busyScope(*this);
    auto [part, para, ins] = getParaTarget(index);
    if (!part) {
        s = unmappedDisplay;
        return;
    }
    part->getDisplay(ins, para, s);
}

float Synth::getParaFl(int index)
{
    if (index < 0)
        return 0.0f;
    int ins = 0;
    int local = 0;
    splitHostIndex(index, stride, &ins, &local);
    auto [part, para, mappedIns] = getParaTarget(local);
    if (!part)
        return 0.0f;
    if (getEPAS(local)->instrument != -1)
        ins = mappedIns;
    return part->getParaFl(ins, para);
}

Parameter_c* Synth::getParaPtr(int index)
{
    auto [part, para, ins] = getParaTarget(index);
    if (!part)
        return nullptr;
    return part->getParaPtr(ins, para);
}

int Synth::getParaVal(int index)
{
    const Parameter_c* p = getParaPtr(index);
    return p ? static_cast<int>(p->value) : 0;
}

void Synth::setParaVal(int index, int v)
{
    auto [part, para, ins] = getParaTarget(index);
    if (part)
        part->setParaVal(ins, para, v);
}

ParaType_t Synth::getParaType(int index)
{
    const Parameter_c* p = getParaPtr(index);
    return p ? p->getType() : ptUndefined;
}

const char* Synth::getParaEnuValPtr(int index)
{
    const Parameter_c* p = getParaPtr(index);
    return p ? p->getEnuValPtr() : nullptr;
}

int Synth::getParaPrecision(int index)
{
    const Parameter_c* p = getParaPtr(index);
    return p ? p->getPrecision() : 0;
}

float Synth::getParaLogFactor(int index)
{
    const Parameter_c* p = getParaPtr(index);
    return p ? p->getLogFactor() : 0.0f;
}

int Synth::getParaDefValue(int index)
{
    const Parameter_c* p = getParaPtr(index);
    return p ? p->getDefValue() : 0;
}

float Synth::getParaDef(int index)
{
    auto [part, para, ins] = getParaTarget(index);
    if (!part)
        return 0.0f;
    return part->getParaDef(ins, para);
}

int Synth::getParaLowValue(int index)
{
    const Parameter_c* p = getParaPtr(index);
    return p ? p->getLowValue() : 0;
}

int Synth::getParaHighValue(int index)
{
    const Parameter_c* p = getParaPtr(index);
    return p ? p->getHighValue() : 0;
}

float Synth::getParaStepChangeValue(int index, int dir)
{
    auto [part, para, ins] = getParaTarget(index);
    if (!part)
        return 0.0f;
    return part->getParaStepChangeFl(para, dir);
}

void Synth::getParaString(int index, Vdx::String_c* s)
{
    if (!s)
        return;
    auto [part, para, ins] = getParaTarget(index);
    if (part)
        part->getParaString(ins, para, s);
    else
        s->clear();
}

void Synth::setParaString(int index, const Vdx::String_c& s)
{
    auto [part, para, ins] = getParaTarget(index);
    if (part)
        part->setParaString(ins, para, s);
    setStringParaPost(index, index, part, para, ins);
}

void Synth::getParaPath(int index, Tool::Disk::Path_c* p)
{
    if (!p)
        return;
    auto [part, para, ins] = getParaTarget(index);
    if (part)
        part->getParaPath(ins, para, p);
    else
        *p = Tool::Disk::Path_c();
}

void Synth::setParaPath(int index, const Tool::Disk::Path_c& p)
{
    auto [part, para, ins] = getParaTarget(index);
    if (part)
        part->setParaPath(ins, para, p);
    setStringParaPost(index, index, part, para, ins);
}

// ---------------------------------------------------------------------------
// Controller sending

bool Synth::wantsParameterCC(int ins, int local)
{
    if (getSampleCounter() == 0)
        return false;
    const Part_c* synthSettings = getSynGlo();
    if (!synthSettings || synthSettings->getParaVal(0, SynGloPara::CCMode) != 1)
        return false;
    return isParameterCCAssigned(ins, local);
}

void Synth::queueParameterCC(int ins, int local)
{
    holdCmdtoRT(Cmd::ControllerSend, ins, local, nullptr, nullptr, hdAppend);
}

// ---------------------------------------------------------------------------
// Change handling hooks (postprocessParaChange: SynthParamChange.cpp)

void Synth::setStringParaPost(int local, int index, Part_c* part, int para, int ins)
{
    if (part && para >= 0) {
        cachePara(crParaChange, ins, local, para);
        if (getRegModGroup(part->getParaSet()) == rmgEffect)
            postprocessParaChangeFxs(ins, part, para);
        else
            postprocessParaChange(ins, part, para);
        updateEditor(local, true);
        if (hostId == HostFamily::Live) // Live redraws its parameter texts only when told
            updateHostDisplay();
        if (index != local)
            updateEditor(index, true);
    }
    followEditedInstrument(local, part);
}

void Synth::followEditedInstrument(int local, Part_c* part)
{
    const EPAS_c* d = getEPAS(local);
    const int code = typeCodeOf(part);
    if (!d || code == TypeCodeSynGlo || code == TypeCodeSysGlo)
        return;
    if (d->instrument >= 0 && d->instrument != curEditIns && d->instrumentBelow1000)
        setEditIns(d->instrument);
}

void Synth::setEditIns(int ins)
{
    ins = std::clamp(ins, 0, std::max(numInstruments - 1, 0));
    if (ins == curEditIns)
        return;
    curEditIns = ins;
    if (Part_c* synthSettings = getSynGlo())
        synthSettings->setParaVal(0, SynGloPara::EditIns, ins);
    if (Part_c* insSettings = getSynGloIns()) {
        curProgram = insSettings->getParaVal(ins, SynGloInsPara::Program);
        for (int k = 0; k < numInstruments; ++k)
            insSettings->setParaVal(k, SynGloInsPara::Edited, k == ins ? 1 : 0);
    }
    if (!isOpening())
        updateHostDisplay();
}

AudioPatchBay_c* Synth::getPatchBay()
{
    ParameterMap_t* m = paraMap.get();
    return m ? &m->patchBay : nullptr;
}
