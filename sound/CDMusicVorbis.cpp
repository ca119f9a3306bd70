#include "sound/CDMusicVorbis.h"

#include <cstring>

#include "sound/CDMusic.h"
#include "sound/CDMusicSound.h"
#include "sound/CVorbisWaveStream.h"

CDMusicVorbis::CDMusicVorbis()
    : m_pSegment(NULL), m_pSegmentState(NULL), m_pAudioPath(NULL), m_pLoader(NULL), m_dwStartTime(0)
{
    IDirectMusicPerformance8* performance = CDMusic::GetInstance().GetPerformance();
    if (!performance)
        return;
    try {
        if (FAILED(CoCreateInstance(CLSID_DirectMusicLoader, NULL, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                    IID_IDirectMusicLoader8, (void**)&m_pLoader)))
            throw "FAILED CDMusicVorbis::Load CoCreateInstance";
        if (FAILED(performance->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_3D, 64, TRUE, &m_pAudioPath)))
            throw "FAILED CDMusicVorbis::Load CreateStandardAudioPath";
    } catch (const char*) {
        Release();
        throw;
    }
}

CDMusicVorbis::~CDMusicVorbis() noexcept(false)
{
    if (m_pSegment) {
        IDirectMusicPerformance8* performance = CDMusic::GetInstance().GetPerformance();
        if (performance && FAILED(m_pSegment->Unload(performance)))
            throw "FAILED CDMusicVorbis::~CDMusicVorbis Unload";
    }
    Release();
}

void CDMusicVorbis::Release()
{
    Stop();
    ReleaseInterface(m_pAudioPath);
    ReleaseInterface(m_pSegment);
    ReleaseInterface(m_pLoader);
}

void CDMusicVorbis::Load(const char* path)
{
    IDirectMusicPerformance8* performance = CDMusic::GetInstance().GetPerformance();
    if (!m_pLoader || !performance)
        return;
    CVorbisWaveStream* stream = NULL;
    try {
        if (FAILED(m_pLoader->ClearCache(GUID_DirectMusicAllTypes)))
            throw "FAILED CDMusicVorbis::Load ClearCache";
        stream = new CVorbisWaveStream();
        if (FAILED(stream->LoadA(path)))
            throw "FAILED CDMusicVorbis::Load LoadA";
        DMUS_OBJECTDESC desc;
        std::memset(&desc, 0, sizeof desc);
        desc.dwSize = sizeof(DMUS_OBJECTDESC);
        desc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_STREAM;
        desc.guidClass = CLSID_DirectMusicSegment;
        desc.pStream = stream;
        ReleaseInterface(m_pSegment);
        if (FAILED(m_pLoader->GetObject(&desc, IID_IDirectMusicSegment8, (void**)&m_pSegment)))
            throw "FAILED CDMusicVorbis::Load GetObject";
        if (FAILED(m_pSegment->Download(performance)))
            throw "FAILED CDMusicVorbis::Load Download";
        stream->Release(); // the loader keeps what it needs
    } catch (const char*) {
        ReleaseInterface(m_pSegment);
        if (stream)
            stream->Release();
        throw;
    }
}

void CDMusicVorbis::Play()
{
    if (!m_pSegment)
        return;
    IDirectMusicPerformance8* performance = CDMusic::GetInstance().GetPerformance();
    m_dwStartTime = timeGetTime();
    IDirectMusicSegmentState* state = NULL;
    if (FAILED(performance->PlaySegmentEx(m_pSegment, NULL, NULL, DMUS_SEGF_SECONDARY, 0, &state, NULL,
                                          m_pAudioPath)))
        throw "FAILED CDMusicVorbis::Play PlaySegmentEx";
    KeepSegmentState(state, m_pSegmentState, "FAILED CDMusicVorbis::Play QueryInterface");
}

void CDMusicVorbis::SetVolume(float volume, DWORD duration)
{
    if (!m_pAudioPath)
        return;
    if (FAILED(m_pAudioPath->SetVolume(SoundVolumeToHundredths(volume), duration)))
        throw "FAILED CDMusicVorbis::SetVolume SetVolume";
}

void CDMusicVorbis::SetRepeats(DWORD repeats)
{
    if (!m_pSegment)
        return;
    if (FAILED(m_pSegment->SetRepeats(repeats)))
        throw "FAILED CDMusicVorbis::SetRepeats SetRepeats";
}

bool CDMusicVorbis::IsPlaying()
{
    if (!m_pSegment)
        return false;
    if (timeGetTime() - m_dwStartTime < 50)
        return true;
    IDirectMusicPerformance8* performance = CDMusic::GetInstance().GetPerformance();
    if (!performance)
        return false;
    return IsPlayingResult(performance->IsPlaying(m_pSegment, NULL), "FAILED CDMusicVorbis::IsPlaying IsPlaying");
}

void CDMusicVorbis::Stop()
{
    if (!m_pSegment)
        return;
    IDirectMusicPerformance8* performance = CDMusic::GetInstance().GetPerformance();
    if (!performance)
        return;
    // A stream that never played has no state; stopping "nothing" would stop every sound of
    // the performance.
    if (m_pSegmentState && FAILED(performance->StopEx(m_pSegmentState, 0, 0)))
        throw "FAILED CDMusicVorbis::Stop Stop";
    for (int i = 0; i < 1000 && IsPlaying(); ++i)
        Sleep(1);
    if (FAILED(m_pSegment->Unload(performance)))
        throw "FAILED CDMusicSound::Stop Release";
    ReleaseInterface(m_pSegmentState);
    m_pSegment->Release();
    m_pSegment = NULL;
}
