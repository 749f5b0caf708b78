// The flat scenes: clips stacked over each other, and overlays that pulse a
// media image over the video with grey layers.
#include "scenes/scene_state.h"
#include "scenes/scenes.h"
#include "shell/shell.h"

namespace scenes {

namespace {

enum class SecondMode { modulate2x, additive };

// An opaque clip with a second clip blended over it.
void TwoClipScene(const uint8_t* first, const uint8_t* second, float second_rate,
                  SecondMode mode) {
  shell::SetDepthOff();
  shell::SetBlendOff();
  DrawClipLayer(first, ClipPositionA, 1.0f);
  if (mode == SecondMode::modulate2x) {
    SetModulate2xBlend();
  } else {
    shell::SetAdditiveBlend();
  }
  DrawClipLayer(second, ClipPositionB, second_rate);
}

}  // namespace

void LiekkiOverlayScene() {
  shell::SetDepthOff();
  shell::SetBlendOff();
  DrawClipLayer(shell::LiekkiClip, ClipPositionC, 2.0f);
  shell::Device->SetTexture(0, shell::MediaTexture);
  SetModulate2xBlend();
  shell::DrawGreyLayer(CounterLevel());
  UpdateGreyCounter(5.0f);
  shell::SetAdditiveBlend();
  shell::DrawGreyLayer(CounterLevel());
  UpdateGreyCounter(20.0f);
}

void TelevisoLiekkiScene() {
  TwoClipScene(shell::TelevisoClip, shell::LiekkiClip, 2.0f, SecondMode::modulate2x);
}

void TelevisoLiekkiOverlayScene() {
  shell::SetDepthOff();
  shell::SetBlendOff();
  DrawClipLayer(shell::TelevisoClip, ClipPositionA, 1.0f);
  SetModulate2xBlend();
  DrawClipLayer(shell::LiekkiClip, ClipPositionB, 2.0f);
  shell::Device->SetTexture(0, shell::Media2Texture);
  UpdateGreyCounter(5.0f);
  shell::SetAdditiveBlend();
  shell::DrawGreyLayer(EighthLevel());
  UpdateGreyCounter(20.0f);
}

void TelevisoOverlayScene() {
  shell::SetDepthOff();
  shell::SetBlendOff();
  DrawClipLayer(shell::TelevisoClip, ClipPositionA, 1.0f);
  shell::Device->SetTexture(0, shell::Media3Texture);
  UpdateGreyCounter(5.0f);
  shell::SetAdditiveBlend();
  shell::DrawGreyLayer(EighthLevel());
}

void HpTelevisoScene() {
  TwoClipScene(shell::HpClip, shell::TelevisoClip, 2.0f, SecondMode::modulate2x);
}

void HpHpScene() { TwoClipScene(shell::HpClip, shell::HpClip, 2.0f, SecondMode::modulate2x); }

void RaivoHpScene() {
  TwoClipScene(shell::RaivoClip, shell::HpClip, 2.0f, SecondMode::modulate2x);
}

void RaivoRasmuScene() {
  TwoClipScene(shell::RaivoClip, shell::RasmuClip, 0.25f, SecondMode::additive);
}

void KolpoTelevisoScene() {
  TwoClipScene(shell::KolpoClip, shell::TelevisoClip, 2.0f, SecondMode::modulate2x);
}

void MonitorOverlayScene() {
  shell::SetDepthOff();
  shell::SetBlendOff();
  DrawClipLayer(shell::MonitorClip, ClipPositionA, 1.0f);
  SetModulate2xBlend();
  DrawClipLayer(shell::TelevisoClip, ClipPositionB, 2.0f);
  shell::Device->SetTexture(0, shell::Media4Texture);
  shell::SetAdditiveBlend();
  UpdateGreyCounter(3.0f);
  shell::DrawGreyLayer(CounterLevel());
}

}  // namespace scenes
