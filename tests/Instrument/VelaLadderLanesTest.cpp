// The voices' ladders filtered together (LadderLanes_c): the plug-in must
// sound the same with the lanes as without them, for chords of every size,
// hosts' block sizes from one frame to beyond the engine's piece, notes that
// start and end inside a block (the engine then renders pieces of odd
// lengths), and voices that cannot share the lanes because their paths'
// filters differ. Only the order in which the voices are summed onto the
// effect buses may differ, so the outputs agree to float rounding.
#include "EngineTestHost.h"
#include "Envelope.h"
#include "FilterMoogSI.h"
#include "LadderLanes.h"
#include "SignalMeasure.h"
#include "Vela.h"
#include "VelaExtTable.h"
#include "VelaGlo.h"
#include "VelaInst.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr float Rate = 48000.0f;
constexpr int AmpEnvelopeModule = 50;

// What happens at an absolute frame: a note on or off, or a change of the
// program that the notes started afterwards pick up.
struct Cue
{
    size_t frame;
    int status; // 0x90, 0x80, or 0 for `change`
    int key;
    std::function<void(Vela_c&)> change;
};

// A fresh stereo plug-in plays the cues in blocks of `block` frames; the
// left and right outputs come back, and how many voices went through the
// lanes.
struct Played
{
    std::array<std::vector<float>, 2> out;
    uint64_t laned = 0;
    int voicesLeft = 0; // voices still in use at the end
};

Played play(const std::vector<Cue>& cues, int block, size_t frames, bool lanes)
{
    VelaInst_c::allowLadderBatching(lanes);
    EngineTestHost host;
    auto vela = std::make_unique<Vela_c>(EngineTestHost::callback, false);
    AEffect* e = vela->getAeffect();
    auto call = [e](int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f) {
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    };
    call(effOpen);
    call(effSetSampleRate, 0, 0, nullptr, Rate);
    call(effSetBlockSize, 0, block);
    call(effMainsChanged, 0, 1);
    // A short release, so that released notes end within the render.
    vela->getModule(AmpEnvelopeModule)->setParaVal(0, EnvADSFR_c::pRTime, 30);

    Played p;
    std::vector<std::vector<float>> channels(NumOutputs51, std::vector<float>(static_cast<size_t>(block)));
    float* pointers[NumOutputs51];
    for (size_t c = 0; c < channels.size(); ++c)
        pointers[c] = channels[c].data();
    size_t next = 0;
    for (size_t pos = 0; pos < frames; pos += static_cast<size_t>(block)) {
        const size_t end = pos + static_cast<size_t>(block);
        for (; next < cues.size() && cues[next].frame < end; ++next) {
            const Cue& cue = cues[next];
            if (cue.change) {
                cue.change(*vela);
                continue;
            }
            VstMidiEvent m{};
            m.type = kVstMidiType;
            m.byteSize = sizeof(VstMidiEvent);
            m.deltaFrames = static_cast<int32_t>(cue.frame - pos);
            m.midiData[0] = static_cast<char>(cue.status);
            m.midiData[1] = static_cast<char>(cue.key);
            m.midiData[2] = static_cast<char>(cue.status == 0x90 ? 100 : 0);
            VstEvents list{};
            list.numEvents = 1;
            list.events[0] = reinterpret_cast<VstEvent*>(&m);
            call(effProcessEvents, 0, 0, &list);
        }
        for (auto& c : channels)
            std::fill(c.begin(), c.end(), 0.0f);
        e->processReplacing(e, nullptr, pointers, block);
        for (size_t c = 0; c < 2; ++c)
            p.out[c].insert(p.out[c].end(), channels[c].begin(), channels[c].end());
    }
    p.laned = vela->getInstrument()->getLanedVoiceCount();
    p.voicesLeft = vela->getInstrument()->voicesInUse.load();
    call(effMainsChanged, 0, 0);
    VelaInst_c::allowLadderBatching(true);
    return p;
}

// The ladder "Type " of path `path` (0, 1) for the notes that start later.
std::function<void(Vela_c&)> ladderType(int path, int type)
{
    return [=](Vela_c& vela) { vela.getModule(VelaExt::ModLadder1 + path)->setParaVal(0, FilterMoogSI_c::pType, type); };
}

