#include "SysGlo.h"

#include "OsLib.h"
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
    p[SysGloPara::KnobMovement].createEnu("Cir/Lin Knob Movement", "", 0, 1, 8, 1, "Circular Linear ", nullptr);
    p[SysGloPara::NoteDisplayType].createOnOff("NoteDisplayType", 0);
    p[SysGloPara::PadVelocity].createOnOff("Pad Velocity", 1);
    p[SysGloPara::PanMode].createEnu("PanMode", "", 0, 1, 5, 1, "EqVolEqPow", nullptr);
    p[SysGloPara::JumpToSaveDir].createOnOff("Jump To Save Dir", 1);
    p[SysGloPara::FontColor].createEnu("Font Color", "", 0, 2, 8, 0, "Red     LightRedWhite   ", nullptr);
    p[SysGloPara::DefaultPresetPath].createCharPtr("Default Preset Path", true, true, nullptr);
    p[SysGloPara::Unused10].createNum("unused", "", 0.0f, 0, 9, 0, 0, 0);
    p[SysGloPara::DataPath].createCharPtr("Data Path", true, true, nullptr);
    p[SysGloPara::VersionString].createCharPtr("Version string to display", false, false, nullptr);
    p[SysGloPara::EditInsFollowsMorph].createOnOff("EditIns follows Morp", 0);
    p[SysGloPara::EcsFollowsEditIns].createOnOff("ECS follows EditIns", 0);
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
    bool defined = false;
    Parameter_c* p = beginParaDefinition(shared, 1, SynGloParaCount, &defined);
    if (!p)
        return defined;
    p[SynGloPara::EditIns].createNum("Edit Ins", "", 0.0f, 0, 64, 0, 0, 0);
    p[SynGloPara::UndoRedo].createOnOff("Undo/Redo", 0);
    p[SynGloPara::GloTune].createNum("Glo Tune", "", 0.0f, 4153, 4662, 1, 4400, 0);
    p[SynGloPara::CCAssignActive].createOnOff("CCAssignActive", 0);
    p[SynGloPara::SavedOrLoaded].createOnOff("Saved or Loaded Presets", 0);
    p[SynGloPara::CpuLoad].createNum("CPU Load", "%", 0.0f, 0, 1000, 1, 0, 0);
    p[SynGloPara::SRFactor].createNum("SRFactor", "", 0.0f, 10, 100, 2, 100, 0);
    p[SynGloPara::VelCurve].createNum("VelCurve", "", 0.0f, 0, 9, 0, 5, 0);
    p[SynGloPara::Automatik1].createOnOff("Automatik 1", 0);
    p[SynGloPara::Keyboard].createNum("keyboard", "", 0.0f, 0, 1000000, 0, 0, 0);
    p[SynGloPara::StereoOuts].createNum("Stereo Outs", "", 0.0f, 0, outputCount, 0, 1, 0);
    p[SynGloPara::MonoOuts].createNum("Mono Outs", "", 0.0f, 0, outputCount, 0, 0, 0);
    p[SynGloPara::WheelTarget].createEnu("Wheel Target", "", 0, 2, 5, 0, "Pan  LevelTune ", nullptr);
    p[SynGloPara::KnobMovement].createEnu("", "", 0, 2, 8, 0, KnobMovementItems, nullptr);
    p[SynGloPara::Unnamed15].createOnOff("", 0);
    p[SynGloPara::GenerationRange].createNum("Generation Range", "%", 0.0f, 0, 100, 2, 5, 0);
    p[SynGloPara::EcsSavePath].createCharPtr("ECS Save Path", false, false, nullptr);
    p[SynGloPara::EcsLoadPath].createCharPtr("ECS Load Path", false, false, nullptr);
    p[SynGloPara::VersionString].createCharPtr("Version string to display", false, false, nullptr);
    p[SynGloPara::SystemErrorCode].createNum("System Error Code", "", 0.0f, 0, 65535, 0, 0, 0);
    p[SynGloPara::SynthEdited].createOnOff("SynthEdited", 0);
    p[SynGloPara::Choke].createOnOff("Choke", 1);
    p[SynGloPara::SampleDisplay].createEnu("Sample Display", "", 0, 1, 4, 0, "Off Norm", nullptr);
    p[SynGloPara::KitNameDisplay].createCharPtr("Kit Name Display", true, true, nullptr);
    p[SynGloPara::EditPage].createNum("Edit Page", "", 0.0f, 0, 99, 0, 0, 0);
    p[SynGloPara::MultiProgram].createNum("Program", "", 0.0f, 0, 207, 0, 0, 0);
    p[SynGloPara::MultiBank].createNum("Bank", "", 0.0f, 0, 207, 0, 0, 0);
    p[SynGloPara::MasterVol].createVolume("Master Vol", -24, 6, 0, true);
    p[SynGloPara::MultiSave].createCharPtr("Multi Save", false, false, nullptr);
    p[SynGloPara::MultiLoad].createCharPtr("Multi Load", false, false, nullptr);
    p[SynGloPara::BendUp].createNum("Pitch Bend Up Amount", "semitones", 0.0f, 0, 24, 0, 2, 0);
    p[SynGloPara::BendDown].createEnu("Pitch Bend Down Amount", "semitones", -1, 24, 4, -1, BendDownItems, nullptr);
    p[SynGloPara::CCMode].createEnu("MIDI CC Mode", "", 0, 1, 12, 1, "receive onlyreceive+send", nullptr);
    return paraSet->spreadPara();
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
    p[SynGloInsPara::Program].createNum("Program", "", 0.0f, 0, std::max(0, programCount - 1), 0, 0, 0);
    p[SynGloInsPara::Unused2].createOnOff("Unused", 1);
    p[SynGloInsPara::Unused3].createNum("unused ", "", 0.0f, 0, lastOutput, 0, 0, 0);
    p[SynGloInsPara::Mute].createOnOff("Mute", 0);
    p[SynGloInsPara::Solo].createOnOff("Solo", 0);
    p[SynGloInsPara::NotesOn].createNum("NotesOn", "", 0.0f, 0, 8, 0, 0, 0);
    p[SynGloInsPara::Choke].createEnu("Choke", "", 0, 12, 3, 0, " - me prvnxt 1  2  3  4  5  6  7  8  9 ", ChokeAltLists);
    p[SynGloInsPara::InsChIdx].createChannel("InsChIdx", 0, 16, 16);
    p[SynGloInsPara::Unnamed9].createNum("", "", 0.0f, -99999999, 99999999, 0, 0, 0);
    p[SynGloInsPara::Edited].createOnOff("Edited", 0);
    p[SynGloInsPara::Legato].createOnOff("Legato", 0);
    p[SynGloInsPara::BendUp].createNum("Pitch Bend Up Amount", "semitones", 0.0f, 0, 24, 0, 2, 0);
    p[SynGloInsPara::Unused13].createCharPtr("Unused", false, false, nullptr);
    p[SynGloInsPara::LoadPath].createCharPtr("Preset Load Path", false, false, nullptr);
    p[SynGloInsPara::SavePath].createCharPtr("Preset Save Path", false, false, nullptr);
    p[SynGloInsPara::GlobalDisplay].createCharPtr("Global Display", false, false, nullptr);
    p[SynGloInsPara::Trigger].createNote("Trigger", 0, 127, 0, 36);
    p[SynGloInsPara::Bank].createNum("Bank", "", 0.0f, 0, 207, 0, 0, 0);
    p[SynGloInsPara::NoteLo].createNote("Note Lo", 0, 127, 0, 0);
    p[SynGloInsPara::NoteHi].createNote("Note Hi", 0, 127, 0, 127);
    p[SynGloInsPara::VeloLo].createNum("Velo Lo", "", 0.0f, 1, 127, 0, 1, 0);
    p[SynGloInsPara::VeloHi].createNum("Velo Hi", "", 0.0f, 1, 127, 0, 127, 0);
    p[SynGloInsPara::NoteFade].createNum("Note Fade", "", 0.0f, -24, 24, 0, 0, 0);
    p[SynGloInsPara::VeloFade].createNum("Velo Fade", "", 0.0f, -127, 127, 0, 0, 0);
    p[SynGloInsPara::BendDown].createEnu("Pitch Bend Down Amount", "semitones", -1, 24, 4, -1, BendDownItems, nullptr);
    p[SynGloInsPara::ReceiveMW].createOnOff("Receive Mod Wheel", 1);
    p[SynGloInsPara::ReceivePW].createOnOff("Receive Pitchwheel", 1);
    p[SynGloInsPara::ReceiveAT].createOnOff("Receive Aftertouch", 1);
    p[SynGloInsPara::ReceiveSP].createOnOff("Receive SustainPed", 1);
    p[SynGloInsPara::MasterVol].createVolume("Master Vol", -24, 6, 0, true);
    // The set may outlive this part (another user may hold it), so its items
    // must last for the process.
    p[SynGloInsPara::OutputSelection].createEnu("Output Selection", "", 0, lastOutput, 3, 0, lastingText(getOutSelStr()), nullptr);
    p[SynGloInsPara::ModWheel].createNum("MIDI Mod Wheel", "", 0.0f, 0, 127, 0, 0, 0);
    return paraSet->spreadPara();
}
