// The rasterizer's entry points, called by the device once it has checked
// the arguments of a draw call against the bound resources.
#pragma once

#include "platform/d3d8/d3d8_local.h"

namespace d3d8 {

// Draws primitive_count primitives of `type` from the bound stream, starting
// at start_vertex, with the device's current states.
HRESULT draw_primitive(DeviceState& state, D3DPRIMITIVETYPE type, UINT start_vertex,
                       UINT primitive_count);

// Draws through the bound 16-bit index buffer; indices are offset by the
// base vertex index given to SetIndices.
HRESULT draw_indexed_primitive(DeviceState& state, D3DPRIMITIVETYPE type, UINT min_index,
                               UINT vertex_count, UINT start_index, UINT primitive_count);

}  // namespace d3d8
