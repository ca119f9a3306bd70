// D3DX maths in single precision. Every function computes into locals before writing its
// output, so an output may be one of the inputs, as D3DX allows.
#include "platform/d3dx9/D3DX9Math.h"

#include <cmath>

namespace {

void Multiply4x4(D3DXMATRIX* out, const D3DMATRIX& a, const D3DMATRIX& b)
{
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    *static_cast<D3DMATRIX*>(out) = r;
}

} // namespace

D3DXMATRIX& D3DXMATRIX::operator*=(const D3DXMATRIX& mat)
{
    Multiply4x4(this, *this, mat);
    return *this;
}

D3DXMATRIX D3DXMATRIX::operator*(const D3DXMATRIX& mat) const
{
    D3DXMATRIX r;
    Multiply4x4(&r, *this, mat);
    return r;
}

D3DXQUATERNION& D3DXQUATERNION::operator*=(const D3DXQUATERNION& q)
{
    D3DXQuaternionMultiply(this, this, &q);
    return *this;
}

D3DXQUATERNION D3DXQUATERNION::operator*(const D3DXQUATERNION& q) const
{
    D3DXQUATERNION r;
    D3DXQuaternionMultiply(&r, this, &q);
    return r;
}

// ---- vectors ----

D3DXVECTOR2* D3DXVec2Normalize(D3DXVECTOR2* pOut, const D3DXVECTOR2* pV)
{
    const FLOAT len = D3DXVec2Length(pV);
    if (len == 0.0f) {
        pOut->x = pOut->y = 0.0f;
    } else {
        const FLOAT inv = 1.0f / len;
        pOut->x = pV->x * inv;
        pOut->y = pV->y * inv;
    }
    return pOut;
}

D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV)
{
    // A zero vector has no direction: it stays zero rather than becoming NaN.
    const FLOAT len = D3DXVec3Length(pV);
    if (len == 0.0f) {
        pOut->x = pOut->y = pOut->z = 0.0f;
    } else {
        const FLOAT inv = 1.0f / len;
        const FLOAT x = pV->x * inv, y = pV->y * inv, z = pV->z * inv;
        pOut->x = x; pOut->y = y; pOut->z = z;
    }
    return pOut;
}

D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM)
{
    const FLOAT x = pV->x, y = pV->y, z = pV->z;
    const D3DXMATRIX& m = *pM;
    D3DXVECTOR4 r(x * m._11 + y * m._21 + z * m._31 + m._41,
                  x * m._12 + y * m._22 + z * m._32 + m._42,
                  x * m._13 + y * m._23 + z * m._33 + m._43,
                  x * m._14 + y * m._24 + z * m._34 + m._44);
    *pOut = r;
    return pOut;
}

D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM)
{
    D3DXVECTOR4 h;
    D3DXVec3Transform(&h, pV, pM);
    pOut->x = h.x / h.w;
    pOut->y = h.y / h.w;
    pOut->z = h.z / h.w;
    return pOut;
}

D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV, const D3DXMATRIX* pM)
{
    const FLOAT x = pV->x, y = pV->y, z = pV->z;
    const D3DXMATRIX& m = *pM;
    pOut->x = x * m._11 + y * m._21 + z * m._31;
    pOut->y = x * m._12 + y * m._22 + z * m._32;
    pOut->z = x * m._13 + y * m._23 + z * m._33;
    return pOut;
}

D3DXVECTOR3* D3DXVec3TransformCoordArray(D3DXVECTOR3* pOut, UINT OutStride, const D3DXVECTOR3* pV, UINT VStride,
                                         const D3DXMATRIX* pM, UINT n)
{
    for (UINT i = 0; i < n; ++i) {
        auto* out = reinterpret_cast<D3DXVECTOR3*>(reinterpret_cast<BYTE*>(pOut) + static_cast<size_t>(OutStride) * i);
        auto* in = reinterpret_cast<const D3DXVECTOR3*>(reinterpret_cast<const BYTE*>(pV) + static_cast<size_t>(VStride) * i);
        D3DXVec3TransformCoord(out, in, pM);
    }
    return pOut;
}

