// Keyframed animation sets and the controller built directly from key lists: sorting, holding,
// looping, matrix keys, rest values, and tracks and outputs at their limits. Small key lists
// live in memory that ends at an unreadable page, so that a read past a channel's last key
// fails in every build.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/d3dx9/D3DX9.h"
#include "platform/d3dx9/XFileAnimation.h"
#include "tests/platform/xfile/GuardedMemory.h"

using namespace xfile;

namespace {

const double kPi = 3.14159265358979;

XKey<3> Key3(uint32_t t, float x, float y, float z) { return XKey<3>{t, {x, y, z}}; }

// A rotation key by `degrees` about y, stored w first as in the file, times `length`.
XKey<4> TurnY(uint32_t t, double degrees, float length = 1.0f)
{
    const double h = degrees * kPi / 360.0;
    return XKey<4>{t, {length * float(std::cos(h)), 0.0f, length * float(std::sin(h)), 0.0f}};
}

// Builds a set at 100 ticks a second with every small allocation guarded; no rest matrices.
CKeyframedAnimationSet* MakeSet(const std::vector<XAnimation>& animations)
{
    XAnimationSet set;
    set.name = "Set";
    set.animations = animations;
    xfixture::GuardedAllocations guard(1, 256);
    return CreateAnimationSet(set, 100, nullptr, nullptr);
}

struct SRT {
    D3DXVECTOR3 s, t;
    D3DXQUATERNION r;
};

SRT At(CKeyframedAnimationSet* set, double seconds, UINT animation = 0)
{
    SRT out;
    EXPECT_EQ(set->GetSRT(seconds, animation, &out.s, &out.r, &out.t), D3D_OK);
    return out;
}

void ExpectVec(const D3DXVECTOR3& v, float x, float y, float z)
{
    EXPECT_NEAR(v.x, x, 1e-5f);
    EXPECT_NEAR(v.y, y, 1e-5f);
    EXPECT_NEAR(v.z, z, 1e-5f);
}

void ExpectTurnY(const D3DXQUATERNION& q, double degrees)
{
    const double h = degrees * kPi / 360.0;
    EXPECT_NEAR(q.x, 0.0f, 1e-5f);
    EXPECT_NEAR(q.y, std::sin(h), 1e-5);
    EXPECT_NEAR(q.z, 0.0f, 1e-5f);
    EXPECT_NEAR(q.w, std::cos(h), 1e-5);
}

} // namespace

TEST(AnimationSet, KeysOutOfOrderAreSortedTogetherWithTheirValues)
{
    // Every kind listed 100, 0, 50 ticks; the rotation at 50 is twice too long.
    XAnimation a;
    a.frameName = "A";
    a.scales = {Key3(100, 3, 5, 7), Key3(0, 1, 1, 1), Key3(50, 2, 3, 4)};
    a.positions = {Key3(100, 30, 50, 70), Key3(0, 10, 10, 10), Key3(50, 20, 30, 40)};
    a.rotations = {TurnY(100, 90), TurnY(0, 0), TurnY(50, 45, 2.0f)};
    // A second frame turned about x by a key three times too long.
    XAnimation x;
    x.frameName = "X";
    x.rotations = {XKey<4>{0, {3 * float(std::cos(kPi / 8)), 3 * float(std::sin(kPi / 8)), 0, 0}}};
    CKeyframedAnimationSet* set = MakeSet({a, x});
    ASSERT_NE(set, nullptr);
    EXPECT_DOUBLE_EQ(set->GetPeriod(), 1.0);
    const D3DXQUATERNION turnX = At(set, 0.0, 1).r;
    EXPECT_NEAR(turnX.x, std::sin(kPi / 8), 1e-6);
    EXPECT_NEAR(turnX.w, std::cos(kPi / 8), 1e-6);
    SRT first = At(set, 0.25), second = At(set, 0.75);
    ExpectVec(first.s, 1.5f, 2.0f, 2.5f);
    ExpectVec(second.s, 2.5f, 4.0f, 5.5f);
    ExpectVec(first.t, 15, 20, 25);
    ExpectVec(second.t, 25, 40, 55);
    ExpectTurnY(first.r, 22.5);
    ExpectTurnY(second.r, 67.5);
    ExpectTurnY(At(set, 0.5).r, 45);
    set->Release();
}

