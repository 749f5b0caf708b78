// Until the scenes arrive every entry draws nothing: the frame stays black.
#include "scenes/scenes.h"

namespace scenes {

void LiekkiOverlayScene() {}
void TelevisoLiekkiScene() {}
void TelevisoLiekkiOverlayScene() {}
void TelevisoOverlayScene() {}
void HpTelevisoScene() {}
void HpHpScene() {}
void OrbiterMesh0Scene() {}
void HeadlessScene() {}
void RaivoHpScene() {}
void RaivoRasmuScene() {}
void OrbiterMesh1Scene() {}
void KolpoTelevisoScene() {}
void MonitorOverlayScene() {}

}  // namespace scenes
