#pragma once

#include "Capacities.h"
#include "FilterMoogSI.h"

class InBuffer2_c;

// LadderLanes_c: the ladders of several voices in one loop. Each ladder is a
// long chain of dependent arithmetic that leaves most of a wide vector unit
// idle; several voices' ladders side by side in the lanes of one vector
// cost little more than one. The voices render one after another through
// shared buses, so a voice that puts its pair of ladders here leaves a copy
// of their input and control values behind; once the lanes are full (or the
// instrument has rendered its last voice) run() filters them all together
// into stashes, and mixOut adds each one's stash into its output bus. The
// per-lane arithmetic is renderPair's, operation for operation, so the sound
// is the same to the last bit.
//
// A held filter's rendering flag stays raised from the render that left it
// here until clear(): its state changes in run() and its output bus is
// written in mixOut, and a filter switched off meanwhile (active clear when
// run() looks) is left alone.
//
// Threads: everything on the audio thread; the stashes are members, so
// nothing allocates.
class LadderLanes_c
{
public:
    static constexpr int MaxLanes = 16;
    // The lanes share one AVX-512 vector (or two AVX2 ones) eight at a time.
    static constexpr int HalfLanes = 8;

    // The lanes this processor runs together: 16 with AVX2 and fused
    // multiply-add, 0 (no batching) otherwise or while fused multiply-add
    // is not allowed.
    static int width() { return FilterMoogSI_c::fusedMultiplyAddAllowed() ? wideLanes : 0; }
    // The lanes the processor can run (width() while fused multiply-add is
    // allowed); found as the library loads.
    static const int wideLanes;
    // While audio is stopped (tests): lets eight lanes run as one AVX-512
    // vector where the processor has it (the default), or as two AVX2 ones.
    static void allowOneVector(bool allow);

    // Whether a pair of ladders (renderPair's a and b, n frames) fits beside
    // those held now: lanes left, the same response, the same frames.
    // (In line: every voice asks, once or twice a block.)
    bool hasRoom(const FilterMoogSI_c& a, const FilterMoogSI_c& b, int n) const
    {
        if (filterCount > 0 && (n != frames || a.responseType != responseType || b.responseType != responseType))
            return false;
        return n > 0 && n <= MaxBlockSize && laneCount + a.lanesWanted() + b.lanesWanted() <= width();
    }
    bool empty() const { return filterCount == 0; }
    bool full() const { return laneCount >= width(); }
    int getFilterCount() const { return filterCount; }
    // Filters every held ladder into its stash.
    void run();
    // After run: adds held filter k's stash into its output bus.
    void mixOut(int k);
    // After run, instead of mixOut when nothing but `to` reads the output
    // bus: adds into `to` (as stereo) what the output bus would pass on,
    // its silence plus the stash, sample for sample the same sums, and
    // leaves the output bus untouched.
    void sendOut(int k, InBuffer2_c& to);
    // sendOut(k, to) made later, by flushSends, together with the other
    // sends queued: each bus is opened once for all of them and its frames
    // pass through the registers once, taking the same sums in the same
    // order. Nothing else may touch those buses until the flush.
    void queueSend(int k, InBuffer2_c& to)
    {
        if (sendCount == MaxLanes)
            flushSends();
        const int j = sendCount++;
        queued[j] = k;
        // Grouped by bus as they come, so that the flush need not look for
        // each bus's sends among the others.
        int bus = 0;
        while (bus < busCount && sendBus[bus] != &to)
            ++bus;
        if (bus == busCount) {
            sendBus[busCount++] = &to;
            busSends[bus] = 0;
        }
        busSends[bus] |= 1u << j;
    }
    // Makes the queued sends, in the order they came.
    void flushSends();
    // Forgets every held ladder (after their mixOut, with the queued sends
    // made) and puts each one's rendering flag back as the render that held
    // it found it.
    void clear();

private:
    friend class FilterMoogSI_c;
    static constexpr int MaxSteps = MaxBlockSize / ControlStepFrames;
    struct Held_t
    {
        FilterMoogSI_c* filter = nullptr;
        int lane = 0;     // its first lane; a stereo input takes two
        int channels = 0;
        bool live = false; // still active when run() came
        bool wasRendering = false; // its rendering flag before the render that held it
    };
    // The held ladders' control state by lane, for one run: what each
    // filter's control step reads and writes (its cutoff memo, gains and
    // coefficients), so that a step of every lane is a few vector
    // operations. A stereo filter's two lanes carry the same values.
    struct LaneControl_t
    {
        alignas(64) double k1[MaxLanes];
        alignas(64) double k2[MaxLanes];
        alignas(64) double feedback[MaxLanes];
        alignas(64) double feedbackScale[MaxLanes];
        alignas(32) float memoCutoff[MaxLanes];
        alignas(32) float r[MaxLanes];
        alignas(32) float level[MaxLanes];
        alignas(32) float levelTarget[MaxLanes];
        alignas(32) float levelStep[MaxLanes];
        alignas(32) float balance[MaxLanes];
    };
    // Holds a's and b's ladders from their opened buses. Their rendering
    // flags are raised (by renderPair); wasA and wasB are what they were
    // before, which clear() puts back. Only called while width() > 0, so
    // on a processor with AVX2.
    [[gnu::target("avx2")]] void hold(FilterMoogSI_c& a, const FilterMoogSI_c::Open_t& openA, bool wasA,
                                      FilterMoogSI_c& b, const FilterMoogSI_c::Open_t& openB, bool wasB);
    // One of them; `steps`: the control steps of the held frames, the same
    // for both.
    [[gnu::always_inline, gnu::target("avx2")]] inline void holdOne(FilterMoogSI_c& f, const FilterMoogSI_c::Open_t& o,
                                                                    bool wasRendering, int steps);
    // Halves: 1 runs lanes 0..7, 2 all sixteen.
    template <bool FourPoles, int Halves>
    [[gnu::target("avx2,fma")]] void runWide();
    template <bool FourPoles, int Halves>
    [[gnu::target("avx512f,avx2,fma")]] void runWide512();
    // The held ladders' states and the live ones' memo, level and balance
    // into lanes (the rest zero), in one pass over the filters.
    void loadLanes(double (*state)[MaxLanes], LaneControl_t& lc) const;
    // The way back once the block is done, in one pass too: the states and
    // the control values are settled in place, all lanes at once, as the
    // filter's per-block check would settle them one by one, and a filter
    // with a value that is not finite gets that check (which starts it
    // afresh). Called by the lane loops only, so on a processor with AVX2.
    [[gnu::target("avx2")]] void storeLanes(double (*state)[MaxLanes], LaneControl_t& lc);
    // FilterMoogSI_c::settleLadderControl of every lane, in place; the lanes
    // with a value that is not finite, one bit each.
    [[gnu::always_inline, gnu::target("avx2")]] static inline unsigned settleControlLanes(LaneControl_t& lc);
    // Control step `step` of every held ladder, lane for lane the filter's
    // own ladderStep; a memo that no longer fits is refreshed by its filter.
    [[gnu::always_inline, gnu::target("avx2")]] inline void stepControl(int step, LaneControl_t& lc);
    // outL[i] += productsL[i] and outR[i] += productsR[i] over the held
    // frames (both sides in one loop: at small blocks the loop's overhead
    // is much of its cost).
    [[gnu::target("avx2")]] void addInto(float* outL, float* outR, const float* productsL,
                                         const float* productsR) const;
    // The same with silence[i] + products[i] added.
    [[gnu::target("avx2")]] void addInto(float* outL, float* outR, const float* silence, const float* productsL,
                                         const float* productsR) const;

