#include "StepSeq.h"

#include "CmdBuffer.h"
#include "InstrumentWithSeq.h"
#include "ModuleManager.h"
#include "ParaRow.h"
#include "Parameter.h"
#include "Synth.h"
#include "TempoSync.h"
#include "XorShift.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr char ModeItems[] = "Off     Mod-OnlyUp      Down    Up/Down Up/Down+Down/Up Down/Up+Random  Chord   AsPlayed";
constexpr int ModeItemWidth = 8;
static_assert(sizeof(ModeItems) - 1 == StepSeq_c::ModeCount * ModeItemWidth, "one item per mode");

// The note values a step can last, codes 1..18 of the tempo-sync table.
constexpr char ResolutionItems[] =
    " 1/1  1/1T 1/2* 1/2  1/2T 1/4* 1/4  1/4T 1/8* 1/8  1/8T1/16*1/16 1/16T1/32*1/32 1/32T 1/64";
constexpr int ResolutionFirst = 1;
constexpr int ResolutionLast = 18;
constexpr int ResolutionDefault = 13; // "1/16 "
static_assert(sizeof(ResolutionItems) - 1 == (ResolutionLast - ResolutionFirst + 1) * NoteValueItemWidth,
              "one item per note value");

constexpr char FileIOItems[] = "Load Save Copy PasteInit ";

// The value byte of a default step: "=" is value 60.
constexpr char DefaultValueByte = '=';
// The level byte of the "Mod-Only" default steps: "e" is level 100.
constexpr char ModOnlyLevelByte = 'e';
// A new pattern text shows step 0 of a 16-step pattern.
constexpr char ShownStepByte = 1;
constexpr char ShownLengthByte = 17;

// Level / 127 as the single-precision factor the modulation value uses.
constexpr float LevelToModulation = 0.007874016f;

constexpr bool isArpeggio(int mode)
{
    return mode >= StepSeq_c::mUp;
}

} // namespace

StepSeq_c::StepSeq_c(int level)
{
    initStepInit(level);
    decode(defaultText);
}

StepSeq_c::~StepSeq_c() = default;

bool StepSeq_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    return defineParas(shared, nSets, ParaCount, {
        {.index = pOnOff, .kind = ParaKind::OnOff, .name = "On/Off", .def = 1},
        {.index = pOpMode, .kind = ParaKind::Enu, .name = "Op.Mode", .lo = mOff, .hi = mAsPlayed, .def = mOff,
         .width = ModeItemWidth, .items = ModeItems},
        {.index = pResolution, .kind = ParaKind::Enu, .name = "Resolution", .unit = "Notes", .lo = ResolutionFirst,
         .hi = ResolutionLast, .def = ResolutionDefault, .width = NoteValueItemWidth, .items = ResolutionItems},
        {.index = pLength, .name = "Length", .unit = "Steps", .lo = 2, .hi = maxSteps, .precision = 0,
         .def = std::min(16, maxSteps)},
        {.index = pOctaves, .name = "Octaves", .unit = "Oct", .lo = 1, .hi = 4, .precision = 0, .def = 1},
        {.index = pSwing, .name = "Swing", .unit = "%", .lo = 0, .hi = 100, .precision = 0, .def = 0},
        {.index = pPlayedVeloc, .name = "Played Veloc", .unit = "%", .lo = 0, .hi = 100, .precision = 0, .def = 50},
        {.index = pFixNote, .kind = ParaKind::Note, .name = "FixNote", .lo = 0, .hi = 127, .precision = 0, .def = 60},
        {.index = pFixVelo, .name = "FixVelo", .lo = 0, .hi = 127, .precision = 0, .def = 100},
        {.index = pStepData, .kind = ParaKind::CharPtr, .name = "StepData", .text = defaultText},
        {.index = pNoteLength, .name = "Note Length", .unit = "%", .lo = 0, .hi = 100, .precision = 0, .def = 50},
        {.index = pFileIO, .kind = ParaKind::Enu, .name = "File IO", .lo = 0, .hi = 4, .def = 0, .width = 5,
         .items = FileIOItems},
        {.index = pRestart, .kind = ParaKind::OnOff, .name = "On/Off", .def = 1},
    });
}

