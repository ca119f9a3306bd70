// Effects on the device: a translated vertex shader puts vertices and depths where the
// fixed-function stage puts them; Begin saves the states of the passes and End gives them
// back; files that are missing, empty or outside the language fail with D3DX's error.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "support/D3D9Fixture.h"

namespace {

using qvtest::Image;

constexpr UINT kW = 160;
constexpr UINT kH = 120;

// A pass that only writes the stencil, with the plain transform of the position.
const char kStencilEffect[] = R"(float4x4 mWVP;
float4 vTint;
float4 VS(float4 Pos : POSITION, float3 Normal : NORMAL) : POSITION
{
    return mul(Pos, mWVP);
}
technique TPlain
{
    pass P0
    {
        VertexShader = compile vs_2_0 VS();
        ColorWriteEnable = 0;
        ZWriteEnable = FALSE;
    }
}
technique TTwo { pass A { ZWriteEnable = FALSE; } pass B { CullMode = CW; ZWriteEnable = TRUE; } }
)";

struct NormalVertex { // XYZ | NORMAL
    float x, y, z;
    float nx, ny, nz;
};

struct ScreenVertex { // XYZRHW | DIFFUSE
    float x, y, z, rhw;
    D3DCOLOR color;
};

LPD3DXEFFECT MakeEffect(IDirect3DDevice9* device, const std::string& text, std::string* errors = nullptr,
                        HRESULT* result = nullptr)
{
    LPD3DXEFFECT effect = nullptr;
    LPD3DXBUFFER buffer = nullptr;
    const HRESULT hr = D3DXCreateEffect(device, text.data(), static_cast<UINT>(text.size()), nullptr, nullptr, 0,
                                        nullptr, &effect, &buffer);
    if (result)
        *result = hr;
    if (buffer) {
        if (errors)
            *errors = static_cast<const char*>(buffer->GetBufferPointer());
        buffer->Release();
    }
    return effect;
}

class EffectDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(f.Create(kW, kH));
        device = f.device;
        D3DXMATRIX rotation, translation;
        D3DXMatrixRotationY(&rotation, 0.6f);
        D3DXMatrixTranslation(&translation, 0.3f, -0.2f, 0.5f);
        D3DXMatrixMultiply(&world, &rotation, &translation);
        const D3DXVECTOR3 eye(0.0f, 2.0f, -6.0f), at(0.0f, 0.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        D3DXMatrixPerspectiveFovLH(&projection, 0.785398185f, 4.0f / 3.0f, 1.0f, 50.0f);
    }
    void Begin()
    {
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000, 1.0f,
                                0),
                  D3D_OK);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetTransform(D3DTS_WORLD, &world);
        device->SetTransform(D3DTS_VIEW, &view);
        device->SetTransform(D3DTS_PROJECTION, &projection);
    }
    // A red wall that a triangle pierces, drawn by the fixed-function stage.
    void DrawWall()
    {
        const ScreenVertex unused{};
        (void)unused;
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        device->SetTransform(D3DTS_WORLD, &identity);
        struct ColorVertex {
            float x, y, z;
            D3DCOLOR c;
        } wall[4] = {{-3, -3, 1.2f, 0xFFFF0000}, {-3, 3, 1.2f, 0xFFFF0000}, {3, -3, 1.2f, 0xFFFF0000},
                     {3, 3, 1.2f, 0xFFFF0000}};
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, wall, sizeof wall[0]), D3D_OK);
        device->SetTransform(D3DTS_WORLD, &world);
    }
    const NormalVertex* Triangle() const
    {
        static const NormalVertex v[3] = {{-1.5f, -1.0f, -1.0f, 0, 0, -1}, {0.0f, 1.5f, 1.5f, 0, 0, -1},
                                          {1.5f, -1.2f, 0.5f, 0, 0, -1}};
        return v;
    }
    Image End()
    {
        EXPECT_EQ(device->EndScene(), D3D_OK);
        return qvtest::ReadBackBuffer(device);
    }

    qvtest::DeviceFixture f;
    IDirect3DDevice9* device = nullptr;
    D3DXMATRIX world, view, projection;
};

