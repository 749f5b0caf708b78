// The one place that asks the CPU which instruction sets it has.
#include <algorithm>
#include <cstdio>
#include <thread>
#if defined(__linux__)
#include <sched.h>
#endif
#include <cstdlib>

#include "platform/cpu/cpu.h"

namespace cpu {

namespace {

constexpr const char* kNames[] = {"scalar", "sse2", "avx2", "avx512"};

// The widest level the CPU offers among those the build has kernels for
// (the build decides by architecture: see the top CMakeLists.txt).
SimdLevel ask_cpu() {
#if defined(TUULI_KERNELS_AVX)
  // libgcc also checks that the operating system saves the ymm and zmm
  // registers (XGETBV), not only that the CPU has the instructions.
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl")) return SimdLevel::avx512;
  if (__builtin_cpu_supports("avx2")) return SimdLevel::avx2;
  return SimdLevel::sse2;
#elif defined(TUULI_KERNELS_SSE2)
  // SSE2 is part of x86-64 itself, and WebAssembly built with -msse2
  // carries it out in its own 128-bit SIMD.
  return SimdLevel::sse2;
#else
  return SimdLevel::scalar;
#endif
}

}  // namespace

const char* level_name(SimdLevel level) { return kNames[static_cast<int>(level)]; }

bool parse_level(std::string_view text, SimdLevel& level) {
  for (int i = 0; i < 4; ++i) {
    if (text == kNames[i]) {
      level = static_cast<SimdLevel>(i);
      return true;
    }
  }
  return false;
}

SimdLevel cpu_level() {
  static const SimdLevel level = ask_cpu();
  return level;
}

bool ceiling_for(const char* env_value, SimdLevel cpu, SimdLevel& ceiling, std::string& error) {
  ceiling = cpu;
  if (env_value == nullptr || *env_value == '\0') return true;
  SimdLevel asked;
  if (!parse_level(env_value, asked)) {
    error = std::string("TUULI_SIMD=") + env_value + " is not one of scalar, sse2, avx2, avx512";
    return false;
  }
  // Asking for more than the CPU has gives what it has: the same bytes.
  if (asked < ceiling) ceiling = asked;
  return true;
}

SimdLevel simd_ceiling() {
  static const SimdLevel ceiling = [] {
    SimdLevel level;
    std::string error;
    if (!ceiling_for(std::getenv("TUULI_SIMD"), cpu_level(), level, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::exit(2);
    }
    return level;
  }();
  return ceiling;
}

bool threads_for(const char* env_value, int cores, int& threads, std::string& error) {
  threads = std::clamp(cores, 1, 64);
  if (env_value == nullptr || *env_value == '\0') return true;
  char* end = nullptr;
  const long asked = std::strtol(env_value, &end, 10);
  if (*env_value < '0' || *env_value > '9' || *end != '\0' || asked < 1 || asked > 64) {
    error = std::string("TUULI_THREADS=") + env_value + " is not a number of threads from 1 to 64";
    return false;
  }
  threads = static_cast<int>(asked);
  return true;
}

int drawing_threads() {
  static const int threads = [] {
    int cores = 1;
#if defined(__EMSCRIPTEN__)
    // The browser build runs on the page's one thread.
    return 1;
#elif defined(__linux__)
    cpu_set_t set;
    cores = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set)
                                                         : static_cast<int>(std::thread::hardware_concurrency());
#else
    cores = static_cast<int>(std::thread::hardware_concurrency());
#endif
    int count;
    std::string error;
    if (!threads_for(std::getenv("TUULI_THREADS"), cores, count, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::exit(2);
    }
    return count;
  }();
  return threads;
}

}  // namespace cpu
