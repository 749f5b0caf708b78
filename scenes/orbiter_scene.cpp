// A large mesh in perspective, drawn once with the sky and once more,
// additively, with the kolpo clip scrolling over it, and four small copies
// of mesh 0 hanging around it, while the eye drifts toward the scene.
#include "mesh/mesh.h"
#include "scenes/scene_state.h"
#include "scenes/scenes.h"
#include "shell/shell.h"

namespace scenes {

namespace {

struct OrbiterVariant {
  CameraTrack* track;
  float depth_decrease;       // per unit of frame step
  int32_t large_mesh;
  float sky_texture_scale;
  bool turns_world;           // with MeshTurn4 and MeshTurn3, or the identity
  float clip_texture_scale;
  float clip_base_colour;     // each channel
  bool closing_grey_layer;    // level 200, modulate-2x with the clip
};

const OrbiterVariant kMesh0Variant = {&CameraTrackMesh0, 0.04f, 0, 4.0f, true, -1.0f, 255.0f, true};
const OrbiterVariant kMesh1Variant = {&CameraTrackMesh1, 0.07f, 1, 8.0f, false, -2.0f, 125.0f, false};

struct Orbiter {
  float x, y, z;
  bool spins;  // yaw SpinAngle, or a fixed 20
};

const Orbiter kOrbiters[4] = {
    {0.0f, 2.0f, 1.0f, true},
    {2.0f, 0.0f, 1.0f, false},
    {0.0f, -2.0f, 1.0f, true},
    {-2.0f, 0.0f, 1.0f, false},
};

void SetBaseColour(float value) {
  mesh::MeshBaseColour[0] = value;
  mesh::MeshBaseColour[1] = value;
  mesh::MeshBaseColour[2] = value;
}

void OrbiterScene(const OrbiterVariant& v) {
  CameraTrack& track = *v.track;
  track.depth = Advanced(track.depth, -v.depth_decrease);
  track.sway = Advanced(track.sway, -0.002f);

  D3DMATRIX view;
  D3DMATRIX projection;
  mesh::Vec3 eye = {3.0f, 2.4f, track.depth};
  mesh::Vec3 target = {
      track.sway,
      static_cast<float>(-static_cast<double>(1.7f) -
                         static_cast<double>(0.5f) * static_cast<double>(track.sway)),
      0.1f};
  mesh::Vec3 up = {0.0f, 1.0f, 0.0f};
  mesh::BuildLookAtMatrix(&view, eye, target, up);
  shell::Device->SetTransform(D3DTS_VIEW, &view);
  mesh::BuildPerspectiveMatrix(&projection, 0.7853982f, 1.3333334f, 1.0f, 100.0f);
  shell::Device->SetTransform(D3DTS_PROJECTION, &projection);

  shell::Device->SetTexture(0, shell::Taivas2Texture);
  SetBaseColour(255.0f);
  shell::SetBlendOff();
  shell::SetCullNone();
  shell::SetDepthOn();
  mesh::MeshTextureScale = v.sky_texture_scale;
  mesh::MeshTextureUOffset = 0.0f;
  if (v.turns_world) {
    MeshTurn3 = Advanced(MeshTurn3, -0.0001f);
    MeshTurn4 = Advanced(MeshTurn4, 0.0005f);
  }
  shell::SetDepthBias(0);
  if (v.turns_world) {
    mesh::SetWorldRotation(MeshTurn4, MeshTurn3);
  } else {
    mesh::SetWorldRotation(0.0f, 0.0f);
  }
  mesh::DrawMesh(v.large_mesh, 0.0f, 0.0f, 0.0f, 0.06f, 0.0f);

  AdvanceClip(shell::KolpoClip, ClipPositionC, 1.0f);
  ScrollOffset = Advanced(ScrollOffset, -0.01f);
  mesh::MeshTextureUOffset = ScrollOffset;
  shell::BindClipTexture();
  shell::SetAdditiveBlend();
  shell::SetDepthBias(15);
  mesh::MeshTextureScale = v.clip_texture_scale;
  SetBaseColour(v.clip_base_colour);
  mesh::DrawMesh(v.large_mesh, 0.0f, 0.0f, 0.0f, 0.06f, 0.0f);

  shell::SetDepthOff();
  SetBaseColour(255.0f);
  SpinAngle = Advanced(SpinAngle, 0.5f);
  mesh::MeshTextureScale = 1.0f;
  for (const Orbiter& o : kOrbiters) {
    mesh::DrawMesh(0, o.x, o.y, o.z, 0.002f, o.spins ? SpinAngle : 20.0f);
  }

  if (v.closing_grey_layer) {
    shell::BindClipTexture();
    shell::SetDepthOff();
    SetModulate2xBlend();
    shell::DrawGreyLayer(200);
  }
}

}  // namespace

void OrbiterMesh0Scene() { OrbiterScene(kMesh0Variant); }

void OrbiterMesh1Scene() { OrbiterScene(kMesh1Variant); }

}  // namespace scenes
