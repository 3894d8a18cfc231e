// SampleSource_c: the bytes of a sample file as the readers see them: a
// file (SampleFileSource_c) or a block of memory (SampleMemorySource_c, which
// the fuzz targets and tests feed). The size is known up front, so the
// readers can check every size and count a file claims against the bytes
// that are really there before they allocate or loop.
//
// Threads: one thread at a time; never the audio thread.
#pragma once

#include "Path.h"

#include <cstdint>
#include <cstdio>

class SampleSource_c
{
public:
    virtual ~SampleSource_c() = default;
    // Bytes copied into dst, at most n; fewer at the end of the data.
    virtual int read(void* dst, int n) = 0;
    // Moves to pos; false (position unchanged) outside 0..size().
    virtual bool seek(int64_t pos) = 0;
    virtual int64_t tell() const = 0;
    virtual int64_t size() const = 0;

    int64_t remaining() const { return size() - tell(); }
    // Whole reads of n bytes; false on a short read.
    bool readAll(void* dst, int n) { return n >= 0 && read(dst, n) == n; }
};

class SampleFileSource_c : public SampleSource_c
{
public:
    SampleFileSource_c() = default;
    ~SampleFileSource_c() override;
    SampleFileSource_c(const SampleFileSource_c&) = delete;
    SampleFileSource_c& operator=(const SampleFileSource_c&) = delete;

    // Opens a regular file for reading; false when it cannot be opened. A
    // named pipe, a device or a folder is refused at once, never waited on.
    bool open(const Tool::Disk::Path_c& path);
    void close();

    int read(void* dst, int n) override;
    bool seek(int64_t pos) override;
    int64_t tell() const override { return pos_; }
    int64_t size() const override { return size_; }

private:
    FILE* file_ = nullptr;
    int64_t size_ = 0;
    int64_t pos_ = 0;
};

class SampleMemorySource_c : public SampleSource_c
{
public:
    SampleMemorySource_c(const void* data, size_t n)
        : data_(static_cast<const uint8_t*>(data)), size_(static_cast<int64_t>(n)) {}

    int read(void* dst, int n) override;
    bool seek(int64_t pos) override;
    int64_t tell() const override { return pos_; }
    int64_t size() const override { return size_; }

private:
    const uint8_t* data_;
    int64_t size_;
    int64_t pos_ = 0;
};
