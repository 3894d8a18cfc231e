// Synth: the module registry. Modules register under a logical number with
// their instances, sets and buses; the host parameter map (SynthParams.cpp)
// and the routes (SynthRoutes.cpp) find them here.
#include "Synth.h"
#include "SynthParameterMap.h"

#include "Instrument.h"
#include "SysGlo.h"

#include <algorithm>
#include <cstring>

// ---------------------------------------------------------------------------
// Registry

bool Synth::registerFirstModul(int* row, Part_c* part, int order, int count, int group)
{
    ParameterMap_t* m = paraMap.get();
    if (!m || !row || !part || count < 1 || m->rowCount >= RegModRows || group < rmgInstrument ||
        group > rmgGlobal)
        return false;
    const int r = m->rowCount;
    if (!m->rows[r].open(part, static_cast<uint32_t>(part->getTypeCode()), order, count,
                         static_cast<t_RMG>(group)))
        return false;
    *row = r;
    ++m->rowCount;
    if (count == 1)
        initRegModParts(r);
    return true;
}

bool Synth::registerNextModul(int row, int k, Part_c* part)
{
    ParameterMap_t* m = paraMap.get();
    if (!m || row < 0 || row >= m->rowCount || !part)
        return false;
    RegMod_t& r = m->rows[row];
    if (!r.inUse() || k < 0 || k >= r.count)
        return false;
    r.parts[k] = part;
    if (k == r.count - 1)
        initRegModParts(row);
    return true;
}

bool Synth::registerModulX(int& row, int k, Part_c* part, int order, int count, int group)
{
    if (k == 0)
        return registerFirstModul(&row, part, order, count, group);
    return registerNextModul(row, k, part);
}

bool Synth::registerModul(int* row, Part_c* first, int objectSize, int order, int count, int group)
{
    ParameterMap_t* m = paraMap.get();
    if (!m || !row || !first || objectSize < 1 || count < 1 || m->rowCount >= RegModRows ||
        group < rmgInstrument || group > rmgGlobal)
        return false;
    const int r = m->rowCount;
    if (!m->rows[r].open(first, static_cast<uint32_t>(first->getTypeCode()), order, count,
                         static_cast<t_RMG>(group)))
        return false;
    // Instance k of an array of module objects: its Part_c lies objectSize
    // bytes after that of instance k - 1.
    unsigned char* base = reinterpret_cast<unsigned char*>(first);
    for (int k = 1; k < count; ++k)
        m->rows[r].parts[k] = reinterpret_cast<Part_c*>(base + static_cast<size_t>(k) * static_cast<size_t>(objectSize));
    *row = r;
    ++m->rowCount;
    initRegModParts(r);
    return true;
}

void Synth::initRegModParts(int row)
{
    ParameterMap_t* m = paraMap.get();
    if (!m || row < 0 || row >= m->rowCount || !m->rows[row].inUse())
        return;
    RegMod_t& r = m->rows[row];
    int nSets = 1;
    if (r.group == rmgInstrument)
        nSets = numInsPrgMem;
    else if (r.group == rmgEffect)
        nSets = numFxsPrgMem;
    const bool rateKnown = sampleRateValid.load();
    const float rate = static_cast<float>(engineSampleRate.load());
    for (int k = 0; k < r.count; ++k) {
        Part_c* part = r.parts[k];
        if (!part)
            continue;
        part->setSynth(this);
        part->getParaSetPtr(&r.paraSet, nSets);
        part->create(this, getTuningTable());
        if (rateKnown)
            part->setSampleRate(rate);
    }
    if (r.paraSet) {
        r.paraSet->setOrder(r.order);
        r.holdParaSet();
    }
}

int Synth::getRegModGroup(ParaSet_c* set)
{
    const ParameterMap_t* m = paraMap.get();
    if (!m || !set)
        return 0;
    for (const RegMod_t& row : m->rows)
        if (row.paraSet == set)
            return row.group;
    return 0;
}

int Synth::getModIdx(Part_c* part)
{
    const ParameterMap_t* m = paraMap.get();
    if (!m || !part)
        return -1;
    // Instance 0 first: a module class's first instance names its row.
    for (int r = 0; r < m->rowCount; ++r)
        if (m->rows[r].instance(0) == part)
            return r;
    for (int r = 0; r < m->rowCount; ++r) {
        const RegMod_t& row = m->rows[r];
        for (int k = 1; k < row.count; ++k)
            if (row.parts[k] == part)
                return r;
    }
    return -1;
}

