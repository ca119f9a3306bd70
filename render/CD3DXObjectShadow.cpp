// Stencil shadow volumes of a model. Each mesh becomes, once, a mesh of its own faces plus a
// pair of zero-area triangles on every edge that two faces share; the shared effect leaves the
// vertices of faces turned towards the light where they are and pushes the others away, so the
// edge pairs on the silhouette open into the sides of the volume. Drawing it counts, per
// pixel, the front faces (down) and back faces (up) that lie in front of the scene.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "render/CD3DXObject.h"
#include "render/CDirectX9.h"

namespace {

constexpr DWORD kShadowFvf = D3DFVF_XYZ | D3DFVF_NORMAL;
constexpr UINT kShadowStride = 24;
// Shadow meshes index their vertices with 16 bits, one vertex per index.
constexpr DWORD kMaxShadowVertices = 0xFFFF;

struct ShadowVertex {
    D3DXVECTOR3 Position;
    D3DXVECTOR3 Normal; // the face's normal, not normalised
};

inline D3DXMESHCONTAINER_EX* Ex(D3DXMESHCONTAINER* container)
{
    return static_cast<D3DXMESHCONTAINER_EX*>(container);
}

template <class T>
void ReleaseInterface(T*& p)
{
    if (p) {
        p->Release();
        p = nullptr;
    }
}

void ForgetShadow(D3DXMESHCONTAINER_EX* container)
{
    ReleaseInterface(container->pShadowMesh);
    ReleaseInterface(container->pSkinnedShadowMesh);
    ReleaseInterface(container->pShadowSkinInfo);
    container->NumShadowTriangles = 0;
}

// Offset of the first element of a usage (index 0) in a declaration; -1 when there is none.
int ElementOffset(const D3DVERTEXELEMENT9* declaration, BYTE usage)
{
    for (UINT i = 0; i < MAX_FVF_DECL_SIZE && declaration[i].Stream != 0xFF; ++i)
        if (declaration[i].Usage == usage && declaration[i].UsageIndex == 0)
            return declaration[i].Offset;
    return -1;
}

// The faces and edge pairs of one mesh, before they become a mesh of their own.
struct ShadowGeometry {
    std::vector<ShadowVertex> Vertices; // 12F, zero (a point) where no triangle was written
    std::vector<DWORD> Sources;         // the model vertex of each, ~0 where unset
};

inline bool SamePosition(const D3DXVECTOR3& a, const D3DXVECTOR3& b)
{
    const float epsilon = 1e-10f;
    return std::fabs(a.x - b.x) < epsilon && std::fabs(a.y - b.y) < epsilon && std::fabs(a.z - b.z) < epsilon;
}

// Reads the clone's faces and finds the shared edges; false when its buffers cannot be read.
bool BuildGeometry(ID3DXMesh* clone, ShadowGeometry& geometry)
{
    const DWORD faces = clone->GetNumFaces();
    const DWORD vertexCount = clone->GetNumVertices();
    const DWORD stride = clone->GetNumBytesPerVertex();
    void* vertexData = nullptr;
    void* indexData = nullptr;
    if (FAILED(clone->LockVertexBuffer(D3DLOCK_READONLY, &vertexData)))
        return false;
    if (FAILED(clone->LockIndexBuffer(D3DLOCK_READONLY, &indexData))) {
        clone->UnlockVertexBuffer();
        return false;
    }
    const BYTE* vertices = static_cast<const BYTE*>(vertexData);
    const WORD* indices = static_cast<const WORD*>(indexData);

    // Corner positions face by face, and each face's normal.
    std::vector<D3DXVECTOR3> corners(static_cast<size_t>(faces) * 3);
    std::vector<DWORD> cornerSources(static_cast<size_t>(faces) * 3);
    std::vector<D3DXVECTOR3> normals(faces);
    bool sound = true;
    for (size_t k = 0; k < corners.size(); ++k) {
        const DWORD index = indices[k];
        if (index >= vertexCount) {
            sound = false; // an index past the vertices: nothing of this mesh is trusted
            break;
        }
        std::memcpy(&corners[k], vertices + static_cast<size_t>(index) * stride, sizeof(D3DXVECTOR3));
        cornerSources[k] = index;
    }
    clone->UnlockIndexBuffer();
    clone->UnlockVertexBuffer();
    if (!sound)
        return false;

    const size_t capacity = static_cast<size_t>(faces) * 4;
    geometry.Vertices.assign(capacity * 3, ShadowVertex{D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 0)});
    geometry.Sources.assign(capacity * 3, ~static_cast<DWORD>(0));
    auto emit = [&](size_t slot, size_t corner, const D3DXVECTOR3& normal) {
        geometry.Vertices[slot].Position = corners[corner];
        geometry.Vertices[slot].Normal = normal;
        geometry.Sources[slot] = cornerSources[corner];
    };