void StepSeq_c::create(int i, InstrumentWithSeq_c* instrument, int steps)
{
    index = std::clamp(i, 0, NumStepSeqs - 1);
    owner = instrument;
    maxSteps = std::clamp(steps, 2, StepSeqMaxSteps);
    // Each sequencer draws its own random walk, the same on every run.
    seed = 0x9E3779B9u ^ static_cast<uint32_t>(index * 0x85EBCA6Bu);
    if (seed == 0)
        seed = 1;
}

int StepSeq_c::playSet() const
{
    return owner ? std::max(owner->getInstrumentIndex(), 0) : 0;
}

int StepSeq_c::para(int idx) const
{
    const Parameter_c* p = getParaPtr(playSet(), idx);
    return p ? static_cast<int>(p->value) : 0;
}

int StepSeq_c::getStepValue(int k) const
{
    return k >= 0 && k < StepSeqMaxSteps ? stepValue[k].load(std::memory_order_relaxed) : 0;
}

int StepSeq_c::getStepLevel(int k) const
{
    return k >= 0 && k < StepSeqMaxSteps ? static_cast<uint8_t>(stepLevel[k].load(std::memory_order_relaxed)) : 0;
}

double StepSeq_c::noteValueSamples(int code) const
{
    if (!(sampleRate > 0.0f))
        return 0.0;
    const double s = static_cast<double>(FractToQuarterMultiple::quartersTimes60(code)) *
                     RecBpm.load(std::memory_order_relaxed) * static_cast<double>(sampleRate);
    return std::isfinite(s) && s > 0.0 ? s : 0.0;
}

// ---------------------------------------------------------------------------
// The pattern text

void StepSeq_c::writeDefaultText(int valueByte, int levelByte)
{
    defaultText[0] = ShownStepByte;
    defaultText[1] = ShownLengthByte;
    for (int k = 0; k < StepSeqMaxSteps; ++k) {
        defaultText[2 + 2 * k] = static_cast<char>(valueByte);
        defaultText[3 + 2 * k] = static_cast<char>(levelByte);
    }
    defaultText[StepDataChars] = 0;
}

void StepSeq_c::initStepInit(int level)
{
    writeDefaultText(DefaultValueByte, std::clamp(level, 0, TieLevel) + 1);
}

void StepSeq_c::decode(const char* text)
{
    // Any other length is not a pattern: the steps keep what they have.
    if (!text || std::strlen(text) != StepDataChars)
        return;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (int k = 0; k < StepSeqMaxSteps; ++k) {
        const int value = std::clamp(bytes[2 + 2 * k] - 1, 0, 127);
        const int level = std::clamp(bytes[3 + 2 * k] - 1, 0, TieLevel);
        stepValue[k].store(static_cast<int8_t>(value), std::memory_order_relaxed);
        stepLevel[k].store(static_cast<int8_t>(level), std::memory_order_relaxed);
    }
}

void StepSeq_c::updatePreSteps(int byte, int value)
{
    if (byte == 0)
        shownStep.store(value, std::memory_order_relaxed);
    else if (byte == 1)
        shownLength.store(value, std::memory_order_relaxed);
}

void StepSeq_c::getParaCharPtr(int set, int idx, char* dst) const
{
    Part_c::getParaCharPtr(set, idx, dst);
    if (idx != pStepData || !dst || set != playSet() || std::strlen(dst) != StepDataChars)
        return;
    dst[0] = static_cast<char>(std::clamp(shownStep.load(std::memory_order_relaxed), 0, StepSeqMaxSteps - 1) + 1);
    dst[1] = static_cast<char>(std::clamp(shownLength.load(std::memory_order_relaxed), 0, StepSeqMaxSteps) + 1);
}

// ---------------------------------------------------------------------------
// Settings