D3DXVECTOR3* D3DXVec3TransformNormalArray(D3DXVECTOR3* pOut, UINT OutStride, const D3DXVECTOR3* pV, UINT VStride,
                                          const D3DXMATRIX* pM, UINT n)
{
    for (UINT i = 0; i < n; ++i) {
        auto* out = reinterpret_cast<D3DXVECTOR3*>(reinterpret_cast<BYTE*>(pOut) + static_cast<size_t>(OutStride) * i);
        auto* in = reinterpret_cast<const D3DXVECTOR3*>(reinterpret_cast<const BYTE*>(pV) + static_cast<size_t>(VStride) * i);
        D3DXVec3TransformNormal(out, in, pM);
    }
    return pOut;
}

D3DXVECTOR4* D3DXVec4Normalize(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV)
{
    const FLOAT len = D3DXVec4Length(pV);
    if (len == 0.0f) {
        pOut->x = pOut->y = pOut->z = pOut->w = 0.0f;
    } else {
        *pOut = *pV / len;
    }
    return pOut;
}

D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* pOut, const D3DXVECTOR4* pV, const D3DXMATRIX* pM)
{
    const FLOAT x = pV->x, y = pV->y, z = pV->z, w = pV->w;
    const D3DXMATRIX& m = *pM;
    D3DXVECTOR4 r(x * m._11 + y * m._21 + z * m._31 + w * m._41,
                  x * m._12 + y * m._22 + z * m._32 + w * m._42,
                  x * m._13 + y * m._23 + z * m._33 + w * m._43,
                  x * m._14 + y * m._24 + z * m._34 + w * m._44);
    *pOut = r;
    return pOut;
}

// ---- matrices ----

namespace {

// The 2x2 minors of rows 2 and 3 (lower) and rows 0 and 1 (upper), from which the
// determinant and the adjugate follow by Laplace expansion.
struct Minors {
    FLOAT s0, s1, s2, s3, s4, s5;
    FLOAT c0, c1, c2, c3, c4, c5;
    explicit Minors(const D3DMATRIX& a)
    {
        s0 = a.m[0][0] * a.m[1][1] - a.m[1][0] * a.m[0][1];
        s1 = a.m[0][0] * a.m[1][2] - a.m[1][0] * a.m[0][2];
        s2 = a.m[0][0] * a.m[1][3] - a.m[1][0] * a.m[0][3];
        s3 = a.m[0][1] * a.m[1][2] - a.m[1][1] * a.m[0][2];
        s4 = a.m[0][1] * a.m[1][3] - a.m[1][1] * a.m[0][3];
        s5 = a.m[0][2] * a.m[1][3] - a.m[1][2] * a.m[0][3];
        c5 = a.m[2][2] * a.m[3][3] - a.m[3][2] * a.m[2][3];
        c4 = a.m[2][1] * a.m[3][3] - a.m[3][1] * a.m[2][3];
        c3 = a.m[2][1] * a.m[3][2] - a.m[3][1] * a.m[2][2];
        c2 = a.m[2][0] * a.m[3][3] - a.m[3][0] * a.m[2][3];
        c1 = a.m[2][0] * a.m[3][2] - a.m[3][0] * a.m[2][2];
        c0 = a.m[2][0] * a.m[3][1] - a.m[3][0] * a.m[2][1];
    }
    FLOAT Determinant() const { return s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0; }
};

} // namespace

FLOAT D3DXMatrixDeterminant(const D3DXMATRIX* pM)
{
    return Minors(*pM).Determinant();
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1, const D3DXMATRIX* pM2)
{
    Multiply4x4(pOut, *pM1, *pM2);
    return pOut;
}

