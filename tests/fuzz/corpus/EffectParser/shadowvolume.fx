// Shadow volumes for the stencil buffer.
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
