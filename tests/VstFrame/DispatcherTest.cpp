#include "RecordingEffect.h"

#include "Capacities.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct Row
{
    const char* what;
    int32_t opcode;
    int32_t index;
    intptr_t value;
    void* ptr;
    float opt;
    intptr_t result;
    const char* calls; // the virtual operations reached, in order
};

void runTable(RecordingEffect& fx, const std::vector<Row>& rows)
{
    for (const Row& r : rows) {
        fx.log.clear();
        EXPECT_EQ(fx.dispatcher(r.opcode, r.index, r.value, r.ptr, r.opt), r.result) << r.what;
        EXPECT_EQ(fx.log.joined(), r.calls) << r.what;
    }
}

} // namespace

TEST(Dispatcher, OpcodesReachTheirVirtualOperations)
{
    RecordingEffect fx; // 4 programs, 3 parameters
    char yes[] = "yes";
    char maybe[] = "maybe";
    char name[] = "Lead";
    char number[] = "0.5";
    void* chunk = nullptr;
    char chunkBytes[5] = {};
    VstEvent event{};
    VstEvents events{};
    events.numEvents = 1;
    events.events[0] = &event;
    VstSpeakerArrangement out{};
    out.numChannels = 2;

    runTable(fx, {
        {"open", effOpen, 0, 0, nullptr, 0, 0, "open"},
        {"close (dispatcher only)", effClose, 0, 0, nullptr, 0, 0, "close"},
        {"program in range", effSetProgram, 0, 2, nullptr, 0, 0, "setProgram(2)"},
        {"current program", effGetProgram, 0, 0, nullptr, 0, 2, ""},
        {"program equal to the count", effSetProgram, 0, 4, nullptr, 0, 0, ""},
        {"negative program", effSetProgram, 0, -1, nullptr, 0, 0, ""},
        {"huge program", effSetProgram, 0, intptr_t(1) << 40, nullptr, 0, 0, ""},
        {"program unchanged", effGetProgram, 0, 0, nullptr, 0, 2, ""},
        {"program name", effSetProgramName, 0, 0, name, 0, 0, "setProgramName(Lead)"},
        {"sample rate", effSetSampleRate, 0, 0, nullptr, 96000.0f, 0, "setSampleRate(96000)"},
        {"block size", effSetBlockSize, 0, 256, nullptr, 0, 0, "setBlockSize(256)"},
        {"mains off", effMainsChanged, 0, 0, nullptr, 0, 0, "suspend"},
        {"mains on", effMainsChanged, 0, 1, nullptr, 0, 0, "resume"},
        {"mains on, any non-zero", effMainsChanged, 0, -7, nullptr, 0, 0, "resume"},
        {"identify", effIdentify, 9, 9, name, 3.0f, 0x4E764566, ""},
        {"chunk of a program", effGetChunk, 1, 0, &chunk, 0, 7, "getChunk(preset)"},
        {"chunk of the bank", effGetChunk, 0, 0, &chunk, 0, 7, "getChunk(bank)"},
        {"set chunk", effSetChunk, 0, 5, chunkBytes, 0, 1, "setChunk(5,bank)"},
        {"set chunk, negative size", effSetChunk, 1, -5, chunkBytes, 0, 0, ""},
        {"vu", effGetVu, 0, 0, nullptr, 0, 0, ""},
        {"events", effProcessEvents, 0, 0, &events, 0, 1, "processEvents(1)"},
        {"automatable", effCanBeAutomated, 2, 0, nullptr, 0, 1, ""},
        {"string to parameter", effString2Parameter, 1, 0, number, 0, 1, "string2parameter(1,0.5)"},
        {"program categories", effGetNumProgramCategories, 0, 0, nullptr, 0, 1, ""},
        {"copy program", effCopyProgram, 1, 0, nullptr, 0, 0, ""},
        {"connect input", effConnectInput, 0, 1, nullptr, 0, 1, ""},
        {"connect output", effConnectOutput, 1, 0, nullptr, 0, 1, ""},
        {"category of a non-synth", effGetPlugCategory, 0, 0, nullptr, 0, 0, ""},
        {"speaker arrangement, no input", effSetSpeakerArrangement, 0, 0, &out, 0, 1,
         "setSpeakerArrangement(null,2)"},
        {"block size and rate", effSetBlockSizeAndSampleRate, 0, 512, nullptr, 48000.0f, 1,
         "setBlockSize(512) setSampleRate(48000)"},
        {"bypass", effSetBypass, 0, 1, nullptr, 0, 1, "setBypass(1)"},
        {"vendor version", effGetVendorVersion, 0, 0, nullptr, 0, 0, ""},
        {"vendor specific keeps a null pointer", effVendorSpecific, 1, 2, nullptr, 0.5f, 42,
         "vendorSpecific(1,2,null,0.5)"},
        {"can do", effCanDo, 0, 0, yes, 0, 1, "canDo(yes)"},
        {"cannot do", effCanDo, 0, 0, maybe, 0, -1, "canDo(maybe)"},
        {"tail", effGetTailSize, 0, 0, nullptr, 0, 0, ""},
        {"idle", effIdle, 0, 0, nullptr, 0, 0, ""},
        {"icon", effGetIcon, 0, 0, nullptr, 0, 0, ""},
        {"view position", effSetViewPosition, 1, 2, nullptr, 0, 0, ""},
        {"keys required is negated", effKeysRequired, 0, 0, nullptr, 0, 0, ""},
        {"vst version", effGetVstVersion, 0, 0, nullptr, 0, 2400, ""},
        {"midi programs changed", effHasMidiProgramsChanged, 0, 0, nullptr, 0, 0, ""},
        {"begin set program", effBeginSetProgram, 0, 0, nullptr, 0, 0, ""},
        {"end set program", effEndSetProgram, 0, 0, nullptr, 0, 0, ""},
        {"start process", effStartProcess, 0, 0, nullptr, 0, 0, ""},
        {"stop process", effStopProcess, 0, 0, nullptr, 0, 0, ""},
        {"total samples", effSetTotalSampleToProcess, 0, 99, nullptr, 0, 99, ""},
        {"pan law", effSetPanLaw, 0, 1, nullptr, 0.7f, 0, ""},
        {"precision", effSetProcessPrecision, 0, 1, nullptr, 0, 0, ""},
        {"midi inputs", effGetNumMidiInputChannels, 0, 0, nullptr, 0, 16, ""},
        {"midi outputs", effGetNumMidiOutputChannels, 0, 0, nullptr, 0, 16, ""},
        {"past the last opcode", 80, 0, 0, nullptr, 0, 0, ""},
        {"negative opcode", -1, 0, 0, nullptr, 0, 0, ""},
    });
    EXPECT_EQ(fx.getSampleRate(), 48000.0f);
    EXPECT_EQ(fx.getBlockSize(), 512);
}

