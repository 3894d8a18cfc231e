// The phrase the host plays when no MIDI file is given: four bars at 120
// beats per minute in 4/4, a melody over a walking bass (I - V, IV - V,
// vi - V) that resolves on a held C major chord. Built as a Standard MIDI
// File image, so the demo takes the same reading path as any file.
#pragma once

#include "MidiFile.h"

#include <cstdint>
#include <vector>

namespace Host {

// Format 1: a conductor track (tempo, time signature) and one note track.
std::vector<uint8_t> demoMidiFile();

MidiSong demoSong();

} // namespace Host
