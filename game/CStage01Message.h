// The stage's three picture messages: 512x128 pictures that fade in, stay and fade out over a
// life of 300 frames, drawn over everything else.
#pragma once

#include "app/CCharacter.h"
#include "render/CD3DSafeTexture.h"

// The shared body of the messages; the subclasses pick the picture and where it stands.
class CStage01Message : public CCharacter {
public:
    ~CStage01Message() override;
    bool Update() override;
    bool Draw() override;

    // The alpha drawn at an age: rising by 8 a frame, 255 from 32 to 208, falling by 8 to 0.
    static int AlphaAt(DWORD age);

    CD3DSafeTexture Picture;

    static constexpr LONG LIFE = 300;

protected:
    CStage01Message(const char* path, float left, float top);

private:
    float m_Left;
    float m_Top;
};

class CStage01Message00 : public CStage01Message {
public:
    CStage01Message00();
};

class CStage01Message01 : public CStage01Message {
public:
    CStage01Message01();
};

class CStage01Message02 : public CStage01Message {
public:
    CStage01Message02();
};