void StepSeq_c::cachePara(CacheReason_t reason, int set, int idx)
{
    if (reason == crTempoChange)
        return;
    const int s = playSet();
    if (set >= 0 && set != s)
        return;
    Parameter_c* text = getParaPtr(s, pStepData);
    if (!text)
        return;
    const int len = std::clamp(para(pLength), 2, maxSteps);
    length.store(len, std::memory_order_relaxed);
    gateFraction.store(static_cast<float>(para(pNoteLength)) * 0.01f, std::memory_order_relaxed);
    octaves.store(std::clamp(para(pOctaves), 1, 4), std::memory_order_relaxed);
    swing.store(static_cast<float>(para(pSwing)) * 0.01f, std::memory_order_relaxed);
    restart.store(para(pRestart) != 0, std::memory_order_relaxed);
    updatePreSteps(1, len);

    char buffer[ParaTextBufferBytes];
    text->getCharPtr(buffer);
    if (std::strlen(buffer) == StepDataChars && static_cast<unsigned char>(buffer[1]) != len + 1) {
        buffer[1] = static_cast<char>(len + 1);
        text->setCharPtr(buffer);
    }
    if (idx == pStepData || idx == -1)
        decode(buffer);

    const int newMode = std::clamp(para(pOpMode), static_cast<int>(mOff), static_cast<int>(mAsPlayed));
    const int oldMode = mode.exchange(newMode, std::memory_order_relaxed);
    if ((idx == pOpMode || idx == -1) && newMode != oldMode) {
        const bool sounding = stepSounding.load(std::memory_order_relaxed);
        const bool stops = (isArpeggio(oldMode) && !isArpeggio(newMode) && sounding) ||
                           (newMode == mChord && isArpeggio(oldMode) && sounding) ||
                           (!isArpeggio(oldMode) && isArpeggio(newMode));
        if (stops) {
            if (index == 0 && synth && owner)
                synth->holdCmdtoRT('S', owner->getInstrumentIndex(), 0, nullptr, nullptr, hdKeepFirst);
            requestFullReset(false);
        }
    }
}

void StepSeq_c::postprocessParaChange(int set, int idx)
{
    if (idx == pFileIO && synth && synth->getModuleManager()) {
        static constexpr tpfioMode actions[] = {tpfioLoad, tpfioSave, tpfioCopy1, tpfioPaste1, tpfioReset};
        const int v = std::clamp(getParaVal(set, pFileIO), 0, 4);
        synth->getModuleManager()->handlePartFileIO(this, set, actions[v], "Arpeggiator");
    }
    Part_c::postprocessParaChange(set, idx);
    if (!ready || !synth)
        cachePara(crParaChange, set, idx);
}

void StepSeq_c::resetPara(int first, int end)
{
    if (!paraSet)
        return;
    for (int s = first; s < end; ++s) {
        Parameter_c* p = getParaPtr(s, 0);
        if (!p)
            continue;
        // Everything but the mode, which stays as it is: the sequencer is
        // not switched off and on again by a reset.
        for (int i = 0; i < ParaCount; ++i)
            if (i != pOpMode)
                p[i].reset();
        if (p[pOpMode].value == mModOnly) {
            // A modulation pattern starts flat in the middle.
            char text[StepDataChars + 1];
            text[0] = ShownStepByte;
            text[1] = ShownLengthByte;
            for (int k = 0; k < StepSeqMaxSteps; ++k)
                text[2 + 2 * k] = text[3 + 2 * k] = DefaultValueByte;
            text[StepDataChars] = 0;
            p[pStepData].setCharPtr(text);
            writeDefaultText(DefaultValueByte, ModOnlyLevelByte);
        }
        postprocessParaChange(s, -1);
    }
}

void StepSeq_c::handlePrgChanged() {}

void StepSeq_c::requestFullReset(bool firstStep)
{
    resetToFirstStep.store(firstStep, std::memory_order_relaxed);
    resetRequest.store(true, std::memory_order_release);
}

void StepSeq_c::applyRequests()
{
    if (resetRequest.load(std::memory_order_acquire) && resetRequest.exchange(false, std::memory_order_acquire))
        fullReset(resetToFirstStep.load(std::memory_order_relaxed));
}

// ---------------------------------------------------------------------------
// Notes

const StepSeq_c::Held_t* StepSeq_c::heldWithNote(int note) const
{
    for (int i = 0; i < heldCount; ++i)
        if (held[i].note.note == note)
            return &held[i];
    return nullptr;
}

void StepSeq_c::noteOn(NoteC_c note, NoteC_c key)
{
    applyRequests();
    const int m = mode.load(std::memory_order_relaxed);
    if (m == mOff) {
        if (index == 0 && owner)
            owner->noteOnCore(note, key);
        return;
    }
    if (m == mModOnly && index == 0 && owner)
        owner->noteOnCore(note, key);
    addHeld(note, key);
}

