#include "sound/CDMusicSound.h"

#include <cctype>
#include <cstring>

#include "sound/CDMusic.h"

namespace {

// A formatted failure text lives here until the handler has shown it; only one is ever in
// flight on the game's one thread.
char g_szSoundError[1024];

bool IsMidiPath(const char* path)
{
    size_t n = std::strlen(path);
    if (n < 3)
        return false;
    const char* ext = path + n - 3;
    return std::tolower((unsigned char)ext[0]) == 'm' && std::tolower((unsigned char)ext[1]) == 'i' &&
           std::tolower((unsigned char)ext[2]) == 'd';
}

} // namespace

LONG SoundVolumeToHundredths(float volume)
{
    float hundredths = volume * 9600.0f - 9600.0f;
    if (!(hundredths > -9600.0f)) // not a number counts as silent
        return -9600;
    if (hundredths > 0.0f)
        return 0;
    return (LONG)hundredths; // truncation toward zero

}

CDMusicSound::CDMusicSound()
    : m_pAudioPath(NULL), m_pListener(NULL), m_p3DBuffer(NULL), m_pSegment(NULL), m_pSegmentState(NULL),
      m_dwStartTime(0), m_bPrimary(true), m_bDownloaded(false)
{
    std::memset(&m_ListenerParams, 0, sizeof m_ListenerParams);
    std::memset(&m_BufferParams, 0, sizeof m_BufferParams);
    IDirectMusicPerformance8* performance = CDMusic::GetInstance().GetPerformance();
    if (!performance)
        return;
    try {
        if (FAILED(performance->CreateStandardAudioPath(DMUS_APATH_DYNAMIC_3D, 64, TRUE, &m_pAudioPath)))
            throw "FAILED CDMusicSound::CDMusicSound CreateStandardAudioPath";
        if (FAILED(m_pAudioPath->GetObjectInPath(0, DMUS_PATH_PRIMARY_BUFFER, 0, GUID_NULL, 0,
                                                 IID_IDirectSound3DListener, (void**)&m_pListener)))
            throw "FAILED CDMusicSound::CDMusicSound GetObjectInPath(Listener)";
        m_ListenerParams.dwSize = sizeof(DS3DLISTENER);
        m_ListenerParams.vPosition = {0.0f, 0.0f, 0.0f};
        m_ListenerParams.vVelocity = {0.0f, 0.0f, 0.0f};
        m_ListenerParams.vOrientFront = {0.0f, 0.0f, 1.0f};
        m_ListenerParams.vOrientTop = {0.0f, 1.0f, 0.0f};
        m_ListenerParams.flDistanceFactor = 1.0f;
        m_ListenerParams.flRolloffFactor = 1.0f;
        m_ListenerParams.flDopplerFactor = 1.0f;
        if (FAILED(m_pListener->SetAllParameters(&m_ListenerParams, DS3D_IMMEDIATE)))
            throw "FAILED CDMusicSound::CDMusicSound SetAllParameters(Listener)";
        if (FAILED(m_pAudioPath->GetObjectInPath(DMUS_PCHANNEL_ALL, DMUS_PATH_BUFFER, 0, GUID_NULL, 0,
                                                 IID_IDirectSound3DBuffer, (void**)&m_p3DBuffer)))
            throw "FAILED CDMusicSound::CDMusicSound GetObjectInPath(3DBuffer)";
        // Head-relative at the listener's own place: effects are not placed in space.
        m_BufferParams.dwSize = sizeof(DS3DBUFFER);
        m_BufferParams.vPosition = {0.0f, 0.0f, 0.0f};
        m_BufferParams.vVelocity = {0.0f, 0.0f, 0.0f};
        m_BufferParams.dwInsideConeAngle = 90;
        m_BufferParams.dwOutsideConeAngle = 180;
        m_BufferParams.vConeOrientation = {0.0f, 0.0f, 0.001f};
        m_BufferParams.lConeOutsideVolume = 0;
        m_BufferParams.flMinDistance = 1.0f;
        m_BufferParams.flMaxDistance = 1000000000.0f;
        m_BufferParams.dwMode = DS3DMODE_HEADRELATIVE;
        if (FAILED(m_p3DBuffer->SetAllParameters(&m_BufferParams, DS3D_IMMEDIATE)))
            throw "FAILED CDMusicSound::CDMusicSound SetAllParameters(3DBuffer)";
    } catch (const char*) {
        Release();
        throw;
    }
}

CDMusicSound::~CDMusicSound() noexcept(false) { Release(); }

void CDMusicSound::Release()
{
    Stop();
    ReleaseInterface(m_pListener);
    ReleaseInterface(m_p3DBuffer);
    ReleaseInterface(m_pAudioPath);
    ReleaseInterface(m_pSegmentState);
    ReleaseInterface(m_pSegment);
}

void CDMusicSound::Play(const char* path, DWORD repeats) { PlaySub(path, repeats, 0, false); }

