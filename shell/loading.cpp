// Start-up loading. Until the media loaders arrive, loading succeeds with
// nothing loaded.
#include "shell/shell.h"

namespace shell {

uint8_t* RasmuClip = nullptr;
uint8_t* TelevisoClip = nullptr;
uint8_t* KolpoClip = nullptr;
uint8_t* LiekkiClip = nullptr;
uint8_t* HpClip = nullptr;
uint8_t* RaivoClip = nullptr;
uint8_t* MonitorClip = nullptr;
uint8_t* PallukkaFile = nullptr;
uint8_t* Aalto2File = nullptr;

IDirect3DTexture8* Taivas2Texture = nullptr;
IDirect3DTexture8* MediaTexture = nullptr;
IDirect3DTexture8* Media2Texture = nullptr;
IDirect3DTexture8* Media3Texture = nullptr;
IDirect3DTexture8* Media4Texture = nullptr;
IDirect3DTexture8* HeadlessTexture = nullptr;

int LoadMedia() { return 1; }

bool LoadWholeFile(const char*, uint8_t**) { return false; }

HRESULT CreateResources() { return D3D_OK; }

bool CreateClipTextures() { return true; }

}  // namespace shell
