#include "Parameter.h"

#include "SafeDiv.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

// One volume step is 0.2 dB with 6 dB counted as a doubling, so 30 steps
// double the gain: the single-precision value of 2^(1/30), raised in double.
constexpr double VolumeStepGain = 1.0233738422393799;
// The step size answer is stretched a little so that a host stepping by it
// always crosses into the next integer value.
constexpr float StepChangeStretch = 1.0010000467300415f;
// Added before truncation so that a normalised value that lands a rounding
// error below an integer still reaches it.
constexpr float Fl01Rounding = 0.1f;

constexpr const char* ZoomItems = "  1   2   4   8   16  32  64 128 256 5121024";
constexpr const char* OnOffItems = "OffOn ";
constexpr const char* NoteNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
constexpr const char* ErrorText = "Error!";

int clampInt(long long v, long long lo, long long hi)
{
    if (v > hi)
        v = hi;
    if (v < lo)
        v = lo;
    return static_cast<int>(v);
}

// printf's "%0<width>d", without the locale.
void appendInt(Vdx::String_c& out, long long v, int width = 0)
{
    char digits[24];
    const auto res = std::to_chars(digits, digits + sizeof digits, v < 0 ? -v : v);
    const int count = static_cast<int>(res.ptr - digits);
    if (v < 0) {
        out += '-';
        --width;
    }
    if (width > count)
        out.append(static_cast<size_t>(width - count), '0');
    out.append(digits, static_cast<size_t>(count));
}

// printf's "%0.2f", without the locale.
void appendFixed2(Vdx::String_c& out, double v)
{
    char text[48];
    const auto res = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 2);
    out.append(text, static_cast<size_t>(res.ptr - text));
}

void copyCapped(char* dst, const Vdx::String_c& text, size_t capacity)
{
    if (!dst || capacity < 1)
        return;
    const size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(dst, text.data(), n);
    dst[n] = 0;
}

// A heap copy of a text as text parameters hold it: length + 2 bytes, the
// text and its terminator. Null for an empty text or when memory runs out.
char* copyText(const char* text)
{
    if (!text || !*text)
        return nullptr;
    const size_t len = std::strlen(text);
    char* fresh = static_cast<char*>(std::malloc(len + 2));
    if (fresh) {
        std::memcpy(fresh, text, len + 1);
        fresh[len + 1] = 0;
    }
    return fresh;
}

// The offset of the first occurrence of text in list when it starts an item
// (a multiple of the width); -1 otherwise. Only the first occurrence counts.
long long alignedItemOffset(const char* list, const char* text, int width)
{
    if (!list)
        return -1;
    const char* found = std::strstr(list, text);
    if (!found)
        return -1;
    const long long offset = found - list;
    return offset % width == 0 ? offset : -1;
}

void setFlag(Flags_c& flags, int mask, bool on)
{
    if (on)
        flags.set(mask);
    else
        flags.clear(mask);
}

// The two display flags of text and string parameters.
void setTextFlags(ParaSpec_c& paraSpec, bool pathLeaf, bool stripExtension)
{
    setFlag(paraSpec.flags, pfPathLeaf, pathLeaf);
    setFlag(paraSpec.flags, pfStripExtension, stripExtension);
}

} // namespace

Parameter_c::~Parameter_c()
{
    Parameter_c::deleteParaSpecPtrDerived();
    noteWrite();
}

void Parameter_c::freePayload()
{
    if (!payload)
        return;
    if (paraSpec && paraSpec->type == ptString)
        delete static_cast<Vdx::String_c*>(payload);
    else
        std::free(payload);
    payload = nullptr;
}

void Parameter_c::deleteParaSpecPtrDerived()
{
    freePayload();
    if (paraSpec && paraSpec->isPrivate())
        delete paraSpec;
    // The parameter's life ends here; forgetting the shared definition too
    // keeps a later destructor from reading it after the set has freed it.
    paraSpec = nullptr;
}

