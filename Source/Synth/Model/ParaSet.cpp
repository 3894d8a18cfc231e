#include "ParaSet.h"

#include <cstring>
#include <new>

namespace {

constexpr int HeaderWords = 3;
constexpr int HeaderBytes = HeaderWords * 4;
// A chunk shorter than this holds no entry worth reading.
constexpr int MinReadBytes = 16;
// String entries of the current form count their characters above this mark;
// smaller first words are the byte length of the older text form.
constexpr int32_t StringEntryMark = 1000000;

// The exclusive-or constant of the scrambled size word. Chunks in that form
// are only ever read back by this code, so any fixed value works; this one
// must never change once chunks carry it.
constexpr uint32_t ScrambleConstant = 0x3A5Cu;
// Bits 11-13 and 19-31 keep their place.
constexpr uint32_t ScrambleKeptBits = 0x00003800u | 0xFFF80000u;
// Source bit -> destination bit for the other sixteen.
constexpr int ScrambleMoves[16][2] = {{0, 17}, {1, 9},  {2, 4},  {3, 7},  {4, 0},  {5, 15}, {6, 1},  {7, 14},
                                      {8, 18}, {9, 16}, {10, 5}, {14, 3}, {15, 8}, {16, 2}, {17, 6}, {18, 10}};

int32_t loadWord(const void* base, long long index)
{
    int32_t w;
    std::memcpy(&w, static_cast<const unsigned char*>(base) + index * 4, sizeof w);
    return w;
}

void storeWord(void* base, long long index, int32_t w)
{
    std::memcpy(static_cast<unsigned char*>(base) + index * 4, &w, sizeof w);
}

// The text an enumeration or text entry carries, and its length.
const char* entryText(const Parameter_c& p, int* length)
{
    *length = 0;
    if (p.getType() == ptEnu) {
        const char* item = p.getEnuItem(length);
        return item ? item : "";
    }
    if (!p.payload)
        return "";
    const char* text = static_cast<const char*>(p.payload);
    *length = static_cast<int>(std::strlen(text));
    return text;
}

// The text field's byte length L: the text and its terminator, rounded up to
// whole words.
int textFieldBytes(int length)
{
    return (length + 1 + 3) & ~3;
}

int stringLength(const Parameter_c& p)
{
    if (!p.payload)
        return 0;
    return static_cast<int>(static_cast<const Vdx::String_c*>(p.payload)->size());
}

// Words the entry of p takes in a chunk; the writer and the size computation
// both use it, so they always agree.
long long entryWords(const Parameter_c& p)
{
    switch (p.getType()) {
    case ptEnu:
    case ptCharPtr: {
        int length = 0;
        entryText(p, &length);
        return 1 + textFieldBytes(length) / 4;
    }
    case ptFloatArray:
        return 1 + p.getPrecision();
    case ptSel:
        return 0;
    case ptString:
        return 1 + stringLength(p);
    default:
        return 1;
    }
}

// Checks a text field of L bytes that starts at byte `start` of a chunk whose
// entries may use `limit` bytes: it lies inside and holds its terminator.
bool textFieldFits(const void* buf, long long start, long long fieldBytes, long long limit)
{
    if (fieldBytes <= 0 || start + fieldBytes > limit)
        return false;
    return std::memchr(static_cast<const unsigned char*>(buf) + start, 0, static_cast<size_t>(fieldBytes)) != nullptr;
}

// The words a string entry at word `pos` consumes, or 0 when it does not fit
// in `words` words or its text does not end inside its length.
long long stringEntryWords(const void* buf, long long pos, long long words)
{
    if (pos >= words)
        return 0;
    const int32_t first = loadWord(buf, pos);
    if (first >= StringEntryMark) {
        const long long n = static_cast<long long>(first) - StringEntryMark;
        return pos + 1 + n <= words ? n + 1 : 0;
    }
    // Older form: a byte length, then a zero-terminated text inside it.
    if (!textFieldFits(buf, (pos + 1) * 4, first, words * 4))
        return 0;
    return first / 4 + 1;
}

} // namespace

