// The arithmetic of mesh optimisation, apart from any buffer: attribute ranges, adjacency
// and the new face and vertex orders.
#pragma once

#include <vector>

#include "platform/d3dx9/D3DX9Mesh.h"

// One range per run of consecutive faces with the same attribute, with the span of the
// vertices that the run uses.
std::vector<D3DXATTRIBUTERANGE> BuildAttributeRanges(const std::vector<DWORD>& attributes,
                                                     const std::vector<DWORD>& indices);

// Three neighbours per face, one per edge (corner e to corner e+1), 0xFFFFFFFF where none.
// Vertices whose coordinates all differ by at most epsilon count as one point.
std::vector<DWORD> ComputeAdjacency(const std::vector<D3DXVECTOR3>& positions, const std::vector<DWORD>& indices,
                                    float epsilon);

struct MeshOrder {
    std::vector<DWORD> faceOrder;      // new face -> old face
    std::vector<DWORD> vertexOrder;    // new vertex -> old vertex (shorter when compacted)
    std::vector<DWORD> oldToNewVertex; // old vertex -> new vertex (0xFFFFFFFF when dropped)
    bool identityVertices = true;
    bool attributeSorted = false;
};

MeshOrder ComputeMeshOrder(DWORD flags, const std::vector<DWORD>& attributes, const std::vector<DWORD>& indices,
                           DWORD numVertices);
