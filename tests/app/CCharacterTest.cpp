#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/CCharacter.h"

namespace {

std::vector<std::string> g_Log;

// A character whose update, draw and destruction are given by the test and logged.
class CTestCharacter : public CCharacter {
public:
    explicit CTestCharacter(std::string name)
        : m_Name(std::move(name))
    {
    }
    ~CTestCharacter() override
    {
        g_Log.push_back("~" + m_Name);
        if (OnDestroy)
            OnDestroy();
    }
    bool Update() override
    {
        g_Log.push_back("update " + m_Name);
        if (OnUpdate)
            OnUpdate();
        return true;
    }
    bool Draw() override
    {
        g_Log.push_back("draw " + m_Name);
        if (OnDraw)
            OnDraw();
        return true;
    }

    std::function<void()> OnUpdate;
    std::function<void()> OnDraw;
    std::function<void()> OnDestroy;

private:
    std::string m_Name;
};

// A character whose own constructor fails after the base part was built.
class CFailingCharacter : public CCharacter {
public:
    CFailingCharacter() { throw "Failed CFailingCharacter::CFailingCharacter Load"; }
    bool Update() override { return true; }
    bool Draw() override { return true; }
};

float FloatFromBits(DWORD bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof(f));
    return f;
}

DWORD BitsOf(float f)
{
    DWORD bits;
    std::memcpy(&bits, &f, sizeof(bits));
    return bits;
}

std::vector<std::string> TakeLog()
{
    std::vector<std::string> log;
    log.swap(g_Log);
    return log;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

const std::string kImproperBox = "MessageBox [Error] CCharacterを不正に削除しようとしています";
const std::string kSuppressQuestion = "MessageBox [注意] 今後エラーメッセージ(CharacterSystem)の表示を抑制しますか？";
const std::string kOwnedWarning = "MessageBox [警告] IsOwnedフラグが立っているキャラクタが削除されていません";
const std::string kLeftWarning = "MessageBox [警告] キャラクタが削除されずに残っています";

} // namespace

TEST(CCharacter, StartsAliveAndRegistered)
{
    CTestCharacter* a = new CTestCharacter("a");
    CTestCharacter* b = new CTestCharacter("b");
    ASSERT_EQ(CCharacterSystem::CharacterList, (std::vector<CCharacter*>{a, b}));
    EXPECT_EQ(a->Age, 0u);
    EXPECT_EQ(a->Life, INT32_MIN);
    EXPECT_FALSE(a->IsOwned);
    EXPECT_FALSE(a->IsTranslucent);
    EXPECT_EQ(BitsOf(a->SortKey), 0x7F7FFFFFu);
    EXPECT_EQ(BitsOf(CCharacter::SORTKEY_OVERLAY), 0x00800000u);
    EXPECT_GE(a->Callbacks.capacity(), 256u);
    a->Kill();
    b->Kill();
    CCharacterSystem().DeleteDead();
    EXPECT_TRUE(CCharacterSystem::CharacterList.empty());
}

TEST(CCharacter, SetLifeTakesOnlyPositiveValues)
{
    CTestCharacter* c = new CTestCharacter("c");
    c->SetLife(0);
    EXPECT_EQ(c->Life, INT32_MIN);
    c->SetLife(-5);
    EXPECT_EQ(c->Life, INT32_MIN);
    c->SetLife(3);
    EXPECT_EQ(c->Life, 3);
    c->IsOwned = true;
    c->Kill();
    EXPECT_EQ(c->Life, 0);
    EXPECT_FALSE(c->IsOwned);
    CCharacterSystem().DeleteDead();
}

