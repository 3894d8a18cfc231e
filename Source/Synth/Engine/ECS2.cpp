#include "ECS2.h"

#include "MidiBytes.h"
#include "ModuleManager.h"
#include "OsLib.h"
#include "ParaRow.h"
#include "Synth.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int SlotModeUnused = 0;
constexpr int SlotModeNormal = 1;
constexpr int SlotModeLast = 4;    // "Relative C"
constexpr int MaxGroup = 5;
constexpr int MaxInsIdx = 1024;
constexpr int ParRangeSteps = 1000; // "Min Par" and "Max Par" hold tenths of a percent

// A parameter value 0..1 (NaN as 0) in the steps "Min Par" and "Max Par" hold.
int parSteps(float value)
{
    const float v = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
    return int(std::lround(v * ParRangeSteps));
}

// Speed-up of increments: steps SpeedUpFastMs apart or closer run at full
// speed, 500 ms apart or more at none (SpeedUpFloor is 25 / 500).
constexpr double SpeedUpFastMs = 25.0;
constexpr double SpeedUpFloor = 0.05;
constexpr int64_t SpeedUpMaxDt = 1000000000;

constexpr const char* ModeItems = "Off      Learn    Clear    Clear AllLoad     Save     Rest.Fact";

// The two questions of the "Mode" menu: the question is the panel's text,
// the title its heading.
constexpr const char* ClearAllQuestion = "Do you want to clear all Controller Assigments of this instrument?";
constexpr const char* ClearAllTitle = "Clear ECS";
constexpr const char* RestoreFactoryQuestion = "Do you want to restore the ECS factory settings?";
constexpr const char* RestoreFactoryTitle = "Restore Factory ECS";
constexpr const char* SlotModeItems = "Unused    Normal    Relative ARelative BRelative C";

// A learn completed on the audio thread, packed for the idle side:
// bit 63 set, channel in bits 59..62, number in 44..58, instrument in
// 32..43, edit index in 0..31.
uint64_t packLearn(int channel, int number, int instrument, int editIndex)
{
    return (uint64_t{1} << 63) | (uint64_t(channel & 0xF) << 59) | (uint64_t(number & 0x7FFF) << 44) |
           (uint64_t(instrument & 0xFFF) << 32) | uint64_t(uint32_t(editIndex));
}

void unpackLearn(uint64_t v, int* channel, int* number, int* instrument, int* editIndex)
{
    *channel = int((v >> 59) & 0xF);
    *number = int((v >> 44) & 0x7FFF);
    *instrument = int((v >> 32) & 0xFFF);
    *editIndex = int(uint32_t(v));
}

int64_t packTarget(int instrument, int editIndex)
{
    return (int64_t(instrument) << 32) | int64_t(uint32_t(editIndex));
}

bool onAudio()
{
    return Synth::onAudioThread();
}

// Frees what OsLib_c::recallChunk allocated.
struct FreeDeleter_t
{
    void operator()(void* p) const { std::free(p); }
};

const CCAss_c DefaultRecord{};

} // namespace

template <typename Edit> void ECS2_c::editAndPublish(Edit edit)
{
    if (onAudio())
        return;
    std::lock_guard<std::recursive_mutex> lock(editMutex);
    edit();
    publish();
}

// ---------------------------------------------------------------------------
// Construction and the parameter set

ECS2_c::ECS2_c(Synth* synth, const char* name) : engine(synth), clockFn(&OsLib_c::getMilliseconds)
{
    if (name) {
        std::string k = std::string(name) + "ECS2";
        if (k.size() > size_t(ECSKeyBytes - 1))
            k.resize(size_t(ECSKeyBytes - 1));
        key = Vdx::String_c(k.c_str());
    }
    for (CCAss_c& f : factory)
        f = DefaultRecord;
    if (synth)
        create(synth, nullptr);
    getParaSetPtr(&ownSet);
    std::lock_guard<std::recursive_mutex> lock(editMutex);
    publish();
}

