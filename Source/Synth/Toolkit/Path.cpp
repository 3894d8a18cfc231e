#include "Path.h"

namespace Tool::Disk {

const Path_c Path_c::EmptyPath;

namespace {

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalIgnoringCase(const char* a, const char* b, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

} // namespace

Path_c::Path_c(Vdx::String_c text, bool computeFlag) : text_(std::move(text))
{
    if (computeFlag)
        calcAbsoluteFlag();
}

Path_c::Path_c(const Vdx::String_c& text) : Path_c(prepareString(text), true) {}

Path_c::Path_c(const char* text) : Path_c(prepareString(Vdx::String_c(text ? text : "")), true) {}

Path_c& Path_c::operator=(const char* text)
{
    *this = Path_c(text);
    return *this;
}

Path_c Path_c::fromSystem(const Vdx::String_c& text)
{
    return Path_c(text, true);
}

Vdx::String_c Path_c::prepareString(const Vdx::String_c& text)
{
    Vdx::String_c s(text);
    s.replace('*', '_');
    s.replace('|', '_');
    s.replace('"', '_');
    s.replace('?', '_');
    s.replace(":", "");
    s.replace('\\', '/');
    return s;
}

void Path_c::calcAbsoluteFlag()
{
    absolute_ = text_.size() >= 2 && text_[0] == '/';
}

bool Path_c::isRoot() const
{
    return absolute_ && text_ == "/";
}

bool Path_c::isPath() const
{
    return text_.find('/') != Vdx::String_c::npos;
}

// Derived paths are cut from this path's text and so are as clean as it is;
// they are not cleaned again, which keeps names from the file system intact.
Path_c Path_c::getLeaf() const
{
    const size_t slash = text_.rfind('/');
    if (slash == Vdx::String_c::npos)
        return *this;
    if (slash + 1 == text_.size())
        return EmptyPath;
    return Path_c(Vdx::String_c(text_.substr(slash + 1)), true);
}

Path_c Path_c::getParent() const
{
    if (text_.empty())
        return EmptyPath;
    if (isRoot())
        return *this;
    const size_t slash = text_.rfind('/');
    if (slash == Vdx::String_c::npos)
        return *this;
    return Path_c(Vdx::String_c(text_.substr(0, slash)), true);
}

Vdx::String_c Path_c::getExt() const
{
    const size_t slash = text_.rfind('/');
    const size_t leafStart = slash == Vdx::String_c::npos ? 0 : slash + 1;
    const size_t dot = text_.rfind('.');
    if (dot == Vdx::String_c::npos || dot < leafStart || dot + 1 == text_.size())
        return Vdx::String_c();
    return Vdx::String_c(text_.substr(dot + 1));
}

Path_c Path_c::getExtStripped() const
{
    const size_t dot = text_.rfind('.');
    if (dot == Vdx::String_c::npos)
        return *this;
    const size_t slash = text_.rfind('/');
    if (slash != Vdx::String_c::npos && dot < slash)
        return *this;
    return Path_c(Vdx::String_c(text_.substr(0, dot)), true);
}

Path_c& Path_c::changeExtension(const Vdx::String_c& ext)
{
    *this = getExtStripped();
    text_.push_back('.');
    text_.append(ext);
    return *this;
}

Path_c Path_c::getTopLevelStripped() const
{
    Path_c relative(*this);
    relative.convertToRelative();
    const size_t slash = relative.text_.find('/');
    if (slash == Vdx::String_c::npos || slash + 1 == relative.text_.size())
        return EmptyPath;
    return Path_c(Vdx::String_c(relative.text_.substr(slash + 1)), true);
}

Path_c& Path_c::convertToRelative()
{
    if (absolute_) {
        text_.erase(0, 1);
        absolute_ = false;
    }
    return *this;
}

Path_c& Path_c::convertToAbsolute()
{
    if (!absolute_) {
        text_.insert(text_.begin(), '/');
        absolute_ = true;
    }
    return *this;
}

bool Path_c::isIdenticalPath(const Path_c& other) const
{
    return text_ == other.text_;
}

bool Path_c::isSamePath(const Path_c& prefix) const
{
    const size_t n = prefix.text_.size();
    if (n > text_.size())
        return false;
    return equalIgnoringCase(text_.data(), prefix.text_.data(), n);
}

Vdx::String_c Path_c::createCFURL() const
{
    if (!text_.isUTF8Compliant())
        return Vdx::String_c();
    static const char hex[] = "0123456789ABCDEF";
    Vdx::String_c url("file://");
    for (unsigned char c : text_) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
            || c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            url.push_back(static_cast<char>(c));
        } else {
            url.push_back('%');
            url.push_back(hex[c >> 4]);
            url.push_back(hex[c & 0x0F]);
        }
    }
    return url;
}

Path_c& Path_c::operator+=(const Path_c& right)
{
    if (right.absolute_) {
        text_ = right.text_;
        absolute_ = right.absolute_;
    } else if (!right.text_.empty()) {
        // Appending "/name" to nothing would make a relative path absolute
        // (a relative createDirTree would then build its folders under "/").
        if (!text_.empty())
            text_.push_back('/');
        text_.append(right.text_);
    }
    return *this;
}

bool Path_c::LexLessFunctor_c::operator()(const Path_c& a, const Path_c& b) const
{
    const int c = a.text_.compare(b.text_, false);
    if (c != 0)
        return c < 0;
    return a.text_.compare(b.text_, true) < 0;
}

namespace {

// The join of operator/ and joinSystem, before any cleaning.
Vdx::String_c joinedText(const Path_c& left, const Path_c& right)
{
    if (right.isAbsolute() || left.empty())
        return right.getString();
    if (right.empty())
        return left.getString();
    const Vdx::String_c& l = left.getString();
    if (l.back() == '/')
        return l + right.getString();
    return l + '/' + right.getString();
}

} // namespace

Path_c operator/(const Path_c& left, const Path_c& right)
{
    return Path_c(joinedText(left, right));
}

Path_c joinSystem(const Path_c& folder, const Path_c& name)
{
    return Path_c::fromSystem(joinedText(folder, name));
}

Path_c stripDriveLetter(const Path_c& path)
{
    return path;
}

void Extension_c::setExtensions(const Vdx::String_c& text)
{
    text_ = text;
    text_.tokenize(patterns_, ' ');
}

void Extension_c::setExtensions(const char* text)
{
    setExtensions(Vdx::String_c(text ? text : ""));
}

const Vdx::String_c& Extension_c::getExt(unsigned i) const
{
    if (i >= patterns_.size())
        return Vdx::String_c::EmptyString;
    return patterns_[i];
}

} // namespace Tool::Disk
