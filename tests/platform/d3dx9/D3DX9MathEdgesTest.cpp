// D3DX maths at the edges the everyday tests leave out: every function answers its output,
// inverses of matrices with no zero entry, quaternions from matrices in each of their four
// cases, scaling along turned axes, off-centre orthographic projection and zero vectors.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "platform/d3dx9/D3DX9Math.h"

namespace {

void ExpectNearMatrix(const D3DXMATRIX& expected, const D3DXMATRIX& actual, float tol)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(expected.m[r][c], actual.m[r][c], tol) << "element " << r + 1 << c + 1;
}

D3DXMATRIX Identity()
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

} // namespace

TEST(D3DX9MathEdges, EveryFunctionAnswersItsOutput)
{
    D3DXVECTOR2 v2;
    D3DXVECTOR3 v3, p(1, 2, 3), n(0, 1, 0), vs[2] = {p, n};
    D3DXVECTOR4 v4, q4(1, 2, 3, 4);
    D3DXMATRIX m, a = Identity();
    D3DXQUATERNION q, unit(0, 0, 0, 1);
    D3DXPLANE plane, pl(0, 2, 0, 4);
    const D3DXVECTOR2 in2(3, 4);
    EXPECT_EQ(D3DXVec2Normalize(&v2, &in2), &v2);
    EXPECT_EQ(D3DXVec3Normalize(&v3, &p), &v3);
    EXPECT_EQ(D3DXVec3Transform(&v4, &p, &a), &v4);
    EXPECT_EQ(D3DXVec3TransformCoord(&v3, &p, &a), &v3);
    EXPECT_EQ(D3DXVec3TransformNormal(&v3, &p, &a), &v3);
    EXPECT_EQ(D3DXVec3TransformCoordArray(vs, sizeof(D3DXVECTOR3), vs, sizeof(D3DXVECTOR3), &a, 2), vs);
    EXPECT_EQ(D3DXVec3TransformNormalArray(vs, sizeof(D3DXVECTOR3), vs, sizeof(D3DXVECTOR3), &a, 2), vs);
    EXPECT_EQ(D3DXVec4Normalize(&v4, &q4), &v4);
    EXPECT_EQ(D3DXVec4Transform(&v4, &q4, &a), &v4);
    EXPECT_EQ(D3DXMatrixMultiply(&m, &a, &a), &m);
    EXPECT_EQ(D3DXMatrixMultiplyTranspose(&m, &a, &a), &m);
    EXPECT_EQ(D3DXMatrixTranspose(&m, &a), &m);
    EXPECT_EQ(D3DXMatrixInverse(&m, nullptr, &a), &m);
    EXPECT_EQ(D3DXMatrixScaling(&m, 1, 2, 3), &m);
    EXPECT_EQ(D3DXMatrixTranslation(&m, 1, 2, 3), &m);
    EXPECT_EQ(D3DXMatrixRotationX(&m, 1), &m);
    EXPECT_EQ(D3DXMatrixRotationY(&m, 1), &m);
    EXPECT_EQ(D3DXMatrixRotationZ(&m, 1), &m);
    EXPECT_EQ(D3DXMatrixRotationAxis(&m, &n, 1), &m);
    EXPECT_EQ(D3DXMatrixRotationQuaternion(&m, &unit), &m);
    EXPECT_EQ(D3DXMatrixRotationYawPitchRoll(&m, 1, 2, 3), &m);
    EXPECT_EQ(D3DXMatrixTransformation(&m, &p, &unit, &p, &p, &unit, &p), &m);
    EXPECT_EQ(D3DXMatrixAffineTransformation(&m, 2, &p, &unit, &p), &m);
    const D3DXVECTOR3 eye(0, 0, -5), at(0, 0, 0);
    EXPECT_EQ(D3DXMatrixLookAtLH(&m, &eye, &at, &n), &m);
    EXPECT_EQ(D3DXMatrixPerspectiveFovLH(&m, 1, 1, 1, 10), &m);
    EXPECT_EQ(D3DXMatrixOrthoLH(&m, 2, 2, 0, 1), &m);
    EXPECT_EQ(D3DXMatrixOrthoOffCenterLH(&m, 0, 2, 0, 2, 0, 1), &m);
    EXPECT_EQ(D3DXQuaternionMultiply(&q, &unit, &unit), &q);
    EXPECT_EQ(D3DXQuaternionNormalize(&q, &unit), &q);
    EXPECT_EQ(D3DXQuaternionInverse(&q, &unit), &q);
    EXPECT_EQ(D3DXQuaternionRotationMatrix(&q, &a), &q);
    EXPECT_EQ(D3DXQuaternionRotationAxis(&q, &n, 1), &q);
    EXPECT_EQ(D3DXQuaternionRotationYawPitchRoll(&q, 1, 2, 3), &q);
    EXPECT_EQ(D3DXQuaternionSlerp(&q, &unit, &unit, 0.5f), &q);
    EXPECT_EQ(D3DXPlaneNormalize(&plane, &pl), &plane);
    EXPECT_EQ(D3DXPlaneFromPointNormal(&plane, &p, &n), &plane);
    const D3DXVECTOR3 p2(1, 0, 0), p3(0, 0, 1);
    EXPECT_EQ(D3DXPlaneFromPoints(&plane, &p, &p2, &p3), &plane);
}

