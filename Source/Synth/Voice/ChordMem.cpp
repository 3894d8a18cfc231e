#include "ChordMem.h"

#include "ParaRow.h"
#include "Parameter.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace {

constexpr char ModeItems[] = "Off  LearnPlay ";
constexpr int ModeItemWidth = 5;
static_assert(sizeof(ModeItems) - 1 == 3 * ModeItemWidth, "three mode items");

constexpr int DefaultNotes[ChordMemNotes] = {60, 64, 67, 60, 60, 60, 60, 60};
constexpr int DefaultVelocity = 100;

int keyChannel(const NoteC_c& key)
{
    return std::clamp(key.channel, 0, NumMidiChannels - 1);
}

} // namespace

ChordMem_c::ChordMem_c()
    : started(new (std::nothrow) uint8_t[static_cast<size_t>(NumMidiChannels) * NumMidiNotes * NumMidiNotes]())
{
}
ChordMem_c::~ChordMem_c() = default;

bool ChordMem_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    bool defined = false;
    Parameter_c* p = beginParaDefinition(shared, nSets, ParaCount, &defined);
    if (!p)
        return defined;
    createParas(p, {
        {.index = pOnOff, .kind = ParaKind::OnOff, .name = "On/Off", .def = 0},
        {.index = pOpMode, .kind = ParaKind::Enu, .name = "Op.Mode", .lo = 0, .hi = 2, .def = mOff,
         .width = ModeItemWidth, .items = ModeItems},
        {.index = pPolyphony, .name = "Polyphony", .lo = 0, .hi = ChordMemNotes, .precision = 0, .def = 1},
    });
    static const char* const noteNames[ChordMemNotes] = {"Note 0", "Note 1", "Note 2", "Note 3",
                                                         "Note 4", "Note 5", "Note 6", "Note 7"};
    static const char* const veloNames[ChordMemNotes] = {"Velo 0", "Velo 1", "Velo 2", "Velo 3",
                                                         "Velo 4", "Velo 5", "Velo 6", "Velo 7"};
    for (int i = 0; i < ChordMemNotes; ++i) {
        p[pNote0 + 2 * i].createNote(noteNames[i], 0, 127, 0, DefaultNotes[i]);
        p[pVelo0 + 2 * i].createNum(veloNames[i], "", 0.0f, 0, 127, 0, DefaultVelocity, 0);
    }
    return paraSet->spreadPara();
}

int ChordMem_c::para(int idx) const
{
    const Parameter_c* p = getParaPtr(playSet.load(std::memory_order_relaxed), idx);
    return p ? static_cast<int>(p->value) : 0;
}

uint8_t* ChordMem_c::record(int channel, int key)
{
    return started ? &started[(static_cast<size_t>(channel) * NumMidiNotes + static_cast<size_t>(key)) * NumMidiNotes]
                   : nullptr;
}

void ChordMem_c::clearRecord(int channel, int key)
{
    if (uint8_t* counts = record(channel, key))
        std::fill(counts, counts + NumMidiNotes, uint8_t{0});
}

void ChordMem_c::remindNote(NoteC_c key)
{
    const int set = playSet.load(std::memory_order_relaxed);
    Parameter_c* count = getParaPtr(set, pPolyphony);
    if (!count)
        return;
    const int i = count->value;
    if (i < 0 || i >= ChordMemNotes)
        return;
    if (Parameter_c* n = getParaPtr(set, pNote0 + 2 * i))
        n->setVal(key.note);
    if (Parameter_c* v = getParaPtr(set, pVelo0 + 2 * i))
        v->setVal(key.velocity);
    count->setVal(i + 1);
}

