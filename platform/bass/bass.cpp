// Silent for now: the calls answer as a library with no sound device would.
#include "platform/bass/bass.h"

#include "platform/bass/output.h"

namespace bass {
namespace {
Output active_output = Output::none;
}
void use_output(Output output) { active_output = output; }
}  // namespace bass

BOOL BASS_Init(int, DWORD, DWORD, HWND) { return FALSE; }
HSTREAM BASS_StreamCreateFile(BOOL, const void*, DWORD, DWORD, DWORD) { return 0; }
HSYNC BASS_ChannelSetSync(DWORD, DWORD, QWORD, SYNCPROC*) { return 0; }
BOOL BASS_Start() { return FALSE; }
BOOL BASS_StreamPlay(HSTREAM, BOOL, DWORD) { return FALSE; }
BOOL BASS_Free() { return TRUE; }