TEST(AnimationSet, ChannelsHoldTheirFirstAndLastKeysAndOneKeyAlone)
{
    // Rotation keys run to 100 ticks, translation keys end at 50, the scale has one key.
    XAnimation a;
    a.frameName = "A";
    a.rotations = {TurnY(20, 10), TurnY(100, 90)};
    a.positions = {Key3(0, 0, 0, 0), Key3(50, 4, 5, 6)};
    a.scales = {Key3(30, 2, 2, 2)};
    CKeyframedAnimationSet* set = MakeSet({a});
    ASSERT_NE(set, nullptr);
    SRT before = At(set, 0.1), late = At(set, 0.75), end = At(set, 1.0);
    ExpectTurnY(before.r, 10);
    ExpectVec(before.s, 2, 2, 2);
    ExpectVec(late.t, 4, 5, 6);
    ExpectVec(late.s, 2, 2, 2);
    ExpectTurnY(end.r, 90);
    // Exactly on a key: that key, with nothing of the next one.
    ExpectVec(At(set, 0.5).t, 4, 5, 6);
    ExpectTurnY(At(set, 0.2).r, 10);
    set->Release();
}

TEST(AnimationSet, PositionsLoopOverThePeriod)
{
    XAnimation a;
    a.frameName = "A";
    a.positions = {Key3(0, 0, 0, 0), Key3(100, 1, 0, 0)};
    CKeyframedAnimationSet* set = MakeSet({a});
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->GetPeriodicPosition(2.0), 0.0);
    EXPECT_EQ(set->GetPeriodicPosition(-1.0), 0.0);
    EXPECT_DOUBLE_EQ(set->GetPeriodicPosition(-2.5), 0.5);
    EXPECT_EQ(set->GetPeriodicPosition(std::nan("")), 0.0);
    EXPECT_EQ(set->GetPeriodicPosition(INFINITY), 0.0);
    set->Release();

    // All keys at time 0: a period of 0, and every position is 0.
    a.positions = {Key3(0, 1, 2, 3), Key3(0, 4, 5, 6)};
    set = MakeSet({a});
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->GetPeriod(), 0.0);
    EXPECT_EQ(set->GetPeriodicPosition(1.5), 0.0);
    set->Release();
}

TEST(AnimationSet, MatrixKeysAtTheirTimesAndRotationsWithoutLength)
{
    // Matrix keys at 0 and 50 ticks: translation x 0 and 10. A rotation key of length 0
    // counts as no turn.
    XAnimation m;
    m.frameName = "M";
    XKey<16> k0{0, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
    // The second key also scales by 2 and turns a quarter about x: half way, 1.5 and an eighth.
    XKey<16> k1{50, {2, 0, 0, 0, 0, 0, 2, 0, 0, -2, 0, 0, 10, 0, 0, 1}};
    m.matrices = {k0, k1};
    XAnimation z;
    z.frameName = "Z";
    z.rotations = {XKey<4>{0, {0, 0, 0, 0}}};
    CKeyframedAnimationSet* set = MakeSet({m, z});
    ASSERT_NE(set, nullptr);
    EXPECT_DOUBLE_EQ(set->GetPeriod(), 0.5);
    const SRT half = At(set, 0.25);
    ExpectVec(half.t, 5, 0, 0);
    ExpectVec(half.s, 1.5f, 1.5f, 1.5f);
    EXPECT_NEAR(half.r.x, std::sin(kPi / 8), 1e-5);
    EXPECT_NEAR(half.r.w, std::cos(kPi / 8), 1e-5);
    const D3DXQUATERNION r = At(set, 0.0, 1).r;
    EXPECT_EQ(r, D3DXQUATERNION(0, 0, 0, 1));
    LPCSTR name = nullptr;
    EXPECT_EQ(set->GetAnimationNameByIndex(2, &name), D3DERR_INVALIDCALL);
    EXPECT_EQ(set->GetAnimationNameByIndex(0, nullptr), D3DERR_INVALIDCALL);
    UINT index = 9;
    ASSERT_EQ(set->GetAnimationIndexByName("Z", &index), D3D_OK);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(set->GetAnimationIndexByName("Q", &index), D3DERR_INVALIDCALL);
    set->Release();
}

TEST(AnimationSet, EachKindComesFromTheFirstBlockOfItsFrameAndRestIsUnitWithoutAFrame)
{
    // Two blocks for one frame, both with translation keys: the first block's keys hold. No
    // rest matrix is known: unit scale, no turn, no translation where no key says otherwise.
    XAnimation a, b;
    a.frameName = b.frameName = "A";
    a.positions = {Key3(0, 1, 2, 3)};
    b.positions = {Key3(0, 7, 7, 7)};
    b.scales = {Key3(0, 2, 3, 4)};
    XAnimation bare;
    bare.frameName = "B";
    bare.rotations = {TurnY(0, 30)};
    CKeyframedAnimationSet* set = MakeSet({a, b, bare});
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->GetNumAnimations(), 2u);
    SRT merged = At(set, 0.0, 0);
    ExpectVec(merged.t, 1, 2, 3);
    ExpectVec(merged.s, 2, 3, 4);
    SRT rest = At(set, 0.0, 1);
    ExpectVec(rest.s, 1, 1, 1);
    ExpectVec(rest.t, 0, 0, 0);
    ExpectTurnY(rest.r, 30);
    set->Release();
}

