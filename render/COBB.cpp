#include "render/COBB.h"

#include <cfloat>
#include <cmath>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

void OBBTriangle::Set(const D3DXVECTOR3& v0, const D3DXVECTOR3& v1, const D3DXVECTOR3& v2)
{
    Vertex[0] = v0;
    Vertex[1] = v1;
    Vertex[2] = v2;
    const float third = 0.33333334f;
    Centroid.x = ((v1.x + v0.x) + v2.x) * third;
    Centroid.y = ((v1.y + v0.y) + v2.y) * third;
    Centroid.z = ((v1.z + v0.z) + v2.z) * third;
}

void COBB::Set(const float* edge0, const float* edge1, const float* edge2, const float* center, COBB* out)
{
    out->Edge[0] = D3DXVECTOR3(edge0);
    out->Edge[1] = D3DXVECTOR3(edge1);
    out->Edge[2] = D3DXVECTOR3(edge2);
    out->Center = D3DXVECTOR3(center);
}

namespace {

inline float Dot3(const D3DXVECTOR3& a, const D3DXVECTOR3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

inline D3DXVECTOR3 Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b)
{
    return D3DXVECTOR3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

inline D3DXVECTOR3 Unit(const D3DXVECTOR3& v)
{
    const float inv = 1.0f / std::sqrt(Dot3(v, v));
    return D3DXVECTOR3(v.x * inv, v.y * inv, v.z * inv);
}

// A zero-length edge has no direction of its own: it takes the normal of the box's other two
// edges, so that a flat box still separates across its plane. A box with two such edges (a
// segment) takes any perpendicular pair, and a point the coordinate axes.
void CompleteFlatAxes(D3DXVECTOR3 u[3], const float len[3])
{
    int zero[3], kept[3], zeros = 0, keeps = 0;
    for (int i = 0; i < 3; ++i) {
        if (len[i] == 0.0f)
            zero[zeros++] = i;
        else
            kept[keeps++] = i;
    }
    if (zeros == 1) {
        u[zero[0]] = Unit(Cross(u[kept[0]], u[kept[1]]));
    } else if (zeros == 2) {
        const D3DXVECTOR3& along = u[kept[0]];
        const D3DXVECTOR3 other = std::fabs(along.x) < 0.5f ? D3DXVECTOR3(1, 0, 0) : D3DXVECTOR3(0, 1, 0);
        u[zero[0]] = Unit(Cross(along, other));
        u[zero[1]] = Cross(along, u[zero[0]]);
    } else if (zeros == 3) {
        u[0] = D3DXVECTOR3(1, 0, 0);
        u[1] = D3DXVECTOR3(0, 1, 0);
        u[2] = D3DXVECTOR3(0, 0, 1);
    }
}

// Unit axes and half lengths of a box. An edge that is not a number gives an axis that is not
// a number, which never separates.
inline void Axes(const COBB& box, D3DXVECTOR3 u[3], float h[3])
{
    float len[3];
    for (int i = 0; i < 3; ++i) {
        const D3DXVECTOR3& e = box.Edge[i];
        len[i] = std::sqrt(e.x * e.x + e.y * e.y + e.z * e.z);
        const float inv = 1.0f / len[i];
        u[i] = D3DXVECTOR3(e.x * inv, e.y * inv, e.z * inv);
        h[i] = 0.5f * len[i];
    }
    if (len[0] == 0.0f || len[1] == 0.0f || len[2] == 0.0f)
        CompleteFlatAxes(u, len);
}

// Added to each |R| entry of the edge-crossing tests: the crossing of two parallel edges is
// zero up to rounding, and without it rounding would separate boxes that clearly overlap.
const float kParallelTolerance = 1e-6f;

} // namespace

int COBB::SeparatingAxisReference(const COBB& a, const COBB& b)
{
    D3DXVECTOR3 ua[3], ub[3];
    float ha[3], hb[3];
    Axes(a, ua, ha);
    Axes(b, ub, hb);

    // R[j][i]: B's axis j in A's frame; t: the centre offset in A's frame.
    float R[3][3], absR[3][3];
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            R[j][i] = Dot3(ub[j], ua[i]);
            absR[j][i] = std::fabs(R[j][i]);
        }
    const D3DXVECTOR3 offset = b.Center - a.Center;
    float t[3];
    for (int i = 0; i < 3; ++i) t[i] = Dot3(offset, ua[i]);

