// Televiso stepping by rendered frames under the headless image, with two
// copies of mesh 0 turning additively at the centre.
#include "codec/codec.h"
#include "mesh/mesh.h"
#include "scenes/scene_state.h"
#include "scenes/scenes.h"
#include "shell/shell.h"

namespace scenes {

void HeadlessScene() {
  // The in-range flag is not used: past televiso's end its first frame
  // stays on screen for the rest of the entry.
  codec::ShowClipFrame(shell::TelevisoClip, HeadlessFrameIndex);
  HeadlessFrameDivider += 1;
  if (HeadlessFrameDivider > 5) {
    HeadlessFrameIndex += 1;
    HeadlessFrameDivider -= 5;
  }
  shell::SetBlendOff();
  mesh::SetFixedCamera();
  shell::SetDepthOff();
  shell::BindClipTexture();
  shell::DrawWhiteLayer();
  shell::Device->SetTexture(0, shell::HeadlessTexture);
  SetModulate2xBlend();
  shell::DrawWhiteLayer();
  shell::BindClipTexture();
  mesh::MeshBaseColour[0] = 255.0f;
  mesh::MeshBaseColour[1] = 255.0f;
  mesh::MeshBaseColour[2] = 255.0f;
  shell::SetCullNone();
  shell::SetDepthOff();
  shell::SetAdditiveBlend();
  MeshTurn1 = Advanced(MeshTurn1, 0.2f);
  MeshTurn2 = Advanced(MeshTurn2, 0.1f);
  mesh::SetWorldRotation(MeshTurn1, MeshTurn2);
  mesh::DrawMesh(0, 0.0f, 0.0f, 0.0f, 0.003f, 0.0f);
  MeshTurn3 = Advanced(MeshTurn3, 0.12f);
  MeshTurn4 = Advanced(MeshTurn4, 0.05f);
  mesh::SetWorldRotation(MeshTurn3, MeshTurn4);
  mesh::DrawMesh(0, 0.0f, 0.0f, 0.0f, 0.004f, 120.0f);
}

}  // namespace scenes
