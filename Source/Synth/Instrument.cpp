#include "Instrument.h"

#include "Synth.h"

#include <algorithm>
#include <cstring>

Instrument_c::Instrument_c(int outputs) : outputCount(std::clamp(outputs, 1, 6))
{
    outEnd = outputCount;
}

Instrument_c::~Instrument_c() = default;

void Instrument_c::resume()
{
    std::fill(std::begin(syncPhase), std::end(syncPhase), 0.0);
    Part_c::resume();
}

void Instrument_c::create(Synth* s, int instrument, int voices, bool drumFlag)
{
    if (!s)
        return;
    voiceLimit = voices;
    voiceCount = voices;
    synth = s;
    instrumentIndex = instrument;
    drum = drumFlag;
}

void Instrument_c::remindEvent(int offset, const unsigned char* message)
{
    if (!message || !receiveMIDI.load())
        return;
    // The other holders of the event lock (the audio thread's block, the
    // reception switch) keep it briefly; a program or sample load never does.
    eventLock.getWritePermission();
    const int count = eventCount.load(std::memory_order_relaxed);
    if (count < InstrumentEventCapacity) {
        // After every queued event with the same offset: arrival order holds
        // among equal offsets.
        int at = count;
        for (int i = 0; i < count; ++i)
            if (events[i].offset > offset) {
                at = i;
                break;
            }
        std::memmove(&events[at + 1], &events[at], sizeof(Event) * static_cast<size_t>(count - at));
        events[at].offset = offset;
        std::memcpy(events[at].message, message, 3);
        events[at].message[3] = 0;
        eventCount.store(count + 1, std::memory_order_relaxed);
    }
    eventLock.releaseWritePermission();
}

void Instrument_c::render(int)
{
    activeFlag.store(voicesInUse.load(std::memory_order_relaxed) > 0, std::memory_order_relaxed);
}

void Instrument_c::processAll(int frames)
{
    processCore(frames);
}

void Instrument_c::processCore(int frames)
{
    if (!synth)
        return;
    if (!activeFlag.load(std::memory_order_relaxed) && eventCount.load(std::memory_order_relaxed) == 0 &&
        !keepProcessing)
        return;
    position = 0;
    stretchRefused = false;
    if (!eventLock.getImmediateReadPermission())
        return; // the events wait for the next block
    const int count = eventCount.load(std::memory_order_relaxed);
    int next = 0;
    auto renderUpTo = [this](int end) {
        while (!stretchRefused && position < end)
            renderBSL(checkFor16th(end - position));
    };
    while (next < count) {
        renderUpTo(std::min(events[next].offset, frames));
        if (stretchRefused)
            break;
        processMidi(events[next].message, true);
        ++next;
    }
    if (!stretchRefused)
        renderUpTo(frames);
    // (The buses advanced by the pieces are rewound here once the instrument
    // has buses: getInBus/getOutBuf give none yet.)
    if (stretchRefused) {
        // The render lock stayed busy: the rest of the block stays silent for
        // this instrument, and the events not yet applied are taken at the
        // start of the next block instead of being lost.
        const int left = count - next;
        std::memmove(&events[0], &events[next], sizeof(Event) * static_cast<size_t>(left));
        for (int i = 0; i < left; ++i)
            events[i].offset = 0;
        eventCount.store(left, std::memory_order_relaxed);
    } else {
        eventCount.store(0, std::memory_order_relaxed);
    }
    eventLock.releaseReadPermission();
}

void Instrument_c::ReceiveMIDI(bool on)
{
    const bool was = receiveMIDI.exchange(on);
    if (!was || on)
        return;
    eventLock.getWritePermission();
    eventCount.store(0, std::memory_order_relaxed);
    eventLock.releaseWritePermission();
    // Released before the voices stop: the engine holds the audio thread out
    // meanwhile, and the audio thread must never wait on the event lock for it.
    if (synth)
        synth->hardNoteOff(instrumentIndex);
}

void Instrument_c::processMidi(const unsigned char*, bool) {}

float Instrument_c::getStepSeqSync(bool, int)
{
    return 0.0f;
}

void Instrument_c::setOutIdx(int i)
{
    outIdx = i;
    outEnd = i + outputCount;
}

int Instrument_c::checkFor16th(int frames)
{
    return frames;
}

void Instrument_c::renderBSLC(int frames)
{
    if (frames < 1)
        return;
    if (!renderLock.getImmediateReadPermission()) {
        stretchRefused = true;
        return;
    }
    const bool optional = optionalLock.getImmediateReadPermission();
    while (frames > MaxBlockSize) {
        renderAll(MaxBlockSize);
        position += MaxBlockSize;
        frames -= MaxBlockSize;
    }
    renderAll(frames);
    position += frames;
    if (optional)
        optionalLock.releaseReadPermission();
    renderLock.releaseReadPermission();
}

void Instrument_c::renderBSL(int frames)
{
    renderBSLC(frames);
}

void Instrument_c::renderAll(int frames)
{
    if (!activeFlag.load(std::memory_order_relaxed) || !synth)
        return;
    // The voices of this instrument render here once the voice table and the
    // voices exist.
    currentVoice = -1;
    render(frames);
}

InBuffer2_c* Instrument_c::getInBus(int)
{
    return nullptr;
}

InBuffer2_c* Instrument_c::getOutBuf(int)
{
    return nullptr;
}
