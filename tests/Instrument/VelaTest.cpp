#include "Vela.h"

#include "Capacities.h"

#include <gtest/gtest.h>

#include <cstring>
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

TEST(Vela, OutputPinsOfThe51Build)
{
    struct Case { int32_t index; const char* label; int32_t flags; };
    const Case cases[] = {
        {0, "TsX3 L", 3}, {1, "TsX3 R", 3}, {2, "TsX3 C", 1},
        {3, "TsX3 Lfe", 1}, {4, "TsX3 LS", 3}, {5, "TsX3 RS", 3},
    };
    Vela_c vela(quietHost, true);
    for (const Case& c : cases) {
        VstPinProperties pin;
        std::memset(&pin, 0, sizeof(pin));
        pin.arrangementType = 77;
        EXPECT_EQ(ask(vela.getAeffect(), effGetOutputProperties, c.index, 0, &pin), 1) << c.index;
        EXPECT_STREQ(pin.label, c.label);
        EXPECT_EQ(pin.flags, c.flags) << c.index;
        EXPECT_EQ(pin.arrangementType, 77) << c.index;
    }
    for (int32_t index : {6, -1}) {
        VstPinProperties pin, before;
        std::memset(&pin, 0xAB, sizeof(pin));
        before = pin;
        EXPECT_EQ(ask(vela.getAeffect(), effGetOutputProperties, index, 0, &pin), 0) << index;
        EXPECT_EQ(std::memcmp(&pin, &before, sizeof(pin)), 0) << index;
    }
}

TEST(Vela, OutputPinsOfTheStereoBuild)
{
    Vela_c vela(quietHost, false);
    for (int32_t index : {0, 1, 2, -1}) {
        VstPinProperties pin{};
        std::strcpy(pin.label, "kept");
        EXPECT_EQ(ask(vela.getAeffect(), effGetOutputProperties, index, 0, &pin), 1) << index;
        EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo) << index;
        EXPECT_STREQ(pin.label, index == 0 || index == 1 ? "Tessel3" : "kept") << index;
    }
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
