// The stencil shadow-volume effect: technique "TShader" with "mWVP" and "vLightPos". Its one
// pass pushes every vertex whose face turns away from the light far along the light's ray, so
// the thin quads on the silhouette edges open into the sides of the volume. Colour and depth
// writes are off; the stencil states are the drawing code's.
#include "tools/datagen/DataTree.h"

namespace datagen {

namespace {

const char kShadowVolumeFx[] = R"(// Shadow volumes for the stencil buffer.
float4x4 mWVP;      // object space to clip space
float4   vLightPos; // the light in object space, w = 1

struct VS_OUTPUT
{
    float4 Pos : POSITION;
};

VS_OUTPUT VS(float4 Pos : POSITION, float3 Normal : NORMAL)
{
    VS_OUTPUT Out;
    float3 fromLight = Pos.xyz - vLightPos.xyz;
    // Faces turned away from the light are pushed away from it, out of the visible scene.
    if (dot(Normal, fromLight) > 0.0)
        Pos.xyz += normalize(fromLight) * 1000.0;
    Pos.w = 1.0;
    Out.Pos = mul(Pos, mWVP);
    return Out;
}

technique TShader
{
    pass P0
    {
        VertexShader = compile vs_2_0 VS();
        PixelShader = NULL;
        ColorWriteEnable = 0;
        ZWriteEnable = FALSE;
    }
}
)";

void MakeShader(const CDataTree& tree) { tree.WriteText("shader/shadowvolume.fx", kShadowVolumeFx); }

} // namespace

DATAGEN_REGISTER("shader", MakeShader);

} // namespace datagen