int32_t encodeInt32(int32_t v)
{
    const uint32_t u = static_cast<uint32_t>(v);
    uint32_t r = u & ScrambleKeptBits;
    for (const auto& move : ScrambleMoves)
        if ((u >> move[0]) & 1u)
            r |= 1u << move[1];
    return static_cast<int32_t>(r ^ ScrambleConstant);
}

int32_t decodeInt32(int32_t v)
{
    const uint32_t u = static_cast<uint32_t>(v) ^ ScrambleConstant;
    uint32_t r = u & ScrambleKeptBits;
    for (const auto& move : ScrambleMoves)
        if ((u >> move[1]) & 1u)
            r |= 1u << move[0];
    return static_cast<int32_t>(r);
}

// ---------------------------------------------------------------------------

ParaSet_c::ParaSet_c(int typeCode, int nSets, int nParas)
    : typeCode_(typeCode), nParas_(nParas < 0 ? 0 : nParas), nSets_(nSets < 0 ? 0 : nSets)
{
    if (nSets_ < 1) {
        nParas_ = 0;
        nSets_ = 0;
        return;
    }
    const size_t count = static_cast<size_t>(nSets_) * static_cast<size_t>(nParas_);
    parameters_ = new (std::nothrow) Parameter_c[count];
    setTable_ = new (std::nothrow) Parameter_c*[static_cast<size_t>(nSets_)];
    paraSpecs_ = new (std::nothrow) ParaSpec_c[static_cast<size_t>(nParas_)];
    if (!parameters_ || !setTable_ || !paraSpecs_) {
        delete[] parameters_;
        delete[] setTable_;
        delete[] paraSpecs_;
        parameters_ = nullptr;
        setTable_ = nullptr;
        paraSpecs_ = nullptr;
        nParas_ = 0;
        nSets_ = 0;
        return;
    }
    setParaSetList();
    for (int i = 0; i < nParas_; ++i)
        parameters_[i].setParaSpecPtr(&paraSpecs_[i]);
    defined_ = nParas_ >= 1;
}

ParaSet_c::~ParaSet_c()
{
    if (parameters_) {
        const long long count = static_cast<long long>(nSets_) * nParas_;
        for (long long i = 0; i < count; ++i)
            parameters_[i].deleteParaSpecPtrDerived();
    }
    delete[] parameters_;
    delete[] paraSpecs_;
    delete[] setTable_;
}

void ParaSet_c::retain()
{
    users_.fetch_add(1);
}

void ParaSet_c::release(ParaSet_c* set)
{
    if (set && set->users_.fetch_sub(1) == 1)
        delete set;
}

int ParaSet_c::clampSet(int set) const
{
    if (set >= nSets_)
        set = nSets_ - 1;
    return set < 0 ? 0 : set;
}

Parameter_c* ParaSet_c::paraAt(int set, int idx) const
{
    Parameter_c* paras = getParaPtr(set);
    if (!paras)
        return nullptr;
    if (idx >= nParas_)
        idx = nParas_ - 1;
    if (idx < 0)
        idx = 0;
    return &paras[idx];
}

void ParaSet_c::reset(int set)
{
    // Computed wide: set + 1 must not overflow.
    resetSE(set, set == INT32_MAX ? set : set + 1);
}

void ParaSet_c::resetAll()
{
    resetSE(0, nSets_);
}

void ParaSet_c::resetSE(int first, int end)
{
    if (!defined_ || locked_.load())
        return;
    long long start = first < 0 ? 0 : first;
    if (static_cast<long long>(end) - 1 < start)
        start = static_cast<long long>(end) - 1;
    // An empty range such as (0, 0) would start at -1.
    if (start < 0)
        start = 0;
    long long stop = start + 1 > end ? start + 1 : end;
    if (stop > nSets_)
        stop = nSets_;
    for (long long s = start; s < stop; ++s)
        for (int i = 0; i < nParas_; ++i)
            setTable_[s][i].reset();
}

void ParaSet_c::setOrder(int order)
{
    order_ = order;
}

bool ParaSet_c::spreadPara()
{
    if (!defined_)
        return false;
    for (int s = 1; s < nSets_; ++s)
        for (int i = 0; i < nParas_; ++i)
            setTable_[s][i].copyDeep(setTable_[0][i]);
    paraDefined_ = true;
    return true;
}