ECS2_c::~ECS2_c()
{
    // A store the audio side asked for since the last idle round is not lost.
    if (storePendingFlag.load())
        writeStore();
}

bool ECS2_c::getParaSetPtr(ParaSet_c** shared, int)
{
    return getParaSetPtr(shared);
}

bool ECS2_c::getParaSetPtr(ParaSet_c** shared)
{
    bool defined = false;
    Parameter_c* p = beginParaDefinition(shared, 1, ECSParaCount, &defined, 0);
    if (!p)
        return defined;
    createParas(p, {
        {.index = ecsParaOnOff, .kind = ParaKind::OnOff, .name = "On/Off", .def = 0},
        {.index = ecsParaMode, .kind = ParaKind::Enu, .name = "Mode", .lo = 0, .hi = 6, .def = 0, .width = 9,
         .items = ModeItems},
        {.index = ecsParaActiveGroup, .name = "Active Group", .lo = 1, .hi = 5, .precision = 0, .def = 1},
        {.index = 4, .name = "Glo Reserved1", .lo = 0, .hi = 1, .precision = 0, .def = 0},
        {.index = 5, .kind = ParaKind::OnOff, .name = "Glo Reserved Sw0", .def = 0},
        {.index = 6, .kind = ParaKind::OnOff, .name = "Glo Reserved Sw1", .def = 0},
    });
    for (int k = 0; k < ECSSlotCount; ++k) {
        Parameter_c* s = p + paraIndex(k, 0);
        createParas(s, {
            {.index = ecsSlotCCIdx, .name = "CCIdx", .lo = 0, .hi = 999999999, .precision = 0, .def = 0},
            {.index = ecsSlotEditIdx, .name = "EditIdx", .lo = -999999999, .hi = 999999999, .precision = 0, .def = 0},
            {.index = ecsSlotMinPar, .name = "Min Par", .lo = 0, .hi = ParRangeSteps, .precision = 1, .def = 0},
            {.index = ecsSlotMaxPar, .name = "Max Par", .lo = 0, .hi = ParRangeSteps, .precision = 1,
             .def = ParRangeSteps},
            {.index = ecsSlotInsIdx, .name = "Ins Idx", .lo = 0, .hi = MaxInsIdx, .precision = 0, .def = 0},
            {.index = ecsSlotMidiCh, .name = "MIDI Ch", .lo = 0, .hi = 15, .precision = 0, .def = 0},
            {.index = ecsSlotCurve, .name = "Curve", .lo = -9, .hi = 9, .precision = 0, .def = 0},
            {.index = ecsSlotMode, .kind = ParaKind::Enu, .name = "Mode", .lo = 0, .hi = SlotModeLast, .def = 0,
             .width = 10, .items = SlotModeItems},
            {.index = ecsSlotMinCC, .name = "Min CC", .lo = 0, .hi = 127, .precision = 0, .def = 0},
            {.index = ecsSlotMaxCC, .name = "Max CC", .lo = 0, .hi = 127, .precision = 0, .def = 0},
            {.index = ecsSlotGroup, .name = "Group", .lo = 0, .hi = MaxGroup, .precision = 0, .def = 0},
        });
    }
    return paraSet->spreadPara();
}

int ECS2_c::paraIndex(int slot, int offset)
{
    return ecsParaSlotBase + ECSSlotParaCount * slot + offset;
}

int ECS2_c::clampSlot(int slot)
{
    return std::clamp(slot, 0, ECSSlotCount - 1);
}

Parameter_c* ECS2_c::para(int idx) const
{
    Parameter_c* first = paraSet ? paraSet->getParaPtr(0) : nullptr;
    if (!first || idx < 0 || idx >= paraSet->getParaCount())
        return nullptr;
    return first + idx;
}

void ECS2_c::setValue(int idx, int v)
{
    if (Parameter_c* p = para(idx))
        p->setVal(v);
}

// ---------------------------------------------------------------------------
// Records

