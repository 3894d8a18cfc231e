// Parameter_c: one setting of a module. An integer value with the derived forms
// that the audio code reads straight from the parameter array of a set (the
// value scaled by its decimals, a normalised 0..1 form with an optional
// logarithmic warp, a linear gain for volumes), a display text, and for some
// types a payload (a text, a float array or a string). What the parameter is
// lives in its ParaSpec_c, shared by all sets of the class; a parameter that
// needs its own range or default makes itself a private copy (copy on write).
//
// Threads: every operation runs on the user-interface thread (or before audio
// runs). The audio thread only reads fl, norm, gain and value, which are
// relaxed atomics: each setter recomputes all of them at once, so the audio
// code never converts anything while rendering.
//
// Ownership: a parameter owns its payload and, when it has one, its private
// definition; the shared definition belongs to the set. Copies are deep
// (copyDeep), so no two parameters ever share a payload or a private
// definition, and destroying a parameter releases what it owns.
#pragma once

#include "Capacities.h"
#include "ParaDefinition.h"
#include "Path.h"
#include "VdxString.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

// A value written by the user-interface thread and read by the audio thread
// without locks. Relaxed loads and stores compile to the plain moves that
// lock-free reading relies on and keep the sharing race-free in the memory
// model's terms. Reads convert implicitly to T.
template <typename T>
class RelaxedAtomic_t
{
public:
    RelaxedAtomic_t(T v = T()) noexcept : v_(v) {}
    RelaxedAtomic_t(const RelaxedAtomic_t& other) noexcept : v_(other.load()) {}
    RelaxedAtomic_t& operator=(const RelaxedAtomic_t& other) noexcept
    {
        store(other.load());
        return *this;
    }
    RelaxedAtomic_t& operator=(T v) noexcept
    {
        store(v);
        return *this;
    }
    operator T() const noexcept { return load(); }
    T load() const noexcept { return v_.load(std::memory_order_relaxed); }
    void store(T v) noexcept { v_.store(v, std::memory_order_relaxed); }

private:
    static_assert(std::atomic<T>::is_always_lock_free, "the audio thread must never wait");
    std::atomic<T> v_;
};

class Parameter_c
{
public:
    Parameter_c() { noteWrite(); }
    // Releases the payload and a private definition.
    virtual ~Parameter_c();
    // A plain copy would share the payload; use copyDeep.
    Parameter_c(const Parameter_c&) = delete;
    Parameter_c& operator=(const Parameter_c&) = delete;

    // Frees the payload by type and sets it to null, then deletes the
    // definition when it is a private copy. The parameter is left without
    // a definition.
    virtual void deleteParaSpecPtrDerived();
    // Attaches a definition (not owned unless it is a private copy).
    virtual void setParaSpecPtr(ParaSpec_c* paraSpec);
    ParaSpec_c* getParaSpecPtr() const { return paraSpec; }

    // Makes this parameter an independent copy of src: value and derived
    // forms, the shared definition pointer, and its own copies of src's
    // payload and private definition. What this parameter owned before is
    // released first.
    void copyDeep(const Parameter_c& src);

    // Definition. Each sets the definition and then the value (the clamped
    // default); all do nothing without a definition.
    void createNum(const char* name, const char* unit, float logFactor, int lo, int hi, int precision, int def,
                   int cut);
    // Refused (nothing defined) without items, or for a width outside 1..31.
    void createEnu(const char* name, const char* unit, int lo, int hi, int width, int def, const char* items,
                   const char* const* altLists);
    void createZoom(const char* name);
    void createChannel(const char* name, int lo, int hi, int def);
    void createNote(const char* name, int lo, int hi, int precision, int def);
    // loDb and hiDb in dB; def already in 0.2 dB steps. With minusInfinity the
    // range gains one step below loDb * 5 that means silence.
    void createVolume(const char* name, int loDb, int hiDb, int def, bool minusInfinity);
    void createOnOff(const char* name, int def);
    void createCharPtr(const char* name, bool pathLeaf, bool stripExtension, const char* defaultText);
    // n elements, zero-filled. Refused (nothing defined) for n outside
    // 1..32767.
    void createFloatArray(const char* name, int n);
    void createPan(const char* name);
    void createSel(const char* name, int lo, int hi, int def);
    void createString(const char* name, bool pathLeaf, bool stripExtension);

