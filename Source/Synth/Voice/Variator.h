// The bases of every audio processor. VariatorBase_c switches a processor on
// and off with its input signal and lets it ring out for a tail; the per-voice
// processors (amplifiers, panners, filters, saturators) derive from
// VariatorTone_c, which adds the amplitude-and-pan core; the per-instrument
// effects derive from VariatorInst_c, which adds the output-sum operations
// and an optional level meter.
//
// Render protocol: whoever drives a processor calls renderII(n) once per
// piece (or render(n) directly when it decides itself). render(on, n) renders
// while the input is active, then for getFadeTime() seconds of tail after it
// fell silent; coming on again after the tail ran out is a restart
// (requestRestart), coming on again within the tail is not.
//
// Every render entry raises the part's rendering flag for its duration and
// leaves at once when the part was switched off (Part_c::setInactive waits
// for the flag to drop). A class that overrides render(int) hides the other
// render overload: bring it back with `using VariatorBase_c::render;`.
//
// Threads: everything here runs on the audio thread, except construction,
// setOption and the attachment of a level meter (while audio is stopped).
#pragma once

#include "InBuffer2.h"
#include "Part.h"

#include <atomic>
#include <cstdint>
#include <memory>

class VUDriver_c;

// Raises a part's rendering flag for a scope and puts back what it was, so a
// render nested in another (renderII around render) keeps the flag up until
// the outermost one returns. A flag that is already up was raised by this
// thread (only the rendering thread raises flags), with its barrier behind
// it: the scope then leaves it alone, and whoever raised it lowers it.
class RenderingScope
{
public:
    explicit RenderingScope(Part_c& part) : part(part), previous(part.rendering.load(std::memory_order_relaxed))
    {
        // Raising is a full exchange: the render must not read its module's
        // state (active first) before the flag is up for every other thread.
        if (!previous)
            part.rendering.exchange(true);
    }
    // Lowering needs only release: a waiter that sees the flag down also
    // sees everything the render wrote.
    ~RenderingScope()
    {
        if (!previous)
            part.rendering.store(false, std::memory_order_release);
    }
    RenderingScope(const RenderingScope&) = delete;
    RenderingScope& operator=(const RenderingScope&) = delete;

private:
    Part_c& part;
    bool previous;
};

// The rendering flags of several parts raised together for a scope, with
// one barrier for all of them instead of one exchange each: the parts'
// renders then find their flags up and leave them so. Flags that were up
// already stay up after the scope. Audio thread.
class RenderingFlags
{
public:
    static constexpr int Capacity = 12;
    RenderingFlags() = default;
    ~RenderingFlags()
    {
        for (int i = 0; i < count; ++i)
            parts[i]->rendering.store(false, std::memory_order_release);
    }
    RenderingFlags(const RenderingFlags&) = delete;
    RenderingFlags& operator=(const RenderingFlags&) = delete;
    // Raises the flag of part (without a barrier yet); parts beyond the
    // capacity are left to their own scopes.
    void add(Part_c& part)
    {
        if (count < Capacity && !part.rendering.load(std::memory_order_relaxed)) {
#if defined(__SANITIZE_THREAD__)
            // ThreadSanitizer models no stand-alone fence: there each flag
            // goes up with its own exchange, as a part's own render raises it.
            part.rendering.exchange(true, std::memory_order_seq_cst);
#else
            part.rendering.store(true, std::memory_order_relaxed);
#endif
            parts[count++] = &part;
        }
    }
    // The barrier: from here on every raised flag is up for every thread
    // before anything that follows reads the parts' state.
    void publish() const
    {
#if !defined(__SANITIZE_THREAD__)
        if (count > 0)
            std::atomic_thread_fence(std::memory_order_seq_cst);
#endif
    }

private:
    // Only the first count entries are ever read: left unset, so a scope
    // costs no clearing.
    Part_c* parts[Capacity];
    int count = 0;
};

class VariatorBase_c : public Part_c
{
public:
    // A processor's buses follow the route of the instrument that plays it:
    // a note start has the engine apply the route.
    VariatorBase_c();

    // The processing of n samples; nothing here.
    virtual void render(int n);
    // The entry per piece: render(on, n) with on = the input bus holds a
    // signal this cycle. False, and nothing done, without an input bus or
    // while the processor is switched off (not active).
    virtual bool renderII(int n);
    // Adds the input into the first output bus unchanged, when both exist and
    // the input holds a signal.
    virtual void bypass(int n);
    // The on/off and tail logic; true when render(n) ran.
    virtual bool render(bool on, int n);
    // Stores the option; the bases give it no meaning.
    virtual void setOption(int value);
    // Seconds the processor keeps rendering after its input fell silent.
    virtual float getFadeTime();
    // The processor comes on after silence: raises the restart flag, which
    // the concrete processor reads (and clears) to clear its state.
    virtual void requestRestart();

