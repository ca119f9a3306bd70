// The process-wide DirectMusic object: the loader, the performance and the master volume.
#pragma once

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
