#include "Vela.h"

#include "EngineTestHost.h"
#include "AEffEditor.h"
#include "Capacities.h"
#include "VstMain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Build
{
    bool is51;
    int32_t outputs;
    int32_t uniqueId; // written out, so a change of the id constants shows
};
const Build builds[] = {{true, 6, 0x54737833 /* Tsx3 */}, {false, 2, 0x54737932 /* Tsy2 */}};

intptr_t ask(AEffect* e, int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr)
{
    return e->dispatcher(e, opcode, index, value, ptr, 0.0f);
}

// A host that answers its version and nothing else: the engine sets its
// flags and pin counts only for a host.
intptr_t quietHost(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

std::string askText(AEffect* e, int32_t opcode)
{
    char text[256] = {};
    ask(e, opcode, 0, 0, text);
    return text;
}

} // namespace

TEST(Vela, IdentityOfBothBuilds)
{
    for (const Build& b : builds) {
        Vela_c vela(quietHost, b.is51);
        AEffect* e = vela.getAeffect();
        SCOPED_TRACE(b.is51 ? "5.1 build" : "stereo build");
        EXPECT_EQ(e->magic, kEffectMagic);
        EXPECT_EQ(e->uniqueID, b.uniqueId);
        EXPECT_EQ(e->numPrograms, 208);
        EXPECT_EQ(e->numParams, 602);
        EXPECT_EQ(e->numInputs, 0);
        EXPECT_EQ(e->numOutputs, b.outputs);
        EXPECT_EQ(e->flags, effFlagsIsSynth | effFlagsProgramChunks | effFlagsCanReplacing);
        EXPECT_EQ(ask(e, effGetPlugCategory), 2);
        EXPECT_EQ(askText(e, effGetEffectName), "Tessel3");
        EXPECT_EQ(askText(e, effGetProductString), "Tessel3");
        EXPECT_EQ(askText(e, effGetVendorString), "Vendrax");
        EXPECT_EQ(ask(e, effGetVendorVersion), 3650);
        EXPECT_EQ(ask(e, effGetVstVersion), 2400);
        EXPECT_EQ(ask(e, effGetNumMidiInputChannels), 16);
        EXPECT_EQ(ask(e, effGetNumMidiOutputChannels), 16);
        EXPECT_EQ(ask(e, effGetEffectName, 0, 0, nullptr), 0);
    }
}

TEST(Vela, CanDo)
{
    struct Case { const char* text; intptr_t answer; };
    const Case cases[] = {
        {"receiveVstEvents", 1}, {"receiveVstMidiEvent", 1}, {"sendVstEvents", 1},
        {"sendVstMidiEvent", 1}, {"midiProgramNames", 1},    {"receiveVstTimeInfo", -1},
        {"ReceiveVstEvents", -1}, {"receiveVstEvents ", -1}, {"", -1},
    };
    Vela_c vela(quietHost, false);
    for (const Case& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(ask(vela.getAeffect(), effCanDo, 0, 0, text.data()), c.answer) << '"' << c.text << '"';
    }
    EXPECT_EQ(ask(vela.getAeffect(), effCanDo, 0, 0, nullptr), 0);
    EXPECT_EQ(vela.canDo(nullptr), 0);
}

TEST(Vela, RendersSilenceIntoEveryOutputItWasGiven)
{
    constexpr int frames = 64;
    for (const Build& b : builds) {
        Vela_c vela(quietHost, b.is51);
        AEffect* e = vela.getAeffect();
        // Exactly as many channel pointers as the plug-in has outputs: reading
        // one more would be caught by the address sanitizer.
        std::vector<std::vector<float>> buffers(b.outputs, std::vector<float>(frames + 1, 1.0f));
        auto outs = std::make_unique<float*[]>(b.outputs);
        for (int i = 0; i < b.outputs; ++i)
            outs[i] = buffers[i].data();
        outs[1] = nullptr; // a host may leave a channel out
        e->processReplacing(e, nullptr, outs.get(), frames);
        for (int i = 0; i < b.outputs; ++i) {
            for (int f = 0; f < frames; ++f)
                // Silence is the ±1e-7 block (first -1e-7), never exact zeros.
                ASSERT_EQ(buffers[i][f], i == 1 ? 1.0f : (f % 2 ? 1e-7f : -1e-7f))
                    << "output " << i << " frame " << f;
            EXPECT_EQ(buffers[i][frames], 1.0f) << "past the block, output " << i;
        }
        e->processReplacing(e, nullptr, nullptr, frames);
        e->processReplacing(e, nullptr, outs.get(), -1);
    }
}