    // The tail of `seconds` at the part's sample rate, in samples: truncated,
    // 0 for a negative, NaN or unknown length, and never more than an int
    // holds (an effect's tail may be hours long).
    int tailSamplesFor(float seconds) const;

    bool restart = false;    // set by requestRestart; the processor clears it
    bool wasOn = false;      // the input was active at the last render(on, n)
    int32_t tailSamples = 0; // tail still to render, in samples
    int32_t option = 0;

protected:
    // n limited to what every given bus (null ones ignored) can hand out this
    // cycle: a pointer from a bus covers its cycle length and no more.
    // Never negative.
    // Written out bus by bus rather than as a loop over the three: in line,
    // the buses a caller leaves out then cost nothing.
    static int framesFor(int n, const InBuffer2_c* a, const InBuffer2_c* b = nullptr,
                         const InBuffer2_c* c = nullptr)
    {
        n = limitFrames(n, a);
        n = limitFrames(n, b);
        n = limitFrames(n, c);
        return n > 0 ? n : 0;
    }
    static int limitFrames(int n, const InBuffer2_c* bus)
    {
        return bus && bus->getCycleLength() < n ? bus->getCycleLength() : n;
    }

    // The stereo sample pointers of one block.
    struct StereoPins_t
    {
        float* inL = nullptr;
        float* inR = nullptr;
        float* outL = nullptr;
        float* outR = nullptr;
    };
    // Audio thread: the input bus's stereo pair for reading, then the output
    // bus's for writing (the input first: in a serial slot both are one bus,
    // and every sample is read before it is written), with n limited to what
    // both hand out. False, with nothing to render, without either bus or
    // when either pair cannot be had.
    bool openStereoReadWrite(int& n, StereoPins_t& pins);
    // Audio thread: the output bus's stereo pair for writing, then the input
    // bus's stereo pair, or (monoAsBoth) a mono input as both sides, with n
    // limited to what both hand out. False, with nothing to render, when the
    // output pair cannot be had; the input pointers stay null (and n as it
    // was) when the input cannot be read. Both buses must exist.
    bool openStereoWriteRead(int& n, StereoPins_t& pins, bool monoAsBoth = true);
};

class VariatorTone_c : public VariatorBase_c
{
public:
    // Audio thread: the part's note start, then cachePara(crVoiceStart, set)
    // with the set the voice now plays (the instrument, clamped as the part
    // clamps it), so every per-voice processor re-reads its coefficients when
    // its voice starts. Both forms end in one such cachePara.
    void prepProc(int instrument, Note_c note, bool legato, bool flag2) override;
    void prepProc(int instrument, Note_c note, bool legato) override;

    // Nothing for a voice processor.
    virtual void idleVU(int samples);
    // Mono input times a ramped level, added into the first output bus as
    // stereo with a smoothed pan. level and pan hold one entry per 8 samples
    // (entry i / 8 for sample i, pan entries -1..1); at each entry the level
    // ramps linearly to the entry over 8 samples and the pan position (0..2,
    // 1 the centre) moves a quarter of the way toward entry + 1, kept within
    // 0.00001..1.99999 so neither side is ever fully silent. Left gain
    // level x (2 - pan), right gain level x pan. curLevel and curPan carry the
    // state from piece to piece. The output is closed even for n < 1.
    virtual void renderAmpPanCore(int n, float* level, float* pan, float& curLevel, float& curPan);

protected:
    // The pan position (0..2, 1 the centre) after one control step toward a
    // pan entry (-1..1): a quarter of the way to entry + 1 (a one-pole step
    // of 0.75), kept within 0.00001..1.99999.
    static float followPan(float position, float entry);
};

class VariatorInst_c : public VariatorBase_c
{
public:
    VariatorInst_c();
    // Deletes the level meter, when one is attached.
    ~VariatorInst_c() override;

    // Forwards to the level meter, when one is attached.
    virtual void idleVU(int samples);
    // mixSample / writeSample of a + b at *out, through the virtual calls, so
    // an effect that routes mixSample to writeSample replaces with mixSum too.
    virtual void mixSum(float** out, float a, float b);
    virtual void writeSum(float** out, float a, float b);

    VUDriver_c* getVUDriver() const { return vuDriver.get(); }

protected:
    // Owned; an effect that shows a meter makes one when it is built.
    std::unique_ptr<VUDriver_c> vuDriver;
};