void Parameter_c::setParaSpecPtr(ParaSpec_c* newSpec)
{
    paraSpec = newSpec;
}

void Parameter_c::copyDeep(const Parameter_c& src)
{
    if (&src == this)
        return;
    deleteParaSpecPtrDerived();
    paraSpec = src.paraSpec;
    if (src.paraSpec && src.paraSpec->isPrivate()) {
        // Its own private copy; it names the shared definition as its
        // origin, which outlives every private copy.
        ParaSpec_c* own = new (std::nothrow) ParaSpec_c(*src.paraSpec);
        paraSpec = own ? own : const_cast<ParaSpec_c*>(src.paraSpec->copiedFrom);
    }
    fl = src.fl;
    norm = src.norm;
    gain = src.gain;
    value = src.value;
    noteWrite();
    if (!src.payload || !paraSpec)
        return;
    switch (src.paraSpec->type) {
    case ptString:
        payload = new (std::nothrow) Vdx::String_c(*static_cast<const Vdx::String_c*>(src.payload));
        break;
    case ptFloatArray: {
        const size_t bytes = (static_cast<size_t>(std::max<int>(src.paraSpec->precision, 0)) + 1) * sizeof(float);
        payload = std::malloc(bytes);
        if (payload)
            std::memcpy(payload, src.payload, bytes);
        break;
    }
    default:
        payload = copyText(static_cast<const char*>(src.payload));
        break;
    }
}

// ---------------------------------------------------------------------------
// Definition

// A payload held under another type would later be released the wrong way.
void Parameter_c::beginDefinition(ParaType_t newType)
{
    if (payload && paraSpec && paraSpec->type != newType)
        freePayload();
}

void Parameter_c::createNum(const char* name, const char* unit, float logFactor, int lo, int hi, int precision,
                            int def, int cut)
{
    if (!paraSpec)
        return;
    beginDefinition(ptNumber);
    paraSpec->def(name, unit, ptNumber, lo, hi, clampInt(def, lo, hi), precision);
    paraSpec->logFactor = logFactor;
    paraSpec->cut = static_cast<int16_t>(cut);
    paraSpec->setPrecisionDivisors();
    setValue(paraSpec->defValue);
}

void Parameter_c::createEnu(const char* name, const char* unit, int lo, int hi, int width, int def,
                            const char* items, const char* const* altLists)
{
    // A width of 0 would divide by zero in every item lookup.
    if (!paraSpec || !items || width < 1 || width >= EnuItemWidthLimit)
        return;
    beginDefinition(ptEnu);
    paraSpec->def(name, unit, ptEnu, lo, hi, clampInt(def, lo, hi), width);
    paraSpec->items = items;
    paraSpec->altLists = altLists;
    setValue(paraSpec->defValue);
}

void Parameter_c::createZoom(const char* name)
{
    createEnu(name, ":1", 0, 10, 4, 0, ZoomItems, nullptr);
}

void Parameter_c::createChannel(const char* name, int lo, int hi, int def)
{
    if (!paraSpec)
        return;
    beginDefinition(ptChannel);
    paraSpec->def(name, "", ptChannel, lo, hi, clampInt(def, lo, hi), 0);
    paraSpec->divisor = 1;
    setValue(paraSpec->defValue);
}

void Parameter_c::createNote(const char* name, int lo, int hi, int precision, int def)
{
    if (!paraSpec)
        return;
    beginDefinition(ptNote);
    paraSpec->def(name, "", ptNote, lo, hi, clampInt(def, lo, hi), precision);
    paraSpec->flags.set(pfNoteNames);
    paraSpec->items = nullptr;
    paraSpec->setPrecisionDivisors();
    setValue(paraSpec->defValue);
}

