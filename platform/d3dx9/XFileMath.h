// The few rotation helpers that animation and loading need, inline for the per-frame loops:
// D3DX's conventions (row vectors, quaternions as x, y, z, w, matrices scale x rotate x
// translate).
#pragma once

#include <cmath>

#include "platform/d3dx9/D3DX9Math.h"

namespace xfile {

inline D3DXQUATERNION QuatIdentity() { return D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f); }

inline float QuatDot(const D3DXQUATERNION& a, const D3DXQUATERNION& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

// Spherical interpolation along the shorter arc; t outside 0..1 extrapolates.
inline D3DXQUATERNION QuatSlerp(const D3DXQUATERNION& a, const D3DXQUATERNION& b, float t)
{
    float cosine = QuatDot(a, b);
    float sign = 1.0f;
    if (cosine < 0.0f) {
        cosine = -cosine;
        sign = -1.0f;
    }
    float wa, wb;
    if (cosine > 0.9999f) {
        wa = 1.0f - t;
        wb = t;
    } else {
        float angle = std::acos(cosine);
        float inv = 1.0f / std::sin(angle);
        wa = std::sin((1.0f - t) * angle) * inv;
        wb = std::sin(t * angle) * inv;
    }
    wb *= sign;
    D3DXQUATERNION r(wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z, wa * a.w + wb * b.w);
    float len = std::sqrt(QuatDot(r, r));
    if (len > 0.0f) {
        float k = 1.0f / len;
        r.x *= k; r.y *= k; r.z *= k; r.w *= k;
    }
    return r;
}

// Scale, then rotation, then translation, for row vectors.
inline void ComposeSRT(D3DXMATRIX& m, const D3DXVECTOR3& s, const D3DXQUATERNION& q, const D3DXVECTOR3& t)
{
    const float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
    const float xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
    const float wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
    m._11 = s.x * (1.0f - 2.0f * (yy + zz)); m._12 = s.x * 2.0f * (xy + wz); m._13 = s.x * 2.0f * (xz - wy); m._14 = 0.0f;
    m._21 = s.y * 2.0f * (xy - wz); m._22 = s.y * (1.0f - 2.0f * (xx + zz)); m._23 = s.y * 2.0f * (yz + wx); m._24 = 0.0f;
    m._31 = s.z * 2.0f * (xz + wy); m._32 = s.z * 2.0f * (yz - wx); m._33 = s.z * (1.0f - 2.0f * (xx + yy)); m._34 = 0.0f;
    m._41 = t.x; m._42 = t.y; m._43 = t.z; m._44 = 1.0f;
}

// The inverse of ComposeSRT for matrices without shear; a mirroring matrix gets a negative x
// scale.
inline void DecomposeSRT(const D3DXMATRIX& m, D3DXVECTOR3& s, D3DXQUATERNION& q, D3DXVECTOR3& t)
{
    t = D3DXVECTOR3(m._41, m._42, m._43);
    float r[3][3] = {{m._11, m._12, m._13}, {m._21, m._22, m._23}, {m._31, m._32, m._33}};
    float sc[3];
    for (int i = 0; i < 3; ++i)
        sc[i] = std::sqrt(r[i][0] * r[i][0] + r[i][1] * r[i][1] + r[i][2] * r[i][2]);
    const float det = r[0][0] * (r[1][1] * r[2][2] - r[1][2] * r[2][1]) - r[0][1] * (r[1][0] * r[2][2] - r[1][2] * r[2][0]) +
                      r[0][2] * (r[1][0] * r[2][1] - r[1][1] * r[2][0]);
    if (det < 0.0f)
        sc[0] = -sc[0];
    s = D3DXVECTOR3(sc[0], sc[1], sc[2]);
    for (int i = 0; i < 3; ++i) {
        float k = sc[i] != 0.0f ? 1.0f / sc[i] : 0.0f;
        for (int j = 0; j < 3; ++j)
            r[i][j] *= k;
    }
    // Rows r[i] are the rotated axes: r[0][1] = 2(xy + wz), r[1][0] = 2(xy - wz), ...
    const float trace = r[0][0] + r[1][1] + r[2][2];
    if (trace > 0.0f) {
        float k = std::sqrt(trace + 1.0f) * 2.0f;
        q.w = 0.25f * k;
        q.x = (r[1][2] - r[2][1]) / k;
        q.y = (r[2][0] - r[0][2]) / k;
        q.z = (r[0][1] - r[1][0]) / k;
    } else if (r[0][0] > r[1][1] && r[0][0] > r[2][2]) {
        float k = std::sqrt(1.0f + r[0][0] - r[1][1] - r[2][2]) * 2.0f;
        q.w = (r[1][2] - r[2][1]) / k;
        q.x = 0.25f * k;
        q.y = (r[0][1] + r[1][0]) / k;
        q.z = (r[2][0] + r[0][2]) / k;
    } else if (r[1][1] > r[2][2]) {
        float k = std::sqrt(1.0f + r[1][1] - r[0][0] - r[2][2]) * 2.0f;
        q.w = (r[2][0] - r[0][2]) / k;
        q.x = (r[0][1] + r[1][0]) / k;
        q.y = 0.25f * k;
        q.z = (r[1][2] + r[2][1]) / k;
    } else {
        float k = std::sqrt(1.0f + r[2][2] - r[0][0] - r[1][1]) * 2.0f;
        q.w = (r[0][1] - r[1][0]) / k;
        q.x = (r[2][0] + r[0][2]) / k;
        q.y = (r[1][2] + r[2][1]) / k;
        q.z = 0.25f * k;
    }
    float len = std::sqrt(QuatDot(q, q));
    if (len > 0.0f && std::isfinite(len)) {
        q.x /= len; q.y /= len; q.z /= len; q.w /= len;
    } else {
        q = QuatIdentity();
    }
}

} // namespace xfile
