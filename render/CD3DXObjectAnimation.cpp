// The model's time line and its cross-fades between animation sets, one set per track.
#include "render/CD3DXObject.h"

#include "render/CDirectX9.h"

bool CD3DXObject::SetTime(double t)
{
    if (AnimationController) {
        const double delta = t - Time;
        const UINT sets = AnimationController->GetNumAnimationSets();
        // Disabled tracks move too, so every track keeps its offset to the others.
        for (UINT k = 0; k < sets; ++k) {
            D3DXTRACK_DESC desc;
            AnimationController->GetTrackDesc(k, &desc);
            AnimationController->SetTrackPosition(k, desc.Position + delta);
        }
        AnimationController->AdvanceTime(0.0, nullptr);
    }
    Time = t;
    return true;
}

void CD3DXObject::ChangeAnimation(UINT track, float duration)
{
    if (!AnimationController) return;
    AnimationController->SetTrackPosition(track, 0.0);
    BlendList.push_back(AnimationBlendEntry{track, static_cast<float>(Time), duration, 0.0f});
}

void CD3DXObject::FrameMove()
{
    CDirectX9::SafeSetTransform(D3DTS_WORLD, WorldMatrix);
    UpdateFrameMatrices(FrameRoot, &WorldMatrix);
    UpdateBoneMatrices(FrameRoot);
    if (!AnimationController || BlendList.empty()) return;

    // The newest entry whose fade is complete becomes the oldest one kept.
    for (size_t i = BlendList.size() - 1; i >= 1; --i) {
        const AnimationBlendEntry& e = BlendList[i];
        if (Time - static_cast<double>(e.Start) > static_cast<double>(e.Duration)) {
            BlendList.erase(BlendList.begin(), BlendList.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }

    const size_t n = BlendList.size();
    BlendList[0].Weight = 1.0f;
    for (size_t i = 1; i < n; ++i) {
        AnimationBlendEntry& e = BlendList[i];
        // A fade of no length is wholly in from its start.
        e.Weight = e.Duration > 0.0f ? static_cast<float>((Time - static_cast<double>(e.Start)) / e.Duration) : 1.0f;
    }
    // Each entry fades out under every newer one.
    for (size_t i = n - 1; i >= 1; --i)
        for (size_t j = 0; j < i; ++j) BlendList[j].Weight *= 1.0f - BlendList[i].Weight;

    const UINT sets = AnimationController->GetNumAnimationSets();
    for (UINT k = 0; k < sets; ++k) {
        AnimationController->SetTrackWeight(k, 0.0f);
        AnimationController->SetTrackEnable(k, FALSE);
    }
    for (const AnimationBlendEntry& e : BlendList) {
        AnimationController->SetTrackWeight(e.Track, e.Weight);
        AnimationController->SetTrackEnable(e.Track, TRUE);
    }
}