void StepSeq_c::addHeld(NoteC_c note, NoteC_c key)
{
    if (heldCount >= StepSeqHeldNotes)
        return;
    // Sorted by pitch; a note joins after the held notes of its pitch.
    int at = heldCount;
    while (at > 0 && held[at - 1].note.note > note.note) {
        held[at] = held[at - 1];
        --at;
    }
    held[at].note = note;
    held[at].key = key;
    held[at].stamp = ++stampCounter;
    ++heldCount;

    const int m = mode.load(std::memory_order_relaxed);
    if (heldCount == 1 || restartPending) {
        restartPending = false;
        startPattern();
        return;
    }
    // A chord grows while its step sounds.
    if (m == mChord && position >= 0 && !stepPending && position < gate) {
        const int level = getStepLevel(step);
        if (level > 0)
            startStepNote(held[at], level);
    }
}

void StepSeq_c::removeHeld(int note, int channel)
{
    for (int i = 0; i < heldCount; ++i) {
        if (held[i].note.note != note || (channel >= 0 && held[i].note.channel != channel))
            continue;
        for (int k = i + 1; k < heldCount; ++k)
            held[k - 1] = held[k];
        --heldCount;
        break;
    }
    if (heldCount == 0)
        restartPending = true;
}

void StepSeq_c::noteOff(NoteC_c note)
{
    applyRequests();
    const int m = mode.load(std::memory_order_relaxed);
    if (m == mOff || m == mModOnly) {
        // "Mod-Only" keeps the held note until its voice ends.
        if (index == 0 && owner)
            owner->noteOffCore(note);
        return;
    }
    removeHeld(note.note, note.channel);
}

void StepSeq_c::noteVanishes(int note)
{
    if (mode.load(std::memory_order_relaxed) != mModOnly)
        return;
    if (heldWithNote(note))
        removeHeld(note, -1);
}

void StepSeq_c::startPattern()
{
    const int m = mode.load(std::memory_order_relaxed);
    const int oct = octaves.load(std::memory_order_relaxed);
    const bool restartOn = restart.load(std::memory_order_relaxed);
    resync = true;
    if (restartOn || position < 0) {
        position = 0;
        stepPending = true;
        carry = 0.0;
    }
    if (restartOn)
        step = 0;
    setNext(0);
    updatePreSteps(0, step);
    if (synth)
        synth->updateActiveStep(index);
    goingUp = true;
    octave = 0;
    if (m == mDown) {
        octave = oct - 1;
    } else if (m == mDownUp || m == mDownUpPlus) {
        goingUp = false;
        octave = oct - 1;
    }
    if (owner)
        owner->updateKeepProcessing();
}

void StepSeq_c::setNext(int heldIndex)
{
    if (heldIndex < 0 || heldIndex >= heldCount) {
        hasNext = false;
        return;
    }
    next = held[heldIndex];
    hasNext = true;
}

int StepSeq_c::lowestAbove(int note) const
{
    for (int i = 0; i < heldCount; ++i)
        if (held[i].note.note > note)
            return i;
    return -1;
}

int StepSeq_c::highestBelow(int note) const
{
    for (int i = heldCount - 1; i >= 0; --i)
        if (held[i].note.note < note)
            return i;
    return -1;
}

uint32_t StepSeq_c::random()
{
    // Private to this sequencer.
    return xorshift32(seed);
}

