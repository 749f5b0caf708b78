#include "scenes/scene_state.h"

#include <cmath>

#include "codec/codec.h"
#include "shell/shell.h"

namespace scenes {

float ClipPositionA = 0.0f;
float ClipPositionB = 0.0f;
float ClipPositionC = 0.0f;
int8_t GreyCounter = 0;
float MeshTurn1 = 0.0f;
float MeshTurn2 = 0.0f;
float MeshTurn3 = 0.0f;
float MeshTurn4 = 0.0f;
float ScrollOffset = 0.0f;
float SpinAngle = 0.0f;
CameraTrack CameraTrackMesh0 = {10.0f, 0.6f};
CameraTrack CameraTrackMesh1 = {6.0f, 0.6f};
int32_t HeadlessFrameIndex = 0;
int32_t HeadlessFrameDivider = 0;

void SetModulate2xBlend() {
  shell::Device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  shell::Device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_DESTCOLOR);
  shell::Device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_SRCCOLOR);
}

int32_t TruncateToInt(double value) {
  // A position or counter only leaves int32 after a pause of weeks; clamp
  // rather than let the conversion be undefined.
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

float Advanced(float value, float amount) {
  return static_cast<float>(static_cast<double>(value) +
                            static_cast<double>(amount) * static_cast<double>(shell::FrameStep));
}

bool AdvanceClip(const uint8_t* clip, float& position, float rate) {
  int32_t frame = TruncateToInt(position);
  bool in_range = codec::ShowClipFrame(clip, frame);
  position = Advanced(in_range ? position : 0.0f, rate);
  return in_range;
}

void DrawClipLayer(const uint8_t* clip, float& position, float rate) {
  AdvanceClip(clip, position, rate);
  shell::BindClipTexture();
  shell::DrawWhiteLayer();
}

void UpdateGreyCounter(float increment) {
  double sum = static_cast<double>(GreyCounter) +
               static_cast<double>(increment) * static_cast<double>(shell::FrameStep);
  GreyCounter = static_cast<int8_t>(static_cast<uint8_t>(TruncateToInt(sum) & 0xFF));
}

int32_t CounterLevel() { return static_cast<uint8_t>(GreyCounter); }

int32_t EighthLevel() { return static_cast<int32_t>(GreyCounter) >> 3; }

}  // namespace scenes
