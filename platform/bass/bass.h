// The audio library subset the demo calls, with its names and signatures:
// one MP3 file streamed in a loop. Output goes to the active output (output.h):
// the sound device, a PCM pull for captures, or nowhere.
//
// The calls are made from one thread (the demo's) and fail quietly: FALSE or
// a zero handle, nothing printed (TUULI_AUDIO_DEBUG=1 says why on stderr).
// One stream exists at a time; creating another replaces it.
#pragma once

#include "platform/win32/win32.h"

typedef DWORD HSTREAM;
typedef DWORD HSYNC;
typedef uint64_t QWORD;

// Called on SDL's audio thread (or, when captured, on the thread that pulls
// the samples) with the sync handle, the channel and the sync's data (0),
// once each time the stream passes its end. No lock is held during the call;
// BASS_Free from it on the audio thread fails (it would wait for itself).
typedef void(CALLBACK SYNCPROC)(HSYNC handle, DWORD channel, DWORD data);

constexpr DWORD BASS_SYNC_END = 2;
constexpr DWORD BASS_SAMPLE_LOOP = 4;

// `device`: -1 the default, 0 none (everything works, nothing is heard).
// `frequency`: the rate asked of the device, which may give another.
BOOL BASS_Init(int device, DWORD frequency, DWORD flags, HWND window);
// Decodes the whole MP3 before it returns (about 50 ms for 100 s of music),
// so that playing never waits on the file. `file` is a Windows-style path
// relative to the current directory (matched without regard to case), or
// with `memory` the bytes themselves, `length` of them, read only during
// the call.
HSTREAM BASS_StreamCreateFile(BOOL memory, const void* file, DWORD offset, DWORD length,
                              DWORD flags);
HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc);
BOOL BASS_Start();
// From the start (or on, when already playing and not flushed); with
// BASS_SAMPLE_LOOP round and round until BASS_Free.
BOOL BASS_StreamPlay(HSTREAM handle, BOOL flush, DWORD flags);
// Stops the music, closes the device and forgets the stream.
BOOL BASS_Free();