// Which filter path `path` plays for the notes that start later: the
// ladder (0) or the morphing filter (1).
std::function<void(Vela_c&)> pathFilter(int path, int kind)
{
    return [=](Vela_c& vela) { vela.getModule(0)->setParaVal(0, VelaGlo_c::gpVarType0 + path, kind); };
}

} // namespace

TEST(VelaLadderLanes, SoundsAsWithoutLanes)
{
    if (LadderLanes_c::width() == 0)
        GTEST_SKIP() << "this processor runs no wide lanes";
    struct Case
    {
        int notes;
        int block;
        bool mixedFilters; // later notes get filters that keep them out of the lanes
        const char* what;
        // The paths' 5.1 panners on: they read the voices' path buses, so
        // the lanes mix into those instead of straight onto the effect buses.
        bool pathPanners = false;
    };
    const Case cases[] = {
        {1, 256, false, "one note"},
        {2, 7, false, "two notes, blocks of 7"},
        {3, 1, false, "three notes, blocks of 1"},
        {5, 1024, false, "five notes, blocks above the engine's piece"},
        {32, 256, false, "32 notes"},
        {32, 7, true, "32 notes, blocks of 7, mixed filters"},
        {5, 256, true, "five notes, mixed filters"},
        {3, 1024, true, "three notes, blocks of 1024, mixed filters"},
        {8, 64, false, "eight notes, blocks of 64, the paths' 5.1 panners on", true},
        {5, 7, true, "five notes, blocks of 7, mixed filters, the paths' 5.1 panners on", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Small blocks are costly to drive: they play a shorter phrase.
        const size_t frames = c.block < 8 ? 4800 : 16000;
        const size_t step = frames / 8;
        std::vector<Cue> cues;
        if (c.pathPanners)
            cues.push_back({0, 0, 0, [](Vela_c& vela) {
                                for (int path = 0; path < 2; ++path)
                                    vela.getModule(0)->setParaVal(0, VelaGlo_c::gpPow51First + 2 + path, 1);
                            }});
        // The first half of the chord at once (frame 3), the rest one by
        // one at odd frames after the first step; every note ends at an odd
        // frame, early enough for its release to finish before the end.
        const int late = (c.notes + 1) / 2;
        for (int k = 0; k < c.notes; ++k) {
            const size_t on = k < late ? 3 : step + static_cast<size_t>(k) * 37 % step;
            const size_t off = step * 2 + static_cast<size_t>(k) * 53 % (step * 2);
            const int key = 36 + 2 * k;
            if (c.mixedFilters && k == late) {
                // From here on, notes get unpaired responses, then a
                // morphing filter on path 2, then a pair of "LP 12" ladders.
                cues.push_back({on, 0, 0, ladderType(1, FilterMoogSI_c::rLP12)});
            }
            if (c.mixedFilters && k == late + 1)
                cues.push_back({on, 0, 0, pathFilter(1, 1)});
            if (c.mixedFilters && k == late + 2) {
                cues.push_back({on, 0, 0, pathFilter(1, 0)});
                cues.push_back({on, 0, 0, ladderType(0, FilterMoogSI_c::rLP12)});
            }
            cues.push_back({on, 0x90, key, {}});
            cues.push_back({off, 0x80, key, {}});
        }
        std::stable_sort(cues.begin(), cues.end(), [](const Cue& a, const Cue& b) { return a.frame < b.frame; });

        const Played with = play(cues, c.block, frames, true);
        const Played without = play(cues, c.block, frames, false);
        EXPECT_GT(with.laned, 0u);
        EXPECT_EQ(without.laned, 0u);
        for (size_t ch = 0; ch < 2; ++ch) {
            SCOPED_TRACE(testing::Message() << "channel " << ch);
            const std::vector<float>& a = with.out[ch];
            const std::vector<float>& b = without.out[ch];
            ASSERT_EQ(a.size(), b.size());
            float top = 0.0f;
            double worst = 0.0;
            for (size_t i = 0; i < a.size(); ++i) {
                top = std::max(top, std::fabs(b[i]));
                worst = std::max(worst, static_cast<double>(std::fabs(a[i] - b[i])));
            }
            EXPECT_GT(top, 0.01f);
            EXPECT_LE(worst, 1e-6 * top);
        }
        // Every note ended and its voice was freed, lanes or not.
        EXPECT_EQ(with.voicesLeft, 0);
        EXPECT_EQ(without.voicesLeft, 0);
    }
}