bool StepSeq_c::findNextNote()
{
    if (heldCount == 0) {
        hasNext = false;
        return false;
    }
    const int m = mode.load(std::memory_order_relaxed);
    const int oct = octaves.load(std::memory_order_relaxed);
    const int cur = hasNext ? next.note.note : -1;
    int i = 0;
    switch (m) {
    case mDown:
        i = highestBelow(cur < 0 ? 128 : cur);
        if (i < 0) {
            i = heldCount - 1;
            octave = (octave - 1 + oct) % oct;
        }
        break;
    case mUpDown:
    case mUpDownPlus:
    case mDownUp:
    case mDownUpPlus: {
        const bool plus = m == mUpDownPlus || m == mDownUpPlus;
        if (heldCount == 1) {
            // One note: only the octave walks, turning at both ends; the
            // "+" modes play each end twice.
            if (goingUp) {
                if (octave < oct - 1)
                    ++octave;
                else {
                    goingUp = false;
                    if (!plus)
                        octave = std::max(0, octave - 1);
                }
            } else {
                if (octave > 0)
                    --octave;
                else {
                    goingUp = true;
                    if (!plus)
                        octave = std::min(oct - 1, octave + 1);
                }
            }
            i = 0;
        } else if (goingUp) {
            i = lowestAbove(cur);
            if (i < 0) {
                if (octave < oct - 1) {
                    ++octave;
                    i = 0;
                } else {
                    goingUp = false;
                    i = plus ? heldCount - 1 : highestBelow(held[heldCount - 1].note.note);
                    if (i < 0)
                        i = heldCount - 1;
                }
            }
        } else {
            i = highestBelow(cur < 0 ? 128 : cur);
            if (i < 0) {
                if (octave > 0) {
                    --octave;
                    i = heldCount - 1;
                } else {
                    goingUp = true;
                    i = plus ? 0 : lowestAbove(held[0].note.note);
                    if (i < 0)
                        i = 0;
                }
            }
        }
        break;
    }
    case mRandom:
        i = static_cast<int>(random() % static_cast<uint32_t>(heldCount));
        octave = static_cast<int>(random() % static_cast<uint32_t>(oct));
        break;
    case mAsPlayed: {
        const int curStamp = hasNext ? next.stamp : 0;
        int best = -1;
        int earliest = 0;
        for (int k = 0; k < heldCount; ++k) {
            if (held[k].stamp > curStamp && (best < 0 || held[k].stamp < held[best].stamp))
                best = k;
            if (held[k].stamp < held[earliest].stamp)
                earliest = k;
        }
        i = best;
        if (i < 0) {
            i = earliest;
            octave = (octave + 1) % oct;
        }
        break;
    }
    default: // "Mod-Only", "Up"
        i = lowestAbove(cur);
        if (i < 0) {
            i = 0;
            octave = (octave + 1) % oct;
        }
        break;
    }
    octave = std::clamp(octave, 0, oct - 1);
    setNext(i);
    return hasNext;
}

// ---------------------------------------------------------------------------
// Steps

void StepSeq_c::render(int n)
{
    if (index == 0 && owner && n > 0)
        owner->renderBSLC(n);
}

void StepSeq_c::renderBSL(int n)
{
    applyRequests();
    previousPosition = position;
    if (mode.load(std::memory_order_relaxed) == mOff) {
        render(n);
        return;
    }
    for (;;) {
        if (position == 0 && stepPending)
            startStep();
        if (position < 0) {
            render(n);
            return;
        }
        if (position < gate) {
            if (n <= 0)
                return;
            const int m = std::min(n, gate - position);
            render(m);
            position += m;
            n -= m;
            if (position >= gate)
                arpStepOff();
            continue;
        }
        if (position < gate + rest) {
            if (n <= 0)
                return;
            const int m = std::min(n, gate + rest - position);
            render(m);
            position += m;
            n -= m;
            continue;
        }
        arpNextStep();
    }
}

void StepSeq_c::startStepNote(const Held_t& h, int level)
{
    // The sounding list is what the step's end releases: a note it has no
    // room for is not started, so none is left without its release.
    if (soundingCount >= StepSeqSoundingNotes)
        return;
    const double v = static_cast<double>(para(pPlayedVeloc)) * 0.01;
    const int velocity =
        std::clamp(static_cast<int>((1.0 - v) * level + v * h.note.velocity), 1, 127);
    int note = h.note.note + 12 * octave;
    while (note > 127)
        note -= 12;
    while (note < 0)
        note += 12;
    const int channel = std::clamp(h.note.channel, 0, NumMidiChannels - 1);
    if (index == 0 && owner)
        owner->noteOnCore(NoteC_c::of(note, velocity, channel), h.key);
    sounding[soundingCount++] = {note, channel};
    stepSounding.store(true, std::memory_order_relaxed);
}

