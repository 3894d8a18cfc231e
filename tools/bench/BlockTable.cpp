// tessel-bench --table [--repetitions N] [--seconds S]
//
// For each patch, build and block size: a fresh plug-in plays the chord
// (ChordPlayer), renders a warm-up second, then N repetitions of S seconds;
// the best repetition's real-time factor counts (a shared machine only ever
// makes a run slower). "cost" is the CPU time of the same audio relative to
// 256-frame blocks of the same build and patch.
#include "BenchModes.h"
#include "BenchPlugin.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>
#include <map>
#include <string>

namespace Bench {

namespace {

double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

bool readCount(const char* text, int& out)
{
    const char* end = text + std::strlen(text);
    const auto result = std::from_chars(text, end, out);
    return result.ec == std::errc() && result.ptr == end && out > 0;
}

// The best real-time factor of `repetitions` runs of `seconds` seconds; 0
// with the reason in error when the plug-in did not play.
double bestFactor(Build build, Patch patch, int frames, int repetitions, int seconds, std::string& error)
{
    ChordPlayer player(build, patch, frames);
    if (!player.error.empty()) {
        error = player.error;
        return 0.0;
    }
    volatile float sink = player.second();
    double best = 0.0;
    for (int r = 0; r < repetitions; ++r) {
        const double start = threadSeconds();
        for (int s = 0; s < seconds; ++s)
            sink = sink + player.second();
        const double used = threadSeconds() - start;
        const double audio = seconds * player.secondFrames() / static_cast<double>(Rate);
        if (used > 0.0 && audio / used > best)
            best = audio / used;
    }
    return best;
}

} // namespace

int runTable(int argc, char** argv)
{
    int repetitions = 5, seconds = 2;
    for (int i = 0; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--repetitions") == 0 && hasValue && readCount(argv[i + 1], repetitions))
            ++i;
        else if (std::strcmp(argv[i], "--seconds") == 0 && hasValue && readCount(argv[i + 1], seconds))
            ++i;
        else {
            std::fprintf(stderr, "usage: tessel-bench --table [--repetitions N] [--seconds S]\n");
            return 2;
        }
    }
    std::printf("32 voices, 48 kHz, re-struck every second; real-time factor, best of %d x %d s; "
                "cost = CPU time relative to 256-frame blocks\n",
                repetitions, seconds);
    for (Patch patch : {Patch::Default, Patch::Heaviest}) {
        std::printf("\n%s\n\n| block | Stereo | cost | 5.1 | cost |\n|---|---|---|---|---|\n", patchName(patch));
        std::map<std::pair<int, int>, double> factor;
        for (int frames : TableBlocks)
            for (Build build : {Build::Stereo, Build::Surround}) {
                std::string error;
                factor[{frames, static_cast<int>(build)}] = bestFactor(build, patch, frames, repetitions, seconds, error);
                if (!error.empty()) {
                    std::fprintf(stderr, "tessel-bench: %s\n", error.c_str());
                    return 1;
                }
            }
        for (int frames : TableBlocks) {
            std::printf("| %d |", frames);
            for (Build build : {Build::Stereo, Build::Surround}) {
                const double f = factor[{frames, static_cast<int>(build)}];
                const double at256 = factor[{256, static_cast<int>(build)}];
                std::printf(" %.1fx | %.2f |", f, at256 / f);
            }
            std::printf("\n");
        }
    }
    return 0;
}

int runPlay(int argc, char** argv)
{
    int frames = 0, seconds = 0;
    int patchIndex = -1;
    constexpr Patch Patches[] = {Patch::Default, Patch::Heaviest, Patch::Panned};
    for (int k = 0; argc == 4 && k < static_cast<int>(std::size(Patches)); ++k)
        if (std::strcmp(argv[1], patchName(Patches[k])) == 0)
            patchIndex = k;
    if (argc != 4 || (std::strcmp(argv[0], "Stereo") != 0 && std::strcmp(argv[0], "51") != 0) || patchIndex < 0 ||
        !readCount(argv[2], frames) || !readCount(argv[3], seconds)) {
        std::fprintf(stderr, "usage: tessel-bench --play Stereo|51 DefaultProgram|HeaviestPatch|PannedProgram FRAMES "
                             "SECONDS\n");
        return 2;
    }
    const Build build = std::strcmp(argv[0], "Stereo") == 0 ? Build::Stereo : Build::Surround;
    const Patch patch = Patches[patchIndex];
    ChordPlayer player(build, patch, frames);
    if (!player.error.empty()) {
        std::fprintf(stderr, "tessel-bench: %s\n", player.error.c_str());
        return 1;
    }
    float sum = 0.0f;
    for (int s = 0; s < seconds; ++s)
        sum += player.second();
    std::printf("%g\n", static_cast<double>(sum));
    return 0;
}

} // namespace Bench
