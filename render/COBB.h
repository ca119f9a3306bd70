// Oriented boxes: the separating-axis overlap test and the fit of a box to triangles.
// All arithmetic is single precision; the orders of the sums are kept as they are, since the
// collision results of the game depend on them bit for bit.
#pragma once

#include <vector>

#include "platform/platform.h"

// One triangle of a box-tree build, in the mesh's (or bone's) own coordinates.
struct OBBTriangle {
    D3DXVECTOR3 Vertex[3];
    D3DXVECTOR3 Centroid;

    // Sets the corners and their centroid, (v1 + v0 + v2) x 0.33333334.
    void Set(const D3DXVECTOR3& v0, const D3DXVECTOR3& v1, const D3DXVECTOR3& v2);
};

struct COBB {
    // Edge[i]: axis i times the box's full length along it. The edges are perpendicular.
    D3DXVECTOR3 Edge[3];
    D3DXVECTOR3 Center;

    static void Set(const float* edge0, const float* edge1, const float* edge2, const float* center, COBB* out);

    // True when the boxes overlap; touching counts, and a test that meets a value that is not
    // a number does not separate. A zero-length edge takes the normal of the other two as its
    // axis, and parallel edges never separate the boxes by rounding.
    static bool Intersects(const COBB& a, const COBB& b) { return SeparatingAxis(a, b) < 0; }
    // The first axis that separates the boxes in the order of the test (0-2: A's axes, 3-5:
    // B's axes, 6-14: A's axis i crossed with B's axis j as 6 + 3i + j), or -1 when none does.
    static int SeparatingAxis(const COBB& a, const COBB& b);
    // The same test one value at a time; the vector form above agrees with it bit for bit.
    static int SeparatingAxisReference(const COBB& a, const COBB& b);

    // The box along the eigenvectors of the corners' covariance, widest axis first.
    static void FitTriangles(const std::vector<OBBTriangle>& triangles, COBB* out);
};

// Cyclic Jacobi eigen solver for a symmetric 3x3 matrix (row-major; the entries above the
// diagonal are destroyed). Eigenvector k is column k of v, with eigenvalue d[k]. True when the
// off-diagonal sum reached exactly 0, false after 50 sweeps.
bool JacobiEigen3(float a[9], float v[9], float d[3]);