void ECS2_c::Para2Cache(int slot, CCAss_c* out) const
{
    if (!out)
        return;
    *out = DefaultRecord;
    const int k = clampSlot(slot);
    const Parameter_c* s = para(paraIndex(k, 0));
    if (!s)
        return;
    // Values read from a stored or loaded chunk are put into range here, so
    // the readers never see one outside it.
    out->controller = std::max(0, int(s[ecsSlotCCIdx].value));
    out->editIndex = s[ecsSlotEditIdx].value;
    out->minPar = std::clamp(float(s[ecsSlotMinPar].value) / ParRangeSteps, 0.0f, 1.0f);
    out->maxPar = std::clamp(float(s[ecsSlotMaxPar].value) / ParRangeSteps, 0.0f, 1.0f);
    out->instrument = std::clamp(int(s[ecsSlotInsIdx].value), 0, MaxInsIdx);
    out->channel = std::clamp(int(s[ecsSlotMidiCh].value), 0, 15);
    out->curve = std::clamp(int(s[ecsSlotCurve].value), -9, 9);
    out->mode = std::clamp(int(s[ecsSlotMode].value), SlotModeUnused, SlotModeLast);
    out->minCC = std::clamp(int(s[ecsSlotMinCC].value), 0, 127);
    out->maxCC = 127 - std::clamp(int(s[ecsSlotMaxCC].value), 0, 127);
    out->group = std::clamp(int(s[ecsSlotGroup].value), 0, MaxGroup);
}

void ECS2_c::Cache2Para(int slot, CCAss_c record)
{
    editAndPublish([&] { writeRecord(slot, record); });
}

void ECS2_c::writeRecord(int slot, const CCAss_c& record)
{
    const int base = paraIndex(clampSlot(slot), 0);
    setValue(base + ecsSlotCCIdx, record.controller);
    setValue(base + ecsSlotEditIdx, record.editIndex);
    setValue(base + ecsSlotMinPar, parSteps(record.minPar));
    setValue(base + ecsSlotMaxPar, parSteps(record.maxPar));
    setValue(base + ecsSlotInsIdx, record.instrument);
    setValue(base + ecsSlotMidiCh, record.channel);
    setValue(base + ecsSlotCurve, record.curve);
    setValue(base + ecsSlotMode, record.mode);
    setValue(base + ecsSlotMinCC, record.minCC);
    setValue(base + ecsSlotMaxCC, 127 - std::clamp(record.maxCC, 0, 127));
    setValue(base + ecsSlotGroup, record.group);
}

// ---------------------------------------------------------------------------
// Snapshots

const ECS2_c::Table_t* ECS2_c::pin() const
{
    for (;;) {
        const Table_t* t = live.load();
        t->readers.fetch_add(1);
        // Still the published one: no writer reuses it while it is held.
        if (live.load() == t)
            return t;
        t->readers.fetch_sub(1);
    }
}

void ECS2_c::unpin(const Table_t* table)
{
    table->readers.fetch_sub(1);
}

void ECS2_c::publish()
{
    const Table_t* current = live.load();
    Table_t* spare = nullptr;
    for (;;) {
        for (Table_t& t : tables) {
            if (&t != current && t.readers.load() == 0) {
                spare = &t;
                break;
            }
        }
        if (spare)
            break;
        // Every other snapshot is held by a reader for a moment.
        std::this_thread::yield();
    }
    for (int k = 0; k < ECSSlotCount; ++k)
        Para2Cache(k, &spare->slots[k]);
    const Parameter_c* group = para(ecsParaActiveGroup);
    spare->activeGroup = group ? int(group->value) : 1;
    live.store(spare);
}

// ---------------------------------------------------------------------------
// Editing

void ECS2_c::init()
{
    editAndPublish([this] {
        clearAllCore();
        clearPending = false;
        setValue(ecsParaOnOff, 0);
    });
}

void ECS2_c::clearAllCore()
{
    for (int k = 0; k < ECSSlotCount; ++k)
        writeRecord(k, DefaultRecord);
    lastEditIdx = 0;
    lastInstrument = 0;
    lastTime = 0;
    nrpnMode = false;
    nrpnNumber = 0;
    learning = false;
    pendingTarget = -1;
}

