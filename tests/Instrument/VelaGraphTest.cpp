// The module graph of the opened plug-in: which module sits under which
// logical number with which (type code, order) pair, what a program chunk
// holds, the buses' shapes and readers, and the routes that switch with
// "Gen0 Routing" and "Gen2 Routing".
#include "Vela.h"

#include "EngineTestHost.h"
#include "InBuffer2.h"
#include "ParaSet.h"
#include "PatchBay.h"
#include "RegMod.h"
#include "SignalMeasure.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

int code(const char* text)
{
    return (text[0] << 24) | (text[1] << 16) | (text[2] << 8) | text[3];
}

std::string codeText(int c)
{
    return {char(c >> 24 & 0xFF), char(c >> 16 & 0xFF), char(c >> 8 & 0xFF), char(c & 0xFF)};
}

// Runs of logical numbers with one type code: numbers first, first + 1, ...
// take the orders in turn.
struct RowRun
{
    const char* code;
    int first;
    std::vector<int> orders;
    int instances;
};

// The graph's rows as the instrument's program format knows them.
std::vector<RowRun> expectedRows()
{
    std::vector<RowRun> runs = {
        {"SYG2", 0, {0}, 1},
        {"TM02", 1, {1, 0, 2, 3}, 1},
        {"WWT0", 5, {0, 1, 2, 3}, 1},
        {"TM04", 9, {0, 1}, 1},
        {"ML01", 40, {0, 1, 2, 3}, NumVoices},
        // Gen 1, Gen 2, Mod 1, Mod 2, Filter 1, Filter 2, Amp
        {"ME03", 44, {4, 5, 2, 3, 1, 6, 0}, NumVoices},
        {"MRG0", 51, {0}, NumVoices},
        {"GO02", 52, {0, 1, 2, 3}, NumVoices},
        {"GS02", 56, {1, 0, 2, 3}, NumVoices},
        {"GWT0", 60, {0, 1, 2, 3}, NumVoices},
        {"GS03", 64, {0, 1}, NumVoices},
        {"VF01", 66, {0, 1}, NumVoices},
        {"VFF1", 68, {0, 1}, NumVoices},
        {"VD01", 70, {0, 1}, NumVoices},
        {"ML02", 72, {20, 21, 22, 23}, NumVoices},
        {"ME06", 76, {0, 1, 2, 3}, NumVoices},
        {"VP02", 80, {0, 1, 2, 3}, NumVoices},
        {"VP51", 84, {0, 1, 2, 3}, NumVoices},
        {"VD01", 88, {2}, NumVoices},
        {"VAM1", 89, {0, 1}, NumVoices},
        {"SEQ1", 160, {0}, 1},
        {"CMM1", 161, {0}, 1},
        {"VP51", 162, {4, 5, 6}, 1},
    };
    // The three effect sets: the same layout from 100, 120 and 140.
    struct SetModule
    {
        const char* code;
        int order[3];
    };
    const SetModule set[] = {
        {"VD02", {1, 2, 0}},   {"VCH0", {1, 2, 0}},  {"ML02", {8, 16, 4}},  {"ML02", {9, 17, 5}},
        {"ML02", {10, 18, 6}}, {"VPH0", {1, 2, 0}},  {"ML02", {13, 19, 12}}, {"VGF1", {1, 2, 0}},
        {"ML02", {15, 24, 14}}, {"VR01", {1, 2, 0}}, {"VDS1", {1, 2, 0}},   {"VFL1", {1, 2, 0}},
        {"VSE1", {1, 2, 0}},   {"VEQ1", {1, 2, 0}},  {"VGT1", {1, 2, 0}},   {"VCX1", {1, 2, 0}},
        {"VDP1", {1, 2, 0}},
    };
    for (int s = 0; s < 3; ++s)
        for (int k = 0; k < 17; ++k)
            runs.push_back({set[k].code, 100 + 20 * s + k, {set[k].order[s]}, 1});
    return runs;
}

// An opened plug-in of either build, its graph in place.
struct OpenVela
{
    explicit OpenVela(bool is51 = false) : vela(std::make_unique<Vela_c>(EngineTestHost::callback, is51))
    {
        AEffect* e = vela->getAeffect();
        e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
        e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
        e->dispatcher(e, effSetBlockSize, 0, 256, nullptr, 0.0f);
    }
    ~OpenVela() { vela->getAeffect()->dispatcher(vela->getAeffect(), effMainsChanged, 0, 0, nullptr, 0.0f); }

