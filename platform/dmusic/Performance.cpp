// The DirectMusic performance with its audio paths and segment states, and the DirectSound 3D
// listener and buffers that the paths hand out.
#include "platform/com/ComClasses.h"
#include "platform/dmusic/DMusicObjects.h"

namespace qv::dm {

namespace {

constexpr LONG kPathVolumeMin = -9600;

class Listener final : public ComObject<IDirectSound3DListener> {
public:
    explicit Listener(std::shared_ptr<Engine> engine) : engine_(std::move(engine)) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        return Answer(riid, ppv, {&IID_IUnknown, &IID_IDirectSound3DListener});
    }
    // Deferred settings are applied at once: nothing here batches them.
    STDMETHODIMP SetAllParameters(LPCDS3DLISTENER p, DWORD) override
    {
        if (!p)
            return E_POINTER;
        if (p->dwSize != sizeof(DS3DLISTENER) || p->flDistanceFactor <= 0.0f || p->flRolloffFactor < 0.0f ||
            p->flRolloffFactor > DS3D_MAXROLLOFFFACTOR || p->flDopplerFactor < 0.0f ||
            p->flDopplerFactor > DS3D_MAXDOPPLERFACTOR)
            return DSERR_INVALIDPARAM;
        engine_->SetListener(*p);
        return S_OK;
    }

private:
    std::shared_ptr<Engine> engine_;
};

class Buffer3D final : public ComObject<IDirectSound3DBuffer> {
public:
    Buffer3D(std::shared_ptr<Engine> engine, std::shared_ptr<PathState> path)
        : engine_(std::move(engine)), path_(std::move(path)) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        return Answer(riid, ppv, {&IID_IUnknown, &IID_IDirectSound3DBuffer});
    }
    STDMETHODIMP SetAllParameters(LPCDS3DBUFFER p, DWORD) override
    {
        if (!p)
            return E_POINTER;
        if (p->dwSize != sizeof(DS3DBUFFER) || p->flMinDistance <= 0.0f || p->flMaxDistance < p->flMinDistance ||
            p->dwInsideConeAngle > 360 || p->dwOutsideConeAngle > 360 ||
            p->dwInsideConeAngle > p->dwOutsideConeAngle || p->lConeOutsideVolume > DSBVOLUME_MAX ||
            p->lConeOutsideVolume < DSBVOLUME_MIN || p->dwMode > DS3DMODE_DISABLE)
            return DSERR_INVALIDPARAM;
        engine_->SetPath3D(*path_, *p);
        return S_OK;
    }

private:
    std::shared_ptr<Engine> engine_;
    std::shared_ptr<PathState> path_;
};

class AudioPath final : public ComObject<IDirectMusicAudioPath> {
public:
    AudioPath(std::shared_ptr<Engine> engine, DWORD type) : engine_(std::move(engine)), state_(std::make_shared<PathState>())
    {
        state_->type = type;
        state_->has3D = type == DMUS_APATH_DYNAMIC_3D;
        // A new 3D buffer: DirectSound's defaults.
        DS3DBUFFER& b = state_->buffer3D;
        b.dwSize = sizeof(DS3DBUFFER);
        b.dwInsideConeAngle = DS3D_DEFAULTCONEANGLE;
        b.dwOutsideConeAngle = DS3D_DEFAULTCONEANGLE;
        b.lConeOutsideVolume = DS3D_DEFAULTCONEOUTSIDEVOLUME;
        b.vConeOrientation = {0.0f, 0.0f, 1.0f};
        b.flMinDistance = DS3D_DEFAULTMINDISTANCE;
        b.flMaxDistance = DS3D_DEFAULTMAXDISTANCE;
        b.dwMode = DS3DMODE_NORMAL;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        return Answer(riid, ppv, {&IID_IUnknown, &IID_IDirectMusicAudioPath});
    }

    STDMETHODIMP GetObjectInPath(DWORD, DWORD dwStage, DWORD dwBuffer, REFGUID, DWORD dwIndex, REFGUID iidInterface,
                                 void** ppObject) override
    {
        if (!ppObject)
            return E_POINTER;
        *ppObject = nullptr;
        if (dwBuffer != 0 || dwIndex != 0)
            return DMUS_E_NOT_FOUND;
        IUnknown* object = nullptr;
        if (dwStage == DMUS_PATH_PRIMARY_BUFFER && IsEqualGUID(iidInterface, IID_IDirectSound3DListener))
            object = new Listener(engine_);
        else if (dwStage == DMUS_PATH_BUFFER && state_->has3D && IsEqualGUID(iidInterface, IID_IDirectSound3DBuffer))
            object = new Buffer3D(engine_, state_);
        if (!object)
            return DMUS_E_NOT_FOUND;
        HRESULT hr = object->QueryInterface(iidInterface, ppObject);
        object->Release();
        return hr;
    }