int ECS2_c::assignCC(int channel, int controller, int instrument, int editIndex, bool onlyFree, int group)
{
    int slot = ECSSlotCount;
    editAndPublish([&] { slot = assignCCCore(channel, controller, instrument, editIndex, onlyFree, group); });
    return slot;
}

int ECS2_c::assignCCCore(int channel, int controller, int instrument, int editIndex, bool onlyFree, int group)
{
    auto used = [this](int k) {
        const Parameter_c* m = para(paraIndex(k, ecsSlotMode));
        return m && m->value != SlotModeUnused;
    };
    auto boundTo = [this, instrument, editIndex](int k) {
        const Parameter_c* s = para(paraIndex(k, 0));
        return s && s[ecsSlotInsIdx].value == instrument && std::abs(int(s[ecsSlotEditIdx].value)) == editIndex;
    };
    int slot = ECSSlotCount;
    bool bound = false;
    for (int k = 0; k < ECSSlotCount; ++k) {
        if (used(k) && boundTo(k)) {
            // The default form leaves a target that has a controller alone:
            // offered again at every resume, the defaults are added once.
            if (onlyFree)
                return k;
            slot = k;
            bound = true;
            break;
        }
        if (!used(k)) {
            slot = k;
            break;
        }
    }
    if (slot >= ECSSlotCount)
        return ECSSlotCount;
    if (clearPending.load()) {
        if (bound)
            clearAssignmentCore(instrument, editIndex);
        return slot;
    }
    const int base = paraIndex(slot, 0);
    setValue(base + ecsSlotCCIdx, controller);
    setValue(base + ecsSlotMidiCh, channel);
    setValue(base + ecsSlotEditIdx, editIndex);
    setValue(base + ecsSlotInsIdx, instrument);
    setValue(base + ecsSlotMode, SlotModeNormal);
    setValue(base + ecsSlotGroup, group);
    return slot;
}

void ECS2_c::clearAssignment(int instrument, int editIndex)
{
    editAndPublish([&] { clearAssignmentCore(instrument, editIndex); });
}

void ECS2_c::clearAssignmentCore(int instrument, int editIndex)
{
    const Parameter_c* onOff = para(ecsParaOnOff);
    if (!onOff || onOff->value == 0)
        return;
    int k = 0;
    while (k < ECSSlotCount) {
        const Parameter_c* s = para(paraIndex(k, 0));
        if (!s)
            return;
        const bool match = s[ecsSlotMode].value != SlotModeUnused && s[ecsSlotInsIdx].value == instrument &&
                           std::abs(int(s[ecsSlotEditIdx].value)) == editIndex;
        if (!match) {
            ++k;
            continue;
        }
        for (int j = k; j < ECSSlotCount - 1; ++j) {
            Parameter_c* dst = para(paraIndex(j, 0));
            const Parameter_c* src = para(paraIndex(j + 1, 0));
            for (int o = 0; o < ECSSlotParaCount; ++o)
                dst[o].setVal(src[o].value);
        }
        writeRecord(ECSSlotCount - 1, DefaultRecord);
        // Slot k now holds what was behind it, which may be bound to the
        // same target: look at it again.
    }
}

void ECS2_c::setEditIdx(int instrument, int editIndex)
{
    if (instrument < 0 || editIndex < 0)
        return;
    if (clearPending.load())
        clearAssignment(instrument, editIndex);
    else
        pendingTarget = packTarget(std::min(instrument, MaxInsIdx), editIndex);
}

void ECS2_c::editSlotValue(int slot, int offset, int value)
{
    editAndPublish([&] { setValue(paraIndex(clampSlot(slot), offset), value); });
}

void ECS2_c::setMinCC(int slot, int value)
{
    editSlotValue(slot, ecsSlotMinCC, std::clamp(value, 0, 127));
}

void ECS2_c::setMaxCC(int slot, int value)
{
    editSlotValue(slot, ecsSlotMaxCC, 127 - std::clamp(value, 0, 127));
}