void Parameter_c::createVolume(const char* name, int loDb, int hiDb, int def, bool minusInfinity)
{
    if (!paraSpec)
        return;
    beginDefinition(ptVolume);
    const long long lo = static_cast<long long>(loDb) * 5 - (minusInfinity ? 1 : 0);
    const long long hi = static_cast<long long>(hiDb) * 5;
    const int loClamped = clampInt(lo, INT32_MIN, INT32_MAX);
    const int hiClamped = clampInt(hi, INT32_MIN, INT32_MAX);
    paraSpec->def(name, "dB", ptVolume, loClamped, hiClamped, clampInt(def, loClamped, hiClamped), 0);
    paraSpec->logFactor = 0.0f;
    paraSpec->items = nullptr;
    setFlag(paraSpec->flags, pfInfiniteLo, minusInfinity);
    paraSpec->flags.clear(pfInfiniteHi);
    paraSpec->setPrecisionDivisors();
    setValue(paraSpec->defValue);
}

void Parameter_c::createOnOff(const char* name, int def)
{
    if (!paraSpec)
        return;
    beginDefinition(ptOnOff);
    paraSpec->def(name, "", ptOnOff, 0, 1, clampInt(def, 0, 1), 3);
    paraSpec->items = OnOffItems;
    setValue(paraSpec->defValue);
}

void Parameter_c::createCharPtr(const char* name, bool pathLeaf, bool stripExtension, const char* defaultText)
{
    if (!paraSpec)
        return;
    beginDefinition(ptCharPtr);
    paraSpec->def(name, "", ptCharPtr, 0, 0, 0, 0);
    paraSpec->items = defaultText;
    setTextFlags(*paraSpec, pathLeaf, stripExtension);
    setValue(0);
    if (defaultText)
        setCharPtr(defaultText);
}

void Parameter_c::createFloatArray(const char* name, int n)
{
    // No elements would make the last index -1; the count must fit the
    // definition's 16-bit field.
    if (!paraSpec || n < 1 || n > std::numeric_limits<int16_t>::max())
        return;
    freePayload();
    paraSpec->def(name, "", ptFloatArray, 0, 0, 0, n);
    paraSpec->flags.clear(pfPathLeaf);
    setValue(0);
    // Zero-filled, so a chunk written before any element is set carries
    // zeros rather than whatever the heap held.
    payload = std::calloc(static_cast<size_t>(n) + 1, sizeof(float));
}

void Parameter_c::createPan(const char* name)
{
    if (!paraSpec)
        return;
    beginDefinition(ptPan);
    paraSpec->def(name, "", ptPan, -100, 100, 0, 2);
    paraSpec->logFactor = 0.0f;
    paraSpec->cut = 0;
    paraSpec->setPrecisionDivisors();
    setValue(paraSpec->defValue);
}

void Parameter_c::createSel(const char* name, int lo, int hi, int def)
{
    if (!paraSpec)
        return;
    beginDefinition(ptSel);
    paraSpec->def(name, "", ptSel, lo, hi, clampInt(def, lo, hi), 0);
    paraSpec->logFactor = 0.0f;
    paraSpec->cut = 0;
    paraSpec->divisor = 1;
    setValue(paraSpec->defValue);
}

void Parameter_c::createString(const char* name, bool pathLeaf, bool stripExtension)
{
    if (!paraSpec)
        return;
    beginDefinition(ptString);
    paraSpec->def(name, "", ptString, 0, 0, 0, 0);
    setTextFlags(*paraSpec, pathLeaf, stripExtension);
    setValue(0);
}

// ---------------------------------------------------------------------------
// Values

namespace {

// The logarithmic warp of a linear 0..1 position: ln(e^k x - x + 1) / k in
// double. A position far outside 0..1 (values are not clamped by setValue)
// could leave the logarithm's domain; it keeps its linear form then.
float warp(float x, float k)
{
    if (std::fabs(k) <= 0.01f)
        return x;
    const double xd = x;
    const double kd = k;
    const double arg = std::exp(kd) * xd - xd + 1.0;
    const double warped = std::log(arg) / kd;
    return std::isfinite(warped) ? static_cast<float>(warped) : x;
}

} // namespace

bool Parameter_c::isItemType() const
{
    return paraSpec && (paraSpec->type == ptEnu || paraSpec->type == ptOnOff);
}

