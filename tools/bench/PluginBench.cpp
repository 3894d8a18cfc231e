// The whole plug-in as a host runs it: loaded from its shared object through
// VSTPluginMain, opened at 48 kHz, 32 notes struck, audio pulled through
// processReplacing. Each iteration renders one second; "rtf" is the
// real-time factor (seconds of audio per second of CPU time), on the one
// thread that renders.
//
// PluginBlocks/BUILD/PATCH/FRAMES runs both builds and both patches at every
// block size of the table, the chord re-struck every second;
// StereoPluginThirtyTwoNotes is the stereo build's default program at 256
// frames with the 32 notes held, the figure the README has always quoted.
// The plug-ins are the ones built beside this tool, or those in the folder
// the environment variable TESSEL_BENCH_PLUGIN_DIR names.
#include "BenchPlugin.h"

#include <benchmark/benchmark.h>

namespace {

void renderSeconds(benchmark::State& state, Bench::Build build, Bench::Patch patch, int frames, bool restrike = true)
{
    Bench::ChordPlayer player(build, patch, frames, {}, restrike);
    if (!player.error.empty()) {
        state.SkipWithError(player.error.c_str());
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(player.second());
    const double seconds = player.secondFrames() / static_cast<double>(Bench::Rate);
    state.counters["rtf"] =
        benchmark::Counter(seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void StereoPluginThirtyTwoNotes(benchmark::State& state)
{
    renderSeconds(state, Bench::Build::Stereo, Bench::Patch::Default, 256, false);
}

// Registered at start-up: one benchmark per build, patch and block size.
const bool registered = [] {
    for (Bench::Build build : {Bench::Build::Stereo, Bench::Build::Surround})
        for (Bench::Patch patch : {Bench::Patch::Default, Bench::Patch::Heaviest})
            for (int frames : Bench::TableBlocks) {
                const std::string name = std::string("PluginBlocks/") + Bench::buildName(build) + "/" +
                                         Bench::patchName(patch) + "/" + std::to_string(frames);
                benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
                    renderSeconds(state, build, patch, frames);
                })->Unit(benchmark::kMillisecond);
            }
    return true;
}();

} // namespace

BENCHMARK(StereoPluginThirtyTwoNotes)->Unit(benchmark::kMillisecond)->MinTime(2.0);
