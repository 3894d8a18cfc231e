// Feeds arbitrary bytes to the step sequencer as its pattern text, as a
// restored program chunk or a module file delivers it, then plays keys the
// input chooses. Whatever the text, every decoded step must be a valid value
// and level, nothing may be read past the text, and the held and sounding
// notes must stay within their lists.
#include "Parameter.h"
#include "StepSeq.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    ParaSet_c* slot = nullptr;
    StepSeq_c seq;
    seq.create(0, nullptr, StepSeqInstrumentSteps);
    if (!seq.getParaSetPtr(&slot, 1))
        std::abort();
    seq.setSampleRate(44100.0f);

    // The text stops at the first zero byte, as a stored text does.
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.c_str();
    seq.setParaCharPtr(0, StepSeq_c::pStepData, text.c_str());
    for (int k = 0; k < StepSeqMaxSteps; ++k) {
        const int v = seq.getStepValue(k);
        const int l = seq.getStepLevel(k);
        if (v < 0 || v > 127 || l < 0 || l > StepSeq_c::TieLevel)
            std::abort();
    }

    // The rest of the input plays: a mode, then keys and stretches.
    if (size > 0)
        seq.setParaVal(0, StepSeq_c::pOpMode, data[0] % StepSeq_c::ModeCount);
    if (size > 1)
        seq.setParaVal(0, StepSeq_c::pOctaves, 1 + data[1] % 4);
    for (size_t i = 2; i + 1 < size; i += 2) {
        NoteC_c n;
        n.set(data[i] & 0x7F, 1 + data[i + 1] % 127, data[i + 1] & 0x0F);
        if (data[i] & 0x80)
            seq.noteOff(n);
        else
            seq.noteOn(n, n);
        seq.renderBSL(1 + data[i + 1] * 37);
        if (seq.getHeldCount() > StepSeqHeldNotes || seq.getSoundingCount() > StepSeqSoundingNotes)
            std::abort();
    }
    seq.AllNotesOff();
    if (seq.getSoundingCount() != 0 || seq.isRunning())
        std::abort();
    return 0;
}
