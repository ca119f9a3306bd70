#include "sound/Sound.h"

#include <new>

bool g_bSoundAvailable = true;
CDMusicSound* g_pSounds[SOUND_CHANNEL_COUNT];
CDMusicVorbis* g_pStreams[SOUND_STREAM_COUNT];
HWND g_hSoundWnd = NULL;

namespace {

void ShowSoundError(const char* text) { MessageBoxA(g_hSoundWnd, text, "Error", MB_OK); }

bool IsChannel(SoundChannel channel) { return channel >= 0 && channel < SOUND_CHANNEL_COUNT; }
bool IsStream(SoundStream stream) { return stream >= 0 && stream < SOUND_STREAM_COUNT; }

// Stops and destroys the streams, then the channels; the first failure ends it, leaving the
// rest in the pools.
void ReleasePools()
{
    for (int i = 0; i < SOUND_STREAM_COUNT; ++i) {
        if (g_pStreams[i]) {
            g_pStreams[i]->Stop();
            CDMusicVorbis* stream = g_pStreams[i];
            g_pStreams[i] = NULL;
            delete stream;
        }
    }
    for (int i = 0; i < SOUND_CHANNEL_COUNT; ++i) {
        if (g_pSounds[i]) {
            g_pSounds[i]->Release();
            CDMusicSound* sound = g_pSounds[i];
            g_pSounds[i] = NULL;
            delete sound;
        }
    }
}

} // namespace

void SoundInit(HWND hWnd)
{
    g_hSoundWnd = hWnd;
    try {
        // A start-up that failed after this point runs it again: the pools of the earlier
        // run are released, not forgotten.
        ReleasePools();
        // The process-wide object was built empty; the set-up runs on it here.
        CDMusic& music = CDMusic::GetInstance();
        music.~CDMusic();
        try {
            new (&music) CDMusic();
        } catch (...) {
            new (&music) CDMusic(CDMusic::Empty());
            throw;
        }
        for (int i = 0; i < SOUND_CHANNEL_COUNT; ++i) {
            g_pSounds[i] = new CDMusicSound();
            g_pSounds[i]->SetVolume(0.0f, 0); // silent until a play sets its volume
        }
        for (int i = 0; i < SOUND_STREAM_COUNT; ++i) {
            g_pStreams[i] = new CDMusicVorbis();
            g_pStreams[i]->SetVolume(0.0f, 0);
        }
    } catch (const char* text) {
        ShowSoundError(text);
        g_bSoundAvailable = false;
    }
}

SoundChannel SoundFindFreeChannel()
{
    if (!g_bSoundAvailable)
        return -1;
    for (int i = 1; i < SOUND_CHANNEL_COUNT; ++i) {
        if (g_pSounds[i] && !g_pSounds[i]->IsPlaying()) {
            g_pSounds[i]->Stop(); // unloads its finished sound
            return i;
        }
    }
    return -1;
}

SoundChannel SoundPlay(const char* path, DWORD repeats, float volume)
{
    if (!g_bSoundAvailable)
        return -1;
    SoundChannel channel = SoundFindFreeChannel(); // its failures reach the caller
    if (channel == -1)
        return -1;
    try {
        g_pSounds[channel]->SetVolume(volume, 0);
        g_pSounds[channel]->Play(path, repeats);
    } catch (const char* text) {
        ShowSoundError(text);
        return -1;
    }
    return channel;
}

bool SoundStop(SoundChannel channel)
{
    if (!g_bSoundAvailable)
        return true;
    if (!IsChannel(channel))
        return false;
    try {
        if (g_pSounds[channel])
            g_pSounds[channel]->Stop();
    } catch (const char* text) {
        ShowSoundError(text);
        return false;
    }
    return true;
}

bool SoundSetVolume(SoundChannel channel, float volume, DWORD duration)
{
    if (!g_bSoundAvailable)
        return true;
    if (!IsChannel(channel))
        return false;
    try {
        if (g_pSounds[channel])
            g_pSounds[channel]->SetVolume(volume, duration);
    } catch (const char* text) {
        ShowSoundError(text);
        return false;
    }
    return true;
}

void SoundRelease()
{
    try {
        ReleasePools();
        // The object stays for the exit-time destructor, released and empty.
        CDMusic& music = CDMusic::GetInstance();
        music.~CDMusic();
        new (&music) CDMusic(CDMusic::Empty());
    } catch (const char* text) {
        ShowSoundError(text);
    }
}

SoundStream StreamLoad(const char* path)
{
    if (!g_bSoundAvailable)
        return -1;
    for (int i = 0; i < SOUND_STREAM_COUNT; ++i) {
        if (g_pStreams[i] && !g_pStreams[i]->IsPlaying()) {
            g_pStreams[i]->Load(path);
            return i;
        }
    }
    return -1;
}

void StreamPlay(SoundStream stream, DWORD repeats, float volume)
{
    if (!g_bSoundAvailable || !IsStream(stream) || !g_pStreams[stream])
        return;
    g_pStreams[stream]->SetRepeats(repeats);
    g_pStreams[stream]->SetVolume(volume, 0);
    g_pStreams[stream]->Play();
}

SoundStream StreamLoadAndPlay(const char* path, DWORD repeats, float volume)
{
    SoundStream stream = StreamLoad(path);
    if (IsStream(stream))
        StreamPlay(stream, repeats, volume);
    return stream;
}

void StreamStop(SoundStream stream)
{
    if (!g_bSoundAvailable || !IsStream(stream) || !g_pStreams[stream])
        return;
    g_pStreams[stream]->Stop();
}

void StreamSetVolume(SoundStream stream, float volume, DWORD duration)
{
    if (!g_bSoundAvailable || !IsStream(stream) || !g_pStreams[stream])
        return;
    g_pStreams[stream]->SetVolume(volume, duration);
}
