float4x4 mWVP;
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
