// The tooling channel of the plug-in: every external entry by 0..1, by its
// own value and by text, the instrument's commands and the editor's page,
// all through the one vendor-specific call a tool makes, with bad requests
// refused in words.
#include "Vela.h"

#include "EngineTestHost.h"
#include "Parameter.h"
#include "TestSupport.h"
#include "ToolingChannel.h"
#include "VelaGlo.h"
#include "WaveRAM.h"
#include "WaveRAM2.h"
#include "WaveSample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Tooling::Request;

constexpr int GenType0Entry = 769;     // "Gen 0 Type" -> global 90
constexpr int UserSample0Entry = 702;  // user-sample slot 1 "Filename"
constexpr int SF2Path0Entry = 813;     // "Import Sampler 0 SF2 Path" -> global 123
constexpr int ZoneStartEntry = 815;    // the shown zone's "Start Frame" of memory 1
constexpr const char* RealSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

struct ToolingPlugin
{
    ToolingPlugin()
    {
        vela = std::make_unique<Vela_c>(EngineTestHost::callback, false);
        e = vela->getAeffect();
        call(effOpen);
        call(effSetSampleRate, 0, 0, nullptr, 48000.0f);
        call(effSetBlockSize, 0, 256);
    }

    intptr_t call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f)
    {
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    }
    intptr_t request(Tooling::Operation op, Request& r) { return call(effVendorSpecific, Tooling::ChannelId, op, &r); }

    Request get(int entry)
    {
        Request r;
        r.entry = entry;
        EXPECT_EQ(request(Tooling::opGet, r), Tooling::Done) << r.message;
        return r;
    }
    Request setValue(int entry, int value)
    {
        Request r;
        r.entry = entry;
        r.value = value;
        EXPECT_EQ(request(Tooling::opSetValue, r), Tooling::Done) << r.message;
        return r;
    }
    Request setText(int entry, const std::string& text)
    {
        Request r;
        r.entry = entry;
        std::strncpy(r.text, text.c_str(), sizeof r.text - 1);
        EXPECT_EQ(request(Tooling::opSetText, r), Tooling::Done) << r.message;
        return r;
    }

    EngineTestHost host;
    std::unique_ptr<Vela_c> vela;
    AEffect* e = nullptr;
};

} // namespace

TEST(VelaTooling, BadRequestsAreRefusedWithAReasonAndChangeNothing)
{
    ToolingPlugin p;
    const int before = p.vela->getGlobalPart()->getParaVal(0, VelaGlo_c::gpGenType0);
    struct Case
    {
        const char* what;
        Tooling::Operation op;
        int entry;
        int value;
        float normalised;
        const char* text;
        Tooling::Status status;
        const char* reasonPart;
    };
    const Case cases[] = {
        {"an entry below 0", Tooling::opGet, -1, 0, 0, "", Tooling::stNoEntry, "outside 0..966"},
        {"an entry past the table", Tooling::opSetValue, 967, 0, 0, "", Tooling::stNoEntry, "outside 0..966"},
        {"an entry with no parameter", Tooling::opGet, 602, 0, 0, "", Tooling::stUnmapped, "addresses no parameter"},
        {"the changed marker", Tooling::opSetNormalised, 601, 0, 1, "", Tooling::stReadOnly, "never written"},
        {"a display entry", Tooling::opSetValue, 947, 0, 0, "", Tooling::stReadOnly, "shown only"},
        {"a value out of range", Tooling::opSetValue, GenType0Entry, 4, 0, "", Tooling::stBadValue, "takes 0..3"},
        {"0..1 exceeded", Tooling::opSetNormalised, GenType0Entry, 0, 1.5f, "", Tooling::stBadValue, "takes 0..1"},
        {"a number into a text entry", Tooling::opSetValue, UserSample0Entry, 1, 0, "", Tooling::stIsText, "text"},
        {"a text into a number entry", Tooling::opSetText, GenType0Entry, 0, 0, "3", Tooling::stNotText, "number"},
        {"an unknown operation", static_cast<Tooling::Operation>(99), 0, 0, 0, "", Tooling::stUnknownOperation,
         "unknown operation 99"},
        {"a command no one answers", Tooling::opCommand, 2, 0, 0, "", Tooling::stNotHandled, "command 2"},
        {"a page past the last", Tooling::opSelectPage, 0, 7, 0, "", Tooling::stBadValue, "takes 0..6"},
    };
    for (const Case& c : cases) {
        Request r;
        r.entry = c.entry;
        r.value = c.value;
        r.normalised = c.normalised;
        r.index = 7; // for the command: no sample slot has this number
        std::strncpy(r.text, c.text, sizeof r.text - 1);
        EXPECT_EQ(p.request(c.op, r), Tooling::Refused) << c.what;
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_NE(std::string(r.message).find(c.reasonPart), std::string::npos) << c.what << ": " << r.message;
    }
    EXPECT_EQ(p.vela->getGlobalPart()->getParaVal(0, VelaGlo_c::gpGenType0), before);

    // A record of another layout is refused without a byte written; a
    // missing record too; another vendor call is not the channel's.
    std::vector<unsigned char> small(sizeof(Request) - 4, 0xAB);
    const int32_t head[2] = {int32_t(small.size()), Tooling::RequestVersion};
    std::memcpy(small.data(), head, sizeof head);
    const std::vector<unsigned char> copy = small;
    EXPECT_EQ(p.call(effVendorSpecific, Tooling::ChannelId, Tooling::opGet, small.data()), Tooling::Refused);
    EXPECT_EQ(small, copy);
    Request old;
    old.version = Tooling::RequestVersion + 1;
    EXPECT_EQ(p.request(Tooling::opGet, old), Tooling::Refused);
    EXPECT_EQ(old.status, Tooling::stOk) << "untouched";
    EXPECT_EQ(p.call(effVendorSpecific, Tooling::ChannelId, Tooling::opGet, nullptr), Tooling::Refused);
    Request r;
    EXPECT_EQ(p.call(effVendorSpecific, 0x12345678, Tooling::opGet, &r), 0);
}