TEST(Dispatcher, EveryPointerOpcodeAnswersZeroForNull)
{
    // The recording operations dereference their pointers, so reaching one
    // with null would crash.
    const int32_t opcodes[] = {
        effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName,
        effEditGetRect, effEditOpen, effEditDraw, effGetChunk, effSetChunk, effProcessEvents,
        effString2Parameter, effGetProgramNameIndexed, effGetInputProperties, effGetOutputProperties,
        effOfflineNotify, effOfflinePrepare, effOfflineRun, effProcessVarIo, effSetSpeakerArrangement,
        effGetEffectName, effGetErrorText, effGetVendorString, effGetProductString, effCanDo,
        effGetParameterProperties, effGetMidiProgramName, effGetCurrentMidiProgram,
        effGetMidiProgramCategory, effGetMidiKeyName, effGetSpeakerArrangement, effShellGetNextPlugin,
        effBeginLoadBank, effBeginLoadProgram};
    VstSpeakerArrangement arrangement{};
    for (bool withEditor : {false, true}) {
        RecordingEffect fx;
        if (withEditor)
            fx.setEditor(new RecordingEditor(&fx, fx.log));
        for (int32_t opcode : opcodes) {
            fx.log.clear();
            // A non-null value as well, for the opcodes that read a pointer from it.
            EXPECT_EQ(fx.dispatcher(opcode, 1, reinterpret_cast<intptr_t>(&arrangement), nullptr, 0), 0)
                << "opcode " << opcode;
            EXPECT_EQ(fx.log.joined(), "") << "opcode " << opcode;
        }
    }

    // Opcode 69 hands over two out-pointers; either may be missing.
    RecordingEffect fx;
    VstSpeakerArrangement* slot = nullptr;
    EXPECT_EQ(fx.dispatcher(effGetSpeakerArrangement, 0, 0, &slot, 0), 0);
    EXPECT_EQ(fx.dispatcher(effGetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&slot), &slot, 0), 1);
    EXPECT_EQ(fx.log.joined(), "getSpeakerArrangement");
}

