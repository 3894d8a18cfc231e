// The rows of the external parameter table, written as runs: most of the
// table repeats one parameter word over four generator slots, three effect
// sets or seven 5.1 panners, so each run lists its words once and the
// builder spreads them. Names are stored exactly as hosts and projects know
// them, misspellings and trailing blanks included: a host finds automation by
// index, but users find it by these names.
#include "VelaExtTable.h"

#include <cassert>
#include <string>

using namespace VelaExt;

namespace {

// A parameter word and its parameter number in the target module.
struct Word
{
    const char* word;
    int para;
    bool display = true;
};

class Builder
{
public:
    Builder() { rows.reserve(EntryCount); }

    // The next row. The runs below check their end against the index the
    // table gives, so a miscounted run shows in debug builds (and the tests).
    ExtRow& add(std::string name)
    {
        rows.emplace_back();
        rows.back().name = std::move(name);
        return rows.back();
    }
    int next() const { return static_cast<int>(rows.size()); }

    void module(std::string name, int number, int para, bool display)
    {
        ExtRow& r = add(std::move(name));
        r.target = ExtTarget::Module;
        r.module = number;
        r.para = para;
        r.display = display;
    }
    void global(std::string name, int para, bool display) { module(std::move(name), ModGlobal, para, display); }
    void settings(std::string name, ExtTarget target, int para, int instrument, bool readOnly = false)
    {
        ExtRow& r = add(std::move(name));
        r.target = target;
        r.para = para;
        r.instrument = instrument;
        r.readOnly = readOnly;
    }
    void none(int count, bool readOnly, const char* name = "-")
    {
        for (int i = 0; i < count; ++i)
            add(name).readOnly = readOnly;
    }
    // One row per slot for each word: "<stem> <slot> <word>" on modules
    // first .. first + slots - 1.
    void perSlot(const char* stem, int first, int slots, const Word* words, int count)
    {
        for (int w = 0; w < count; ++w)
            for (int s = 0; s < slots; ++s)
                module(std::string(stem) + " " + std::to_string(s + 1) + " " + words[w].word, first + s,
                       words[w].para, words[w].display);
    }
    // A zone parameter of the multisample memories, paged by the shown zone:
    // memory 1 then memory 2.
    void zonePair(const char* name, int para, bool display)
    {
        for (int m = 0; m < 2; ++m) {
            module(name, ModMulti1 + m, para, display);
            rows.back().selector = 3 + m;
        }
    }

