#include "game/COpeningSmoke.h"

#include <cmath>

#include "app/CRandomMT.h"
#include "render/CDirectX9.h"

namespace {

const char kSmokeTexture[] = ".\\data\\graphics\\OpeningSmoke.tga";
const double kTwoPi = 6.28318530717958647692;

double Random() { return CRandomMT::GetInstance().GetReal(); }

// The texture corners of a puff, in the billboard's vertex order.
void SetCorners(Vertex3DTex* v, DWORD colour)
{
    static const float kUV[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (int i = 0; i < 4; ++i) {
        v[i].diffuse = colour;
        v[i].u = kUV[i][0];
        v[i].v = kUV[i][1];
    }
}

DWORD WhiteWithAlpha(int alpha)
{
    if (alpha < 0) alpha = 0;
    if (alpha > 255) alpha = 255;
    return (static_cast<DWORD>(alpha) << 24) | 0x00FFFFFFu;
}

// The states both puffs draw with; the smoke also tests depth, the dust leaves that as it is.
void DrawPuff(CD3DSafeTexture& texture, Vertex3DTex* v, bool setDepthTest)
{
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    CDirectX9::SafeSetTransform(D3DTS_WORLD, identity);
    CDirectX9::SafeSetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    CDirectX9::SafeSetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    CDirectX9::SafeSetTexture(0, texture);
    g_pDevice->SetFVF(Vertex3DTex::FVF);
    if (setDepthTest)
        CDirectX9::SafeSetRenderState(D3DRS_ZENABLE, TRUE);
    CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    CDirectX9::SafeSetRenderState(D3DRS_LIGHTING, FALSE);
    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    g_pDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex3DTex));
    CDirectX9::SafeSetRenderState(D3DRS_LIGHTING, TRUE);
}

} // namespace

COpeningSmoke::COpeningSmoke()
    : Position(0, 0, 0), Velocity(0, 0, 0), Acceleration(0, 0, 0), Rotation(0), Size(0)
{
    try {
        CDirectX9::SafeCreateTexture(kSmokeTexture, Texture);
    } catch (...) {
        // A failed load leaves its entry on the handle; the base destructor then takes the
        // half-built puff off the registry.
        CDirectX9::SafeReleaseTexture(Texture);
        throw;
    }
    IsTranslucent = true;
}

COpeningSmoke::COpeningSmoke(const D3DXVECTOR3& position, const D3DXVECTOR3& direction, float scale)
    : COpeningSmoke()
{
    Position = position;
    Velocity = direction * (scale * 0.2f);
    // Constant, so the drift stops after 40 x scale frames and then turns back.
    Acceleration = D3DXVECTOR3(-0.005f * direction.x, 0.0f, -0.005f * direction.z);
    Rotation = static_cast<float>(Random() * kTwoPi);
    Size = static_cast<float>((Random() + 1.0) * scale * 0.2);
    SetLife(LIFE);
}

COpeningSmoke::~COpeningSmoke()
{
    CDirectX9::SafeReleaseTexture(Texture);
}

bool COpeningSmoke::Update()
{
    Velocity += Acceleration;
    Position += Velocity;
    return true;
}

DWORD COpeningSmoke::ColourAt(DWORD age)
{
    // 255 - 1.275 a rather than (200 - a) x 1.275: the product rounds just below 255 at age 0.
    return WhiteWithAlpha(static_cast<int>(255.0 - 1.275 * static_cast<double>(age)));
}

bool COpeningSmoke::Draw()
{
    const float age = static_cast<float>(Age);
    const float side = Size * (1.0f + 0.01f * age);
    Vertex3DTex v[4];
    SetCorners(v, ColourAt(Age));
    DrawBillboard(Position.x, Position.y, Position.z, side, side, Rotation, v);
    DrawPuff(Texture, v, true);
    return true;
}

COpeningDust::COpeningDust(const D3DXVECTOR3& position, float angle)
{
    // Seven draws in a fixed order: the position's jitter, then the kick.
    const double r1 = Random(), r2 = Random(), r3 = Random();
    Position = position + D3DXVECTOR3(static_cast<float>((r1 - 0.5) * 0.1), static_cast<float>((r2 - 0.5) * 0.1),
                                      static_cast<float>((r3 - 0.5) * 0.1));
    Rotation = angle;
    const double r4 = Random(), r5 = Random(), r6 = Random();
    Velocity = D3DXVECTOR3(static_cast<float>((r4 - 0.5) * 0.05 - 0.05 * std::sin(angle)),
                           static_cast<float>((r5 - 0.5) * 0.1 + 0.04),
                           static_cast<float>((r6 - 0.5) * 0.05 - 0.05 * std::cos(angle)));
    // Drag, and a little gravity.
    Acceleration = D3DXVECTOR3(-0.02f * Velocity.x, -0.02f * Velocity.y - 0.002f, -0.02f * Velocity.z);
    Size = static_cast<float>(Random() + 1.0);
    SetLife(LIFE);
}

DWORD COpeningDust::ColourAt(DWORD age)
{
    return WhiteWithAlpha((30 - static_cast<int>(age)) * 8);
}

bool COpeningDust::Draw()
{
    const float age = static_cast<float>(Age);
    const float side = std::sqrt(age / 30.0f) * Size;
    Vertex3DTex v[4];
    SetCorners(v, ColourAt(Age));
    DrawBillboard(Position.x, Position.y, Position.z, side, side, Rotation, v);
    DrawPuff(Texture, v, false);
    return true;
}

void DrawBillboard(float x, float y, float z, float w, float h, float angle, Vertex3DTex* vertices)
{
    // The inverse view is the camera's placement: its rows are the camera's axes in the world.
    const D3DXMATRIX view(CDirectX9::SafeGetTransform(D3DTS_VIEW));
    D3DXMATRIX camera;
    D3DXMatrixInverse(&camera, nullptr, &view);
    const D3DXVECTOR3 right(camera._11, camera._12, camera._13);
    const D3DXVECTOR3 up(camera._21, camera._22, camera._23);

    // The two half-diagonals, turned by the angle.
    float px = w * 0.5f, py = -h * 0.5f, qx = w * 0.5f, qy = h * 0.5f;
    if (angle != 0.0f) {
        const float c = std::cos(angle), s = std::sin(angle);
        px = c * w * 0.5f + s * h * 0.5f;
        py = s * w * 0.5f - c * h * 0.5f;
        qx = c * w * 0.5f - s * h * 0.5f;
        qy = s * w * 0.5f + c * h * 0.5f;
    }
    const D3DXVECTOR3 p = right * px + up * py;
    const D3DXVECTOR3 q = right * qx + up * qy;
    const D3DXVECTOR3 o(x, y, z);
    const D3DXVECTOR3 corners[4] = {o - p, o + q, o - q, o + p};
    for (int i = 0; i < 4; ++i) {
        vertices[i].x = corners[i].x;
        vertices[i].y = corners[i].y;
        vertices[i].z = corners[i].z;
    }
}