float Parameter_c::normOf(int v) const
{
    const long long range = static_cast<long long>(paraSpec->hi) - paraSpec->lo;
    const float linear =
        range >= 1 ? static_cast<float>(static_cast<long long>(v) - paraSpec->lo) / static_cast<float>(range) : 0.0f;
    return warp(linear, paraSpec->logFactor);
}

void Parameter_c::setValue(int v)
{
    if (!paraSpec)
        return;
    const float newNorm = normOf(v);
    const float newFl = so_fdiv(static_cast<float>(v), static_cast<float>(paraSpec->divisor));
    float newGain = 0.0f;
    if (paraSpec->type == ptVolume) {
        if (!(v == paraSpec->lo && paraSpec->flags.isSet(pfInfiniteLo)))
            newGain = static_cast<float>(std::pow(VolumeStepGain, static_cast<double>(v)));
    }
    fl = newFl;
    norm = newNorm;
    gain = newGain;
    value = v;
    noteWrite();
}

void Parameter_c::setVal(int v)
{
    if (!paraSpec)
        return;
    setValue(clampInt(v, paraSpec->lo, paraSpec->hi));
}

void Parameter_c::setFl01(float x)
{
    if (!paraSpec)
        return;
    setValue(valueOf01(x));
}

int Parameter_c::valueOf01(float x) const
{
    if (!paraSpec)
        return 0;
    // NaN and anything below 0 mean the bottom of the range.
    if (!(x >= 0.0f))
        x = 0.0f;
    if (x > 1.0f)
        x = 1.0f;
    const float k = paraSpec->logFactor;
    if (std::fabs(k) > 0.01f) {
        const double unwarped = (std::exp(static_cast<double>(k) * x) - 1.0) / (std::exp(static_cast<double>(k)) - 1.0);
        x = static_cast<float>(unwarped);
        if (!(x >= 0.0f))
            x = 0.0f;
        if (x > 1.0f)
            x = 1.0f;
    }
    const int lo = paraSpec->lo;
    const int hi = paraSpec->hi;
    int v = lo;
    if (lo < hi) {
        float t = static_cast<float>(static_cast<long long>(hi) - lo) * x + Fl01Rounding + static_cast<float>(lo);
        if (t < 0.0f)
            t -= 0.2f;
        // Float rounding of a wide range can land beyond either end.
        v = clampInt(static_cast<long long>(std::trunc(static_cast<double>(t))), lo, hi);
    }
    return v;
}

void Parameter_c::setSwOn(bool on)
{
    setValue(on ? 1 : 0);
}

void Parameter_c::reset()
{
    if (!paraSpec)
        return;
    setValue(paraSpec->defValue);
    if (!payload)
        return;
    if (paraSpec->type == ptCharPtr) {
        if (paraSpec->items)
            setCharPtr(paraSpec->items);
        else
            static_cast<char*>(payload)[0] = 0;
    } else if (paraSpec->type == ptFloatArray) {
        // Elements are read on the audio thread (the tuning table) while a
        // load rewrites them: each is one relaxed atomic store.
        float* elements = static_cast<float*>(payload);
        for (int i = 0; i < paraSpec->precision; ++i)
            std::atomic_ref<float>(elements[i]).store(0.0f, std::memory_order_relaxed);
    }
}

bool Parameter_c::getSwOn() const
{
    return paraSpec && value != 0;
}

float Parameter_c::getVol() const
{
    return paraSpec ? static_cast<float>(gain) : 1.0f;
}

float Parameter_c::getDef() const
{
    if (!paraSpec)
        return 0.5f;
    const ParaSpec_c& s = *paraSpec;
    const float linear = s.lo < s.hi ? static_cast<float>(static_cast<long long>(s.defValue) - s.lo) /
                                           static_cast<float>(static_cast<long long>(s.hi) - s.lo)
                                     : 0.5f;
    return warp(linear, s.logFactor);
}

