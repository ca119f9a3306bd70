// One sound-effect channel: a WAV (or standard MIDI) segment played on its own 3D audio path.
#pragma once

#include "platform/platform.h"

class CDMusicSound {
public:
    CDMusicSound();
    // Release's failure text reaches the code that destroys the channel.
    ~CDMusicSound() noexcept(false);
    CDMusicSound(const CDMusicSound&) = delete;
    CDMusicSound& operator=(const CDMusicSound&) = delete;

    void Release();
    void Play(const char* path, DWORD repeats);
    // data: a file path, or a memory image of `size` bytes (size 0 for a path).
    void PlaySub(const void* data, DWORD repeats, LONG size, bool primary);
    void PlaySegment();
    bool IsPlaying();
    void SetVolume(float volume, DWORD duration);
    void Stop();

private:
    IDirectMusicAudioPath8* m_pAudioPath;
    IDirectSound3DListener* m_pListener;
    DS3DLISTENER m_ListenerParams;
    IDirectSound3DBuffer* m_p3DBuffer;
    DS3DBUFFER m_BufferParams;
    IDirectMusicSegment8* m_pSegment;
    IDirectMusicSegmentState8* m_pSegmentState;
    DWORD m_dwStartTime;
    bool m_bPrimary;
    bool m_bDownloaded; // the segment was downloaded and must be unloaded
};

// Hundredths of a decibel for a volume from 0 to 1: 1.0 is 0, 0.5 is -4800, 0 and below -9600.
LONG SoundVolumeToHundredths(float volume);
