// Loads one VST 2.4 plug-in and plays host to it: the entry call, the
// dispatcher with guarded buffers, and the host callback answering what the
// plug-in asks (version, time information, canDo, vendor strings, ...).
//
// Threads: everything here runs on the host's main thread, which is also
// the thread that renders. The plug-in may call the host callback from its
// own threads too (a plug-in timer, say), so every answer it reads or
// changes is atomic or behind the record mutex.
#pragma once

#include "MidiFile.h"
#include "TimeMap.h"
#include "VstInterface.h"

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace Host {

using VstEntryProc = AEffect* (*)(audioMasterCallback);

struct HostSettings
{
    // Answer canDo "supplyIdle" with 1 (the caller then calls effIdle); with
    // false the answer is 0 and a plug-in must keep its own idle timer.
    bool supplyIdle = true;
    // Faults are also printed here as they happen (null: only recorded).
    std::ostream* faultStream = nullptr;
};

// What the host tells the plug-in about itself (host opcodes 1, 32 and 33).
constexpr intptr_t kHostVstVersion = 2400;
constexpr const char* kHostVendor = "Tessel";
constexpr const char* kHostProduct = "tessel-host";

// The automation records kept for inspection; later ones are only counted.
constexpr size_t kMaxAutomationRecords = 4096;

// Printable name of a dispatcher opcode ("effGetParamName", ...).
std::string dispatcherOpcodeName(int32_t opcode);

class PluginHost_c
{
public:
    explicit PluginHost_c(HostSettings settings = {});
    ~PluginHost_c(); // closes the plug-in when still open, then unloads it
    PluginHost_c(const PluginHost_c&) = delete;
    PluginHost_c& operator=(const PluginHost_c&) = delete;

    // Opens the shared object (RTLD_LOCAL | RTLD_NOW), finds VSTPluginMain or
    // else main, and calls it. False with a reason on any failure.
    bool load(const std::string& path, std::string& error);
    // Calls an entry function directly (load's second half).
    bool attach(VstEntryProc entry, std::string& error);

    AEffect* effect() const { return effect_; }
    const std::string& entryName() const { return entryName_; }

    // The plug-in's dispatcher; 0 when no plug-in is open.
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f);

    // A text query through a canary-guarded buffer of which the plug-in may
    // use cap bytes. An overrun or a missing terminator is recorded as a
    // fault naming the opcode. answer receives the dispatcher's result.
    std::string queryText(int32_t opcode, int32_t index, intptr_t value, size_t cap,
                          intptr_t* answer = nullptr);
    // effGetOutputProperties / effGetInputProperties through a guarded record.
    bool queryPin(int32_t opcode, int32_t index, VstPinProperties& pin);

    // effClose. The plug-in object is gone afterwards.
    void close();

    // The song whose tempo and bars the time information reports; call
    // before the plug-in is loaded or while it cannot ask for the time.
    void setTimeline(const MidiSong& song, double sampleRate);
    // The block about to be processed: its first frame, whether the
    // transport runs, and whether it just started.
    void setTransport(int64_t frame, bool playing, bool changed);

    void fault(const std::string& what);
    std::vector<std::string> faults() const;

    // What the plug-in told the host.
    struct Automation
    {
        int32_t index;
        float value;
    };
    std::vector<Automation> automation() const;
    uint64_t automationCount() const { return automationCount_.load(); }
    uint64_t timeRequests() const { return timeRequests_.load(); }
    uint64_t eventsFromPlugin() const { return eventsFromPlugin_.load(); }
    uint64_t displayUpdates() const { return displayUpdates_.load(); }
    uint64_t beginEdits() const { return beginEdits_.load(); }
    uint64_t endEdits() const { return endEdits_.load(); }
    bool wantsMidi() const { return wantsMidi_.load(); }
    const HostSettings& settings() const { return settings_; }

    // The host callback handed to the plug-in.
    static intptr_t callback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                             float opt);

private:
    intptr_t answer(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
    intptr_t canDo(const char* what) const;

    HostSettings settings_;
    void* library_ = nullptr;
    AEffect* effect_ = nullptr;
    std::string entryName_;

    std::unique_ptr<TimeMap_c> timeMap_;
    std::atomic<int64_t> frame_{0};
    std::atomic<bool> playing_{false};
    std::atomic<bool> changed_{false};

    mutable std::mutex records_; // guards faults_ and automation_
    std::vector<std::string> faults_;
    std::vector<Automation> automation_;
    std::atomic<uint64_t> automationCount_{0};
    std::atomic<uint64_t> timeRequests_{0};
    std::atomic<uint64_t> eventsFromPlugin_{0};
    std::atomic<uint64_t> displayUpdates_{0};
    std::atomic<uint64_t> beginEdits_{0};
    std::atomic<uint64_t> endEdits_{0};
    std::atomic<bool> wantsMidi_{false};
};

} // namespace Host