    std::vector<ExtRow> rows;
};

template <size_t N>
constexpr int count(const Word (&)[N])
{
    return static_cast<int>(N);
}

// --- Generator slots ----------------------------------------------------------

constexpr Word OscWords[] = {{"Wave", 2}, {"Symm", 3},  {"Oct", 5},    {"Semi", 6},
                             {"Cent", 8}, {"Track", 7}, {"Spread", 12}, {"Freerun", 13}};
constexpr Word TimWords[] = {{"Looprse", 8},     {"Octave", 2},     {"Semitone", 3}, {"Cent", 4},
                             {"Pitch-Track", 6}, {"Time-Track", 7}, {"Spread", 9}};
constexpr Word WTWords[] = {{"Ocatve", 2}, {"Semitone", 3},   {"Cent", 4},  {"Track", 5},
                            {"Ride", 6},   {"Ride-Track", 7}, {"Spread", 8}};
// The four generator slots' global switches (on/off), in slot order.
constexpr int GenOnPara[] = {92, 93, 104, 105};

// --- Envelopes and LFOs -------------------------------------------------------

struct Envelope
{
    const char* stem;
    int module;
};
// In the order of the table, which is not module order.
constexpr Envelope Envelopes[] = {{"Amp", ModEnvAmp},   {"Filter 1", ModEnvFilter1}, {"Filter 2", ModEnvFilter2},
                                  {"Gen 1", ModEnvGen1}, {"Gen 2", ModEnvGen2},       {"Mod 1", ModEnvMod1},
                                  {"Mod 2", ModEnvMod2}};
constexpr Word EnvWords[] = {{"Attack", 1}, {"Decay", 2},   {"Sustain", 3},
                             {"Fade", 4},   {"Release", 5}, {"Env-Log/Lin", 9}};
constexpr Word LFOWords[] = {{"Delay", 6, false},     {"Atack", 7, false},    {"Decay", 8, false},
                             {"Wave", 2, false},      {"Frequency", 3, false}, {"Symmetry", 10, false},
                             {"Phase", 11, false},    {"Sync", 5, false}};

// --- Effects ------------------------------------------------------------------

// Effect types, slots and their global switches, in slot order: set 0, set 1,
// serial slots X0..X3.
constexpr int EffTypePara[] = {97, 99, 108, 110, 112, 114};
constexpr int EffOnPara[] = {98, 100, 109, 111, 113, 115};
constexpr int SetBases[] = {ModSet0, ModSet1, ModSetX};
constexpr const char* SetLabels[] = {"1", "2", "X"};

struct Effect
{
    const char* word;  // "Delay", ...; null for the ping-pong form
    int offset;        // the module's offset in its set
    const Word* words;
    int count;
};
constexpr Word DelayWords[] = {{"Time", 2}, {"Feedback", 3}, {"Filter", 10}, {"Rate", 6},
                               {"Depth", 7}, {"Sync", 9},     {"ModSync", 11}};
constexpr Word ChorusWords[] = {{"Time", 2},          {"Time Spread", 3}, {"Rate", 4}, {"Rate Spread", 5},
                                {"Spread On/Off", 7}, {"Inverse", 8},     {"Dry", 9},  {"Stereo", 10}};
constexpr Word PhaserWords[] = {{"Rate", 3},    {"Depth", 5},  {"Center", 4}, {"Feedback", 6},
                                {"Inverse", 7}, {"Stages", 8}, {"Stereo", 9}, {"Sync", 10}};
constexpr Word FilterWords[] = {{"Saturation", 4}, {"Type", 3},      {"Cutoff", 5}, {"Resonance", 6},
                                {"Mod Rate", 7},   {"Mod Depth", 8}, {"Level", 9},  {"Sync", 10}};
constexpr Word ReverbWords[] = {{"Room", 3}, {"Damp", 4}, {"Pre-Delay", 5}, {"Sync", 7}, {"Mod", 10}, {"Mod Op", 8}};
constexpr Word StDelayWords[] = {{"Stereo", 10},   {"Time Left", 2}, {"Time Right", 4}, {"Feedback", 6}, {"Filter LP", 7},
                                 {"Filter HP", 8}, {"Sync L", 3},    {"Sync R", 5},     {"Link", 11}};
// The ping-pong names carry the set label before a trailing blank.
constexpr Word PingPongWords[] = {{"PingPong Time Cen", 1},   {"PingPong Sync Cen", 2},   {"PingPong Balance", 10},
                                  {"PingPong Time Left", 3},  {"PingPong Sync Left", 4},  {"PingPong Time Right", 6},
                                  {"PingPong Sync Right", 7}, {"PingPong Feedback", 9},   {"PingPong Pan Left", 5},
                                  {"PingPong Pan Right", 8}};
constexpr Word StEnhWords[] = {{"Room", 2}, {"Width", 3}};
constexpr Word EQWords[] = {{"Freq 1", 1}, {"Gain 1", 2}, {"Q 1", 3}, {"Freq 2", 4}, {"Gain 2", 5}, {"Q 2", 6}};
constexpr Word GatorWords[] = {{"Smooth", 4}, {"Left", 1, false}, {"Right", 2, false}, {"Sync", 3, false}, {"Link", 5, false}};
constexpr Word CrushWords[] = {{"Bits", 2},   {"Divider", 4},         {"Mode", 5, false},     {"Filter", 6, false},
                               {"Cutoff", 7}, {"Reso", 8},            {"Fil.Post", 9, false}, {"Fil.Auto", 10, false}};
constexpr Word FlangerWords[] = {{"Time", 4}, {"Feedback", 5}, {"Inv. FB", 6}, {"Stereo", 7},
                                 {"Rate", 8}, {"Sync", 9},     {"Depth", 10},  {"Depth", 11}};

constexpr Effect Effects[] = {
    {"Delay", SetDelay, DelayWords, count(DelayWords)},
    {"Chorus", SetChorus, ChorusWords, count(ChorusWords)},
    {"Phaser", SetPhaser, PhaserWords, count(PhaserWords)},
    {"Filter", SetFilter, FilterWords, count(FilterWords)},
    {"Reverb", SetReverb, ReverbWords, count(ReverbWords)},
    {"StDelay", SetStDelay, StDelayWords, count(StDelayWords)},
    {nullptr, SetPingPong, PingPongWords, count(PingPongWords)},
    {"St-Enhancer", SetStEnh, StEnhWords, count(StEnhWords)},
    {"EQ", SetEQ, EQWords, count(EQWords)},
    {"Gator", SetGator, GatorWords, count(GatorWords)},
    {"Crush", SetCrusher, CrushWords, count(CrushWords)},
    {"Flanger", SetFlanger, FlangerWords, count(FlangerWords)},
};

// --- 5.1 panners ----------------------------------------------------------------

constexpr int Pan51Modules[] = {ModPan51Gen1, ModPan51Gen1 + 1, ModPan51Gen1 + 2, ModPan51Gen1 + 3,
                                ModPan51Fx0,  ModPan51Fx0 + 1,  ModPan51Fx0 + 2};
constexpr const char* Pan51Endings[] = {"Gen 1", "Gen 2", "Fil 1", "Fil 2", "Fx 1", "Fx 4", "Fx 6"};
constexpr Word Pan51Words[] = {{"51Vol", 5},  {"51 LR", 1}, {"51 FR", 2}, {"51 Cen", 3},
                               {"51 LFE", 4}, {"51 LR", 1}, {"51 FR", 2}};

// The zone parameters of the paged zone rows (eight zones of a page each).
constexpr int PagedZoneParas[] = {9, 11, 12, 13, 14, 17};
constexpr int ZoneStride = 20;

void hostEntries(Builder& b)
{
    for (int s = 0; s < 4; ++s)
        b.global("Osc " + std::to_string(s + 1) + " Operation", GenOnPara[s], true);
    for (int s = 0; s < 4; ++s)
        b.global("Gen " + std::to_string(s + 1) + " Volume", 181 + s, false);
    for (int s = 0; s < 4; ++s)
        b.module("Gen " + std::to_string(s + 1) + " Balance", ModPan1 + s, 2, false);
    b.perSlot("Osc", ModOsc1, 4, OscWords, count(OscWords));
    for (int s = 0; s < 4; ++s)
        b.module("Gen-Tim " + std::to_string(s + 1) + " Timescale", ModTimeSampler1 + s, 5, true);
    for (int s = 0; s < 4; ++s)
        b.module("Gen-Tim " + std::to_string(s + 1) + " Reverse", ModUserSample1 + s, 11, true);
    b.perSlot("Gen-Tim", ModTimeSampler1, 4, TimWords, count(TimWords));
    b.perSlot("Gen-WT", ModSamWT1, 4, WTWords, count(WTWords));
    assert(b.next() == 108);

    b.global("Osc 1 Routing", 87, true);
    b.global("Osc 3 Routing", 101, true);
    b.module("Saturation 1", ModSatur1, 2, false);
    b.module("Saturation 2", ModSatur1 + 1, 2, false);
    b.global("Filter 0 On/Off", 116, true);
    b.global("Filter 1 On/Off", 117, true);
    b.module("Filter Cutoff", ModLadder1, 3, true);
    b.module("Filter Cutoff", ModLadder1 + 1, 3, true);
    b.module("Filter Resonance", ModLadder1, 4, true);
    b.module("Filter Resonance", ModLadder1 + 1, 4, true);
    b.global("Filter Type", 5, true);
    b.global("Filter Type", 120, true);
    b.module("Filter Track", ModLadder1, 6, true);
    b.module("Filter Track", ModLadder1 + 1, 6, true);
    b.global("Filter Env Inverse", 7, false);
    b.global("Filter Env Inverse", 122, false);
    b.global("Filter Env-Depth", 6, true);
    b.global("Filter Env-Depth", 121, true);
    b.module("Filter Type", ModMorph1, 4, true);
    b.module("Filter Type", ModMorph1 + 1, 4, true);
    b.module("Filter Slope", ModMorph1, 5, true);
    b.module("Filter Slope", ModMorph1 + 1, 5, true);
    b.global("Filter 1 Pan", 199, false);
    b.global("Filter 2 Pan", 200, false);
    b.global("Filter 1 Pan", 206, false); // the path levels, under the pan names
    b.global("Filter 2 Pan", 207, false);
    b.global("Main Volume", 2, true);
    assert(b.next() == 135);

    for (const Envelope& e : Envelopes)
        for (const Word& w : EnvWords)
            b.module(std::string(e.stem) + " " + w.word, e.module, w.para, true);
    b.perSlot("LFO", ModLFO1, 4, LFOWords, count(LFOWords));
    for (int k = 0; k < 4; ++k)
        b.global("LFO " + std::to_string(k + 1) + " Mono", 149 + k, false);
    for (int k = 0; k < 6; ++k)
        b.global("Effect " + std::to_string(k + 1) + " Type", EffTypePara[k], false);
    for (int k = 0; k < 6; ++k)
        b.global("Effect " + std::to_string(k + 1) + " Operation", EffOnPara[k], true);
    assert(b.next() == 225);

    for (const Effect& e : Effects)
        for (int w = 0; w < e.count; ++w)
            for (int s = 0; s < 3; ++s) {
                const Word& word = e.words[w];
                const std::string name = e.word ? std::string(e.word) + " " + SetLabels[s] + " " + word.word
                                                : std::string(word.word) + " " + SetLabels[s] + " ";
                b.module(name, SetBases[s] + e.offset, word.para, word.display);
            }
    assert(b.next() == 480);

    b.module("Glide Time", ModGlide, 3, true);
    b.module("Glide Mode", ModGlide, 1, true);
    b.module("Glide Bend", ModGlide, 2, true);
    b.module("Glide Time/Rate", ModGlide, 4, true);
    for (int s = 0; s < 4; ++s)
        b.global("Gen " + std::to_string(s + 1) + " Detune", 177 + s, true);
    b.module("Fil 1 Cutoff", ModLadder1, 3, true);
    b.module("Fil 2 Cutoff", ModLadder1 + 1, 3, true);
    b.module("Fil 1 Reson.", ModLadder1, 4, true);
    b.module("Fil 2 Reson.", ModLadder1 + 1, 4, true);
    for (int twice = 0; twice < 2; ++twice)
        for (int k = 0; k < 6; ++k)
            b.global("Fx " + std::to_string(k + 1) + " Wet", 186 + k, true);
    for (int s = 0; s < 4; ++s)
        b.global("Gen " + std::to_string(s + 1) + " OnOff", GenOnPara[s], false);
    b.global("Fil 1 OnOff", 116, false);
    b.global("Fil 2 OnOff", 117, false);
    for (int k = 0; k < 7; ++k)
        b.global("51 1 OnOff", 192 + k, false);
    for (int k = 0; k < 6; ++k)
        b.global("Fx " + std::to_string(k + 1) + " OnOff", EffOnPara[k], true);
    assert(b.next() == 523);

    for (int w = 0; w < count(Pan51Words); ++w)
        for (int p = 0; p < 7; ++p) {
            // The LFE row of the second effect panner has always been called
            // "Fx 3"; its neighbours say "Fx 4".
            const char* ending = (w == 4 && p == 5) ? "Fx 3" : Pan51Endings[p];
            b.module(std::string(Pan51Words[w].word) + " " + ending, Pan51Modules[p], Pan51Words[w].para, true);
        }
    // Read-only twins of the seven 5.1 switches: the host shows them, only
    // the editor changes them.
    for (int k = 0; k < 7; ++k) {
        b.global("51 1 OnOff", 192 + k, true);
        b.rows.back().readOnly = true;
    }
    for (int k = 0; k < 6; ++k)
        b.global("Effect " + std::to_string(k + 1) + " Type", EffTypePara[k], true);
    for (int s = 0; s < 4; ++s) {
        b.module("Gen " + std::to_string(s + 1) + " Balance", ModPan1 + s, 2, false);
        b.global("Gen " + std::to_string(s + 1) + " Volume", 181 + s, false);
    }
    for (int twice = 0; twice < 2; ++twice)
        for (int path = 0; path < 2; ++path) {
            const std::string stem = "Filter " + std::to_string(path + 1);
            b.module(stem + " Cutoff", ModLadder1 + path, 3, true);
            b.module(stem + " Resonance", ModLadder1 + path, 4, true);
        }
    // The dirty entry: automated with a random value so the host marks its
    // project changed; never written by the host.
    b.settings("-", ExtTarget::SynGlo, 5, 0);
    assert(b.next() == HostEntries);
}

// A run of global program parameters under the name "-".
void globals(Builder& b, int first, int n, int instrument = -1)
{
    for (int i = 0; i < n; ++i) {
        b.global("-", first + i, false);
        b.rows.back().instrument = instrument;
    }
}

void editorEntries(Builder& b)
{
    b.none(1, false);                                   // 602
    b.settings("-", ExtTarget::SynGlo, 25, 0);          // 603
    b.global("-", 185, true);                           // 604
    globals(b, 153, 2);                                 // 605, 606
    b.none(1, false);                                   // 607
    b.settings("-", ExtTarget::SynGlo, 10, -1);         // 608
    b.settings("-", ExtTarget::SynGlo, 8, 0);           // 609
    b.settings("-", ExtTarget::Ecs, 2, 0);              // 610
    b.settings("-", ExtTarget::Ecs, 1, 0);              // 611
    b.module("-", ModChordMem, 2, false);               // 612
    b.module("-", ModChordMem, 1, false);               // 613
    b.global("Precision", 201, false);                  // 614
    globals(b, 80, 3);                                  // 615..617
    globals(b, 1, 1);                                   // 618
    b.settings("-", ExtTarget::SynGloIns, 15, -1);      // 619
    b.settings("-", ExtTarget::SynGloIns, 14, -1);      // 620
    b.none(2, true);                                    // 621, 622
    globals(b, 212, 8);                                 // 623..630
    b.none(1, true);                                    // 631
    b.none(2, false);                                   // 632, 633
    b.settings("-", ExtTarget::SynGlo, 3, 0);           // 634
    for (int para : {18, 1, 12, 25})                    // 635..638
        b.settings("-", ExtTarget::SynGloIns, para, -1);
    globals(b, 202, 4, 0);                              // 639..642
    globals(b, 208, 4, 0);                              // 643..646
    b.module("-", ModStepSeq, 12, false);               // 647
    b.rows.back().instrument = 0;
    for (int para : {10, 2, 3, 4, 11, 5, 6, 7, 13})     // 648..656
        b.module("-", ModStepSeq, para, false);
    b.settings("-", ExtTarget::SysGlo, 2, 0);           // 657
    b.settings("-", ExtTarget::SysGlo, 6, 0);           // 658
    globals(b, 220, 1, 0);                              // 659
    globals(b, 8, 10);                                  // 660..669 matrix sources
    globals(b, 56, 10);                                 // 670..679 destinations
    for (int r = 0; r < 10; ++r)                        // 680..689
        b.global(r < 9 ? "Mod Amount " + std::to_string(r + 1) : std::string("Mod Amount10"), 32 + r, true);
    globals(b, 125, 10);                                // 690..699 row switches
    b.settings("-", ExtTarget::Tuning, 3, 0, true);     // 700
    b.settings("-", ExtTarget::Tuning, 4, 0);           // 701
    assert(b.next() == 702);

    for (int s = 0; s < 4; ++s)                         // 702..705
        b.module("-", ModUserSample1 + s, 3, false);
    for (int s = 0; s < 4; ++s)                         // 706..709
        b.module("Root Note", ModUserSample1 + s, 6, false);
    b.none(4, true);                                    // 710..713
    for (int s = 0; s < 4; ++s)                         // 714..717
        b.module("-", ModUserSample1 + s, 14, false);
    b.none(8, true);                                    // 718..725
    for (int para : {17, 18})                           // 726..733
        for (int s = 0; s < 4; ++s)
            b.module("-", ModUserSample1 + s, para, false);
    for (int s = 0; s < 4; ++s)                         // 734..737
        b.module("Root Note", ModWaveTable1 + s, 2, false);
    for (int s = 0; s < 4; ++s) {                       // 738..741
        b.module("-", ModWaveTable1 + s, 1, false);
        b.rows.back().readOnly = true;
    }
    b.none(4, false);                                   // 742..745
    for (int s = 0; s < 4; ++s)                         // 746..749
        b.module("-", ModWaveTable1 + s, 1, false);
    b.none(8, false);                                   // 750..757
    for (int para : {3, 4})                             // 758..765
        for (int s = 0; s < 4; ++s)
            b.module("-", ModWaveTable1 + s, para, false);
    b.settings("-", ExtTarget::SysGlo, 12, 0, true);    // 766
    // 767 and 768 have never addressed anything: they stay plain "-" slots.
    b.none(2, false);                                   // 767, 768
    for (int twice = 0; twice < 4; ++twice) {           // 769..776
        b.global("Gen 0 Type", 90, false);
        b.global("Gen 1 Type", 91, false);
    }
    for (int thrice = 0; thrice < 3; ++thrice) {        // 777..782
        b.global("Gen 2 Type", 102, false);
        b.global("Gen 3 Type", 103, false);
    }
    b.global("Fil 0 Type", 106, false);                 // 783
    b.global("Fil 1 Type", 107, false);                 // 784
    b.none(11, true);                                   // 785..795
    globals(b, 167, 7);                                 // 796..802
    b.zonePair("-", 9, false);                          // 803, 804
    b.none(2, true);                                    // 805, 806
    b.zonePair("-", 24, false);                         // 807, 808
    b.none(4, true);                                    // 809..812
    globals(b, 123, 2);                                 // 813, 814 SoundFont import paths
    b.zonePair("-", 15, false);                         // 815, 816
    b.zonePair("Loop Start", 20, true);                 // 817, 818
    b.zonePair("Loop End", 21, true);                   // 819, 820
    b.zonePair("Reverse", 19, true);                    // 821, 822
    b.zonePair("Snap", 26, true);                       // 823, 824
    b.zonePair("Root Note", 10, true);                  // 825, 826
    for (const Word& w : {Word{"Oct ", 2}, Word{"Semi ", 3}, Word{"Cent ", 4}, Word{"Track ", 5}})
        for (int l = 0; l < 2; ++l)                     // 827..834
            b.module("Loop " + std::to_string(l) + " " + w.word, ModSamLoop1 + l, w.para, true);
    b.zonePair("-", 25, false);                         // 835, 836
    b.module("Loop Smooth", ModSamLoop1, 6, true);      // 837, 838
    b.module("Loop Smooth", ModSamLoop1 + 1, 6, true);
    b.module("Release Loop", ModSamLoop1, 7, false);    // 839, 840
    b.module("Release Loop", ModSamLoop1 + 1, 7, false);
    assert(b.next() == 841);

    // The zone rows of the sample editors: eight zones of the scrolled page
    // (selectors 1 and 2 add page x 160) for six zone parameters.
    for (int m = 0; m < 2; ++m)                         // 841..936
        for (int para : PagedZoneParas)
            for (int k = 0; k < 8; ++k) {
                b.module("", ModMulti1 + m, para + ZoneStride * k, false);
                b.rows.back().selector = 1 + m;
            }
    for (int para : {155, 158, 156, 159, 157, 160})     // 937..942
        b.global("", para, false);
    b.global("SD Zoom", 161, false);                    // 943, 944
    b.global("SD Zoom", 162, false);
    b.global("SD Scroll", 163, false);                  // 945, 946
    b.global("SD Scroll", 164, false);
    for (int para : {165, 166}) {                       // 947, 948
        b.global("Scrollbar Size", para, false);
        b.rows.back().readOnly = true;
    }
    for (int para : {161, 162, 163, 164}) {             // 949..952
        b.global(para < 163 ? "SD Zoom" : "SD Scroll", para, false);
        b.rows.back().readOnly = true;
    }
    b.zonePair("-", 15, false);                         // 953, 954
    b.zonePair("-", 20, true);                          // 955, 956
    b.zonePair("-", 21, true);                          // 957, 958
    b.zonePair("-", 25, false);                         // 959, 960
    b.global("Voices", 96, false);                      // 961
    globals(b, 174, 3);                                 // 962..964
    b.settings("-", ExtTarget::SysGlo, 8, 0, true);     // 965
    b.settings("-", ExtTarget::SysGlo, 8, 0);           // 966
    assert(b.next() == EntryCount);
}

std::vector<ExtRow> build()
{
    Builder b;
    hostEntries(b);
    editorEntries(b);
    return std::move(b.rows);
}

std::vector<RedrawLink> buildLinks()
{
    std::vector<RedrawLink> links = {
        {943, 949, false}, {944, 950, false}, {945, 951, false}, {946, 952, false}, {611, 610, true},
        {613, 612, true},
    };
    for (int s = 0; s < 4; ++s)
        links.push_back({714 + s, 702 + s, false});
    for (int s = 0; s < 4; ++s)
        links.push_back({746 + s, 738 + s, false});
    for (const auto& [a, c] : {std::pair{815, 953}, std::pair{816, 954}, std::pair{817, 955}, std::pair{818, 956},
                               std::pair{819, 957}, std::pair{820, 958}, std::pair{835, 959}, std::pair{836, 960}})
        links.push_back({a, c, true});
    links.push_back({651, 648, false});
    links.push_back({966, 965, false});
    links.push_back({126, 128, false});
    links.push_back({127, 129, false});
    for (const auto& [a, c] : {std::pair{114, 597}, std::pair{116, 598}, std::pair{115, 599}, std::pair{117, 600},
                               std::pair{488, 593}, std::pair{490, 594}, std::pair{489, 595}, std::pair{491, 596},
                               std::pair{423, 420}, std::pair{424, 421}, std::pair{425, 422}})
        links.push_back({a, c, true});
    return links;
}

template <size_t N>
void addGroup(std::vector<std::pair<int, int>>& pairs, const int (&group)[N])
{
    for (size_t i = 0; i < N; ++i)
        for (size_t j = i + 1; j < N; ++j)
            pairs.emplace_back(group[i], group[j]);
}

std::vector<std::pair<int, int>> buildCopies()
{
    std::vector<std::pair<int, int>> pairs;
    addGroup(pairs, CopyGroupSlot1);
    addGroup(pairs, CopyGroupSlot2);
    addGroup(pairs, CopyGroupSlot3);
    addGroup(pairs, CopyGroupSlot4);
    return pairs;
}

} // namespace

const std::vector<ExtRow>& velaExtTable()
{
    static const std::vector<ExtRow> rows = build();
    return rows;
}

const std::vector<RedrawLink>& velaRedrawLinks()
{
    static const std::vector<RedrawLink> links = buildLinks();
    return links;
}

const std::vector<std::pair<int, int>>& velaValueCopyPairs()
{
    static const std::vector<std::pair<int, int>> pairs = buildCopies();
    return pairs;
}