    // Values.
    void setValue(int v); // no clamping; recomputes every derived form
    void setVal(int v);   // clamped to lo..hi
    // x in 0..1 (NaN counts as 0), through the inverse warp; the result
    // always lies in lo..hi.
    void setFl01(float x);
    // The value setFl01(x) would store, without storing it; 0 for a
    // parameter not defined yet.
    int valueOf01(float x) const;
    void setSwOn(bool on);
    // The default value; a text returns to its default text (or empty), a
    // float array to zeros.
    void reset();
    bool getSwOn() const;
    float getVol() const;
    // The normalised (warped) default; 0.5 for an empty range.
    float getDef() const;
    // The normalised size of one step at the bottom of the range, times
    // 1.001, positive for dir > 0 and negative otherwise. Changes nothing.
    float getStepChangeFl(int dir) const;
    bool getInfinite() const;
    int getLowValue() const;
    int getHighValue() const;
    int getDefValue() const;
    float getLogFactor() const;
    void setLogFactor(float k); // changes the definition, shared or not
    int getPrecision() const;
    ParaType_t getType() const;

    // Texts. getName and getUnit copy at most size - 1 characters and
    // terminate; getUnit leaves dst alone without a unit or for size < 1.
    void getName(char* dst, short size) const;
    void getUnit(char* dst, short size) const;
    // The item of the current value; dst holds width + 1 characters.
    void getEnuVal(char* dst) const;
    // The current item inside the packed text and its length (up to the
    // width, shorter when the text ends or holds a zero byte first); null
    // when there is no such item.
    const char* getEnuItem(int* length) const;
    int getEnuIdx(const char* text) const;
    void setEnuVal(const char* text);
    const char* getEnuValPtr() const;
    void redefineEnu(int lo, const char* items);
    // Copies the text (empty without one) into dst, which holds
    // ParaTextBufferBytes; a longer text is cut there. getString gives the
    // whole text.
    void getCharPtr(char* dst) const;
    void setCharPtr(const char* text);
    void getString(Vdx::String_c* s) const;
    void setString(const Vdx::String_c& s);
    void setRealString(const Vdx::String_c& s);
    void getPath(Tool::Disk::Path_c* p) const;
    void setPath(const Tool::Disk::Path_c& p);
    // For a text parameter whose payload pointer is shared with another
    // parameter: gives it a heap copy of its own. The old pointer is not
    // freed (it belongs to the other parameter).
    void spreadString();
    float getFloatArray(int i) const;
    void setFloatArray(int i, float v);

    // The display text; "Error!" without a definition.
    void getDisplay(Vdx::String_c& out);
    // dst holds ParaTextBufferBytes; a longer text is cut there.
    void printNote(char* dst) const;
    void printVolume(char* dst) const;
    void printString(char* dst) const;

    // Range changes of this parameter only (copy on write).
    void setLoVal(int v);
    void setHiVal(int v);
    void setDefVal(int v);
    // These change the definition the parameter points to, shared or not.
    void setFlagDisplayNote(bool on);
    void setInfiniteLo(bool on);
    void setInfiniteHi(bool on);

    // A count of the writes of fl, norm, gain and value of every parameter
    // (and of every parameter made or destroyed), raised after the values
    // are stored. Audio code that keeps results worked out from parameters
    // reads it before the parameters: while it stands still, what it read
    // then is still current. Acquire pairs with the release of the raise.
    static uint32_t writeCount() { return writes.load(std::memory_order_acquire); }
    // Raises the count: after a write of the values, and where a part takes
    // another set to read them from.
    static void noteWrite() { writes.fetch_add(1, std::memory_order_release); }

    // What the audio code reads directly.
    RelaxedAtomic_t<float> fl;   // value / divisor
    RelaxedAtomic_t<float> norm; // normalised 0..1 (warped)
    RelaxedAtomic_t<float> gain; // volumes: linear gain; others 0
    ParaSpec_c* paraSpec = nullptr;
    RelaxedAtomic_t<int32_t> value;
    // Text: malloc'ed text; float array: malloc'ed n + 1 floats; string: a
    // heap Vdx::String_c; other types null.
    void* payload = nullptr;

private:
    static inline std::atomic<uint32_t> writes{0};
    static_assert(std::atomic<uint32_t>::is_always_lock_free, "the audio thread must never wait");

    bool isItemType() const;
    float normOf(int v) const;
    bool makeSpecPrivate();
    void beginDefinition(ParaType_t newType);
    void freePayload();
    Vdx::String_c noteText() const;
    Vdx::String_c volumeText() const;
    Vdx::String_c stringText() const;
    Vdx::String_c numberText() const;
};
