// The audio library subset the demo calls, with its names and signatures:
// one MP3 file streamed in a loop. Output goes to the active output (output.h):
// the sound device, a PCM pull for captures, or nowhere.
#pragma once

#include "platform/win32/win32.h"

typedef DWORD HSTREAM;
typedef DWORD HSYNC;
typedef uint64_t QWORD;

// Called on the audio thread (or, when captured, on the thread that pulls
// the samples) with the sync handle, the channel and the sync's data.
typedef void(CALLBACK SYNCPROC)(HSYNC handle, DWORD channel, DWORD data);

constexpr DWORD BASS_SYNC_END = 2;
constexpr DWORD BASS_SAMPLE_LOOP = 4;

BOOL BASS_Init(int device, DWORD frequency, DWORD flags, HWND window);
HSTREAM BASS_StreamCreateFile(BOOL memory, const void* file, DWORD offset, DWORD length,
                              DWORD flags);
HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc);
BOOL BASS_Start();
BOOL BASS_StreamPlay(HSTREAM handle, BOOL flush, DWORD flags);
BOOL BASS_Free();