bool ChordMem_c::getNextOnNote(bool* first, NoteC_c key, NoteC_c* out)
{
    if (!first || !out || key.note < 0 || key.note >= NumMidiNotes)
        return false;
    const int channel = keyChannel(key);
    if (*first) {
        *first = false;
        // A strike while an earlier one is still down keeps that one's notes:
        // its release must find them too.
        uint8_t& down = strikes[channel][key.note];
        if (down == 0)
            clearRecord(channel, key.note);
        if (down < UINT8_MAX)
            ++down;
        nextIndex = 0;
    }
    const bool play = mode.load(std::memory_order_relaxed) == mPlay;
    const int count = play ? std::clamp(para(pPolyphony), 1, ChordMemNotes) : 1;
    if (nextIndex >= count)
        return false;
    const int i = nextIndex++;
    int note = key.note;
    int velocity = key.velocity;
    if (play) {
        note += para(pNote0 + 2 * i) - para(pNote0);
        while (note < 0)
            note += 12;
        while (note > 127)
            note -= 12;
        velocity = std::clamp(velocity + para(pVelo0 + 2 * i) - para(pVelo0), 1, 127);
    }
    *out = NoteC_c::of(note, velocity, channel);
    rememberForOff(*out, key.note);
    return true;
}

bool ChordMem_c::getNextOffNote(bool* first, NoteC_c key, NoteC_c* out)
{
    if (!first || !out || key.note < 0 || key.note >= NumMidiNotes)
        return false;
    const int channel = keyChannel(key);
    uint8_t* counts = record(channel, key.note);
    if (*first) {
        *first = false;
        nextIndex = 0;
        repeats = -1;
        uint8_t& down = strikes[channel][key.note];
        releaseStrikes = down;
        if (down > 0)
            --down;
        if (!counts) {
            // Nothing was counted: the key ends its own note.
            *out = NoteC_c::of(key.note, 0, channel);
            nextIndex = NumMidiNotes;
            return true;
        }
    }
    if (!counts)
        return false;
    for (; nextIndex < NumMidiNotes; ++nextIndex, repeats = -1) {
        uint8_t& count = counts[nextIndex];
        if (count == 0)
            continue;
        if (repeats < 0) {
            // The last strike ends all that is left; an earlier one its share
            // (at least one voice of each note the key started).
            repeats = releaseStrikes > 1 ? std::max(1, count / releaseStrikes) : count;
        }
        if (repeats == 0)
            continue;
        --repeats;
        --count;
        *out = NoteC_c::of(nextIndex, 0, channel);
        return true;
    }
    return false;
}

void ChordMem_c::rememberForOff(NoteC_c note, int key)
{
    if (key < 0 || key >= NumMidiNotes || note.note < 0 || note.note >= NumMidiNotes)
        return;
    if (uint8_t* counts = record(keyChannel(note), key))
        if (counts[note.note] < UINT8_MAX)
            ++counts[note.note];
}

void ChordMem_c::forgetKeys(int channel)
{
    const bool all = channel < 0 || channel >= NumMidiChannels;
    for (int c = 0; c < NumMidiChannels; ++c) {
        if (!all && c != channel)
            continue;
        for (int key = 0; key < NumMidiNotes; ++key) {
            strikes[c][key] = 0;
            clearRecord(c, key);
        }
    }
}

void ChordMem_c::cachePara(CacheReason_t reason, int set, int)
{
    if (reason == crTempoChange || (set >= 0 && set != playSet.load(std::memory_order_relaxed)))
        return;
    const int m = std::clamp(para(pOpMode), static_cast<int>(mOff), static_cast<int>(mPlay));
    if (m == mLearn && previousMode.load(std::memory_order_relaxed) != mLearn)
        if (Parameter_c* count = getParaPtr(playSet.load(std::memory_order_relaxed), pPolyphony))
            count->setVal(0);
    previousMode.store(m, std::memory_order_relaxed);
    mode.store(m, std::memory_order_relaxed);
}

void ChordMem_c::postprocessParaChange(int set, int idx)
{
    Parameter_c* onOff = getParaPtr(set, pOnOff);
    Parameter_c* opMode = getParaPtr(set, pOpMode);
    if (onOff && opMode) {
        if (idx == pOpMode) {
            onOff->setSwOn(opMode->value != mOff);
        } else if (idx == pOnOff) {
            opMode->setVal(onOff->value != 0 ? mPlay : mOff);
        } else if (idx == -1 && opMode->value == mLearn) {
            // A program saved while learning must not go on learning.
            opMode->setVal(mOff);
            onOff->setSwOn(false);
        }
    }
    Part_c::postprocessParaChange(set, idx);
    // Not attached to an engine, the change is taken here.
    if (!ready || !synth)
        cachePara(crParaChange, set, idx);
}
