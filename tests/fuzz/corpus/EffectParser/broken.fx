float4 VS(float4 p : POSITION) : POSITION
{
  return p.xyzw * ;
/* open