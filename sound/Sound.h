// The sound front end: effects on a pool of 20 channels and two music streams, named by
// index, through which the rest of the program plays, stops and fades its sounds.
#pragma once

#include "platform/platform.h"
#include "sound/CDMusic.h"
#include "sound/CDMusicSound.h"
#include "sound/CDMusicVorbis.h"

typedef int SoundChannel; // 0 to 19; 0 is never handed out; -1 none
typedef int SoundStream;  // 0 or 1; -1 none

const int SOUND_CHANNEL_COUNT = 20;
const int SOUND_STREAM_COUNT = 2;

extern bool g_bSoundAvailable;
extern CDMusicSound* g_pSounds[SOUND_CHANNEL_COUNT];
extern CDMusicVorbis* g_pStreams[SOUND_STREAM_COUNT];
extern HWND g_hSoundWnd;

void SoundInit(HWND hWnd);
SoundChannel SoundFindFreeChannel();
SoundChannel SoundPlay(const char* path, DWORD repeats, float volume);
bool SoundStop(SoundChannel channel);
bool SoundSetVolume(SoundChannel channel, float volume, DWORD duration);
void SoundRelease();

SoundStream StreamLoad(const char* path);
void StreamPlay(SoundStream stream, DWORD repeats, float volume);
SoundStream StreamLoadAndPlay(const char* path, DWORD repeats, float volume);
void StreamStop(SoundStream stream);
void StreamSetVolume(SoundStream stream, float volume, DWORD duration);
