// The blob shadows of the stage's actors: a soft round shadow flat on the ground under the
// actor that owns it, following its position.
#pragma once

#include "app/CCharacter.h"
#include "platform/platform.h"
#include "render/CD3DSafeTexture.h"
#include "render/CDirectX9.h"
#include "render/CharacterNoUpdate.h"

// A square blob of half-size `h` flat on the ground at the owner's height plus 0.02.
void DrawBlobShadow(CD3DSafeTexture& texture, const D3DXVECTOR3& position, float h);
// Takes a character whose construction failed out of the registry without a second box.
void AbandonCharacter(CCharacter* character);

template <class TOwner>
class CBlobShadow : public CCharacter {
public:
    explicit CBlobShadow(TOwner* owner) : Owner(owner)
    {
        IsTranslucent = true;
        try {
            CDirectX9::SafeCreateTexture(".\\data\\graphics\\OpeningShadow.tga", Texture);
        } catch (...) {
            AbandonCharacter(this);
            throw;
        }
    }
    ~CBlobShadow() override { CDirectX9::SafeReleaseTexture(Texture); }

    bool Update() override { return CharacterNoUpdate(); }
    bool Draw() override
    {
        DrawBlobShadow(Texture, Owner->Position, HalfSize());
        return true;
    }

    TOwner* Owner;
    CD3DSafeTexture Texture;

protected:
    virtual float HalfSize() const = 0;
};
