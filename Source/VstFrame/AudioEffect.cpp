#include "AudioEffect.h"

#include "AEffEditor.h"
#include "Capacities.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>

namespace {

// The object behind a record the host hands back; null for anything that is
// not one of ours.
AudioEffect* effectOf(AEffect* e)
{
    if (!e || e->magic != kEffectMagic)
        return nullptr;
    return static_cast<AudioEffect*>(e->object);
}

void reportFailure(const char* where, int32_t opcode)
{
    try {
        throw;
    } catch (const std::exception& ex) {
        std::fprintf(stderr, "VST frame: %s (opcode %d) failed: %s\n", where, opcode, ex.what());
    } catch (...) {
        std::fprintf(stderr, "VST frame: %s (opcode %d) failed with an unknown exception\n", where,
                     opcode);
    }
}

// Silence for a block whose rendering failed, so the host never plays what
// was left in its buffers.
template <typename Sample>
void clearOutputs(Sample** outputs, int32_t count, int32_t frames)
{
    if (!outputs || frames <= 0)
        return;
    for (int32_t i = 0; i < count; ++i)
        if (outputs[i])
            std::fill(outputs[i], outputs[i] + frames, Sample(0));
}

// Writes s into a caller buffer of maxLen bytes, cut and always terminated.
void putText(char* text, int32_t maxLen, const char* s)
{
    if (!text || maxLen <= 0)
        return;
    const size_t n = std::min(std::strlen(s), static_cast<size_t>(maxLen) - 1);
    std::memcpy(text, s, n);
    text[n] = 0;
}

} // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, int32_t numPrograms, int32_t numParams)
    : audioMaster(audioMaster), editor(nullptr), sampleRate(44100.0f), blockSize(1024),
      numPrograms(numPrograms), numParams(numParams), curProgram(0)
{
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffectClass;
    cEffect.process = processClass;
    cEffect.setParameter = setParameterClass;
    cEffect.getParameter = getParameterClass;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = effFlagsCanReplacing;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = vstFourCC('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = processClassReplacing;
    cEffect.processDoubleReplacing = processClassDoubleReplacing;
}

AudioEffect::~AudioEffect()
{
    delete editor;
}

// ---------------------------------------------------------------------------
// Dispatcher, opcodes 0..24

intptr_t AudioEffect::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    char* const hostText = static_cast<char*>(ptr);

    switch (opcode) {
    case effOpen:
        open();
        return 0;
    case effClose:
        close();
        return 0;
    case effSetProgram:
        // A negative number is no program either.
        if (value >= 0 && value < numPrograms)
            setProgram(static_cast<int32_t>(value));
        return 0;
    case effGetProgram:
        return getProgram();
    case effSetProgramName:
        if (hostText)
            setProgramName(hostText);
        return 0;
    case effGetProgramName:
        answerText(hostText, ProgramNameAnswerSize, [&](char* t) { getProgramName(t); });
        return 0;
    case effGetParamLabel:
        answerText(hostText, ParameterTextAnswerSize, [&](char* t) { getParameterLabel(index, t); });
        return 0;
    case effGetParamDisplay:
        answerText(hostText, ParameterTextAnswerSize, [&](char* t) { getParameterDisplay(index, t); });
        return 0;
    case effGetParamName:
        answerText(hostText, ParameterTextAnswerSize, [&](char* t) { getParameterName(index, t); });
        return 0;
    case effGetVu: {
        const float vu = getVu() * 32767.0f;
        if (!(std::fabs(vu) < 2147483647.0f))
            return 0;
        return static_cast<intptr_t>(vu);
    }
    case effSetSampleRate:
        setSampleRate(opt);
        return 0;
    case effSetBlockSize:
        setBlockSize(static_cast<int32_t>(value));
        return 0;
    case effMainsChanged:
        if (value)
            resume();
        else
            suspend();
        return 0;

    case effEditGetRect:
        if (!editor || !ptr)
            return 0;
        return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
    case effEditOpen:
        if (!editor || !ptr)
            return 0;
        return editor->open(ptr) ? 1 : 0;
    case effEditClose:
        if (editor)
            editor->close();
        return 0;
    case effEditDraw:
        if (editor && ptr)
            editor->draw(static_cast<ERect*>(ptr));
        return 0;
    case effEditMouse:
        return editor ? editor->mouse(index, static_cast<int32_t>(value)) : 0;
    case effEditKey:
        return editor ? editor->key(static_cast<int32_t>(value)) : 0;
    case effEditIdle:
        if (editor)
            editor->idle();
        return 0;
    case effEditTop:
        if (editor)
            editor->top();
        return 0;
    case effEditSleep:
        if (editor)
            editor->sleep();
        return 0;

    case effIdentify:
        return vstFourCC('N', 'v', 'E', 'f');
    case effGetChunk:
        if (!ptr)
            return 0;
        return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
        // A size that does not fit the chunk calls is no chunk.
        if (!ptr || value < 0 || value > std::numeric_limits<int32_t>::max())
            return 0;
        return setChunk(ptr, static_cast<int32_t>(value), index != 0);
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Defaults of the virtual operations

void AudioEffect::open() {}
void AudioEffect::close() {}
void AudioEffect::suspend() {}
void AudioEffect::resume() {}

void AudioEffect::setSampleRate(float rate)
{
    sampleRate = rate;
}

void AudioEffect::setBlockSize(int32_t frames)
{
    blockSize = frames;
}

void AudioEffect::processDoubleReplacing(double**, double**, int32_t) {}

void AudioEffect::setParameter(int32_t, float) {}

float AudioEffect::getParameter(int32_t)
{
    return 0.0f;
}

void AudioEffect::setParameterAutomated(int32_t index, float value)
{
    setParameter(index, value);
    if (audioMaster)
        callHost(audioMasterAutomate, index, 0, nullptr, value);
}

int32_t AudioEffect::getProgram()
{
    return curProgram;
}

void AudioEffect::setProgram(int32_t program)
{
    curProgram = program;
}

void AudioEffect::setProgramName(char*) {}

void AudioEffect::getProgramName(char* name)
{
    if (name)
        *name = 0;
}

void AudioEffect::getParameterLabel(int32_t, char* label)
{
    if (label)
        *label = 0;
}

void AudioEffect::getParameterDisplay(int32_t, char* text)
{
    if (text)
        *text = 0;
}

void AudioEffect::getParameterName(int32_t, char* text)
{
    if (text)
        *text = 0;
}

int32_t AudioEffect::getChunk(void**, bool)
{
    return 0;
}

int32_t AudioEffect::setChunk(void*, int32_t, bool)
{
    return 0;
}

void AudioEffect::setUniqueID(int32_t id)
{
    cEffect.uniqueID = id;
}

void AudioEffect::setNumInputs(int32_t inputs)
{
    cEffect.numInputs = inputs;
}

void AudioEffect::setNumOutputs(int32_t outputs)
{
    cEffect.numOutputs = outputs;
}

void AudioEffect::canProcessReplacing(bool state)
{
    setFlag(effFlagsCanReplacing, state);
}

void AudioEffect::canDoubleReplacing(bool state)
{
    setFlag(effFlagsCanDoubleReplacing, state);
}

void AudioEffect::programsAreChunks(bool state)
{
    setFlag(effFlagsProgramChunks, state);
}

void AudioEffect::setInitialDelay(int32_t frames)
{
    cEffect.initialDelay = frames;
}

AEffEditor* AudioEffect::getEditor()
{
    return editor;
}

AEffect* AudioEffect::getAeffect()
{
    return &cEffect;
}

float AudioEffect::getSampleRate()
{
    return sampleRate;
}

int32_t AudioEffect::getBlockSize()
{
    return blockSize;
}

int32_t AudioEffect::getMasterVersion()
{
    if (!audioMaster)
        return 1;
    const intptr_t version = callHost(audioMasterVersion);
    return version ? static_cast<int32_t>(version) : 1;
}

int32_t AudioEffect::getCurrentUniqueId()
{
    return static_cast<int32_t>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle()
{
    callHost(audioMasterIdle);
}

bool AudioEffect::isInputConnected(int32_t input)
{
    if (!audioMaster)
        return true;
    return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(int32_t output)
{
    if (!audioMaster)
        return true;
    return callHost(audioMasterPinConnected, output, 1) == 0;
}

// ---------------------------------------------------------------------------
// Text operations. Numbers are printed with std::to_chars, so the host's
// locale never changes the decimal point.

void AudioEffect::int2string(int32_t value, char* text, int32_t maxLen)
{
    if (value >= 100000000) {
        putText(text, maxLen, "Huge!");
        return;
    }
    char buf[16];
    const auto res = std::to_chars(buf, buf + sizeof(buf) - 1, value);
    *res.ptr = 0;
    putText(text, maxLen, buf);
}

void AudioEffect::float2string(float value, char* text, int32_t maxLen)
{
    double v = value;
    if (!std::isfinite(v) || v > 99999999.0 || v < -9999999.0) {
        putText(text, maxLen, "Huge!");
        return;
    }
    if (v == 0.0)
        v = 0.0; // no "-0"
    // About eight characters in all: the sign, every integer digit, the point
    // and as many decimals as still fit.
    const double magnitude = std::fabs(v);
    int used = (v < 0.0 ? 1 : 0) + 1 + 1;
    for (double limit = 10.0; magnitude >= limit && used < 10; limit *= 10.0)
        ++used;
    const int decimals = std::max(0, 8 - used);
    char buf[40];
    const auto res = std::to_chars(buf, buf + sizeof(buf) - 2, v, std::chars_format::fixed, decimals);
    char* end = res.ptr;
    if (decimals == 0)
        *end++ = '.';
    *end = 0;
    putText(text, maxLen, buf);
}

void AudioEffect::dB2string(float value, char* text, int32_t maxLen)
{
    if (!(value > 0.0f)) {
        putText(text, maxLen, "-oo");
        return;
    }
    float2string(static_cast<float>(20.0 * std::log10(static_cast<double>(value))), text, maxLen);
}

void AudioEffect::Hz2string(float samples, char* text, int32_t maxLen)
{
    float2string(samples == 0.0f ? 0.0f : sampleRate / samples, text, maxLen);
}

void AudioEffect::ms2string(float samples, char* text, int32_t maxLen)
{
    // Before the host has set a rate there is no length to show.
    float2string(sampleRate > 0.0f ? samples * 1000.0f / sampleRate : 0.0f, text, maxLen);
}

void AudioEffect::process(float**, float**, int32_t) {}

float AudioEffect::getVu()
{
    return 0.0f;
}

void AudioEffect::hasVu(bool state)
{
    setFlag(effFlagsHasVu, state);
}

void AudioEffect::hasClip(bool state)
{
    setFlag(effFlagsHasClip, state);
}

void AudioEffect::canMono(bool state)
{
    setFlag(effFlagsCanMono, state);
}

void AudioEffect::setRealtimeQualities(int32_t qualities)
{
    cEffect.realQualities = qualities;
}

void AudioEffect::setOfflineQualities(int32_t qualities)
{
    cEffect.offQualities = qualities;
}

void AudioEffect::setEditor(AEffEditor* newEditor)
{
    editor = newEditor;
    setFlag(effFlagsHasEditor, newEditor != nullptr);
}

// ---------------------------------------------------------------------------
// Helpers

intptr_t AudioEffect::callHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

void AudioEffect::setFlag(int32_t bit, bool state)
{
    if (state)
        cEffect.flags |= bit;
    else
        cEffect.flags &= ~bit;
}

bool AudioEffect::hasFlag(int32_t bit) const
{
    return (cEffect.flags & bit) != 0;
}

void AudioEffect::copyTextAnswer(char* dest, const char* text, size_t cap)
{
    if (!dest || cap == 0)
        return;
    const size_t n = strnlen(text, cap - 1);
    std::memcpy(dest, text, n);
    dest[n] = 0;
}

void AudioEffect::reportAudioFaults()
{
    const uint32_t faults = audioFaults.exchange(0, std::memory_order_relaxed);
    if (faults)
        std::fprintf(stderr, "VST frame: %u audio-thread call(s) failed with an exception\n",
                     faults);
}

// ---------------------------------------------------------------------------
// Trampolines

intptr_t AudioEffect::dispatchEffectClass(AEffect* e, int32_t opcode, int32_t index, intptr_t value,
                                          void* ptr, float opt)
{
    AudioEffect* self = effectOf(e);
    if (!self)
        return 0;
    // Opcode 25 comes from the audio thread, which must not print.
    const bool audioThread = opcode == effProcessEvents;
    if (!audioThread)
        self->reportAudioFaults();

    if (opcode == effClose) {
        try {
            self->dispatcher(opcode, index, value, ptr, opt);
        } catch (...) {
            reportFailure("close", opcode);
        }
        // The host lets go of the record now, whatever close did.
        delete self;
        return 1;
    }

    try {
        return self->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        if (audioThread)
            self->audioFaults.fetch_add(1, std::memory_order_relaxed);
        else
            reportFailure("dispatcher", opcode);
    }
    return 0;
}

template <typename Entry>
bool AudioEffect::runAudioEntry(Entry entry)
{
    try {
        entry();
        return true;
    } catch (...) {
        audioFaults.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
}

void AudioEffect::processClass(AEffect* e, float** inputs, float** outputs, int32_t sampleFrames)
{
    if (AudioEffect* self = effectOf(e))
        self->runAudioEntry([&] { self->process(inputs, outputs, sampleFrames); });
}

void AudioEffect::processClassReplacing(AEffect* e, float** inputs, float** outputs, int32_t sampleFrames)
{
    AudioEffect* self = effectOf(e);
    if (self && !self->runAudioEntry([&] { self->processReplacing(inputs, outputs, sampleFrames); }))
        clearOutputs(outputs, self->cEffect.numOutputs, sampleFrames);
}

void AudioEffect::processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs,
                                              int32_t sampleFrames)
{
    AudioEffect* self = effectOf(e);
    if (self && !self->runAudioEntry([&] { self->processDoubleReplacing(inputs, outputs, sampleFrames); }))
        clearOutputs(outputs, self->cEffect.numOutputs, sampleFrames);
}

void AudioEffect::setParameterClass(AEffect* e, int32_t index, float value)
{
    if (AudioEffect* self = effectOf(e))
        self->runAudioEntry([&] { self->setParameter(index, value); });
}

float AudioEffect::getParameterClass(AEffect* e, int32_t index)
{
    float value = 0.0f;
    if (AudioEffect* self = effectOf(e))
        self->runAudioEntry([&] { value = self->getParameter(index); });
    return value;
}