bool ParaSet_c::getParaDefined() const
{
    return paraDefined_;
}

bool ParaSet_c::isValidSet(short set) const
{
    return set >= 0 && set < nSets_;
}

void ParaSet_c::setPara01(int set, int idx, float x)
{
    if (Parameter_c* p = paraAt(set, idx))
        p->setFl01(x);
}

float ParaSet_c::getPara01(int set, int idx) const
{
    const Parameter_c* p = paraAt(set, idx);
    return p ? static_cast<float>(p->norm) : 0.0f;
}

void ParaSet_c::setParaVal(int set, int idx, int v)
{
    if (Parameter_c* p = paraAt(set, idx))
        p->setVal(v);
}

void ParaSet_c::setParaHiVal(int set, int idx, int v)
{
    if (Parameter_c* p = paraAt(set, idx))
        p->setHiVal(v);
}

void ParaSet_c::setParaLoVal(int set, int idx, int v)
{
    if (Parameter_c* p = paraAt(set, idx))
        p->setLoVal(v);
}

float ParaSet_c::getParaFl(int set, int idx) const
{
    const Parameter_c* p = paraAt(set, idx);
    return p ? static_cast<float>(p->fl) : 0.0f;
}

int ParaSet_c::getParaVal(int set, int idx) const
{
    const Parameter_c* p = paraAt(set, idx);
    return p ? static_cast<int>(p->value) : 0;
}

void ParaSet_c::setParaOn(int set, int idx, bool on)
{
    if (Parameter_c* p = paraAt(set, idx))
        p->setSwOn(on);
}

bool ParaSet_c::getParaOn(int set, int idx) const
{
    const Parameter_c* p = paraAt(set, idx);
    return p && p->getSwOn();
}

float ParaSet_c::getParaDef(int set, int idx) const
{
    const Parameter_c* p = paraAt(set, idx);
    return p ? p->getDef() : 0.0f;
}

int ParaSet_c::getEnuIdx(int set, int idx, const char* text) const
{
    const Parameter_c* p = paraAt(set, idx);
    return p ? p->getEnuIdx(text) : 0;
}

float ParaSet_c::getParaVol(int set, int idx) const
{
    const Parameter_c* p = paraAt(set, idx);
    return p ? static_cast<float>(p->gain) : 0.0f;
}

void ParaSet_c::setParaCharPtr(int set, int idx, const char* text)
{
    if (Parameter_c* p = paraAt(set, idx))
        p->setCharPtr(text);
}

void ParaSet_c::getParaCharPtr(int set, int idx, char* dst) const
{
    if (!dst)
        return;
    dst[0] = 0;
    if (const Parameter_c* p = paraAt(set, idx))
        p->getCharPtr(dst);
}

void ParaSet_c::setParaString(int set, int idx, Vdx::String_c s)
{
    if (Parameter_c* p = paraAt(set, idx))
        p->setString(s);
}

void ParaSet_c::getParaString(int set, int idx, Vdx::String_c* s) const
{
    if (const Parameter_c* p = paraAt(set, idx))
        p->getString(s);
}

void ParaSet_c::setParaPath(int set, int idx, Tool::Disk::Path_c path)
{
    if (Parameter_c* p = paraAt(set, idx))
        p->setPath(path);
}

void ParaSet_c::getParaPath(int set, int idx, Tool::Disk::Path_c* path) const
{
    if (const Parameter_c* p = paraAt(set, idx))
        p->getPath(path);
}

float ParaSet_c::getParaStepChangeFl(int idx, int dir) const
{
    const Parameter_c* p = paraAt(0, idx);
    return p ? p->getStepChangeFl(dir) : 0.0f;
}

void ParaSet_c::getParaUnit(int set, int idx, char* dst) const
{
    if (const Parameter_c* p = paraAt(set, idx))
        p->getUnit(dst, ParaNameBufferBytes);
}

void ParaSet_c::getDisplay(int set, int idx, Vdx::String_c& out)
{
    if (Parameter_c* p = paraAt(set, idx))
        p->getDisplay(out);
}

