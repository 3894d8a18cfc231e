#include "MemC.h"

#include <cstdlib>
#include <cstring>

namespace {
// Where a pointer output goes when there is no buffer: an empty text, so a
// careless reader finds a terminator instead of a null pointer.
char emptyText[1] = {0};
}

MemC_c::MemC_c(int size, void* buffer)
{
    size_ = size > 0 ? size : 0;
    if (buffer) {
        buffer_ = static_cast<char*>(buffer);
        owned_ = false;
    } else {
        buffer_ = static_cast<char*>(std::calloc(static_cast<size_t>(size_) + 1, 1));
        owned_ = buffer_ != nullptr;
        if (!buffer_)
            size_ = 0;
    }
}

MemC_c::~MemC_c()
{
    if (owned_)
        std::free(buffer_);
    buffer_ = nullptr;
    size_ = 0;
}

bool MemC_c::getLong(int i, int* value) const
{
    if (!value)
        return false;
    *value = 0;
    if (!buffer_ || !wordInRange(i))
        return false;
    std::memcpy(value, buffer_ + static_cast<size_t>(i) * 4, 4);
    return true;
}

bool MemC_c::getChId(int i, int* id) const
{
    if (!id)
        return false;
    if (!buffer_) {
        *id = 0;
        return false;
    }
    if (!wordInRange(i))
        return false;
    std::memcpy(id, buffer_ + static_cast<size_t>(i) * 4, 4);
    return true;
}

bool MemC_c::getPtr(int i, void** p) const
{
    char* c = nullptr;
    if (!p)
        return false;
    const bool ok = getCharPtr(i, &c);
    if (c)
        *p = c;
    return ok;
}

bool MemC_c::getCharPtr(int i, char** p) const
{
    if (!p)
        return false;
    if (!buffer_) {
        *p = emptyText;
        return false;
    }
    if (!wordInRange(i))
        return false;
    *p = buffer_ + static_cast<size_t>(i) * 4;
    return true;
}

bool MemC_c::set(const void* data, int n)
{
    if (!data || !buffer_)
        return false;
    int count = n > 0 ? n : 0;
    if (count > size_)
        count = size_;
    if (count < size_)
        std::memset(buffer_, 0, static_cast<size_t>(size_));
    std::memcpy(buffer_, data, static_cast<size_t>(count));
    return true;
}
