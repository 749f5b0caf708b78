// The kernel tables, and the one place that picks among them.
#include "platform/d3d8/kernels.h"

namespace d3d8::raster {

namespace {

constexpr KernelTable kScalar = {cpu::SimdLevel::scalar, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0};

#if defined(TUULI_KERNELS_SSE2)
// SSE2 keeps no pixels pending and has no windowed rows.
constexpr KernelTable kSse2 = {cpu::SimdLevel::sse2,      sse2::shade_spans,      sse2::shade_spans_xrgb, nullptr,
                               nullptr,                sse2::shade_layer_rows, sse2::shade_layer_rows, 8,
                               8};
#endif
#if defined(TUULI_KERNELS_AVX)
constexpr KernelTable kAvx2 = {cpu::SimdLevel::avx2,      avx2::shade_spans,      avx2::shade_spans_xrgb,
                               avx2::defer_narrow,     avx2::finish_deferred,  avx2::shade_layer_rows,
                               avx2::shade_layer_rows, 16,                     16};
// AVX-512 widens the windowed layer rows; the others keep AVX2's column
// table and rows, and 32-bit meshes AVX2's spans.
constexpr KernelTable kAvx512 = {cpu::SimdLevel::avx512,    avx512::shade_spans,      avx2::shade_spans_xrgb,
                                 avx512::defer_narrow,      avx512::finish_deferred,  avx2::shade_layer_rows,
                                 avx512::shade_layer_rows, 16,                       32};
#endif

}  // namespace

const KernelTable& kernels_for(cpu::SimdLevel level) {
#if defined(TUULI_KERNELS_AVX)
  if (level >= cpu::SimdLevel::avx512) return kAvx512;
  if (level >= cpu::SimdLevel::avx2) return kAvx2;
#endif
#if defined(TUULI_KERNELS_SSE2)
  if (level >= cpu::SimdLevel::sse2) return kSse2;
#endif
  (void)level;
  return kScalar;
}

}  // namespace d3d8::raster