void ParaSet_c::getParaName(int set, int idx, char* dst) const
{
    if (const Parameter_c* p = paraAt(set, idx))
        p->getName(dst, ParaNameBufferBytes);
}

void ParaSet_c::lockPara(bool locked)
{
    locked_.store(locked);
}

void ParaSet_c::setParaSetList()
{
    if (!parameters_ || !setTable_)
        return;
    for (int s = 0; s < nSets_; ++s)
        setTable_[s] = parameters_ + static_cast<size_t>(s) * static_cast<size_t>(nParas_);
}

// ---------------------------------------------------------------------------
// Chunk

int ParaSet_c::getChunkSize(int set) const
{
    if (!parameters_)
        return 0;
    long long bytes = HeaderBytes;
    const Parameter_c* paras = setTable_[clampSet(set)];
    for (int i = 0; i < nParas_; ++i)
        bytes += 4 * entryWords(paras[i]);
    return static_cast<int>(bytes);
}

int ParaSet_c::getEntryOffset(int set, int idx) const
{
    if (!parameters_ || idx < 0 || idx >= nParas_)
        return -1;
    long long bytes = HeaderBytes;
    const Parameter_c* paras = setTable_[clampSet(set)];
    for (int i = 0; i < idx; ++i)
        bytes += 4 * entryWords(paras[i]);
    return static_cast<int>(bytes);
}

int ParaSet_c::copyFromString(int* buf, const Parameter_c& p) const
{
    const int n = stringLength(p);
    storeWord(buf, 0, StringEntryMark + n);
    if (n > 0) {
        const Vdx::String_c& s = *static_cast<const Vdx::String_c*>(p.payload);
        for (int i = 0; i < n; ++i)
            storeWord(buf, 1 + i, static_cast<unsigned char>(s[static_cast<size_t>(i)]));
    }
    return n + 1;
}

int ParaSet_c::getChunk(int* buf, int set) const
{
    if (!buf || !parameters_)
        return 0;
    const Parameter_c* paras = setTable_[clampSet(set)];
    storeWord(buf, 0, typeCode_);
    storeWord(buf, 2, order_ < 0 ? 0 : order_);
    long long pos = HeaderWords;
    for (int i = 0; i < nParas_; ++i) {
        const Parameter_c& p = paras[i];
        switch (p.getType()) {
        case ptEnu:
        case ptCharPtr: {
            // Straight from the parameter, however long: sized exactly as
            // getChunkSize counts it.
            int length = 0;
            const char* text = entryText(p, &length);
            const int fieldBytes = textFieldBytes(length);
            storeWord(buf, pos, fieldBytes);
            unsigned char* field = reinterpret_cast<unsigned char*>(buf) + (pos + 1) * 4;
            std::memcpy(field, text, static_cast<size_t>(length));
            std::memset(field + length, 0, static_cast<size_t>(fieldBytes - length));
            pos += 1 + fieldBytes / 4;
            break;
        }
        case ptFloatArray: {
            const int n = p.getPrecision();
            storeWord(buf, pos, n);
            for (int e = 0; e < n; ++e) {
                const float f = p.getFloatArray(e);
                std::memcpy(reinterpret_cast<unsigned char*>(buf) + (pos + 1 + e) * 4, &f, sizeof f);
            }
            pos += 1 + n;
            break;
        }
        case ptSel:
            break;
        case ptString:
            pos += copyFromString(buf + pos, p);
            break;
        default:
            storeWord(buf, pos, p.value);
            pos += 1;
            break;
        }
    }
    const int bytes = static_cast<int>(pos * 4);
    storeWord(buf, 1, bytes);
    return bytes;
}

int ParaSet_c::copyToString(const int* buf, int words, Parameter_c& p) const
{
    if (!buf || words < 1)
        return 0;
    const long long consumed = stringEntryWords(buf, 0, words);
    if (consumed < 1)
        return 0;
    const int32_t first = loadWord(buf, 0);
    Vdx::String_c s;
    if (first >= StringEntryMark) {
        const long long n = consumed - 1;
        s.resize(static_cast<size_t>(n));
        for (long long i = 0; i < n; ++i)
            s[static_cast<size_t>(i)] = static_cast<char>(loadWord(buf, 1 + i) & 0xFF);
    } else {
        s = reinterpret_cast<const char*>(buf + 1);
    }
    p.setString(s);
    return static_cast<int>(consumed);
}