TEST(Vela, TakesEventsAndKeepsTextsInsideTheCaps)
{
    Vela_c vela(quietHost, true);
    AEffect* e = vela.getAeffect();
    VstMidiEvent note{};
    note.type = kVstMidiType;
    note.byteSize = sizeof(note);
    note.midiData[0] = char(0x90);
    note.midiData[1] = 60;
    note.midiData[2] = 100;
    VstEvents events{};
    events.numEvents = 1;
    events.events[0] = reinterpret_cast<VstEvent*>(&note);
    EXPECT_EQ(ask(e, effProcessEvents, 0, 0, &events), 1);

    // Every text the host can ask for, for every program and parameter, fits.
    auto fits = [&](int32_t opcode, int32_t index, size_t cap) {
        std::vector<char> text(cap + 8, '#');
        ask(e, opcode, index, index, text.data());
        return strnlen(text.data(), cap) < cap && text[cap] == '#';
    };
    for (int32_t p = 0; p < NumHostParameters; ++p)
        for (int32_t opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay})
            ASSERT_TRUE(fits(opcode, p, ParameterTextAnswerSize)) << opcode << " " << p;
    for (int32_t p = 0; p < NumPrograms; ++p)
        ASSERT_TRUE(fits(effGetProgramNameIndexed, p, ProgramNameAnswerSize)) << p;
    EXPECT_TRUE(fits(effGetProgramName, 0, ProgramNameAnswerSize));
}

namespace {

intptr_t ask(Vela_c& vela, int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr)
{
    return ask(vela.getAeffect(), opcode, index, value, ptr);
}

// Runs one block as a host's audio thread would.
void renderBlock(Vela_c& vela, int frames = 64)
{
    std::vector<std::vector<float>> buffers(NumOutputs51, std::vector<float>(static_cast<size_t>(frames)));
    float* outs[NumOutputs51];
    for (int i = 0; i < NumOutputs51; ++i)
        outs[i] = buffers[static_cast<size_t>(i)].data();
    vela.getAeffect()->processReplacing(vela.getAeffect(), nullptr, outs, frames);
}

} // namespace

TEST(Vela, OutputsFollowTheConnectedPins)
{
    struct Case { bool is51; int connected; int outputs; bool folds; };
    const Case cases[] = {
        {true, 6, 6, false}, // all six: full 5.1
        {true, 4, 2, true},  // front and centre/LFE only: stereo, the panners fold
        {true, 1, 2, true},  // never below two
        {true, 0, 2, true},
        {false, 6, 2, true}, {false, 4, 2, true}, {false, 1, 2, true}, {false, 0, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.is51 ? "5.1" : "stereo") << " build, " << c.connected
                                        << " pins connected");
        EngineTestHost host;
        host.connectedPins = (1u << c.connected) - 1u;
        Vela_c vela(&EngineTestHost::callback, c.is51);
        EXPECT_EQ(vela.getEditor() != nullptr, true);
        EXPECT_FALSE(vela.isOpening());
        ask(vela, effOpen);
        ask(vela, effSetSampleRate, 0, 0, nullptr);
        ask(vela, effMainsChanged, 0, 1);
        renderBlock(vela);
        EXPECT_EQ(vela.getNumOutputs(), c.outputs);
        EXPECT_EQ(vela.getForceStereo(), c.folds);
        EXPECT_EQ(vela.renders51(), !c.folds);
        for (int v = 0; v < NumVoices; ++v)
            ASSERT_EQ(vela.getTone(v)->getForceStereo(), c.folds) << "voice " << v;
        // The host learns of the cut only from its own thread: what it passes stays valid.
        EXPECT_EQ(vela.getAeffect()->numOutputs, c.is51 ? 6 : 2);
        // Connecting more pins later raises nothing again.
        host.connectedPins = 0x3F;
        renderBlock(vela);
        EXPECT_EQ(vela.getNumOutputs(), c.outputs);

    }
}

