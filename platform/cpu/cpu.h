// Which SIMD instruction set the program's fast paths may use. Asked once,
// here only: code built for a wider set than the CPU's must never run, so
// every such path is reached through a table chosen from simd_ceiling().
#pragma once

#include <string>
#include <string_view>

namespace cpu {

// Ordered: each level includes the ones before it.
enum class SimdLevel { scalar, sse2, avx2, avx512 };

// "scalar", "sse2", "avx2", "avx512".
const char* level_name(SimdLevel level);
bool parse_level(std::string_view text, SimdLevel& level);

// The widest level this CPU (and its operating system, which must save the
// wider registers) runs and this build has kernels for: avx512 means AVX-512
// BW and VL. scalar on architectures without kernels.
SimdLevel cpu_level();

// The level every fast path is held to: cpu_level(), or less when the
// TUULI_SIMD environment variable asks for less. Asked once per process.
// An unknown TUULI_SIMD value is a usage error: the message goes to
// standard error and the program ends with status 2.
SimdLevel simd_ceiling();

// What simd_ceiling() decides, for a given environment value (null: unset)
// and CPU; false, with `error` set, for a value that is not a level.
bool ceiling_for(const char* env_value, SimdLevel cpu, SimdLevel& ceiling, std::string& error);

// How many threads draw (TUULI_THREADS, 1 to 64; default: the cores this
// process may run on, at most 64; always 1 where the build has no threads).
// Asked once per process; a value that is not such a count is a usage
// error, reported like a bad TUULI_SIMD.
int drawing_threads();
bool threads_for(const char* env_value, int cores, int& threads, std::string& error);

}  // namespace cpu