void ECS2_c::setMinPar(int slot, float value)
{
    editSlotValue(slot, ecsSlotMinPar, parSteps(value));
}

void ECS2_c::setMaxPar(int slot, float value)
{
    editSlotValue(slot, ecsSlotMaxPar, parSteps(value));
}

void ECS2_c::storeFactory()
{
    if (onAudio())
        return;
    std::lock_guard<std::recursive_mutex> lock(editMutex);
    for (int k = 0; k < ECSSlotCount; ++k)
        Para2Cache(k, &factory[k]);
}

void ECS2_c::restoreFactory()
{
    editAndPublish([this] {
        for (int k = 0; k < ECSSlotCount; ++k)
            writeRecord(k, factory[k]);
    });
}

// ---------------------------------------------------------------------------
// Learn menu

void ECS2_c::askThen(const char* question, const char* title, std::function<void()> onYes)
{
    // With an engine the question waits on its panel thread and the answer
    // comes back in an idle round: neither the host's call nor any lock
    // waits for the user. A table of its own (no engine) asks on the spot.
    if (engine) {
        engine->askUserLater(question, title, [onYes = std::move(onYes)](bool yes) {
            if (yes)
                onYes();
        });
        return;
    }
    if (OsLib_c::askUser(question, title))
        onYes();
}

void ECS2_c::postprocessParaChange(int set, int idx)
{
    if (onAudio())
        return;
    std::lock_guard<std::recursive_mutex> lock(editMutex);
    if (!paraSet || set != 0) {
        publish();
        return;
    }
    if (idx == ecsParaOnOff) {
        if (paraSet->getParaVal(0, ecsParaOnOff) != 0) {
            recall();
            paraSet->setParaVal(0, ecsParaOnOff, 1);
            learning = true;
        } else {
            learning = false;
            store();
        }
        return;
    }
    if (idx != ecsParaMode) {
        if (idx == -1)
            learning = paraSet->getParaVal(0, ecsParaOnOff) != 0;
        publish();
        return;
    }

    clearPending = false;
    auto setOnOff = [this](int on) { paraSet->setParaVal(0, ecsParaOnOff, on); };
    auto modeDone = [this] { paraSet->setParaVal(0, ecsParaMode, ecsModeOff); };
    switch (paraSet->getParaVal(0, ecsParaMode)) {
    case ecsModeOff:
        setOnOff(0);
        store();
        break;
    case ecsModeLearn:
        setOnOff(1);
        break;
    case ecsModeClear:
        setOnOff(1);
        clearPending = true;
        break;
    case ecsModeClearAll:
        setOnOff(0);
        askThen(ClearAllQuestion, ClearAllTitle, [this] {
            clearAllCore();
            publish();
            store();
        });
        modeDone();
        break;
    case ecsModeLoad:
        setOnOff(0);
        if (engine && engine->getModuleManager()) {
            // The file is read in a later idle round, once the user chose
            // it; what follows the load waits for it.
            engine->getModuleManager()->handlePartFileIO(this, 0, tpfioLoad, "ECS", [this] {
                std::lock_guard<std::recursive_mutex> after(editMutex);
                // What the file held may be off range or leave On/Off on:
                // the snapshot clamps, and learning follows the menu, not
                // the file.
                paraSet->setParaVal(0, ecsParaOnOff, 0);
                publish();
                store();
            });
        } else {
            publish();
            store();
        }
        modeDone();
        break;
    case ecsModeSave:
        setOnOff(0);
        store();
        if (engine && engine->getModuleManager())
            engine->getModuleManager()->handlePartFileIO(this, 0, tpfioSave, "ECS");
        modeDone();
        break;
    case ecsModeRestoreFactory:
        setOnOff(0);
        askThen(RestoreFactoryQuestion, RestoreFactoryTitle, [this] {
            clearAllCore();
            for (int k = 0; k < ECSSlotCount; ++k)
                writeRecord(k, factory[k]);
            publish();
            store();
        });
        modeDone();
        break;
    default:
        break;
    }
    learning = paraSet->getParaVal(0, ecsParaOnOff) != 0;
}