D3DXMATRIX* D3DXMatrixMultiplyTranspose(D3DXMATRIX* pOut, const D3DXMATRIX* pM1, const D3DXMATRIX* pM2)
{
    D3DXMATRIX r;
    Multiply4x4(&r, *pM1, *pM2);
    return D3DXMatrixTranspose(pOut, &r);
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* pOut, const D3DXMATRIX* pM)
{
    const D3DMATRIX a = *pM;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            pOut->m[i][j] = a.m[j][i];
    return pOut;
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* pOut, FLOAT* pDeterminant, const D3DXMATRIX* pM)
{
    const D3DMATRIX& a = *pM;
    const Minors k(a);
    const FLOAT det = k.Determinant();
    if (pDeterminant) *pDeterminant = det;
    if (det == 0.0f || !std::isfinite(det)) return nullptr;
    const FLOAT inv = 1.0f / det;

    D3DMATRIX b;
    b.m[0][0] = (a.m[1][1] * k.c5 - a.m[1][2] * k.c4 + a.m[1][3] * k.c3) * inv;
    b.m[0][1] = (-a.m[0][1] * k.c5 + a.m[0][2] * k.c4 - a.m[0][3] * k.c3) * inv;
    b.m[0][2] = (a.m[3][1] * k.s5 - a.m[3][2] * k.s4 + a.m[3][3] * k.s3) * inv;
    b.m[0][3] = (-a.m[2][1] * k.s5 + a.m[2][2] * k.s4 - a.m[2][3] * k.s3) * inv;

    b.m[1][0] = (-a.m[1][0] * k.c5 + a.m[1][2] * k.c2 - a.m[1][3] * k.c1) * inv;
    b.m[1][1] = (a.m[0][0] * k.c5 - a.m[0][2] * k.c2 + a.m[0][3] * k.c1) * inv;
    b.m[1][2] = (-a.m[3][0] * k.s5 + a.m[3][2] * k.s2 - a.m[3][3] * k.s1) * inv;
    b.m[1][3] = (a.m[2][0] * k.s5 - a.m[2][2] * k.s2 + a.m[2][3] * k.s1) * inv;

    b.m[2][0] = (a.m[1][0] * k.c4 - a.m[1][1] * k.c2 + a.m[1][3] * k.c0) * inv;
    b.m[2][1] = (-a.m[0][0] * k.c4 + a.m[0][1] * k.c2 - a.m[0][3] * k.c0) * inv;
    b.m[2][2] = (a.m[3][0] * k.s4 - a.m[3][1] * k.s2 + a.m[3][3] * k.s0) * inv;
    b.m[2][3] = (-a.m[2][0] * k.s4 + a.m[2][1] * k.s2 - a.m[2][3] * k.s0) * inv;

    b.m[3][0] = (-a.m[1][0] * k.c3 + a.m[1][1] * k.c1 - a.m[1][2] * k.c0) * inv;
    b.m[3][1] = (a.m[0][0] * k.c3 - a.m[0][1] * k.c1 + a.m[0][2] * k.c0) * inv;
    b.m[3][2] = (-a.m[3][0] * k.s3 + a.m[3][1] * k.s1 - a.m[3][2] * k.s0) * inv;
    b.m[3][3] = (a.m[2][0] * k.s3 - a.m[2][1] * k.s1 + a.m[2][2] * k.s0) * inv;

    *static_cast<D3DMATRIX*>(pOut) = b;
    return pOut;
}

