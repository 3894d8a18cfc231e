// ParaSet_c: the parameters of one module class as a grid of sets times
// parameters (one set per instance, program or instrument the class serves),
// all sets sharing one ParaSpec_c per parameter index, and the chunk that is
// the one serialised form of a module's parameters: program and bank chunks,
// FXP files, module files, clipboards and the stored global settings all
// carry it.
//
// Chunk layout (32-bit words in native byte order):
//   word 0  type code (big-endian spelling of the four characters)
//   word 1  byte length of the whole chunk, header included (multiple of 4)
//   word 2  order (the writer stores 0 for a negative order)
//   then one entry per parameter of the set, in index order:
//   enumeration, text  word L = strlen + 1 rounded up to a multiple of 4,
//                      then L bytes: the text, zero-terminated and -padded
//   float array        word n, then n floats
//   selector           nothing
//   string             word 1000000 + n, then n words of one character each
//                      (an older form: word L, then a zero-terminated text
//                      in L bytes)
//   all other types    the integer value
// A chunk may end early at an entry boundary (older programs had fewer
// parameters): the parameters after the end keep their values.
//
// Scrambled form: a chunk whose order word is negative holds ~order there and
// encodeInt32(size) in word 1 (ParaSetMCFACT_c writes it; readChunkHeader
// decodes it and checks the decoded size like a plain one).
//
// Ownership: a set is shared by every part of its class and counted: each
// user calls retain() once and ParaSet_c::release() when it lets go; the last
// release deletes the set, so the order in which the users are destroyed does
// not matter. A set that was never retained belongs to whoever created it.
// Inside, the set owns its parameters, their definitions and (through the
// parameters) every payload and private definition; spreadPara copies
// deeply, so no two parameters share anything they free.
//
// Threads: definition, chunks, resets and setters run on the user-interface
// thread (or while audio is stopped); the audio thread only reads the
// parameter array that getParaPtr gives (Parameter_c::fl, norm, gain, value).
#pragma once

#include "Parameter.h"
#include "Path.h"
#include "VdxString.h"

#include <atomic>
#include <cstdint>

// Words 0 to 2 of a chunk, as a reader found them (decoded when scrambled).
struct ParaChunkHeader_t
{
    int32_t typeCode = 0;
    int32_t size = 0;  // bytes, header included
    int32_t order = 0;
    bool scrambled = false;
};

// The size-word scrambling of the scrambled chunk form: bits 11-13 and 19-31
// stay, the other sixteen bits move, and the result is combined with a fixed
// 16-bit constant by exclusive or. decodeInt32(encodeInt32(v)) == v for all v.
int32_t encodeInt32(int32_t v);
int32_t decodeInt32(int32_t v);

class ParaSet_c
{
public:
    // Allocates nSets * nParas parameters, the set table and nParas shared
    // definitions; definition i is attached to parameter i of set 0
    // (the other sets get theirs from spreadPara).
    ParaSet_c(int typeCode, int nSets, int nParas);
    virtual ~ParaSet_c();
    ParaSet_c(const ParaSet_c&) = delete;
    ParaSet_c& operator=(const ParaSet_c&) = delete;

    // Shared ownership (see the file comment).
    void retain();
    // One user less; the last one deletes the set. Null is ignored.
    static void release(ParaSet_c* set);
    int getUserCount() const { return users_.load(); }

    // reset(s) = resetSE(s, s + 1); resetAll() = every set. Nothing while
    // locked.
    virtual void reset(int set);
    // Resets sets start .. stop-1 with start = min(end - 1, max(first, 0))
    // (never below 0) and stop = min(max(start + 1, end), nSets): at least
    // set start.
    virtual void resetSE(int first, int end);
    virtual void resetAll();
    virtual void setOrder(int order);
    // Copies set 0 deeply over every other set and marks the parameters
    // defined. False (nothing done) when the set is not defined.
    virtual bool spreadPara();
    virtual bool getParaDefined() const;
    virtual bool isValidSet(short set) const;

