// Oriented boxes: the 15-axis overlap test at its exact boundaries, NaN axes, the Jacobi
// solver and the fit of boxes to triangles.
#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include "render/COBB.h"

namespace {

COBB Box(const D3DXVECTOR3& e0, const D3DXVECTOR3& e1, const D3DXVECTOR3& e2, const D3DXVECTOR3& c)
{
    COBB box;
    COBB::Set(e0, e1, e2, c, &box);
    return box;
}

COBB AxisBox(float sx, float sy, float sz, const D3DXVECTOR3& c)
{
    return Box(D3DXVECTOR3(sx, 0, 0), D3DXVECTOR3(0, sy, 0), D3DXVECTOR3(0, 0, sz), c);
}

// A box with the given full lengths along the rows of a rotation.
COBB RotatedBox(const D3DXMATRIX& r, float l0, float l1, float l2, const D3DXVECTOR3& c)
{
    return Box(D3DXVECTOR3(r._11, r._12, r._13) * l0, D3DXVECTOR3(r._21, r._22, r._23) * l1,
               D3DXVECTOR3(r._31, r._32, r._33) * l2, c);
}

// The half width of a box's shadow on a unit direction, in double precision.
double Radius(const COBB& box, const double dir[3])
{
    double r = 0;
    for (const D3DXVECTOR3& e : box.Edge) r += 0.5 * std::fabs(e.x * dir[0] + e.y * dir[1] + e.z * dir[2]);
    return r;
}

// The candidate axis number k of the test, as a unit vector.
void AxisOf(int k, const COBB& a, const COBB& b, double out[3])
{
    auto unit = [](const D3DXVECTOR3& e, double u[3]) {
        const double len = std::sqrt(double(e.x) * e.x + double(e.y) * e.y + double(e.z) * e.z);
        u[0] = e.x / len;
        u[1] = e.y / len;
        u[2] = e.z / len;
    };
    if (k < 3) return unit(a.Edge[k], out);
    if (k < 6) return unit(b.Edge[k - 3], out);
    double ua[3], ub[3];
    unit(a.Edge[(k - 6) / 3], ua);
    unit(b.Edge[(k - 6) % 3], ub);
    out[0] = ua[1] * ub[2] - ua[2] * ub[1];
    out[1] = ua[2] * ub[0] - ua[0] * ub[2];
    out[2] = ua[0] * ub[1] - ua[1] * ub[0];
    const double len = std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]);
    for (int i = 0; i < 3; ++i) out[i] /= len;
}

D3DXMATRIX RandomRotation(std::mt19937& rng)
{
    std::uniform_real_distribution<float> angle(-3.1f, 3.1f);
    D3DXMATRIX r;
    D3DXMatrixRotationYawPitchRoll(&r, angle(rng), angle(rng), angle(rng));
    return r;
}

OBBTriangle Tri(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c)
{
    OBBTriangle t;
    t.Set(a, b, c);
    return t;
}

} // namespace

TEST(COBB, BoxesWhoseFacesTouchOverlapAndTheNextFloatApartDoesNot)
{
    const COBB a = AxisBox(1, 2, 4, D3DXVECTOR3(0, 0, 0));
    // Touching along x, y and z in turn; one float further is apart.
    const struct { D3DXVECTOR3 touch; D3DXVECTOR3 apart; int axis; } cases[] = {
        {D3DXVECTOR3(1, 0, 0), D3DXVECTOR3(std::nextafter(1.0f, 2.0f), 0, 0), 0},
        {D3DXVECTOR3(0, -2, 0), D3DXVECTOR3(0, std::nextafter(-2.0f, -3.0f), 0), 1},
        {D3DXVECTOR3(0.25f, 0.5f, 4), D3DXVECTOR3(0.25f, 0.5f, std::nextafter(4.0f, 5.0f)), 2},
    };
    for (const auto& c : cases) {
        const COBB b = AxisBox(1, 2, 4, c.touch);
        EXPECT_TRUE(COBB::Intersects(a, b)) << c.axis;
        EXPECT_TRUE(COBB::Intersects(b, a)) << c.axis;
        const COBB apart = AxisBox(1, 2, 4, c.apart);
        EXPECT_EQ(c.axis, COBB::SeparatingAxis(a, apart));
        EXPECT_FALSE(COBB::Intersects(apart, a));
    }
    // One box inside the other, and the same box.
    EXPECT_TRUE(COBB::Intersects(a, AxisBox(0.1f, 0.1f, 0.1f, D3DXVECTOR3(0.2f, 0.3f, 0.4f))));
    EXPECT_TRUE(COBB::Intersects(a, a));
}

