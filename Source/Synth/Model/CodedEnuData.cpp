#include "CodedEnuData.h"

#include <cstring>
#include <new>

namespace {

// n texts of exactly `width` characters back to back and a zero: text r is
// rows[r * stride + column], cut at the width or padded with blanks (a null
// entry counts as empty). Null when the allocation fails.
char* pack(const char* const* rows, int n, int stride, int column, int width)
{
    const size_t w = static_cast<size_t>(width);
    char* out = new (std::nothrow) char[static_cast<size_t>(n) * w + 1];
    if (!out)
        return nullptr;
    for (int r = 0; r < n; ++r) {
        const char* text = rows[r * stride + column];
        char* item = out + static_cast<size_t>(r) * w;
        const size_t len = text ? strnlen(text, w) : 0;
        if (len > 0)
            std::memcpy(item, text, len);
        std::memset(item + len, ' ', w - len);
    }
    out[static_cast<size_t>(n) * w] = 0;
    return out;
}

} // namespace

CodedEnuData_c::CodedEnuData_c(const char* const* rows)
{
    set(rows);
}

CodedEnuData_c::~CodedEnuData_c()
{
    release();
}

void CodedEnuData_c::release()
{
    delete[] labels;
    labels = nullptr;
    if (compatibilityLists) {
        for (char** list = compatibilityLists; *list; ++list)
            delete[] *list;
        delete[] compatibilityLists;
        compatibilityLists = nullptr;
    }
    compatibilityCount = 0;
    elementCount = 0;
    width = 0;
}

int CodedEnuData_c::getAmountCompatib(const char* const* rows) const
{
    if (!rows || !rows[0] || !rows[1])
        return 0;
    int c = 0;
    while (c < EnuMaxCompatLists && rows[1 + c])
        ++c;
    return c;
}

int CodedEnuData_c::getAmountElements(const char* const* rows)
{
    compatibilityCount = getAmountCompatib(rows);
    if (!rows || !rows[0])
        return 0;
    const int stride = compatibilityCount + 2;
    int n = 0;
    while (n < EnuMaxElements && rows[n * stride])
        ++n;
    return n;
}

const char* const* CodedEnuData_c::getCompatib() const
{
    return compatibilityLists && compatibilityLists[0] ? compatibilityLists : nullptr;
}

void CodedEnuData_c::set(const char* const* rows)
{
    release();
    if (!rows || !rows[0])
        return;
    width = static_cast<int32_t>(std::strlen(rows[0]));
    if (width < 1)
        return;
    const int n = getAmountElements(rows);
    if (n < 1)
        return;
    elementCount = n;
    const int c = compatibilityCount;
    labels = pack(rows, n, c + 2, 0, width);
    if (!labels)
        return;
    compatibilityLists = new (std::nothrow) char*[static_cast<size_t>(c) + 1]();
    if (!compatibilityLists)
        return;
    for (int k = 0; k < c; ++k) {
        // The array stays null-terminated: a failed list ends it there.
        compatibilityLists[k] = pack(rows, n, c + 2, k + 1, width);
        if (!compatibilityLists[k])
            return;
    }
}
