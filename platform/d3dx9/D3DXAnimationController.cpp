// Keyframed animation sets and the animation controller that blends them onto frame matrices.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/d3dx9/XFileAnimation.h"
#include "platform/d3dx9/XFileMath.h"

namespace xfile {

namespace {

// Index of the last key at or before t, with the fraction towards the next one.
inline size_t FindKey(const std::vector<double>& times, double t, float& fraction)
{
    fraction = 0.0f;
    if (times.size() < 2 || t <= times.front())
        return 0;
    if (t >= times.back())
        return times.size() - 1;
    size_t k = static_cast<size_t>(std::upper_bound(times.begin(), times.end(), t) - times.begin()) - 1;
    double span = times[k + 1] - times[k];
    fraction = span > 0.0 ? static_cast<float>((t - times[k]) / span) : 0.0f;
    return k;
}

// Keys sorted by time, stably, times and values together.
template <class T>
void SortKeys(std::vector<double>& times, std::vector<T>& values)
{
    if (std::is_sorted(times.begin(), times.end()))
        return;
    std::vector<size_t> order(times.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return times[a] < times[b]; });
    std::vector<double> t(times.size());
    std::vector<T> v(values.size());
    for (size_t i = 0; i < order.size(); ++i) {
        t[i] = times[order[i]];
        v[i] = values[order[i]];
    }
    times.swap(t);
    values.swap(v);
}

inline D3DXVECTOR3 Lerp(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float f)
{
    return D3DXVECTOR3(a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f, a.z + (b.z - a.z) * f);
}

} // namespace

// ---------------------------------------------------------------------------------------------

CKeyframedAnimationSet::CKeyframedAnimationSet(std::string name, std::vector<Animation> animations)
    : m_name(std::move(name)), m_animations(std::move(animations))
{
    for (const Animation& a : m_animations)
        for (const std::vector<double>* times : {&a.scaleTimes, &a.rotationTimes, &a.translationTimes})
            if (!times->empty())
                m_period = std::max(m_period, times->back());
}

DOUBLE CKeyframedAnimationSet::GetPeriodicPosition(DOUBLE Position)
{
    // Sets loop over their period.
    if (!(m_period > 0.0) || !std::isfinite(Position))
        return 0.0;
    double p = std::fmod(Position, m_period);
    if (p < 0.0)
        p += m_period;
    return p;
}

HRESULT CKeyframedAnimationSet::GetAnimationNameByIndex(UINT Index, LPCSTR* ppName)
{
    if (!ppName || Index >= m_animations.size())
        return D3DERR_INVALIDCALL;
    *ppName = m_animations[Index].name.c_str();
    return D3D_OK;
}

HRESULT CKeyframedAnimationSet::GetAnimationIndexByName(LPCSTR pName, UINT* pIndex)
{
    if (!pName || !pIndex)
        return D3DERR_INVALIDCALL;
    for (size_t i = 0; i < m_animations.size(); ++i)
        if (m_animations[i].name == pName) {
            *pIndex = static_cast<UINT>(i);
            return D3D_OK;
        }
    return D3DERR_INVALIDCALL;
}

HRESULT CKeyframedAnimationSet::GetSRT(DOUBLE PeriodicPosition, UINT Animation, D3DXVECTOR3* pScale,
                                       D3DXQUATERNION* pRotation, D3DXVECTOR3* pTranslation)
{
    if (Animation >= m_animations.size())
        return D3DERR_INVALIDCALL;
    const CKeyframedAnimationSet::Animation& a = m_animations[Animation];
    float f;
    if (pScale) {
        size_t k = FindKey(a.scaleTimes, PeriodicPosition, f);
        *pScale = f > 0.0f ? Lerp(a.scales[k], a.scales[k + 1], f) : a.scales[k];
    }
    if (pRotation) {
        size_t k = FindKey(a.rotationTimes, PeriodicPosition, f);
        *pRotation = f > 0.0f ? QuatSlerp(a.rotations[k], a.rotations[k + 1], f) : a.rotations[k];
    }
    if (pTranslation) {
        size_t k = FindKey(a.translationTimes, PeriodicPosition, f);
        *pTranslation = f > 0.0f ? Lerp(a.translations[k], a.translations[k + 1], f) : a.translations[k];
    }
    return D3D_OK;
}