// ---------------------------------------------------------------------------
// Preferences

void ECS2_c::store()
{
    if (key.empty())
        return;
    if (onAudio()) {
        storePendingFlag = true;
        return;
    }
    std::lock_guard<std::recursive_mutex> lock(editMutex);
    storePendingFlag = false;
    writeStore();
}

void ECS2_c::writeStore()
{
    if (key.empty() || !paraSet)
        return;
    const int size = paraSet->getChunkSize(0);
    if (size <= 0)
        return;
    std::vector<int> buffer(size_t(size) / sizeof(int) + 1, 0);
    paraSet->getChunk(buffer.data(), 0);
    // A failed write is tried again at the next idle round.
    if (!OsLib_c::remindChunk(key, buffer.data(), size))
        storePendingFlag = true;
}

bool ECS2_c::recall()
{
    if (key.empty() || !paraSet || onAudio())
        return false;
    std::lock_guard<std::recursive_mutex> lock(editMutex);
    void* data = nullptr;
    int n = 0;
    const bool found = OsLib_c::recallChunk(key, &data, &n);
    std::unique_ptr<void, FreeDeleter_t> chunk(data);
    bool read = false;
    ParaChunkHeader_t header;
    if (found && chunk && paraSet->matchesChunk(chunk.get(), n, &header) && header.size == n) {
        paraSet->setChunk(chunk.get(), n, 0);
        recalled = true;
        read = true;
    }
    // Learning is off after every recall.
    paraSet->setParaVal(0, ecsParaOnOff, 0);
    paraSet->setParaVal(0, ecsParaMode, ecsModeOff);
    learning = false;
    clearPending = false;
    publish();
    return read;
}

// ---------------------------------------------------------------------------
// Learning input

void ECS2_c::processCC(int channel, int controller, int value)
{
    if (!learning.load() || channel < 0 || channel >= NumMidiChannels)
        return;
    if (pendingTarget.load() < 0)
        return;
    ECSCtrlUse_t use = ecsUseNone;
    const int number = getCCIdx(channel, controller, value, &use);
    if (use == ecsUseNone)
        return;
    int64_t target = pendingTarget.load();
    // The target is used up by the first controller that takes it.
    if (target < 0 || !pendingTarget.compare_exchange_strong(target, -1))
        return;
    const int instrument = int(target >> 32);
    const int editIndex = int(uint32_t(target));
    if (onAudio()) {
        learnRequest = packLearn(channel, number, instrument, editIndex);
        return;
    }
    assignCC(channel, number, instrument, editIndex, false, 0);
}

void ECS2_c::idle()
{
    if (onAudio())
        return;
    // An edit under way (a module file dialog may be open) keeps the table:
    // the idle round skips, as SynthIdle does, and the next one comes.
    std::unique_lock<std::recursive_mutex> lock(editMutex, std::try_to_lock);
    if (!lock.owns_lock())
        return;
    if (const uint64_t request = learnRequest.exchange(0)) {
        int channel = 0;
        int number = 0;
        int instrument = 0;
        int editIndex = 0;
        unpackLearn(request, &channel, &number, &instrument, &editIndex);
        assignCC(channel, number, instrument, editIndex, false, 0);
    }
    if (storePendingFlag.load())
        store();
}

void ECS2_c::setClock(int64_t (*clock)())
{
    clockFn = clock ? clock : &OsLib_c::getMilliseconds;
}

// ---------------------------------------------------------------------------
// The controller reader