namespace {

// A controller of three tracks posing the frames "A" and "B"; its lists end at unreadable
// pages unless `guarded` is false (then a write before a list's start spoils the heap, which
// the allocator notices when the list is freed).
struct Controller {
    D3DXMATRIX a, b;
    CAnimationController* ac;
    explicit Controller(bool guarded = true)
    {
        D3DXMatrixIdentity(&a);
        D3DXMatrixIdentity(&b);
        xfixture::GuardedAllocations guard(1, guarded ? 256 : 0);
        ac = new CAnimationController(2, 4, 3, 0);
        EXPECT_EQ(ac->RegisterOutput("A", &a), D3D_OK);
        EXPECT_EQ(ac->RegisterOutput("B", &b), D3D_OK);
    }
    ~Controller() { ac->Release(); }
    void Play(UINT track, CKeyframedAnimationSet* set, float weight, double position = 0.0)
    {
        ASSERT_EQ(ac->SetTrackAnimationSet(track, set), D3D_OK);
        D3DXTRACK_DESC d{D3DXPRIORITY_LOW, weight, 1.0f, position, TRUE};
        ASSERT_EQ(ac->SetTrackDesc(track, &d), D3D_OK);
    }
};

CKeyframedAnimationSet* Moving(const char* frame, float x, float y, float z)
{
    XAnimation a;
    a.frameName = frame;
    a.positions = {Key3(0, x, y, z)};
    return MakeSet({a});
}

} // namespace

TEST(AnimationController, TranslationsBlendByWeightOnEveryAxis)
{
    Controller c;
    CKeyframedAnimationSet* p = Moving("A", 4, 8, 12);
    CKeyframedAnimationSet* q = Moving("A", -8, 0, 4);
    c.Play(0, p, 0.75f);
    c.Play(1, q, 0.25f);
    ASSERT_EQ(c.ac->AdvanceTime(0.0, nullptr), D3D_OK);
    EXPECT_FLOAT_EQ(c.a._41, 1);
    EXPECT_FLOAT_EQ(c.a._42, 6);
    EXPECT_FLOAT_EQ(c.a._43, 10);
    p->Release();
    q->Release();
}

TEST(AnimationController, AWeightOfTwoTurnsTwiceAsFar)
{
    Controller c;
    XAnimation a;
    a.frameName = "A";
    a.rotations = {TurnY(0, 30)};
    CKeyframedAnimationSet* set = MakeSet({a});
    c.Play(0, set, 2.0f);
    ASSERT_EQ(c.ac->AdvanceTime(0.0, nullptr), D3D_OK);
    // 60 degrees about y: x' = x cos 60 - z sin 60.
    EXPECT_NEAR(c.a._11, 0.5f, 1e-5f);
    EXPECT_NEAR(c.a._13, -0.8660254f, 1e-5f);
    set->Release();
}