CKeyframedAnimationSet* CreateAnimationSet(const XAnimationSet& set, uint32_t ticksPerSecond,
                                           const D3DXMATRIX* (*rest)(void*, const std::string&), void* context)
{
    const double secondsPerTick = 1.0 / static_cast<double>(ticksPerSecond ? ticksPerSecond : 4800);
    // Animations of one frame are merged: some writers give each kind of key its own block.
    std::vector<CKeyframedAnimationSet::Animation> animations;
    animations.reserve(set.animations.size());
    for (const XAnimation& xa : set.animations) {
        CKeyframedAnimationSet::Animation* a = nullptr;
        for (CKeyframedAnimationSet::Animation& existing : animations)
            if (existing.name == xa.frameName)
                a = &existing;
        if (!a) {
            animations.emplace_back();
            a = &animations.back();
            a->name = xa.frameName;
        }
        CKeyframedAnimationSet::Animation keys;
        // Matrix keys become scale, rotation and translation keys at the same times.
        for (const XKey<16>& k : xa.matrices) {
            D3DXMATRIX m(k.value);
            D3DXVECTOR3 s, t;
            D3DXQUATERNION r;
            DecomposeSRT(m, s, r, t);
            double time = k.time * secondsPerTick;
            keys.scaleTimes.push_back(time);
            keys.scales.push_back(s);
            keys.rotationTimes.push_back(time);
            keys.rotations.push_back(r);
            keys.translationTimes.push_back(time);
            keys.translations.push_back(t);
        }
        for (const XKey<3>& k : xa.scales) {
            keys.scaleTimes.push_back(k.time * secondsPerTick);
            keys.scales.emplace_back(k.value[0], k.value[1], k.value[2]);
        }
        // The file stores w first; D3DX quaternions are x, y, z, w.
        for (const XKey<4>& k : xa.rotations) {
            D3DXQUATERNION q(k.value[1], k.value[2], k.value[3], k.value[0]);
            const float len = std::sqrt(QuatDot(q, q));
            q = len > 0.0f && std::isfinite(len) ? D3DXQUATERNION(q.x / len, q.y / len, q.z / len, q.w / len) : QuatIdentity();
            keys.rotationTimes.push_back(k.time * secondsPerTick);
            keys.rotations.push_back(q);
        }
        for (const XKey<3>& k : xa.positions) {
            keys.translationTimes.push_back(k.time * secondsPerTick);
            keys.translations.emplace_back(k.value[0], k.value[1], k.value[2]);
        }
        // Each kind of key comes from the first block of the frame that has it.
        if (a->scales.empty() && !keys.scales.empty()) {
            a->scales = std::move(keys.scales);
            a->scaleTimes = std::move(keys.scaleTimes);
        }
        if (a->rotations.empty() && !keys.rotations.empty()) {
            a->rotations = std::move(keys.rotations);
            a->rotationTimes = std::move(keys.rotationTimes);
        }
        if (a->translations.empty() && !keys.translations.empty()) {
            a->translations = std::move(keys.translations);
            a->translationTimes = std::move(keys.translationTimes);
        }
    }
    // Keys from several blocks of one kind (matrix keys and separate ones) are kept in time
    // order; channels without keys hold the frame's rest value.
    for (CKeyframedAnimationSet::Animation& a : animations) {
        D3DXVECTOR3 restS(1.0f, 1.0f, 1.0f), restT(0.0f, 0.0f, 0.0f);
        D3DXQUATERNION restR = QuatIdentity();
        if (const D3DXMATRIX* m = rest ? rest(context, a.name) : nullptr)
            DecomposeSRT(*m, restS, restR, restT);
        SortKeys(a.scaleTimes, a.scales);
        SortKeys(a.rotationTimes, a.rotations);
        SortKeys(a.translationTimes, a.translations);
        if (a.scales.empty()) {
            a.scales.push_back(restS);
            a.scaleTimes.push_back(0.0);
        }
        if (a.rotations.empty()) {
            a.rotations.push_back(restR);
            a.rotationTimes.push_back(0.0);
        }
        if (a.translations.empty()) {
            a.translations.push_back(restT);
            a.translationTimes.push_back(0.0);
        }
    }
    return new (std::nothrow) CKeyframedAnimationSet(set.name, std::move(animations));
}

// ---------------------------------------------------------------------------------------------

CAnimationController::CAnimationController(UINT maxOutputs, UINT maxSets, UINT maxTracks, UINT maxEvents)
    : m_maxOutputs(maxOutputs), m_maxSets(maxSets), m_maxEvents(maxEvents), m_tracks(maxTracks)
{
}

CAnimationController::~CAnimationController()
{
    for (Track& t : m_tracks)
        if (t.set)
            t.set->Release();
    for (ID3DXAnimationSet* s : m_sets)
        s->Release();
}

