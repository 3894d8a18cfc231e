// tessel-bench --compare DIR [--tolerance DB]
//
// Holds a change to the engine's speed to what it promised about the sound:
// both builds play the default program, the heaviest patch and the default
// program with every 5.1 panner on (the paths' panners read the voices' path
// buses) through the plug-ins in DIR (built from the commit before the
// change) and through those built beside this tool, at
// block sizes from 32 frames to 1024 (and 100, which no control step
// divides). The phrase strikes the chord, lets half of it go, re-strikes it
// and releases it into the effects' tails, every event at a frame inside a
// block, so a moved event shows as a difference. Each case reports
// "identical" (every sample bit for bit) or the largest difference relative
// to the output's peak in dB; a case above the tolerance (default -100 dB)
// fails the run.
#include "BenchModes.h"
#include "BenchPlugin.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace Bench {

namespace {

constexpr int CompareBlocks[] = {32, 64, 100, 256, 1024};
constexpr int PhraseFrames = 3 * SecondFrames;

struct PhraseEvent
{
    int frame;    // absolute frame of the phrase
    int first;    // first key
    int step;     // key step
    int count;    // keys
    int velocity; // 0: note-off
};

// The chord (32 keys a whole tone apart from C2) on, every other key off, the
// chord re-struck, then all of it off; frames no block size divides.
constexpr PhraseEvent Phrase[] = {
    {1003, 36, 2, HeldNotes, 100},
    {30011, 36, 4, HeldNotes / 2, 0},
    {48005, 36, 2, HeldNotes, 0},
    {48005, 36, 2, HeldNotes, 90},
    {96007, 36, 2, HeldNotes, 0},
};

// Every output channel of the phrase, channel after channel; empty with the
// reason in error when the plug-in did not play.
std::vector<float> renderPhrase(const std::string& path, Patch patch, int frames, std::string& error)
{
    LoadedPlugin plugin(path, frames);
    if (!plugin.error.empty()) {
        error = plugin.error;
        return {};
    }
    if (!loadPatch(plugin, patch)) {
        error = path + " did not take " + patchName(patch);
        return {};
    }
    const int channels = plugin.outputCount();
    std::vector<float> out(static_cast<size_t>(channels) * PhraseFrames);
    for (int at = 0; at < PhraseFrames; at += frames) {
        for (const PhraseEvent& e : Phrase)
            if (e.frame >= at && e.frame < at + frames)
                plugin.chord(e.first, e.step, e.count, e.velocity, e.frame - at);
        plugin.block();
        const int n = std::min(frames, PhraseFrames - at);
        for (int c = 0; c < channels; ++c)
            std::copy_n(plugin.output(c), n, out.begin() + static_cast<long>(c) * PhraseFrames + at);
    }
    return out;
}

bool readDecibels(const char* text, double& out)
{
    const char* end = text + std::strlen(text);
    const auto result = std::from_chars(text, end, out);
    return result.ec == std::errc() && result.ptr == end;
}

} // namespace

int runCompare(int argc, char** argv)
{
    double toleranceDb = -100.0;
    std::string baseline;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--tolerance") == 0 && i + 1 < argc && readDecibels(argv[i + 1], toleranceDb))
            ++i;
        else if (baseline.empty() && argv[i][0] != '-')
            baseline = argv[i];
        else
            baseline.clear(), i = argc;
    }
    if (baseline.empty()) {
        std::fprintf(stderr, "usage: tessel-bench --compare BASELINE_PLUGIN_DIR [--tolerance DB]\n");
        return 2;
    }
    std::printf("%s against %s, tolerance %.1f dB of the peak\n\n| build | patch | block | result |\n"
                "|---|---|---|---|\n",
                TESSEL_BENCH_PLUGIN_DIR, baseline.c_str(), toleranceDb);
    bool allWithin = true;
    for (Build build : {Build::Stereo, Build::Surround})
        for (Patch patch : {Patch::Default, Patch::Heaviest, Patch::Panned})
            for (int frames : CompareBlocks) {
                std::string error;
                const std::vector<float> before = renderPhrase(pluginPath(build, baseline), patch, frames, error);
                const std::vector<float> after = before.empty() ? before : renderPhrase(pluginPath(build), patch, frames, error);
                if (!error.empty() || before.size() != after.size()) {
                    std::fprintf(stderr, "tessel-bench: %s\n", error.empty() ? "the builds differ in outputs" : error.c_str());
                    return 1;
                }
                double peak = 0.0, largest = 0.0;
                size_t differing = 0;
                for (size_t k = 0; k < before.size(); ++k) {
                    peak = std::max(peak, std::fabs(static_cast<double>(before[k])));
                    const double d = std::fabs(static_cast<double>(after[k]) - before[k]);
                    largest = std::max(largest, d);
                    differing += std::memcmp(&before[k], &after[k], sizeof(float)) != 0;
                }
                std::string result = "identical";
                if (differing > 0) {
                    const double db = largest > 0.0 && peak > 0.0 ? 20.0 * std::log10(largest / peak) : 0.0;
                    char text[128];
                    std::snprintf(text, sizeof text, "%zu of %zu samples differ, at most %.1f dB of the peak%s",
                                  differing, before.size(), db, db > toleranceDb ? " (ABOVE TOLERANCE)" : "");
                    result = text;
                    allWithin &= db <= toleranceDb;
                }
                if (peak == 0.0) {
                    result += " (SILENT)";
                    allWithin = false;
                }
                std::printf("| %s | %s | %d | %s |\n", buildName(build), patchName(patch), frames, result.c_str());
            }
    return allWithin ? 0 : 1;
}

} // namespace Bench