TEST(Dispatcher, TextAnswersStopAtTheCap)
{
    // Internal callers get the whole text; the host gets at most cap bytes.
    struct Case { const char* what; int32_t opcode; size_t cap; intptr_t result; };
    const Case cases[] = {
        {"program name", effGetProgramName, ProgramNameAnswerSize, 0},
        {"indexed program name", effGetProgramNameIndexed, ProgramNameAnswerSize, 1},
        {"parameter label", effGetParamLabel, ParameterTextAnswerSize, 0},
        {"parameter display", effGetParamDisplay, ParameterTextAnswerSize, 0},
        {"parameter name", effGetParamName, ParameterTextAnswerSize, 0},
        {"effect name", effGetEffectName, EffectNameAnswerSize, 1},
        {"vendor", effGetVendorString, VendorAnswerSize, 1},
        {"product", effGetProductString, ProductAnswerSize, 1},
        {"shell plug-in name", effShellGetNextPlugin, ProductAnswerSize, 99},
    };
    constexpr size_t canary = 16;
    RecordingEffect fx;
    fx.text = std::string(200, 'x');
    for (const Case& c : cases) {
        std::vector<char> buffer(c.cap + canary, '#');
        EXPECT_EQ(fx.dispatcher(c.opcode, 0, 0, buffer.data(), 0), c.result) << c.what;
        EXPECT_EQ(std::strlen(buffer.data()), c.cap - 1) << c.what;
        EXPECT_EQ(std::string(buffer.data() + c.cap, canary), std::string(canary, '#')) << c.what;
    }
    // A short text arrives whole.
    fx.text = "Pad";
    char shortBuffer[ProgramNameAnswerSize];
    fx.dispatcher(effGetProgramName, 0, 0, shortBuffer, 0);
    EXPECT_STREQ(shortBuffer, "Pad");

    char full[256];
    fx.text = std::string(27, 'p');
    fx.getProgramName(full);
    EXPECT_EQ(std::strlen(full), 27u);
}

TEST(Dispatcher, RecordLabelsAreTerminatedInsideTheRecord)
{
    RecordingEffect fx;
    std::memset(fx.pinAnswer.label, 'L', sizeof(fx.pinAnswer.label));
    std::memset(fx.pinAnswer.shortLabel, 'S', sizeof(fx.pinAnswer.shortLabel));
    fx.pinAnswer.flags = kVstPinIsActive;
    for (int32_t opcode : {effGetOutputProperties, effGetInputProperties}) {
        struct { VstPinProperties pin; char canary[16]; } host;
        std::memset(&host, '#', sizeof(host));
        EXPECT_EQ(fx.dispatcher(opcode, 3, 0, &host.pin, 0), 1);
        EXPECT_EQ(std::strlen(host.pin.label), PinLabelAnswerSize - 1u);
        EXPECT_EQ(strnlen(host.pin.shortLabel, sizeof(host.pin.shortLabel)), PinShortLabelAnswerSize - 1u);
        EXPECT_EQ(host.pin.flags, kVstPinIsActive);
        EXPECT_EQ(std::string(host.canary, 16), std::string(16, '#'));
    }

    VstParameterProperties props;
    std::memset(&props, '#', sizeof(props));
    EXPECT_EQ(fx.dispatcher(effGetParameterProperties, 0, 0, &props, 0), 1);
    EXPECT_EQ(std::strlen(props.label), sizeof(props.label) - 1);
    EXPECT_EQ(std::strlen(props.shortLabel), sizeof(props.shortLabel) - 1);
    EXPECT_EQ(std::strlen(props.categoryLabel), sizeof(props.categoryLabel) - 1);
}

