#include "game/CLogoScene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/CGameConfig.h"
#include "game/CFade.h"
#include "game/SceneSteps.h"
#include "game/Vertex3D.h"
#include "render/CDirectX9.h"
#include "render/Draw2D.h"

unsigned int g_nLogoStep = 0;

namespace {

const float kPi = 3.14159265358979323846f;
const float kTwoPi = 2.0f * kPi;

// Texture regions, in texture coordinates.
const float kDotU1 = 0.125f;
const float kScanU0 = 0.12890625f, kScanU1 = 0.24609375f;
const float kEmblemU1 = 0.8125f;
const float kCaptionU0 = 0.26f, kCaptionU1 = 0.5525f;
const float kLightU0 = 0.5625f, kLightU1 = 0.6875f;

const int kRows = 10;
const int kPairs = 36; // the last pair closes the ring on the first
const int kDots = 35;

// The runtime's random values as the game was tuned for them: 0 to 32767.
int Rand15() { return std::rand() & 0x7FFF; }

bool IsSoundOn() { return CGameConfig::GetInstance().IsSoundOn; }

void SetBlend(DWORD src, DWORD dest)
{
    CDirectX9::SafeSetRenderState(D3DRS_SRCBLEND, src);
    CDirectX9::SafeSetRenderState(D3DRS_DESTBLEND, dest);
}

void Unbind()
{
    CD3DSafeTexture none;
    CDirectX9::SafeSetTexture(0, none);
}

void DrawStrip(const void* vertices, UINT triangles, UINT stride)
{
    g_pDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, triangles, vertices, stride);
}

// A textured quad in strip order, at depth 1.
void SetQuad(Vertex3DTex* v, const float (*xy)[2], const float (*uv)[2], DWORD colour)
{
    for (int i = 0; i < 4; ++i)
        v[i] = {xy[i][0], xy[i][1], 1.0f, colour, uv[i][0], uv[i][1]};
}

// Draws a quad once as its drop shadow and once, up and to the left, as its face.
void DrawWithShadow(const float (*xy)[2], const float (*uv)[2], DWORD shadow, DWORD face)
{
    Vertex3DTex v[4];
    SetQuad(v, xy, uv, shadow);
    DrawStrip(v, 2, sizeof(Vertex3DTex));
    for (Vertex3DTex& p : v) {
        p.x -= 0.02f;
        p.y -= 0.02f;
        p.diffuse = face;
    }
    DrawStrip(v, 2, sizeof(Vertex3DTex));
}

} // namespace

bool LogoSceneCallback(int code)
{
    if (code == -1)
        g_nLogoStep = 2;
    return true;
}

bool LogoSceneStep()
{
    switch (g_nLogoStep) {
    case 0:
        new CLogoScene();
        g_nLogoStep = 1;
        return true;
    case 2:
        g_nLogoStep = 0;
        return false;
    default:
        return true;
    }
}

CLogoScene::CLogoScene() : LogoStream(-1), NoiseStream(-1), JitterX(0), JitterY(0), m_bFadeMade(false)
{
    AddCallback(LogoSceneCallback);
    try {
        CDirectX9::SafeCreateTexture(".\\data\\graphics\\vannet.tga", Texture);
        CDirectX9::SafeSetRenderState(D3DRS_LIGHTING, FALSE);
        g_DirectX9.SetProjection(kPi / 4, 0.5f, 5.0f);
        D3DXMATRIX m;
        D3DXMatrixIdentity(&m);
        CDirectX9::SafeSetTransform(D3DTS_WORLD, m);
        D3DMATERIAL9 material = {};
        material.Diffuse = {0.5f, 0.5f, 0.5f, 1.0f};
        material.Ambient = {0.7f, 0.7f, 0.7f, 0.0f};
        CDirectX9::SafeSetMaterial(material);
        const D3DXVECTOR3 eye(0, 0, -3), at(0, 0, 0), up(0, 1, 0);
        D3DXMatrixLookAtLH(&m, &eye, &at, &up);
        CDirectX9::SafeSetTransform(D3DTS_VIEW, m);
        if (IsSoundOn()) {
            LogoStream = StreamLoadAndPlay(".\\data\\sound\\vannet.ogg", static_cast<DWORD>(-1), 1.0f);
            NoiseStream = StreamLoad(".\\data\\sound\\noize.ogg");
        }
    } catch (...) {
        // The base destructor takes the half-built scene off the registry; what it holds is
        // given back here, so the next attempt starts clean.
        StreamStop(LogoStream);
        CDirectX9::SafeReleaseTexture(Texture);
        throw;
    }
}

