// A scriptable host for engine tests: the product and vendor strings, which
// output pins are connected, whether it supplies idle, and the time
// information it hands out. One host is current at a time (the callback has
// no user pointer); install it before the engine is built.
#pragma once

#include "VstInterface.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct EngineTestHost
{
    std::string product = "Test Host";
    std::string vendor = "Test Vendor";
    // Bit i set: output pin i is connected.
    std::atomic<unsigned> connectedPins{0xFFFFFFFFu};
    bool suppliesIdle = true;
    // Bytes to write for the product string, without a terminator (0: the text
    // with its terminator).
    int productRawBytes = 0;
    VstTimeInfo time = {};
    bool giveTime = false;
    std::atomic<int> updateDisplayCalls{0};
    std::atomic<int> wantEventsCalls{0};
    // What the plug-in told the host of its parameters, in order: automation
    // (audioMasterAutomate) and the gestures around it (begin and end edit).
    struct ParameterCall
    {
        int opcode;
        int index;
    };
    std::mutex parameterCallsMutex;
    std::vector<ParameterCall> parameterCalls;
    std::vector<ParameterCall> takeParameterCalls()
    {
        std::lock_guard<std::mutex> lock(parameterCallsMutex);
        return std::exchange(parameterCalls, {});
    }

    static inline std::atomic<EngineTestHost*> current{nullptr};

    EngineTestHost() { current = this; }
    ~EngineTestHost() { current = nullptr; }
    EngineTestHost(const EngineTestHost&) = delete;
    EngineTestHost& operator=(const EngineTestHost&) = delete;

    static intptr_t callback(AEffect*, int32_t opcode, int32_t index, intptr_t value, void* ptr, float)
    {
        EngineTestHost* host = current.load();
        if (!host)
            return opcode == audioMasterVersion ? 2400 : 0;
        switch (opcode) {
        case audioMasterVersion:
            return 2400;
        case audioMasterPinConnected:
            // 0 means connected.
            return index >= 0 && index < 32 && (host->connectedPins.load() >> index) & 1u ? 0 : 1;
        case audioMasterGetTime:
            (void)value;
            return host->giveTime ? reinterpret_cast<intptr_t>(&host->time) : 0;
        case audioMasterGetProductString:
            if (host->productRawBytes > 0) {
                std::memset(ptr, 'x', static_cast<size_t>(host->productRawBytes));
                std::memcpy(ptr, host->product.data(), host->product.size());
            } else {
                std::strcpy(static_cast<char*>(ptr), host->product.c_str());
            }
            return 1;
        case audioMasterGetVendorString:
            std::strcpy(static_cast<char*>(ptr), host->vendor.c_str());
            return 1;
        case audioMasterCanDo:
            if (std::strcmp(static_cast<const char*>(ptr), "supplyIdle") == 0)
                return host->suppliesIdle ? 1 : -1;
            return 0;
        case audioMasterUpdateDisplay:
            ++host->updateDisplayCalls;
            return 1;
        case audioMasterWantMidi:
            ++host->wantEventsCalls;
            return 1;
        case audioMasterAutomate:
        case audioMasterBeginEdit:
        case audioMasterEndEdit: {
            std::lock_guard<std::mutex> lock(host->parameterCallsMutex);
            host->parameterCalls.push_back({opcode, index});
            return 0;
        }
        default:
            return 0;
        }
    }
};