TEST_F(EffectDevice, ShaderPutsVerticesAndDepthsWhereFixedFunctionDoes)
{
    // Fixed function: the wall, then the white triangle where it is in front of the wall.
    Begin();
    DrawWall();
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, Triangle(), sizeof(NormalVertex)), D3D_OK);
    const Image expected = End();

    // The effect marks the stencil where the triangle passes the depth test; white fills it.
    LPD3DXEFFECT effect = MakeEffect(device, kStencilEffect);
    ASSERT_NE(effect, nullptr);
    Begin();
    DrawWall();
    D3DXMATRIX wvp;
    D3DXMatrixMultiply(&wvp, &world, &view);
    D3DXMatrixMultiply(&wvp, &wvp, &projection);
    ASSERT_EQ(effect->SetTechnique(effect->GetTechniqueByName("TPlain")), D3D_OK);
    UINT passes = 0;
    ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
    EXPECT_EQ(passes, 1u);
    ASSERT_EQ(effect->BeginPass(0), D3D_OK);
    ASSERT_EQ(effect->SetMatrix(effect->GetParameterByName(nullptr, "mWVP"), &wvp), D3D_OK);
    ASSERT_EQ(effect->CommitChanges(), D3D_OK);
    device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_REPLACE);
    device->SetRenderState(D3DRS_STENCILREF, 1);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, Triangle(), sizeof(NormalVertex)), D3D_OK);
    ASSERT_EQ(effect->EndPass(), D3D_OK);
    ASSERT_EQ(effect->End(), D3D_OK);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    const ScreenVertex fill[4] = {{0, 0, 0, 1, 0xFFFFFFFF}, {kW, 0, 0, 1, 0xFFFFFFFF}, {0, kH, 0, 1, 0xFFFFFFFF},
                                  {kW, kH, 0, 1, 0xFFFFFFFF}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, fill, sizeof fill[0]), D3D_OK);
    const Image actual = End();
    effect->Release();

    int white = 0, different = 0;
    for (int y = 0; y < static_cast<int>(kH); ++y) {
        for (int x = 0; x < static_cast<int>(kW); ++x) {
            const bool a = expected.At(x, y)[1] > 128, b = actual.At(x, y)[1] > 128;
            white += a ? 1 : 0;
            different += a != b ? 1 : 0;
        }
    }
    const std::string dir = qvtest::MakeTempDir("EffectPlacement");
    qvtest::SavePng(dir + "/expected.png", expected);
    qvtest::SavePng(dir + "/actual.png", actual);
    EXPECT_GT(white, 500);      // the triangle is well in view, and partly behind the wall
    EXPECT_LT(white, 9000);
    EXPECT_LE(different, 12);   // at most a few pixels along the edges differ by rounding
}

TEST_F(EffectDevice, BeginSavesThePassStatesAndEndGivesThemBack)
{
    LPD3DXEFFECT effect = MakeEffect(device, kStencilEffect);
    ASSERT_NE(effect, nullptr);
    ASSERT_EQ(effect->SetTechnique("TTwo"), D3D_OK); // a name works as a handle
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    UINT passes = 0;
    ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
    EXPECT_EQ(passes, 2u);
    EXPECT_EQ(effect->Begin(&passes, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(effect->BeginPass(2), D3DERR_INVALIDCALL);
    ASSERT_EQ(effect->BeginPass(0), D3D_OK);
    EXPECT_EQ(effect->BeginPass(1), D3DERR_INVALIDCALL); // the first pass is still open
    DWORD value = 0;
    device->GetRenderState(D3DRS_ZWRITEENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(FALSE));
    ASSERT_EQ(effect->EndPass(), D3D_OK);
    ASSERT_EQ(effect->BeginPass(1), D3D_OK);
    device->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DCULL_CW));
    ASSERT_EQ(effect->EndPass(), D3D_OK);
    ASSERT_EQ(effect->End(), D3D_OK);
    device->GetRenderState(D3DRS_ZWRITEENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(TRUE));
    device->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DCULL_CCW));
    EXPECT_EQ(effect->End(), D3DERR_INVALIDCALL);

    // Without saving, the pass's states stay.
    ASSERT_EQ(effect->Begin(&passes, D3DXFX_DONOTSAVESTATE), D3D_OK);
    ASSERT_EQ(effect->BeginPass(1), D3D_OK);
    ASSERT_EQ(effect->EndPass(), D3D_OK);
    ASSERT_EQ(effect->End(), D3D_OK);
    device->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(D3DCULL_CW));
    // Lost-device calls leave the effect usable.
    EXPECT_EQ(effect->OnLostDevice(), D3D_OK);
    EXPECT_EQ(effect->OnResetDevice(), D3D_OK);
    ASSERT_EQ(effect->Begin(nullptr, 0), D3D_OK);
    EXPECT_EQ(effect->End(), D3D_OK);
    effect->Release();
}