TEST(Vela, PinPropertiesByBuildAndHostFamily)
{
    struct Case { bool is51; const char* host; int32_t index; intptr_t answer; const char* label; int32_t flags; int32_t arrangement; };
    const Case cases[] = {
        {true, "Test Host", -1, 0, "untouched", 0x55, 77},
        {true, "Test Host", 0, 1, "TsX3 L", 3, 77},
        {true, "Test Host", 2, 1, "TsX3 C", 1, 77},
        {true, "Test Host", 5, 1, "TsX3 RS", 3, 77},
        {true, "Test Host", 6, 0, "untouched", 0x55, 77},
        {true, "Cubase VST", -1, 0, "untouched", 0x55, 77},
        {true, "Nuendo", 0, 1, "Tessel3", 5, kSpeakerArr51},
        {true, "Cubasis", 2, 1, "Tessel3", 5, kSpeakerArr51},
        {true, "Cubase VST", 5, 1, "Tessel3", 5, kSpeakerArr51},
        {true, "Cubase VST", 6, 0, "untouched", 0x55, 77},
        {false, "Test Host", -1, 1, "untouched", 3, 77},
        {false, "Test Host", 0, 1, "Tessel3", 3, 77},
        {false, "Test Host", 2, 1, "untouched", 3, 77},
        {false, "Cubase VST", 5, 1, "untouched", 3, 77},
        {false, "Cubase VST", 6, 1, "untouched", 3, 77},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.is51 ? "5.1" : "stereo") << " build, " << c.host << ", pin "
                                        << c.index);
        EngineTestHost host;
        host.product = c.host;
        Vela_c vela(&EngineTestHost::callback, c.is51);
        VstPinProperties pin;
        std::memset(&pin, 0, sizeof(pin));
        std::strcpy(pin.label, "untouched");
        pin.flags = 0x55;
        pin.arrangementType = 77;
        EXPECT_EQ(ask(vela, effGetOutputProperties, c.index, 0, &pin), c.answer);
        EXPECT_STREQ(pin.label, c.label);
        EXPECT_EQ(pin.flags, c.flags);
        EXPECT_EQ(pin.arrangementType, c.arrangement);
    }
}

TEST(Vela, SpeakerArrangementsOfBothBuilds)
{
    struct Offer { bool is51; int32_t type; int32_t channels; intptr_t taken; };
    const Offer offers[] = {
        {true, kSpeakerArr51, 6, 1},     {true, kSpeakerArr51, 5, 0},  {true, kSpeakerArrStereo, 2, 0},
        {false, kSpeakerArrStereo, 2, 1}, {false, kSpeakerArr51, 6, 0}, {false, kSpeakerArrStereo, 6, 0},
    };
    for (const Offer& o : offers) {
        Vela_c vela(quietHost, o.is51);
        VstSpeakerArrangement output{};
        output.type = o.type;
        output.numChannels = o.channels;
        EXPECT_EQ(ask(vela, effSetSpeakerArrangement, 0, 0, &output), o.taken)
            << o.is51 << " " << o.type << "/" << o.channels;
        EXPECT_EQ(vela.getNumOutputs(), o.is51 ? 6 : 2); // an offer changes nothing
    }
    for (const Build& b : builds) {
        Vela_c vela(quietHost, b.is51);
        VstSpeakerArrangement* input = nullptr;
        VstSpeakerArrangement* output = nullptr;
        ASSERT_EQ(ask(vela, effGetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&input), &output), 1);
        ASSERT_NE(input, nullptr);
        ASSERT_NE(output, nullptr);
        EXPECT_EQ(input->type, kSpeakerArrEmpty);
        EXPECT_EQ(input->numChannels, 0);
        EXPECT_EQ(output->type, b.is51 ? kSpeakerArr51 : kSpeakerArrStereo);
        ASSERT_EQ(output->numChannels, b.outputs);
        for (int c = 0; c < b.outputs; ++c)
            EXPECT_EQ(output->speakers[c].type, kSpeakerL + c) << "channel " << c;
        EXPECT_EQ(output->speakers[b.outputs].type, 0);
    }
}

TEST(Vela, TheOutputCheckLeavesDisplayWorkToTheIdleSide)
{
    EngineTestHost host;
    host.connectedPins = 0x03;
    Vela_c vela(&EngineTestHost::callback, true);
    ask(vela, effOpen);
    ask(vela, effMainsChanged, 0, 1);
    // A host chunk load: the display may be refreshed from now on, and the
    // outputs are checked again before the next block.
    void* chunk = nullptr;
    const intptr_t size = ask(vela, effGetChunk, 0, 0, &chunk);
    ASSERT_GT(size, 0);
    std::vector<unsigned char> copy(static_cast<const unsigned char*>(chunk),
                                    static_cast<const unsigned char*>(chunk) + size);
    ASSERT_EQ(ask(vela, effSetChunk, 0, size, copy.data()), size);
    vela.fxIdle();
    const int before = host.updateDisplayCalls.load();
    renderBlock(vela);
    EXPECT_EQ(vela.getNumOutputs(), 2);
    EXPECT_EQ(host.updateDisplayCalls.load(), before) << "the audio thread asked the host for a display update";
    vela.fxIdle();
    EXPECT_GT(host.updateDisplayCalls.load(), before);

}

