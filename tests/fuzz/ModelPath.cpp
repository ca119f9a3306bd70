// Any bytes as a model file, taken through everything the game does with a model: loaded by the
// game's model class with its own allocator on one device made once per process (offscreen
// OpenGL), then bone boxes, a change of animation, several frames of time with skinning and
// drawing (never presented), the hit test against a model that stays loaded, the shadow volume
// and the release. The loader either refuses, leaving nothing loaded, or gives complete
// containers whose indices, ranges and influences stay inside their buffers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/GameDevice.h"
#include "platform/d3dx9/XFileScene.h"
#include "platform/platform.h"
#include "render/CD3DXObject.h"
#include "render/CDirectX9.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// What one input may cost here, well inside the loader's own limits, so that every run ends
// within libFuzzer's time limit under the sanitizers: faces and vertices of all meshes; faces
// times bones for the bone boxes; for the shadow volume, whose edge search compares every pair
// of a mesh's faces, the sum of each mesh's faces squared.
constexpr size_t kFaces = 20000;
constexpr size_t kVertices = 20000;
constexpr size_t kFacesTimesBones = 20000000;
constexpr size_t kShadowPairs = 8000000;

struct Cost {
    size_t faces = 0, vertices = 0, facesTimesBones = 0, shadowPairs = 0;
};

// The cost of a scene that the reader accepts, every mesh counted once for each frame that holds it.
Cost CostOf(const xfile::XScene& scene)
{
    Cost cost;
    for (const xfile::XFrame& frame : scene.frames)
        for (uint32_t m : frame.meshes) {
            const xfile::XMesh& mesh = scene.meshes[m];
            size_t triangles = 0;
            for (uint32_t corners : mesh.faceSizes) triangles += corners - 2;
            cost.faces += triangles;
            cost.vertices += mesh.NumVertices() + mesh.faceIndices.size();
            cost.facesTimesBones += triangles * mesh.skins.size();
            cost.shadowPairs += triangles * triangles;
        }
    return cost;
}

// The device, in a scratch folder whose ".\data" is the generated tree (the shadow effect, the
// textures that models name), gone again at exit; and a character that stays loaded to be hit.
struct Surroundings {
    std::filesystem::path folder;
    std::string input;
    CD3DXObject* resident = nullptr;

    ~Surroundings()
    {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    Surroundings()
    {
        // Mesa draws on this thread: no rasteriser threads for the leak checker to stop after
        // every input, nor for several fuzzers at a time to share the processors with.
        setenv("LP_NUM_THREADS", "0", 0);
        if (!bench::OpenGameDevice("QvFuzzModel", 160, 120)) std::abort();
        folder = std::filesystem::current_path();
        input = (folder / "input.x").string();
        D3DXMATRIX view;
        const D3DXVECTOR3 eye(0.0f, 1.0f, -6.0f), at(0.0f, 1.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        CDirectX9::SafeSetTransform(D3DTS_VIEW, view);
        try {
            resident = new CD3DXObject();
            resident->Load(".\\data\\xfile\\Rina.x");
            resident->CreateBoneOBB(2);
            resident->FrameMove();
        } catch (const char* text) {
            std::fprintf(stderr, "no resident model: %s\n", text);
            delete resident;
            resident = nullptr;
        }
    }
};

std::vector<D3DXFRAME_EX*> Frames(CD3DXObject& model)
{
    std::vector<D3DXFRAME_EX*> frames;
    model.GetFrames(model.FrameRoot, frames);
    return frames;
}

template <class Index>
void CheckIndices(ID3DXMesh* mesh)
{
    void* data = nullptr;
    Check(SUCCEEDED(mesh->LockIndexBuffer(D3DLOCK_READONLY, &data)));
    const Index* indices = static_cast<const Index*>(data);
    for (size_t i = 0; i < 3 * size_t(mesh->GetNumFaces()); ++i) Check(indices[i] < mesh->GetNumVertices());
    mesh->UnlockIndexBuffer();
}

void CheckRanges(const D3DXATTRIBUTERANGE* ranges, DWORD count, ID3DXMesh* mesh)
{
    for (DWORD r = 0; r < count; ++r) {
        Check(uint64_t(ranges[r].FaceStart) + ranges[r].FaceCount <= mesh->GetNumFaces());
        if (ranges[r].FaceCount > 0)
            Check(uint64_t(ranges[r].VertexStart) + ranges[r].VertexCount <= mesh->GetNumVertices());
    }
}

// A container the loader gave: a mesh whose every index names one of its vertices, attribute
// ranges and ids inside its faces, vertices and materials, adjacency inside its faces, and skin
// influences inside the vertices of the mesh they skin.
void CheckContainer(D3DXMESHCONTAINER_EX* c)
{
    ID3DXMesh* mesh = c->MeshData.pMesh;
    if (!mesh) {
        // Only the bone boxes' containers have none.
        Check(c->pSkinInfo == nullptr && c->NumMaterials == 0);
        return;
    }
    const DWORD faces = mesh->GetNumFaces();
    Check(faces > 0 && mesh->GetNumVertices() > 0);
    if (mesh->GetOptions() & D3DXMESH_32BIT)
        CheckIndices<DWORD>(mesh);
    else
        CheckIndices<WORD>(mesh);
    DWORD count = 0;
    Check(SUCCEEDED(mesh->GetAttributeTable(nullptr, &count)));
    std::vector<D3DXATTRIBUTERANGE> table(count);
    if (count) Check(SUCCEEDED(mesh->GetAttributeTable(table.data(), &count)));
    CheckRanges(table.data(), count, mesh);
    Check(c->NumMaterials >= 1 && c->pMaterials && c->ppTextures && c->pOrigMaterials);
    DWORD* attributes = nullptr;
    Check(SUCCEEDED(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &attributes)));
    for (DWORD f = 0; f < faces; ++f) Check(attributes[f] < c->NumMaterials);
    mesh->UnlockAttributeBuffer();
    Check(c->pAdjacency != nullptr);
    for (size_t i = 0; i < 3 * size_t(faces); ++i) Check(c->pAdjacency[i] == 0xFFFFFFFFu || c->pAdjacency[i] < faces);

    if (!c->pSkinInfo) return;
    Check(c->pOrigMesh && c->pOrigMesh->GetNumVertices() == mesh->GetNumVertices());
    CheckRanges(c->pAttributeTable, c->NumAttributeGroups, mesh);
    ID3DXSkinInfo* skin = c->pSkinInfo;
    Check(c->pBoneOffsetMatrices != nullptr);
    for (DWORD b = 0; b < skin->GetNumBones(); ++b) {
        const DWORD influences = skin->GetNumBoneInfluences(b);
        std::vector<DWORD> vertices(influences);
        std::vector<float> weights(influences);
        if (influences) Check(SUCCEEDED(skin->GetBoneInfluence(b, vertices.data(), weights.data())));
        for (DWORD v : vertices) Check(v < mesh->GetNumVertices());
    }
}

void Draw(CD3DXObject& model, int frames)
{
    for (int f = 0; f < frames; ++f) {
        model.SetTime(model.GetTime() + 1.0 / 60.0);
        model.FrameMove();
        g_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000, 1.0f, 0);
        g_pDevice->BeginScene();
        model.Render();
        g_pDevice->EndScene();
    }
}

} // namespace

