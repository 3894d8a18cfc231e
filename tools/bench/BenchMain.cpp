// tessel-bench: Google Benchmark's runs, or one of the tool's own modes
// (BenchModes.h) when the first argument names it.
#include "BenchModes.h"

#include <benchmark/benchmark.h>

#include <cstring>

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--table") == 0)
        return Bench::runTable(argc - 2, argv + 2);
    if (argc > 1 && std::strcmp(argv[1], "--compare") == 0)
        return Bench::runCompare(argc - 2, argv + 2);
    if (argc > 1 && std::strcmp(argv[1], "--play") == 0)
        return Bench::runPlay(argc - 2, argv + 2);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