TEST_F(EffectDevice, ParametersAreFoundByNameAndTyped)
{
    LPD3DXEFFECT effect = MakeEffect(device, kStencilEffect);
    ASSERT_NE(effect, nullptr);
    const D3DXHANDLE wvp = effect->GetParameterByName(nullptr, "mWVP");
    const D3DXHANDLE tint = effect->GetParameterByName(nullptr, "vTint");
    ASSERT_NE(wvp, nullptr);
    ASSERT_NE(tint, nullptr);
    EXPECT_EQ(effect->GetParameterByName(nullptr, "mwvp"), nullptr); // names are exact
    EXPECT_EQ(effect->GetTechniqueByName("TShader"), nullptr);
    EXPECT_EQ(effect->SetTechnique(nullptr), D3DERR_INVALIDCALL);
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    const D3DXVECTOR4 v(1, 2, 3, 4);
    EXPECT_EQ(effect->SetMatrix(tint, &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(effect->SetVector(wvp, &v), D3DERR_INVALIDCALL);
    EXPECT_EQ(effect->SetVector(nullptr, &v), D3DERR_INVALIDCALL);
    EXPECT_EQ(effect->SetVector(tint, &v), D3D_OK);
    EXPECT_EQ(effect->SetMatrix("mWVP", &m), D3D_OK);
    EXPECT_EQ(effect->CommitChanges(), D3DERR_INVALIDCALL); // outside a pass
    effect->Release();
}

TEST_F(EffectDevice, FilesThatAreMissingEmptyOrOutsideTheLanguageFail)
{
    const std::string dir = qvtest::MakeTempDir("EffectFiles");
    LPD3DXEFFECT effect = nullptr;
    LPD3DXBUFFER errors = nullptr;
    EXPECT_TRUE(FAILED(D3DXCreateEffectFromFileA(device, (dir + "/missing.fx").c_str(), nullptr, nullptr, 0, nullptr,
                                                 &effect, &errors)));
    EXPECT_EQ(effect, nullptr);
    if (errors)
        errors->Release();

    qvtest::WriteFileText(dir + "/empty.fx", "");
    EXPECT_EQ(D3DXCreateEffectFromFileA(device, (dir + "/empty.fx").c_str(), nullptr, nullptr, 0, nullptr, &effect,
                                        nullptr),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(effect, nullptr);

    qvtest::WriteFileText(dir + "/loop.fx", "float4x4 M;\n\nfloat4 VS(float4 p : POSITION) : POSITION\n{\n"
                                            "    while (true) {}\n}\n");
    errors = nullptr;
    EXPECT_EQ(D3DXCreateEffectFromFileA(device, (dir + "/loop.fx").c_str(), nullptr, nullptr, 0, nullptr, &effect,
                                        &errors),
              D3DXERR_INVALIDDATA);
    ASSERT_NE(errors, nullptr);
    const std::string text = static_cast<const char*>(errors->GetBufferPointer());
    EXPECT_NE(text.find("loop.fx(5): error:"), std::string::npos) << text;
    errors->Release();

    qvtest::WriteFileText(dir + "/good.fx", kStencilEffect);
    ASSERT_EQ(D3DXCreateEffectFromFileA(device, (dir + "/good.fx").c_str(), nullptr, nullptr, 0, nullptr, &effect,
                                        nullptr),
              D3D_OK);
    ASSERT_NE(effect, nullptr);
    effect->Release();
}

} // namespace

namespace {

// Every construct of the language at once (the fuzzing seed): OpenGL must accept the GLSL.
TEST_F(EffectDevice, EveryConstructTranslatesToGlslThatOpenGlAccepts)
{
    const std::vector<uint8_t> bytes =
        qvtest::ReadFileBytes(qvtest::SourceDir() + "/fuzz/corpus/EffectParser/expressions.fx");
    ASSERT_FALSE(bytes.empty());
    std::string errors;
    LPD3DXEFFECT effect = MakeEffect(device, std::string(bytes.begin(), bytes.end()), &errors);
    ASSERT_NE(effect, nullptr) << errors;
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    ASSERT_EQ(effect->Begin(nullptr, 0), D3D_OK);
    EXPECT_EQ(effect->BeginPass(0), D3D_OK);
    EXPECT_EQ(effect->EndPass(), D3D_OK);
    EXPECT_EQ(effect->End(), D3D_OK);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    effect->Release();
}

} // namespace
