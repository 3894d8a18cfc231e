// The samples the factory bank plays, made from code: vowel-like formant
// tones, plucked and bowed tones, a bell, a harmonic sweep for the wavetable,
// breath noise and a small drum kit. They are written as 24-bit mono WAV
// files, a format the instrument reads itself, with the sustain loop in a
// 'smpl' chunk where a tone is meant to be held (the loop sampler takes a
// file's loop when it loads it).
//
// Everything is deterministic: the noise comes from a fixed-seed xorshift, so
// a rebuild writes the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Bank {

// The rate every generated sample is written at, in Hz.
constexpr int SampleRate = 48000;

struct SampleLoop
{
    int64_t start = 0; // first frame of the loop
    int64_t end = 0;   // last frame of the loop (as the 'smpl' chunk stores it)
};

struct GeneratedSample
{
    std::string file;         // "Vowel Ah C3.wav"
    int rootKey = 60;         // MIDI note at which it plays at its own pitch
    std::vector<float> frames; // mono, peak at -1 dBFS
    bool looped = false;
    SampleLoop loop;
};

// The samples of the bank, rendered: those named in `only`, or all of them
// when it is empty.
std::vector<GeneratedSample> renderSampleCatalogue(const std::vector<std::string>& only = {});

// The file names of the catalogue, without rendering.
std::vector<std::string> sampleCatalogueNames();

// Writes one sample as a 24-bit PCM mono WAV file (a looped one with a
// 'smpl' chunk giving its root key and loop) through a temporary file beside
// path. False with a reason.
bool writeWav24(const std::string& path, const GeneratedSample& sample, std::string& error);

// Renders the catalogue into folder (created when missing). False with a
// reason at the first file that could not be written.
bool writeSampleCatalogue(const std::string& folder, std::string& error);

// The frequency of a MIDI note in equal temperament with A4 = 440 Hz.
double noteHz(int key);

} // namespace Bank