// The target runs in a scratch folder of its own, so libFuzzer's folders and files given by
// relative paths become absolute before it moves there.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static std::vector<std::string> kept;
    kept.reserve(static_cast<size_t>(*argc));
    for (int i = 1; i < *argc; ++i) {
        std::string arg = (*argv)[i];
        size_t path = 0;
        if (arg[0] == '-') {
            bool named = false;
            for (const char* flag : {"-artifact_prefix=", "-exact_artifact_path=", "-merge_control_file=", "-dict="})
                if (arg.rfind(flag, 0) == 0) {
                    path = std::strlen(flag);
                    named = true;
                }
            if (!named || path == arg.size()) continue;
        }
        std::string absolute = std::filesystem::absolute(arg.substr(path)).string();
        kept.push_back(arg.substr(0, path) + absolute);
        (*argv)[i] = kept.back().data();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Surroundings surroundings;

    // Inputs that the reader takes but that would cost more here than the time limit allows
    // are left out; those it refuses, or that go past the loader's limits, are refused quickly
    // and go on, to show it.
    Cost cost;
    {
        xfile::XScene scene;
        std::string error;
        if (xfile::LoadScene(data, size, scene, error)) cost = CostOf(scene);
    }
    if (cost.faces > kFaces || cost.vertices > kVertices || cost.facesTimesBones > kFacesTimesBones) return 0;

    FILE* out = fopen(surroundings.input.c_str(), "wb");
    Check(out != nullptr);
    if (size > 0) std::fwrite(data, 1, size, out);
    std::fclose(out);

    CD3DXObject model;
    try {
        model.Load(surroundings.input.c_str());
    } catch (const char* text) {
        // A refusal with the game's text, and nothing left loaded.
        Check(text != nullptr && text[0] != '\0');
        Check(model.FrameRoot == nullptr && model.AnimationController == nullptr);
        return 0;
    }
    Check(model.FrameRoot != nullptr);
    for (D3DXFRAME_EX* frame : Frames(model))
        for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer)
            CheckContainer(static_cast<D3DXMESHCONTAINER_EX*>(c));

    try {
        model.CreateBoneOBB(2);
        model.ChangeAnimation(1, 0.25f);
        Draw(model, 3);
        model.ChangeAnimation(0, 0.0f);
        Draw(model, 1);
        if (CD3DXObject* resident = surroundings.resident) {
            model.HitTest(resident);
            resident->HitTest(&model);
            const std::vector<D3DXFRAME_EX*> frames = Frames(model);
            resident->HitTestBone(&model, frames.back()->Name);
            model.HitTestBone(resident, "Frame5_Breast");
        }
        if (cost.shadowPairs <= kShadowPairs && model.GenerateShadowVolume()) {
            g_pDevice->BeginScene();
            model.RenderShadowVolume(0.0f, 10.0f, -10.0f);
            g_pDevice->EndScene();
        }
    } catch (const char* text) {
        // The game's own failures (a shadow volume it cannot make) end with its text.
        Check(text != nullptr && text[0] != '\0');
    }
    model.Release();
    Check(model.FrameRoot == nullptr && model.AnimationController == nullptr);
    return 0;
}