TEST(COBB, EachOfTheFifteenAxesSeparatesAtItsExactDistance)
{
    // For each axis, find box pairs whose separation, when B moves away along that axis,
    // is found by that axis' own test; the boundary offset (the last float that overlaps)
    // must be the sum of the two shadows on the axis, and the next float must separate.
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> length(0.5f, 3.0f);
    for (int axis = 0; axis < 15; ++axis) {
        int found = 0;
        for (int attempt = 0; attempt < 20000 && found < 3; ++attempt) {
            const COBB a = RotatedBox(RandomRotation(rng), length(rng), length(rng), length(rng), D3DXVECTOR3(1, 2, 3));
            const COBB b0 = RotatedBox(RandomRotation(rng), length(rng), length(rng), length(rng), D3DXVECTOR3(1, 2, 3));
            double dir[3];
            AxisOf(axis, a, b0, dir);
            const double expected = Radius(a, dir) + Radius(b0, dir);
            auto at = [&](float s) {
                COBB b = b0;
                b.Center = D3DXVECTOR3(1 + float(dir[0] * s), 2 + float(dir[1] * s), 3 + float(dir[2] * s));
                return b;
            };
            if (COBB::SeparatingAxis(a, at(float(expected) * 1.001f)) != axis) continue;
            // Bisect on the float offset for the last overlapping value.
            float lo = 0.0f, hi = float(expected) * 1.001f;
            ASSERT_TRUE(COBB::Intersects(a, at(lo)));
            while (std::nextafter(lo, hi) < hi) {
                const float mid = lo + (hi - lo) * 0.5f;
                const float m = (mid <= lo || mid >= hi) ? std::nextafter(lo, hi) : mid;
                (COBB::Intersects(a, at(m)) ? lo : hi) = m;
            }
            EXPECT_TRUE(COBB::Intersects(a, at(lo)));
            // Another axis may have separated them first; then it is that axis' case.
            if (COBB::SeparatingAxis(a, at(hi)) != axis) continue;
            // The scalar form finds the same boundary on the same axis.
            EXPECT_EQ(-1, COBB::SeparatingAxisReference(a, at(lo))) << "axis " << axis;
            EXPECT_EQ(axis, COBB::SeparatingAxisReference(a, at(hi))) << "axis " << axis;
            EXPECT_NEAR(expected, lo, 1e-4 * expected) << "axis " << axis;
            ++found;
        }
        EXPECT_EQ(3, found) << "no configuration separated first along axis " << axis;
    }
}

TEST(COBB, TheVectorFormAgreesWithTheReferenceOnEveryPair)
{
    // Random pairs, many near their touching distance, and pairs with degenerate edges.
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> length(0.0f, 3.0f), pos(-3.0f, 3.0f);
    for (int n = 0; n < 200000; ++n) {
        COBB a = RotatedBox(RandomRotation(rng), length(rng), length(rng), length(rng), D3DXVECTOR3(0, 0, 0));
        COBB b = RotatedBox(RandomRotation(rng), length(rng), length(rng), length(rng),
                            D3DXVECTOR3(pos(rng), pos(rng), pos(rng)));
        if (n % 7 == 0) a.Edge[n % 3] = D3DXVECTOR3(0, 0, 0);
        ASSERT_EQ(COBB::SeparatingAxisReference(a, b), COBB::SeparatingAxis(a, b)) << n;
    }
}

