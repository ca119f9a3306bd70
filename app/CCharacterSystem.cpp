#include "app/CCharacterSystem.h"

#include <algorithm>
#include <cstring>

#include "app/CCharacter.h"

std::vector<CCharacter*> CCharacterSystem::CharacterList;

namespace {

const DWORD kOverlayKeyBits = 0x00800000u;

// Exact bits: only the very key that marks an overlay selects the overlay groups.
bool HasOverlayKey(const CCharacter* pCharacter)
{
    DWORD bits;
    std::memcpy(&bits, &pCharacter->SortKey, sizeof(bits));
    return bits == kOverlayKeyBits;
}

bool IsDead(const CCharacter* pCharacter) { return pCharacter->Life == 0 || pCharacter->Life == -1; }

} // namespace

CCharacterSystem::~CCharacterSystem() {}

void CCharacterSystem::UpdateAll()
{
    // By index, looked up afresh each time: an update may append characters, which are
    // updated in this same pass.
    for (size_t i = 0; i < CharacterList.size(); ++i) {
        CCharacter* pCharacter = CharacterList[i];
        pCharacter->Update();
        ++pCharacter->Age;
        if (pCharacter->Life != CCharacter::LIFE_ETERNAL)
            pCharacter->Life = static_cast<LONG>(static_cast<DWORD>(pCharacter->Life) - 1u);
    }
}

void CCharacterSystem::DrawAll()
{
    // The groups are complete before anything draws: a character made by a Draw waits for
    // the next drawn frame.
    std::vector<CCharacter*> opaqueOverlays;
    std::vector<CCharacter*> opaque;
    std::vector<CCharacter*> translucent;
    std::vector<CCharacter*> translucentOverlays;
    for (CCharacter* pCharacter : CharacterList) {
        const bool overlay = HasOverlayKey(pCharacter);
        if (!pCharacter->IsTranslucent)
            (overlay ? opaqueOverlays : opaque).push_back(pCharacter);
        else
            (overlay ? translucentOverlays : translucent).push_back(pCharacter);
    }

    for (CCharacter* pCharacter : opaqueOverlays)
        pCharacter->Draw();
    for (CCharacter* pCharacter : opaque)
        pCharacter->Draw();
    // Far to near; equal keys keep construction order.
    std::stable_sort(translucent.begin(), translucent.end(),
                     [](const CCharacter* a, const CCharacter* b) { return a->SortKey > b->SortKey; });
    for (CCharacter* pCharacter : translucent)
        pCharacter->Draw();
    for (CCharacter* pCharacter : translucentOverlays)
        pCharacter->Draw();
}

void CCharacterSystem::DeleteDead()
{
    // Kept between calls so that a frame's deletion allocates nothing once it has grown.
    static std::vector<size_t> s_DeadPositions;

    // A dead character's destructor may kill later ones, which this same walk then deletes.
    const size_t count = CharacterList.size();
    for (size_t i = 0; i < count && i < CharacterList.size(); ++i) {
        CCharacter* pCharacter = CharacterList[i];
        if (IsDead(pCharacter)) {
            s_DeadPositions.push_back(i);
            delete pCharacter;
        }
    }
    // From the back, so that the earlier recorded positions stay valid.
    for (std::vector<size_t>::reverse_iterator it = s_DeadPositions.rbegin(); it != s_DeadPositions.rend(); ++it)
        if (*it < CharacterList.size())
            CharacterList.erase(CharacterList.begin() + static_cast<std::ptrdiff_t>(*it));
    s_DeadPositions.clear();
}

void CCharacterSystem::DeleteAll()
{
    if (CharacterList.capacity() == 0)
        return;

    while (!CharacterList.empty()) {
        std::vector<CCharacter*>::iterator it = std::find_if(
            CharacterList.begin(), CharacterList.end(), [](const CCharacter* p) { return !p->IsOwned; });
        if (it == CharacterList.end()) {
            MessageBoxA(nullptr, "IsOwnedフラグが立っているキャラクタが削除されていません", "警告", MB_OK);
            break;
        }
        const std::ptrdiff_t position = it - CharacterList.begin();
        CCharacter* pCharacter = *it;
        pCharacter->Life = 0;
        delete pCharacter;
        if (static_cast<size_t>(position) < CharacterList.size())
            CharacterList.erase(CharacterList.begin() + position);
    }
    if (!CharacterList.empty())
        MessageBoxA(nullptr, "キャラクタが削除されずに残っています", "警告", MB_OK);
}