TEST(CCharacterSystem, UpdateCountsAgeAndLifeWithWrapAround)
{
    CCharacterSystem system;
    CTestCharacter* normal = new CTestCharacter("normal");
    CTestCharacter* eternal = new CTestCharacter("eternal");
    eternal->Life = CCharacter::LIFE_ETERNAL;
    for (int i = 0; i < 5; ++i)
        system.UpdateAll();
    EXPECT_EQ(normal->Age, 5u);
    // The default life wraps to the largest value at its first count-down.
    EXPECT_EQ(normal->Life, INT32_MAX - 4);
    EXPECT_EQ(eternal->Age, 5u);
    EXPECT_EQ(eternal->Life, CCharacter::LIFE_ETERNAL);
    normal->Kill();
    eternal->Kill();
    system.DeleteDead();
}

TEST(CCharacterSystem, CharacterMadeDuringUpdateIsUpdatedInTheSamePass)
{
    CCharacterSystem system;
    CTestCharacter* parent = new CTestCharacter("parent");
    CTestCharacter* child = nullptr;
    parent->OnUpdate = [&] {
        if (!child) {
            // Enough children to move the registry's storage while the pass runs.
            for (int i = 0; i < 100; ++i)
                (new CTestCharacter("filler"))->SetLife(1);
            child = new CTestCharacter("child");
        }
    };
    CTestCharacter* after = new CTestCharacter("after");
    system.UpdateAll();
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->Age, 1u);
    EXPECT_EQ(child->Life, INT32_MAX);
    EXPECT_EQ(after->Age, 1u);
    const std::vector<std::string> log = TakeLog();
    EXPECT_EQ(log.front(), "update parent");
    EXPECT_EQ(log[1], "update after");
    EXPECT_EQ(log.back(), "update child");
    system.DeleteDead(); // the fillers lived one frame
    EXPECT_EQ(CCharacterSystem::CharacterList, (std::vector<CCharacter*>{parent, after, child}));
    parent->Kill();
    child->Kill();
    after->Kill();
    system.DeleteDead();
}

TEST(CCharacterSystem, KilledCharactersAreDeletedAtTheEndOfTheFrame)
{
    CCharacterSystem system;
    CTestCharacter* first = new CTestCharacter("first");
    CTestCharacter* self = new CTestCharacter("self");
    CTestCharacter* victim = new CTestCharacter("victim");
    CTestCharacter* killer = new CTestCharacter("killer");
    CTestCharacter* limited = new CTestCharacter("limited");
    limited->SetLife(2);
    self->OnUpdate = [&] { self->Kill(); };
    killer->OnUpdate = [&] { victim->Kill(); };
    ::testing::internal::CaptureStderr();
    system.UpdateAll();
    EXPECT_EQ(self->Life, -1);   // killed in its own update, then counted down
    EXPECT_EQ(victim->Life, 0);  // killed after its own update
    EXPECT_EQ(limited->Life, 1);
    killer->OnUpdate = nullptr;
    TakeLog();
    system.DeleteDead();
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"~self", "~victim"}));
    EXPECT_EQ(CCharacterSystem::CharacterList, (std::vector<CCharacter*>{first, killer, limited}));

    // Given 2 frames: updated twice, deleted at the end of the second frame.
    system.UpdateAll();
    EXPECT_EQ(limited->Age, 2u);
    EXPECT_EQ(limited->Life, 0);
    system.DeleteDead();
    EXPECT_EQ(g_Log.back(), "~limited");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    first->Kill();
    killer->Kill();
    system.DeleteDead();
}

TEST(CCharacterSystem, DestructorKillsLaterOnesNowAndEarlierOnesNextPass)
{
    CCharacterSystem system;
    CTestCharacter* earlier = new CTestCharacter("earlier");
    CTestCharacter* scene = new CTestCharacter("scene");
    CTestCharacter* later = new CTestCharacter("later");
    CTestCharacter* survivor = new CTestCharacter("survivor");
    scene->OnDestroy = [&] {
        earlier->Kill();
        later->Kill();
    };
    scene->Kill();
    ::testing::internal::CaptureStderr();
    system.DeleteDead();
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"~scene", "~later"}));
    EXPECT_EQ(CCharacterSystem::CharacterList, (std::vector<CCharacter*>{earlier, survivor}));
    system.DeleteDead();
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"~earlier"}));
    EXPECT_EQ(CCharacterSystem::CharacterList, (std::vector<CCharacter*>{survivor}));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    survivor->Kill();
    system.DeleteDead();
}

