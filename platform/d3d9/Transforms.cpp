#include "platform/d3d9/Transforms.h"

#include <cmath>
#include <cstring>

namespace qv::d3d9 {

D3DMATRIX IdentityMatrix()
{
    D3DMATRIX m;
    std::memset(&m, 0, sizeof m);
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b)
{
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    return r;
}

D3DMATRIX ClipAdjustment(const D3DVIEWPORT9& viewport)
{
    D3DMATRIX adjust = IdentityMatrix();
    adjust._33 = 2.0f;
    adjust._43 = -1.0f;
    adjust._41 = 1.0f / static_cast<float>(viewport.Width);
    adjust._42 = -(1.0f - 2.0f * kTieBias) / static_cast<float>(viewport.Height);
    return adjust;
}

D3DMATRIX GlProjection(const D3DMATRIX& projection, const D3DVIEWPORT9& viewport)
{
    D3DMATRIX gl = Multiply(projection, ClipAdjustment(viewport));
    for (int i = 0; i < 4; ++i)
        gl.m[2][i] = -gl.m[2][i];
    return gl;
}

D3DMATRIX GlModelView(const D3DMATRIX& world, const D3DMATRIX& view)
{
    D3DMATRIX worldView = Multiply(world, view);
    for (int i = 0; i < 4; ++i)
        worldView.m[i][2] = -worldView.m[i][2];
    return worldView;
}

D3DMATRIX PixelProjection(UINT width, UINT height)
{
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    D3DMATRIX m;
    std::memset(&m, 0, sizeof m);
    m._11 = 2.0f / w;
    m._22 = -2.0f / h;
    m._33 = 2.0f;
    m._41 = 1.0f / w - 1.0f;
    m._42 = 1.0f - (1.0f - 2.0f * kTieBias) / h;
    m._43 = -1.0f;
    m._44 = 1.0f;
    return m;
}

bool GlNormalMatrix(const D3DMATRIX& modelView, float out[3][3])
{
    // OpenGL reads the Direct3D matrix column by column: its element (r, c) is m[c][r].
    const auto in = [&](int r, int c) { return modelView.m[c][r]; };
    // Affine, and not of the forms whose inverse is formed otherwise: diagonal, or a turn in
    // the plane of the first two axes with the third left alone.
    if (in(3, 0) != 0.0f || in(3, 1) != 0.0f || in(3, 2) != 0.0f || in(3, 3) != 1.0f)
        return false;
    if (in(2, 0) == 0.0f && in(2, 1) == 0.0f && in(0, 2) == 0.0f && in(1, 2) == 0.0f &&
        ((in(1, 0) == 0.0f && in(0, 1) == 0.0f) || in(2, 2) == 1.0f))
        return false;
    // Nor one that keeps angles (a turn, evenly scaled at most): clearly not, so that no
    // rounding of these sums can tip OpenGL's own test the other way.
    float c[3][3];
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 3; ++i)
            c[k][i] = in(i, k);
    const auto dot = [](const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    const float cross[3] = {c[0][1] * c[1][2] - c[0][2] * c[1][1] - c[2][0], c[0][2] * c[1][0] - c[0][0] * c[1][2] - c[2][1],
                            c[0][0] * c[1][1] - c[0][1] * c[1][0] - c[2][2]};
    const float orthogonal = dot(c[0], c[1]);
    const float scales[2] = {dot(c[0], c[0]) - dot(c[1], c[1]), dot(c[0], c[0]) - dot(c[2], c[2])};
    constexpr float kClearly = 1e-8f;
    if (!(orthogonal * orthogonal > kClearly || dot(cross, cross) > kClearly || scales[0] * scales[0] > kClearly ||
          scales[1] * scales[1] > kClearly))
        return false;
    // The determinant of the upper 3x3 from its six products, the positive ones summed apart
    // from the negative ones.
    const float terms[6] = {in(0, 0) * in(1, 1) * in(2, 2),  in(1, 0) * in(2, 1) * in(0, 2),
                            in(2, 0) * in(0, 1) * in(1, 2),  -in(2, 0) * in(1, 1) * in(0, 2),
                            -in(1, 0) * in(0, 1) * in(2, 2), -in(0, 0) * in(2, 1) * in(1, 2)};
    float positive = 0.0f, negative = 0.0f;
    for (float t : terms) {
        if (t >= 0.0f)
            positive += t;
        else
            negative += t;
    }
    const float determinant = positive + negative;
    if (!(std::fabs(determinant) > 1e-20f) || !std::isfinite(determinant))
        return false;
    const float d = 1.0f / determinant;
    out[0][0] = (in(1, 1) * in(2, 2) - in(2, 1) * in(1, 2)) * d;
    out[0][1] = -(in(0, 1) * in(2, 2) - in(2, 1) * in(0, 2)) * d;
    out[0][2] = (in(0, 1) * in(1, 2) - in(1, 1) * in(0, 2)) * d;
    out[1][0] = -(in(1, 0) * in(2, 2) - in(2, 0) * in(1, 2)) * d;
    out[1][1] = (in(0, 0) * in(2, 2) - in(2, 0) * in(0, 2)) * d;
    out[1][2] = -(in(0, 0) * in(1, 2) - in(1, 0) * in(0, 2)) * d;
    out[2][0] = (in(1, 0) * in(2, 1) - in(2, 0) * in(1, 1)) * d;
    out[2][1] = -(in(0, 0) * in(2, 1) - in(2, 0) * in(0, 1)) * d;
    out[2][2] = (in(0, 0) * in(1, 1) - in(1, 0) * in(0, 1)) * d;
    // Finite, and of a size whose products with ordinary normals cannot overflow.
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (!(std::fabs(out[i][j]) <= kLargestOrdinary))
                return false;
    return true;
}

} // namespace qv::d3d9
