// The two modes of tessel-bench besides Google Benchmark's own runs.
#pragma once

namespace Bench {

// --table: the real-time factor of both builds and both patches at every
// block size of the table, best of several repetitions, as a Markdown table.
// Answers the process's exit status.
int runTable(int argc, char** argv);

// --compare DIR: renders both patches through the plug-ins of DIR (built
// from an earlier commit) and through those built beside this tool, at
// several block sizes with notes at odd frames, and reports per case whether
// the outputs are bit-identical or how far apart they are. Answers 1 when a
// case differs by more than the tolerance.
int runCompare(int argc, char** argv);

// --play BUILD PATCH FRAMES SECONDS: one plug-in renders the chord for that
// long and nothing is timed, for a profiler (perf, callgrind) to watch.
// BUILD is Stereo or 51, PATCH DefaultProgram, HeaviestPatch or
// PannedProgram.
int runPlay(int argc, char** argv);

} // namespace Bench