HRESULT D3DXMatrixDecompose(D3DXVECTOR3* pOutScale, D3DXQUATERNION* pOutRotation, D3DXVECTOR3* pOutTranslation,
                            const D3DXMATRIX* pM)
{
    const D3DXMATRIX a = *pM;
    D3DXVECTOR3 rows[3] = {D3DXVECTOR3(a._11, a._12, a._13), D3DXVECTOR3(a._21, a._22, a._23),
                           D3DXVECTOR3(a._31, a._32, a._33)};
    const D3DXVECTOR3 scale(D3DXVec3Length(&rows[0]), D3DXVec3Length(&rows[1]), D3DXVec3Length(&rows[2]));
    pOutTranslation->x = a._41;
    pOutTranslation->y = a._42;
    pOutTranslation->z = a._43;
    *pOutScale = scale;
    if (scale.x == 0.0f || scale.y == 0.0f || scale.z == 0.0f) return D3DERR_INVALIDCALL;

    D3DXMATRIX rot;
    D3DXMatrixIdentity(&rot);
    for (int r = 0; r < 3; ++r) {
        const FLOAT s = r == 0 ? scale.x : r == 1 ? scale.y : scale.z;
        rot.m[r][0] = rows[r].x / s;
        rot.m[r][1] = rows[r].y / s;
        rot.m[r][2] = rows[r].z / s;
    }
    D3DXQuaternionRotationMatrix(pOutRotation, &rot);
    return S_OK;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* pOut, FLOAT sx, FLOAT sy, FLOAT sz)
{
    D3DXMatrixIdentity(pOut);
    pOut->_11 = sx;
    pOut->_22 = sy;
    pOut->_33 = sz;
    return pOut;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* pOut, FLOAT x, FLOAT y, FLOAT z)
{
    D3DXMatrixIdentity(pOut);
    pOut->_41 = x;
    pOut->_42 = y;
    pOut->_43 = z;
    return pOut;
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* pOut, FLOAT Angle)
{
    const FLOAT s = std::sin(Angle), c = std::cos(Angle);
    D3DXMatrixIdentity(pOut);
    pOut->_22 = c;
    pOut->_23 = s;
    pOut->_32 = -s;
    pOut->_33 = c;
    return pOut;
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* pOut, FLOAT Angle)
{
    const FLOAT s = std::sin(Angle), c = std::cos(Angle);
    D3DXMatrixIdentity(pOut);
    pOut->_11 = c;
    pOut->_13 = -s;
    pOut->_31 = s;
    pOut->_33 = c;
    return pOut;
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* pOut, FLOAT Angle)
{
    const FLOAT s = std::sin(Angle), c = std::cos(Angle);
    D3DXMatrixIdentity(pOut);
    pOut->_11 = c;
    pOut->_12 = s;
    pOut->_21 = -s;
    pOut->_22 = c;
    return pOut;
}

D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* pOut, const D3DXVECTOR3* pV, FLOAT Angle)
{
    D3DXVECTOR3 v;
    D3DXVec3Normalize(&v, pV);
    const FLOAT s = std::sin(Angle), c = std::cos(Angle), t = 1.0f - c;
    D3DXMatrixIdentity(pOut);
    pOut->_11 = t * v.x * v.x + c;
    pOut->_12 = t * v.x * v.y + s * v.z;
    pOut->_13 = t * v.x * v.z - s * v.y;
    pOut->_21 = t * v.x * v.y - s * v.z;
    pOut->_22 = t * v.y * v.y + c;
    pOut->_23 = t * v.y * v.z + s * v.x;
    pOut->_31 = t * v.x * v.z + s * v.y;
    pOut->_32 = t * v.y * v.z - s * v.x;
    pOut->_33 = t * v.z * v.z + c;
    return pOut;
}

D3DXMATRIX* D3DXMatrixRotationQuaternion(D3DXMATRIX* pOut, const D3DXQUATERNION* pQ)
{
    const FLOAT x = pQ->x, y = pQ->y, z = pQ->z, w = pQ->w;
    D3DXMatrixIdentity(pOut);
    pOut->_11 = 1.0f - 2.0f * (y * y + z * z);
    pOut->_12 = 2.0f * (x * y + z * w);
    pOut->_13 = 2.0f * (x * z - y * w);
    pOut->_21 = 2.0f * (x * y - z * w);
    pOut->_22 = 1.0f - 2.0f * (x * x + z * z);
    pOut->_23 = 2.0f * (y * z + x * w);
    pOut->_31 = 2.0f * (x * z + y * w);
    pOut->_32 = 2.0f * (y * z - x * w);
    pOut->_33 = 1.0f - 2.0f * (x * x + y * y);
    return pOut;
}

D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* pOut, FLOAT Yaw, FLOAT Pitch, FLOAT Roll)
{
    D3DXMATRIX roll, pitch, yaw;
    D3DXMatrixRotationZ(&roll, Roll);
    D3DXMatrixRotationX(&pitch, Pitch);
    D3DXMatrixRotationY(&yaw, Yaw);
    D3DXMatrixMultiply(pOut, &roll, &pitch);
    return D3DXMatrixMultiply(pOut, pOut, &yaw);
}