float Parameter_c::getStepChangeFl(int dir) const
{
    if (!paraSpec)
        return 0.0f;
    // Computed aside: the audio thread reads this parameter's live value.
    const int lo = paraSpec->lo;
    const float a = normOf(lo);
    const float b = lo < std::numeric_limits<int>::max() ? normOf(lo + 1) : a;
    const float step = (b - a) * StepChangeStretch;
    return dir > 0 ? step : -step;
}

bool Parameter_c::getInfinite() const
{
    if (!paraSpec)
        return false;
    const int v = value;
    return (paraSpec->flags.isSet(pfInfiniteHi) && v == paraSpec->hi) ||
           (paraSpec->flags.isSet(pfInfiniteLo) && v == paraSpec->lo);
}

int Parameter_c::getLowValue() const { return paraSpec ? paraSpec->lo : 0; }
int Parameter_c::getHighValue() const { return paraSpec ? paraSpec->hi : 0; }
int Parameter_c::getDefValue() const { return paraSpec ? paraSpec->defValue : 0; }
float Parameter_c::getLogFactor() const { return paraSpec ? paraSpec->logFactor : 0.0f; }
int Parameter_c::getPrecision() const { return paraSpec ? paraSpec->precision : 0; }
ParaType_t Parameter_c::getType() const { return paraSpec ? paraSpec->type : ptUndefined; }

void Parameter_c::setLogFactor(float k)
{
    if (paraSpec)
        paraSpec->logFactor = k;
}

// ---------------------------------------------------------------------------
// Texts and items

void Parameter_c::getName(char* dst, short size) const
{
    if (!dst || size < 1)
        return;
    copyCapped(dst, Vdx::String_c(paraSpec && paraSpec->name ? paraSpec->name : ""), static_cast<size_t>(size));
}

void Parameter_c::getUnit(char* dst, short size) const
{
    if (!dst || size < 1 || !paraSpec || !paraSpec->unit)
        return;
    copyCapped(dst, Vdx::String_c(paraSpec->unit), static_cast<size_t>(size));
}

const char* Parameter_c::getEnuItem(int* length) const
{
    if (length)
        *length = 0;
    if (!isItemType() || !paraSpec->items || paraSpec->precision < 1)
        return nullptr;
    const long long index = static_cast<long long>(value) - paraSpec->lo;
    if (index < 0)
        return nullptr;
    const size_t total = std::strlen(paraSpec->items);
    const unsigned long long offset = static_cast<unsigned long long>(index) * paraSpec->precision;
    if (offset > total)
        return nullptr;
    const char* item = paraSpec->items + offset;
    if (length)
        *length = static_cast<int>(strnlen(item, static_cast<size_t>(paraSpec->precision)));
    return item;
}

void Parameter_c::getEnuVal(char* dst) const
{
    if (!dst)
        return;
    int length = 0;
    const char* item = getEnuItem(&length);
    if (item)
        std::memcpy(dst, item, static_cast<size_t>(length));
    dst[length] = 0;
}

int Parameter_c::getEnuIdx(const char* text) const
{
    if (!paraSpec || paraSpec->type == ptUndefined || !paraSpec->items || !text || paraSpec->precision < 1)
        return 0;
    const long long offset = alignedItemOffset(paraSpec->items, text, paraSpec->precision);
    if (offset < 0)
        return 0;
    return clampInt(offset / paraSpec->precision + paraSpec->lo, INT32_MIN, INT32_MAX);
}

void Parameter_c::setEnuVal(const char* text)
{
    if (!isItemType() || !paraSpec->items || paraSpec->precision < 1 || !text)
        return;
    const ParaSpec_c& s = *paraSpec;
    const int width = s.precision;
    long long offset = alignedItemOffset(s.items, text, width);
    if (offset >= 0) {
        setValue(clampInt(s.lo + offset / width, s.lo, s.hi));
        return;
    }
    if (!s.altLists || !s.altLists[0]) {
        setValue(clampInt(s.defValue, s.lo, s.hi));
        return;
    }
    for (const char* const* list = s.altLists; *list; ++list) {
        offset = alignedItemOffset(*list, text, width);
        if (offset >= 0) {
            setValue(clampInt(s.lo + offset / width, s.lo, s.hi));
            return;
        }
    }
}

