// Small helpers of the DirectMusic layer's tests: COM pointers that release themselves, a
// performance on the loopback or silent device, and levels of mixed sound.
#pragma once

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "platform/dmusic/DMusic.h"
#include "platform/dmusic/DMusicTestHooks.h"

namespace dmtest {

template <class T>
struct Ref {
    T* p = nullptr;
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { reset(); }
    void reset()
    {
        if (p)
            p->Release();
        p = nullptr;
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
    operator T*() const { return p; }
    void** out() { return reinterpret_cast<void**>(&p); }
};

inline void MakePerformance(Ref<IDirectMusicPerformance8>& perf, Ref<IDirectMusicLoader8>& loader)
{
    ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IDirectMusicPerformance8, perf.out()), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectMusicLoader8,
                               loader.out()), S_OK);
    ASSERT_EQ(perf->InitAudio(nullptr, nullptr, nullptr, DMUS_APATH_DYNAMIC_STEREO, 64, DMUS_AUDIOF_ALL, nullptr),
              S_OK);
}

inline HRESULT SegmentFromMemory(IDirectMusicLoader8* loader, std::vector<uint8_t>& image,
                                 Ref<IDirectMusicSegment8>& segment)
{
    DMUS_OBJECTDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_MEMORY;
    desc.guidClass = CLSID_DirectMusicSegment;
    desc.llMemLength = static_cast<LONGLONG>(image.size());
    desc.pbMemData = image.data();
    return loader->GetObject(&desc, IID_IDirectMusicSegment8, segment.out());
}

// Root mean square of one channel of interleaved stereo, over frames [from, to).
inline double Rms(const std::vector<float>& stereo, size_t from, size_t to, int channel = 0)
{
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += double(stereo[i * 2 + channel]) * stereo[i * 2 + channel];
    return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
}

inline double Peak(const std::vector<float>& stereo)
{
    double peak = 0;
    for (float v : stereo)
        peak = std::max(peak, double(std::fabs(v)));
    return peak;
}

// Every test starts from the default choice of device.
struct OutputReset {
    ~OutputReset()
    {
        qv::test::UseLoopbackAudio(false);
        qv::test::UseSilentAudio(false);
    }
};

} // namespace dmtest
