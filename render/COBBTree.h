// A tree of oriented boxes, built from a mesh by splitting its triangles or assembled by hand,
// and the tree-against-tree overlap test under two transforms.
#pragma once

#include <vector>

#include "platform/platform.h"
#include "render/COBB.h"

class COBBTree {
public:
    struct Node {
        std::vector<Node*> Children; // owned, in insertion order; empty for a leaf
        COBB Box;                    // encloses everything below the node
    };

    Node* Root;

    COBBTree();
    ~COBBTree();
    COBBTree(const COBBTree&) = delete;
    COBBTree& operator=(const COBBTree&) = delete;

    // False when the mesh's indices are neither 16- nor 32-bit; nothing is built then.
    bool Build(ID3DXMesh* mesh, int depth);
    static void BuildNode(const std::vector<OBBTriangle>& triangles, int depth, Node* node);

    static bool HitTest(const COBBTree& a, const D3DXMATRIX* matA, const COBBTree& b, const D3DXMATRIX* matB);
    static bool HitTestNode(const Node* a, const D3DXMATRIX* matA, const Node* b, const D3DXMATRIX* matB);

    // Deletes every node. The root is then forgotten, so a second release or the destructor
    // does no harm.
    void Release();
    static void DeleteNode(Node* node);
};