TEST(AnimationController, FramesTheControllerDoesNotKnowAreLeftAlone)
{
    // A set that animates "C" and "B": only "B" is posed, and "A" is not taken for "C".
    XAnimation unknown, known;
    unknown.frameName = "C";
    unknown.positions = {Key3(0, 9, 9, 9)};
    known.frameName = "B";
    known.positions = {Key3(0, 1, 2, 3)};
    CKeyframedAnimationSet* set = MakeSet({unknown, known});
    for (bool guarded : {true, false}) {
        Controller c(guarded);
        c.a._41 = 5;
        c.Play(0, set, 1.0f);
        ASSERT_EQ(c.ac->AdvanceTime(0.0, nullptr), D3D_OK);
        EXPECT_EQ(c.a._41, 5);
        EXPECT_EQ(c.a._42, 0);
        EXPECT_FLOAT_EQ(c.b._42, 2);
    }
    set->Release();
}

TEST(AnimationController, WeightsThatCancelLeaveNoTurn)
{
    // 0.5 and -0.5: no weight in all, so no turn and no move, and no number that is not one.
    Controller c;
    XAnimation a;
    a.frameName = "A";
    a.rotations = {TurnY(0, 30)};
    a.positions = {Key3(0, 1, 2, 3)};
    CKeyframedAnimationSet* set = MakeSet({a});
    c.Play(0, set, 0.5f);
    c.Play(1, set, -0.5f);
    ASSERT_EQ(c.ac->AdvanceTime(0.0, nullptr), D3D_OK);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR((&c.a._11)[i], i % 5 == 0 ? 1.0f : 0.0f, 1e-6f) << i;
    set->Release();
}

TEST(AnimationController, TrackNumbersFromTheCountOnAreRefused)
{
    Controller c;
    D3DXMATRIX spare;
    EXPECT_EQ(c.ac->RegisterOutput("C", &spare), D3DERR_INVALIDCALL) << "room for two outputs only";
    EXPECT_EQ(c.ac->RegisterOutput(nullptr, &spare), D3DERR_INVALIDCALL);
    // Any true value enables a track, and reads back as TRUE.
    D3DXTRACK_DESC seven{D3DXPRIORITY_LOW, 1.0f, 1.0f, 0.0, 7};
    ASSERT_EQ(c.ac->SetTrackDesc(1, &seven), D3D_OK);
    D3DXTRACK_DESC back{};
    ASSERT_EQ(c.ac->GetTrackDesc(1, &back), D3D_OK);
    EXPECT_EQ(back.Enable, TRUE);
    EXPECT_EQ(c.ac->CloneAnimationController(2, 4, 3, 0, nullptr), D3DERR_INVALIDCALL);
    D3DXTRACK_DESC d{D3DXPRIORITY_LOW, 1.0f, 1.0f, 0.0, TRUE};
    for (UINT track : {3u, 4u, 1000u}) {
        EXPECT_EQ(c.ac->SetTrackAnimationSet(track, nullptr), D3DERR_INVALIDCALL);
        EXPECT_EQ(c.ac->SetTrackSpeed(track, 1.0f), D3DERR_INVALIDCALL);
        EXPECT_EQ(c.ac->SetTrackWeight(track, 1.0f), D3DERR_INVALIDCALL);
        EXPECT_EQ(c.ac->SetTrackPosition(track, 0.0), D3DERR_INVALIDCALL);
        EXPECT_EQ(c.ac->SetTrackEnable(track, TRUE), D3DERR_INVALIDCALL);
        EXPECT_EQ(c.ac->SetTrackDesc(track, &d), D3DERR_INVALIDCALL);
        EXPECT_EQ(c.ac->GetTrackDesc(track, &d), D3DERR_INVALIDCALL);
    }
    EXPECT_EQ(c.ac->SetTrackDesc(0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(c.ac->GetTrackDesc(0, nullptr), D3DERR_INVALIDCALL);
    // A clone without room for the outputs answers no controller at all.
    auto* left = reinterpret_cast<LPD3DXANIMATIONCONTROLLER>(&d);
    EXPECT_EQ(c.ac->CloneAnimationController(1, 4, 3, 0, &left), D3DERR_INVALIDCALL);
    EXPECT_EQ(left, nullptr);
}
