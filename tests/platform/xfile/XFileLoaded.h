// A hierarchy loaded from a file through the counting allocator, released at the end of the
// test, after which nothing the allocator made may be left.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/d3dx9/D3DX9.h"
#include "tests/platform/xfile/XFileTestAllocator.h"

namespace xfixture {

struct Loaded {
    CountingAllocator alloc;
    LPD3DXFRAME root = nullptr;
    LPD3DXANIMATIONCONTROLLER controller = nullptr;
    HRESULT hr = E_FAIL;

    explicit Loaded(const std::string& path)
    {
        hr = D3DXLoadMeshHierarchyFromX(path.c_str(), D3DXMESH_MANAGED, nullptr, &alloc, nullptr, &root, &controller);
    }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    ~Loaded()
    {
        if (controller)
            controller->Release();
        if (root)
            D3DXFrameDestroy(root, &alloc);
        EXPECT_EQ(alloc.Live(), 0);
    }
};

} // namespace xfixture