D3DXMATRIX* D3DXMatrixTransformation(D3DXMATRIX* pOut, const D3DXVECTOR3* pScalingCenter,
                                     const D3DXQUATERNION* pScalingRotation, const D3DXVECTOR3* pScaling,
                                     const D3DXVECTOR3* pRotationCenter, const D3DXQUATERNION* pRotation,
                                     const D3DXVECTOR3* pTranslation)
{
    D3DXMATRIX r, t;
    D3DXMatrixIdentity(&r);
    if (pScaling) {
        // Scaling about the scaling centre, along the axes of the scaling rotation.
        D3DXMATRIX sr, srInv, s;
        if (pScalingRotation) D3DXMatrixRotationQuaternion(&sr, pScalingRotation);
        else D3DXMatrixIdentity(&sr);
        D3DXMatrixTranspose(&srInv, &sr);
        D3DXMatrixScaling(&s, pScaling->x, pScaling->y, pScaling->z);
        if (pScalingCenter) {
            D3DXMatrixTranslation(&t, -pScalingCenter->x, -pScalingCenter->y, -pScalingCenter->z);
            r *= t;
        }
        r *= srInv;
        r *= s;
        r *= sr;
        if (pScalingCenter) {
            D3DXMatrixTranslation(&t, pScalingCenter->x, pScalingCenter->y, pScalingCenter->z);
            r *= t;
        }
    }
    if (pRotation) {
        D3DXMATRIX rot;
        D3DXMatrixRotationQuaternion(&rot, pRotation);
        if (pRotationCenter) {
            D3DXMatrixTranslation(&t, -pRotationCenter->x, -pRotationCenter->y, -pRotationCenter->z);
            r *= t;
        }
        r *= rot;
        if (pRotationCenter) {
            D3DXMatrixTranslation(&t, pRotationCenter->x, pRotationCenter->y, pRotationCenter->z);
            r *= t;
        }
    }
    if (pTranslation) {
        r._41 += pTranslation->x;
        r._42 += pTranslation->y;
        r._43 += pTranslation->z;
    }
    *pOut = r;
    return pOut;
}

D3DXMATRIX* D3DXMatrixAffineTransformation(D3DXMATRIX* pOut, FLOAT Scaling, const D3DXVECTOR3* pRotationCenter,
                                           const D3DXQUATERNION* pRotation, const D3DXVECTOR3* pTranslation)
{
    const D3DXVECTOR3 s(Scaling, Scaling, Scaling);
    return D3DXMatrixTransformation(pOut, nullptr, nullptr, &s, pRotationCenter, pRotation, pTranslation);
}

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye, const D3DXVECTOR3* pAt, const D3DXVECTOR3* pUp)
{
    const D3DXVECTOR3 eye = *pEye;
    D3DXVECTOR3 xaxis, yaxis, zaxis = *pAt - eye;
    D3DXVec3Normalize(&zaxis, &zaxis);
    D3DXVec3Cross(&xaxis, pUp, &zaxis);
    D3DXVec3Normalize(&xaxis, &xaxis);
    D3DXVec3Cross(&yaxis, &zaxis, &xaxis);
    pOut->_11 = xaxis.x; pOut->_12 = yaxis.x; pOut->_13 = zaxis.x; pOut->_14 = 0.0f;
    pOut->_21 = xaxis.y; pOut->_22 = yaxis.y; pOut->_23 = zaxis.y; pOut->_24 = 0.0f;
    pOut->_31 = xaxis.z; pOut->_32 = yaxis.z; pOut->_33 = zaxis.z; pOut->_34 = 0.0f;
    pOut->_41 = -D3DXVec3Dot(&xaxis, &eye);
    pOut->_42 = -D3DXVec3Dot(&yaxis, &eye);
    pOut->_43 = -D3DXVec3Dot(&zaxis, &eye);
    pOut->_44 = 1.0f;
    return pOut;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, FLOAT fovy, FLOAT Aspect, FLOAT zn, FLOAT zf)
{
    const FLOAT yScale = 1.0f / std::tan(fovy * 0.5f);
    const FLOAT xScale = yScale / Aspect;
    D3DXMatrixIdentity(pOut);
    pOut->_11 = xScale;
    pOut->_22 = yScale;
    pOut->_33 = zf / (zf - zn);
    pOut->_34 = 1.0f;
    pOut->_43 = -zn * zf / (zf - zn);
    pOut->_44 = 0.0f;
    return pOut;
}