    for (DWORD f = 0; f < faces; ++f) {
        const D3DXVECTOR3& p0 = corners[f * 3];
        const D3DXVECTOR3& p1 = corners[f * 3 + 1];
        const D3DXVECTOR3& p2 = corners[f * 3 + 2];
        const D3DXVECTOR3 e0 = p1 - p0, e1 = p2 - p1;
        D3DXVec3Cross(&normals[f], &e0, &e1);
        for (size_t c = 0; c < 3; ++c)
            emit(f * 3 + c, f * 3 + c, normals[f]);
    }

    // Every pair of faces, every corner of the first against every corner of the second.
    size_t t = faces;
    for (DWORD a = 0; a < faces; ++a) {
        const D3DXVECTOR3* ca = &corners[static_cast<size_t>(a) * 3];
        for (DWORD b = a + 1; b < faces; ++b) {
            const D3DXVECTOR3* cb = &corners[static_cast<size_t>(b) * 3];
            int pairs = 0;
            int firstA = 0, firstB = 0, secondA = 0, secondB = 0;
            for (int i = 0; i < 3; ++i) {
                for (int j = 0; j < 3; ++j) {
                    if (!SamePosition(ca[i], cb[j]))
                        continue;
                    if (++pairs == 3)
                        throw "Failed CD3DXObject::GenerateShadowVolume It seems that there is the vertices of the "
                              "three same positions.";
                    if (pairs == 1) {
                        firstA = i;
                        firstB = j;
                    } else {
                        secondA = i;
                        secondB = j;
                    }
                }
            }
            if (pairs != 2 || t + 2 > capacity)
                continue;
            // The edge runs as face a winds: first -> second.
            if (secondA - firstA != 1) {
                std::swap(firstA, secondA);
                std::swap(firstB, secondB);
            }
            const size_t ia = static_cast<size_t>(a) * 3, ib = static_cast<size_t>(b) * 3;
            emit(t * 3, ia + static_cast<size_t>(secondA), normals[a]);
            emit(t * 3 + 1, ia + static_cast<size_t>(firstA), normals[a]);
            emit(t * 3 + 2, ib + static_cast<size_t>(firstB), normals[b]);
            emit(t * 3 + 3, ia + static_cast<size_t>(secondA), normals[a]);
            emit(t * 3 + 4, ib + static_cast<size_t>(firstB), normals[b]);
            emit(t * 3 + 5, ib + static_cast<size_t>(secondB), normals[b]);
            t += 2;
        }
    }
    return true;
}

