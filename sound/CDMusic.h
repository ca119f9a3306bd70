// The process-wide DirectMusic object: the loader, the performance and the master volume.
#pragma once

#include "app/ReleaseInterface.h"
#include "platform/platform.h"

class CDMusic {
public:
    // The object as GetInstance first builds it: nothing set up.
    struct Empty {};
    explicit CDMusic(Empty);
    // The set-up: COM, the loader, the performance and its audio.
    CDMusic();
    ~CDMusic();
    CDMusic(const CDMusic&) = delete;
    CDMusic& operator=(const CDMusic&) = delete;

    static CDMusic& GetInstance();

    void SetMasterVolume(LONG volume);

    IDirectMusicLoader8* GetLoader() const { return m_pLoader; }
    IDirectMusicPerformance8* GetPerformance() const { return m_pPerformance; }

private:
    void ReleaseAll();

    IDirectMusicLoader8* m_pLoader;
    IDirectMusicPerformance8* m_pPerformance;
    bool m_bCoInitialized;
};

// The performance's IsPlaying answer as the sound classes read it: S_FALSE is not playing; a
// missing pointer or master clock throws `failure`; anything else, failures too, is playing.
bool IsPlayingResult(HRESULT hr, const char* failure);

// Keeps the state of a new play in `kept`, releasing the one kept before, and releases the
// interface that the play returned; throws `failure` when that is no IDirectMusicSegmentState8.
void KeepSegmentState(IDirectMusicSegmentState* state, IDirectMusicSegmentState8*& kept, const char* failure);
