// The base of every object that is updated and drawn each frame. A character registers itself
// when constructed and is deleted by the character system once it is dead; it is killed,
// never deleted directly.
#pragma once

#include <cfloat>
#include <vector>

#include "app/CCharacterSystem.h"
#include "platform/platform.h"

// Set when the user asks for no more improper-delete boxes.
extern bool g_bSuppressCharacterError;

// An end callback: scenes call theirs with -1 when they end.
typedef bool (*CharacterCallback)(int code);

class CCharacter : public CCharacterSystem {
public:
    CCharacter();
    ~CCharacter() override;

    // Answers are ignored by the system.
    virtual bool Update() = 0;
    virtual bool Draw() = 0;

    void Kill();
    // Only values above 0 are taken.
    void SetLife(LONG life);
    bool AddCallback(CharacterCallback callback);
    bool CallCallbacks(int code);

    // Life that is never counted down.
    static constexpr LONG LIFE_ETERNAL = -9999;
    // The sort key that puts a character into an overlay group: the smallest positive normal
    // float (bits 0x00800000).
    static constexpr float SORTKEY_OVERLAY = FLT_MIN;

    DWORD Age;
    // Frames left; 0 or -1 is dead.
    LONG Life;
    // Exempts the character from CCharacterSystem::DeleteAll.
    bool IsOwned;
    // Draw-order key of translucent characters: larger is drawn first.
    float SortKey;
    bool IsTranslucent;
    std::vector<CharacterCallback> Callbacks;

private:
    CCharacter(const CCharacter&) = delete;
    CCharacter& operator=(const CCharacter&) = delete;
};