// Binds each shadow vertex to the bones and weights of the model vertex it was made from.
void BuildShadowSkin(D3DXMESHCONTAINER_EX* container, const std::vector<DWORD>& sources)
{
    ID3DXSkinInfo* skin = container->pSkinInfo;
    const DWORD bones = skin->GetNumBones();
    if (FAILED(D3DXCreateSkinInfoFVF(static_cast<DWORD>(sources.size()), kShadowFvf, bones,
                                     &container->pShadowSkinInfo)))
        throw "Failed CD3DXObject::GenerateShadowVolume D3DXCreateSkinInfoFVF";
    // The shadow vertices of each model vertex, in ascending order.
    std::vector<std::vector<DWORD>> copies;
    for (size_t s = 0; s < sources.size(); ++s) {
        if (sources[s] == ~static_cast<DWORD>(0))
            continue;
        if (sources[s] >= copies.size())
            copies.resize(static_cast<size_t>(sources[s]) + 1);
        copies[sources[s]].push_back(static_cast<DWORD>(s));
    }
    std::vector<DWORD> vertices, shadowVertices;
    std::vector<float> weights, shadowWeights;
    for (DWORD b = 0; b < bones; ++b) {
        const DWORD count = skin->GetNumBoneInfluences(b);
        vertices.assign(count, 0);
        weights.assign(count, 0.0f);
        shadowVertices.clear();
        shadowWeights.clear();
        if (count && SUCCEEDED(skin->GetBoneInfluence(b, vertices.data(), weights.data()))) {
            for (DWORD i = 0; i < count; ++i) {
                if (vertices[i] >= copies.size())
                    continue;
                for (DWORD s : copies[vertices[i]]) {
                    shadowVertices.push_back(s);
                    shadowWeights.push_back(weights[i]);
                }
            }
        }
        ID3DXSkinInfo* shadow = container->pShadowSkinInfo;
        shadow->SetBoneInfluence(b, static_cast<DWORD>(shadowVertices.size()), shadowVertices.data(),
                                 shadowWeights.data());
        if (const D3DXMATRIX* offset = skin->GetBoneOffsetMatrix(b))
            shadow->SetBoneOffsetMatrix(b, offset);
        shadow->SetBoneName(b, skin->GetBoneName(b));
    }
}

// One container's volume; false on the failures that leave the model without it.
bool GenerateContainerShadow(D3DXMESHCONTAINER_EX* container)
{
    ForgetShadow(container);
    ID3DXMesh* mesh = container->MeshData.pMesh;
    // 16-bit indices count every shadow vertex: a mesh that needs 32-bit indices, or whose
    // volume needs more vertices than 16 bits can name, cannot have one.
    if (mesh->GetOptions() & D3DXMESH_32BIT)
        throw "Failed CD3DXObject::GenerateShadowVolume The mesh has 32-bit indices.";
    const DWORD faces = mesh->GetNumFaces();
    if (static_cast<uint64_t>(faces) * 12 > kMaxShadowVertices)
        throw "Failed CD3DXObject::GenerateShadowVolume The shadow volume needs more than 65535 vertices.";

    ID3DXMesh* clone = nullptr;
    if (FAILED(mesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM, kShadowFvf, g_pDevice, &clone)))
        return false;
    ShadowGeometry geometry;
    bool built;
    try {
        built = BuildGeometry(clone, geometry);
    } catch (...) {
        clone->Release();
        throw;
    }
    clone->Release();
    if (!built)
        return false;

    const DWORD vertexCount = faces * 12;
    if (FAILED(D3DXCreateMeshFVF(faces * 4, vertexCount, D3DXMESH_MANAGED, kShadowFvf, g_pDevice,
                                 &container->pShadowMesh)))
        throw "Failed CD3DXObject::GenerateShadowVolume D3DXCreateMeshFVF";
    container->NumShadowTriangles = faces * 4;

    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
    if (FAILED(mesh->GetDeclaration(declaration)))
        throw "Failed CD3DXObject::GenerateShadowVolume GetDeclaration";
    if (ElementOffset(declaration, D3DDECLUSAGE_POSITION) < 0) {
        ForgetShadow(container);
        return false;
    }
    if (FAILED(container->pShadowMesh->GetDeclaration(declaration)))
        throw "Failed CD3DXObject::GenerateShadowVolume GetDeclaration";
    const int positionOffset = ElementOffset(declaration, D3DDECLUSAGE_POSITION);
    const int normalOffset = ElementOffset(declaration, D3DDECLUSAGE_NORMAL);
    if (positionOffset < 0 || normalOffset < 0) {
        ForgetShadow(container);
        return false;
    }

    void* indexData = nullptr;
    void* vertexData = nullptr;
    if (FAILED(container->pShadowMesh->LockIndexBuffer(0, &indexData))) {
        ForgetShadow(container);
        return false;
    }
    if (FAILED(container->pShadowMesh->LockVertexBuffer(0, &vertexData))) {
        container->pShadowMesh->UnlockIndexBuffer();
        ForgetShadow(container);
        return false;
    }
    BYTE* out = static_cast<BYTE*>(vertexData);
    WORD* indices = static_cast<WORD*>(indexData);
    for (DWORD v = 0; v < vertexCount; ++v) {
        std::memcpy(out + static_cast<size_t>(v) * kShadowStride + positionOffset, &geometry.Vertices[v].Position,
                    sizeof(D3DXVECTOR3));
        std::memcpy(out + static_cast<size_t>(v) * kShadowStride + normalOffset, &geometry.Vertices[v].Normal,
                    sizeof(D3DXVECTOR3));
        indices[v] = static_cast<WORD>(v);
    }
    container->pShadowMesh->UnlockVertexBuffer();
    container->pShadowMesh->UnlockIndexBuffer();

    if (container->pSkinInfo) {
        if (FAILED(container->pShadowMesh->CloneMeshFVF(D3DXMESH_SYSTEMMEM, kShadowFvf, g_pDevice,
                                                       &container->pSkinnedShadowMesh))) {
            ForgetShadow(container);
            return false;
        }
        BuildShadowSkin(container, geometry.Sources);
    }
    return true;
}