HRESULT CAnimationController::RegisterOutput(LPCSTR name, D3DXMATRIX* matrix)
{
    if (!name || !matrix || m_outputs.size() >= m_maxOutputs)
        return D3DERR_INVALIDCALL;
    m_outputs.push_back(Output{name, matrix});
    m_outputOf.emplace(m_outputs.back().name, static_cast<int>(m_outputs.size() - 1));
    m_blend.resize(m_outputs.size());
    for (Track& t : m_tracks)
        MapOutputs(t);
    return D3D_OK;
}

HRESULT CAnimationController::RegisterSet(ID3DXAnimationSet* set)
{
    if (!set || m_sets.size() >= m_maxSets)
        return D3DERR_INVALIDCALL;
    set->AddRef();
    m_sets.push_back(set);
    return D3D_OK;
}

void CAnimationController::MapOutputs(Track& track)
{
    track.outputOf.clear();
    if (!track.set)
        return;
    UINT n = track.set->GetNumAnimations();
    track.outputOf.assign(n, -1);
    for (UINT i = 0; i < n; ++i) {
        LPCSTR name = nullptr;
        if (FAILED(track.set->GetAnimationNameByIndex(i, &name)) || !name)
            continue;
        const auto it = m_outputOf.find(name);
        if (it != m_outputOf.end())
            track.outputOf[i] = it->second;
    }
}

HRESULT CAnimationController::GetAnimationSet(UINT Index, LPD3DXANIMATIONSET* ppAnimationSet)
{
    if (!ppAnimationSet || Index >= m_sets.size())
        return D3DERR_INVALIDCALL;
    *ppAnimationSet = m_sets[Index];
    m_sets[Index]->AddRef();
    return D3D_OK;
}

HRESULT CAnimationController::GetAnimationSetByName(LPCSTR szName, LPD3DXANIMATIONSET* ppAnimationSet)
{
    if (!szName || !ppAnimationSet)
        return D3DERR_INVALIDCALL;
    for (ID3DXAnimationSet* s : m_sets) {
        LPCSTR name = s->GetName();
        if (name && std::strcmp(name, szName) == 0) {
            *ppAnimationSet = s;
            s->AddRef();
            return D3D_OK;
        }
    }
    *ppAnimationSet = nullptr;
    return D3DERR_NOTFOUND;
}

HRESULT CAnimationController::AdvanceTime(DOUBLE TimeDelta, LPD3DXANIMATIONCALLBACKHANDLER)
{
    m_time += TimeDelta;
    for (Track& t : m_tracks)
        if (t.set && t.desc.Enable)
            t.desc.Position += TimeDelta * static_cast<double>(t.desc.Speed);
    Pose();
    return D3D_OK;
}

void CAnimationController::Pose()
{
    for (Blend& b : m_blend)
        b.touched = false;

    for (Track& t : m_tracks) {
        if (!t.set || !t.desc.Enable)
            continue;
        // A weight that is not a number counts as 0.
        const float w = std::isfinite(t.desc.Weight) ? t.desc.Weight : 0.0f;
        const double position = t.set->GetPeriodicPosition(t.desc.Position);
        for (size_t i = 0; i < t.outputOf.size(); ++i) {
            const int o = t.outputOf[i];
            if (o < 0)
                continue;
            D3DXVECTOR3 s, tr;
            D3DXQUATERNION r;
            if (FAILED(t.set->GetSRT(position, static_cast<UINT>(i), &s, &r, &tr)))
                continue;
            Blend& b = m_blend[o];
            if (!b.touched) {
                b.touched = true;
                b.weight = w;
                b.scale = D3DXVECTOR3(w * (s.x - 1.0f), w * (s.y - 1.0f), w * (s.z - 1.0f));
                b.translation = D3DXVECTOR3(w * tr.x, w * tr.y, w * tr.z);
                b.rotation = r;
                continue;
            }
            const float before = b.weight;
            b.weight += w;
            b.scale.x += w * (s.x - 1.0f);
            b.scale.y += w * (s.y - 1.0f);
            b.scale.z += w * (s.z - 1.0f);
            b.translation.x += w * tr.x;
            b.translation.y += w * tr.y;
            b.translation.z += w * tr.z;
            // The running mean of the rotations: each new one pulls by its share of the weight.
            if (before == 0.0f)
                b.rotation = r;
            else if (b.weight != 0.0f)
                b.rotation = QuatSlerp(b.rotation, r, w / b.weight);
        }
    }

    for (size_t o = 0; o < m_outputs.size(); ++o) {
        const Blend& b = m_blend[o];
        if (!b.touched)
            continue;
        // The mean rotation, taken as far from rest as the total weight says.
        const D3DXQUATERNION r = b.weight == 1.0f ? b.rotation : QuatSlerp(QuatIdentity(), b.rotation, b.weight);
        const D3DXVECTOR3 s(1.0f + b.scale.x, 1.0f + b.scale.y, 1.0f + b.scale.z);
        ComposeSRT(*m_outputs[o].matrix, s, r, b.translation);
    }
}