int ECS2_c::getCCIdx(int, int controller, int value, ECSCtrlUse_t* use) const
{
    ECSCtrlUse_t u = ecsUseAbsolute;
    int number = controller;
    switch (controller) {
    case Midi::CCNRPNLSB:
        nrpnMode = true;
        nrpnNumber = (nrpnNumber.load() & 0xFF80) + value;
        number = nrpnNumber.load();
        u = ecsUseNone;
        break;
    case Midi::CCNRPNMSB:
        nrpnMode = true;
        nrpnNumber = (nrpnNumber.load() & 127) + value * 128;
        number = nrpnNumber.load();
        u = ecsUseNone;
        break;
    case Midi::CCDataIncrement:
    case Midi::CCDataDecrement:
        u = controller == Midi::CCDataIncrement ? ecsUseIncrement : ecsUseDecrement;
        number = nrpnMode.load() ? nrpnNumber.load() : value;
        break;
    case Midi::CCRPNLSB:
    case Midi::CCRPNMSB:
        // An RPN is selected: increments no longer step the NRPN.
        nrpnMode = false;
        break;
    default:
        break;
    }
    if (use)
        *use = u;
    return number;
}

void ECS2_c::handleSpeedUp(int* editIndex, int* instrument, ECSCtrlUse_t* use, float* speed) const
{
    if (!editIndex || !instrument || !use || !speed)
        return;
    *speed = 0.0f;
    if (*use != ecsUseIncrement && *use != ecsUseDecrement)
        return;
    const int64_t now = clockFn();
    const int64_t dt = std::clamp<int64_t>(now - lastTime.load(), 1, SpeedUpMaxDt);
    if (*editIndex == lastEditIdx.load() && *instrument == lastInstrument.load()) {
        const double s = std::clamp((SpeedUpFastMs / double(dt) - SpeedUpFloor) / (1.0 - SpeedUpFloor), 0.0, 1.0);
        *speed = float(s * s);
    }
    lastEditIdx = *editIndex;
    lastInstrument = *instrument;
    lastTime = now;
}

// ---------------------------------------------------------------------------
// Views

ECS2_c::View::View(const ECS2_c& owner) : ecs(owner), table(owner.pin())
{
}

ECS2_c::View::~View()
{
    unpin(table);
}

const CCAss_c& ECS2_c::View::at(int slot) const
{
    return table->slots[clampSlot(slot)];
}

bool ECS2_c::View::isEmpty() const
{
    return !table->slots[0].isUsed();
}

bool ECS2_c::View::requestCC(int channel, int controller, int value, int* slot, int* instrument, int* editIndex,
                             ECSCtrlUse_t* use, float* speed, bool* negative) const
{
    if (!slot || !instrument || !editIndex || !use || !speed || !negative)
        return false;
    ECSCtrlUse_t u = ecsUseNone;
    const int number = ecs.getCCIdx(channel, controller, value, &u);
    if (u == ecsUseNone)
        return false;
    for (int k = std::max(*slot + 1, 0); k < ECSSlotCount; ++k) {
        const CCAss_c& a = table->slots[k];
        if (!a.isUsed() || a.controller != number || a.channel != channel)
            continue;
        if (a.group != 0 && a.group != table->activeGroup)
            continue;
        *slot = k;
        *instrument = a.instrument;
        *editIndex = std::abs(a.editIndex);
        *negative = a.editIndex < 0;
        *use = u;
        *speed = 0.0f;
        ecs.handleSpeedUp(editIndex, instrument, use, speed);
        return true;
    }
    return false;
}

float ECS2_c::View::requestFl01(int slot, int controllerValue) const
{
    const CCAss_c& a = at(slot);
    const int lo = std::min(a.minCC, a.maxCC);
    const int hi = std::max(a.minCC, a.maxCC);
    const int v = std::clamp(controllerValue, lo, hi);
    float x = 0.5f;
    if (hi != lo) {
        const int n = hi - lo + 1;
        // An even count of values above two has a centre that maps to exactly
        // 0.5 (value 64 of 0..127). Two values are the ends themselves.
        if (n % 2 == 0 && n > 2) {
            const int m = lo + n / 2;
            if (v > m)
                x = float(v - m) / float(hi - m) * 0.5f + 0.5f;
            else
                x = float(v - lo) / float(m - lo) * 0.5f;
        } else {
            x = float(v - lo) / float(hi - lo);
        }
    }
    x = std::clamp(x, 0.0f, 1.0f);
    if (a.minCC > a.maxCC)
        x = 1.0f - x;
    return a.minPar + x * (a.maxPar - a.minPar);
}

