// VelaGlo_c ('SYG2'): the program's global part. It holds every setting of a
// Tessel3 program that belongs to no single sound module: which generator
// type sits in each of the four slots and whether the slot plays, how slots
// 1->2 and 3->4 cross-modulate, the two filter paths' kind, type and envelope
// depth, the main and slot volumes, the modulation matrix rows, the six
// effect slots' types, switches and wet levels, the 5.1 panner switches, the
// analog drift, and a block of editor state (sample display scroll and zoom,
// zone selection, module file menus, export paths).
//
// Nothing is computed here: the voice, the instrument part, the module graph
// and the editor read these values by number (the Para_t names below). The
// numbers, names, ranges and item texts are part of the stored program
// format and of the host's parameter list: never renumber or rename them.
//
// Threads: getParaSetPtr while the plug-in opens (audio stopped); reads on
// any thread through Part_c (the audio thread reads the render parameters).
#pragma once

#include "CodedEnuData.h"
#include "Part.h"

constexpr int TypeCodeVelaGlo = 0x53594732; // 'SYG2'

class VelaGlo_c : public Part_c
{
public:
    // Parameter numbers. Runs of like parameters are given by their first.
    enum Para_t : int {
        gpPrgName = 1,
        gpMainVol = 2,
        gpScaleCentre = 3,
        gpDetune = 4,
        gpFilterType0 = 5,
        gpEnvDepth0 = 6,
        gpEnvInv0 = 7,
        gpModSource = 8,  // 24 rows: source of row r at gpModSource + r
        gpModAmount = 32, // 24 rows
        gpModDest = 56,   // 24 rows
        gpMidiVolume = 80,
        gpMidiVelocity = 81,
        gpMidiWheel = 82,
        gpUnusedSpread = 83,
        gpUnusedGenMix = 84,
        gpUnusedText0 = 85,
        gpGen0Routing = 87,
        gpGenType0 = 90, // slots 1 and 2: 90, 91
        gpGenOn0 = 92,   // 92, 93
        gpVoices = 96,
        gpEffType0 = 97,
        gpEffOn0 = 98,
        gpEffType1 = 99,
        gpEffOn1 = 100,
        gpGen2Routing = 101,
        gpGenType2 = 102, // slots 3 and 4: 102, 103
        gpGenOn2 = 104,   // 104, 105
        gpVarType0 = 106, // 106, 107: ladder (0) or morphing (1) filter
        gpEffXType0 = 108, // insert slot k: type 108 + 2k, switch 109 + 2k
        gpEffXOn0 = 109,
        gpVarOn0 = 116, // 116, 117
        gpCutKeyF0 = 118,
        gpFilterType1 = 120,
        gpEnvDepth1 = 121,
        gpEnvInv1 = 122,
        gpSF2Path0 = 123, // 123, 124
        gpModActive = 125, // 24 rows
        gpLFOPerm0 = 149,  // 149..152
        gpEnvSel = 153,
        gpLFOSel = 154,
        gpSampleScrolling0 = 155, // loop sampler k: scrolling 155 + 3k, editing 156 + 3k, shown 157 + 3k
        gpSDZoom0 = 161,          // 161, 162
        gpSDSlider0 = 163,        // 163, 164
        gpSDSliderSize0 = 165,    // 165, 166
        gpVar0Env = 167,          // 167..173
        gpVelVol = 174,
        gpVelF1Cut = 175,
        gpVelF2Cut = 176,
        gpGenCent0 = 177, // 177..180
        gpGenVol0 = 181,  // 181..184
        gpKeys = 185,
        gpFxWet0 = 186,  // 186..191: send 1, send 2, insert 1..4
        gpPow51First = 192, // 192..198
        gpVar0Pan = 199,
        gpVar1Pan = 200,
        gpExactness = 201,
        gpFileIOEnv = 202, // 202..205
        gpVarVol0 = 206,   // 206, 207: output level of the filter paths
        gpFileIOGen0 = 208, // 208..211
        gpExportSample0 = 212, // 212..215
        gpExportWTG0 = 216,    // 216..219
        gpNewAnalogOsc = 220,
        ParaCount = 221
    };
    // Serial (insert) slot k's type and switch, k = 0..3.
    static constexpr int effXType(int k) { return gpEffXType0 + 2 * k; }
    static constexpr int effXOn(int k) { return gpEffXOn0 + 2 * k; }
    // Loop sampler k's editor state (k = 0, 1): the scrolled page, the zone
    // edited on it and the zone shown.
    static constexpr int sampleScrolling(int k) { return gpSampleScrolling0 + 3 * k; }
    static constexpr int sampleEditing(int k) { return gpSampleScrolling0 + 3 * k + 1; }
    static constexpr int sampleShown(int k) { return gpSampleScrolling0 + 3 * k + 2; }
    // Matrix rows defined (all are stored); the voice evaluates the first
    // ModRowsUsed of them.
    static constexpr int ModRows = 24;
    static constexpr int ModRowsUsed = 10;
    // Values of "Mod.Dest.": -1 (none) .. ModDestCount - 1.
    static constexpr int ModDestCount = 57;
    static constexpr int ModDestWidth = 16;

    VelaGlo_c() = default;
    ~VelaGlo_c() override = default;

    // Creates the set in *shared when it is null (type 'SYG2', nSets sets of
    // ParaCount parameters, this part its owner), binds it, and defines
    // parameters 1..220 of set 0 and spreads them when the set is new.
    // Parameter 0 stays undefined. Thread: opening.
    bool getParaSetPtr(ParaSet_c** shared, int nSets) override;
    using Part_c::getParaSetPtr;
    int getTypeCode() const override { return TypeCodeVelaGlo; }

    // The destination labels and their older forms, built with the set.
    const CodedEnuData_c& getModDestData() const { return modDest; }

private:
    CodedEnuData_c modDest;
};