int Synth::findRegMod(int typeCode, int order)
{
    const ParameterMap_t* m = paraMap.get();
    if (!m)
        return -1;
    for (int r = 0; r < m->rowCount; ++r)
        if (m->rows[r].inUse() && m->rows[r].typeCode == static_cast<uint32_t>(typeCode) &&
            m->rows[r].order == order)
            return r;
    return -1;
}

const RegMod_t* Synth::getRegMod(int row) const
{
    const ParameterMap_t* m = paraMap.get();
    if (!m || row < 0 || row >= m->rowCount)
        return nullptr;
    return &m->rows[row];
}

int Synth::getRegModCount() const
{
    const ParameterMap_t* m = paraMap.get();
    return m ? m->rowCount : 0;
}

bool Synth::getAssociatedPart(bool* first, int ins, Part_c** out, int row, int* cursor)
{
    if (first)
        *first = false;
    const RegMod_t* r = getRegMod(row);
    if (!out || !cursor || !r || !r->inUse() || *cursor < 0)
        return false;
    while (*cursor < r->count) {
        Part_c* part = r->parts[*cursor];
        if (!part)
            return false;
        ++*cursor;
        // A module belongs to the instrument whose set and route it uses
        // (its route index); one that has not started a note yet uses none,
        // has nothing of another instrument cached and takes every change.
        const int owner = part->getRouteIndex();
        if (owner == ins || owner < 0) {
            *out = part;
            return true;
        }
    }
    return false;
}

bool Synth::getAssociatedPart(bool* first, int ins, Part_c* part, Part_c** out, int* row, int* cursor)
{
    if (!first || !row || ins < 0 || ins >= numInstruments)
        return false;
    if (*first) {
        *row = getModIdx(part);
        *first = false;
    }
    return getAssociatedPart(nullptr, ins, out, *row, cursor);
}

bool Synth::getAssociatedPart(bool* first, int ins, int hostIndex, Part_c** out, int* row, int* cursor)
{
    if (!first || !row || ins < 0 || ins >= numInstruments)
        return false;
    if (*first) {
        EPAS_c* d = getEPAS(hostIndex);
        if (!d || d->index != hostIndex)
            return false;
        *row = getModIdx(d->target);
        *first = false;
    }
    return getAssociatedPart(nullptr, ins, out, *row, cursor);
}

void Synth::registerBuffer(int row, InBuffer2_c* bus, bool alternative, int instance)
{
    ParameterMap_t* m = paraMap.get();
    if (!m || !bus || row < -1)
        return;
    const bool listed = std::find(m->buses, m->buses + m->busCount, bus) != m->buses + m->busCount;
    if (!listed) {
        if (m->busCount >= RegModBusCapacity)
            return;
        m->buses[m->busCount++] = bus;
    }
    const RegMod_t* r = getRegMod(row);
    if (!r || !r->inUse())
        return;
    for (int k = 0; k < r->count; ++k) {
        if (instance >= 0 && k != instance)
            continue;
        Part_c* part = r->parts[k];
        if (!part)
            continue;
        if (alternative)
            part->setInAlt(bus);
        else
            part->setInBuf(bus);
    }
}

int Synth::getRegBufCount() const
{
    const ParameterMap_t* m = paraMap.get();
    return m ? m->busCount : 0;
}

InBuffer2_c* Synth::getRegBuf(int i) const
{
    const ParameterMap_t* m = paraMap.get();
    if (!m || i < 0 || i >= m->busCount)
        return nullptr;
    return m->buses[i];
}

void Synth::tweakParameter(int first, int last)
{
    if (Part_c* insSettings = getSynGloIns()) {
        for (int k = std::max(first, 0); k < last && k < numInstruments; ++k) {
            insSettings->setParaVal(k, SynGloInsPara::Program, k);
            insSettings->setParaVal(k, SynGloInsPara::Edited, k == 0 ? 1 : 0);
        }
    }
    makeSure(first, last);
}

void Synth::tweakParameterFxs(int first, int last)
{
    makeSureFxs(first, last);
}
