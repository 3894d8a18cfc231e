// The figures most engine tests build their engine with: one instrument, eight
// programs, sixteen parameter slots of which eight reach the host, four
// voices; the test names the engine (product and code name alike), the
// identifiers it accepts and its outputs.
#pragma once

#include "Synth.h"

namespace EngineTest {

inline SynthFigures smallFigures(const char* name, const char* acceptedIds, int stereoPairs = 1, int monoOutputs = 0)
{
    return {.programs = 8,
            .parameterSlots = 16,
            .hostParameters = 8,
            .voices = 4,
            .stereoPairs = stereoPairs,
            .monoOutputs = monoOutputs,
            .productName = name,
            .acceptedIds = acceptedIds,
            .versionText = "1.0",
            .codeName = name};
}

} // namespace EngineTest
