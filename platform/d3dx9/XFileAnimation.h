// The keyframed animation sets and the animation controller behind D3DX's animation
// interfaces, as the .x loader builds them. Internal to the platform layer.
#pragma once

#include <atomic>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/d3dx9/D3DX9Anim.h"
#include "platform/d3dx9/XFileScene.h"

namespace xfile {

// Reference counting shared by the D3DX objects of this layer.
template <class Interface>
class CRefCounted : public Interface {
public:
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            this->AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
    STDMETHOD_(ULONG, Release)() override
    {
        ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~CRefCounted() = default;

private:
    std::atomic<ULONG> m_refs{1};
};

// One set's keys, converted to seconds, with matrix keys decomposed into scale, rotation and
// translation. Channels without keys hold the animated frame's rest value.
class CKeyframedAnimationSet final : public CRefCounted<ID3DXAnimationSet> {
public:
    struct Animation {
        std::string name;
        std::vector<double> scaleTimes, rotationTimes, translationTimes;
        std::vector<D3DXVECTOR3> scales, translations;
        std::vector<D3DXQUATERNION> rotations;
    };

    CKeyframedAnimationSet(std::string name, std::vector<Animation> animations);

    STDMETHOD_(LPCSTR, GetName)() override { return m_name.c_str(); }
    STDMETHOD_(DOUBLE, GetPeriod)() override { return m_period; }
    STDMETHOD_(DOUBLE, GetPeriodicPosition)(DOUBLE Position) override;
    STDMETHOD_(UINT, GetNumAnimations)() override { return static_cast<UINT>(m_animations.size()); }
    STDMETHOD(GetAnimationNameByIndex)(UINT Index, LPCSTR* ppName) override;
    STDMETHOD(GetAnimationIndexByName)(LPCSTR pName, UINT* pIndex) override;
    STDMETHOD(GetSRT)(DOUBLE PeriodicPosition, UINT Animation, D3DXVECTOR3* pScale, D3DXQUATERNION* pRotation,
                      D3DXVECTOR3* pTranslation) override;

private:
    std::string m_name;
    std::vector<Animation> m_animations;
    double m_period = 0.0;
};

// Builds the set of a scene; `rest` finds the rest matrix of a frame by name (null: none).
CKeyframedAnimationSet* CreateAnimationSet(const XAnimationSet& set, uint32_t ticksPerSecond,
                                           const D3DXMATRIX* (*rest)(void* context, const std::string& name),
                                           void* context);

class CAnimationController final : public CRefCounted<ID3DXAnimationController> {
public:
    CAnimationController(UINT maxOutputs, UINT maxSets, UINT maxTracks, UINT maxEvents);

    // Used while loading: the frame matrices that the sets' animations pose, and the sets.
    HRESULT RegisterOutput(LPCSTR name, D3DXMATRIX* matrix);
    HRESULT RegisterSet(ID3DXAnimationSet* set);

    STDMETHOD_(UINT, GetMaxNumAnimationOutputs)() override { return m_maxOutputs; }
    STDMETHOD_(UINT, GetMaxNumAnimationSets)() override { return m_maxSets; }
    STDMETHOD_(UINT, GetMaxNumTracks)() override { return static_cast<UINT>(m_tracks.size()); }
    STDMETHOD_(UINT, GetMaxNumEvents)() override { return m_maxEvents; }
    STDMETHOD_(UINT, GetNumAnimationSets)() override { return static_cast<UINT>(m_sets.size()); }
    STDMETHOD(GetAnimationSet)(UINT Index, LPD3DXANIMATIONSET* ppAnimationSet) override;
    STDMETHOD(GetAnimationSetByName)(LPCSTR szName, LPD3DXANIMATIONSET* ppAnimationSet) override;
    STDMETHOD(AdvanceTime)(DOUBLE TimeDelta, LPD3DXANIMATIONCALLBACKHANDLER pCallbackHandler) override;
    STDMETHOD(ResetTime)() override;
    STDMETHOD_(DOUBLE, GetTime)() override { return m_time; }
    STDMETHOD(SetTrackAnimationSet)(UINT Track, LPD3DXANIMATIONSET pAnimSet) override;
    STDMETHOD(SetTrackSpeed)(UINT Track, FLOAT Speed) override;
    STDMETHOD(SetTrackWeight)(UINT Track, FLOAT Weight) override;
    STDMETHOD(SetTrackPosition)(UINT Track, DOUBLE Position) override;
    STDMETHOD(SetTrackEnable)(UINT Track, BOOL Enable) override;
    STDMETHOD(SetTrackDesc)(UINT Track, LPD3DXTRACK_DESC pDesc) override;
    STDMETHOD(GetTrackDesc)(UINT Track, LPD3DXTRACK_DESC pDesc) override;
    STDMETHOD(CloneAnimationController)(UINT MaxNumAnimationOutputs, UINT MaxNumAnimationSets, UINT MaxNumTracks,
                                        UINT MaxNumEvents, LPD3DXANIMATIONCONTROLLER* ppAnimController) override;

private:
    ~CAnimationController() override;

    struct Output {
        std::string name;
        D3DXMATRIX* matrix;
    };
    struct Track {
        ID3DXAnimationSet* set = nullptr;
        D3DXTRACK_DESC desc{D3DXPRIORITY_LOW, 1.0f, 1.0f, 0.0, FALSE};
        std::vector<int> outputOf;  // per animation of the set: its output, or -1
    };
    // Per output, the blend of the tracks so far.
    struct Blend {
        float weight;
        D3DXVECTOR3 scale;  // sum of weight x (scale - 1)
        D3DXVECTOR3 translation;
        D3DXQUATERNION rotation;  // weighted mean so far
        bool touched;
    };

    void MapOutputs(Track& track);
    void Pose();

    UINT m_maxOutputs, m_maxSets, m_maxEvents;
    std::vector<Output> m_outputs;
    std::unordered_map<std::string, int> m_outputOf;  // the first output of each name
    std::vector<ID3DXAnimationSet*> m_sets;
    std::vector<Track> m_tracks;
    std::vector<Blend> m_blend;
    double m_time = 0.0;
};

} // namespace xfile
