// The file names an opened plug-in's sample stores hold, for the tests that
// load, move and import programs with samples.
#pragma once

#include "Disk.h"
#include "Vela.h"
#include "WaveRAM.h"
#include "WaveRAM2.h"
#include "WaveTable.h"

#include <string>

namespace VelaSampleNames {

// The file of user sample slot k.
inline std::string userFile(Vela_c& vela, int k)
{
    Tool::Disk::Path_c p;
    vela.getUserSample(k)->getParaPath(0, WaveRAM_c::wrFilename, &p);
    return p.c_str();
}

// The file of wavetable store k.
inline std::string tableFile(Vela_c& vela, int k)
{
    Tool::Disk::Path_c p;
    vela.getWaveTable(k)->getParaPath(0, WaveTable_c::wtFilename, &p);
    return p.c_str();
}

// The file of zone z of multisample memory m ("" when the zone has none).
inline std::string zoneFile(Vela_c& vela, int m, int z)
{
    const char* name = vela.getMultiSample(m)->getSampleFilename(0, z);
    return name ? name : "";
}

} // namespace VelaSampleNames