D3DXMATRIX* D3DXMatrixOrthoLH(D3DXMATRIX* pOut, FLOAT w, FLOAT h, FLOAT zn, FLOAT zf)
{
    D3DXMatrixIdentity(pOut);
    pOut->_11 = 2.0f / w;
    pOut->_22 = 2.0f / h;
    pOut->_33 = 1.0f / (zf - zn);
    pOut->_43 = zn / (zn - zf);
    return pOut;
}

D3DXMATRIX* D3DXMatrixOrthoOffCenterLH(D3DXMATRIX* pOut, FLOAT l, FLOAT r, FLOAT b, FLOAT t, FLOAT zn, FLOAT zf)
{
    D3DXMatrixIdentity(pOut);
    pOut->_11 = 2.0f / (r - l);
    pOut->_22 = 2.0f / (t - b);
    pOut->_33 = 1.0f / (zf - zn);
    pOut->_41 = (l + r) / (l - r);
    pOut->_42 = (t + b) / (b - t);
    pOut->_43 = zn / (zn - zf);
    return pOut;
}

// ---- quaternions ----

D3DXQUATERNION* D3DXQuaternionMultiply(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1, const D3DXQUATERNION* pQ2)
{
    // The Hamilton product pQ2 pQ1: rotating by pQ1 first, then by pQ2.
    const D3DXQUATERNION a = *pQ2, b = *pQ1;
    pOut->x = a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y;
    pOut->y = a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x;
    pOut->z = a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w;
    pOut->w = a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z;
    return pOut;
}

D3DXQUATERNION* D3DXQuaternionNormalize(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ)
{
    const FLOAT len = D3DXQuaternionLength(pQ);
    if (len == 0.0f) {
        pOut->x = pOut->y = pOut->z = pOut->w = 0.0f;
    } else {
        *pOut = *pQ / len;
    }
    return pOut;
}

D3DXQUATERNION* D3DXQuaternionInverse(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ)
{
    const FLOAT lenSq = D3DXQuaternionLengthSq(pQ);
    const D3DXQUATERNION q = *pQ;
    pOut->x = -q.x / lenSq;
    pOut->y = -q.y / lenSq;
    pOut->z = -q.z / lenSq;
    pOut->w = q.w / lenSq;
    return pOut;
}

D3DXQUATERNION* D3DXQuaternionRotationMatrix(D3DXQUATERNION* pOut, const D3DXMATRIX* pM)
{
    // Taken from the largest of w, x, y, z so that the square root stays well away from zero.
    const D3DXMATRIX& m = *pM;
    const FLOAT trace = m._11 + m._22 + m._33;
    D3DXQUATERNION q;
    if (trace > 0.0f) {
        const FLOAT s = std::sqrt(trace + 1.0f) * 2.0f;
        q.w = 0.25f * s;
        q.x = (m._23 - m._32) / s;
        q.y = (m._31 - m._13) / s;
        q.z = (m._12 - m._21) / s;
    } else if (m._11 >= m._22 && m._11 >= m._33) {
        const FLOAT s = std::sqrt(1.0f + m._11 - m._22 - m._33) * 2.0f;
        q.x = 0.25f * s;
        q.w = (m._23 - m._32) / s;
        q.y = (m._12 + m._21) / s;
        q.z = (m._13 + m._31) / s;
    } else if (m._22 >= m._33) {
        const FLOAT s = std::sqrt(1.0f + m._22 - m._11 - m._33) * 2.0f;
        q.y = 0.25f * s;
        q.w = (m._31 - m._13) / s;
        q.x = (m._12 + m._21) / s;
        q.z = (m._23 + m._32) / s;
    } else {
        const FLOAT s = std::sqrt(1.0f + m._33 - m._11 - m._22) * 2.0f;
        q.z = 0.25f * s;
        q.w = (m._12 - m._21) / s;
        q.x = (m._13 + m._31) / s;
        q.y = (m._23 + m._32) / s;
    }
    *pOut = q;
    return pOut;
}

