// The instruction-set choice: TUULI_SIMD read as asked, never above what
// the CPU has, and the rasterizer held to it.
#include <gtest/gtest.h>

#include <string>

#include "platform/cpu/cpu.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/kernels.h"

namespace {

using cpu::SimdLevel;

TEST(SimdCeiling, FollowsTuuliSimdButNeverExceedsTheCpu) {
  struct Case {
    const char* env;
    SimdLevel cpu;
    SimdLevel expected;
  } cases[] = {
      {nullptr, SimdLevel::avx512, SimdLevel::avx512}, {"", SimdLevel::avx2, SimdLevel::avx2},
      {"sse2", SimdLevel::avx512, SimdLevel::sse2},    {"scalar", SimdLevel::avx2, SimdLevel::scalar},
      {"avx512", SimdLevel::avx2, SimdLevel::avx2},    {"avx2", SimdLevel::sse2, SimdLevel::sse2},
      {"avx512", SimdLevel::scalar, SimdLevel::scalar},
  };
  for (const Case& c : cases) {
    SimdLevel got;
    std::string error;
    ASSERT_TRUE(cpu::ceiling_for(c.env, c.cpu, got, error)) << (c.env ? c.env : "(unset)");
    EXPECT_EQ(got, c.expected) << (c.env ? c.env : "(unset)") << " on " << cpu::level_name(c.cpu);
  }
}

TEST(SimdCeiling, AnUnknownValueIsAnErrorThatNamesIt) {
  for (const char* bad : {"AVX2", "avx", "sse4", "none", " sse2"}) {
    SimdLevel got;
    std::string error;
    EXPECT_FALSE(cpu::ceiling_for(bad, SimdLevel::avx512, got, error)) << bad;
    EXPECT_NE(error.find(std::string("TUULI_SIMD=") + bad), std::string::npos) << error;
    EXPECT_NE(error.find("scalar, sse2, avx2, avx512"), std::string::npos) << error;
  }
}

TEST(Dispatch, NeverPicksAWidthTheProcessMayNotUse) {
  for (SimdLevel asked : {SimdLevel::scalar, SimdLevel::sse2, SimdLevel::avx2, SimdLevel::avx512}) {
    d3d8::raster_options.max_simd = asked;
    const SimdLevel got = d3d8::raster_simd_level();
    d3d8::raster_options = {};
    EXPECT_LE(got, asked) << cpu::level_name(asked);
    EXPECT_LE(got, cpu::simd_ceiling()) << cpu::level_name(asked);
    EXPECT_LE(cpu::simd_ceiling(), cpu::cpu_level());
    // Every width up to the ceiling has its table in a build with SIMD code.
    if (cpu::cpu_level() != SimdLevel::scalar) {
      EXPECT_EQ(got, std::min(asked, cpu::simd_ceiling())) << cpu::level_name(asked);
    }
  }
}

// The AVX-512 table must hand 32-bit meshes AVX2's spans: no AVX-512 code
// is built for X8R8G8B8 pixels, and this machine could not run any that
// were, so the table entry is what keeps it from being reached.
TEST(Dispatch, ThirtyTwoBitMeshesTakeAvx2SpansOnAvx512) {
  using d3d8::raster::kernels_for;
  EXPECT_EQ(kernels_for(SimdLevel::avx512).shade_spans_xrgb, kernels_for(SimdLevel::avx2).shade_spans_xrgb);
  // Every table with a mesh path has its 32-bit entry.
  for (SimdLevel level : {SimdLevel::sse2, SimdLevel::avx2, SimdLevel::avx512}) {
    const auto& table = kernels_for(level);
    EXPECT_EQ(table.shade_spans == nullptr, table.shade_spans_xrgb == nullptr) << cpu::level_name(level);
  }
}

}  // namespace
