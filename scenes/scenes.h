// The thirteen scene routines of the timeline. Each draws one whole frame
// inside an open scene, advancing its animation by shell::FrameStep.
#pragma once

namespace scenes {

void LiekkiOverlayScene();          // entry 0
void TelevisoLiekkiScene();         // entry 1
void TelevisoLiekkiOverlayScene();  // entry 2
void TelevisoOverlayScene();        // entry 3
void HpTelevisoScene();             // entry 4
void HpHpScene();                   // entry 5
void OrbiterMesh0Scene();           // entry 6
void HeadlessScene();               // entry 7
void RaivoHpScene();                // entry 8
void RaivoRasmuScene();             // entry 9
void OrbiterMesh1Scene();           // entries 10 and 12
void KolpoTelevisoScene();          // entry 11
void MonitorOverlayScene();         // entry 13

}  // namespace scenes
