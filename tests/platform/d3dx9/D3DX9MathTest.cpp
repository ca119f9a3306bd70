// D3DX maths against values worked out by hand from the documented formulas.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/d3dx9/D3DX9Math.h"

namespace {

void ExpectMatrixNear(const D3DXMATRIX& expected, const D3DXMATRIX& actual, float tol = 1e-5f)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(expected.m[r][c], actual.m[r][c], tol) << "element " << r + 1 << c + 1;
}

void ExpectVecNear(float x, float y, float z, const D3DXVECTOR3& v, float tol = 1e-5f)
{
    EXPECT_NEAR(x, v.x, tol);
    EXPECT_NEAR(y, v.y, tol);
    EXPECT_NEAR(z, v.z, tol);
}

D3DXMATRIX Identity()
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

} // namespace

TEST(D3DX9Math, TypesKeepTheirLayout)
{
    EXPECT_EQ(12u, sizeof(D3DXVECTOR3));
    EXPECT_EQ(16u, sizeof(D3DXVECTOR4));
    EXPECT_EQ(64u, sizeof(D3DXMATRIX));
    EXPECT_EQ(16u, sizeof(D3DXQUATERNION));
    EXPECT_EQ(16u, sizeof(D3DXCOLOR));
    D3DXMATRIX m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    EXPECT_EQ(7.0f, m(1, 2));
    EXPECT_EQ(7.0f, m._23);
    EXPECT_EQ(7.0f, static_cast<const float*>(m)[6]);
}

TEST(D3DX9Math, RowVectorsTransformLeftToRight)
{
    // Translate then rotate 90 degrees about z: (1,0,0) -> (3,0,0) -> (0,3,0).
    D3DXMATRIX t, r, tr;
    D3DXMatrixTranslation(&t, 2, 0, 0);
    D3DXMatrixRotationZ(&r, D3DX_PI / 2);
    D3DXMatrixMultiply(&tr, &t, &r);
    D3DXVECTOR3 p(1, 0, 0), out;
    D3DXVec3TransformCoord(&out, &p, &tr);
    ExpectVecNear(0, 3, 0, out);
    // The operator and the in-place form give the same product, even with aliasing.
    ExpectMatrixNear(tr, t * r);
    D3DXMATRIX a = t;
    D3DXMatrixMultiply(&a, &a, &r);
    ExpectMatrixNear(tr, a);
}

TEST(D3DX9Math, RotationsFollowTheDocumentedMatrices)
{
    const float s = std::sin(0.3f), c = std::cos(0.3f);
    D3DXMATRIX m;
    D3DXMatrixRotationX(&m, 0.3f);
    ExpectMatrixNear(D3DXMATRIX(1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1), m);
    D3DXMatrixRotationY(&m, 0.3f);
    ExpectMatrixNear(D3DXMATRIX(c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1), m);
    D3DXMatrixRotationZ(&m, 0.3f);
    ExpectMatrixNear(D3DXMATRIX(c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1), m);

    // A quarter turn about y takes +x to -z (left-handed, clockwise seen from above).
    D3DXMatrixRotationY(&m, D3DX_PI / 2);
    D3DXVECTOR3 out, x(1, 0, 0);
    D3DXVec3TransformNormal(&out, &x, &m);
    ExpectVecNear(0, 0, -1, out);

    // Rotation about a coordinate axis, given unnormalised, is that axis' rotation.
    D3DXMATRIX axis, ry;
    D3DXVECTOR3 up(0, 5, 0);
    D3DXMatrixRotationAxis(&axis, &up, 0.7f);
    D3DXMatrixRotationY(&ry, 0.7f);
    ExpectMatrixNear(ry, axis);
    D3DXVECTOR3 xAxis(2, 0, 0);
    D3DXMATRIX rx;
    D3DXMatrixRotationAxis(&axis, &xAxis, -1.1f);
    D3DXMatrixRotationX(&rx, -1.1f);
    ExpectMatrixNear(rx, axis);
}