const char* Parameter_c::getEnuValPtr() const
{
    return paraSpec ? paraSpec->items : nullptr;
}

bool Parameter_c::makeSpecPrivate()
{
    if (!paraSpec)
        return false;
    if (paraSpec->isPrivate())
        return true;
    ParaSpec_c* own = new (std::nothrow) ParaSpec_c(paraSpec);
    if (!own)
        return false;
    paraSpec = own;
    return true;
}

void Parameter_c::redefineEnu(int lo, const char* items)
{
    if (!paraSpec || paraSpec->type != ptEnu || !items || paraSpec->precision < 1)
        return;
    const size_t count = std::strlen(items) / static_cast<size_t>(paraSpec->precision);
    // A text shorter than one item would leave an empty range.
    if (count < 1 || !makeSpecPrivate())
        return;
    ParaSpec_c& s = *paraSpec;
    s.lo = lo;
    s.items = items;
    s.hi = clampInt(static_cast<long long>(lo) + static_cast<long long>(count) - 1, INT32_MIN, INT32_MAX);
    const int v = value;
    if (v < s.lo || v > s.hi)
        setValue(clampInt(v, s.lo, s.hi));
    s.defValue = clampInt(s.defValue, s.lo, s.hi);
}

void Parameter_c::getCharPtr(char* dst) const
{
    if (!dst)
        return;
    if (!paraSpec) {
        dst[0] = 0;
        return;
    }
    if (paraSpec->type == ptUndefined)
        return;
    const char* text = paraSpec->type == ptCharPtr && payload ? static_cast<const char*>(payload) : "";
    copyCapped(dst, Vdx::String_c(text), ParaTextBufferBytes);
}

void Parameter_c::setCharPtr(const char* text)
{
    if (!paraSpec)
        return;
    if (paraSpec->type == ptCharPtr) {
        // Copied before the old text goes: text may point into it.
        char* fresh = copyText(text);
        std::free(payload);
        payload = fresh;
    } else if (paraSpec->type == ptEnu && text) {
        setEnuVal(text);
    }
}

void Parameter_c::getString(Vdx::String_c* s) const
{
    if (!s)
        return;
    s->clear();
    if (!paraSpec || !payload)
        return;
    if (paraSpec->type == ptString)
        *s = *static_cast<const Vdx::String_c*>(payload);
    else if (paraSpec->type == ptCharPtr)
        *s = static_cast<const char*>(payload);
}

void Parameter_c::setString(const Vdx::String_c& s)
{
    if (!paraSpec)
        return;
    if (paraSpec->type == ptString)
        setRealString(s);
    else
        setCharPtr(s.c_str());
}

void Parameter_c::setRealString(const Vdx::String_c& s)
{
    if (!paraSpec || paraSpec->type != ptString)
        return;
    // Built before the old string goes: s may be that very string.
    Vdx::String_c* fresh = new (std::nothrow) Vdx::String_c(s);
    delete static_cast<Vdx::String_c*>(payload);
    payload = fresh;
}

void Parameter_c::getPath(Tool::Disk::Path_c* p) const
{
    if (!p)
        return;
    Vdx::String_c text;
    getString(&text);
    *p = Tool::Disk::Path_c(text);
}

void Parameter_c::setPath(const Tool::Disk::Path_c& p)
{
    if (!paraSpec)
        return;
    if (paraSpec->type == ptString)
        setRealString(p.getString());
    else
        setCharPtr(p.c_str());
}

void Parameter_c::spreadString()
{
    if (!paraSpec || paraSpec->type != ptCharPtr || !payload)
        return;
    payload = copyText(static_cast<const char*>(payload));
}

