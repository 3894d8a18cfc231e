// CodedEnuData_c: turns a row table of labels into the packed fixed-width item
// text of an enumeration parameter, plus the alternative item texts under
// which values stored by older versions are still recognised (the altLists
// of Parameter_c::createEnu).
//
// Row table: a flat array of text pointers made of rows of c + 2 entries,
// each row a label, its c compatibility texts and a null entry; the table
// ends with a null entry where the next row's label would stand. Every text
// should have the width of the first label. A shorter one is padded with
// blanks: item lookups search the packed text as a C string, so a zero byte
// inside it would hide every later item. A longer one is cut to the width.
//
// Threads: built on the user-interface thread while the plug-in opens.
#pragma once

#include "Capacities.h"

#include <cstdint>

class CodedEnuData_c
{
public:
    CodedEnuData_c() = default;
    explicit CodedEnuData_c(const char* const* rows);
    virtual ~CodedEnuData_c();
    // Owns its texts: copies would free them twice.
    CodedEnuData_c(const CodedEnuData_c&) = delete;
    CodedEnuData_c& operator=(const CodedEnuData_c&) = delete;

    // Builds the packed label text and the compatibility lists from a row
    // table (what was built before is released first). Nothing is built for
    // a null table, an empty first label or a table without rows; an
    // allocation failure stops the building where it happened.
    virtual void set(const char* const* rows);
    // The packed label text: n items of the width back to back and a zero.
    virtual const char* getLabels() const { return labels; }
    // The number of labels n.
    virtual int getAmount() const { return elementCount; }
    // The null-terminated list of compatibility texts, or null when there is
    // none: the form createEnu takes for its alternative lists.
    virtual const char* const* getCompatib() const;
    // The number of rows (at most EnuMaxElements) of a table; also stores its
    // compatibility count. 0 for a null table or a null first label.
    virtual int getAmountElements(const char* const* rows);
    // The number of consecutive non-null entries from rows[1] on, at most
    // EnuMaxCompatLists: the compatibility texts per label.
    virtual int getAmountCompatib(const char* const* rows) const;

    int getWidth() const { return width; }
    int getCompatibilityCount() const { return compatibilityCount; }

private:
    void release();

    char* labels = nullptr;
    char** compatibilityLists = nullptr; // compatibilityCount texts and a null entry
    int32_t compatibilityCount = 0;
    int32_t elementCount = 0;
    int32_t width = 0;
};
