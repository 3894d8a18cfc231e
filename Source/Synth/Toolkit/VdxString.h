// Vdx::String_c: the system's text string. A plain byte string (std::string,
// no encoding of its own) with the editing, searching and case operations
// that names, parameter texts, paths and preference keys need.
#pragma once

#include <string>
#include <vector>

namespace Vdx {

class String_c : public std::string
{
public:
    using std::string::string;
    String_c() = default;
    String_c(const std::string& s) : std::string(s) {}
    String_c(std::string&& s) : std::string(std::move(s)) {}

    // Returned by reference where an operation has no text to give.
    static const String_c EmptyString;

    // Editing operations change the string in place and return it, so they chain.
    String_c& replace(char from, char to, int start = 0);
    String_c& replace(const char* what, const char* with, int start = 0);
    String_c& replace(const String_c& what, const String_c& with, int start = 0);
    using std::string::replace;

    // For n >= 1: a string longer than n bytes is cut to n - 1 bytes (room for
    // a terminator in an n-byte buffer) and the answer is true.
    bool truncateLength(int n);
    String_c& padRight(unsigned n, char c);
    String_c& appendIntRep(int code);
    // Byte i as a signed value (128..255 read negative); 0 past the end.
    int getIntRep(unsigned i) const;

    String_c left(unsigned n) const;
    String_c right(unsigned n) const;
    // Removes leading and trailing spaces (only the space character).
    String_c& trim();
    // Every maximal run without the separator, in order; no empty pieces.
    void tokenize(std::vector<String_c>& out, char separator) const;
    String_c& toLower();
    String_c& toUpper();

    int compare(const String_c& other, bool caseSensitive) const;
    using std::string::compare;
    bool contains(const String_c& what, bool caseSensitive) const;
    bool containsAny(const String_c& chars, bool caseSensitive) const;
    // Lenient well-formedness: lead bytes announce their continuation bytes,
    // a stray continuation byte is accepted, a cut sequence is not.
    bool isUTF8Compliant() const;
    // The bytes read as ISO Latin-1, written as UTF-8: each byte above 0x7F
    // becomes two bytes.
    String_c latin1ToUtf8() const;
};

String_c operator+(const String_c& a, char b);
String_c operator+(const String_c& a, const String_c& b);
String_c operator+(const String_c& a, const char* b);

} // namespace Vdx