void StepSeq_c::startStep()
{
    stepPending = false;
    const int m = mode.load(std::memory_order_relaxed);
    if (step >= length.load(std::memory_order_relaxed))
        step = 0;
    const int level = getStepLevel(step);
    if (level != TieLevel) {
        if (level != 0 && m != mModOnly) {
            if (m == mChord) {
                for (int i = 0; i < heldCount; ++i)
                    startStepNote(held[i], level);
            } else if (hasNext) {
                startStepNote(next, level);
            }
        }
        if (owner)
            owner->setSlotFloat(index, LevelToModulation * static_cast<float>(level));
    }
    const int code = para(pResolution);
    const double l = noteValueSamples(code);
    const double sw = swing.load(std::memory_order_relaxed);
    double len = (step % 2 == 0) ? l * (1.0 + 0.5 * sw) : l * (1.0 - 0.5 * sw);
    if (resync) {
        if (syncOffset == 0.0 && synth && owner) {
            syncOffset = synth->getOtherSeqSync(owner->getInstrumentIndex(), code);
            if (syncOffset < 0.0)
                syncOffset += l;
        }
        len += syncOffset;
        syncOffset = 0.0;
        resync = false;
    }
    len = std::max(0.0, len + carry);
    gate = std::max(1, static_cast<int>(len * gateFraction.load(std::memory_order_relaxed) + 0.5));
    rest = std::max(0, static_cast<int>(len + 0.5) - gate);
    carry = std::clamp(len - (gate + rest), -1.0, 1.0);
}

void StepSeq_c::allSoundingOff()
{
    if (index == 0 && owner)
        for (int i = 0; i < soundingCount; ++i)
            owner->noteOffCore(NoteC_c::of(std::clamp(sounding[i].note, 0, 127), 0, sounding[i].channel));
    soundingCount = 0;
    stepSounding.store(false, std::memory_order_relaxed);
}

void StepSeq_c::arpStepOff()
{
    const int len = std::max(length.load(std::memory_order_relaxed), 1);
    const int following = (step + 1) % len;
    if (getStepLevel(following) == TieLevel || getStepLevel(step) == 0 ||
        mode.load(std::memory_order_relaxed) == mModOnly || !owner)
        return;
    allSoundingOff();
}

void StepSeq_c::arpNextStep()
{
    const int len = std::max(length.load(std::memory_order_relaxed), 1);
    step = (step + 1) % len;
    updatePreSteps(0, step);
    if (synth)
        synth->updateActiveStep(index);
    position = 0;
    stepPending = true;
    if (getStepLevel(step) == 0)
        return;
    if (mode.load(std::memory_order_relaxed) == mChord) {
        octave = (octave + 1) % octaves.load(std::memory_order_relaxed);
        if (heldCount == 0)
            stop();
    } else if (!findNextNote()) {
        stop();
    }
}

void StepSeq_c::stop()
{
    position = -1;
    stepPending = false;
    hasNext = false;
    // A tie into this step kept notes sounding: they end with the pattern.
    allSoundingOff();
    if (owner)
        owner->updateKeepProcessing();
}

void StepSeq_c::fullReset(bool firstStep)
{
    allSoundingOff();
    heldCount = 0;
    hasNext = false;
    position = -1;
    stepPending = false;
    restartPending = false;
    resync = false;
    syncOffset = 0.0;
    carry = 0.0;
    if (firstStep) {
        step = 0;
        updatePreSteps(0, 0);
    }
    if (owner)
        owner->updateKeepProcessing();
}

void StepSeq_c::suspend()
{
    Part_c::suspend();
    fullReset(true);
}

void StepSeq_c::AllNotesOff()
{
    applyRequests();
    fullReset(restart.load(std::memory_order_relaxed));
}

void StepSeq_c::offerSync(int pos)
{
    // A reset still waiting must not wipe the alignment afterwards.
    applyRequests();
    const double l = noteValueSamples(para(pResolution));
    // At a sample rate of 0 a step has no length to align to.
    if (l < 1.0) {
        syncOffset = 0.0;
        return;
    }
    double r = std::fmod(static_cast<double>(pos), l);
    if (r < 0.0)
        r += l;
    syncOffset = r < l / 2.0 ? -r : l - r;
}

float StepSeq_c::getSync(bool previous, int code)
{
    if (mode.load(std::memory_order_relaxed) == mOff || para(pResolution) > code)
        return 0.0f;
    const int p = previous ? previousPosition : position;
    const double l = noteValueSamples(code);
    if (p <= 0 || l < 1.0)
        return 0.0f;
    return -static_cast<float>(std::fmod(static_cast<double>(p), l));
}
