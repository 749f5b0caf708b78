// The demo shell's public face: the entry and window procedure, the device
// and its render-state presets, the demo clock and timeline, start-up
// loading and the screen layers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/d3d8/d3d8.h"
#include "platform/win32/win32.h"

namespace shell {

// ---- Device and presets ------------------------------------------------
// Written by InitDevice and ReleaseDeviceObjects only; everything that draws
// or creates resources calls through Device.
extern IDirect3D8* Direct3DObject;
extern IDirect3DDevice8* Device;

HRESULT InitDevice(HWND window);
void SetAdditiveBlend();
void SetBlendOff();
void SetDepthOn();
void SetDepthOff();
void SetDepthBias(int32_t bias);
void SetCullNone();

// ---- Entry and main loop -------------------------------------------------
// Written by DemoMain and the window procedure; read by the timeline (the
// window it posts the end-of-demo quit message to).
extern HWND MainWindow;
extern uint8_t QuitRequested;
extern DWORD MusicStream;
extern DWORD MusicEndTime;  // written on the audio thread; nothing reads it

int DemoMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line,
             int show_command);
LRESULT CALLBACK DemoWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void CALLBACK MusicEndSync(DWORD sync, DWORD channel, DWORD data);
HRESULT BeginFrame();
HRESULT EndFrame();
void ReleaseDeviceObjects();

// ---- Demo clock and timeline ---------------------------------------------
// All written only by TimelineStep, except StartTick (DemoMain). Scenes read
// FrameStep; the rest is the clock's own.
extern DWORD StartTick;
extern DWORD CurrentTick;
extern DWORD PreviousTick;
extern float DemoTime;
extern float FrameStep;
extern int32_t TimelineIndex;
extern uint8_t FirstFrame;

struct TimelineEntry {
  void (*sceneRoutine)();
  float endTime;  // demo-time units; left on the first pass strictly past it
};
constexpr int kTimelineLength = 14;
extern const TimelineEntry Timeline[kTimelineLength];

void TimelineStep(HWND window);

// ---- Start-up loading and resources ---------------------------------------
// Whole-file images, written once by LoadMedia and never freed.
extern uint8_t* RasmuClip;
extern uint8_t* TelevisoClip;
extern uint8_t* KolpoClip;
extern uint8_t* LiekkiClip;
extern uint8_t* HpClip;
extern uint8_t* RaivoClip;
extern uint8_t* MonitorClip;
extern uint8_t* PallukkaFile;
extern uint8_t* Aalto2File;

// Image textures, written once by CreateResources.
extern IDirect3DTexture8* Taivas2Texture;
extern IDirect3DTexture8* MediaTexture;
extern IDirect3DTexture8* Media2Texture;
extern IDirect3DTexture8* Media3Texture;
extern IDirect3DTexture8* Media4Texture;
extern IDirect3DTexture8* HeadlessTexture;

int LoadMedia();
// `size_bytes`, when given, receives the file's length: the mesh and clip
// checks need it.
bool LoadWholeFile(const char* path, uint8_t** buffer, size_t* size_bytes = nullptr);
HRESULT CreateResources();
bool CreateClipTextures();

// ---- Screen layers --------------------------------------------------------
struct ScreenVertex {
  float x, y, z, rhw;
  DWORD diffuse;
  float u, v;
};
static_assert(sizeof(ScreenVertex) == 28, "the 0x144 vertex layout");

struct LayerVertex {
  float x, y, z, rhw, u, v;
};
extern const LayerVertex LayerVertices[4];

// Written by CreateClipTextures once; refilled by every layer draw.
extern IDirect3DVertexBuffer8* ScreenQuadBuffer;
// Written by the two layer routines; the colour of the next layer.
extern DWORD LayerColour;

HRESULT DrawScreenQuad(float dx, float dy, float dz);
void DrawWhiteLayer();
void DrawGreyLayer(int32_t level);
void BindClipTexture();

}  // namespace shell
