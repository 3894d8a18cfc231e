#include "PluginHost.h"

#include "Guards.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <iterator>
#include <ostream>

namespace Host {

namespace {

// The host that answers the callback. The AEffect pointer a plug-in passes
// cannot identify it (it is null while the entry function runs, and the
// record's fields belong to the plug-in), and the tool hosts one plug-in at
// a time.
std::atomic<PluginHost_c*> sActiveHost{nullptr};

constexpr const char* kDispatcherNames[] = {
    "effOpen", "effClose", "effSetProgram", "effGetProgram", "effSetProgramName", "effGetProgramName",
    "effGetParamLabel", "effGetParamDisplay", "effGetParamName", "effGetVu", "effSetSampleRate",
    "effSetBlockSize", "effMainsChanged", "effEditGetRect", "effEditOpen", "effEditClose", "effEditDraw",
    "effEditMouse", "effEditKey", "effEditIdle", "effEditTop", "effEditSleep", "effIdentify", "effGetChunk",
    "effSetChunk", "effProcessEvents", "effCanBeAutomated", "effString2Parameter",
    "effGetNumProgramCategories", "effGetProgramNameIndexed", "effCopyProgram", "effConnectInput",
    "effConnectOutput", "effGetInputProperties", "effGetOutputProperties", "effGetPlugCategory",
    "effGetCurrentPosition", "effGetDestinationBuffer", "effOfflineNotify", "effOfflinePrepare",
    "effOfflineRun", "effProcessVarIo", "effSetSpeakerArrangement", "effSetBlockSizeAndSampleRate",
    "effSetBypass", "effGetEffectName", "effGetErrorText", "effGetVendorString", "effGetProductString",
    "effGetVendorVersion", "effVendorSpecific", "effCanDo", "effGetTailSize", "effIdle", "effGetIcon",
    "effSetViewPosition", "effGetParameterProperties", "effKeysRequired", "effGetVstVersion",
    "effEditKeyDown", "effEditKeyUp", "effSetEditKnobMode", "effGetMidiProgramName",
    "effGetCurrentMidiProgram", "effGetMidiProgramCategory", "effHasMidiProgramsChanged",
    "effGetMidiKeyName", "effBeginSetProgram", "effEndSetProgram", "effGetSpeakerArrangement",
    "effShellGetNextPlugin", "effStartProcess", "effStopProcess", "effSetTotalSampleToProcess",
    "effSetPanLaw", "effBeginLoadBank", "effBeginLoadProgram", "effSetProcessPrecision",
    "effGetNumMidiInputChannels", "effGetNumMidiOutputChannels",
};
static_assert(std::size(kDispatcherNames) == effGetNumMidiOutputChannels + 1);

// Copies a host text into a buffer the plug-in provides, never more than
// the conventional size of that buffer.
void copyHostText(void* ptr, const char* text, size_t cap)
{
    char* out = static_cast<char*>(ptr);
    const size_t n = std::min(std::strlen(text), cap - 1);
    std::memcpy(out, text, n);
    out[n] = 0;
}

std::string hex32(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

} // namespace

std::string dispatcherOpcodeName(int32_t opcode)
{
    if (opcode >= 0 && size_t(opcode) < std::size(kDispatcherNames))
        return kDispatcherNames[opcode];
    return "opcode " + std::to_string(opcode);
}

PluginHost_c::PluginHost_c(HostSettings settings) : settings_(settings)
{
    setTimeline(MidiSong{}, 48000.0);
}

PluginHost_c::~PluginHost_c()
{
    close();
    if (library_)
        dlclose(library_);
    PluginHost_c* self = this;
    sActiveHost.compare_exchange_strong(self, nullptr);
}

bool PluginHost_c::load(const std::string& path, std::string& error)
{
    if (library_ || effect_)
        return error = "a plug-in is already loaded", false;
    // Without a slash dlopen would search the system's library folders.
    const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    library_ = dlopen(where.c_str(), RTLD_LOCAL | RTLD_NOW);
    if (!library_) {
        const char* why = dlerror();
        return error = "cannot load " + path + ": " + (why ? why : "unknown error"), false;
    }
    void* symbol = dlsym(library_, "VSTPluginMain");
    entryName_ = "VSTPluginMain";
    if (!symbol) {
        symbol = dlsym(library_, "main");
        entryName_ = "main";
    }
    if (!symbol)
        return error = path + " exports neither VSTPluginMain nor main", false;
    return attach(reinterpret_cast<VstEntryProc>(symbol), error);
}

bool PluginHost_c::attach(VstEntryProc entry, std::string& error)
{
    if (effect_)
        return error = "a plug-in is already open", false;
    if (entryName_.empty())
        entryName_ = "entry";
    sActiveHost.store(this);
    AEffect* e = nullptr;
    try {
        e = entry(&PluginHost_c::callback);
    } catch (...) {
        return error = "the plug-in's " + entryName_ + " threw an exception", false;
    }
    if (!e)
        return error = "the plug-in's " + entryName_ + " returned no plug-in (null AEffect)", false;
    if (e->magic != kEffectMagic)
        return error = "bad AEffect magic " + hex32(uint32_t(e->magic)) + " (expected " +
                       hex32(uint32_t(kEffectMagic)) + ", 'VstP')",
               false;
    if (!e->dispatcher)
        return error = "the AEffect has no dispatcher", false;
    effect_ = e;
    return true;
}

intptr_t PluginHost_c::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    if (!effect_)
        return 0;
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string PluginHost_c::queryText(int32_t opcode, int32_t index, intptr_t value, size_t cap,
                                    intptr_t* answer)
{
    TextGuard_c guard(cap);
    guard.armForText();
    const intptr_t result = dispatch(opcode, index, value, guard.data());
    if (answer)
        *answer = result;
    const std::string problem = guard.check();
    if (!problem.empty())
        fault(dispatcherOpcodeName(opcode) + " (opcode " + std::to_string(opcode) + ", index " +
              std::to_string(index) + ") " + problem);
    return guard.text();
}

bool PluginHost_c::queryPin(int32_t opcode, int32_t index, VstPinProperties& pin)
{
    GuardedBuffer_c guard(sizeof(VstPinProperties), sizeof(VstPinProperties) + kGuardedTextBytes);
    guard.armForRecord();
    const intptr_t result = dispatch(opcode, index, 0, guard.data());
    const std::string where = dispatcherOpcodeName(opcode) + " (opcode " + std::to_string(opcode) +
                              ", index " + std::to_string(index) + ") ";
    std::string problem = guard.checkCanary();
    if (problem.empty())
        problem = guard.checkTerminated(offsetof(VstPinProperties, label), kPinLabelBytes);
    if (problem.empty())
        problem = guard.checkTerminated(offsetof(VstPinProperties, shortLabel), kPinShortLabelBytes);
    if (!problem.empty())
        fault(where + problem);
    std::memcpy(&pin, guard.data(), sizeof pin);
    // Terminate the copies whatever the plug-in did, for the caller's sake.
    pin.label[sizeof pin.label - 1] = 0;
    pin.shortLabel[sizeof pin.shortLabel - 1] = 0;
    return result != 0;
}

void PluginHost_c::close()
{
    if (!effect_)
        return;
    AEffect* e = effect_;
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    effect_ = nullptr; // the plug-in deleted its object
}

void PluginHost_c::setTimeline(const MidiSong& song, double sampleRate)
{
    timeMap_ = std::make_unique<TimeMap_c>(song, sampleRate);
}

void PluginHost_c::setTransport(int64_t frame, bool playing, bool changed)
{
    frame_.store(frame);
    playing_.store(playing);
    changed_.store(changed);
}

void PluginHost_c::fault(const std::string& what)
{
    {
        std::lock_guard lock(records_);
        faults_.push_back(what);
    }
    if (settings_.faultStream)
        *settings_.faultStream << "tessel-host: fault: " << what << std::endl;
}

std::vector<std::string> PluginHost_c::faults() const
{
    std::lock_guard lock(records_);
    return faults_;
}

std::vector<PluginHost_c::Automation> PluginHost_c::automation() const
{
    std::lock_guard lock(records_);
    return automation_;
}

intptr_t PluginHost_c::callback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                float opt)
{
    (void)effect;
    PluginHost_c* host = sActiveHost.load();
    if (!host)
        return opcode == audioMasterVersion ? kHostVstVersion : 0;
    // Nothing may unwind into the plug-in's C frames.
    try {
        return host->answer(opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

intptr_t PluginHost_c::answer(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    (void)value;
    switch (opcode) {
    case audioMasterAutomate: {
        automationCount_.fetch_add(1);
        std::lock_guard lock(records_);
        if (automation_.size() < kMaxAutomationRecords)
            automation_.push_back({index, opt});
        return 0;
    }
    case audioMasterVersion:
        return kHostVstVersion;
    case audioMasterPinConnected:
        return 0; // 0 means connected: every pin the host reads is
    case audioMasterWantMidi:
        wantsMidi_.store(true);
        return 1;
    case audioMasterGetTime: {
        timeRequests_.fetch_add(1);
        // One record per calling thread, refreshed on each request, so a
        // plug-in thread never reads a record the render thread is writing.
        thread_local VstTimeInfo info;
        info = makeTimeInfo(*timeMap_, frame_.load(), playing_.load(), changed_.load());
        return reinterpret_cast<intptr_t>(&info);
    }
    case audioMasterProcessEvents: {
        if (!ptr)
            return 0;
        const auto* events = static_cast<const VstEvents*>(ptr);
        if (events->numEvents < 0) {
            fault("audioMasterProcessEvents (host opcode 8) with a negative event count");
            return 0;
        }
        eventsFromPlugin_.fetch_add(uint64_t(events->numEvents));
        return 1;
    }
    case audioMasterGetVendorString:
        if (!ptr)
            return 0;
        copyHostText(ptr, kHostVendor, kVstMaxVendorStrLen);
        return 1;
    case audioMasterGetProductString:
        if (!ptr)
            return 0;
        copyHostText(ptr, kHostProduct, kVstMaxProductStrLen);
        return 1;
    case audioMasterCanDo:
        return ptr ? canDo(static_cast<const char*>(ptr)) : 0;
    case audioMasterUpdateDisplay:
        displayUpdates_.fetch_add(1);
        return 1;
    case audioMasterBeginEdit:
        beginEdits_.fetch_add(1);
        return 1;
    case audioMasterEndEdit:
        endEdits_.fetch_add(1);
        return 1;
    default:
        return 0;
    }
}

intptr_t PluginHost_c::canDo(const char* what) const
{
    if (std::strcmp(what, "supplyIdle") == 0)
        return settings_.supplyIdle ? 1 : 0;
    static constexpr const char* kYes[] = {"sendVstEvents", "receiveVstEvents", "sendVstMidiEvent",
                                           "receiveVstMidiEvent", "sendVstTimeInfo"};
    for (const char* yes : kYes)
        if (std::strcmp(what, yes) == 0)
            return 1;
    return 0;
}

} // namespace Host
