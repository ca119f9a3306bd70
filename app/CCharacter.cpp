#include "app/CCharacter.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cstdint>

bool g_bSuppressCharacterError = false;

CCharacter::CCharacter()
    : Age(0), Life(INT32_MIN), IsOwned(false), SortKey(FLT_MAX), IsTranslucent(false)
{
    CharacterList.push_back(this);
    Callbacks.reserve(256);
}

CCharacter::~CCharacter()
{
    if (Life == 0 || Life == -1)
        return; // the pass that deletes a dead character erases its entry itself

    // Deleted while alive: a subclass whose constructor failed, or a direct delete.
    if (!g_bSuppressCharacterError) {
        MessageBoxA(nullptr, "CCharacterを不正に削除しようとしています", "Error", MB_OK);
        if (MessageBoxA(nullptr, "今後エラーメッセージ(CharacterSystem)の表示を抑制しますか？", "注意", MB_YESNO) ==
            IDYES)
            g_bSuppressCharacterError = true;
    }
    // No pointer to it may remain in the registry.
    std::vector<CCharacter*>::iterator it = std::find(CharacterList.begin(), CharacterList.end(), this);
    if (it != CharacterList.end())
        CharacterList.erase(it);
}

void CCharacter::Kill()
{
    Life = 0;
    IsOwned = false;
}

void CCharacter::SetLife(LONG life)
{
    if (life > 0)
        Life = life;
}

bool CCharacter::AddCallback(CharacterCallback callback)
{
    Callbacks.push_back(callback);
    return true;
}

bool CCharacter::CallCallbacks(int code)
{
    // The count is taken first: a callback that adds another does not run it now.
    const size_t count = Callbacks.size();
    for (size_t i = 0; i < count && i < Callbacks.size(); ++i)
        Callbacks[i](code);
    return true;
}