TEST(CCharacterSystem, DrawPassGroupsByExactKeyBitsAndSortsTranslucentFarToNear)
{
    CCharacterSystem system;
    struct Spec {
        const char* name;
        bool translucent;
        float key;
    };
    const float overlay = FloatFromBits(0x00800000u);
    const float aboveOverlay = FloatFromBits(0x00800001u);
    const Spec specs[] = {
        {"opaque far", false, 100.0f},
        {"translucent 5", true, 5.0f},
        {"translucent overlay 1", true, overlay},
        {"opaque overlay", false, overlay},
        {"translucent 0", true, 0.0f},
        {"translucent just above overlay", true, aboveOverlay},
        {"translucent 50 first", true, 50.0f},
        {"opaque near", false, 1.0f},
        {"translucent default", true, FLT_MAX},
        {"translucent 50 second", true, 50.0f},
        {"translucent overlay 2", true, overlay},
        {"translucent negative", true, -3.0f},
    };
    std::vector<CTestCharacter*> characters;
    for (const Spec& spec : specs) {
        CTestCharacter* c = new CTestCharacter(spec.name);
        c->IsTranslucent = spec.translucent;
        c->SortKey = spec.key;
        characters.push_back(c);
    }
    system.DrawAll();
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{
                             "draw opaque overlay",
                             "draw opaque far",
                             "draw opaque near",
                             "draw translucent default",
                             "draw translucent 50 first",
                             "draw translucent 50 second",
                             "draw translucent 5",
                             "draw translucent just above overlay",
                             "draw translucent 0",
                             "draw translucent negative",
                             "draw translucent overlay 1",
                             "draw translucent overlay 2",
                         }));
    // Drawing leaves the registry in construction order.
    EXPECT_EQ(CCharacterSystem::CharacterList, std::vector<CCharacter*>(characters.begin(), characters.end()));
    for (CTestCharacter* c : characters)
        c->Kill();
    system.DeleteDead();
}

TEST(CCharacterSystem, CharacterMadeDuringDrawIsDrawnInTheNextDrawnFrame)
{
    CCharacterSystem system;
    CTestCharacter* logo = new CTestCharacter("logo");
    CTestCharacter* fade = nullptr;
    logo->OnDraw = [&] {
        if (!fade) {
            fade = new CTestCharacter("fade");
            fade->SortKey = CCharacter::SORTKEY_OVERLAY;
        }
    };
    system.DrawAll();
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"draw logo"}));
    system.DrawAll();
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"draw fade", "draw logo"}));
    logo->Kill();
    fade->Kill();
    system.DeleteDead();
}

TEST(CCharacterSystem, DeleteAllOnAnEmptyRegistryShowsNothing)
{
    ::testing::internal::CaptureStderr();
    CCharacterSystem().DeleteAll(); // never held a character
    (new CTestCharacter("one"))->Kill();
    CCharacterSystem().DeleteDead();
    CCharacterSystem().DeleteAll(); // held one, now empty
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(CCharacterSystem, DeleteAllDeletesLiveCharactersWithoutComplaint)
{
    new CTestCharacter("scene");
    new CTestCharacter("actor");
    new CTestCharacter("shadow");
    TakeLog();
    ::testing::internal::CaptureStderr();
    CCharacterSystem().DeleteAll();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"~scene", "~actor", "~shadow"}));
    EXPECT_TRUE(CCharacterSystem::CharacterList.empty());
}

