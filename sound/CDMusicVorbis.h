// One music stream: an Ogg Vorbis file served to its own DirectMusic loader as a WAVE stream
// and played as a segment on its own 3D audio path.
#pragma once

#include "platform/platform.h"

class CDMusicVorbis {
public:
    CDMusicVorbis();
    // Its failure text reaches the code that destroys the stream.
    ~CDMusicVorbis() noexcept(false);
    CDMusicVorbis(const CDMusicVorbis&) = delete;
    CDMusicVorbis& operator=(const CDMusicVorbis&) = delete;

    void Release();
    void Load(const char* path);
    void Play();
    void SetVolume(float volume, DWORD duration);
    // 0 plays once; 0xFFFFFFFF repeats without end.
    void SetRepeats(DWORD repeats);
    bool IsPlaying();
    void Stop();

private:
    IDirectMusicSegment8* m_pSegment;
    IDirectMusicSegmentState8* m_pSegmentState;
    IDirectMusicAudioPath8* m_pAudioPath;
    IDirectMusicLoader8* m_pLoader;
    DWORD m_dwStartTime;
};
