// The demo clock and the fixed timeline of fourteen entries.
#include "scenes/scenes.h"
#include "shell/shell.h"

namespace shell {

DWORD StartTick = 0;
DWORD CurrentTick = 0;
DWORD PreviousTick = 0;
float DemoTime = 0.0f;
float FrameStep = 0.0f;
int32_t TimelineIndex = 0;
uint8_t FirstFrame = 1;

const TimelineEntry Timeline[kTimelineLength] = {
    {scenes::LiekkiOverlayScene, 16.0f},
    {scenes::TelevisoLiekkiScene, 80.0f},
    {scenes::TelevisoLiekkiOverlayScene, 144.0f},
    {scenes::TelevisoOverlayScene, 176.0f},
    {scenes::HpTelevisoScene, 240.0f},
    {scenes::HpHpScene, 368.0f},
    {scenes::OrbiterMesh0Scene, 496.0f},
    {scenes::HeadlessScene, 528.0f},
    {scenes::RaivoHpScene, 680.0f},
    {scenes::RaivoRasmuScene, 720.0f},
    {scenes::OrbiterMesh1Scene, 736.0f},
    {scenes::KolpoTelevisoScene, 864.0f},
    {scenes::OrbiterMesh1Scene, 896.0f},
    {scenes::MonitorOverlayScene, 9999999.0f},
};

void TimelineStep(HWND window) {
  CurrentTick = GetTickCount();
  DemoTime = static_cast<float>(static_cast<int32_t>(CurrentTick - StartTick)) * 0.01f;
  if (DemoTime > 1000.0f) PostMessageA(window, WM_QUIT, 0, 0);
  if (DemoTime > Timeline[TimelineIndex].endTime) TimelineIndex = TimelineIndex + 1;
  FrameStep = static_cast<float>(static_cast<int32_t>(CurrentTick - PreviousTick)) * 0.015f;
  if (FirstFrame == 1) {
    FrameStep = 0.0f;
    FirstFrame = 0;
  }
  PreviousTick = CurrentTick;
  Timeline[TimelineIndex].sceneRoutine();
}

}  // namespace shell