int ParaSet_c::setChunk(void* buf, int size, int set)
{
    if (!parameters_)
        return 0;
    if (locked_.load() || nParas_ < 1 || size / 4 < MinReadBytes / 4 || !buf)
        return size;
    Parameter_c* paras = setTable_[clampSet(set)];
    const long long words = size / 4;
    const long long limit = words * 4; // entries use whole words only
    long long pos = HeaderWords;
    for (int i = 0; i < nParas_ && pos < words; ++i) {
        Parameter_c& p = paras[i];
        // Each entry is checked before its parameter is touched: an entry
        // that runs past the chunk ends the read and leaves p as it was.
        switch (p.getType()) {
        case ptEnu:
        case ptCharPtr: {
            const int32_t fieldBytes = loadWord(buf, pos);
            if (fieldBytes <= 0) {
                // No text: the parameter keeps its default.
                p.reset();
                pos += 1;
                break;
            }
            if (!textFieldFits(buf, (pos + 1) * 4, fieldBytes, limit))
                return size;
            const char* text = static_cast<const char*>(buf) + (pos + 1) * 4;
            p.reset();
            if (p.getType() == ptEnu)
                p.setEnuVal(text);
            else
                p.setCharPtr(text);
            pos += 1 + fieldBytes / 4;
            break;
        }
        case ptString: {
            const int available = static_cast<int>(words - pos);
            if (stringEntryWords(buf, pos, words) < 1)
                return size;
            p.reset();
            pos += copyToString(reinterpret_cast<const int*>(static_cast<const unsigned char*>(buf) + pos * 4),
                                available, p);
            break;
        }
        case ptFloatArray: {
            const int32_t n = loadWord(buf, pos);
            if (n > 0 && pos + 1 + n > words)
                return size;
            p.reset();
            // Indices beyond the array's own count land on its last element.
            for (int32_t e = 0; e < n; ++e) {
                float f;
                std::memcpy(&f, static_cast<const unsigned char*>(buf) + (pos + 1 + e) * 4, sizeof f);
                p.setFloatArray(e, f);
            }
            pos += 1 + (n > 0 ? n : 0);
            break;
        }
        case ptSel:
            p.reset();
            break;
        default:
            p.reset();
            p.setVal(loadWord(buf, pos));
            pos += 1;
            break;
        }
    }
    return size;
}

bool ParaSet_c::readChunkHeader(const void* buf, long long bytesPresent, ParaChunkHeader_t* out)
{
    if (!buf || bytesPresent < HeaderBytes)
        return false;
    ParaChunkHeader_t h;
    h.typeCode = loadWord(buf, 0);
    h.size = loadWord(buf, 1);
    h.order = loadWord(buf, 2);
    if (h.order < 0) {
        h.scrambled = true;
        h.size = decodeInt32(h.size);
        h.order = ~h.order;
    }
    if (h.size < HeaderBytes || h.size % 4 != 0 || h.size > bytesPresent)
        return false;
    if (out)
        *out = h;
    return true;
}

bool ParaSet_c::matchesChunk(const void* buf, long long bytesPresent, ParaChunkHeader_t* out) const
{
    ParaChunkHeader_t h;
    if (!readChunkHeader(buf, bytesPresent, &h) || h.typeCode != typeCode_)
        return false;
    if (out)
        *out = h;
    return true;
}

// ---------------------------------------------------------------------------

ParaSetMCFACT_c::~ParaSetMCFACT_c() = default;

int ParaSetMCFACT_c::getChunk(int* buf, int set) const
{
    const int bytes = ParaSet_c::getChunk(buf, set);
    if (bytes >= HeaderBytes) {
        storeWord(buf, 1, encodeInt32(loadWord(buf, 1)));
        storeWord(buf, 2, ~loadWord(buf, 2));
    }
    return bytes;
}
