#include "sound/CDMusic.h"

CDMusic::CDMusic(Empty) : m_pLoader(NULL), m_pPerformance(NULL), m_bCoInitialized(false) {}

CDMusic::CDMusic() : m_pLoader(NULL), m_pPerformance(NULL), m_bCoInitialized(false)
{
    try {
        if (FAILED(CoInitialize(NULL)))
            throw "FAILED CDMusic::CDMusic CoInitialize";
        m_bCoInitialized = true;
        if (FAILED(CoCreateInstance(CLSID_DirectMusicLoader, NULL, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                    IID_IDirectMusicLoader8, (void**)&m_pLoader)))
            throw "FAILED CDMusic::CDMusic CoCreateInstance[CLSID_DirectMusicLoader]";
        if (FAILED(CoCreateInstance(CLSID_DirectMusicPerformance, NULL, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                    IID_IDirectMusicPerformance8, (void**)&m_pPerformance)))
            throw "FAILED CDMusic::CDMusic CoCreateInstance[CLSID_DirectMusicPerformance]";
        if (FAILED(m_pPerformance->InitAudio(NULL, NULL, NULL, DMUS_APATH_DYNAMIC_STEREO, 64, DMUS_AUDIOF_ALL, NULL)))
            throw "FAILED CDMusic::CDMusic InitAudio";
    } catch (const char*) {
        ReleaseAll();
        throw;
    }
}

CDMusic::~CDMusic() { ReleaseAll(); }

CDMusic& CDMusic::GetInstance()
{
    static CDMusic instance{Empty()};
    return instance;
}

// Clears what it releases, so that running it again finds nothing.
void CDMusic::ReleaseAll()
{
    ReleaseInterface(m_pLoader);
    if (m_pPerformance) {
        m_pPerformance->Stop(NULL, NULL, 0, 0);
        m_pPerformance->CloseDown();
        m_pPerformance->Release();
        m_pPerformance = NULL;
    }
    if (m_bCoInitialized) {
        CoUninitialize();
        m_bCoInitialized = false;
    }
}

void CDMusic::SetMasterVolume(LONG volume)
{
    if (!m_pPerformance)
        return;
    if (FAILED(m_pPerformance->SetGlobalParam(GUID_PerfMasterVolume, &volume, sizeof(LONG))))
        throw "FAILED CDMusicSound::SetMasterVolume SetGlobalParam";
}

bool IsPlayingResult(HRESULT hr, const char* failure)
{
    if (hr == S_FALSE)
        return false;
    if (hr == E_POINTER || hr == DMUS_E_NO_MASTER_CLOCK)
        throw failure;
    return true;
}

void KeepSegmentState(IDirectMusicSegmentState* state, IDirectMusicSegmentState8*& kept, const char* failure)
{
    ReleaseInterface(kept);
    HRESULT hr = state->QueryInterface(IID_IDirectMusicSegmentState8, (void**)&kept);
    state->Release();
    if (FAILED(hr))
        throw failure;
}
