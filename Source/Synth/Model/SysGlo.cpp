#include "SysGlo.h"

#include "OsLib.h"
#include "ParaRow.h"
#include "Synth.h"
#include "ThreadCheck.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <set>
#include <string>

static_assert(SysGloPara::EcsFollowsEditIns + 1 == SysGloParaCount);
static_assert(SynGloPara::CCMode + 1 == SynGloParaCount);
static_assert(SynGloInsPara::ModWheel + 1 == SynGloInsParaCount);

namespace {

// Output names carry two decimal digits.
constexpr int MaxNamedOutputs = 99;

// Frees what OsLib_c::recallChunk allocated.
struct FreeDeleter_t
{
    void operator()(void* p) const { std::free(p); }
};
using RecalledChunk_t = std::unique_ptr<void, FreeDeleter_t>;

// The stored chunk under key when it is one of set's chunks and its size
// word is exactly the number of bytes stored; null otherwise.
RecalledChunk_t readStoredChunk(const Vdx::String_c& key, const ParaSet_c& set, int* size)
{
    void* data = nullptr;
    int n = 0;
    const bool found = OsLib_c::recallChunk(key, &data, &n);
    RecalledChunk_t chunk(data);
    if (!found || !chunk)
        return nullptr;
    ParaChunkHeader_t header;
    if (!set.matchesChunk(chunk.get(), n, &header) || header.size != n)
        return nullptr;
    *size = n;
    return chunk;
}

// A text that lasts as long as the plug-in is loaded, one copy per distinct
// content. Enumeration items are not owned by the definitions that point
// to them, and a shared set may outlive the part that defined it.
const char* lastingText(const std::string& text)
{
    static std::mutex mutex;
    // Freed when the plug-in is unloaded; every engine, and with it every
    // definition pointing here, is gone by then.
    static std::set<std::string> texts;
    std::lock_guard<std::mutex> lock(mutex);
    return texts.insert(text).first->c_str();
}

// The eight-character knob movement items of 'SYG0' SynGloPara::KnobMovement.
constexpr const char* KnobMovementItems = "CircularLinear  Relative";
// Pitch bend down: -1 links to the up amount.
constexpr const char* BendDownItems =
    "link  0   1   2   3   4   5   6   7   8   9  10  11  12  13  14  15  16  17  18  19  20  21  22  23  24 ";
// Older stored texts of the choke groups, still recognised when read.
constexpr const char* const ChokeAltLists[] = {"0  X  P  N  1  2  3  4  5xx6xx7xx8xx9xx", nullptr};

} // namespace

// ---------------------------------------------------------------------------
// SysGloBase_c

SysGloBase_c::SysGloBase_c(const char* name, const char* suffix)
{
    if (name && suffix)
        key = Vdx::String_c(name) + suffix;
}

SysGloBase_c::~SysGloBase_c()
{
    // A change the audio thread made since the last idle round is not lost
    // when the plug-in closes.
    if (isStorePending())
        storePending();
}

bool SysGloBase_c::mustDeferStore() const
{
    return Synth::onAudioThread();
}

bool SysGloBase_c::isRecalled()
{
    return recalled.load();
}

bool SysGloBase_c::recall()
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    std::lock_guard<std::mutex> lock(storeMutex);
    return recallKeepingChanges();
}

void SysGloBase_c::markChanged(int idx)
{
    if (idx < 0 || idx >= 64)
        allChanged.store(true);
    else
        changedMask.fetch_or(uint64_t{1} << idx);
}

namespace {

// Puts a kept value back into a live parameter. The audio thread may be
// writing number-like parameters at this moment, so those get only their
// value back (atomic fields); replacing their definition under the audio
// thread would race. Texts are only ever written off the audio thread.
void restoreKept(Parameter_c& live, const Parameter_c& kept)
{
    switch (kept.getType()) {
    case ptCharPtr:
    case ptFloatArray:
    case ptString:
        live.copyDeep(kept);
        break;
    default:
        live.setValue(kept.value);
        break;
    }
}

} // namespace

