// The COM objects of the DirectMusic layer, as the loader and the performance see each other.
#pragma once

#include <atomic>
#include <memory>

#include "platform/dmusic/AudioEngine.h"
#include "platform/dmusic/DMusic.h"
#include "platform/dmusic/WaveFormat.h"

namespace qv::dm {

// Reference counting shared by every object; the count may change on any thread.
template <class Interface>
class ComObject : public Interface {
public:
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG n = --refs_;
        if (n == 0)
            delete this;
        return n;
    }
    virtual ~ComObject() = default;

protected:
    // Answers `self` for the interfaces in `ids`, E_NOINTERFACE otherwise.
    HRESULT Answer(REFIID riid, void** ppv, std::initializer_list<const IID*> ids)
    {
        if (!ppv)
            return E_POINTER;
        for (const IID* id : ids)
            if (IsEqualGUID(*id, riid)) {
                *ppv = static_cast<Interface*>(this);
                AddRef();
                return S_OK;
            }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }

private:
    std::atomic<ULONG> refs_{1};
};

class Segment final : public ComObject<IDirectMusicSegment8> {
public:
    explicit Segment(std::shared_ptr<const WaveData> wave);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP GetLength(MUSIC_TIME* pmtLength) override;
    STDMETHODIMP SetLength(MUSIC_TIME mtLength) override;
    STDMETHODIMP SetRepeats(DWORD dwRepeats) override;
    STDMETHODIMP SetParam(REFGUID rguidType, DWORD dwGroupBits, DWORD dwIndex, MUSIC_TIME mtTime,
                          void* pParam) override;
    STDMETHODIMP Download(IUnknown* pAudioPath) override;
    STDMETHODIMP Unload(IUnknown* pAudioPath) override;

    const std::shared_ptr<const WaveData>& Wave() const { return wave_; }
    uint64_t Id() const { return id_; }
    DWORD Repeats() const { return repeats_; }
    // Frames of one pass: 0 while the length is the wave's own.
    uint64_t PeriodFrames() const;

private:
    std::shared_ptr<const WaveData> wave_;
    uint64_t id_;
    DWORD repeats_ = 0;
    MUSIC_TIME length_;
    bool lengthSet_ = false;
    std::atomic<int> downloads_{0};
};

// Music time runs at DirectMusic's default tempo of 120 beats a minute: 1536 ticks a second.
constexpr int64_t kTicksPerSecond = DMUS_PPQ * 2;

} // namespace qv::dm
