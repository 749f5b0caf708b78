// The fast paths' working memory: what they write and read while shading a
// draw, and nothing that outlives it but allocations. Owned by whoever
// draws (one per device, so one per drawing thread) and handed to every
// kernel, so no file built for a wide instruction set holds state of its
// own. Built from zeroed memory by code any CPU runs.
#pragma once

#include <cstdint>

#include "platform/d3d8/layer_rows.h"
#include "platform/d3d8/raster_config.h"

namespace d3d8::raster {

// The covered pixels of a triangle that are not part of a whole run of
// eight, as a list shaded a group at a time regardless of row, so the 2 to
// 4 pixel rows of small triangles do not waste lanes (span_walk.h).
constexpr int kListFlush = 256;
struct PixelList {
  alignas(32) int32_t x[kListFlush + kMaxTargetWidth + 16];
  alignas(32) int32_t y[kListFlush + kMaxTargetWidth + 16];
};

// Room for the wide widths' pending pixels (PendingPixels in
// span_shade_wide.h, whose type holds registers of those widths and is
// therefore known only to their files; they check it fits).
constexpr int kPendingBytes = 12 * 1024;

struct RasterScratch {
  PixelList pixel_list;
  // The screen-layer path (layer_path.cpp).
  LayerColumns columns;
  alignas(16) int16_t row[(kMaxLayerRowTexels + 1) * 4];
  LayerWindows windows;
  alignas(32) int16_t planes[3 * LayerWindows::kPlaneStride];
  // All zero bytes is a queue with nothing pending. Empty again after
  // every draw.
  alignas(64) unsigned char pending[kPendingBytes];
};

}  // namespace d3d8::raster
