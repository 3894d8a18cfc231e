#include "EPAS.h"

#include <cstring>
#include <new>

EPAS_c::~EPAS_c()
{
    delete[] name;
}

void EPAS_c::set(int idx, const char* text, bool f, int instrumentCode, int sel, Part_c* part, int para,
                 bool ro, int grp, Callback_t cb)
{
    if (!text)
        return;
    index = idx;
    // The earlier copy is released: a descriptor set twice must not leak it.
    delete[] name;
    name = nullptr;
    const size_t len = std::strlen(text);
    if (len > 0) {
        name = new (std::nothrow) char[len + 1];
        if (name)
            std::memcpy(name, text, len + 1);
    }
    flag = f;
    instrument = instrumentCode % 1000;
    selector = sel;
    instrumentBelow1000 = instrumentCode < 1000;
    target = part;
    parameter = para;
    readOnly = ro;
    group = grp;
    callback = cb;
}