    InBuffer2_c* bus(const char* name) const
    {
        for (int i = 0; i < vela->getRegBufCount(); ++i)
            if (InBuffer2_c* b = vela->getRegBuf(i); b && std::strcmp(b->getName(), name) == 0)
                return b;
        return nullptr;
    }
    const RegMod_t* row(int number) const { return vela->getRegMod(vela->getModuleRow(number)); }
    Part_c* module(int number, int instance = 0) const
    {
        const RegMod_t* r = row(number);
        return r ? r->instance(instance) : nullptr;
    }

    EngineTestHost host;
    std::unique_ptr<Vela_c> vela;
};

} // namespace

TEST(VelaGraph, EveryModuleUnderItsNumberWithItsCodeAndOrder)
{
    OpenVela v;
    std::set<int> numbered;
    for (const RowRun& run : expectedRows()) {
        for (size_t i = 0; i < run.orders.size(); ++i) {
            const int number = run.first + static_cast<int>(i);
            SCOPED_TRACE("module " + std::to_string(number) + " " + run.code);
            numbered.insert(number);
            const RegMod_t* r = v.row(number);
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(r->order, run.orders[i]);
            EXPECT_EQ(r->count, run.instances);
            for (int k = 0; k < run.instances; ++k)
                EXPECT_NE(r->instance(k), nullptr) << "instance " << k;
            // Classes still to be built report no code; the rest theirs.
            if (r->typeCode != 0) {
                EXPECT_EQ(codeText(static_cast<int>(r->typeCode)), run.code);
            }
        }
    }
    // Voice rows hold voice k's own module as instance k.
    EXPECT_EQ(v.module(52, 7), &v.vela->getTone(7)->osc[0]);
    EXPECT_EQ(v.module(57, 31), &v.vela->getTone(31)->timeSampler[1]);
    EXPECT_EQ(v.module(75, 3), &v.vela->getTone(3)->lfo[3].lfo);
    EXPECT_EQ(v.module(86, 0), &v.vela->getTone(0)->pathPan51[0]);
    // Every other number stays free.
    for (int n = 0; n < Vela_c::NumModuleNumbers; ++n) {
        if (!numbered.count(n)) {
            EXPECT_EQ(v.vela->getModuleRow(n), -1) << n;
        }
    }
    // The global part is the program's first module (its name is parameter 1).
    EXPECT_EQ(v.vela->getGlobalPartRow(), v.vela->getModuleRow(0));
}

TEST(VelaGraph, AProgramChunkHoldsOneBlockPerModule)
{
    OpenVela v;
    std::set<std::pair<int, int>> expected;
    for (const RowRun& run : expectedRows())
        for (int order : run.orders)
            expected.insert({code(run.code), order});

    void* data = nullptr;
    const int size = v.vela->getChunkPreset(0, &data);
    ASSERT_GT(size, 0);
    ASSERT_NE(data, nullptr);
    std::set<std::pair<int, int>> seen;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (int at = 0; at < size;) {
        ParaChunkHeader_t h;
        ASSERT_TRUE(ParaSet_c::readChunkHeader(bytes + at, size - at, &h)) << "at byte " << at;
        const std::pair<int, int> key{h.typeCode, h.order};
        EXPECT_TRUE(expected.count(key)) << codeText(h.typeCode) << " " << h.order;
        EXPECT_TRUE(seen.insert(key).second) << "twice: " << codeText(h.typeCode) << " " << h.order;
        at += h.size;
    }
    // Every module with parameters is there, the global part first.
    for (int r = 0; r < v.vela->getRegModCount(); ++r) {
        const RegMod_t* row = v.vela->getRegMod(r);
        if (row->group == rmgInstrument && row->paraSet && r >= v.vela->getGlobalPartRow()) {
            EXPECT_TRUE(seen.count({static_cast<int>(row->typeCode), row->order}))
                << codeText(static_cast<int>(row->typeCode)) << " " << row->order;
        }
    }
    ParaChunkHeader_t first;
    ASSERT_TRUE(ParaSet_c::readChunkHeader(data, size, &first));
    EXPECT_EQ(codeText(first.typeCode), "SYG2");
}