    // (set, idx) operations: idx is clamped to 0..nParas-1; nothing happens
    // (getters give 0, 0.0 or false) for a set that getParaPtr does not give.
    virtual void setPara01(int set, int idx, float x);
    virtual float getPara01(int set, int idx) const;
    virtual void setParaVal(int set, int idx, int v);
    virtual void setParaHiVal(int set, int idx, int v);
    virtual void setParaLoVal(int set, int idx, int v);
    virtual float getParaFl(int set, int idx) const;
    virtual int getParaVal(int set, int idx) const;
    virtual void setParaOn(int set, int idx, bool on);
    virtual bool getParaOn(int set, int idx) const;
    virtual float getParaDef(int set, int idx) const;
    virtual int getEnuIdx(int set, int idx, const char* text) const;
    virtual float getParaVol(int set, int idx) const;
    virtual void setParaCharPtr(int set, int idx, const char* text);
    // dst holds ParaTextBufferBytes; it is emptied first.
    virtual void getParaCharPtr(int set, int idx, char* dst) const;
    virtual void setParaString(int set, int idx, Vdx::String_c s);
    virtual void getParaString(int set, int idx, Vdx::String_c* s) const;
    virtual void setParaPath(int set, int idx, Tool::Disk::Path_c p);
    virtual void getParaPath(int set, int idx, Tool::Disk::Path_c* p) const;
    // Parameter idx (clamped) of set 0: definitions are shared, so the
    // step is the same in every set. 0.0 without set 0.
    virtual float getParaStepChangeFl(int idx, int dir) const;
    // dst holds ParaNameBufferBytes.
    virtual void getParaUnit(int set, int idx, char* dst) const;
    virtual void getDisplay(int set, int idx, Vdx::String_c& out);
    // dst holds ParaNameBufferBytes.
    virtual void getParaName(int set, int idx, char* dst) const;
    // The first parameter of the set: the array the audio code indexes.
    // Null when the set is not defined or set is outside 0..nSets-1. In
    // line and final: every module's render looks its set up through here.
    virtual Parameter_c* getParaPtr(int set) const final
    {
        if (!defined_ || set < 0 || set >= nSets_)
            return nullptr;
        return setTable_[set];
    }

    // The byte length getChunk writes for the set (set clamped); 0 without
    // parameters.
    virtual int getChunkSize(int set) const;
    // Writes the chunk of the set (clamped) into buf, which holds
    // getChunkSize(set) bytes; returns that length, 0 for a null buf.
    virtual int getChunk(int* buf, int set) const;
    // The byte offset at which getChunk(set) writes the entry of parameter
    // idx (the value word of a one-word entry); -1 without parameters or for
    // an idx outside 0..nParas-1.
    int getEntryOffset(int set, int idx) const;
    // Reads the entries of a chunk of size bytes into the set (clamped).
    // Words 0 to 2 are not looked at: callers check them (readChunkHeader).
    // Returns size (0 without parameters) whatever was read, so a reader of
    // consecutive chunks advances by it. Nothing is read when locked or for
    // fewer than 16 bytes. No entry is read past size: the read stops at the
    // first entry that does not fit or whose text does not end inside its
    // length, and that parameter and all later ones keep their values.
    virtual int setChunk(void* buf, int size, int set);
    virtual void lockPara(bool locked);
    virtual void setParaSetList();
    // Writes the string entry of p at buf; returns the words written.
    virtual int copyFromString(int* buf, const Parameter_c& p) const;
    // Reads a string entry from buf, which holds `words` words, into p;
    // returns the words it consumed, or 0 (p unchanged) when the entry does
    // not fit or its text does not end inside its length.
    virtual int copyToString(const int* buf, int words, Parameter_c& p) const;

    // Checks words 0 to 2 of a chunk that lies in bytesPresent bytes: at
    // least 12 bytes present, and a size word (decoded for the scrambled form)
    // that is a multiple of 4, at least 12 and not above bytesPresent.
    static bool readChunkHeader(const void* buf, long long bytesPresent, ParaChunkHeader_t* out);
    // readChunkHeader, and the type code is this set's.
    bool matchesChunk(const void* buf, long long bytesPresent, ParaChunkHeader_t* out) const;

    int getTypeCode() const { return typeCode_; }
    int getOrder() const { return order_; }
    int getParaCount() const { return nParas_; }
    int getSetCount() const { return nSets_; }
    bool isDefined() const { return defined_; }
    bool isLocked() const { return locked_.load(); }

protected:
    Parameter_c* parameters_ = nullptr; // nSets * nParas, set after set
    bool defined_ = false;
    bool paraDefined_ = false;
    std::atomic<bool> locked_{false};
    int32_t typeCode_ = 0;
    int32_t nParas_ = 0;
    int32_t order_ = -1;
    int32_t nSets_ = 0;
    ParaSpec_c* paraSpecs_ = nullptr;       // nParas shared definitions
    Parameter_c** setTable_ = nullptr;  // entry s: first parameter of set s

private:
    Parameter_c* paraAt(int set, int idx) const;
    int clampSet(int set) const;
    std::atomic<int> users_{0};
};

// Writes the same chunk as ParaSet_c, then scrambles word 1 (encodeInt32) and
// replaces word 2 by its complement, which makes it negative.
class ParaSetMCFACT_c : public ParaSet_c
{
public:
    using ParaSet_c::ParaSet_c;
    ~ParaSetMCFACT_c() override;
    int getChunk(int* buf, int set) const override;
};
