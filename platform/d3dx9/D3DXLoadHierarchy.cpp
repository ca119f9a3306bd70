// D3DXLoadMeshHierarchyFromX: a .x file's frames, meshes, materials, skins and animation sets
// handed to the application's allocator, and the frame walks that go with it.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/d3dx9/D3DX9Tex.h"
#include "platform/d3dx9/XFileAnimation.h"
#include "platform/d3dx9/XFileMeshBuild.h"
#include "platform/d3dx9/XFileScene.h"
#include "platform/win32/HostFile.h"

namespace xfile {

namespace {

// Room the loaded controller has: the two tracks and the events a controller gets by default.
constexpr UINT kDefaultTracks = 2;
constexpr UINT kDefaultEvents = 30;

template <class T>
struct ReleaseOnExit {
    T* p = nullptr;
    ~ReleaseOnExit()
    {
        if (p)
            p->Release();
    }
};

// Reads to the end in chunks, so that nothing depends on the size a stream claims (a folder
// opens, but has none worth believing). A file longer than the reader takes is not read
// further: `tooLarge` says so.
bool ReadWholeFile(const char* path, std::vector<uint8_t>& bytes, bool& tooLarge)
{
    constexpr size_t kChunk = 1u << 16;
    // The header, the most the reader takes, and one byte to tell a longer file.
    constexpr size_t kMaxFile = 16 + XLimits::kMaxDecompressed + 1;
    tooLarge = false;
    FILE* f = QvFopen(path, "rb");
    if (!f)
        return false;
    bool ok = true;
    try {
        for (;;) {
            const size_t at = bytes.size();
            const size_t want = std::min(kChunk, kMaxFile - at);
            bytes.resize(at + want);
            const size_t got = std::fread(bytes.data() + at, 1, want, f);
            bytes.resize(at + got);
            if (bytes.size() == kMaxFile) {
                tooLarge = true;
                break;
            }
            if (got < want) {
                ok = !std::ferror(f);
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    std::fclose(f);
    return ok;
}

class HierarchyBuilder {
public:
    HierarchyBuilder(const XScene& scene, DWORD options, IDirect3DDevice9* device, ID3DXAllocateHierarchy* alloc)
        : m_scene(scene), m_options(options), m_device(device), m_alloc(alloc)
    {
    }

    // Builds frame `index` into *slot. Everything made is linked into the tree at once, so
    // that on failure the caller releases all of it with one D3DXFrameDestroy.
    HRESULT BuildFrame(uint32_t index, LPD3DXFRAME* slot)
    {
        const XFrame& xf = m_scene.frames[index];
        LPD3DXFRAME frame = nullptr;
        HRESULT hr = m_alloc->CreateFrame(xf.name.empty() ? nullptr : xf.name.c_str(), &frame);
        if (FAILED(hr))
            return hr;
        if (!frame)
            return E_FAIL;
        *slot = frame;
        std::memcpy(&frame->TransformationMatrix, xf.matrix, sizeof xf.matrix);
        frame->pMeshContainer = nullptr;
        frame->pFrameSibling = nullptr;
        frame->pFrameFirstChild = nullptr;

        LPD3DXMESHCONTAINER* containerSlot = &frame->pMeshContainer;
        for (uint32_t mesh : xf.meshes) {
            LPD3DXMESHCONTAINER container = nullptr;
            hr = BuildMeshContainer(m_scene.meshes[mesh], &container);
            if (FAILED(hr))
                return hr;
            if (container) {
                container->pNextMeshContainer = nullptr;
                *containerSlot = container;
                containerSlot = &container->pNextMeshContainer;
            }
        }

        LPD3DXFRAME* childSlot = &frame->pFrameFirstChild;
        for (uint32_t child : xf.children) {
            hr = BuildFrame(child, childSlot);
            if (*childSlot)
                childSlot = &(*childSlot)->pFrameSibling;
            if (FAILED(hr))
                return hr;
        }
        return D3D_OK;
    }

private:
    HRESULT BuildMeshContainer(const XMesh& xm, LPD3DXMESHCONTAINER* out)
    {
        XMeshArrays arrays;
        try {
            BuildMeshArrays(xm, arrays);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        // A mesh without triangles makes no container.
        if (arrays.NumFaces() == 0 || arrays.NumVertices() == 0)
            return D3D_OK;
        // The scene counted the file's vertices; splitting where normals differ makes more.
        if (!Count(m_built.containers, 1, XLimits::kMaxMeshContainers) ||
            !Count(m_built.faces, arrays.NumFaces(), XLimits::kMaxFaces) ||
            !Count(m_built.vertices, arrays.NumVertices(), XLimits::kMaxVertices))
            return D3DXERR_INVALIDDATA;

        const bool wide = arrays.NumVertices() > 0xFFFF;
        ReleaseOnExit<ID3DXMesh> mesh;
        HRESULT hr = D3DXCreateMeshFVF(arrays.NumFaces(), arrays.NumVertices(), m_options | (wide ? D3DXMESH_32BIT : 0),
                                       arrays.fvf, m_device, &mesh.p);
        if (FAILED(hr))
            return hr;
        if (FAILED(hr = FillMesh(mesh.p, arrays, wide)))
            return hr;

        ReleaseOnExit<ID3DXSkinInfo> skin;
        if (!xm.skins.empty() && FAILED(hr = BuildSkin(xm, arrays, m_built.weights, &skin.p)))
            return hr;

        const DWORD numMaterials = static_cast<DWORD>(xm.materials.size());
        std::vector<D3DXMATERIAL> materials(numMaterials);
        std::vector<D3DXEFFECTINSTANCE> effects(numMaterials);
        for (DWORD i = 0; i < numMaterials; ++i) {
            const XMaterial& xmat = xm.materials[i];
            D3DMATERIAL9& m = materials[i].MatD3D;
            m.Diffuse = D3DCOLORVALUE{xmat.diffuse[0], xmat.diffuse[1], xmat.diffuse[2], xmat.diffuse[3]};
            m.Ambient = D3DCOLORVALUE{0.0f, 0.0f, 0.0f, 0.0f};
            m.Specular = D3DCOLORVALUE{xmat.specular[0], xmat.specular[1], xmat.specular[2], 1.0f};
            m.Emissive = D3DCOLORVALUE{xmat.emissive[0], xmat.emissive[1], xmat.emissive[2], 1.0f};
            m.Power = xmat.power;
            materials[i].pTextureFilename =
                xmat.textureFilename.empty() ? nullptr : const_cast<LPSTR>(xmat.textureFilename.c_str());
            effects[i] = D3DXEFFECTINSTANCE{nullptr, 0, nullptr};
        }

        D3DXMESHDATA data;
        data.Type = D3DXMESHTYPE_MESH;
        data.pMesh = mesh.p;
        std::vector<DWORD> adjacency(arrays.adjacency.begin(), arrays.adjacency.end());
        return m_alloc->CreateMeshContainer(xm.name.empty() ? nullptr : xm.name.c_str(), &data,
                                            numMaterials ? materials.data() : nullptr,
                                            numMaterials ? effects.data() : nullptr, numMaterials, adjacency.data(),
                                            skin.p, out);
    }

    static HRESULT FillMesh(ID3DXMesh* mesh, const XMeshArrays& arrays, bool wide)
    {
        void* vb = nullptr;
        if (mesh->GetNumBytesPerVertex() != arrays.stride)
            return E_FAIL;
        HRESULT hr = mesh->LockVertexBuffer(0, &vb);
        if (FAILED(hr))
            return hr;
        std::memcpy(vb, arrays.vertices.data(), arrays.vertices.size());
        mesh->UnlockVertexBuffer();

        void* ib = nullptr;
        if (FAILED(hr = mesh->LockIndexBuffer(0, &ib)))
            return hr;
        if (wide) {
            std::memcpy(ib, arrays.indices.data(), arrays.indices.size() * sizeof(uint32_t));
        } else {
            uint16_t* p = static_cast<uint16_t*>(ib);
            for (size_t i = 0; i < arrays.indices.size(); ++i)
                p[i] = static_cast<uint16_t>(arrays.indices[i]);
        }
        mesh->UnlockIndexBuffer();

        DWORD* attributes = nullptr;
        if (FAILED(hr = mesh->LockAttributeBuffer(0, &attributes)))
            return hr;
        std::memcpy(attributes, arrays.attributes.data(), arrays.attributes.size() * sizeof(DWORD));
        mesh->UnlockAttributeBuffer();

        std::vector<D3DXATTRIBUTERANGE> table(arrays.table.size());
        for (size_t i = 0; i < table.size(); ++i) {
            const XAttributeRange& r = arrays.table[i];
            table[i] = D3DXATTRIBUTERANGE{r.attribId, r.faceStart, r.faceCount, r.vertexStart, r.vertexCount};
        }
        return mesh->SetAttributeTable(table.data(), static_cast<DWORD>(table.size()));
    }

    static bool Count(size_t& total, size_t more, size_t limit)
    {
        total += more;
        return total <= limit;
    }

    // Skin weights follow the vertices split from each file vertex, so a weight on a vertex
    // split many times counts as many weights.
    static HRESULT BuildSkin(const XMesh& xm, const XMeshArrays& arrays, size_t& builtWeights, ID3DXSkinInfo** out)
    {
        const DWORD bones = static_cast<DWORD>(xm.skins.size());
        try {
            const std::vector<std::vector<uint32_t>> copies = CopiesOfVertices(arrays, xm.NumVertices());
            size_t influences = 0;
            for (const XSkinWeights& s : xm.skins)
                for (uint32_t v : s.vertices)
                    influences += copies[v].size();
            if (!Count(builtWeights, influences, XLimits::kMaxBoneWeights))
                return D3DXERR_INVALIDDATA;
            HRESULT hr = D3DXCreateSkinInfoFVF(arrays.NumVertices(), arrays.fvf, bones, out);
            if (FAILED(hr))
                return hr;
            std::vector<DWORD> vertices;
            std::vector<float> weights;
            for (DWORD b = 0; b < bones; ++b) {
                const XSkinWeights& s = xm.skins[b];
                vertices.clear();
                weights.clear();
                for (size_t i = 0; i < s.vertices.size(); ++i)
                    for (uint32_t v : copies[s.vertices[i]]) {
                        vertices.push_back(v);
                        weights.push_back(s.weights[i]);
                    }
                D3DXMATRIX offset(s.offset);
                if (FAILED(hr = (*out)->SetBoneName(b, s.boneName.c_str())) ||
                    FAILED(hr = (*out)->SetBoneOffsetMatrix(b, &offset)) ||
                    FAILED(hr = (*out)->SetBoneInfluence(b, static_cast<DWORD>(vertices.size()), vertices.data(),
                                                         weights.data())))
                    return hr;
            }
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return D3D_OK;
    }

    const XScene& m_scene;
    DWORD m_options;
    IDirect3DDevice9* m_device;
    ID3DXAllocateHierarchy* m_alloc;
    struct Built {
        size_t containers = 0, faces = 0, vertices = 0, weights = 0;
    } m_built;
};

// Frames by name, the first in D3DXFrameFind's order winning, so that each animation finds its
// frame without a walk of the whole hierarchy.
using FrameIndex = std::unordered_map<std::string_view, LPD3DXFRAME>;

void IndexFrames(LPD3DXFRAME first, FrameIndex& index)
{
    for (LPD3DXFRAME frame = first; frame; frame = frame->pFrameSibling) {
        if (frame->Name)
            index.emplace(frame->Name, frame);
        IndexFrames(frame->pFrameFirstChild, index);
    }
}

LPD3DXFRAME FindFrame(const FrameIndex& index, const std::string& name)
{
    const auto it = index.find(name);
    return it == index.end() ? nullptr : it->second;
}

const D3DXMATRIX* RestMatrix(void* context, const std::string& name)
{
    LPD3DXFRAME f = FindFrame(*static_cast<const FrameIndex*>(context), name);
    return f ? &f->TransformationMatrix : nullptr;
}

HRESULT BuildController(const XScene& scene, LPD3DXFRAME root, LPD3DXANIMATIONCONTROLLER* out)
{
    FrameIndex frames;
    std::vector<LPD3DXFRAME> outputs;
    try {
        IndexFrames(root, frames);
        // One output per animated frame that the hierarchy has.
        std::unordered_set<LPD3DXFRAME> animated;
        for (const XAnimationSet& set : scene.animationSets)
            for (const XAnimation& a : set.animations) {
                LPD3DXFRAME f = FindFrame(frames, a.frameName);
                if (f && animated.insert(f).second)
                    outputs.push_back(f);
            }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    const UINT sets = static_cast<UINT>(scene.animationSets.size());
    CAnimationController* controller =
        new (std::nothrow) CAnimationController(static_cast<UINT>(outputs.size()), sets, kDefaultTracks, kDefaultEvents);
    if (!controller)
        return E_OUTOFMEMORY;
    ReleaseOnExit<CAnimationController> hold{controller};
    HRESULT hr;
    for (LPD3DXFRAME f : outputs)
        if (FAILED(hr = controller->RegisterOutput(f->Name, &f->TransformationMatrix)))
            return hr;
    // Set 0 is the file's last animation set.
    for (UINT i = sets; i-- > 0;) {
        ReleaseOnExit<CKeyframedAnimationSet> set{
            CreateAnimationSet(scene.animationSets[i], scene.ticksPerSecond, &RestMatrix, &frames)};
        if (!set.p)
            return E_OUTOFMEMORY;
        if (FAILED(hr = controller->RegisterSet(set.p)))
            return hr;
    }
    LPD3DXANIMATIONSET first = nullptr;
    if (SUCCEEDED(controller->GetAnimationSet(0, &first))) {
        controller->SetTrackAnimationSet(0, first);
        controller->SetTrackEnable(0, TRUE);
        first->Release();
    }
    hold.p = nullptr;
    *out = controller;
    return D3D_OK;
}

} // namespace

} // namespace xfile

HRESULT D3DXLoadMeshHierarchyFromXA(LPCSTR Filename, DWORD MeshOptions, LPDIRECT3DDEVICE9 pDevice,
                                    LPD3DXALLOCATEHIERARCHY pAlloc, LPD3DXLOADUSERDATA pUserDataLoader,
                                    LPD3DXFRAME* ppFrameHierarchy, LPD3DXANIMATIONCONTROLLER* ppAnimController)
{
    if (ppFrameHierarchy)
        *ppFrameHierarchy = nullptr;
    if (ppAnimController)
        *ppAnimController = nullptr;
    // Without a device the meshes live in plain memory (tools and tests load that way).
    if (!Filename || !pAlloc || !ppFrameHierarchy || pUserDataLoader)
        return D3DERR_INVALIDCALL;

    std::vector<uint8_t> bytes;
    bool tooLarge = false;
    if (!xfile::ReadWholeFile(Filename, bytes, tooLarge))
        return D3DERR_NOTFOUND;
    if (tooLarge) {
        std::fprintf(stderr, "D3DXLoadMeshHierarchyFromX: %s: file too large\n", Filename);
        return D3DXERR_INVALIDDATA;
    }
    xfile::XScene scene;
    std::string error;
    if (!xfile::LoadScene(bytes.data(), bytes.size(), scene, error)) {
        std::fprintf(stderr, "D3DXLoadMeshHierarchyFromX: %s: %s\n", Filename, error.c_str());
        return D3DXERR_INVALIDDATA;
    }
    // A file with neither a frame nor a mesh has no hierarchy to give.
    if (!scene.hasGeometry)
        return D3DXERR_LOADEDMESHHASNODATA;

    LPD3DXFRAME root = nullptr;
    xfile::HierarchyBuilder builder(scene, MeshOptions, pDevice, pAlloc);
    HRESULT hr;
    // Whatever ends the building half way, nothing of it stays: memory running out here, or
    // an exception from the application's allocator, which goes on to the application.
    try {
        hr = builder.BuildFrame(scene.root, &root);
        if (SUCCEEDED(hr) && ppAnimController && !scene.animationSets.empty())
            hr = xfile::BuildController(scene, root, ppAnimController);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    } catch (...) {
        if (root)
            D3DXFrameDestroy(root, pAlloc);
        throw;
    }
    if (FAILED(hr)) {
        if (root)
            D3DXFrameDestroy(root, pAlloc);
        return hr;
    }
    *ppFrameHierarchy = root;
    return D3D_OK;
}

HRESULT D3DXFrameDestroy(LPD3DXFRAME pFrameRoot, LPD3DXALLOCATEHIERARCHY pAlloc)
{
    if (!pFrameRoot || !pAlloc)
        return D3DERR_INVALIDCALL;
    // Siblings in a loop, children by recursion: the depth is that of the hierarchy.
    HRESULT result = D3D_OK;
    for (LPD3DXFRAME frame = pFrameRoot; frame;) {
        LPD3DXFRAME sibling = frame->pFrameSibling;
        for (LPD3DXMESHCONTAINER c = frame->pMeshContainer; c;) {
            LPD3DXMESHCONTAINER next = c->pNextMeshContainer;
            if (FAILED(pAlloc->DestroyMeshContainer(c)))
                result = E_FAIL;
            c = next;
        }
        if (frame->pFrameFirstChild && FAILED(D3DXFrameDestroy(frame->pFrameFirstChild, pAlloc)))
            result = E_FAIL;
        if (FAILED(pAlloc->DestroyFrame(frame)))
            result = E_FAIL;
        frame = sibling;
    }
    return result;
}

LPD3DXFRAME D3DXFrameFind(const D3DXFRAME* pFrameRoot, LPCSTR Name)
{
    if (!Name)
        return nullptr;
    for (const D3DXFRAME* frame = pFrameRoot; frame; frame = frame->pFrameSibling) {
        if (frame->Name && std::strcmp(frame->Name, Name) == 0)
            return const_cast<LPD3DXFRAME>(frame);
        if (LPD3DXFRAME found = D3DXFrameFind(frame->pFrameFirstChild, Name))
            return found;
    }
    return nullptr;
}
