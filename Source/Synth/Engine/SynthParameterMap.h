// The engine's module registry and host parameter map: the tables that
// SynthParams.cpp (host parameter map) and SynthRegistry.cpp (registry) share.
// Private to the engine's sources.
#pragma once
#include "Capacities.h"
#include "EPAS.h"
#include "InBuffer2.h"
#include "PatchBay.h"
#include "RegMod.h"
#include "Synth.h"

#include <algorithm>
#include <cstdint>

struct Synth::ParameterMap_t
{
    ParameterMap_t()
    {
        std::fill(std::begin(selectorIndex), std::end(selectorIndex), -1);
        std::fill(std::begin(selectorStride), std::end(selectorStride), -1);
    }
    ~ParameterMap_t() { freeDescriptors(); }

    void freeDescriptors()
    {
        delete[] epas;
        epas = nullptr;
        delete[] links;
        links = nullptr;
        count = 0;
    }

    RegMod_t rows[RegModRows];
    int rowCount = 0;
    InBuffer2_c* buses[RegModBusCapacity] = {};
    int busCount = 0;
    AudioPatchBay_c patchBay{RouteTableCapacity, RouteTableCapacity, rows};

    EPAS_c* epas = nullptr;  // count descriptors
    int16_t* links = nullptr; // (count + 1) x EPASLinkSlots
    int count = 0;
    // A value copy: a write of source gives destination the same value.
    // Returning: the second half of a pair defined both ways, which runs
    // after writes of its source only, never in the copy after a load.
    struct CopyPair_t
    {
        int source = -1;
        int destination = -1;
        bool returning = false;
    };
    CopyPair_t copyPairs[ValueCopyPairCapacity] = {};
    int copyCount = 0;
    int selectorIndex[SelectorCount + 1];  // entry 0 unused
    int selectorStride[SelectorCount + 1];
    int dirtyMarker = -1;
};