CLogoScene::~CLogoScene()
{
    // Stopped whatever the sound setting is now: a stream left looping would hold its slot
    // for the rest of the run. An index of -1 is ignored.
    StreamStop(LogoStream);
    StreamStop(NoiseStream);
    CDirectX9::SafeSetRenderState(D3DRS_LIGHTING, TRUE);
    CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    CDirectX9::SafeReleaseTexture(Texture);
    const CDirectX9::ClearRecord clear = {0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0};
    CDirectX9::SetClearParam(clear);
    CallCallbacks(-1);
}

bool CLogoScene::Update()
{
    const int r1 = Rand15(), r2 = Rand15();
    JitterX = static_cast<float>(r1) * (0.025f / 32767.0f) - 0.0125f;
    JitterY = static_cast<float>(r2) * (0.025f / 32767.0f) - 0.0125f;
    if (Rand15() % 5 == 0) {
        JitterX *= 5.0f;
        JitterY *= 5.0f;
    }

    if (Age == NOISE_AGE && IsSoundOn()) {
        StreamSetVolume(LogoStream, 0.0f, 1200);
        StreamPlay(NoiseStream, static_cast<DWORD>(-1), 0.0f);
        StreamSetVolume(NoiseStream, 1.0f, 1600);
    }
    if (Age == NOISE_FADE_AGE)
        StreamSetVolume(NoiseStream, 0.0f, 800);
    if (Age == END_AGE)
        Kill();
    return true;
}

bool CLogoScene::Draw()
{
    // Nothing writes depth, so everything is painted in this order.
    CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    DrawPhase1();
    DrawPhase2();
    DrawPhase3();
    DrawPhase5();
    DrawPhase4();
    return true;
}

bool CLogoScene::DrawPhase1()
{
    const float t = static_cast<float>(Age);
    Vertex3DNormal ring[kRows][kPairs * 2];
    for (int i = 0; i < kRows; ++i) {
        const float h = 0.2f * i - 0.9f;
        const float m = 1.0f + 0.5f * std::sin((t + 10.0f * i) * kTwoPi / 246.0f);
        for (int j = 0; j < kPairs; ++j) {
            const float a = j * kTwoPi / 35.0f;
            const float ca = std::cos(a), sa = std::sin(a);
            const float r = 0.5f * m * std::sqrt(1.0f - h * h) * (2.0f + std::cos(t / 53.0f + a));
            const float y = h * (1.0f + 0.5f * std::cos((t + 50.0f * i) / 177.0f + a));
            ring[i][2 * j] = {r * ca, y, r * sa, ca, sa, 0.0f, 0xFFFFFFFF};
            ring[i][2 * j + 1] = {r * ca, y + 0.04f, r * sa, ca, sa, 0.0f, 0xFFFF0000};
        }
    }
    // Turned about x, then about z; normals are left, as nothing is lit.
    const float p = t / 97.0f, q = t / 139.0f;
    const float cp = std::cos(p), sp = std::sin(p), cq = std::cos(q), sq = std::sin(q);
    for (auto& row : ring)
        for (Vertex3DNormal& v : row) {
            const float y1 = v.y * cp + v.z * sp;
            const float z1 = v.z * cp - v.y * sp;
            const float x2 = v.x * cq + y1 * sq;
            const float y2 = y1 * cq - v.x * sq;
            v.x = x2;
            v.y = y2;
            v.z = z1;
        }

    const bool wireframe = static_cast<int>(std::fmod(t, 120.0f)) > 70;
    g_pDevice->SetFVF(Vertex3DNormal::FVF);
    SetBlend(D3DBLEND_ONE, D3DBLEND_ONE);
    Unbind();
    if (wireframe)
        CDirectX9::SafeSetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    for (auto& row : ring)
        DrawStrip(row, kPairs * 2 - 2, sizeof(Vertex3DNormal));

    // A dot on every lower vertex, larger when nearer.
    g_pDevice->SetFVF(Vertex3DTex::FVF);
    CDirectX9::SafeSetTexture(0, Texture);
    for (auto& row : ring)
        for (int k = 0; k < kDots; ++k) {
            const Vertex3DNormal& c = row[2 * k];
            const float s = 1.0f / (c.z + 4.0f);
            const Vertex3DTex dot[4] = {{c.x - s, c.y - s, c.z, 0xFF00FFFF, 0.0f, 0.75f},
                                        {c.x - s, c.y + s, c.z, 0xFF00FFFF, 0.0f, 1.0f},
                                        {c.x + s, c.y - s, c.z, 0xFF00FFFF, kDotU1, 0.75f},
                                        {c.x + s, c.y + s, c.z, 0xFF00FFFF, kDotU1, 1.0f}};
            DrawStrip(dot, 2, sizeof(Vertex3DTex));
        }
    if (wireframe)
        CDirectX9::SafeSetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    return true;
}