bool SysGloBase_c::recallKeepingChanges()
{
    Parameter_c* live = paraSet ? paraSet->getParaPtr(0) : nullptr;
    if (!live || key.empty())
        return recalled.load();
    int size = 0;
    RecalledChunk_t chunk = readStoredChunk(key, *paraSet, &size);
    if (!chunk)
        return recalled.load();

    // Parameters changed here but not stored yet are newer than what is
    // stored: they survive the read.
    const int n = paraSet->getParaCount();
    const bool all = allChanged.load();
    const uint64_t mask = changedMask.load();
    if (!all) {
        std::unique_ptr<Parameter_c[]> kept(new (std::nothrow) Parameter_c[static_cast<size_t>(n)]);
        if (!kept)
            return recalled.load();
        for (int i = 0; i < n && i < 64; ++i)
            if (mask & (uint64_t{1} << i))
                kept[i].copyDeep(live[i]);
        paraSet->setChunk(chunk.get(), size, 0);
        for (int i = 0; i < n && i < 64; ++i)
            if (mask & (uint64_t{1} << i))
                restoreKept(live[i], kept[i]);
    }
    recalled.store(true);
    return true;
}

bool SysGloBase_c::storeChanges()
{
    if (!recalled.load())
        recallKeepingChanges();

    const uint64_t mask = changedMask.exchange(0);
    const bool all = allChanged.exchange(false);
    if (mask == 0 && !all)
        return true;
    Parameter_c* live = paraSet ? paraSet->getParaPtr(0) : nullptr;
    if (!live || key.empty())
        return true; // nowhere to store: nothing will ever wait

    // What is stored, with this instance's changes written over it; other
    // instances' changes to other parameters stay.
    const int n = paraSet->getParaCount();
    ParaSet_c merged(paraSet->getTypeCode(), 1, n);
    merged.setOrder(paraSet->getOrder());
    Parameter_c* m = merged.getParaPtr(0);
    bool ok = m != nullptr;
    if (ok) {
        for (int i = 0; i < n; ++i)
            m[i].copyDeep(live[i]);
        int size = 0;
        RecalledChunk_t stored = all ? nullptr : readStoredChunk(key, *paraSet, &size);
        if (stored) {
            merged.setChunk(stored.get(), size, 0);
            for (int i = 0; i < n && i < 64; ++i)
                if (mask & (uint64_t{1} << i))
                    m[i].copyDeep(live[i]);
        }
        const int bytes = merged.getChunkSize(0);
        std::unique_ptr<int[]> buffer(new (std::nothrow) int[static_cast<size_t>(bytes) / 4 + 1]);
        ok = buffer && bytes > 0;
        if (ok) {
            const int written = merged.getChunk(buffer.get(), 0);
            ok = OsLib_c::remindChunk(key, buffer.get(), written);
        }
    }
    if (!ok) {
        // Kept for the next store.
        changedMask.fetch_or(mask);
        if (all)
            allChanged.store(true);
    }
    return ok;
}

void SysGloBase_c::postprocessParaChange(int set, int idx)
{
    markChanged(idx);
    if (mustDeferStore()) {
        Part_c::postprocessParaChange(set, idx);
        storePendingFlag.store(true);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(storeMutex);
        if (!recalled.load())
            recallKeepingChanges();
    }
    Part_c::postprocessParaChange(set, idx);
    std::lock_guard<std::mutex> lock(storeMutex);
    storeChanges();
}

bool SysGloBase_c::storePending()
{
    TESSEL_ASSERT_NOT_AUDIO_THREAD();
    // The flag is taken before the changes: a change marked after this point
    // either goes into this store or raises the flag again.
    if (!storePendingFlag.exchange(false))
        return true;
    std::lock_guard<std::mutex> lock(storeMutex);
    return storeChanges();
}

// ---------------------------------------------------------------------------
// SysGlo_c

SysGlo_c::SysGlo_c(const char* name) : SysGloBase_c(name, "SysGlo")
{
}