HRESULT CAnimationController::ResetTime()
{
    m_time = 0.0;
    return D3D_OK;
}

HRESULT CAnimationController::SetTrackAnimationSet(UINT Track, LPD3DXANIMATIONSET pAnimSet)
{
    if (Track >= m_tracks.size())
        return D3DERR_INVALIDCALL;
    CAnimationController::Track& t = m_tracks[Track];
    if (pAnimSet)
        pAnimSet->AddRef();
    if (t.set)
        t.set->Release();
    t.set = pAnimSet;
    MapOutputs(t);
    return D3D_OK;
}

HRESULT CAnimationController::SetTrackSpeed(UINT Track, FLOAT Speed)
{
    if (Track >= m_tracks.size())
        return D3DERR_INVALIDCALL;
    m_tracks[Track].desc.Speed = Speed;
    return D3D_OK;
}

HRESULT CAnimationController::SetTrackWeight(UINT Track, FLOAT Weight)
{
    if (Track >= m_tracks.size())
        return D3DERR_INVALIDCALL;
    m_tracks[Track].desc.Weight = Weight;
    return D3D_OK;
}

HRESULT CAnimationController::SetTrackPosition(UINT Track, DOUBLE Position)
{
    if (Track >= m_tracks.size())
        return D3DERR_INVALIDCALL;
    m_tracks[Track].desc.Position = Position;
    return D3D_OK;
}

HRESULT CAnimationController::SetTrackEnable(UINT Track, BOOL Enable)
{
    if (Track >= m_tracks.size())
        return D3DERR_INVALIDCALL;
    m_tracks[Track].desc.Enable = Enable ? TRUE : FALSE;
    return D3D_OK;
}

HRESULT CAnimationController::SetTrackDesc(UINT Track, LPD3DXTRACK_DESC pDesc)
{
    if (Track >= m_tracks.size() || !pDesc)
        return D3DERR_INVALIDCALL;
    m_tracks[Track].desc = *pDesc;
    m_tracks[Track].desc.Enable = pDesc->Enable ? TRUE : FALSE;
    return D3D_OK;
}

HRESULT CAnimationController::GetTrackDesc(UINT Track, LPD3DXTRACK_DESC pDesc)
{
    if (Track >= m_tracks.size() || !pDesc)
        return D3DERR_INVALIDCALL;
    *pDesc = m_tracks[Track].desc;
    return D3D_OK;
}

HRESULT CAnimationController::CloneAnimationController(UINT MaxNumAnimationOutputs, UINT MaxNumAnimationSets,
                                                       UINT MaxNumTracks, UINT MaxNumEvents,
                                                       LPD3DXANIMATIONCONTROLLER* ppAnimController)
{
    if (!ppAnimController)
        return D3DERR_INVALIDCALL;
    *ppAnimController = nullptr;
    if (MaxNumAnimationOutputs < m_outputs.size() || MaxNumAnimationSets < m_sets.size())
        return D3DERR_INVALIDCALL;
    CAnimationController* clone = new (std::nothrow)
        CAnimationController(MaxNumAnimationOutputs, MaxNumAnimationSets, MaxNumTracks, MaxNumEvents);
    if (!clone)
        return E_OUTOFMEMORY;
    try {
        clone->m_outputs = m_outputs;
        clone->m_outputOf = m_outputOf;
        clone->m_blend.resize(m_outputs.size());
        for (ID3DXAnimationSet* s : m_sets) {
            s->AddRef();
            clone->m_sets.push_back(s);
        }
        for (size_t i = 0; i < clone->m_tracks.size() && i < m_tracks.size(); ++i) {
            clone->m_tracks[i].desc = m_tracks[i].desc;
            clone->SetTrackAnimationSet(static_cast<UINT>(i), m_tracks[i].set);
        }
        clone->m_time = m_time;
    } catch (const std::bad_alloc&) {
        clone->Release();
        return E_OUTOFMEMORY;
    }
    *ppAnimController = clone;
    return D3D_OK;
}

} // namespace xfile
