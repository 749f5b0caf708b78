// The entry: window, device, media, music, then the main loop of one message
// at most and one frame per pass.
#include "platform/bass/bass.h"
#include "shell/shell.h"

namespace shell {

HWND MainWindow = nullptr;
uint8_t QuitRequested = 0;
DWORD MusicStream = 0;
DWORD MusicEndTime = 0;

void CALLBACK MusicEndSync(DWORD, DWORD, DWORD) { MusicEndTime = timeGetTime(); }

HRESULT BeginFrame() {
  HRESULT result = Device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000000, 1.0f, 0);
  if (FAILED(result)) return result;
  return Device->BeginScene();
}

HRESULT EndFrame() {
  HRESULT result = Device->EndScene();
  if (FAILED(result)) return result;
  return Device->Present(nullptr, nullptr, nullptr, nullptr);
}

void ReleaseDeviceObjects() {
  if (Taivas2Texture != nullptr) {
    Taivas2Texture->Release();
    Taivas2Texture = nullptr;
  }
  if (Device != nullptr) {
    Device->Release();
    Device = nullptr;
  }
  if (Direct3DObject != nullptr) {
    Direct3DObject->Release();
    Direct3DObject = nullptr;
  }
}

LRESULT CALLBACK DemoWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      BASS_Free();
      ReleaseDeviceObjects();
      PostQuitMessage(0);
      break;
    case WM_SETCURSOR:
      SetCursor(nullptr);
      return TRUE;
    case WM_KEYDOWN:
      if (wparam == VK_ESCAPE) QuitRequested = 1;
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

namespace {

const char kCaption[] = "Semmosta sattuu";

void StartMusic() {
  BASS_Init(-1, 44100, 0, GetForegroundWindow());
  MusicStream = BASS_StreamCreateFile(FALSE, "vemo.mp3", 0, 0, 0);
  BASS_ChannelSetSync(MusicStream, BASS_SYNC_END, 0, MusicEndSync);
  BASS_Start();
  BASS_StreamPlay(MusicStream, FALSE, BASS_SAMPLE_LOOP);
}

}  // namespace

int DemoMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
  WNDCLASSEXA window_class{};
  window_class.cbSize = sizeof(WNDCLASSEXA);
  window_class.style = CS_DBLCLKS;
  window_class.lpfnWndProc = DemoWindowProc;
  window_class.cbClsExtra = 0;
  window_class.cbWndExtra = 0;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconA(nullptr, nullptr);
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = nullptr;
  window_class.lpszMenuName = nullptr;
  window_class.lpszClassName = "Tuulikannel";
  window_class.hIconSm = nullptr;
  if (RegisterClassExA(&window_class) == 0) return 0;

  MainWindow = CreateWindowExA(0, "Tuulikannel", "Tuulikannel",
                               WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                               CW_USEDEFAULT, 0, 640, 0, nullptr, nullptr, instance, nullptr);
  ShowWindow(MainWindow, show_command);
  UpdateWindow(MainWindow);

  if (FAILED(InitDevice(MainWindow))) {
    MessageBoxA(nullptr, "D3D init error", kCaption, MB_OK);
    return 0;
  }
  if (LoadMedia() != 1) {
    MessageBoxA(nullptr, "Files not loaded. Not enough memory. Pkunzip -d ?", kCaption, MB_OK);
    return 0;
  }
  if (FAILED(CreateResources())) return 0;

  StartMusic();
  StartTick = GetTickCount();

  MSG msg{};
  while (QuitRequested == 0) {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      if (!GetMessageA(&msg, nullptr, 0, 0)) break;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    // Once the window is destroyed the device is gone: the rest of the pass
    // is skipped and the next pass retrieves the quit message.
    if (Device == nullptr) continue;
    if (FAILED(BeginFrame())) {
      DestroyWindow(MainWindow);
      continue;
    }
    TimelineStep(MainWindow);
    if (FAILED(EndFrame())) DestroyWindow(MainWindow);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace shell
