// Timing for the benchmarks: the median of repeated runs, on one core.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace bench {

// Runs `body` `repeats` times after a warm-up and returns the median
// duration of one run in seconds.
template <typename F>
double median_seconds(int repeats, F&& body) {
  body();
  std::vector<double> times;
  times.reserve(repeats);
  for (int i = 0; i < repeats; ++i) {
    auto start = std::chrono::steady_clock::now();
    body();
    auto end = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double>(end - start).count());
  }
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}

inline void report(const char* name, double value, const char* unit) {
  std::printf("%s %.3f %s\n", name, value, unit);
  std::fflush(stdout);
}

// Keeps the optimiser from discarding a result.
template <typename T>
inline void keep(const T& value) {
  asm volatile("" : : "g"(&value) : "memory");
}

}  // namespace bench