void DrawTwoPasses(const void* vertices, UINT triangles)
{
    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    CDirectX9::SafeSetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_DECR);
    g_pDevice->DrawPrimitiveUP(D3DPT_TRIANGLELIST, triangles, vertices, kShadowStride);
    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    CDirectX9::SafeSetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
    g_pDevice->DrawPrimitiveUP(D3DPT_TRIANGLELIST, triangles, vertices, kShadowStride);
}

void SetEffectParameters(const D3DXMATRIX& wvp, const D3DXVECTOR4& light)
{
    if (FAILED(CD3DXObject::ShadowEffect->SetMatrix(CD3DXObject::ShadowEffectWVP, &wvp)))
        throw "Failed CD3DXObject::RenderShadowVolume SetMatrix";
    if (FAILED(CD3DXObject::ShadowEffect->SetVector(CD3DXObject::ShadowEffectLightPos, &light)))
        throw "Failed CD3DXObject::RenderShadowVolume SetVector";
    if (FAILED(CD3DXObject::ShadowEffect->CommitChanges()))
        throw "Failed CD3DXObject::RenderShadowVolume CommitChanges";
}

} // namespace

bool CD3DXObject::GenerateShadowVolume()
{
    if (!FrameRoot)
        return false;
    std::vector<D3DXFRAME_EX*> frames;
    GetFrames(FrameRoot, frames);
    for (D3DXFRAME_EX* frame : frames) {
        for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer) {
            if (!c->MeshData.pMesh)
                continue;
            if (!GenerateContainerShadow(Ex(c)))
                return false;
        }
    }
    return true;
}