TEST(Dispatcher, EditorOpcodes)
{
    char window[8];
    ERect* rect = nullptr;
    ERect drawRect{};
    const std::vector<Row> withEditor = {
        {"rect", effEditGetRect, 0, 0, &rect, 0, 1, "editor.getRect"},
        {"open", effEditOpen, 0, 0, window, 0, 1, "editor.open"},
        {"close", effEditClose, 0, 0, nullptr, 0, 0, "editor.close"},
        {"draw", effEditDraw, 0, 0, &drawRect, 0, 0, "editor.draw"},
        {"mouse", effEditMouse, 3, 4, nullptr, 0, 7, "editor.mouse(3,4)"},
        {"key", effEditKey, 0, 65, nullptr, 0, 65, "editor.key(65)"},
        {"idle", effEditIdle, 0, 0, nullptr, 0, 0, "editor.idle"},
        {"top", effEditTop, 0, 0, nullptr, 0, 0, "editor.top"},
        {"sleep", effEditSleep, 0, 0, nullptr, 0, 0, "editor.sleep"},
        {"key down", effEditKeyDown, 'a', 9, nullptr, 3.0f, 1, "editor.keyDown(97,9,3)"},
        {"key up: modifier cut to a byte", effEditKeyUp, 'b', 0x10A, nullptr, 2.9f, 1,
         "editor.keyUp(98,10,2)"},
        {"knob mode", effSetEditKnobMode, 0, 2, nullptr, 0, 1, "editor.knobMode(2)"},
    };
    RecordingEffect fx;
    for (const Row& r : withEditor) {
        fx.log.clear();
        EXPECT_EQ(fx.dispatcher(r.opcode, r.index, r.value, r.ptr, r.opt), 0) << "no editor: " << r.what;
        EXPECT_EQ(fx.log.joined(), "") << r.what;
    }
    EXPECT_FALSE(fx.hasFlag(effFlagsHasEditor));

    auto* editor = new RecordingEditor(&fx, fx.log);
    fx.setEditor(editor);
    EXPECT_TRUE(fx.hasFlag(effFlagsHasEditor));
    EXPECT_TRUE(fx.getAeffect()->flags & effFlagsHasEditor);
    runTable(fx, withEditor);
    EXPECT_EQ(rect, &editor->rect);
}

TEST(Dispatcher, EditorBaseDefaults)
{
    RecordingEffect fx;
    AEffEditor* editor = new AEffEditor(&fx);
    fx.setEditor(editor);
    ERect* rect = reinterpret_cast<ERect*>(&fx);
    char window[4];
    EXPECT_EQ(fx.dispatcher(effEditGetRect, 0, 0, &rect, 0), 0);
    EXPECT_EQ(rect, nullptr);
    EXPECT_EQ(fx.dispatcher(effEditOpen, 0, 0, window, 0), 0);
    EXPECT_TRUE(editor->isOpen());
    EXPECT_EQ(fx.dispatcher(effEditClose, 0, 0, nullptr, 0), 0);
    EXPECT_FALSE(editor->isOpen());
    EXPECT_EQ(fx.dispatcher(effEditKeyDown, 'a', 0, nullptr, 0), 0);
    EXPECT_EQ(fx.dispatcher(effSetEditKnobMode, 0, 1, nullptr, 0), 0);
    EXPECT_EQ(editor->getEffect(), &fx);
}