float ECS2_c::View::requestFl01(int slot, float x) const
{
    const CCAss_c& a = at(slot);
    const float c = std::isnan(x) ? 0.0f : std::clamp(x, 0.0f, 1.0f);
    return a.minPar + c * (a.maxPar - a.minPar);
}

int ECS2_c::View::requestCCVal(int slot, float parameterValue) const
{
    const CCAss_c& a = at(slot);
    const float pLo = std::min(a.minPar, a.maxPar);
    const float pHi = std::max(a.minPar, a.maxPar);
    const float p = std::isnan(parameterValue) ? pLo : std::clamp(parameterValue, pLo, pHi);
    float x = a.maxPar == a.minPar ? 1.0f : (p - a.minPar) / (a.maxPar - a.minPar);
    x = std::clamp(x, 0.0f, 1.0f);
    const int lo = std::min(a.minCC, a.maxCC);
    const int hi = std::max(a.minCC, a.maxCC);
    // The controller position measured from lo, whichever end "Min CC" is.
    if (a.minCC > a.maxCC)
        x = 1.0f - x;
    if (hi == lo)
        return lo;
    const int n = hi - lo + 1;
    // The exact inverse of requestFl01, rounded to the nearest controller
    // value: a value received goes back unchanged however narrow the
    // parameter range is.
    int cc = lo;
    if (n % 2 == 0 && n > 2) {
        const int m = lo + n / 2;
        if (x > 0.5f)
            cc = m + int(std::lround(2.0f * (x - 0.5f) * float(hi - m)));
        else
            cc = lo + int(std::lround(2.0f * x * float(m - lo)));
    } else {
        cc = lo + int(std::lround(x * float(hi - lo)));
    }
    return std::clamp(cc, lo, hi);
}

bool ECS2_c::View::getByIdx(int slot, int* channel, int* controller, int* instrument, int* editIndex) const
{
    const CCAss_c& a = at(slot);
    if (!a.isUsed())
        return false;
    if (channel)
        *channel = a.channel;
    if (controller)
        *controller = a.controller;
    if (instrument)
        *instrument = a.instrument;
    if (editIndex)
        *editIndex = a.editIndex;
    return true;
}

bool ECS2_c::View::getByEdit(int instrument, int editIndex, int n, int* channel, int* controller, int* slot) const
{
    int seen = 0;
    for (int k = 0; k < ECSSlotCount; ++k) {
        const CCAss_c& a = table->slots[k];
        if (!a.isUsed() || a.instrument != instrument || std::abs(a.editIndex) != editIndex)
            continue;
        if (seen++ < n)
            continue;
        if (channel)
            *channel = a.channel;
        if (controller)
            *controller = a.controller;
        if (slot)
            *slot = k;
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Single reads

bool ECS2_c::requestCC(int channel, int controller, int value, int* slot, int* instrument, int* editIndex,
                       ECSCtrlUse_t* use, float* speed, bool* negative) const
{
    return View(*this).requestCC(channel, controller, value, slot, instrument, editIndex, use, speed, negative);
}

float ECS2_c::requestFl01(int slot, int controllerValue) const
{
    return View(*this).requestFl01(slot, controllerValue);
}

float ECS2_c::requestFl01(int slot, float x) const
{
    return View(*this).requestFl01(slot, x);
}

int ECS2_c::requestCCVal(int slot, float parameterValue) const
{
    return View(*this).requestCCVal(slot, parameterValue);
}

bool ECS2_c::getByIdx(int slot, int* channel, int* controller, int* instrument, int* editIndex) const
{
    return View(*this).getByIdx(slot, channel, controller, instrument, editIndex);
}

bool ECS2_c::getByEdit(int instrument, int editIndex, int n, int* channel, int* controller, int* slot) const
{
    return View(*this).getByEdit(instrument, editIndex, n, channel, controller, slot);
}

bool ECS2_c::isEmpty() const
{
    return View(*this).isEmpty();
}
