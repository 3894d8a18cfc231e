// VelaTone_c: one voice of the instrument. Stand-in until the voice is
// assembled: it has no generators, filters or panners, so it has nothing to
// render and reports itself finished at once (Tone_c::render). It keeps the
// fold-to-stereo request that its four 5.1 panners will follow.
#pragma once

#include "Tone.h"

#include <atomic>

class VelaTone_c : public Tone_c
{
public:
    VelaTone_c() : Tone_c(false) {}
    ~VelaTone_c() override = default;

    // Fold the voice's 5.1 panners into the front pair. Thread: opening, or
    // the audio thread through the output check.
    void setForceStereo(bool on) { forceStereo.store(on); }
    bool getForceStereo() const { return forceStereo.load(); }

private:
    std::atomic<bool> forceStereo{false};
};