TEST(Vela, ChunksCarryTheGlobalPartAndRoundTrip)
{
    for (const Build& b : builds) {
        for (const bool preset : {true, false}) {
            SCOPED_TRACE(testing::Message() << (b.is51 ? "5.1" : "stereo") << (preset ? " preset" : " bank"));
            EngineTestHost host;
            Vela_c vela(&EngineTestHost::callback, b.is51);
            ask(vela, effOpen);
            ASSERT_EQ(vela.getGlobalPartRow(), 2) << "the first program row, after the two settings rows";
            VelaGlo_c* glo = vela.getGlobalPart();
            glo->setParaVal(0, VelaGlo_c::gpGenType2, 2);
            glo->setParaVal(0, VelaGlo_c::gpMainVol, -17);
            glo->setParaCharPtr(0, VelaGlo_c::gpPrgName, "Glass Pad");

            void* data = nullptr;
            const intptr_t size = ask(vela, effGetChunk, preset ? 1 : 0, 0, &data);
            ASSERT_GT(size, 0);
            const std::vector<unsigned char> saved(static_cast<const unsigned char*>(data),
                                                   static_cast<const unsigned char*>(data) + size);
            // The global part's block, tagged with its type code, is in it.
            const unsigned char tag[] = {'S', 'Y', 'G', '2'};
            const unsigned char tagLE[] = {'2', 'G', 'Y', 'S'};
            const bool tagged = std::search(saved.begin(), saved.end(), tag, tag + 4) != saved.end() ||
                                std::search(saved.begin(), saved.end(), tagLE, tagLE + 4) != saved.end();
            EXPECT_TRUE(tagged);

            // Changed values come back from the chunk.
            glo->setParaVal(0, VelaGlo_c::gpGenType2, 0);
            glo->setParaVal(0, VelaGlo_c::gpMainVol, 0);
            glo->setParaCharPtr(0, VelaGlo_c::gpPrgName, "Other");
            std::vector<unsigned char> in = saved;
            ASSERT_EQ(ask(vela, effSetChunk, preset ? 1 : 0, size, in.data()), size);
            EXPECT_EQ(glo->getParaVal(0, VelaGlo_c::gpGenType2), 2);
            EXPECT_EQ(glo->getParaVal(0, VelaGlo_c::gpMainVol), -17);
            char name[ParaTextBufferBytes] = {};
            glo->getParaCharPtr(0, VelaGlo_c::gpPrgName, name);
            EXPECT_STREQ(name, "Glass Pad");

            // And the next chunk is the same, byte for byte.
            const intptr_t again = ask(vela, effGetChunk, preset ? 1 : 0, 0, &data);
            ASSERT_EQ(again, size);
            EXPECT_TRUE(std::equal(saved.begin(), saved.end(), static_cast<const unsigned char*>(data)));

        }
    }
}

namespace {

// An editor that notes, when it goes, whether the plug-in's members were
// still there (the engine still open, the global part still bound).
bool editorSawMembers = false;
struct WatchingEditor : AEffEditor
{
    explicit WatchingEditor(Vela_c* v) : AEffEditor(v), vela(v) {}
    ~WatchingEditor() override
    {
        editorSawMembers = vela->isOpen() && vela->getGlobalPart()->getParaPtr(0, 1) != nullptr;
    }
    Vela_c* vela;
};

struct WatchedVela : Vela_c
{
    WatchedVela() : Vela_c(quietHost, true)
    {
        delete editor;
        setEditor(new WatchingEditor(this));
    }
};

// A host whose callback throws while the plug-in asks it for its name, as
// the plug-in is being built.
intptr_t throwingHost(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float)
{
    if (opcode == audioMasterGetProductString)
        throw std::runtime_error("host failed");
    return opcode == audioMasterVersion ? 2400 : 0;
}

} // namespace

TEST(Vela, TheEditorGoesFirst)
{
    editorSawMembers = false;
    {
        WatchedVela vela;
        ask(vela, effOpen);
    }
    EXPECT_TRUE(editorSawMembers);
}

TEST(Vela, AConstructionThatThrowsGivesNoPluginAndNoException)
{
    AudioEffect* effect = nullptr;
    EXPECT_NO_THROW(effect = createEffectInstance(throwingHost));
    EXPECT_EQ(effect, nullptr); // the sanitizer build checks that nothing is left allocated
}
