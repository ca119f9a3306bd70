struct O { float4 P : POSITION; };
float4x4 M : WORLDVIEWPROJECTION;
float4 L = {0, 10, 0, 1};
float S = 2.5f;
float3 Helper(float3 a, float3 b) { return max(cross(a, b), min(a, b)) * length(a); }
O VS(float3 p : POSITION, float4 n : NORMAL)
{
    O o;
    float4 q = float4(p, 1), r = 0.5;
    float3 d = Helper(p, n.xyz);
    q.xyz += (d.x > 0 && !(S <= 1)) ? normalize(d) * S : -d.zyx / 3;
    if (dot(n.xyz, L.xyz - p) >= 0.0) { q.w *= 1; } else q.x -= r.y;
    o.P = mul(q, M) + mul(M, r) * 0x10;
    return o;
}
technique T1 { pass { VertexShader = compile vs_1_1 VS(); PixelShader = NULL; StencilFunc = lessequal;
  ColorWriteEnable = RED | GREEN | BLUE | ALPHA; DepthBias = -0.5; CullMode = NONE; } pass Two { ZEnable = 1; } }
