// The benchmark program starts the toolkit's base library, which the test
// classes (worker threads) need, then runs every registered benchmark.
#include <benchmark/benchmark.h>
#include <wx/init.h>

int main(int argc, char** argv) {
  if (!wxInitialize()) return 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  wxUninitialize();
  return 0;
}