TEST(D3DX9Math, YawPitchRollIsRollThenPitchThenYaw)
{
    D3DXMATRIX ypr, rz, rx, ry;
    D3DXMatrixRotationYawPitchRoll(&ypr, 0.5f, -0.25f, 1.5f);
    D3DXMatrixRotationZ(&rz, 1.5f);
    D3DXMatrixRotationX(&rx, -0.25f);
    D3DXMatrixRotationY(&ry, 0.5f);
    ExpectMatrixNear(rz * rx * ry, ypr);

    D3DXQUATERNION q;
    D3DXMATRIX fromQ;
    D3DXQuaternionRotationYawPitchRoll(&q, 0.5f, -0.25f, 1.5f);
    D3DXMatrixRotationQuaternion(&fromQ, &q);
    ExpectMatrixNear(ypr, fromQ);
}

TEST(D3DX9Math, LookAtFromTheDeviceDefaultEye)
{
    // Eye (0, 3, -3) towards the origin: z axis (0, -a, a), x axis (1, 0, 0), y axis (0, a, a).
    const float a = std::sqrt(0.5f);
    D3DXVECTOR3 eye(0, 3, -3), at(0, 0, 0), up(0, 1, 0);
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    ExpectMatrixNear(D3DXMATRIX(1, 0, 0, 0, 0, a, -a, 0, 0, a, a, 0, 0, 0, std::sqrt(18.0f), 1), view);

    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &eye, &view);
    ExpectVecNear(0, 0, 0, out);
    D3DXVec3TransformCoord(&out, &at, &view);
    ExpectVecNear(0, 0, std::sqrt(18.0f), out);
}

TEST(D3DX9Math, PerspectiveMapsNearToZeroAndFarToOne)
{
    D3DXMATRIX proj;
    D3DXMatrixPerspectiveFovLH(&proj, 0.785398185f, 640.0f / 480.0f, 1.0f, 500.0f);
    const float yScale = 1.0f / std::tan(0.785398185f / 2);
    EXPECT_NEAR(yScale, proj._22, 1e-5f);
    EXPECT_NEAR(yScale * 0.75f, proj._11, 1e-5f);
    EXPECT_NEAR(500.0f / 499.0f, proj._33, 1e-6f);
    EXPECT_EQ(1.0f, proj._34);
    EXPECT_NEAR(-500.0f / 499.0f, proj._43, 1e-6f);
    EXPECT_EQ(0.0f, proj._44);

    D3DXVECTOR3 nearPoint(0, 0, 1), farPoint(0, 0, 500), out;
    D3DXVec3TransformCoord(&out, &nearPoint, &proj);
    EXPECT_NEAR(0.0f, out.z, 1e-6f);
    D3DXVec3TransformCoord(&out, &farPoint, &proj);
    EXPECT_NEAR(1.0f, out.z, 1e-6f);
    // The top edge of the field of view lands on y = 1.
    D3DXVECTOR3 top(0, std::tan(0.785398185f / 2) * 10, 10);
    D3DXVec3TransformCoord(&out, &top, &proj);
    EXPECT_NEAR(1.0f, out.y, 1e-5f);

    D3DXMATRIX ortho;
    D3DXMatrixOrthoLH(&ortho, 640, 480, 0, 1);
    D3DXVECTOR3 corner(320, -240, 1);
    D3DXVec3TransformCoord(&out, &corner, &ortho);
    ExpectVecNear(1, -1, 1, out);
}