TEST(COBB, AFlatBoxSeparatesAcrossItsPlane)
{
    // No height: the zero edge takes the normal of the other two, the y axis here.
    const COBB flat = AxisBox(2, 0, 2, D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(1, COBB::SeparatingAxis(flat, AxisBox(1, 1, 1, D3DXVECTOR3(0, 100, 0))));
    EXPECT_EQ(1, COBB::SeparatingAxis(AxisBox(1, 1, 1, D3DXVECTOR3(0, 100, 0)), flat));
    // Touching the plane overlaps; the next float above does not.
    EXPECT_TRUE(COBB::Intersects(flat, AxisBox(1, 1, 1, D3DXVECTOR3(0, 0.5f, 0))));
    EXPECT_FALSE(COBB::Intersects(flat, AxisBox(1, 1, 1, D3DXVECTOR3(0, std::nextafter(0.5f, 1.0f), 0))));
    // Along x and z it separates by its own axes, as before.
    EXPECT_EQ(0, COBB::SeparatingAxis(flat, AxisBox(1, 1, 1, D3DXVECTOR3(1.6f, 0, 0))));
    EXPECT_EQ(2, COBB::SeparatingAxis(flat, AxisBox(1, 1, 1, D3DXVECTOR3(0, 0.2f, -1.6f))));

    // A turned flat box: its plane is still the one its two edges span.
    D3DXMATRIX r;
    D3DXMatrixRotationYawPitchRoll(&r, 0.3f, 0.7f, -0.2f);
    const COBB turned = RotatedBox(r, 2, 3, 0, D3DXVECTOR3(5, 5, 5));
    const D3DXVECTOR3 normal(r._31, r._32, r._33);
    EXPECT_TRUE(COBB::Intersects(turned, AxisBox(0.2f, 0.2f, 0.2f, D3DXVECTOR3(5, 5, 5) + normal * 0.1f)));
    EXPECT_FALSE(COBB::Intersects(turned, AxisBox(0.2f, 0.2f, 0.2f, D3DXVECTOR3(5, 5, 5) + normal * 0.2f)));

    // A segment and a point are boxes too.
    const COBB segment = AxisBox(0, 4, 0, D3DXVECTOR3(0, 0, 0));
    EXPECT_TRUE(COBB::Intersects(segment, AxisBox(1, 1, 1, D3DXVECTOR3(0.4f, 2.4f, 0.4f))));
    EXPECT_FALSE(COBB::Intersects(segment, AxisBox(1, 1, 1, D3DXVECTOR3(0.6f, 0, 0))));
    const COBB point = AxisBox(0, 0, 0, D3DXVECTOR3(1, 1, 1));
    EXPECT_TRUE(COBB::Intersects(point, AxisBox(2, 2, 2, D3DXVECTOR3(0, 0, 0))));
    EXPECT_FALSE(COBB::Intersects(point, AxisBox(2, 2, 2, D3DXVECTOR3(0, 0, -0.01f))));

    // Fitted to triangles that all lie at the same height, the box is just as flat.
    const std::vector<OBBTriangle> tris = {Tri(D3DXVECTOR3(0, 5, 0), D3DXVECTOR3(0, 5, 3), D3DXVECTOR3(2, 5, 0)),
                                           Tri(D3DXVECTOR3(2, 5, 0), D3DXVECTOR3(0, 5, 3), D3DXVECTOR3(2, 5, 3))};
    COBB fitted;
    COBB::FitTriangles(tris, &fitted);
    EXPECT_EQ(0.0f, D3DXVec3Length(&fitted.Edge[2]));
    EXPECT_FALSE(COBB::Intersects(fitted, AxisBox(1, 1, 1, D3DXVECTOR3(1, -50, 1.5f))));
    EXPECT_TRUE(COBB::Intersects(fitted, AxisBox(1, 1, 1, D3DXVECTOR3(1, 5.4f, 1.5f))));
    EXPECT_FALSE(COBB::Intersects(fitted, AxisBox(1, 1, 1, D3DXVECTOR3(10, 5, 1.5f))));
}

TEST(COBB, CoordinatesThatAreNotNumbersNeverSeparate)
{
    const float nan = std::nanf("");
    const COBB box = AxisBox(1, 1, 1, D3DXVECTOR3(0, 0, 0));
    EXPECT_TRUE(COBB::Intersects(box, AxisBox(1, 1, 1, D3DXVECTOR3(nan, 100, 0))));
    EXPECT_TRUE(COBB::Intersects(AxisBox(nan, nan, nan, D3DXVECTOR3(50, 50, 50)), box));
    // A flat box whose other edges are not numbers has no plane either.
    EXPECT_TRUE(COBB::Intersects(Box(D3DXVECTOR3(nan, 0, 0), D3DXVECTOR3(0, nan, 0), D3DXVECTOR3(0, 0, 0),
                                     D3DXVECTOR3(0, 0, 40)),
                                 box));
}

TEST(JacobiEigen3, ADiagonalMatrixAnswersAtOnce)
{
    float a[9] = {3, 0, 0, 0, -1, 0, 0, 0, 7};
    float v[9], d[3];
    EXPECT_TRUE(JacobiEigen3(a, v, d));
    const float id[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(id[i], v[i]);
    EXPECT_EQ(3.0f, d[0]);
    EXPECT_EQ(-1.0f, d[1]);
    EXPECT_EQ(7.0f, d[2]);
}

TEST(JacobiEigen3, FindsTheEigenvectorsOfASymmetricMatrix)
{
    const float m[9] = {4, 1, 2, 1, 3, 0.5f, 2, 0.5f, 5};
    float a[9];
    std::copy(m, m + 9, a);
    float v[9], d[3];
    EXPECT_TRUE(JacobiEigen3(a, v, d));
    for (int k = 0; k < 3; ++k) {
        // M x column k = d_k x column k.
        for (int r = 0; r < 3; ++r) {
            const float mv = m[r * 3] * v[k] + m[r * 3 + 1] * v[3 + k] + m[r * 3 + 2] * v[6 + k];
            EXPECT_NEAR(d[k] * v[r * 3 + k], mv, 1e-4f);
        }
    }
    EXPECT_NEAR(12.0f, d[0] + d[1] + d[2], 1e-4f); // the trace
    // The entries above the diagonal are used up.
    EXPECT_EQ(0.0f, a[1]);
}

TEST(COBB, FitTrianglesPutsTheWidestSpreadFirstAndKeepsEqualOnesInOrder)
{
    // The corners of an axis-aligned cube: three equal eigenvalues, so the axes stay x, y, z.
    const D3DXVECTOR3 p[8] = {D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(2, 0, 0), D3DXVECTOR3(0, 2, 0), D3DXVECTOR3(2, 2, 0),
                              D3DXVECTOR3(0, 0, 2), D3DXVECTOR3(2, 0, 2), D3DXVECTOR3(0, 2, 2), D3DXVECTOR3(2, 2, 2)};
    std::vector<OBBTriangle> cube = {Tri(p[0], p[1], p[2]), Tri(p[3], p[4], p[5]), Tri(p[6], p[7], p[0]),
                                     Tri(p[1], p[2], p[3]), Tri(p[4], p[5], p[6]), Tri(p[7], p[0], p[1]),
                                     Tri(p[2], p[3], p[4]), Tri(p[5], p[6], p[7])};
    COBB box;
    COBB::FitTriangles(cube, &box);
    EXPECT_EQ(D3DXVECTOR3(2, 0, 0), box.Edge[0]);
    EXPECT_EQ(D3DXVECTOR3(0, 2, 0), box.Edge[1]);
    EXPECT_EQ(D3DXVECTOR3(0, 0, 2), box.Edge[2]);
    EXPECT_EQ(D3DXVECTOR3(1, 1, 1), box.Center);

    // A long thin slab turned 30 degrees about y: its first edge runs along the slab.
    D3DXMATRIX r;
    D3DXMatrixRotationY(&r, D3DX_PI / 6);
    std::vector<OBBTriangle> slab;
    const float xs[2] = {-5, 5}, ys[2] = {-0.5f, 0.5f}, zs[2] = {-1, 1};
    D3DXVECTOR3 c[8];
    for (int i = 0; i < 8; ++i) {
        D3DXVECTOR3 local(xs[i & 1], ys[(i >> 1) & 1], zs[i >> 2]);
        D3DXVec3TransformCoord(&c[i], &local, &r);
        c[i] += D3DXVECTOR3(10, 0, 0);
    }
    for (int i = 0; i < 8; ++i) slab.push_back(Tri(c[i], c[(i + 1) % 8], c[(i + 3) % 8]));
    COBB::FitTriangles(slab, &box);
    D3DXVECTOR3 along(r._11, r._12, r._13);
    EXPECT_NEAR(10.0f, std::fabs(D3DXVec3Dot(&box.Edge[0], &along)), 1e-3f);
    EXPECT_NEAR(2.0f, D3DXVec3Length(&box.Edge[1]), 1e-3f);
    EXPECT_NEAR(1.0f, D3DXVec3Length(&box.Edge[2]), 1e-3f);
    EXPECT_NEAR(10.0f, box.Center.x, 1e-3f);
    // Every corner lies in the box (within rounding).
    for (const D3DXVECTOR3& q : c) {
        const D3DXVECTOR3 d = q - box.Center;
        for (const D3DXVECTOR3& e : box.Edge)
            EXPECT_LE(std::fabs(D3DXVec3Dot(&d, &e)) / D3DXVec3LengthSq(&e), 0.5f + 1e-4f);
    }
}

TEST(COBB, FitTrianglesSortsSpreadsInEveryOrder)
{
    // Axis-aligned boxes of points (the covariance is diagonal, so the eigenvalues come in
    // the order x, y, z): the widest spread becomes the first edge, whichever axis has it.
    const float lengths[6][3] = {{1, 2, 3}, {1, 3, 2}, {2, 1, 3}, {2, 3, 1}, {3, 1, 2}, {3, 2, 1}};
    for (const auto& l : lengths) {
        std::vector<OBBTriangle> corners;
        D3DXVECTOR3 p[8];
        for (int i = 0; i < 8; ++i)
            p[i] = D3DXVECTOR3((i & 1) ? l[0] : 0, (i & 2) ? l[1] : 0, (i & 4) ? l[2] : 0);
        for (int i = 0; i < 8; ++i) corners.push_back(Tri(p[i], p[(i + 1) % 8], p[(i + 2) % 8]));
        COBB box;
        COBB::FitTriangles(corners, &box);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(D3DXVec3Length(&box.Edge[k]), 3.0f - k, 1e-5f) << l[0] << " " << l[1] << " " << l[2] << " edge " << k;
        EXPECT_NEAR(std::fabs(box.Edge[0].x) + std::fabs(box.Edge[0].y) + std::fabs(box.Edge[0].z), 3.0f, 1e-5f);
    }
}

TEST(COBB, APointBoxSeparatesAlongEachCoordinateAxis)
{
    const COBB box = AxisBox(2, 2, 2, D3DXVECTOR3(0, 0, 0));
    const D3DXVECTOR3 apart[3] = {D3DXVECTOR3(1.5f, 0, 0), D3DXVECTOR3(0, 1.5f, 0), D3DXVECTOR3(0, 0, 1.5f)};
    for (int k = 0; k < 3; ++k) {
        const COBB point = AxisBox(0, 0, 0, apart[k]);
        EXPECT_EQ(COBB::SeparatingAxisReference(point, box), k);
        EXPECT_FALSE(COBB::Intersects(point, box)) << k;
        EXPECT_FALSE(COBB::Intersects(box, point)) << k;
        EXPECT_TRUE(COBB::Intersects(AxisBox(0, 0, 0, apart[k] * 0.5f), box)) << k;
    }
}

TEST(COBB, ASegmentAlongXSeparatesAcrossTheOtherBoxsFaces)
{
    // A segment along x just above a unit box: they are apart along y.
    const COBB segment = AxisBox(2, 0, 0, D3DXVECTOR3(0, 0.7f, 0));
    const COBB box = AxisBox(1, 1, 1, D3DXVECTOR3(0, 0, 0));
    EXPECT_FALSE(COBB::Intersects(segment, box));
    EXPECT_FALSE(COBB::Intersects(box, segment));
    EXPECT_GE(COBB::SeparatingAxisReference(segment, box), 0);
    EXPECT_TRUE(COBB::Intersects(AxisBox(2, 0, 0, D3DXVECTOR3(0, 0.5f, 0)), box));
}

TEST(COBB, ABoxFittedToNoPointsOverlapsEverything)
{
    COBB empty;
    COBB::FitTriangles({}, &empty);
    EXPECT_FALSE(std::isfinite(empty.Edge[0].x) && std::isfinite(empty.Edge[0].y) && std::isfinite(empty.Edge[0].z));
    EXPECT_TRUE(COBB::Intersects(empty, AxisBox(1, 1, 1, D3DXVECTOR3(1e6f, 0, 0))));
    EXPECT_TRUE(COBB::Intersects(AxisBox(1, 1, 1, D3DXVECTOR3(-1e6f, 0, 0)), empty));
}

TEST(OBBTriangle, CentroidIsTheRoundedThirdOfTheSum)
{
    // Worked out by hand in single precision: 7 and 10 times the float nearest a third
    // (0x1.555556p-2) round to one unit above 7/3 and 10/3; and with Vertex[1] and Vertex[0]
    // summed first, 1 + 1e8 loses the 1 before -1e8 comes, so y is 0 (taking Vertex[2] in
    // earlier would keep it: 1/3).
    const OBBTriangle t = Tri(D3DXVECTOR3(1, 1e8f, 2), D3DXVECTOR3(2, 1, 3), D3DXVECTOR3(4, -1e8f, 5));
    EXPECT_EQ(t.Centroid.x, 0x1.2aaaacp+1f);
    EXPECT_NE(t.Centroid.x, 7.0f / 3.0f);
    EXPECT_EQ(t.Centroid.y, 0.0f);
    EXPECT_EQ(t.Centroid.z, 0x1.aaaaacp+1f);
    EXPECT_EQ(t.Vertex[0], D3DXVECTOR3(1, 1e8f, 2));
    EXPECT_EQ(t.Vertex[2], D3DXVECTOR3(4, -1e8f, 5));
}

// ---------------------------------------------------------------------------------------------
// Against the exact answer

namespace {

// The largest gap between the boxes' shadows over the candidate axes, in double precision:
// positive when the boxes are apart by at least that much, negative when every axis sees them
// overlap by at least its size. A zero-length edge takes the normal of the other two as its
// axis, so a flat box is a rectangle; crossings of parallel edges are left out (the face axes
// cover them).
double ExactGap(const COBB& a, const COBB& b)
{
    using Vec = std::array<double, 3>;
    auto cross = [](const Vec& p, const Vec& q) {
        return Vec{p[1] * q[2] - p[2] * q[1], p[2] * q[0] - p[0] * q[2], p[0] * q[1] - p[1] * q[0]};
    };
    auto normalised = [](Vec v) {
        const double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        for (double& c : v) c = len > 0 ? c / len : 0.0;
        return v;
    };
    struct Frame {
        Vec u[3];
        double h[3];
    };
    auto frame = [&](const COBB& box) {
        Frame f;
        std::vector<int> zero, kept;
        for (int i = 0; i < 3; ++i) {
            const Vec e = {box.Edge[i].x, box.Edge[i].y, box.Edge[i].z};
            f.h[i] = 0.5 * std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
            f.u[i] = normalised(e);
            (f.h[i] > 0 ? kept : zero).push_back(i);
        }
        if (zero.size() == 3) {
            f.u[0] = {1, 0, 0};
            f.u[1] = {0, 1, 0};
            f.u[2] = {0, 0, 1};
        } else if (zero.size() == 2) {
            const Vec& u = f.u[kept[0]];
            const Vec other = std::fabs(u[0]) < 0.5 ? Vec{1, 0, 0} : Vec{0, 1, 0};
            f.u[zero[0]] = normalised(cross(u, other));
            f.u[zero[1]] = cross(u, f.u[zero[0]]);
        } else if (zero.size() == 1) {
            f.u[zero[0]] = normalised(cross(f.u[kept[0]], f.u[kept[1]]));
        }
        return f;
    };
    const Frame fa = frame(a), fb = frame(b);
    std::vector<Vec> axes(fa.u, fa.u + 3);
    axes.insert(axes.end(), fb.u, fb.u + 3);
    for (const Vec& p : fa.u)
        for (const Vec& q : fb.u) {
            const Vec n = cross(p, q);
            if (std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]) > 1e-9) axes.push_back(normalised(n));
        }
    const double t[3] = {double(b.Center.x) - a.Center.x, double(b.Center.y) - a.Center.y,
                         double(b.Center.z) - a.Center.z};
    double gap = -1e300;
    auto dot = [](const Vec& p, const double* q) { return p[0] * q[0] + p[1] * q[1] + p[2] * q[2]; };
    for (const Vec& n : axes) {
        double r = 0;
        for (int i = 0; i < 3; ++i)
            r += fa.h[i] * std::fabs(dot(n, fa.u[i].data())) + fb.h[i] * std::fabs(dot(n, fb.u[i].data()));
        gap = std::max(gap, std::fabs(dot(n, t)) - r);
    }
    return gap;
}

D3DXMATRIX Yaw(float angle)
{
    D3DXMATRIX r;
    D3DXMatrixRotationY(&r, angle);
    return r;
}

} // namespace

