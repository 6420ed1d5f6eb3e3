#pragma once
// The benchmark program's registry: each bench/*.cpp adds named measurements that print the
// project's figure, the reference figure measured side by side in the same run, and their ratio.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

struct TBenchEntry {
  const char* Name;
  std::function<void()> Run;
};
std::vector<TBenchEntry>& BenchRegistry();

struct TBenchRegistrar {
  TBenchRegistrar(const char* name, std::function<void()> run) { BenchRegistry().push_back({name, std::move(run)}); }
};
#define VELMO_BENCH(name)                                           \
  static void name##_bench();                                       \
  static TBenchRegistrar name##_registrar(#name, &name##_bench);   \
  static void name##_bench()

// Seconds taken by f, best of `repeat` runs.
inline double BenchSeconds(const std::function<void()>& f, int repeat = 3) {
  double best = 1e300;
  for (int i = 0; i < repeat; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (s < best) best = s;
  }
  return best;
}

// One line: what was measured, ours, the reference, and reference / ours (or ours / reference
// when lowerIsBetterRatio is false, as the goal is stated).
inline void BenchReport(const char* what, const char* unit, double ours, const char* refName, double ref,
                        const char* ratioName, double ratio, const char* goal) {
  std::printf("%-44s velmo %12.4f %s | %s %12.4f %s | %s %.2f (goal: %s)\n", what, ours, unit, refName, ref, unit,
              ratioName, ratio, goal);
  std::fflush(stdout);
}