TEST(D3DX9Math, TransformKeepsWAndCoordDividesByIt)
{
    D3DXMATRIX m = Identity();
    m._14 = 1.0f; // w = x + 1
    m._41 = 5.0f;
    D3DXVECTOR3 v(1, 2, 3);
    D3DXVECTOR4 h;
    D3DXVec3Transform(&h, &v, &m);
    EXPECT_EQ(D3DXVECTOR4(6, 2, 3, 2), h);
    D3DXVECTOR3 c;
    D3DXVec3TransformCoord(&c, &v, &m);
    ExpectVecNear(3, 1, 1.5f, c);
    D3DXVECTOR3 n;
    D3DXVec3TransformNormal(&n, &v, &m);
    ExpectVecNear(1, 2, 3, n);
}

TEST(D3DX9Math, InverseAndDeterminant)
{
    D3DXMATRIX s, r, t;
    D3DXMatrixScaling(&s, 2, 3, 4);
    D3DXMatrixRotationYawPitchRoll(&r, 0.3f, 0.2f, 0.1f);
    D3DXMatrixTranslation(&t, 10, -20, 30);
    const D3DXMATRIX m = s * r * t;
    D3DXMATRIX inv;
    float det = 0;
    ASSERT_NE(nullptr, D3DXMatrixInverse(&inv, &det, &m));
    EXPECT_NEAR(24.0f, det, 1e-4f);
    EXPECT_NEAR(24.0f, D3DXMatrixDeterminant(&m), 1e-4f);
    ExpectMatrixNear(Identity(), m * inv, 1e-5f);
    ExpectMatrixNear(Identity(), inv * m, 1e-5f);

    // In place.
    D3DXMATRIX inPlace = m;
    D3DXMatrixInverse(&inPlace, nullptr, &inPlace);
    ExpectMatrixNear(inv, inPlace, 0.0f);

    // A singular matrix has no inverse and leaves the output alone.
    D3DXMATRIX flat;
    D3DXMatrixScaling(&flat, 1, 0, 1);
    D3DXMATRIX untouched = Identity();
    EXPECT_EQ(nullptr, D3DXMatrixInverse(&untouched, &det, &flat));
    EXPECT_EQ(0.0f, det);
    EXPECT_TRUE(D3DXMatrixIsIdentity(&untouched));
}

TEST(D3DX9Math, TransposeAndDecompose)
{
    D3DXMATRIX m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16), t;
    D3DXMatrixTranspose(&t, &m);
    EXPECT_EQ(5.0f, t._12);
    EXPECT_EQ(4.0f, t._41);
    D3DXMatrixTranspose(&m, &m);
    EXPECT_EQ(t, m);

    D3DXQUATERNION q;
    D3DXVECTOR3 axis(1, 2, 3);
    D3DXQuaternionRotationAxis(&q, &axis, 1.2f);
    D3DXMATRIX s, r, tr;
    D3DXMatrixScaling(&s, 2, 0.5f, 3);
    D3DXMatrixRotationQuaternion(&r, &q);
    D3DXMatrixTranslation(&tr, 7, 8, 9);
    const D3DXMATRIX srt = s * r * tr;
    D3DXVECTOR3 scale, pos;
    D3DXQUATERNION rot;
    ASSERT_EQ(S_OK, D3DXMatrixDecompose(&scale, &rot, &pos, &srt));
    ExpectVecNear(2, 0.5f, 3, scale);
    ExpectVecNear(7, 8, 9, pos);
    EXPECT_NEAR(std::fabs(D3DXQuaternionDot(&q, &rot)), 1.0f, 1e-5f);

    D3DXMATRIX flat;
    D3DXMatrixScaling(&flat, 1, 0, 1);
    EXPECT_EQ(D3DERR_INVALIDCALL, D3DXMatrixDecompose(&scale, &rot, &pos, &flat));

    // Affine transformation: scale, rotate about a centre, translate.
    D3DXVECTOR3 centre(1, 0, 0), move(0, 0, 5), p(2, 0, 0), out;
    D3DXQUATERNION quarter;
    D3DXVECTOR3 zAxis(0, 0, 1);
    D3DXQuaternionRotationAxis(&quarter, &zAxis, D3DX_PI / 2);
    D3DXMATRIX affine;
    D3DXMatrixAffineTransformation(&affine, 2.0f, &centre, &quarter, &move);
    D3DXVec3TransformCoord(&out, &p, &affine); // (4,0,0) about (1,0,0) -> (1,3,0), then +z 5
    ExpectVecNear(1, 3, 5, out);
}

