#include "Coverage.h"

#include "PluginSession.h"

#include <array>

namespace Bank {

namespace {

// Generator types of a slot ("Gen k Type") and what they play.
constexpr std::array<int, 4> SlotTypeEntry{769, 770, 777, 778};
constexpr std::array<int, 4> SlotOnEntry{504, 505, 506, 507};
constexpr std::array<int, 4> OscSpreadEntry{36, 37, 38, 39};
constexpr std::array<int, 4> UserSampleEntry{702, 703, 704, 705};
constexpr std::array<int, 4> WaveTableEntry{746, 747, 748, 749};
enum GeneratorType { Oscillator = 0, TimeSampler = 1, WaveTable = 2, LoopSampler = 3 };
// The zone page of each multisample memory and its first two zones' files.
constexpr std::array<int, 2> ZonePageEntry{937, 938};
constexpr std::array<int, 2> FirstZoneFileEntry{841, 889};
// Filter paths: on, kind (0 the ladder, 1 the morphing filter), saturation.
constexpr std::array<int, 2> PathOnEntry{508, 509};
constexpr std::array<int, 2> PathKindEntry{783, 784};
constexpr std::array<int, 2> SaturationEntry{110, 111};
// Effect slots: two sends, four inserts.
constexpr std::array<int, 6> EffectTypeEntry{213, 214, 215, 216, 217, 218};
constexpr std::array<int, 6> EffectOnEntry{219, 220, 221, 222, 223, 224};
constexpr int EffectTypes = 12;
// The matrix rows a voice evaluates.
constexpr int MatrixRows = 10;
constexpr int MatrixSourceEntry = 660, MatrixDestEntry = 670, MatrixActiveEntry = 690;
enum Source { Velocity = 2, Aftertouch = 3, ModWheel = 5, FirstLfo = 13, LastLfo = 16, FirstEnvelope = 17, LastEnvelope = 23 };
// The step sequencer's mode: 1 modulation only, 2..9 arpeggios, 10 the
// held keys in order through a pattern.
constexpr int SequencerModeEntry = 649;
constexpr int ChordMemoryModeEntry = 612, ChordMemoryPlay = 2;
constexpr int GlideModeEntry = 481, GlideHeld = 1;
constexpr int VoicesEntry = 961;
// The 5.1 panners of the slots and paths, and where the chain's own one
// stands.
constexpr std::array<int, 4> VoicePannerOnEntry{510, 511, 512, 513};
constexpr int ChainPannerFrontRearEntry = 543;

const char* const EffectNames[EffectTypes] = {"delay",   "stereo delay", "ping-pong delay", "chorus",
                                              "phaser",  "filter",       "reverb",          "flanger",
                                              "gator",   "stereo enhancer", "parametric EQ", "crusher"};

} // namespace

std::vector<std::string> Coverage::items()
{
    std::vector<std::string> list = {
        "the analog oscillator with unison",
        "the time-stretch sampler",
        "the wavetable built from a sample",
        "the loop sampler with a multisample",
        "the ladder filter",
        "the morphing filter",
        "a saturator",
    };
    for (const char* fx : EffectNames) {
        list.push_back(std::string("the ") + fx + " in a send slot");
        list.push_back(std::string("the ") + fx + " in an insert slot");
    }
    for (const char* more : {"an LFO in the matrix", "an envelope in the matrix", "the mod wheel in the matrix",
                             "aftertouch in the matrix", "velocity in the matrix", "the arpeggiator",
                             "the step sequencer", "the chord memory", "glide", "one voice, legato",
                             "voices placed in the 5.1 field"})
        list.push_back(more);
    return list;
}

bool Coverage::add(PluginSession& s, const std::string& program, std::string& error)
{
    bool ok = true;
    auto value = [&](int entry) {
        Tooling::Request r;
        if (!s.get(entry, r, error))
            ok = false;
        return r.value;
    };
    auto text = [&](int entry) {
        Tooling::Request r;
        if (!s.get(entry, r, error))
            ok = false;
        return std::string(r.text);
    };

    for (size_t k = 0; k < SlotTypeEntry.size(); ++k) {
        if (!value(SlotOnEntry[k]))
            continue;
        switch (value(SlotTypeEntry[k])) {
        case Oscillator:
            if (value(OscSpreadEntry[k]) > 0)
                mark("the analog oscillator with unison", program);
            break;
        case TimeSampler:
            if (!text(UserSampleEntry[k]).empty())
                mark("the time-stretch sampler", program);
            break;
        case WaveTable:
            if (!text(WaveTableEntry[k]).empty())
                mark("the wavetable built from a sample", program);
            break;
        case LoopSampler: {
            // The zone entries show the page their selector points at.
            Tooling::Request r;
            if (k < ZonePageEntry.size() && s.setValue(ZonePageEntry[k], 0, r, error) &&
                !text(FirstZoneFileEntry[k]).empty() && !text(FirstZoneFileEntry[k] + 1).empty())
                mark("the loop sampler with a multisample", program);
            break;
        }
        default: break;
        }
    }
    for (size_t p = 0; p < PathOnEntry.size(); ++p) {
        if (!value(PathOnEntry[p]))
            continue;
        mark(value(PathKindEntry[p]) ? "the morphing filter" : "the ladder filter", program);
        if (value(SaturationEntry[p]) > 0)
            mark("a saturator", program);
    }
    for (size_t k = 0; k < EffectTypeEntry.size(); ++k) {
        const int type = value(EffectTypeEntry[k]);
        if (value(EffectOnEntry[k]) && type >= 0 && type < EffectTypes)
            mark(std::string("the ") + EffectNames[type] + (k < 2 ? " in a send slot" : " in an insert slot"), program);
    }
    for (int r = 0; r < MatrixRows; ++r) {
        if (value(MatrixDestEntry + r) < 0 || !value(MatrixActiveEntry + r))
            continue;
        const int source = value(MatrixSourceEntry + r);
        if (source >= FirstLfo && source <= LastLfo)
            mark("an LFO in the matrix", program);
        if (source >= FirstEnvelope && source <= LastEnvelope)
            mark("an envelope in the matrix", program);
        if (source == ModWheel)
            mark("the mod wheel in the matrix", program);
        if (source == Aftertouch)
            mark("aftertouch in the matrix", program);
        if (source == Velocity)
            mark("velocity in the matrix", program);
    }
    const int mode = value(SequencerModeEntry);
    if (mode >= 2 && mode <= 9)
        mark("the arpeggiator", program);
    if (mode == 1 || mode == 10)
        mark("the step sequencer", program);
    if (value(ChordMemoryModeEntry) == ChordMemoryPlay)
        mark("the chord memory", program);
    if (value(GlideModeEntry) > 0)
        mark("glide", program);
    if (value(VoicesEntry) == 1 && value(GlideModeEntry) == GlideHeld)
        mark("one voice, legato", program);
    bool placed = value(ChainPannerFrontRearEntry) != 0;
    for (int entry : VoicePannerOnEntry)
        placed = placed || value(entry) != 0;
    if (placed)
        mark("voices placed in the 5.1 field", program);
    return ok;
}

std::vector<std::string> Coverage::missing() const
{
    std::vector<std::string> gaps;
    for (const std::string& item : items())
        if (!shown_.count(item))
            gaps.push_back(item);
    return gaps;
}

} // namespace Bank
