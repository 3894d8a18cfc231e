// SampleInfo_c: the identity every WaveSample_c carries: where it sits (the
// instrument and the store's sample index), which file its data came from,
// and how it holds that data. Loading one file into several zones of a store
// keeps the data once: one sample owns it as master and the others borrow it
// as virtual samples.
//
// Threads: the user-interface thread, under the sample's write permission.
#pragma once

#include "Path.h"

#include <cstdint>

class SampleInfo_c
{
public:
    // The sharing kinds, stored in the low two bits of the code.
    enum Kind_t : int {
        kindNormal = 0,  // owns its data; nobody borrows it
        kindMaster = 1,  // owns its data and others borrow it
        kindVirtual = 2, // borrows a master's data
    };

    SampleInfo_c() = default;
    virtual ~SampleInfo_c() = default;
    SampleInfo_c(const SampleInfo_c&) = default;
    SampleInfo_c& operator=(const SampleInfo_c&) = default;

    // code = (instrument * 1000 + sampleIndex) * 4 + kind.
    virtual void set(int instrument, int sampleIndex, int kind);
    // The code and the filename of other; the master pointer stays.
    virtual void set(SampleInfo_c& other);
    virtual void setFilename(const Tool::Disk::Path_c& path);
    // Replace the kind; setVirtual stores the master (a WaveSample_c), the
    // other two clear it.
    virtual void setMaster();
    virtual void setVirtual(void* master);
    virtual void setNormal();
    virtual int getInsIdx() const;
    virtual int getSampleIdx() const;
    virtual int getType() const;
    virtual const Tool::Disk::Path_c& getFilename() const;
    virtual void* getMasterPtr() const;
    virtual bool isNormal() const;
    virtual bool isSpecial() const;
    virtual bool isMaster() const;
    virtual bool isVirtual() const;

    int32_t getCode() const { return code; }

private:
    void setKind(int kind);

    int32_t code = 0;
    Tool::Disk::Path_c filename;
    void* master = nullptr;
};
