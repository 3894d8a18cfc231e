// VelaInst_c: the Tessel3 instrument, one per plug-in. For now it is a plain
// MIDI instrument with no voice modules, effects or buses of its own; the
// instrument definition builds it out (sequencers, panners, effect chain).
#pragma once

#include "Instrument.h"

class VelaInst_c : public Instrument_c
{
public:
    // outputs: the instrument's output channels (6 in the 5.1 build, 2 in stereo).
    explicit VelaInst_c(int outputs) : Instrument_c(outputs) {}
};