TEST(VelaTooling, EntriesAreWrittenByValueByNormalisedAndByTextAndReadBack)
{
    ToolingPlugin p;
    VelaGlo_c* glo = p.vela->getGlobalPart();

    // By its own value: the loop sampler in slot 1, the change hook run.
    const Request type = p.setValue(GenType0Entry, Vela_c::GenLoopSampler);
    EXPECT_EQ(glo->getParaVal(0, VelaGlo_c::gpGenType0), Vela_c::GenLoopSampler);
    EXPECT_EQ(type.value, Vela_c::GenLoopSampler);
    EXPECT_EQ(type.low, 0);
    EXPECT_EQ(type.high, 3);
    EXPECT_STREQ(type.parameterName, "Gen 0 Type");
    EXPECT_FLOAT_EQ(type.normalised, 1.0f);

    // By 0..1, a host parameter and an editor entry alike.
    Request r;
    r.entry = GenType0Entry;
    r.normalised = 1.0f / 3.0f;
    ASSERT_EQ(p.request(Tooling::opSetNormalised, r), Tooling::Done) << r.message;
    EXPECT_EQ(r.value, 1);
    EXPECT_EQ(glo->getParaVal(0, VelaGlo_c::gpGenType0), 1);
    r = Request{};
    r.entry = 4; // a host parameter
    r.normalised = 0.25f;
    ASSERT_EQ(p.request(Tooling::opSetNormalised, r), Tooling::Done) << r.message;
    EXPECT_FLOAT_EQ(p.e->getParameter(p.e, 4), r.normalised);

    // A frame number far past what 0..1 steps through exactly.
    WaveRAM2_c* memory = p.vela->getMultiSample(0);
    memory->clearAllSampleLimits(0);
    const Request start = p.setValue(ZoneStartEntry, 123456789);
    EXPECT_EQ(start.value, 123456789);
    EXPECT_EQ(memory->getParaVal(0, WaveRAM2_c::zonePara(p.vela->getShownZone(0), WaveRAM2_c::zpStartFrame)),
              123456789);

    // By text: a sample path loads like the editor's file field.
    TestSupport::TempDir dir;
    const std::string wav = dir.file("tone.wav");
    {
        WaveSample_c s;
        float *l = nullptr, *rr = nullptr;
        ASSERT_TRUE(s.getBufferFor(4800, 1, &l, &rr));
        for (int i = 0; i < 4800; ++i)
            l[i] = float(0.5 * std::sin(2.0 * M_PI * 440.0 * i / 48000.0));
        s.sampleRate = 48000;
        ASSERT_EQ(s.saveWAVSample(Tool::Disk::Path_c(wav.c_str())), 4800);
    }
    const Request named = p.setText(UserSample0Entry, wav);
    EXPECT_EQ(named.isText, 1);
    EXPECT_STREQ(named.text, wav.c_str());
    EXPECT_NE(std::string(named.display).find("tone.wav"), std::string::npos) << named.display;
    EXPECT_EQ(p.vela->getUserSample(0)->getSampleCount(), 1);

    // After a program load the channel reads what the program holds.
    void* data = nullptr;
    const intptr_t size = p.call(effGetChunk, 1, 0, &data);
    ASSERT_GT(size, 0);
    const std::vector<unsigned char> chunk(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
    p.setValue(GenType0Entry, 2);
    ASSERT_EQ(p.call(effSetChunk, 1, size, const_cast<unsigned char*>(chunk.data())), size);
    EXPECT_EQ(p.get(GenType0Entry).value, 1);
}

TEST(VelaTooling, CommandsAndThePageGoWhereTheEditorSendsThem)
{
    ToolingPlugin p;
    Request page;
    page.value = 3;
    ASSERT_EQ(p.request(Tooling::opSelectPage, page), Tooling::Done) << page.message;
    EXPECT_EQ(page.value, 3);
    EXPECT_EQ(p.get(Vela_c::EditPageEntry).value, 3);

    // Command 94 is the page's touch area; 92 sets the first filter's type.
    Request command;
    command.entry = Vela_c::CmdEditPage;
    command.value = 5;
    ASSERT_EQ(p.request(Tooling::opCommand, command), Tooling::Done) << command.message;
    EXPECT_EQ(p.get(Vela_c::EditPageEntry).value, 5);
    command.entry = Vela_c::CmdVarType0;
    command.value = 1;
    ASSERT_EQ(p.request(Tooling::opCommand, command), Tooling::Done) << command.message;
    EXPECT_EQ(p.get(783).value, 1);
}

TEST(VelaTooling, ASoundFontImportsThroughItsPathEntry)
{
    if (Tool::Disk::exists(Tool::Disk::Path_c(RealSoundFont)) != 1)
        GTEST_SKIP() << RealSoundFont << " is not installed (package timgm6mb-soundfont)";
    ToolingPlugin p;
    p.setValue(GenType0Entry, Vela_c::GenLoopSampler);
    const Request path = p.setText(SF2Path0Entry, RealSoundFont);
    EXPECT_STREQ(path.text, RealSoundFont);
    EXPECT_EQ(p.vela->getMultiSample(0)->InsSamples(0, false), WaveRAM2_c::NumZones);
}
