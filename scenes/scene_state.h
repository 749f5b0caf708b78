// What the scenes share: the state that runs on from frame to frame and
// from scene to scene, the blend mode of their own, and the two recurring
// steps (the clip layer and the grey counter).
#pragma once

#include <cstdint>

namespace scenes {

// Process-wide and never reset at a scene switch: a scene continues from
// what the previous user left. Written and read only by the scene routines.
extern float ClipPositionA;
extern float ClipPositionB;
extern float ClipPositionC;
extern int8_t GreyCounter;
extern float MeshTurn1;
extern float MeshTurn2;
extern float MeshTurn3;
extern float MeshTurn4;
extern float ScrollOffset;
extern float SpinAngle;  // 1024ths of a turn

struct CameraTrack {
  float depth;  // the eye's z coordinate
  float sway;   // moves the look-at target
};
extern CameraTrack CameraTrackMesh0;
extern CameraTrack CameraTrackMesh1;

extern int32_t HeadlessFrameIndex;
extern int32_t HeadlessFrameDivider;

// Source x destination x 2: DESTCOLOR / SRCCOLOR.
void SetModulate2xBlend();

// Shows the frame at `position` (truncated) of `clip` in the current clip
// texture and moves the position on by rate x frame step, back to the start
// when the frame was past the clip's end. Returns whether it was in range.
bool AdvanceClip(const uint8_t* clip, float& position, float rate);

// AdvanceClip, then the clip drawn as a white layer in the current blend mode.
void DrawClipLayer(const uint8_t* clip, float& position, float rate);

// GreyCounter += increment x frame step, truncated toward zero, 8-bit wrap.
void UpdateGreyCounter(float increment);

// The two levels the grey layers use.
int32_t CounterLevel();  // the counter as an unsigned byte
int32_t EighthLevel();   // the counter sign-extended, shifted right by 3

// `value` + `amount` x frame step, worked out in double and stored as float.
float Advanced(float value, float amount);

// Truncation toward zero, saturating where a float lies beyond int32.
int32_t TruncateToInt(double value);

}  // namespace scenes
