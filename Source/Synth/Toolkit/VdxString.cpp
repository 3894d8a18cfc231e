#include "VdxString.h"

#include <cstring>

namespace Vdx {

const String_c String_c::EmptyString;

namespace {

// The plain locale's case mapping, independent of the host's locale.
char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string lowered(const std::string& s)
{
    std::string r(s);
    for (char& c : r)
        c = asciiLower(c);
    return r;
}

} // namespace

String_c& String_c::replace(char from, char to, int start)
{
    if (start < 0)
        start = 0;
    for (size_t i = static_cast<size_t>(start); i < size(); ++i)
        if ((*this)[i] == from)
            (*this)[i] = to;
    return *this;
}

String_c& String_c::replace(const char* what, const char* with, int start)
{
    if (!what || !*what)
        return *this;
    if (!with)
        with = "";
    const size_t whatLen = std::strlen(what);
    const size_t withLen = std::strlen(with);
    size_t pos = start < 0 ? 0 : static_cast<size_t>(start);
    while (pos <= size() && (pos = find(what, pos, whatLen)) != npos) {
        std::string::replace(pos, whatLen, with, withLen);
        pos += withLen; // resume behind the inserted text
    }
    return *this;
}

String_c& String_c::replace(const String_c& what, const String_c& with, int start)
{
    return replace(what.c_str(), with.c_str(), start);
}

bool String_c::truncateLength(int n)
{
    if (n < 1 || size() <= static_cast<size_t>(n))
        return false;
    resize(static_cast<size_t>(n) - 1);
    return true;
}

String_c& String_c::padRight(unsigned n, char c)
{
    if (size() < n)
        append(n - size(), c);
    return *this;
}

String_c& String_c::appendIntRep(int code)
{
    push_back(static_cast<char>(code & 0xFF));
    return *this;
}

int String_c::getIntRep(unsigned i) const
{
    if (i >= size())
        return 0;
    return static_cast<signed char>((*this)[i]);
}

String_c String_c::left(unsigned n) const
{
    if (n >= size())
        return *this;
    return String_c(substr(0, n));
}

String_c String_c::right(unsigned n) const
{
    if (n >= size())
        return *this;
    return String_c(substr(size() - n));
}

String_c& String_c::trim()
{
    const size_t first = find_first_not_of(' ');
    if (first == npos) {
        clear();
        return *this;
    }
    const size_t last = find_last_not_of(' ');
    assign(substr(first, last - first + 1));
    return *this;
}

void String_c::tokenize(std::vector<String_c>& out, char separator) const
{
    out.clear();
    size_t pos = 0;
    while (pos < size()) {
        const size_t begin = find_first_not_of(separator, pos);
        if (begin == npos)
            break;
        size_t end = find(separator, begin);
        if (end == npos)
            end = size();
        out.emplace_back(substr(begin, end - begin));
        pos = end;
    }
}

String_c& String_c::toLower()
{
    for (char& c : *this)
        c = asciiLower(c);
    return *this;
}

String_c& String_c::toUpper()
{
    for (char& c : *this)
        c = asciiUpper(c);
    return *this;
}

int String_c::compare(const String_c& other, bool caseSensitive) const
{
    if (caseSensitive)
        return std::string::compare(other);
    return lowered(*this).compare(lowered(other));
}

bool String_c::contains(const String_c& what, bool caseSensitive) const
{
    if (caseSensitive)
        return find(what) != npos;
    return lowered(*this).find(lowered(what)) != npos;
}

bool String_c::containsAny(const String_c& chars, bool caseSensitive) const
{
    if (chars.empty())
        return false;
    if (caseSensitive)
        return find_first_of(chars) != npos;
    return lowered(*this).find_first_of(lowered(chars)) != npos;
}

bool String_c::isUTF8Compliant() const
{
    int expected = 0; // continuation bytes still owed by the current character
    for (unsigned char byte : *this) {
        int ones = 0;
        for (int bit = 7; bit >= 0 && (byte & (1u << bit)); --bit)
            ++ones;
        if (expected > 0) {
            if (ones != 1)
                return false;
            --expected;
        } else {
            expected = ones >= 2 ? ones - 1 : 0;
        }
    }
    return expected == 0;
}

String_c String_c::latin1ToUtf8() const
{
    String_c out;
    for (unsigned char c : *this) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

String_c operator+(const String_c& a, char b)
{
    String_c r(a);
    r.push_back(b);
    return r;
}

String_c operator+(const String_c& a, const String_c& b)
{
    String_c r(a);
    r.append(b);
    return r;
}

String_c operator+(const String_c& a, const char* b)
{
    String_c r(a);
    if (b)
        r.append(b);
    return r;
}

} // namespace Vdx