TEST(CCharacterSystem, DeleteAllWarnsTwiceWhenOwnedCharactersRemain)
{
    CTestCharacter* owned = new CTestCharacter("owned");
    owned->IsOwned = true;
    new CTestCharacter("free");
    CTestCharacter* ownedToo = new CTestCharacter("owned too");
    ownedToo->IsOwned = true;
    ::testing::internal::CaptureStderr();
    CCharacterSystem().DeleteAll();
    EXPECT_EQ(Lines(::testing::internal::GetCapturedStderr()), (std::vector<std::string>{kOwnedWarning, kLeftWarning}));
    EXPECT_EQ(CCharacterSystem::CharacterList, (std::vector<CCharacter*>{owned, ownedToo}));

    // The warnings do not heed the suppression flag.
    g_bSuppressCharacterError = true;
    ::testing::internal::CaptureStderr();
    CCharacterSystem().DeleteAll();
    EXPECT_EQ(Lines(::testing::internal::GetCapturedStderr()), (std::vector<std::string>{kOwnedWarning, kLeftWarning}));
    owned->Kill();
    ownedToo->Kill();
    CCharacterSystem().DeleteDead();
}

TEST(CCharacter, DeletingALiveCharacterShowsTheBoxesAndUnregistersIt)
{
    CTestCharacter* before = new CTestCharacter("before");
    CTestCharacter* victim = new CTestCharacter("victim");
    CTestCharacter* after = new CTestCharacter("after");
    ::testing::internal::CaptureStderr();
    delete victim;
    // Headless, the question is answered No: the next one still shows.
    EXPECT_EQ(Lines(::testing::internal::GetCapturedStderr()),
              (std::vector<std::string>{kImproperBox, kSuppressQuestion}));
    EXPECT_FALSE(g_bSuppressCharacterError);
    EXPECT_EQ(CCharacterSystem::CharacterList, (std::vector<CCharacter*>{before, after}));

    g_bSuppressCharacterError = true;
    ::testing::internal::CaptureStderr();
    delete before;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(CCharacterSystem::CharacterList, (std::vector<CCharacter*>{after}));
    after->Kill();
    CCharacterSystem().DeleteDead();
}

TEST(CCharacter, FailedConstructionLeavesNoEntryBehind)
{
    CTestCharacter* other = new CTestCharacter("other");
    ::testing::internal::CaptureStderr();
    const char* error = nullptr;
    try {
        new CFailingCharacter();
    } catch (const char* e) {
        error = e;
    }
    EXPECT_STREQ(error, "Failed CFailingCharacter::CFailingCharacter Load");
    EXPECT_EQ(Lines(::testing::internal::GetCapturedStderr()),
              (std::vector<std::string>{kImproperBox, kSuppressQuestion}));
    EXPECT_EQ(CCharacterSystem::CharacterList, (std::vector<CCharacter*>{other}));
    // The passes go on safely without it.
    CCharacterSystem().UpdateAll();
    CCharacterSystem().DrawAll();
    other->Kill();
    CCharacterSystem().DeleteDead();
}

namespace {

std::vector<int> g_CallbackCodes;
CCharacter* g_pCallbackOwner = nullptr;

bool FirstCallback(int code)
{
    g_CallbackCodes.push_back(code * 10 + 1);
    return false;
}

bool SecondCallback(int code)
{
    g_CallbackCodes.push_back(code * 10 + 2);
    // Added while the callbacks run: not called in this round.
    g_pCallbackOwner->AddCallback(FirstCallback);
    return true;
}

} // namespace

TEST(CCharacter, CallbacksRunInOrderOfRegistration)
{
    CTestCharacter* scene = new CTestCharacter("scene");
    g_pCallbackOwner = scene;
    EXPECT_TRUE(scene->AddCallback(FirstCallback));
    EXPECT_TRUE(scene->AddCallback(SecondCallback));
    EXPECT_TRUE(scene->CallCallbacks(-1));
    EXPECT_EQ(g_CallbackCodes, (std::vector<int>{-9, -8}));
    EXPECT_EQ(scene->Callbacks.size(), 3u);
    scene->Kill();
    CCharacterSystem().DeleteDead();
}
