// Test rig for modulators: the three slots a voice gives a modulator, stepped
// the way a voice steps them (value += increment once per control step, count
// down, goNextPhase when the count reaches 0), and a module bound to a
// parameter set of its own at a sample rate.
#pragma once

#include "Modulator.h"
#include "Note.h"
#include "ParaSet.h"
#include "Synth.h"

#include <gtest/gtest.h>

#include <vector>

namespace modtest {

// The sample rates at which step counts are checked.
inline constexpr float Rates[] = {44100.0f, 48000.0f, 96000.0f};

struct SlotOwner
{
    float value = 0.0f;
    float increment = 0.0f;
    int remaining = 0;
    Modulator_c* mod = nullptr;
    // Steps taken, and the fewest steps any segment was written with.
    long long steps = 0;
    int shortestSegment = ModHoldSteps;

    void bind(Modulator_c& m)
    {
        mod = &m;
        m.setPtr(&value, &increment, &remaining);
    }
    // One control step. A segment written with fewer than one step would
    // make an owner that renders up to the next segment end stand still.
    void step()
    {
        value += increment;
        ++steps;
        if (--remaining < 1) {
            mod->goNextPhase();
            if (remaining < shortestSegment)
                shortestSegment = remaining;
        }
    }
    void run(long long n)
    {
        for (long long i = 0; i < n; ++i)
            step();
    }
    // The value before each of n steps.
    std::vector<float> trace(int n)
    {
        std::vector<float> out;
        out.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            out.push_back(value);
            step();
        }
        return out;
    }
    // Steps until the current segment has ended (goNextPhase ran).
    int runSegment()
    {
        const int n = remaining;
        for (int i = 0; i < n; ++i)
            step();
        return n;
    }
};

// Sets the host tempo that synced modulators read, and restores it.
struct TempoGuard
{
    double saved = Bpm.load();
    ~TempoGuard()
    {
        Bpm = saved;
        RecBpm = 1.0 / saved;
    }
    void set(double bpm)
    {
        Bpm = bpm;
        RecBpm = 1.0 / bpm;
    }
};

inline Note_c note(int key, int velocity = 100)
{
    Note_c n;
    n.set(key, velocity);
    return n;
}

// A module with its own parameter set (one set) at a sample rate, its slots
// bound to an owner.
template <typename M>
struct Rig
{
    explicit Rig(float rate = 44100.0f)
    {
        EXPECT_TRUE(mod.getParaSetPtr(&set, 1));
        mod.setSampleRate(rate);
        owner.bind(mod);
    }
    void para(int idx, int v) { mod.setParaVal(0, idx, v); }
    void start(int key = 60, int velocity = 100, bool keep = false, bool legato = false)
    {
        mod.prepProc(0, note(key, velocity), keep, legato);
    }

    ParaSet_c* set = nullptr; // the class slot; the module is the set's user
    M mod;
    SlotOwner owner;
};

} // namespace modtest
