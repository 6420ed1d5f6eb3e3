// The benchmark program: runs every registered measurement, or those whose names are given.
#include <cstring>

#include "Bench.h"
#include "foundation/Parallel.h"

std::vector<TBenchEntry>& BenchRegistry() {
  static std::vector<TBenchEntry> r;
  return r;
}

int main(int argc, char** argv) {
  // As the program does at start-up.
  StartParallelWorkers();
  for (auto& e : BenchRegistry()) {
    bool selected = argc < 2;
    for (int i = 1; i < argc; ++i) selected |= std::strcmp(argv[i], e.Name) == 0;
    if (!selected) continue;
    std::printf("== %s\n", e.Name);
    e.Run();
  }
  return 0;
}