    // Each test separates only when its left side is strictly greater, so touching boxes
    // overlap and a NaN never separates.
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(t[i]) > ha[i] + hb[0] * absR[0][i] + hb[1] * absR[1][i] + hb[2] * absR[2][i]) return i;
    }
    for (int j = 0; j < 3; ++j) {
        if (std::fabs(t[0] * R[j][0] + t[1] * R[j][1] + t[2] * R[j][2]) >
            ha[0] * absR[j][0] + ha[1] * absR[j][1] + ha[2] * absR[j][2] + hb[j])
            return 3 + j;
    }
    for (int i = 0; i < 3; ++i) {
        const int i1 = (i + 1) % 3, i2 = (i + 2) % 3;
        for (int j = 0; j < 3; ++j) {
            const int j1 = (j + 1) % 3, j2 = (j + 2) % 3;
            const float e = kParallelTolerance;
            if (std::fabs(t[i2] * R[j][i1] - t[i1] * R[j][i2]) > ha[i1] * (absR[j][i2] + e) + ha[i2] * (absR[j][i1] + e) +
                                                                   hb[j1] * (absR[j2][i] + e) + hb[j2] * (absR[j1][i] + e))
                return 6 + 3 * i + j;
        }
    }
    return -1;
}

#ifdef __SSE2__

namespace {

// Lanes 0-2 of a vector hold the values for axes (or rows) 0-2; lane 3 is padding whose
// comparisons are masked off. Every lane does exactly the scalar operations in the scalar
// order (separate multiplies and adds, correctly rounded sqrt and division), so the answers
// are the same bit for bit.
inline __m128 Abs(__m128 v) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), v); }
inline __m128 Splat(__m128 v, int lane)
{
    switch (lane) {
    case 0: return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 0, 0, 0));
    case 1: return _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1));
    default: return _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 2, 2, 2));
    }
}
// (v1, v2, v0, -) and (v2, v0, v1, -).
inline __m128 Rot1(__m128 v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 1, 0, 2)); }
inline __m128 Rot1Left(__m128 v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 0, 2, 1)); }
inline int FirstLane(__m128 mask)
{
    const int bits = _mm_movemask_ps(mask) & 7;
    return bits ? __builtin_ctz(static_cast<unsigned>(bits)) : -1;
}

// Unit axes (as x, y, z component vectors over the three edges) and half lengths.
inline void Axes(const COBB& box, __m128& ux, __m128& uy, __m128& uz, __m128& half)
{
    const __m128 x = _mm_setr_ps(box.Edge[0].x, box.Edge[1].x, box.Edge[2].x, 0.0f);
    const __m128 y = _mm_setr_ps(box.Edge[0].y, box.Edge[1].y, box.Edge[2].y, 0.0f);
    const __m128 z = _mm_setr_ps(box.Edge[0].z, box.Edge[1].z, box.Edge[2].z, 0.0f);
    const __m128 len = _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(x, x), _mm_mul_ps(y, y)), _mm_mul_ps(z, z)));
    if (_mm_movemask_ps(_mm_cmpeq_ps(len, _mm_setzero_ps())) & 7) {
        // A flat box is rare: its axes come from the scalar form.
        D3DXVECTOR3 u[3];
        float h[3];
        Axes(box, u, h);
        ux = _mm_setr_ps(u[0].x, u[1].x, u[2].x, 0.0f);
        uy = _mm_setr_ps(u[0].y, u[1].y, u[2].y, 0.0f);
        uz = _mm_setr_ps(u[0].z, u[1].z, u[2].z, 0.0f);
        half = _mm_setr_ps(h[0], h[1], h[2], 0.0f);
        return;
    }
    const __m128 inv = _mm_div_ps(_mm_set1_ps(1.0f), len);
    ux = _mm_mul_ps(x, inv);
    uy = _mm_mul_ps(y, inv);
    uz = _mm_mul_ps(z, inv);
    half = _mm_mul_ps(_mm_set1_ps(0.5f), len);
}

// Dot of each lane's vector with one fixed vector (given as three splats).
inline __m128 Dot(__m128 x, __m128 y, __m128 z, __m128 sx, __m128 sy, __m128 sz)
{
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, sx), _mm_mul_ps(y, sy)), _mm_mul_ps(z, sz));
}

} // namespace

