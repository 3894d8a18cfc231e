// MemC_c: a memory chunk (program and bank data) read as 32-bit words in the
// machine's byte order. It either wraps a caller's buffer or owns one of its
// own.
#pragma once

class MemC_c
{
public:
    // Wraps `buffer` without owning it; with a null buffer, allocates
    // size + 1 zeroed bytes and owns them. A negative size counts as 0.
    MemC_c(int size, void* buffer);
    virtual ~MemC_c();
    // An owned buffer has exactly one owner.
    MemC_c(const MemC_c&) = delete;
    MemC_c& operator=(const MemC_c&) = delete;

    int getChunkSize() const { return size_; }
    void* getChunkPtr() const { return buffer_; }

    // Word i into *value. False for a null output, a null buffer or i outside
    // 0 .. size/4 - 1; the output is then 0 (unless it is null).
    bool getLong(int i, int* value) const;
    // Word i, raw (a four-character chunk identifier). False for i outside the
    // words (output untouched) or a null buffer (output 0).
    bool getChId(int i, int* id) const;
    // The address of word i. False for i outside the words (output untouched)
    // or a null buffer (output points at an empty text).
    bool getPtr(int i, void** p) const;
    bool getCharPtr(int i, char** p) const;

    // Copies min(max(n, 0), size) bytes of `data` to the start; when that is
    // less than the whole chunk, the chunk is zeroed first. False for null
    // data or a null buffer.
    bool set(const void* data, int n);

private:
    bool wordInRange(int i) const { return i >= 0 && i < size_ / 4; }

    char* buffer_ = nullptr;
    int size_ = 0;
    bool owned_ = false;
};
