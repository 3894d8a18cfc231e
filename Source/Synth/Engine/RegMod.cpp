#include "RegMod.h"

#include "ParaSet.h"

#include <cstddef>
#include <new>

bool RegMod_t::open(Part_c* first, uint32_t code, int rowOrder, int instances, t_RMG rowGroup)
{
    if (!first || instances < 1)
        return false;
    Part_c** slots = new (std::nothrow) Part_c*[static_cast<size_t>(instances) + 1]();
    if (!slots)
        return false;
    clear();
    parts = slots;
    parts[0] = first;
    reserved = 0;
    typeCode = code;
    order = rowOrder;
    count = instances;
    group = rowGroup;
    return true;
}

void RegMod_t::clear()
{
    delete[] parts;
    parts = nullptr;
    reserved = 0;
    typeCode = RegModEmptyTypeCode;
    order = -1;
    count = 0;
    group = rmgNone;
    paraSet = nullptr;
    ParaSet_c::release(heldSet_);
    heldSet_ = nullptr;
}

void RegMod_t::holdParaSet()
{
    if (!paraSet || paraSet == heldSet_)
        return;
    paraSet->retain();
    ParaSet_c::release(heldSet_);
    heldSet_ = paraSet;
}

Part_c* RegMod_t::instance(int k) const
{
    if (!parts || k < 0 || k >= count)
        return nullptr;
    return parts[k];
}

int RegMod_t::indexOf(const Part_c* part) const
{
    if (!parts || !part)
        return -1;
    for (int k = 0; k < count; ++k)
        if (parts[k] == part)
            return k;
    return -1;
}

RMI_c::RMI_c(int n)
{
    if (n < 1)
        return;
    table_ = new (std::nothrow) int[static_cast<size_t>(n) + 1];
    if (!table_)
        return;
    size_ = n;
    for (int i = 0; i < n; ++i)
        table_[i] = -1;
    table_[n] = 0;
}

RMI_c::~RMI_c()
{
    delete[] table_;
}

int* RMI_c::Adr(int i)
{
    if (!table_ || i < 0 || i >= size_)
        return nullptr;
    return &table_[i];
}

int RMI_c::Val(int i) const
{
    if (!table_ || i < 0 || i >= size_)
        return 0;
    return table_[i];
}