    // What a send adds into its bus (left uninitialised: flushSends fills
    // the ones it uses).
    struct Send_t
    {
        const float* silence;
        const float* left;
        const float* right;
    };
    // outL[i] += silence[i] + left[i] (and the right side) for each send in
    // turn, one pass over the held frames.
    [[gnu::target("avx2")]] void addSends(float* outL, float* outR, const Send_t* sends, int count) const;

    Held_t held[MaxLanes];
    // The queued sends' held filters in the order they came; a held filter
    // sends once, so MaxLanes of them hold every send of a run.
    int queued[MaxLanes] = {};
    int sendCount = 0;
    // The queued sends' buses in the order they first came, and each one's
    // sends (bit j: queued[j]).
    InBuffer2_c* sendBus[MaxLanes] = {};
    unsigned busSends[MaxLanes] = {};
    int busCount = 0;
    // Lane l belongs to held[laneHeld[l]].
    int laneHeld[MaxLanes] = {};
    // The live lanes, one bit each (set by run()).
    unsigned liveLanes = 0;
    // The control inputs of every step by lane, the four of a lane side by
    // side (cutoff, resonance, level, balance): a held filter puts four
    // steps' values in place with one transposition instead of one store
    // each, and a step takes each input of eight lanes apart again with a
    // few shuffles. Lane l of a half sits at controlSlot(l), the order those
    // shuffles put back as lane order.
    alignas(32) float control[MaxSteps][MaxLanes][4] = {};
    static constexpr int controlSlot(int lane)
    {
        return (lane & ~(HalfLanes - 1)) | (lane & 3) << 1 | (lane >> 2 & 1);
    }
    int filterCount = 0;
    int laneCount = 0;
    int frames = 0;
    int responseType = FilterMoogSI_c::rLP24;
    // Lane l's frames: its input, and its output times the left and the
    // right gain, which mixOut adds into the output bus.
    alignas(64) float input[MaxLanes][MaxBlockSize] = {};
    alignas(64) float productL[MaxLanes][MaxBlockSize] = {};
    alignas(64) float productR[MaxLanes][MaxBlockSize] = {};
};