bool CD3DXObject::RenderShadowVolume(float x, float y, float z)
{
    if (!FrameRoot || !ShadowEffect)
        return false;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    CDirectX9::SafeSetTransform(D3DTS_WORLD, identity);
    CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    CDirectX9::SafeSetRenderState(D3DRS_COLORWRITEENABLE, 0);
    CDirectX9::SafeSetRenderState(D3DRS_STENCILENABLE, TRUE);
    CDirectX9::SafeSetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    CDirectX9::SafeSetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
    CDirectX9::SafeSetRenderState(D3DRS_STENCILREF, 1);
    CDirectX9::SafeSetRenderState(D3DRS_STENCILMASK, 0xFFFFFFFF);
    CDirectX9::SafeSetRenderState(D3DRS_STENCILWRITEMASK, 0xFFFFFFFF);

    if (FAILED(ShadowEffect->SetTechnique("TShader")))
        throw "Failed CD3DXObject::RenderShadowVolume SetTechnique";
    UINT passes = 0;
    if (FAILED(ShadowEffect->Begin(&passes, 0)))
        throw "Failed CD3DXObject::RenderShadowVolume Begin";
    if (FAILED(ShadowEffect->BeginPass(0)))
        throw "Failed CD3DXObject::RenderShadowVolume BeginPass";
    g_pDevice->SetFVF(kShadowFvf);
    D3DXMATRIX viewProjection;
    D3DXMatrixMultiply(&viewProjection, static_cast<const D3DXMATRIX*>(&CDirectX9::SafeGetTransform(D3DTS_VIEW)),
                       static_cast<const D3DXMATRIX*>(&CDirectX9::SafeGetTransform(D3DTS_PROJECTION)));
    const D3DXVECTOR4 light(x, y, z, 1.0f);

    std::vector<D3DXFRAME_EX*> frames;
    GetFrames(FrameRoot, frames);
    for (D3DXFRAME_EX* frame : frames) {
        for (D3DXMESHCONTAINER* c = frame->pMeshContainer; c; c = c->pNextMeshContainer) {
            D3DXMESHCONTAINER_EX* container = Ex(c);
            if (!container->MeshData.pMesh || !container->pShadowMesh)
                continue;
            if (container->pShadowSkinInfo) {
                // Skinned vertices are in world space already.
                SetEffectParameters(viewProjection, light);
                void* source = nullptr;
                void* target = nullptr;
                if (SUCCEEDED(container->pShadowMesh->LockVertexBuffer(D3DLOCK_READONLY, &source))) {
                    if (SUCCEEDED(container->pSkinnedShadowMesh->LockVertexBuffer(0, &target))) {
                        if (BoneMatrices)
                            container->pShadowSkinInfo->UpdateSkinnedMesh(BoneMatrices, nullptr, source, target);
                        container->pSkinnedShadowMesh->UnlockVertexBuffer();
                    }
                    container->pShadowMesh->UnlockVertexBuffer();
                }
                D3DCAPS9 caps;
                if (FAILED(g_pDevice->GetDeviceCaps(&caps)))
                    throw "Failed CDirectX9::CheckDeviceCaps GetDeviceCaps";
                if (caps.StencilCaps & D3DSTENCILCAPS_TWOSIDED) {
                    CDirectX9::SafeSetRenderState(D3DRS_TWOSIDEDSTENCILMODE, TRUE);
                    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
                    CDirectX9::SafeSetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_DECR);
                    CDirectX9::SafeSetRenderState(D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS);
                    CDirectX9::SafeSetRenderState(D3DRS_CCW_STENCILPASS, D3DSTENCILOP_INCR);
                    CDirectX9::SafeSetRenderState(D3DRS_CCW_STENCILZFAIL, D3DSTENCILOP_KEEP);
                    CDirectX9::SafeSetRenderState(D3DRS_CCW_STENCILFAIL, D3DSTENCILOP_KEEP);
                    container->pSkinnedShadowMesh->DrawSubset(0);
                } else if (SUCCEEDED(container->pSkinnedShadowMesh->LockVertexBuffer(D3DLOCK_READONLY, &target))) {
                    DrawTwoPasses(target, container->NumShadowTriangles);
                    container->pSkinnedShadowMesh->UnlockVertexBuffer();
                }
            } else {
                // The light goes into the frame's own space, where the vertices are.
                const D3DXMATRIX& world = frame->CombinedTransformationMatrix;
                D3DXMATRIX inverse;
                if (!D3DXMatrixInverse(&inverse, nullptr, &world))
                    continue; // a frame flattened to nothing casts no shadow
                D3DXMATRIX wvp;
                D3DXMatrixMultiply(&wvp, &world, &viewProjection);
                D3DXVECTOR4 objectLight;
                D3DXVec4Transform(&objectLight, &light, &inverse);
                SetEffectParameters(wvp, objectLight);
                void* vertices = nullptr;
                if (SUCCEEDED(container->pShadowMesh->LockVertexBuffer(D3DLOCK_READONLY, &vertices))) {
                    DrawTwoPasses(vertices, container->NumShadowTriangles);
                    container->pShadowMesh->UnlockVertexBuffer();
                }
            }
        }
    }

    if (FAILED(ShadowEffect->EndPass()))
        throw "Failed CD3DXObject::RenderShadowVolume EndPass";
    if (FAILED(ShadowEffect->End()))
        throw "Failed CD3DXObject::RenderShadowVolume End";
    if (FAILED(ShadowEffect->OnLostDevice()))
        throw "Failed CD3DXObject::RenderShadowVolume OnLostDevice";
    CDirectX9::SafeSetRenderState(D3DRS_STENCILENABLE, FALSE);
    CDirectX9::SafeSetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    CDirectX9::SafeSetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    CDirectX9::SafeSetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    return true;
}
