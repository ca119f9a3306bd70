// Any byte string given to the .x reader is either read into a scene or refused with a
// message: never a crash, a hang or a read outside the input. A scene that is read must also
// build its meshes and animation sets without fault.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/d3dx9/XFileAnimation.h"
#include "platform/d3dx9/XFileMeshBuild.h"
#include "platform/d3dx9/XFileScene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    xfile::XScene scene;
    std::string error;
    if (!xfile::LoadScene(data, size, scene, error)) {
        if (error.empty())
            __builtin_trap();
        return 0;
    }
    for (const xfile::XMesh& mesh : scene.meshes) {
        xfile::XMeshArrays arrays;
        xfile::BuildMeshArrays(mesh, arrays);
        if (arrays.indices.size() != 3 * size_t(arrays.NumFaces()) || arrays.adjacency.size() != arrays.indices.size())
            __builtin_trap();
        for (uint32_t i : arrays.indices)
            if (i >= arrays.NumVertices())
                __builtin_trap();
        for (uint32_t a : arrays.adjacency)
            if (a != 0xFFFFFFFFu && a >= arrays.NumFaces())
                __builtin_trap();
        xfile::CopiesOfVertices(arrays, mesh.NumVertices());
    }
    for (const xfile::XAnimationSet& set : scene.animationSets) {
        xfile::CKeyframedAnimationSet* s = xfile::CreateAnimationSet(set, scene.ticksPerSecond, nullptr, nullptr);
        for (UINT a = 0; a < s->GetNumAnimations(); ++a)
            for (double t : {0.0, 0.3, 1e9}) {
                D3DXVECTOR3 sc, tr;
                D3DXQUATERNION r;
                s->GetSRT(s->GetPeriodicPosition(t), a, &sc, &r, &tr);
            }
        s->Release();
    }
    return 0;
}
