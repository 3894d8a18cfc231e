// A store of a few zone samples that shares data between zones loaded from
// the same file and hands it over on destructive edits, as the multisample
// memory does: the smallest owner that shows the sharing rules at work.
#pragma once

#include "SampleInfo.h"
#include "WaveSample.h"

#include <array>

template <int N>
class SampleTestStore : public WaveBase_c
{
public:
    SampleTestStore()
    {
        for (int z = 0; z < N; ++z) {
            SampleInfo_c id;
            id.set(0, z, SampleInfo_c::kindNormal);
            zones[z].setBackRef(id, this);
            ptrs[z] = &zones[z];
        }
    }

    // Loads frames of data into zone z under the file name, or borrows
    // another zone's data when that zone holds the same file.
    void load(int z, const char* file, const float* data, int frames)
    {
        WaveSample_c& s = zones[z];
        s.lock.getWritePermission();
        s.freeSample();
        s.info.setFilename(Tool::Disk::Path_c(file));
        for (int other = 0; other < N; ++other) {
            if (other != z && s.isVirtuallySame(&zones[other])) {
                if (zones[other].info.isNormal())
                    zones[other].info.setMaster();
                s.beVirtual(&zones[other]);
                s.lock.releaseWritePermission();
                return;
            }
        }
        float *l = nullptr, *r = nullptr;
        s.getBufferFor(frames, 1, &l, &r);
        for (int i = 0; i < frames; ++i)
            l[i] = data[i];
        s.info.setFilename(Tool::Disk::Path_c(file));
        s.sampleRate = 44100;
        s.lock.releaseWritePermission();
    }

    // A destructive edit of zone z under its write permission.
    void reverse(int z, bool on)
    {
        zones[z].lock.getWritePermission();
        zones[z].setReversed(on, false);
        zones[z].lock.releaseWritePermission();
    }

    void prepareDestructiveOperation(SampleInfo_c& info) override
    {
        if (info.isVirtual())
            prepareDestructiveVirtual(info);
        else if (info.isMaster())
            prepareDestructiveMaster(info);
    }
    void prepareDestructiveVirtual(SampleInfo_c& info) override { zones[info.getSampleIdx()].unVirtual(); }
    void prepareDestructiveMaster(SampleInfo_c& info) override
    {
        WaveSample_c::passMasterRole(&zones[info.getSampleIdx()], ptrs.data(), N);
    }

    std::array<WaveSample_c, N> zones;
    std::array<WaveSample_c*, N> ptrs{};
};
