// A character that draws one shared model once, with the world matrix and alpha of its last
// request, sorted by the model's view depth so that translucent models are drawn far to near.
#pragma once

#include <boost/shared_ptr.hpp>

#include "app/CCharacter.h"
#include "platform/platform.h"
#include "render/CD3DSafeTexture.h"
#include "render/CD3DXObject.h"

class CMeshDrawRequest : public CCharacter {
public:
    bool IsRequested = false;
    boost::shared_ptr<CD3DXObject> Mesh;
    D3DXMATRIX World;
    float Alpha = 1.0f;
    // Drawn instead of the model's own textures when set.
    CD3DSafeTexture* Texture = nullptr;
    // The last draw pass drew this request.
    bool DrewLastPass = false;

    CMeshDrawRequest();
    ~CMeshDrawRequest() override;

    bool Update() override;
    // True when it drew. While the game is paused nothing renews the requests, so a request
    // that the last pass drew is drawn again.
    bool Draw() override;

    // Takes the model's world matrix as it is now and the view depth of its position.
    void Request(boost::shared_ptr<CD3DXObject> model, float alpha, CD3DSafeTexture* texture);
};