D3DXQUATERNION* D3DXQuaternionRotationAxis(D3DXQUATERNION* pOut, const D3DXVECTOR3* pV, FLOAT Angle)
{
    D3DXVECTOR3 v;
    D3DXVec3Normalize(&v, pV);
    const FLOAT s = std::sin(Angle * 0.5f);
    pOut->x = v.x * s;
    pOut->y = v.y * s;
    pOut->z = v.z * s;
    pOut->w = std::cos(Angle * 0.5f);
    return pOut;
}

D3DXQUATERNION* D3DXQuaternionRotationYawPitchRoll(D3DXQUATERNION* pOut, FLOAT Yaw, FLOAT Pitch, FLOAT Roll)
{
    // The same order as the matrix: roll, then pitch, then yaw.
    const FLOAT sy = std::sin(Yaw * 0.5f), cy = std::cos(Yaw * 0.5f);
    const FLOAT sp = std::sin(Pitch * 0.5f), cp = std::cos(Pitch * 0.5f);
    const FLOAT sr = std::sin(Roll * 0.5f), cr = std::cos(Roll * 0.5f);
    pOut->x = cy * sp * cr + sy * cp * sr;
    pOut->y = sy * cp * cr - cy * sp * sr;
    pOut->z = cy * cp * sr - sy * sp * cr;
    pOut->w = cy * cp * cr + sy * sp * sr;
    return pOut;
}

void D3DXQuaternionToAxisAngle(const D3DXQUATERNION* pQ, D3DXVECTOR3* pAxis, FLOAT* pAngle)
{
    if (pAxis) {
        pAxis->x = pQ->x;
        pAxis->y = pQ->y;
        pAxis->z = pQ->z;
    }
    if (pAngle) *pAngle = 2.0f * std::acos(pQ->w);
}

D3DXQUATERNION* D3DXQuaternionSlerp(D3DXQUATERNION* pOut, const D3DXQUATERNION* pQ1, const D3DXQUATERNION* pQ2, FLOAT t)
{
    const D3DXQUATERNION a = *pQ1;
    D3DXQUATERNION b = *pQ2;
    FLOAT cosine = D3DXQuaternionDot(&a, &b);
    if (cosine < 0.0f) {
        b = -b;
        cosine = -cosine;
    }
    FLOAT wa, wb;
    if (1.0f - cosine > 0.001f) {
        const FLOAT theta = std::acos(cosine);
        const FLOAT invSin = 1.0f / std::sin(theta);
        wa = std::sin((1.0f - t) * theta) * invSin;
        wb = std::sin(t * theta) * invSin;
    } else {
        // Nearly the same rotation: the straight blend is as good and does not divide by ~0.
        wa = 1.0f - t;
        wb = t;
    }
    pOut->x = wa * a.x + wb * b.x;
    pOut->y = wa * a.y + wb * b.y;
    pOut->z = wa * a.z + wb * b.z;
    pOut->w = wa * a.w + wb * b.w;
    return pOut;
}

// ---- planes ----

D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* pOut, const D3DXPLANE* pP)
{
    const FLOAT len = std::sqrt(pP->a * pP->a + pP->b * pP->b + pP->c * pP->c);
    if (len == 0.0f) {
        pOut->a = pOut->b = pOut->c = pOut->d = 0.0f;
    } else {
        *pOut = *pP / len;
    }
    return pOut;
}

D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* pOut, const D3DXVECTOR3* pPoint, const D3DXVECTOR3* pNormal)
{
    const FLOAT d = -D3DXVec3Dot(pPoint, pNormal);
    pOut->a = pNormal->x;
    pOut->b = pNormal->y;
    pOut->c = pNormal->z;
    pOut->d = d;
    return pOut;
}

D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* pOut, const D3DXVECTOR3* pV1, const D3DXVECTOR3* pV2, const D3DXVECTOR3* pV3)
{
    const D3DXVECTOR3 p1 = *pV1;
    const D3DXVECTOR3 e1 = *pV2 - p1, e2 = *pV3 - p1;
    D3DXVECTOR3 n;
    D3DXVec3Cross(&n, &e1, &e2);
    D3DXVec3Normalize(&n, &n);
    return D3DXPlaneFromPointNormal(pOut, &p1, &n);
}
