#include "FileList.h"

#include "Disk.h"

#include <algorithm>

using Tool::Disk::Path_c;

namespace {

signed char lowerSigned(char c)
{
    if (c >= 'A' && c <= 'Z')
        c = static_cast<char>(c - 'A' + 'a');
    return static_cast<signed char>(c);
}

// The listing order, with names that it holds equal (they differ only in
// case, and so are two files here) kept in a fixed order by their bytes, so
// a listing comes out the same however the file system returns the folder.
bool listingLess(const Path_c& a, const Path_c& b)
{
    if (FLSortLessthan(a, b))
        return true;
    if (FLSortLessthan(b, a))
        return false;
    return a.getString().compare(b.getString(), true) < 0;
}

} // namespace

bool FLSortLessthan(const Path_c& a, const Path_c& b)
{
    const Vdx::String_c& x = a.getString();
    const Vdx::String_c& y = b.getString();
    const size_t n = std::min(x.size(), y.size());
    for (size_t i = 0; i < n; ++i) {
        const signed char cx = lowerSigned(x[i]);
        const signed char cy = lowerSigned(y[i]);
        if (cx != cy)
            return cx < cy;
    }
    return x.size() < y.size();
}

void FileList_c::create(const char* emptyText, const Tool::Disk::Extension_c& patterns, int max, bool layer)
{
    if (!emptyText)
        return;
    emptyText_ = emptyText;
    patterns_ = patterns;
    maximum_ = max;
    layer_ = layer;
}

void FileList_c::refreshFromDir(const Path_c& folder, bool dirs)
{
    if (folder.empty())
        return;
    folder_ = folder;
    prepareList(dirs);
    if (layer_)
        entries_.push_back(Path_c("Layer"));
    std::sort(entries_.begin(), entries_.end(), listingLess);
}

int FileList_c::refresh(const Path_c& path, bool dirs)
{
    if (path.empty())
        return -4;
    // With folders listed, the sought entry is the folder that holds path.
    const Path_c entry = dirs ? path.getParent() : path;
    refreshFromDir(entry.getParent(), dirs);
    const Path_c leaf = entry.getLeaf();
    int found = -3;
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].isIdenticalPath(leaf))
            found = static_cast<int>(i);
    return found;
}

const Path_c& FileList_c::getFilename(unsigned i, bool full)
{
    if (i >= entries_.size())
        result_ = Path_c(emptyText_);
    else if (full && !folder_.empty())
        result_ = Tool::Disk::joinSystem(folder_, entries_[i]);
    else
        result_ = entries_[i];
    return result_;
}

const Vdx::String_c& FileList_c::getFilenameDisplay(unsigned i)
{
    if (i >= entries_.size())
        return Vdx::String_c::EmptyString;
    result_ = entries_[i].getExtStripped();
    return result_.getString();
}

void FileList_c::addItem(Path_c& name)
{
    if (name.getString().compare(Vdx::String_c("z patterns arp"), false) == 0)
        return;
    entries_.push_back(name);
}

void FileList_c::prepareList(bool dirs)
{
    entries_.clear();
    Disk_c disk;
    disk.fillFileList(this, folder_, dirs, patterns_, layer_ ? maximum_ - 1 : maximum_);
}