TEST(D3DX9MathEdges, InverseOfAMatrixWithNoZeroEntry)
{
    // L U with unit triangular factors (determinant 1), so the inverse has whole entries,
    // worked out by hand.
    const D3DXMATRIX m(1, 2, 3, 4, 2, 5, 1, 14, 3, 10, -10, 29, 5, 16, -8, 8);
    const D3DXMATRIX expected(2264, -1776, 568, -83, -789, 619, -198, 29, -191, 150, -48, 7, -28, 22, -7, 1);
    D3DXMATRIX inv;
    float det = 0;
    ASSERT_EQ(D3DXMatrixInverse(&inv, &det, &m), &inv);
    EXPECT_NEAR(det, 1.0f, 1e-4f);
    EXPECT_NEAR(D3DXMatrixDeterminant(&m), 1.0f, 1e-4f);
    ExpectNearMatrix(expected, inv, 1e-2f);

    // And many general matrices: the product with the inverse is the identity both ways.
    std::mt19937 rng(24);
    std::uniform_real_distribution<float> entry(-2.0f, 2.0f);
    for (int k = 0; k < 200; ++k) {
        D3DXMATRIX g;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                g.m[r][c] = entry(rng) + (r == c ? 5.0f : 0.0f);
        ASSERT_EQ(D3DXMatrixInverse(&inv, &det, &g), &inv);
        EXPECT_NEAR(det, D3DXMatrixDeterminant(&g), std::fabs(det) * 1e-5f);
        ExpectNearMatrix(Identity(), g * inv, 1e-5f);
        ExpectNearMatrix(Identity(), inv * g, 1e-5f);
        if (HasFailure())
            break;
    }
}

TEST(D3DX9MathEdges, QuaternionsFromMatricesInEachCase)
{
    // A positive trace, and half turns about x, y and z, where x, y or z is the largest part;
    // then turns about tilted axes near a half turn, each back to its own quaternion.
    const D3DXVECTOR3 axes[] = {D3DXVECTOR3(1, 0, 0), D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(0, 0, 1),
                                D3DXVECTOR3(0.9f, 0.3f, 0.2f), D3DXVECTOR3(0.2f, 0.9f, 0.3f), D3DXVECTOR3(0.3f, 0.2f, 0.9f),
                                D3DXVECTOR3(-0.5f, 0.6f, -0.7f)};
    for (const D3DXVECTOR3& raw : axes)
        for (float angle : {0.5f, 2.8f, 3.14159265f}) {
            D3DXVECTOR3 axis;
            D3DXVec3Normalize(&axis, &raw);
            D3DXQUATERNION q, back;
            D3DXQuaternionRotationAxis(&q, &axis, angle);
            D3DXMATRIX m;
            D3DXMatrixRotationQuaternion(&m, &q);
            D3DXQuaternionRotationMatrix(&back, &m);
            const float sign = (back.x * q.x + back.y * q.y + back.z * q.z + back.w * q.w) < 0 ? -1.0f : 1.0f;
            EXPECT_NEAR(back.x * sign, q.x, 1e-5f) << raw.x << " " << raw.y << " " << raw.z << " " << angle;
            EXPECT_NEAR(back.y * sign, q.y, 1e-5f) << raw.x << " " << raw.y << " " << raw.z << " " << angle;
            EXPECT_NEAR(back.z * sign, q.z, 1e-5f) << raw.x << " " << raw.y << " " << raw.z << " " << angle;
            EXPECT_NEAR(back.w * sign, q.w, 1e-5f) << raw.x << " " << raw.y << " " << raw.z << " " << angle;
        }
}

TEST(D3DX9MathEdges, ScalingAlongTurnedAxesAboutACentre)
{
    // The scaling rotation turns x onto y: a scaling of 2 in x stretches along y, about the
    // centre (0, 1, 0): (0, 2, 0) goes to (0, 3, 0); (1, 1, 0) stays.
    D3DXQUATERNION quarter;
    const D3DXVECTOR3 z(0, 0, 1), centre(0, 1, 0), scaling(2, 1, 1);
    D3DXQuaternionRotationAxis(&quarter, &z, 3.14159265f / 2);
    D3DXMATRIX m;
    D3DXMatrixTransformation(&m, &centre, &quarter, &scaling, nullptr, nullptr, nullptr);
    D3DXVECTOR3 out;
    const D3DXVECTOR3 up(0, 2, 0), side(1, 1, 0);
    D3DXVec3TransformCoord(&out, &up, &m);
    EXPECT_NEAR(out.x, 0, 1e-5f);
    EXPECT_NEAR(out.y, 3, 1e-5f);
    EXPECT_NEAR(out.z, 0, 1e-5f);
    D3DXVec3TransformCoord(&out, &side, &m);
    EXPECT_NEAR(out.x, 1, 1e-5f);
    EXPECT_NEAR(out.y, 1, 1e-5f);
}