void CDMusicSound::PlaySub(const void* data, DWORD repeats, LONG size, bool primary)
{
    IDirectMusicLoader8* loader = CDMusic::GetInstance().GetLoader();
    IDirectMusicPerformance8* performance = CDMusic::GetInstance().GetPerformance();
    if (!loader || !performance)
        return;
    if (m_pSegment)
        throw "FAILED CDMusicSound::PlaySub pDMusicSegment is already initialized";
    m_bPrimary = primary;
    m_dwStartTime = timeGetTime();

    bool midi = false;
    if (size != 0) {
        DMUS_OBJECTDESC desc;
        std::memset(&desc, 0, sizeof desc);
        desc.dwSize = sizeof(DMUS_OBJECTDESC);
        desc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_MEMORY;
        desc.guidClass = CLSID_DirectMusicSegment;
        desc.llMemLength = size;
        desc.pbMemData = (LPBYTE)data;
        if (FAILED(loader->GetObject(&desc, IID_IDirectMusicSegment8, (void**)&m_pSegment)))
            throw "FAILED CDMusicSound::PlaySub GetObject";
        midi = size >= 4 && std::memcmp(data, "MThd", 4) == 0;
    } else {
        const char* path = (const char*)data;
        WCHAR widePath[MAX_PATH];
        std::memset(widePath, 0, sizeof widePath);
        // A path that does not fit is no path: the loader refuses it, rather than a cut one.
        if (MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH) == 0)
            widePath[0] = 0;
        if (FAILED(loader->LoadObjectFromFile(CLSID_DirectMusicSegment, IID_IDirectMusicSegment8, widePath,
                                              (void**)&m_pSegment))) {
            std::snprintf(g_szSoundError, sizeof g_szSoundError, "FAILED CDMusicSound::PlaySub LoadObjectFromFile[%s]",
                          path);
            throw (const char*)g_szSoundError;
        }
        midi = IsMidiPath(path);
    }

    if (midi) {
        if (FAILED(m_pSegment->SetParam(GUID_StandardMIDIFile, 0xFFFFFFFF, 0, 0, NULL)))
            throw "FAILED CDMusicSound::PlaySub SetParam";
        // A MIDI segment plays through the performance's synthesizer path from now on.
        ReleaseInterface(m_pAudioPath);
        if (FAILED(performance->GetDefaultAudioPath(&m_pAudioPath)))
            throw "FAILED CDMusicSound::PlaySub CreateStandardAudioPath";
    }
    if (FAILED(m_pSegment->Download(performance)))
        throw "FAILED CDMusicSound::PlaySub Download";
    m_bDownloaded = true;
    if (FAILED(m_pSegment->SetRepeats(repeats)))
        throw "CDMusicSound::PlaySub SetRepeats";
    PlaySegment();
}

void CDMusicSound::PlaySegment()
{
    if (!m_pSegment)
        return;
    IDirectMusicPerformance8* performance = CDMusic::GetInstance().GetPerformance();
    IDirectMusicSegmentState* state = NULL;
    if (FAILED(performance->PlaySegmentEx(m_pSegment, NULL, NULL, m_bPrimary ? 0 : DMUS_SEGF_SECONDARY, 0, &state,
                                          NULL, m_pAudioPath)))
        throw "FAILED CDMusicSound::PlaySegment PlaySegmentEx";
    KeepSegmentState(state, m_pSegmentState, "FAILED CDMusicSound::PlaySegment QueryInterface");
    MUSIC_TIME length = 0;
    if (FAILED(m_pSegment->GetLength(&length)))
        throw "FAILED CDMusicSound::PlaySegment GetLength";
    if (length == 1 && FAILED(m_pSegment->SetLength(0x7FFFFFFF)))
        throw "FAILED CDMusicSound::PlaySegment SetLength";
}

bool CDMusicSound::IsPlaying()
{
    IDirectMusicPerformance8* performance = CDMusic::GetInstance().GetPerformance();
    if (!performance || !m_pSegmentState)
        return false;
    // A play that has just been set up counts as playing, whatever the performance says yet.
    if (timeGetTime() - m_dwStartTime < 50)
        return true;
    return IsPlayingResult(performance->IsPlaying(NULL, m_pSegmentState), "FAILED CDMusicSound::IsPlaying IsPlaying");
}

void CDMusicSound::SetVolume(float volume, DWORD duration)
{
    if (!m_pAudioPath)
        return;
    if (FAILED(m_pAudioPath->SetVolume(SoundVolumeToHundredths(volume), duration)))
        throw "FAILED CDMusicSound::SetVolume SetVolume";
}

void CDMusicSound::Stop()
{
    IDirectMusicPerformance8* performance = CDMusic::GetInstance().GetPerformance();
    if (!performance || !m_pSegment)
        return;
    // A segment whose play failed has no state; it is dropped all the same, or the channel
    // would refuse every later sound as "already initialized".
    if (m_pSegmentState) {
        if (FAILED(performance->StopEx(m_pSegmentState, 0, 0)))
            throw "FAILED CDMusicSound::Stop Stop";
        for (int i = 0; i < 1000 && IsPlaying(); ++i)
            Sleep(1);
    }
    if (m_bDownloaded && FAILED(m_pSegment->Unload(performance)))
        throw "FAILED CDMusicSound::Stop Release";
    m_bDownloaded = false;
    ReleaseInterface(m_pSegmentState);
    m_pSegment->Release();
    m_pSegment = NULL;
}