bool CLogoScene::DrawPhase2()
{
    SetBlend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    Unbind();
    g_pDevice->SetFVF(Vertex3D::FVF);
    const DWORD black = 0xFF000000;
    const Vertex3D bars[4][4] = {
        {{-2.5f, 1.8f, 1, black}, {-2.5f, 1.3f, 1, black}, {2.5f, 1.8f, 1, black}, {2.5f, 1.3f, 1, black}},
        {{-2.5f, -1.3f, 1, black}, {-2.5f, -1.8f, 1, black}, {2.5f, -1.3f, 1, black}, {2.5f, -1.8f, 1, black}},
        {{-2.5f, 1.4f, 1, black}, {-2.5f, 1.1f, 1, black}, {0.8f, 1.4f, 1, black}, {0.8f, 1.1f, 1, black}},
        {{-0.8f, -1.1f, 1, black}, {-0.8f, -1.4f, 1, black}, {2.5f, -1.1f, 1, black}, {2.5f, -1.4f, 1, black}},
    };
    const Vertex3D tips[2][3] = {
        {{0.795f, 1.4f, 1, black}, {0.795f, 1.1f, 1, black}, {1.2f, 1.4f, 1, black}},
        {{-0.795f, -1.1f, 1, black}, {-0.795f, -1.4f, 1, black}, {-1.2f, -1.4f, 1, black}},
    };
    for (const auto& bar : bars)
        DrawStrip(bar, 2, sizeof(Vertex3D));
    for (const auto& tip : tips)
        DrawStrip(tip, 1, sizeof(Vertex3D));

    // Scan lines over the whole back buffer, in its own pixels.
    CDirectX9::SafeSetTexture(0, Texture);
    g_pDevice->SetFVF(Vertex2DTex::FVF);
    const float w = static_cast<float>(g_DirectX9.GetWidth());
    const float h = static_cast<float>(g_DirectX9.GetHeight());
    for (int i = 0; i < 15; ++i) {
        const float top = i * (h / 15.0f), bottom = (i + 1) * (h / 15.0f);
        const Vertex2DTex line[4] = {{0, top, 0.1f, 1.0f, 0xFFFFFFFF, kScanU0, 0.75f},
                                     {0, bottom, 0.1f, 1.0f, 0xFFFFFFFF, kScanU0, 1.0f},
                                     {w, top, 0.1f, 1.0f, 0xFFFFFFFF, kScanU1, 0.75f},
                                     {w, bottom, 0.1f, 1.0f, 0xFFFFFFFF, kScanU1, 1.0f}};
        DrawStrip(line, 2, sizeof(Vertex2DTex));
    }
    return true;
}