bool SysGlo_c::getParaSetPtr(ParaSet_c** shared)
{
    bool defined = false;
    Parameter_c* p = beginParaDefinition(shared, 1, SysGloParaCount, &defined, 0);
    if (!p)
        return defined;
    createParas(p, {
        {.index = SysGloPara::KnobMovement, .kind = ParaKind::Enu, .name = "Cir/Lin Knob Movement", .lo = 0, .hi = 1,
         .def = 1, .width = 8, .items = "Circular Linear "},
        {.index = SysGloPara::NoteDisplayType, .kind = ParaKind::OnOff, .name = "NoteDisplayType", .def = 0},
        {.index = SysGloPara::PadVelocity, .kind = ParaKind::OnOff, .name = "Pad Velocity", .def = 1},
        {.index = SysGloPara::PanMode, .kind = ParaKind::Enu, .name = "PanMode", .lo = 0, .hi = 1, .def = 1,
         .width = 5, .items = "EqVolEqPow"},
        {.index = SysGloPara::JumpToSaveDir, .kind = ParaKind::OnOff, .name = "Jump To Save Dir", .def = 1},
        {.index = SysGloPara::FontColor, .kind = ParaKind::Enu, .name = "Font Color", .lo = 0, .hi = 2, .def = 0,
         .width = 8, .items = "Red     LightRedWhite   "},
        {.index = SysGloPara::DefaultPresetPath, .kind = ParaKind::CharPtr, .name = "Default Preset Path",
         .pathLeaf = true, .stripExtension = true},
        {.index = SysGloPara::Unused10, .name = "unused", .lo = 0, .hi = 9, .precision = 0, .def = 0},
        {.index = SysGloPara::DataPath, .kind = ParaKind::CharPtr, .name = "Data Path", .pathLeaf = true,
         .stripExtension = true},
        {.index = SysGloPara::VersionString, .kind = ParaKind::CharPtr, .name = "Version string to display"},
        {.index = SysGloPara::EditInsFollowsMorph, .kind = ParaKind::OnOff, .name = "EditIns follows Morp", .def = 0},
        {.index = SysGloPara::EcsFollowsEditIns, .kind = ParaKind::OnOff, .name = "ECS follows EditIns", .def = 0},
    });
    return paraSet->spreadPara();
}

void SysGlo_c::postprocessParaChange(int set, int idx)
{
    // The recall that must come first happens in the base, which keeps the
    // change on top of the recalled settings.
    SysGloBase_c::postprocessParaChange(set, idx);
}

// ---------------------------------------------------------------------------
// SynGlo_c

SynGlo_c::SynGlo_c(int outputs) : outputCount(outputs < 0 ? 0 : outputs)
{
}

bool SynGlo_c::getParaSetPtr(ParaSet_c** shared, int)
{
    return getParaSetPtr(shared);
}

bool SynGlo_c::getParaSetPtr(ParaSet_c** shared)
{
    return defineParas(shared, 1, SynGloParaCount, {
        {.index = SynGloPara::EditIns, .name = "Edit Ins", .lo = 0, .hi = 64, .precision = 0, .def = 0},
        {.index = SynGloPara::UndoRedo, .kind = ParaKind::OnOff, .name = "Undo/Redo", .def = 0},
        {.index = SynGloPara::GloTune, .name = "Glo Tune", .lo = 4153, .hi = 4662, .precision = 1, .def = 4400},
        {.index = SynGloPara::CCAssignActive, .kind = ParaKind::OnOff, .name = "CCAssignActive", .def = 0},
        {.index = SynGloPara::SavedOrLoaded, .kind = ParaKind::OnOff, .name = "Saved or Loaded Presets", .def = 0},
        {.index = SynGloPara::CpuLoad, .name = "CPU Load", .unit = "%", .lo = 0, .hi = 1000, .precision = 1, .def = 0},
        {.index = SynGloPara::SRFactor, .name = "SRFactor", .lo = 10, .hi = 100, .precision = 2, .def = 100},
        {.index = SynGloPara::VelCurve, .name = "VelCurve", .lo = 0, .hi = 9, .precision = 0, .def = 5},
        {.index = SynGloPara::Automatik1, .kind = ParaKind::OnOff, .name = "Automatik 1", .def = 0},
        {.index = SynGloPara::Keyboard, .name = "keyboard", .lo = 0, .hi = 1000000, .precision = 0, .def = 0},
        {.index = SynGloPara::StereoOuts, .name = "Stereo Outs", .lo = 0, .hi = outputCount, .precision = 0, .def = 1},
        {.index = SynGloPara::MonoOuts, .name = "Mono Outs", .lo = 0, .hi = outputCount, .precision = 0, .def = 0},
        {.index = SynGloPara::WheelTarget, .kind = ParaKind::Enu, .name = "Wheel Target", .lo = 0, .hi = 2, .def = 0,
         .width = 5, .items = "Pan  LevelTune "},
        {.index = SynGloPara::KnobMovement, .kind = ParaKind::Enu, .name = "", .lo = 0, .hi = 2, .def = 0,
         .width = 8, .items = KnobMovementItems},
        {.index = SynGloPara::Unnamed15, .kind = ParaKind::OnOff, .name = "", .def = 0},
        {.index = SynGloPara::GenerationRange, .name = "Generation Range", .unit = "%", .lo = 0, .hi = 100,
         .precision = 2, .def = 5},
        {.index = SynGloPara::EcsSavePath, .kind = ParaKind::CharPtr, .name = "ECS Save Path"},
        {.index = SynGloPara::EcsLoadPath, .kind = ParaKind::CharPtr, .name = "ECS Load Path"},
        {.index = SynGloPara::VersionString, .kind = ParaKind::CharPtr, .name = "Version string to display"},
        {.index = SynGloPara::SystemErrorCode, .name = "System Error Code", .lo = 0, .hi = 65535, .precision = 0,
         .def = 0},
        {.index = SynGloPara::SynthEdited, .kind = ParaKind::OnOff, .name = "SynthEdited", .def = 0},
        {.index = SynGloPara::Choke, .kind = ParaKind::OnOff, .name = "Choke", .def = 1},
        {.index = SynGloPara::SampleDisplay, .kind = ParaKind::Enu, .name = "Sample Display", .lo = 0, .hi = 1,
         .def = 0, .width = 4, .items = "Off Norm"},
        {.index = SynGloPara::KitNameDisplay, .kind = ParaKind::CharPtr, .name = "Kit Name Display",
         .pathLeaf = true, .stripExtension = true},
        {.index = SynGloPara::EditPage, .name = "Edit Page", .lo = 0, .hi = 99, .precision = 0, .def = 0},
        {.index = SynGloPara::MultiProgram, .name = "Program", .lo = 0, .hi = 207, .precision = 0, .def = 0},
        {.index = SynGloPara::MultiBank, .name = "Bank", .lo = 0, .hi = 207, .precision = 0, .def = 0},
        {.index = SynGloPara::MasterVol, .kind = ParaKind::Volume, .name = "Master Vol", .lo = -24, .hi = 6,
         .def = 0, .minusInfinity = true},
        {.index = SynGloPara::MultiSave, .kind = ParaKind::CharPtr, .name = "Multi Save"},
        {.index = SynGloPara::MultiLoad, .kind = ParaKind::CharPtr, .name = "Multi Load"},
        {.index = SynGloPara::BendUp, .name = "Pitch Bend Up Amount", .unit = "semitones", .lo = 0, .hi = 24,
         .precision = 0, .def = 2},
        {.index = SynGloPara::BendDown, .kind = ParaKind::Enu, .name = "Pitch Bend Down Amount", .unit = "semitones",
         .lo = -1, .hi = 24, .def = -1, .width = 4, .items = BendDownItems},
        {.index = SynGloPara::CCMode, .kind = ParaKind::Enu, .name = "MIDI CC Mode", .lo = 0, .hi = 1, .def = 1,
         .width = 12, .items = "receive onlyreceive+send"},
    });
}