float Parameter_c::getFloatArray(int i) const
{
    if (!paraSpec || paraSpec->type != ptFloatArray || !payload || paraSpec->precision < 1)
        return 0.0f;
    float& element = static_cast<float*>(payload)[clampInt(i, 0, paraSpec->precision - 1)];
    return std::atomic_ref<float>(element).load(std::memory_order_relaxed);
}

void Parameter_c::setFloatArray(int i, float v)
{
    if (!paraSpec || paraSpec->type != ptFloatArray || !payload || paraSpec->precision < 1)
        return;
    float& element = static_cast<float*>(payload)[clampInt(i, 0, paraSpec->precision - 1)];
    std::atomic_ref<float>(element).store(v, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// Display

Vdx::String_c Parameter_c::noteText() const
{
    const int v = value;
    const int divisor = paraSpec->divisor > 0 ? paraSpec->divisor : 1;
    if (v == 128)
        return "all";
    const int n = v / divisor;
    const int octave = n / 12 - 2;
    const int nameIndex = clampInt(n - 12 * (n / 12), 0, 11);
    Vdx::String_c out;
    if (paraSpec->precision == 2) {
        out = NoteNames[nameIndex];
        appendInt(out, octave);
        out += ' ';
        appendInt(out, v % divisor, 2);
        out += 'c';
    } else if (paraSpec->precision == 0) {
        if (paraSpec->flags.isSet(pfNoteNames)) {
            out = NoteNames[nameIndex];
            appendInt(out, octave);
        } else {
            appendInt(out, v);
        }
    } else {
        out = ErrorText;
    }
    return out;
}

Vdx::String_c Parameter_c::volumeText() const
{
    const int v = value;
    // Silence only where the range has a minus-infinity step; a plain floor
    // is a level like any other.
    if (v == paraSpec->lo && paraSpec->flags.isSet(pfInfiniteLo))
        return "-oo";
    const long long magnitude = v < 0 ? -static_cast<long long>(v) : v;
    Vdx::String_c out;
    if (v < 0)
        out += '-';
    appendInt(out, magnitude / 5);
    // Below -9.8 dB the tenths are dropped.
    if (v >= -49) {
        out += '.';
        appendInt(out, (magnitude % 5) * 2);
    }
    return out;
}

Vdx::String_c Parameter_c::stringText() const
{
    Vdx::String_c text;
    getString(&text);
    const bool leaf = paraSpec->flags.isSet(pfPathLeaf);
    const bool strip = paraSpec->flags.isSet(pfStripExtension);
    if (text.empty() || (!leaf && !strip))
        return text;
    Tool::Disk::Path_c path(text);
    if (leaf)
        path = path.getLeaf();
    if (strip)
        path = path.getExtStripped();
    return path.getString();
}

Vdx::String_c Parameter_c::numberText() const
{
    const ParaSpec_c& s = *paraSpec;
    const int v = value;
    if (s.flags.isSet(pfInfiniteHi) && v == s.hi)
        return "oo";
    if (s.flags.isSet(pfInfiniteLo) && v == s.lo)
        return "-oo";
    Vdx::String_c out;
    const bool percent = s.precision == 2 && s.unit && s.unit[0] == '%';
    if (s.precision == 0 || percent) {
        // Percent parameters keep 0..100 in the value and the fraction in fl.
        appendInt(out, v);
    } else {
        const int divisor = s.divisor != 0 ? s.divisor : 1;
        const long long q = v / divisor;
        const long long r = v % divisor;
        if (r < 0) {
            out += '-';
            appendInt(out, -q);
            out += '.';
            appendInt(out, -r, s.precision);
        } else {
            appendInt(out, q);
            out += '.';
            appendInt(out, r, s.precision);
        }
    }
    if (s.cut >= 1) {
        const size_t keep = static_cast<size_t>(s.cut) + (v < 0 ? 1 : 0);
        if (out.size() > keep)
            out.resize(keep);
    }
    return out;
}

void Parameter_c::getDisplay(Vdx::String_c& out)
{
    out = ErrorText;
    if (!paraSpec || paraSpec->precision < 0)
        return;
    ParaSpec_c& s = *paraSpec;
    switch (s.type) {
    case ptEnu:
    case ptOnOff: {
        if (!s.items)
            return;
        const int v = clampInt(value, s.lo, s.hi);
        if (v != value) {
            value = v; // the clamped value is kept; the derived forms stay as they are
            noteWrite();
        }
        if (s.flags.isSet(pfInfiniteHi) && v == s.hi) {
            out = "oo";
        } else if (s.flags.isSet(pfInfiniteLo) && v == s.lo) {
            out = "-oo";
        } else {
            int length = 0;
            const char* item = getEnuItem(&length);
            out.assign(item ? item : "", static_cast<size_t>(length));
        }
        return;
    }
    case ptChannel:
        if (value == 16) {
            out = "all";
        } else {
            out.clear();
            appendInt(out, static_cast<long long>(value) + 1, 2);
        }
        return;
    case ptNote:
        out = noteText();
        return;
    case ptVolume:
        out = volumeText();
        return;
    case ptCharPtr:
        out = stringText();
        return;
    case ptPan: {
        const int v = value;
        out.clear();
        if (v < 0) {
            out = "L ";
            appendFixed2(out, -v * 0.01);
        } else if (v > 0) {
            out = "  ";
            appendFixed2(out, v * 0.01);
            out += " R";
        } else {
            out = "  < C >  ";
        }
        return;
    }
    default:
        out = numberText();
        return;
    }
}

void Parameter_c::printNote(char* dst) const
{
    copyCapped(dst, paraSpec ? noteText() : Vdx::String_c(ErrorText), ParaTextBufferBytes);
}

void Parameter_c::printVolume(char* dst) const
{
    copyCapped(dst, paraSpec ? volumeText() : Vdx::String_c(ErrorText), ParaTextBufferBytes);
}

void Parameter_c::printString(char* dst) const
{
    copyCapped(dst, paraSpec ? stringText() : Vdx::String_c(), ParaTextBufferBytes);
}

// ---------------------------------------------------------------------------
// Range changes

void Parameter_c::setLoVal(int v)
{
    if (!paraSpec || v == paraSpec->lo || v > paraSpec->hi)
        return;
    const bool items = isItemType();
    // Items can only be dropped from the front; there are none to add.
    if (items && v < paraSpec->lo)
        return;
    if (!makeSpecPrivate())
        return;
    ParaSpec_c& s = *paraSpec;
    if (items && s.items && s.precision > 0) {
        // Keeps the item shown for every remaining value the same.
        const unsigned long long shift = (static_cast<unsigned long long>(static_cast<long long>(v) - s.lo)) *
                                         static_cast<unsigned long long>(s.precision);
        const size_t total = std::strlen(s.items);
        s.items += shift < total ? shift : total;
    }
    s.lo = v;
    s.defValue = std::max(s.defValue, v);
    setValue(std::max(static_cast<int>(value), v));
}

void Parameter_c::setHiVal(int v)
{
    if (!paraSpec || v == paraSpec->hi || v < paraSpec->lo)
        return;
    if (!makeSpecPrivate())
        return;
    ParaSpec_c& s = *paraSpec;
    s.hi = v;
    s.defValue = std::min(s.defValue, v);
    setValue(std::min(static_cast<int>(value), v));
}

void Parameter_c::setDefVal(int v)
{
    if (!paraSpec || v < paraSpec->lo || v > paraSpec->hi)
        return;
    if (!makeSpecPrivate())
        return;
    paraSpec->defValue = v;
}

void Parameter_c::setFlagDisplayNote(bool on)
{
    if (paraSpec)
        setFlag(paraSpec->flags, pfNoteNames, on);
}

void Parameter_c::setInfiniteLo(bool on)
{
    if (paraSpec)
        setFlag(paraSpec->flags, pfInfiniteLo, on);
}

void Parameter_c::setInfiniteHi(bool on)
{
    if (paraSpec)
        setFlag(paraSpec->flags, pfInfiniteHi, on);
}