    STDMETHODIMP SetVolume(LONG lVolume, DWORD dwDuration) override
    {
        if (lVolume > 0 || lVolume < kPathVolumeMin)
            return E_INVALIDARG;
        engine_->SetPathVolume(*state_, lVolume, dwDuration);
        return S_OK;
    }

    const std::shared_ptr<PathState>& State() const { return state_; }
    const std::shared_ptr<Engine>& GetEngine() const { return engine_; }

private:
    std::shared_ptr<Engine> engine_;
    std::shared_ptr<PathState> state_;
};

class SegmentState final : public ComObject<IDirectMusicSegmentState8> {
public:
    explicit SegmentState(std::shared_ptr<Voice> voice) : voice_(std::move(voice)) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        return Answer(riid, ppv, {&IID_IUnknown, &IID_IDirectMusicSegmentState, &IID_IDirectMusicSegmentState8});
    }
    const std::shared_ptr<Voice>& GetVoice() const { return voice_; }

private:
    std::shared_ptr<Voice> voice_; // null when nothing could be played
};

class Performance final : public ComObject<IDirectMusicPerformance8> {
public:
    ~Performance() override { CloseDown(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        return Answer(riid, ppv, {&IID_IUnknown, &IID_IDirectMusicPerformance, &IID_IDirectMusicPerformance8});
    }

    STDMETHODIMP Stop(IDirectMusicSegment* pSegment, IDirectMusicSegmentState* pSegmentState, MUSIC_TIME,
                      DWORD) override
    {
        if (!engine_)
            return DMUS_E_NOT_INIT;
        if (!pSegment && !pSegmentState) {
            engine_->StopAll();
            return S_OK;
        }
        if (pSegment)
            StopObject(pSegment);
        if (pSegmentState)
            StopObject(pSegmentState);
        return S_OK;
    }

    STDMETHODIMP IsPlaying(IDirectMusicSegment* pSegment, IDirectMusicSegmentState* pSegState) override
    {
        if (!pSegment && !pSegState)
            return E_POINTER;
        if (!engine_)
            return DMUS_E_NO_MASTER_CLOCK;
        if (pSegState) {
            auto* state = dynamic_cast<SegmentState*>(pSegState);
            return state && engine_->IsPlaying(state->GetVoice()) ? S_OK : S_FALSE;
        }
        auto* segment = dynamic_cast<Segment*>(pSegment);
        return segment && engine_->IsSegmentPlaying(segment->Id()) ? S_OK : S_FALSE;
    }

    STDMETHODIMP SetGlobalParam(REFGUID rguidType, void* pParam, DWORD dwSize) override
    {
        if (!pParam)
            return E_POINTER;
        if (!IsEqualGUID(rguidType, GUID_PerfMasterVolume))
            return DMUS_E_TYPE_UNSUPPORTED;
        if (dwSize != sizeof(LONG))
            return E_INVALIDARG;
        LONG volume;
        std::memcpy(&volume, pParam, sizeof volume);
        masterVolume_ = volume;
        if (engine_)
            engine_->SetMasterVolume(volume);
        return S_OK;
    }

    STDMETHODIMP CloseDown() override
    {
        if (defaultPath_) {
            defaultPath_->Release();
            defaultPath_ = nullptr;
        }
        if (engine_) {
            engine_->Shutdown();
            engine_.reset();
        }
        return S_OK;
    }

    STDMETHODIMP InitAudio(IDirectMusic** ppDirectMusic, IDirectSound** ppDirectSound, HWND, DWORD dwDefaultPathType,
                           DWORD, DWORD, DMUS_AUDIOPARAMS*) override
    {
        if (engine_)
            return DMUS_E_ALREADY_INITED;
        // The core DirectMusic and DirectSound objects are not available to callers here.
        if ((ppDirectMusic && *ppDirectMusic) || (ppDirectSound && *ppDirectSound))
            return E_INVALIDARG;
        if (dwDefaultPathType != 0 && !IsStandardPath(dwDefaultPathType))
            return E_INVALIDARG;
        engine_ = Engine::Open();
        if (!engine_)
            return E_FAIL;
        engine_->SetMasterVolume(masterVolume_);
        if (dwDefaultPathType != 0)
            defaultPath_ = new AudioPath(engine_, dwDefaultPathType);
        return S_OK;
    }

    STDMETHODIMP PlaySegmentEx(IUnknown* pSource, WCHAR*, IUnknown*, DWORD dwFlags, INT64,
                               IDirectMusicSegmentState** ppSegmentState, IUnknown* pFrom,
                               IUnknown* pAudioPath) override
    {
        if (ppSegmentState)
            *ppSegmentState = nullptr;
        if (!engine_)
            return DMUS_E_NOT_INIT;
        auto* segment = dynamic_cast<Segment*>(pSource);
        if (!segment)
            return E_POINTER;
        AudioPath* path = pAudioPath ? dynamic_cast<AudioPath*>(pAudioPath) : defaultPath_;
        if (!path)
            return DMUS_E_NO_AUDIOPATH;
        if (path->GetEngine() != engine_)
            return E_INVALIDARG;
        if (pFrom)
            StopObject(pFrom);
        // A primary segment takes the place of the one playing before it.
        const bool primary = !(dwFlags & DMUS_SEGF_SECONDARY);
        if (primary && primaryVoice_)
            engine_->Stop(primaryVoice_);
        auto voice = engine_->Play(segment->Wave(), segment->PeriodFrames(), segment->Repeats(), path->State(),
                                   segment->Id());
        if (primary)
            primaryVoice_ = voice;
        if (ppSegmentState)
            *ppSegmentState = new SegmentState(voice);
        return S_OK;
    }

    STDMETHODIMP StopEx(IUnknown* pObjectToStop, INT64, DWORD) override
    {
        if (!engine_)
            return DMUS_E_NOT_INIT;
        if (!pObjectToStop)
            engine_->StopAll();
        else
            StopObject(pObjectToStop);
        return S_OK;
    }

    STDMETHODIMP CreateStandardAudioPath(DWORD dwType, DWORD, BOOL, IDirectMusicAudioPath** ppNewPath) override
    {
        if (!ppNewPath)
            return E_POINTER;
        *ppNewPath = nullptr;
        if (!engine_)
            return DMUS_E_NOT_INIT;
        if (!IsStandardPath(dwType))
            return E_INVALIDARG;
        *ppNewPath = new AudioPath(engine_, dwType);
        return S_OK;
    }

    STDMETHODIMP GetDefaultAudioPath(IDirectMusicAudioPath** ppAudioPath) override
    {
        if (!ppAudioPath)
            return E_POINTER;
        *ppAudioPath = nullptr;
        if (!engine_)
            return DMUS_E_NOT_INIT;
        if (!defaultPath_)
            return DMUS_E_NOT_FOUND;
        defaultPath_->AddRef();
        *ppAudioPath = defaultPath_;
        return S_OK;
    }

private:
    static bool IsStandardPath(DWORD type)
    {
        return type == DMUS_APATH_DYNAMIC_3D || type == DMUS_APATH_DYNAMIC_STEREO || type == DMUS_APATH_DYNAMIC_MONO ||
               type == DMUS_APATH_SHARED_STEREOPLUSREVERB;
    }

    // Stops whatever an object names: a segment state, every play of a segment, or every
    // sound on an audio path.
    void StopObject(IUnknown* object)
    {
        if (auto* state = dynamic_cast<SegmentState*>(object))
            engine_->Stop(state->GetVoice());
        else if (auto* segment = dynamic_cast<Segment*>(object))
            engine_->StopSegment(segment->Id());
        else if (auto* path = dynamic_cast<AudioPath*>(object))
            engine_->StopPath(path->State().get());
    }

    std::shared_ptr<Engine> engine_;
    AudioPath* defaultPath_ = nullptr;
    std::shared_ptr<Voice> primaryVoice_;
    LONG masterVolume_ = 0;
};

} // namespace

} // namespace qv::dm

HRESULT qv::CreateDirectMusicPerformance(REFIID riid, void** ppv)
{
    auto* performance = new qv::dm::Performance();
    HRESULT hr = performance->QueryInterface(riid, ppv);
    performance->Release();
    return hr;
}