// ---------------------------------------------------------------------------
// SynGloIns_c

SynGloIns_c::SynGloIns_c(int programs, int stereo, int mono)
    : programCount(programs < 0 ? 0 : programs), stereoOutputs(std::clamp(stereo, 0, MaxNamedOutputs)),
      monoOutputs(std::clamp(mono, 0, MaxNamedOutputs))
{
    outputCount = stereoOutputs + monoOutputs;
}

SynGloIns_c::~SynGloIns_c() = default;

const char* SynGloIns_c::getOutSelStr()
{
    if (outputSelectionText)
        return outputSelectionText.get();
    const size_t bytes = static_cast<size_t>(outputCount) * 3 + 1;
    outputSelectionText.reset(new (std::nothrow) char[bytes]);
    if (!outputSelectionText)
        return "";
    char* out = outputSelectionText.get();
    auto name = [&out](char kind, int number) {
        *out++ = kind;
        *out++ = static_cast<char>('0' + number / 10);
        *out++ = static_cast<char>('0' + number % 10);
    };
    for (int i = 0; i < stereoOutputs; ++i)
        name('S', i + 1);
    for (int i = 0; i < monoOutputs; ++i)
        name('M', i + 1);
    *out = 0;
    return outputSelectionText.get();
}

bool SynGloIns_c::getParaSetPtr(ParaSet_c** shared, int nSets)
{
    bool defined = false;
    Parameter_c* p = beginParaDefinition(shared, nSets, SynGloInsParaCount, &defined);
    if (!p)
        return defined;
    const int lastOutput = std::max(0, outputCount - 1);
    createParas(p, {
        {.index = SynGloInsPara::Program, .name = "Program", .lo = 0, .hi = std::max(0, programCount - 1),
         .precision = 0, .def = 0},
        {.index = SynGloInsPara::Unused2, .kind = ParaKind::OnOff, .name = "Unused", .def = 1},
        {.index = SynGloInsPara::Unused3, .name = "unused ", .lo = 0, .hi = lastOutput, .precision = 0, .def = 0},
        {.index = SynGloInsPara::Mute, .kind = ParaKind::OnOff, .name = "Mute", .def = 0},
        {.index = SynGloInsPara::Solo, .kind = ParaKind::OnOff, .name = "Solo", .def = 0},
        {.index = SynGloInsPara::NotesOn, .name = "NotesOn", .lo = 0, .hi = 8, .precision = 0, .def = 0},
        {.index = SynGloInsPara::Choke, .kind = ParaKind::Enu, .name = "Choke", .lo = 0, .hi = 12, .def = 0,
         .width = 3, .items = " - me prvnxt 1  2  3  4  5  6  7  8  9 ", .altLists = ChokeAltLists},
    });
    p[SynGloInsPara::InsChIdx].createChannel("InsChIdx", 0, 16, 16);
    createParas(p, {
        {.index = SynGloInsPara::Unnamed9, .name = "", .lo = -99999999, .hi = 99999999, .precision = 0, .def = 0},
        {.index = SynGloInsPara::Edited, .kind = ParaKind::OnOff, .name = "Edited", .def = 0},
        {.index = SynGloInsPara::Legato, .kind = ParaKind::OnOff, .name = "Legato", .def = 0},
        {.index = SynGloInsPara::BendUp, .name = "Pitch Bend Up Amount", .unit = "semitones", .lo = 0, .hi = 24,
         .precision = 0, .def = 2},
        {.index = SynGloInsPara::Unused13, .kind = ParaKind::CharPtr, .name = "Unused"},
        {.index = SynGloInsPara::LoadPath, .kind = ParaKind::CharPtr, .name = "Preset Load Path"},
        {.index = SynGloInsPara::SavePath, .kind = ParaKind::CharPtr, .name = "Preset Save Path"},
        {.index = SynGloInsPara::GlobalDisplay, .kind = ParaKind::CharPtr, .name = "Global Display"},
        {.index = SynGloInsPara::Trigger, .kind = ParaKind::Note, .name = "Trigger", .lo = 0, .hi = 127,
         .precision = 0, .def = 36},
        {.index = SynGloInsPara::Bank, .name = "Bank", .lo = 0, .hi = 207, .precision = 0, .def = 0},
        {.index = SynGloInsPara::NoteLo, .kind = ParaKind::Note, .name = "Note Lo", .lo = 0, .hi = 127,
         .precision = 0, .def = 0},
        {.index = SynGloInsPara::NoteHi, .kind = ParaKind::Note, .name = "Note Hi", .lo = 0, .hi = 127,
         .precision = 0, .def = 127},
        {.index = SynGloInsPara::VeloLo, .name = "Velo Lo", .lo = 1, .hi = 127, .precision = 0, .def = 1},
        {.index = SynGloInsPara::VeloHi, .name = "Velo Hi", .lo = 1, .hi = 127, .precision = 0, .def = 127},
        {.index = SynGloInsPara::NoteFade, .name = "Note Fade", .lo = -24, .hi = 24, .precision = 0, .def = 0},
        {.index = SynGloInsPara::VeloFade, .name = "Velo Fade", .lo = -127, .hi = 127, .precision = 0, .def = 0},
        {.index = SynGloInsPara::BendDown, .kind = ParaKind::Enu, .name = "Pitch Bend Down Amount",
         .unit = "semitones", .lo = -1, .hi = 24, .def = -1, .width = 4, .items = BendDownItems},
        {.index = SynGloInsPara::ReceiveMW, .kind = ParaKind::OnOff, .name = "Receive Mod Wheel", .def = 1},
        {.index = SynGloInsPara::ReceivePW, .kind = ParaKind::OnOff, .name = "Receive Pitchwheel", .def = 1},
        {.index = SynGloInsPara::ReceiveAT, .kind = ParaKind::OnOff, .name = "Receive Aftertouch", .def = 1},
        {.index = SynGloInsPara::ReceiveSP, .kind = ParaKind::OnOff, .name = "Receive SustainPed", .def = 1},
        {.index = SynGloInsPara::MasterVol, .kind = ParaKind::Volume, .name = "Master Vol", .lo = -24, .hi = 6,
         .def = 0, .minusInfinity = true},
    });
    // The set may outlive this part (another user may hold it), so its items
    // must last for the process.
    p[SynGloInsPara::OutputSelection].createEnu("Output Selection", "", 0, lastOutput, 3, 0, lastingText(getOutSelStr()), nullptr);
    p[SynGloInsPara::ModWheel].createNum("MIDI Mod Wheel", "", 0.0f, 0, 127, 0, 0, 0);
    return paraSet->spreadPara();
}