TEST(VelaGraph, TheLFOsInnerPartsKeepTheirLFOsValues)
{
    // The segment LFO and the envelope inside each LFO have rows (and chunk
    // blocks) of their own; an LFO's change still reaches them.
    OpenVela v;
    Part_c* lfo = v.module(41);
    Part_c* inner = v.module(73, 5);
    ASSERT_NE(lfo, nullptr);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->getParaSet(), v.row(73)->paraSet);
    for (int waveform : {1, 3, 0}) {
        lfo->setParaVal(0, AdvLFO_c::pWaveform, waveform);
        lfo->postprocessParaChange(0, AdvLFO_c::pWaveform);
        EXPECT_EQ(inner->getParaVal(0, LFOSimp_c::pWaveform), waveform);
    }
}

TEST(VelaGraph, BusesHaveTheirShapeAndTheirReaders)
{
    OpenVela v;
    struct Shape
    {
        const char* name;
        int channels;
        bool ones;
        bool perVoice;
        bool perPiece;
        std::vector<int> readers; // modules reading it (all instances)
    };
    const Shape shapes[] = {
        {"XModBuf0", 1, true, true, false, {53, 57, 61, 65}},
        {"XModBuf1", 1, true, true, false, {55, 59, 63}},
        {"PanBuf0", 2, false, true, false, {80, 84}},
        {"PanBuf1", 2, false, true, false, {81, 85}},
        {"PanBuf2", 2, false, true, false, {82}},
        {"PanBuf3", 2, false, true, false, {83}},
        {"FilBuf0", 2, false, true, false, {70, 66, 68, 89}},
        {"FilBuf1", 2, false, true, false, {71, 67, 69, 90}},
        {"EffBuf0", 2, false, false, true, {100, 101, 105, 107, 109, 110, 111, 112, 113, 114, 115, 116}},
        {"EffBuf1", 2, false, false, true, {120, 121, 125, 127, 129, 130, 131, 132, 133, 134, 135, 136}},
        {"EffBufX", 6, false, false, true, {140, 141, 145, 147, 149, 150, 151, 152, 153, 154, 155, 156, 162, 163, 164}},
        {"OutBuf", 6, false, false, true, {}},
        // each voice's paths, and their 5.1 panners reading them
        {"PathBuf0", 2, false, true, false, {86}},
        {"PathBuf1", 2, false, true, false, {87}},
    };
    for (const Shape& s : shapes) {
        SCOPED_TRACE(s.name);
        InBuffer2_c* b = v.bus(s.name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->getChannels(), s.channels);
        EXPECT_EQ(b->getFlagA(), s.perVoice);
        EXPECT_EQ(b->getFlagB(), s.perPiece);
        EXPECT_EQ(b->isHostFed(), std::string(s.name) == "OutBuf");
        if (!b->isHostFed()) {
            EXPECT_EQ(b->getSize(), MaxBlockSize);
            // What an empty bus reads: ones, or the silence of +-1e-7.
            b->prepCycle(MaxBlockSize);
            float* in = nullptr;
            ASSERT_TRUE(b->wantReadMono(&in, true));
            EXPECT_NEAR(in[0], s.ones ? 1.0f : 0.0f, 1e-6f);
        } else {
            EXPECT_GE(b->getSize(), MaxBlockSize);
        }
        for (int number : s.readers)
            for (int k : {0, v.row(number)->count - 1})
                EXPECT_EQ(v.module(number, k)->getInBuf(true), b) << number << " instance " << k;
    }
    // Only the effects themselves are fed, not their LFOs.
    for (int lfo : {102, 103, 104, 106, 108})
        EXPECT_EQ(v.module(lfo)->getInBuf(true), nullptr) << lfo;
}

TEST(VelaGraph, RoutesAreThePartsEightyThree)
{
    OpenVela v;
    AudioPatchBay_c* bay = v.vela->getPatchBay();
    ASSERT_NE(bay, nullptr);
    // Twelve generators switch by three values each; the rest always hold.
    EXPECT_EQ(bay->getConditionalCount(), 7 * 3);
    EXPECT_EQ(bay->getUnconditionalCount(), 83 - 7 * 3);
    // Fixed outputs, as modules see them.
    struct Fixed
    {
        int number;
        const char* out1;
        const char* out2;
    };
    const Fixed fixed[] = {
        {53, "PanBuf1", nullptr},  {55, "PanBuf3", nullptr},  {57, "PanBuf1", nullptr},
        {65, "PanBuf1", nullptr},  {80, "FilBuf0", "FilBuf1"}, {83, "FilBuf0", "FilBuf1"},
        {70, "FilBuf0", nullptr},  {71, "FilBuf1", nullptr},  {66, "PathBuf0", nullptr},
        {69, "PathBuf1", nullptr}, {89, "PathBuf0", nullptr}, {90, "PathBuf1", nullptr},
        {100, "EffBufX", nullptr}, {136, "EffBufX", nullptr}, {156, "EffBufX", nullptr},
        {84, "OutBuf", nullptr},   {87, "OutBuf", nullptr},   {162, "OutBuf", nullptr},
        {164, "OutBuf", nullptr},
    };
    for (const Fixed& f : fixed) {
        Part_c* m = v.module(f.number, NumVoices - 1 < v.row(f.number)->count ? NumVoices - 1 : 0);
        EXPECT_EQ(m->getOutBuf(true), v.bus(f.out1)) << f.number;
        EXPECT_EQ(m->getOutBuf(false), f.out2 ? v.bus(f.out2) : nullptr) << f.number;
    }
}

