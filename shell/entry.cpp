// tuulikannel: the demo in a full-screen window with sound. Like the
// original it ignores its command line and reads its media relative to the
// current directory.
#include "platform/bass/bass.h"
#include "platform/cpu/cpu.h"
#include "platform/bass/output.h"
#include "platform/win32/sdl_window.h"
#include "shell/shell.h"

int main() {
  // A bad TUULI_SIMD or TUULI_THREADS ends the program here, before any
  // window opens.
  cpu::simd_ceiling();
  cpu::drawing_threads();
  win32::SdlWindowBackend window;
  win32::use_backend(&window);
  bass::use_output(bass::device_output());
  int exit_code = shell::DemoMain(nullptr, nullptr, nullptr, SW_SHOWDEFAULT);
  // The demo itself leaves the music playing to the end of the process; stop
  // it here so the audio thread is not running while the process tears down.
  BASS_Free();
  // The device and textures are deliberately left to the end of the process,
  // but the window must go before the backend that owns it.
  win32::use_backend(nullptr);
  return exit_code;
}