int COBB::SeparatingAxis(const COBB& a, const COBB& b)
{
    __m128 ax, ay, az, ha, bx, by, bz, hb;
    Axes(a, ax, ay, az, ha);
    Axes(b, bx, by, bz, hb);

    // col[i], lane j: R[j][i] = uB_j . uA_i.
    __m128 col[3], absCol[3];
    for (int i = 0; i < 3; ++i) {
        col[i] = Dot(bx, by, bz, Splat(ax, i), Splat(ay, i), Splat(az, i));
        absCol[i] = Abs(col[i]);
    }
    // row[j], lane i: the same R[j][i].
    __m128 absRow[3];
    for (int j = 0; j < 3; ++j) absRow[j] = Abs(Dot(ax, ay, az, Splat(bx, j), Splat(by, j), Splat(bz, j)));
    const D3DXVECTOR3 offset = b.Center - a.Center;
    const __m128 t = Dot(ax, ay, az, _mm_set1_ps(offset.x), _mm_set1_ps(offset.y), _mm_set1_ps(offset.z));

    // A's axes, lane i.
    __m128 rhs = _mm_add_ps(ha, _mm_mul_ps(Splat(hb, 0), absRow[0]));
    rhs = _mm_add_ps(rhs, _mm_mul_ps(Splat(hb, 1), absRow[1]));
    rhs = _mm_add_ps(rhs, _mm_mul_ps(Splat(hb, 2), absRow[2]));
    int lane = FirstLane(_mm_cmpgt_ps(Abs(t), rhs));
    if (lane >= 0) return lane;

    // B's axes, lane j.
    const __m128 t0 = Splat(t, 0), t1 = Splat(t, 1), t2 = Splat(t, 2);
    __m128 lhs = _mm_add_ps(_mm_add_ps(_mm_mul_ps(t0, col[0]), _mm_mul_ps(t1, col[1])), _mm_mul_ps(t2, col[2]));
    rhs = _mm_add_ps(_mm_mul_ps(Splat(ha, 0), absCol[0]), _mm_mul_ps(Splat(ha, 1), absCol[1]));
    rhs = _mm_add_ps(_mm_add_ps(rhs, _mm_mul_ps(Splat(ha, 2), absCol[2])), hb);
    lane = FirstLane(_mm_cmpgt_ps(Abs(lhs), rhs));
    if (lane >= 0) return 3 + lane;

    // uA_i x uB_j, lane j: hb_j1 and hb_j2 with |R[j2][i]| and |R[j1][i]| are rotations.
    const __m128 hb1 = Rot1Left(hb), hb2 = Rot1(hb);
    const __m128 tv[3] = {t0, t1, t2};
    const __m128 tolerance = _mm_set1_ps(kParallelTolerance);
    __m128 loose[3];
    for (int i = 0; i < 3; ++i) loose[i] = _mm_add_ps(absCol[i], tolerance);
    for (int i = 0; i < 3; ++i) {
        const int i1 = (i + 1) % 3, i2 = (i + 2) % 3;
        lhs = _mm_sub_ps(_mm_mul_ps(tv[i2], col[i1]), _mm_mul_ps(tv[i1], col[i2]));
        rhs = _mm_add_ps(_mm_mul_ps(Splat(ha, i1), loose[i2]), _mm_mul_ps(Splat(ha, i2), loose[i1]));
        rhs = _mm_add_ps(rhs, _mm_mul_ps(hb1, Rot1(loose[i])));
        rhs = _mm_add_ps(rhs, _mm_mul_ps(hb2, Rot1Left(loose[i])));
        lane = FirstLane(_mm_cmpgt_ps(Abs(lhs), rhs));
        if (lane >= 0) return 6 + 3 * i + lane;
    }
    return -1;
}

#else

int COBB::SeparatingAxis(const COBB& a, const COBB& b)
{
    return SeparatingAxisReference(a, b);
}

#endif