TEST(D3DX9Math, QuaternionsComposeLikeMatrices)
{
    D3DXQUATERNION q1, q2, q12;
    D3DXVECTOR3 a1(1, 0, 0), a2(0, 1, 1);
    D3DXQuaternionRotationAxis(&q1, &a1, 0.8f);
    D3DXQuaternionRotationAxis(&q2, &a2, -0.4f);
    D3DXQuaternionMultiply(&q12, &q1, &q2);
    D3DXMATRIX m1, m2, m12;
    D3DXMatrixRotationQuaternion(&m1, &q1);
    D3DXMatrixRotationQuaternion(&m2, &q2);
    D3DXMatrixRotationQuaternion(&m12, &q12);
    ExpectMatrixNear(m1 * m2, m12);
    ExpectMatrixNear(m12, [&] { D3DXMATRIX m; D3DXQUATERNION p = q1 * q2; return *D3DXMatrixRotationQuaternion(&m, &p); }());

    // Quaternion of an axis rotation agrees with the matrix of that rotation.
    D3DXMATRIX axis;
    D3DXMatrixRotationAxis(&axis, &a2, -0.4f);
    ExpectMatrixNear(axis, m2);

    // And back from the matrix, for each branch of the extraction.
    const float angles[] = {0.1f, 2.5f, 3.1f};
    const D3DXVECTOR3 axes[] = {D3DXVECTOR3(1, 0, 0), D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(1, 1, 0)};
    for (float angle : angles) {
        for (const D3DXVECTOR3& ax : axes) {
            D3DXQUATERNION q, back;
            D3DXMATRIX m;
            D3DXQuaternionRotationAxis(&q, &ax, angle);
            D3DXMatrixRotationQuaternion(&m, &q);
            D3DXQuaternionRotationMatrix(&back, &m);
            EXPECT_NEAR(1.0f, std::fabs(D3DXQuaternionDot(&q, &back)), 1e-5f) << angle;
        }
    }

    D3DXQUATERNION inv, id;
    D3DXQuaternionInverse(&inv, &q1);
    D3DXQuaternionMultiply(&id, &q1, &inv);
    EXPECT_NEAR(1.0f, id.w, 1e-6f);
    EXPECT_NEAR(0.0f, id.x, 1e-6f);
}

TEST(D3DX9Math, SlerpTakesTheShorterArc)
{
    D3DXQUATERNION id, quarter, half, mid;
    D3DXQuaternionIdentity(&id);
    D3DXVECTOR3 y(0, 1, 0);
    D3DXQuaternionRotationAxis(&quarter, &y, D3DX_PI / 2);
    D3DXQuaternionRotationAxis(&half, &y, D3DX_PI / 4);
    D3DXQuaternionSlerp(&mid, &id, &quarter, 0.5f);
    EXPECT_NEAR(half.y, mid.y, 1e-6f);
    EXPECT_NEAR(half.w, mid.w, 1e-6f);

    // -q is the same rotation: the blend must not swing the long way round.
    const D3DXQUATERNION negated = -quarter;
    D3DXQuaternionSlerp(&mid, &id, &negated, 0.5f);
    EXPECT_NEAR(1.0f, std::fabs(D3DXQuaternionDot(&mid, &half)), 1e-6f);

    // Ends and nearly equal inputs.
    D3DXQuaternionSlerp(&mid, &id, &quarter, 1.0f);
    EXPECT_NEAR(quarter.y, mid.y, 1e-6f);
    D3DXQuaternionSlerp(&mid, &quarter, &quarter, 0.3f);
    EXPECT_NEAR(quarter.y, mid.y, 1e-6f);
    EXPECT_FALSE(std::isnan(mid.w));
}