bool CLogoScene::DrawPhase3()
{
    const int t = static_cast<int>(Age);
    if (t < 91)
        return true;
    const DWORD alpha = static_cast<DWORD>(std::min(2 * t - 180, 255)) << 24;
    const DWORD shadow = alpha | 0x333333, face = alpha | 0xFFFFFF;
    const float jx = JitterX, jy = JitterY;
    g_pDevice->SetFVF(Vertex3DTex::FVF);

    const float emblem[4][2] = {
        {jx - 1, jy + 0.33076924f}, {jx - 1, jy - 0.13076922f}, {jx + 1, jy + 0.33076924f}, {jx + 1, jy - 0.13076922f}};
    const float emblemUV[4][2] = {{0, 0.375f}, {0, 0.75f}, {kEmblemU1, 0.375f}, {kEmblemU1, 0.75f}};
    DrawWithShadow(emblem, emblemUV, shadow, face);

    const float caption[4][2] = {
        {jx - 0.4f, jy - 0.14f}, {jx - 0.4f, jy - 0.46f}, {jx + 0.4f, jy - 0.14f}, {jx + 0.4f, jy - 0.46f}};
    const float captionUV[4][2] = {{kCaptionU0, 0.75f}, {kCaptionU0, 1}, {kCaptionU1, 0.75f}, {kCaptionU1, 1}};
    DrawWithShadow(caption, captionUV, shadow, face);
    return true;
}

bool CLogoScene::DrawPhase4()
{
    const int t = static_cast<int>(Age);
    if (t >= static_cast<int>(NOISE_FADE_AGE) && !m_bFadeMade) {
        new CFadeToWhite(103);
        m_bFadeMade = true;
    }
    if (t <= static_cast<int>(NOISE_AGE))
        return true;
    const DWORD colour = (static_cast<DWORD>(std::min(3 * t - 1080, 255) / 2) << 24) | 0xFFFFFF;
    SetBlend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);

    const float uv[4][2] = {{kLightU0, 0.75f}, {kLightU0, 1}, {kLightU1, 0.75f}, {kLightU1, 1}};
    const float offsets[4] = {0.0f, kPi / 2, 3 * kPi / 2, kPi};
    for (int square = 0; square < 2; ++square) {
        // The two squares turn in opposite directions.
        const float sign = square == 0 ? 1.0f : -1.0f;
        const float g = sign * static_cast<float>(t) / 150.0f;
        float xy[4][2];
        for (int i = 0; i < 4; ++i) {
            const float a = g + sign * offsets[i];
            xy[i][0] = 4.5f * std::cos(a);
            xy[i][1] = 4.5f * std::sin(a);
        }
        Vertex3DTex v[4];
        SetQuad(v, xy, uv, colour);
        DrawStrip(v, 2, sizeof(Vertex3DTex));
    }
    return true;
}

bool CLogoScene::DrawPhase5()
{
    const float t = static_cast<float>(Age);
    if (!(7.0f - 0.05f * t > -2.5f))
        return true;
    SetBlend(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    CDirectX9::SafeSetTexture(0, Texture);
    g_pDevice->SetFVF(Vertex3DTex::FVF);
    const float uv[4][2] = {{0, 0}, {0, 0.375f}, {1, 0}, {1, 0.375f}};
    // The large band moves twice as fast as the small one.
    const struct {
        float left, right, half;
    } bands[2] = {{3 - 0.05f * t, 7 - 0.05f * t, 0.375f}, {3 - 0.1f * t, 13 - 0.1f * t, 0.9375f}};
    for (const auto& b : bands) {
        const float xy[4][2] = {{b.left, b.half}, {b.left, -b.half}, {b.right, b.half}, {b.right, -b.half}};
        Vertex3DTex v[4];
        SetQuad(v, xy, uv, 0xBBFFFFFF);
        DrawStrip(v, 2, sizeof(Vertex3DTex));
    }
    return true;
}
