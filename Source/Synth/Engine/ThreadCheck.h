// Debug-build checks of the engine's thread rules. The audio thread is the
// one inside the audio or event callback (Synth::AudioScope); an entry that
// touches files, allocates for the user or shows a message asserts it is not
// there, and an entry that only the callback may run asserts it is. Release
// builds compile both to nothing; the sanitizer builds are debug builds, so
// the tests check the rules as they run.
//
// The file using them includes Synth.h.
#pragma once

#include <cassert>

#define TESSEL_ASSERT_NOT_AUDIO_THREAD() assert(!Synth::onAudioThread() && "never on the audio thread")
#define TESSEL_ASSERT_AUDIO_THREAD() assert(Synth::onAudioThread() && "only on the audio thread")