TEST(D3DX9MathEdges, OffCentreOrthographicProjection)
{
    // 640 x 480 with y down, depth 1 to 5, worked out from the documented matrix.
    D3DXMATRIX m;
    D3DXMatrixOrthoOffCenterLH(&m, 0, 640, 480, 0, 1, 5);
    const D3DXMATRIX expected(2.0f / 640, 0, 0, 0, 0, -2.0f / 480, 0, 0, 0, 0, 0.25f, 0, -1, 1, -0.25f, 1);
    ExpectNearMatrix(expected, m, 1e-7f);
    D3DXVECTOR3 corner(640, 480, 5), out;
    D3DXVec3TransformCoord(&out, &corner, &m);
    EXPECT_NEAR(out.x, 1, 1e-6f);
    EXPECT_NEAR(out.y, -1, 1e-6f);
    EXPECT_NEAR(out.z, 1, 1e-6f);
}

TEST(D3DX9MathEdges, ZeroVectorsNormaliseToZero)
{
    const D3DXVECTOR4 v(0, 3, 0, 4), zero(0, 0, 0, 0);
    D3DXVECTOR4 out(9, 9, 9, 9);
    D3DXVec4Normalize(&out, &v);
    EXPECT_EQ(out, D3DXVECTOR4(0, 0.6f, 0, 0.8f));
    D3DXVec4Normalize(&out, &zero);
    EXPECT_EQ(out, zero);
    const D3DXPLANE flat(0, 0, 0, 5);
    D3DXPLANE plane(9, 9, 9, 9);
    D3DXPlaneNormalize(&plane, &flat);
    EXPECT_EQ(plane, D3DXPLANE(0, 0, 0, 0));
    const D3DXVECTOR2 none(0, 0);
    D3DXVECTOR2 two(9, 9);
    D3DXVec2Normalize(&two, &none);
    EXPECT_EQ(two, none);
}

TEST(D3DX9MathEdges, PlanesTakeEveryComponentOfTheirNormal)
{
    // Through (1, 2, 3) with the normal (2, -3, 6): d = -(2 - 6 + 18) = -14.
    const D3DXVECTOR3 point(1, 2, 3), normal(2, -3, 6);
    D3DXPLANE plane;
    D3DXPlaneFromPointNormal(&plane, &point, &normal);
    EXPECT_EQ(plane, D3DXPLANE(2, -3, 6, -14));
    // Normalised by the normal's length 7.
    D3DXPLANE unit;
    D3DXPlaneNormalize(&unit, &plane);
    EXPECT_NEAR(unit.a, 2.0f / 7, 1e-6f);
    EXPECT_NEAR(unit.b, -3.0f / 7, 1e-6f);
    EXPECT_NEAR(unit.c, 6.0f / 7, 1e-6f);
    EXPECT_NEAR(unit.d, -2.0f, 1e-6f);
}


TEST(D3DX9MathEdges, FourComponentVectorsUseEveryEntry)
{
    // (1, 2, 3, 4) times the matrix whose rows are 1-4, 5-8, 9-12, 13-16: worked out by hand.
    const D3DXMATRIX m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    const D3DXVECTOR4 v(1, 2, 3, 4);
    D3DXVECTOR4 out;
    D3DXVec4Transform(&out, &v, &m);
    EXPECT_EQ(out, D3DXVECTOR4(90, 100, 110, 120));
}

TEST(D3DX9MathEdges, DecomposingAFlatMatrixAndInvertingALongQuaternion)
{
    D3DXMATRIX flat;
    D3DXMatrixScaling(&flat, 1, 2, 0);
    D3DXVECTOR3 s, t;
    D3DXQUATERNION r;
    EXPECT_EQ(D3DXMatrixDecompose(&s, &r, &t, &flat), D3DERR_INVALIDCALL);
    // The inverse of (1, 2, 3, 4) is its conjugate over its squared length 30.
    const D3DXQUATERNION q(1, 2, 3, 4);
    D3DXQUATERNION inv;
    D3DXQuaternionInverse(&inv, &q);
    EXPECT_NEAR(inv.x, -1.0f / 30, 1e-7f);
    EXPECT_NEAR(inv.y, -2.0f / 30, 1e-7f);
    EXPECT_NEAR(inv.z, -3.0f / 30, 1e-7f);
    EXPECT_NEAR(inv.w, 4.0f / 30, 1e-7f);
    // A plane through three far-apart points still has a unit normal.
    const D3DXVECTOR3 p1(0, 0, 5), p2(10, 0, 5), p3(0, 10, 5);
    D3DXPLANE plane;
    D3DXPlaneFromPoints(&plane, &p1, &p2, &p3);
    EXPECT_NEAR(std::fabs(plane.c), 1.0f, 1e-6f);
    EXPECT_NEAR(std::fabs(plane.d), 5.0f, 1e-6f);
}
