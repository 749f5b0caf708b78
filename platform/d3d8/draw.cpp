// Placeholder until the rasterizer lands: draw calls are accepted and draw nothing.
#include "platform/d3d8/draw.h"

namespace d3d8 {

HRESULT draw_primitive(DeviceState&, D3DPRIMITIVETYPE, UINT, UINT) { return D3D_OK; }

HRESULT draw_indexed_primitive(DeviceState&, D3DPRIMITIVETYPE, UINT, UINT, UINT, UINT) {
  return D3D_OK;
}

}  // namespace d3d8