bool JacobiEigen3(float a[9], float v[9], float d[3])
{
    auto A = [a](int r, int c) -> float& { return a[r * 3 + c]; };
    auto V = [v](int r, int c) -> float& { return v[r * 3 + c]; };
    auto rotate = [](float& x, float& y, float s, float tau) {
        const float g = x, h = y;
        x = g - s * (h + g * tau);
        y = h + s * (g - h * tau);
    };

    float b[3], z[3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) V(r, c) = r == c ? 1.0f : 0.0f;
        b[r] = d[r] = A(r, r);
        z[r] = 0.0f;
    }

    static const int pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
    for (int sweep = 0; sweep < 50; ++sweep) {
        const float sum = std::fabs(A(0, 1)) + std::fabs(A(0, 2)) + std::fabs(A(1, 2));
        if (sum == 0.0f) return true;
        const float threshold = sweep < 3 ? sum * 0.022222223f : 0.0f;

        for (const auto& pq : pairs) {
            const int p = pq[0], q = pq[1];
            const float g = 100.0f * std::fabs(A(p, q));
            if (sweep >= 4 && std::fabs(d[p]) + g == std::fabs(d[p]) && std::fabs(d[q]) + g == std::fabs(d[q])) {
                A(p, q) = 0.0f;
            } else if (std::fabs(A(p, q)) > threshold) {
                float h = d[q] - d[p];
                float t;
                if (std::fabs(h) + g == std::fabs(h)) {
                    t = A(p, q) / h;
                } else {
                    const float theta = 0.5f * h / A(p, q);
                    t = 1.0f / (std::fabs(theta) + std::sqrt(theta * theta + 1.0f));
                    if (theta < 0.0f) t = -t;
                }
                const float c = 1.0f / std::sqrt(t * t + 1.0f);
                const float s = t * c;
                const float tau = s / (1.0f + c);
                h = t * A(p, q);
                z[p] -= h;
                z[q] += h;
                d[p] -= h;
                d[q] += h;
                A(p, q) = 0.0f;
                for (int j = 0; j < p; ++j) rotate(A(j, p), A(j, q), s, tau);
                for (int j = p + 1; j < q; ++j) rotate(A(p, j), A(j, q), s, tau);
                for (int j = q + 1; j < 3; ++j) rotate(A(p, j), A(q, j), s, tau);
                for (int j = 0; j < 3; ++j) rotate(V(j, p), V(j, q), s, tau);
            }
        }
        for (int i = 0; i < 3; ++i) {
            b[i] += z[i];
            d[i] = b[i];
            z[i] = 0.0f;
        }
    }
    return false;
}

void COBB::FitTriangles(const std::vector<OBBTriangle>& triangles, COBB* out)
{
    // Every corner of every triangle counts, shared or not.
    const size_t n = triangles.size() * 3;
    const float f = 1.0f / static_cast<float>(n);

    D3DXVECTOR3 m(0.0f, 0.0f, 0.0f);
    for (const OBBTriangle& tri : triangles)
        for (const D3DXVECTOR3& p : tri.Vertex) {
            m.x += p.x;
            m.y += p.y;
            m.z += p.z;
        }
    m.x *= f;
    m.y *= f;
    m.z *= f;

    float s00 = 0, s01 = 0, s02 = 0, s11 = 0, s12 = 0, s22 = 0;
    for (const OBBTriangle& tri : triangles)
        for (const D3DXVECTOR3& p : tri.Vertex) {
            const float dx = p.x - m.x, dy = p.y - m.y, dz = p.z - m.z;
            s00 += dx * dx;
            s01 += dx * dy;
            s02 += dx * dz;
            s11 += dy * dy;
            s12 += dy * dz;
            s22 += dz * dz;
        }
    float cov[9] = {f * s00, f * s01, f * s02, f * s01, f * s11, f * s12, f * s02, f * s12, f * s22};

    float v[9], d[3];
    JacobiEigen3(cov, v, d);

    // Largest eigenvalue first; equal ones keep their order.
    int index[3] = {0, 1, 2};
    float value[3] = {d[0], d[1], d[2]};
    auto order = [&](int i, int j) {
        if (value[i] < value[j]) {
            std::swap(value[i], value[j]);
            std::swap(index[i], index[j]);
        }
    };
    order(1, 2);
    order(0, 1);
    order(1, 2);

    D3DXVECTOR3 axis[3];
    float lo[3], hi[3];
    for (int k = 0; k < 3; ++k) {
        axis[k] = D3DXVECTOR3(v[0 * 3 + index[k]], v[1 * 3 + index[k]], v[2 * 3 + index[k]]);
        lo[k] = FLT_MAX;
        hi[k] = -FLT_MAX;
        for (const OBBTriangle& tri : triangles)
            for (const D3DXVECTOR3& p : tri.Vertex) {
                const float proj = Dot3(p, axis[k]);
                if (proj < lo[k]) lo[k] = proj;
                if (proj > hi[k]) hi[k] = proj;
            }
    }

    out->Center = axis[0] * ((lo[0] + hi[0]) * 0.5f) + axis[1] * ((lo[1] + hi[1]) * 0.5f) +
                  axis[2] * ((lo[2] + hi[2]) * 0.5f);
    for (int k = 0; k < 3; ++k) out->Edge[k] = axis[k] * (hi[k] - lo[k]);
}