TEST(VelaGraph, GeneratorRoutingPicksTheBusAtTheNoteStartAndAtAProgramChange)
{
    OpenVela v;
    VelaGlo_c* glo = v.vela->getGlobalPart();
    struct Case
    {
        int routing;
        const char* slot1;
        const char* slot3;
    };
    const Case cases[] = {{0, "PanBuf0", "PanBuf2"}, {1, "XModBuf0", "XModBuf1"}, {2, "XModBuf0", "XModBuf1"},
                          {0, "PanBuf0", "PanBuf2"}};
    Note_c note;
    note.set(69, 100);
    for (const Case& c : cases) {
        SCOPED_TRACE("routing " + std::to_string(c.routing));
        glo->setParaVal(0, VelaGlo_c::gpGen0Routing, c.routing);
        glo->setParaVal(0, VelaGlo_c::gpGen2Routing, c.routing);
        // A module starting a note asks for its own buses (voice 3's
        // oscillators of slots 1 and 3 here) ...
        Part_c* osc1 = v.module(52, 3);
        Part_c* osc3 = v.module(54, 3);
        osc1->prepProc(0, note, false);
        osc3->prepProc(0, note, false);
        EXPECT_EQ(osc1->getOutBuf(true), v.bus(c.slot1));
        EXPECT_EQ(osc3->getOutBuf(true), v.bus(c.slot3));
        // ... and a program change moves every module that has played.
        v.vela->doRoute(0);
        EXPECT_EQ(v.module(52, 3)->getOutBuf(true), v.bus(c.slot1));
        // Slots 2 and 4 keep their buses whatever the routing.
        EXPECT_EQ(v.module(53, 3)->getOutBuf(true), v.bus("PanBuf1"));
        EXPECT_EQ(v.module(55, 3)->getOutBuf(true), v.bus("PanBuf3"));
    }
}

TEST(VelaGraph, WithRoutingMixNothingWritesTheCrossModulationBus)
{
    // Slot 1 at Mix: its oscillator writes its panner's bus, the slot 2
    // generators read ones. At AM the oscillator writes XModBuf0 instead.
    for (const int routing : {0, 1}) {
        SCOPED_TRACE("routing " + std::to_string(routing));
        OpenVela v;
        v.vela->getGlobalPart()->setParaVal(0, VelaGlo_c::gpGen0Routing, routing);
        AEffect* e = v.vela->getAeffect();
        e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
        std::vector<float> left(256), right(256);
        float* out[2] = {left.data(), right.data()};
        VstMidiEvent note{};
        note.type = kVstMidiType;
        note.byteSize = sizeof(VstMidiEvent);
        note.midiData[0] = static_cast<char>(0x90);
        note.midiData[1] = 69;
        note.midiData[2] = 100;
        VstEvents events{};
        events.numEvents = 1;
        events.events[0] = reinterpret_cast<VstEvent*>(&note);
        e->dispatcher(e, effProcessEvents, 0, 0, &events, 0.0f);
        e->processReplacing(e, nullptr, out, 256);
        ASSERT_EQ(v.vela->getInstPtr(0)->voicesInUse.load(), 1);
        // The buses as the voice left them.
        InBuffer2_c* xmod = v.bus("XModBuf0");
        EXPECT_EQ(v.bus("PanBuf0")->hasContent(), routing == 0);
        EXPECT_EQ(xmod->hasContent(), routing != 0);
        float* in = nullptr;
        ASSERT_TRUE(xmod->wantReadMono(&in, false));
        if (routing == 0) {
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(in[i], 1.0f) << i;
        } else {
            EXPECT_LT(SignalMeasure::peak(std::vector<float>(in, in + 256)), 2.0f);
            EXPECT_NE(in[100], 1.0f);
        }
    }
}
