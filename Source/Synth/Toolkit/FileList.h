// FileList_c: the sorted listing of one folder (its files that match a
// pattern list, or its subfolders) behind the program lists, preset menus and
// browse buttons.
//
// Threads: one thread at a time (the user-interface thread and its loaders).
#pragma once

#include "Path.h"

#include <vector>

class FileList_c
{
public:
    // Empty text "empty", no entries, no folder, no patterns, no "Layer"
    // entry and a maximum of 0, so a listing before create lists nothing.
    FileList_c() = default;

    // Sets the text given for indices outside the list (not owned: it must
    // outlive the list), the patterns, the most entries a listing may hold
    // ("Layer" included) and whether every listing gains a "Layer" entry.
    // Nothing at all when emptyText is null.
    void create(const char* emptyText, const Tool::Disk::Extension_c& patterns, int max, bool layer);

    // Lists the folder anew: its subfolders (dirs), else its matching files,
    // sorted; nothing for an empty folder.
    void refreshFromDir(const Tool::Disk::Path_c& folder, bool dirs);
    // Lists the folder that holds path and returns the index of path's own
    // entry. With dirs set, path is a file inside the folder to find: the
    // listing is of its grandparent's subfolders and the index that of its
    // parent. -3 when the entry is not listed, -4 for an empty path.
    int refresh(const Tool::Disk::Path_c& path, bool dirs);

    // Entry i: joined to the listed folder when full is set and a folder has
    // been listed, else the bare name; outside the list, a path made of the
    // empty text. The reference stays valid until the next such call.
    const Tool::Disk::Path_c& getFilename(unsigned i, bool full);
    // Entry i without its extension, for menus (valid until the next such
    // call); Vdx::String_c::EmptyString outside the list.
    const Vdx::String_c& getFilenameDisplay(unsigned i);
    // Appends an entry; "z patterns arp" (any case) is never listed.
    void addItem(Tool::Disk::Path_c& name);
    // Clears the entries and fills them from the folder, leaving room for the
    // "Layer" entry when it is on.
    void prepareList(bool dirs);

    unsigned getCount() const { return static_cast<unsigned>(entries_.size()); }
    const Tool::Disk::Path_c& getFolder() const { return folder_; }

private:
    int maximum_ = 0;
    const char* emptyText_ = "empty";
    std::vector<Tool::Disk::Path_c> entries_;
    Tool::Disk::Path_c result_;
    Tool::Disk::Path_c folder_;
    Tool::Disk::Extension_c patterns_;
    bool layer_ = false;
};

// The order of listing entries: byte by byte over the shorter name, each byte
// lower-cased and compared as a signed character; on a tie the shorter name
// first. Names that differ only in case are equal under it.
bool FLSortLessthan(const Tool::Disk::Path_c& a, const Tool::Disk::Path_c& b);
