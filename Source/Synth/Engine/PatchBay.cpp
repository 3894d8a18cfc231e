#include "PatchBay.h"

#include "Capacities.h"
#include "Part.h"
#include "RegMod.h"

#include <cstdint>
#include <new>

namespace {

bool fitsRowField(int v)
{
    return v >= INT16_MIN && v <= INT16_MAX;
}

} // namespace

AudioPatchBay_c::AudioPatchBay_c(int unconditionalCapacity, int conditionalCapacity, RegMod_t* registry)
    : registry_(registry)
{
    if (unconditionalCapacity > 0) {
        unconditional_ = new (std::nothrow) PatchBay_c[static_cast<size_t>(unconditionalCapacity)];
        if (unconditional_)
            unconditionalCapacity_ = unconditionalCapacity;
    }
    if (conditionalCapacity > 0) {
        conditional_ = new (std::nothrow) PatchBay_c[static_cast<size_t>(conditionalCapacity)];
        if (conditional_)
            conditionalCapacity_ = conditionalCapacity;
    }
    usable_ = registry_ && unconditional_ && conditional_;
}

AudioPatchBay_c::~AudioPatchBay_c()
{
    delete[] unconditional_;
    delete[] conditional_;
}

bool AudioPatchBay_c::registerRoute(const char* name, int module, InBuffer2_c* out1, InBuffer2_c* out2,
                                    Part_c* control, int param, int value)
{
    return registerRouteInd(name, module, -1, -1, out1, out2, control, param, value);
}

bool AudioPatchBay_c::registerRouteInd(const char* name, int module, int first, int last, InBuffer2_c* out1,
                                       InBuffer2_c* out2, Part_c* control, int param, int value)
{
    if (!usable_)
        return false;
    if (first == -1 && last == -1 && param == -1) {
        const int before = unconditionalCount_;
        if (!registerRouteInd(unconditional_, &unconditionalCount_, name, module, first, last, out1, out2,
                              control, param, value))
            return false;
        if (unconditionalCount_ > before)
            doRouteModule(unconditional_, -1, unconditionalCount_ - 1);
        return true;
    }
    return registerRouteInd(conditional_, &conditionalCount_, name, module, first, last, out1, out2, control,
                            param, value);
}

bool AudioPatchBay_c::registerRouteInd(PatchBay_c* table, int* count, const char* name, int module, int first,
                                       int last, InBuffer2_c* out1, InBuffer2_c* out2, Part_c* control,
                                       int param, int value)
{
    if (!usable_ || !table || !count)
        return false;
    // Only this bay's own tables with their own counters: a caller's pointer
    // pair that does not match could write past either array.
    int capacity = 0;
    if (table == unconditional_ && count == &unconditionalCount_)
        capacity = unconditionalCapacity_;
    else if (table == conditional_ && count == &conditionalCount_)
        capacity = conditionalCapacity_;
    else
        return false;
    if (module < 0 || module >= RegModRows || param < -1 || !fitsRowField(first) || !fitsRowField(last) ||
        !fitsRowField(param) || !fitsRowField(value))
        return false;

    for (int i = 0; i < *count; ++i) {
        const PatchBay_c& row = table[i];
        if (row.module == module && row.out1 == out1 && row.control == control && row.param == param &&
            row.value == value && row.first <= last && row.last >= first)
            return true;
    }
    if (*count >= capacity)
        return false;

    PatchBay_c& row = table[*count];
    row.name = name;
    row.module = static_cast<int16_t>(module);
    row.out1 = out1;
    row.out2 = out2;
    row.first = static_cast<int16_t>(first);
    row.last = static_cast<int16_t>(last);
    row.control = control;
    row.param = static_cast<int16_t>(param);
    row.value = static_cast<int16_t>(value);
    ++*count;
    return true;
}

void AudioPatchBay_c::doRoute(int ins)
{
    // A negative instrument would take the fixing form of doRouteModule and
    // freeze every conditional route's buses for good.
    if (!usable_ || ins < 0)
        return;
    for (int i = 0; i < conditionalCount_; ++i)
        if (conditionHolds(conditional_[i], ins))
            doRouteModule(conditional_, ins, i);
}

void AudioPatchBay_c::doRouteModule(PatchBay_c* table, int ins, int row)
{
    if (!usable_ || row < 0 || row >= rowsOf(table))
        return;
    const PatchBay_c& route = table[row];
    const RegMod_t* mod = moduleRow(route.module);
    if (!mod)
        return;
    for (int k = mod->count - 1; k >= 0; --k) {
        Part_c* part = mod->parts[k];
        if (!part)
            continue;
        if (ins == -1)
            part->setOutBufFixed(route.out1, route.out2);
        else
            part->setOutBuf(ins, route.out1, route.out2);
    }
}

void AudioPatchBay_c::setRoute(Part_c* part, int ins)
{
    if (!usable_ || !part || ins < 0)
        return;
    for (int i = 0; i < conditionalCount_; ++i) {
        const PatchBay_c& route = conditional_[i];
        if (!conditionHolds(route, ins))
            continue;
        const RegMod_t* mod = moduleRow(route.module);
        if (mod && mod->indexOf(part) >= 0) {
            part->setOutBuf(ins, route.out1, route.out2);
            return;
        }
    }
}

const PatchBay_c* AudioPatchBay_c::getUnconditional(int i) const
{
    return i >= 0 && i < unconditionalCount_ ? &unconditional_[i] : nullptr;
}

const PatchBay_c* AudioPatchBay_c::getConditional(int i) const
{
    return i >= 0 && i < conditionalCount_ ? &conditional_[i] : nullptr;
}

bool AudioPatchBay_c::conditionHolds(const PatchBay_c& row, int ins) const
{
    if (row.param != -1 && (!row.control || row.control->getParaVal(ins, row.param) != row.value))
        return false;
    return row.first == -1 || (row.first <= ins && ins <= row.last);
}

const RegMod_t* AudioPatchBay_c::moduleRow(int module) const
{
    if (!registry_ || module < 0 || module >= RegModRows)
        return nullptr;
    const RegMod_t* row = &registry_[module];
    return row->inUse() ? row : nullptr;
}

int AudioPatchBay_c::rowsOf(const PatchBay_c* table) const
{
    if (!table)
        return 0;
    if (table == unconditional_)
        return unconditionalCount_;
    if (table == conditional_)
        return conditionalCount_;
    return 0;
}