TEST(D3DX9Math, VectorHelpers)
{
    D3DXVECTOR3 a(1, 2, 2), b(0, 1, 0), out;
    EXPECT_EQ(3.0f, D3DXVec3Length(&a));
    EXPECT_EQ(9.0f, D3DXVec3LengthSq(&a));
    EXPECT_EQ(2.0f, D3DXVec3Dot(&a, &b));
    D3DXVec3Cross(&out, &b, &a); // (1*2 - 0*2, 0*1 - 0*2, 0*2 - 1*1)
    EXPECT_EQ(D3DXVECTOR3(2, 0, -1), out);
    D3DXVec3Cross(&a, &a, &b); // aliasing: (2*0 - 2*1, 2*0 - 1*0, 1*1 - 2*0)
    EXPECT_EQ(D3DXVECTOR3(-2, 0, 1), a);
    const D3DXVECTOR3 zero(0, 0, 0);
    D3DXVec3Normalize(&out, &zero);
    EXPECT_EQ(zero, out);
    D3DXVECTOR3 v(3, 0, 4);
    D3DXVec3Normalize(&v, &v);
    ExpectVecNear(0.6f, 0, 0.8f, v);
    D3DXVECTOR3 p(0, 0, 0), q(10, 20, 30);
    D3DXVec3Lerp(&out, &p, &q, 0.25f);
    EXPECT_EQ(D3DXVECTOR3(2.5f, 5, 7.5f), out);
    EXPECT_EQ(D3DXVECTOR3(2, 4, 6), 2.0f * D3DXVECTOR3(1, 2, 3));
    EXPECT_EQ(D3DXVECTOR3(0.5f, 1, 1.5f), D3DXVECTOR3(1, 2, 3) / 2.0f);
    EXPECT_EQ(D3DXVECTOR3(-1, -2, -3), -D3DXVECTOR3(1, 2, 3));
}

TEST(D3DX9Math, PlanesFaceWhereTheirCornersRunClockwise)
{
    D3DXVECTOR3 p1(0, 2, 0), p2(0, 2, 1), p3(1, 2, 0);
    D3DXPLANE plane;
    D3DXPlaneFromPoints(&plane, &p1, &p2, &p3);
    EXPECT_NEAR(0.0f, plane.a, 1e-6f);
    EXPECT_NEAR(1.0f, plane.b, 1e-6f);
    EXPECT_NEAR(0.0f, plane.c, 1e-6f);
    EXPECT_NEAR(-2.0f, plane.d, 1e-6f);
    D3DXVECTOR3 above(5, 7, 5);
    EXPECT_NEAR(5.0f, D3DXPlaneDotCoord(&plane, &above), 1e-5f);
    EXPECT_NEAR(7.0f, D3DXPlaneDotNormal(&plane, &above), 1e-5f);

    D3DXPLANE scaled(0, 0, 4, 8), n;
    D3DXPlaneNormalize(&n, &scaled);
    EXPECT_EQ(D3DXPLANE(0, 0, 1, 2), n);
}

TEST(D3DX9Math, ColoursConvertToAndFromArgb)
{
    D3DXCOLOR c(0x80FF4000u);
    EXPECT_NEAR(1.0f, c.r, 1e-6f);
    EXPECT_NEAR(64.0f / 255.0f, c.g, 1e-6f);
    EXPECT_EQ(0.0f, c.b);
    EXPECT_NEAR(128.0f / 255.0f, c.a, 1e-6f);
    EXPECT_EQ(0x80FF4000u, static_cast<DWORD>(c));
    // Out-of-range channels clamp.
    EXPECT_EQ(0xFF00FF80u, static_cast<DWORD>(D3DXCOLOR(-1.0f, 2.0f, 0.502f, 1.5f)));
}
