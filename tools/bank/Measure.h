// What the bank checks measure in a rendered program: levels against the
// bank's level rules, and a few features by which two programs are told
// apart without listening (level, spectrum, stereo width, time envelope).
#pragma once

#include "PluginSession.h"

#include <array>
#include <string>
#include <vector>

namespace Bank {

// The level rules, at 48 kHz: the test chord never peaks above ChordPeakDb on
// any output, and middle C's loudest 300 ms lie between the two RMS bounds
// (both channels of the main pair together).
constexpr double ChordPeakDb = -1.0;
constexpr double NoteRmsLowDb = -24.0;
constexpr double NoteRmsHighDb = -10.0;
constexpr double LoudestWindowSeconds = 0.3;
// The notes are held this long; the renders go on for the tail after it.
constexpr double HoldSeconds = 1.5;
constexpr double TailSeconds = 1.0;
constexpr int TestVelocity = 100;
// The instrument names middle C (key 60) "C3", and so do the rules: the
// chord C3 E3 G3 C4 E4 G4 B4 C5 starts at middle C.
constexpr int MiddleC = 60;
constexpr std::array<int, 8> ChordKeys{60, 64, 67, 72, 76, 79, 83, 84};

// Decibels of a linear amplitude, with a floor for silence.
double toDb(double linear);

// The main pair a listener with two speakers hears: a six-output render (L,
// R, C, Lfe, Ls, Rs) folded as the instrument folds it for a stereo host,
// each side taking its front and rear channel and the centre at half power
// (Lfe left out); a two-output render as it is. The level, stereo and print
// measures below all read this pair, so both builds are held to the same
// rules; only the peak reads every output. (The level measure adds the
// channels' powers, as the fold does; the folded signals serve the stereo
// and spectrum measures.)
Audio stereoFold(const Audio& a);

// The largest magnitude on any output, in dBFS.
double peakDb(const Audio& a);
// When the largest magnitude occurs, in seconds from the start.
double peakSeconds(const Audio& a);
// The highest RMS of any window of `seconds`, over the main pair together
// (the mean power of left and right), in dBFS. Windows step by a tenth of
// their length.
double loudestWindowDb(const Audio& a, double seconds);
// Power of the side (L-R)/2 over the mid (L+R)/2 of the main pair, in dB:
// about -200 for a mono signal, 0 when the sides are unrelated.
double sideToMidDb(const Audio& a);
// The share of the power that reaches outputs 3..6 of a six-output build, in
// dB of the whole (very low for a program that stays in the front pair).
double surroundShareDb(const Audio& a);
// The centre of gravity of the main pair's spectrum, in Hz: where a sound's
// power lies, dark or bright.
double spectralCentroidHz(const Audio& a);
// The frequency of the strongest bin of the main pair's spectrum, in Hz.
double strongestHz(const Audio& a);
// Whether every sample of every output is finite.
bool allFinite(const Audio& a);

// The features two programs are compared by.
struct SoundPrint
{
    double levelDb = -200.0;  // loudest 300 ms
    double widthDb = -200.0;  // side to mid
    // Power in third-octave bands from 50 Hz to 16 kHz of the main pair,
    // relative to the loudest band, floored at -40 dB.
    std::vector<double> spectrumDb;
    // RMS of 50 ms frames over the whole render, left then right, relative
    // to the loudest, floored at -40 dB: attack, decay, release, rhythm.
    std::vector<double> envelopeDb;
};

SoundPrint soundPrint(const Audio& a);

// How far apart two prints are in each respect, and whether that is enough
// to hear. The thresholds are generous on purpose: a program differs when
// its level moves by 3 dB, its spectrum by 3 dB on average over the bands,
// its stereo width by 6 dB (between signals that have any), or its time
// envelope by 6 dB on average over the frames.
struct PrintDistance
{
    double levelDb = 0, spectrumDb = 0, widthDb = 0, envelopeDb = 0;
    bool audible() const;
    std::string describe() const;
};

PrintDistance distance(const SoundPrint& a, const SoundPrint& b);

} // namespace Bank