TEST(COBB, RandomPairsAgreeWithTheExactAnswerOutsideAMarginOfOneHundredth)
{
    // Parallel edges are the hard case: their crossing is zero up to rounding. Each family
    // of pairs is tested both ways round.
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), angle(-3.1f, 3.1f), length(0.05f, 13.0f);
    auto random = [&](const D3DXMATRIX& r, const D3DXVECTOR3& c) {
        return RotatedBox(r, length(rng), length(rng), length(rng), c);
    };
    auto near = [&](const D3DXVECTOR3& base, float reach) {
        return base + D3DXVECTOR3((unit(rng) - 0.5f) * reach, (unit(rng) - 0.5f) * reach, (unit(rng) - 0.5f) * reach);
    };
    enum Family { kSameOrientation, kSameYaw, kSameYawAndPitch, kNearlyParallel, kRandom, kFlat, kFarAway, kFamilies };
    const char* names[kFamilies] = {"same orientation", "same yaw", "same yaw and pitch", "nearly parallel", "random",
                                    "flat", "far from the origin"};
    for (int family = 0; family < kFamilies; ++family) {
        int misses = 0, falseOverlaps = 0, overlapping = 0, apart = 0;
        for (int n = 0; n < 20000; ++n) {
            const D3DXMATRIX ra = RandomRotation(rng);
            D3DXMATRIX rb = RandomRotation(rng);
            D3DXVECTOR3 origin(0, 0, 0);
            switch (family) {
            case kSameOrientation: rb = ra; break;
            case kSameYaw: rb = Yaw(angle(rng)); break;
            case kSameYawAndPitch: {
                D3DXMatrixRotationYawPitchRoll(&rb, angle(rng), angle(rng), 0.0f);
                break;
            }
            case kNearlyParallel: {
                D3DXMATRIX tilt;
                const D3DXVECTOR3 axis(unit(rng) - 0.5f, unit(rng) - 0.5f, unit(rng) - 0.5f);
                D3DXMatrixRotationAxis(&tilt, &axis, 1e-5f);
                rb = ra * tilt;
                break;
            }
            case kFarAway: rb = Yaw(angle(rng)); origin = D3DXVECTOR3(4000.0f, 150.0f, -6000.0f); break;
            default: break;
            }
            const bool shared = family == kSameYaw || family == kSameYawAndPitch || family == kFarAway;
            COBB a = random(shared ? rb : ra, origin);
            COBB b = random(rb, near(origin, 24.0f));
            if (family == kFlat) {
                a.Edge[n % 3] = D3DXVECTOR3(0, 0, 0);
                if (n % 5 == 0) b = random(ra, b.Center); // flat against a box of the same turn
                if (n % 11 == 0) a.Edge[(n + 1) % 3] = D3DXVECTOR3(0, 0, 0);
            }
            const double gap = ExactGap(a, b);
            for (int order = 0; order < 2; ++order) {
                const bool hit = order ? COBB::Intersects(b, a) : COBB::Intersects(a, b);
                if (gap < -0.01) {
                    ++overlapping;
                    misses += hit ? 0 : 1;
                } else if (gap > 0.01) {
                    ++apart;
                    falseOverlaps += hit ? 1 : 0;
                }
            }
        }
        EXPECT_EQ(0, misses) << names[family] << ": overlapping pairs reported apart, of " << overlapping;
        EXPECT_EQ(0, falseOverlaps) << names[family] << ": pairs apart reported overlapping, of " << apart;
        EXPECT_GT(overlapping, 2000) << names[family];
        EXPECT_GT(apart, 2000) << names[family];
    }
}
