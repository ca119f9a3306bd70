// Skin information: per bone a name, an offset matrix and the vertices it moves with their
// weights; and software skinning of a vertex buffer with it.
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/d3dx9/XFileAnimation.h"

namespace xfile {

namespace {

// Bytes of one vertex of a flexible vertex format, and where its normal starts.
void FvfLayout(DWORD fvf, UINT& stride, UINT& normalOffset)
{
    UINT size = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: size = 12; break;
    case D3DFVF_XYZRHW: case D3DFVF_XYZW: case D3DFVF_XYZB1: size = 16; break;
    case D3DFVF_XYZB2: size = 20; break;
    case D3DFVF_XYZB3: size = 24; break;
    case D3DFVF_XYZB4: size = 28; break;
    case D3DFVF_XYZB5: size = 32; break;
    default: break;
    }
    normalOffset = size;
    if (fvf & D3DFVF_NORMAL) size += 12;
    if (fvf & D3DFVF_PSIZE) size += 4;
    if (fvf & D3DFVF_DIFFUSE) size += 4;
    if (fvf & D3DFVF_SPECULAR) size += 4;
    const UINT texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (UINT i = 0; i < texCount && i < 8; ++i) {
        switch ((fvf >> (16 + 2 * i)) & 3) {
        case D3DFVF_TEXTUREFORMAT1: size += 4; break;
        case D3DFVF_TEXTUREFORMAT2: size += 8; break;
        case D3DFVF_TEXTUREFORMAT3: size += 12; break;
        default: size += 16; break;
        }
    }
    stride = size;
}

class CSkinInfo final : public CRefCounted<ID3DXSkinInfo> {
public:
    CSkinInfo(DWORD numVertices, DWORD fvf, DWORD numBones) : m_numVertices(numVertices), m_fvf(fvf), m_bones(numBones)
    {
        FvfLayout(fvf, m_stride, m_normalOffset);
    }

    STDMETHOD(SetBoneInfluence)(DWORD bone, DWORD numInfluences, const DWORD* vertices, const FLOAT* weights) override
    {
        if (bone >= m_bones.size() || (numInfluences > 0 && (!vertices || !weights)))
            return D3DERR_INVALIDCALL;
        for (DWORD i = 0; i < numInfluences; ++i)
            if (vertices[i] >= m_numVertices)
                return D3DERR_INVALIDCALL;
        try {
            m_bones[bone].vertices.assign(vertices, vertices + numInfluences);
            m_bones[bone].weights.assign(weights, weights + numInfluences);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        m_compiled = false;
        return D3D_OK;
    }

    STDMETHOD_(DWORD, GetNumBoneInfluences)(DWORD bone) override
    {
        return bone < m_bones.size() ? static_cast<DWORD>(m_bones[bone].vertices.size()) : 0;
    }

    STDMETHOD(GetBoneInfluence)(DWORD bone, DWORD* vertices, FLOAT* weights) override
    {
        if (bone >= m_bones.size())
            return D3DERR_INVALIDCALL;
        const Bone& b = m_bones[bone];
        if (b.vertices.empty())
            return D3D_OK;
        if (!vertices || !weights)
            return D3DERR_INVALIDCALL;
        std::memcpy(vertices, b.vertices.data(), b.vertices.size() * sizeof(DWORD));
        std::memcpy(weights, b.weights.data(), b.weights.size() * sizeof(FLOAT));
        return D3D_OK;
    }

    STDMETHOD_(DWORD, GetNumBones)() override { return static_cast<DWORD>(m_bones.size()); }

    STDMETHOD(SetBoneName)(DWORD Bone, LPCSTR pName) override
    {
        if (Bone >= m_bones.size() || !pName)
            return D3DERR_INVALIDCALL;
        try {
            m_bones[Bone].name = pName;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        m_bones[Bone].named = true;
        return D3D_OK;
    }

    STDMETHOD_(LPCSTR, GetBoneName)(DWORD Bone) override
    {
        if (Bone >= m_bones.size() || !m_bones[Bone].named)
            return nullptr;
        return m_bones[Bone].name.c_str();
    }

    STDMETHOD(SetBoneOffsetMatrix)(DWORD Bone, const D3DXMATRIX* pBoneTransform) override
    {
        if (Bone >= m_bones.size() || !pBoneTransform)
            return D3DERR_INVALIDCALL;
        m_bones[Bone].offset = *pBoneTransform;
        return D3D_OK;
    }

    STDMETHOD_(LPD3DXMATRIX, GetBoneOffsetMatrix)(DWORD Bone) override
    {
        return Bone < m_bones.size() ? &m_bones[Bone].offset : nullptr;
    }

    STDMETHOD(UpdateSkinnedMesh)(const D3DXMATRIX* pBoneTransforms, const D3DXMATRIX* pBoneInvTransposeTransforms,
                                 LPCVOID pVerticesSrc, PVOID pVerticesDst) override;

private:
    struct Bone {
        std::string name;
        bool named = false;
        D3DXMATRIX offset{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        std::vector<DWORD> vertices;
        std::vector<float> weights;
    };

    // The influences regrouped by vertex, so that skinning walks the vertices in order.
    bool Compile();

    DWORD m_numVertices;
    DWORD m_fvf;
    UINT m_stride = 0;
    UINT m_normalOffset = 0;
    std::vector<Bone> m_bones;
    bool m_compiled = false;
    std::vector<uint32_t> m_first;  // per vertex, its first influence; one more at the end
    std::vector<uint32_t> m_bone;
    std::vector<float> m_weight;
};

bool CSkinInfo::Compile()
{
    try {
        m_first.assign(static_cast<size_t>(m_numVertices) + 1, 0);
        size_t total = 0;
        for (const Bone& b : m_bones) {
            for (DWORD v : b.vertices)
                ++m_first[v + 1];
            total += b.vertices.size();
        }
        for (size_t v = 0; v < m_numVertices; ++v)
            m_first[v + 1] += m_first[v];
        m_bone.resize(total);
        m_weight.resize(total);
        std::vector<uint32_t> next(m_first.begin(), m_first.end() - 1);
        for (size_t b = 0; b < m_bones.size(); ++b)
            for (size_t i = 0; i < m_bones[b].vertices.size(); ++i) {
                uint32_t slot = next[m_bones[b].vertices[i]]++;
                m_bone[slot] = static_cast<uint32_t>(b);
                m_weight[slot] = m_bones[b].weights[i];
            }
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_compiled = true;
    return true;
}

HRESULT CSkinInfo::UpdateSkinnedMesh(const D3DXMATRIX* pBoneTransforms, const D3DXMATRIX* pBoneInvTransposeTransforms,
                                     LPCVOID pVerticesSrc, PVOID pVerticesDst)
{
    if (!pBoneTransforms || !pVerticesSrc || !pVerticesDst || (m_fvf & D3DFVF_POSITION_MASK) != D3DFVF_XYZ)
        return D3DERR_INVALIDCALL;
    if (!m_compiled && !Compile())
        return E_OUTOFMEMORY;

    const bool normals = (m_fvf & D3DFVF_NORMAL) != 0;
    const D3DXMATRIX* normalMatrices = pBoneInvTransposeTransforms ? pBoneInvTransposeTransforms : pBoneTransforms;
    const unsigned char* src = static_cast<const unsigned char*>(pVerticesSrc);
    unsigned char* dst = static_cast<unsigned char*>(pVerticesDst);
    const uint32_t* first = m_first.data();
    const uint32_t* boneOf = m_bone.data();
    const float* weightOf = m_weight.data();

    for (DWORD v = 0; v < m_numVertices; ++v, src += m_stride, dst += m_stride) {
        // The weighted sum of the vertex's bone matrices, then one transform.
        float m[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        for (uint32_t k = first[v]; k < first[v + 1]; ++k) {
            const D3DXMATRIX& b = pBoneTransforms[boneOf[k]];
            const float w = weightOf[k];
            m[0] += w * b._11; m[1] += w * b._12; m[2] += w * b._13;
            m[3] += w * b._21; m[4] += w * b._22; m[5] += w * b._23;
            m[6] += w * b._31; m[7] += w * b._32; m[8] += w * b._33;
            m[9] += w * b._41; m[10] += w * b._42; m[11] += w * b._43;
        }
        float p[3];
        std::memcpy(p, src, sizeof p);
        const float out[3] = {p[0] * m[0] + p[1] * m[3] + p[2] * m[6] + m[9],
                              p[0] * m[1] + p[1] * m[4] + p[2] * m[7] + m[10],
                              p[0] * m[2] + p[1] * m[5] + p[2] * m[8] + m[11]};
        std::memcpy(dst, out, sizeof out);
        if (normals) {
            if (normalMatrices != pBoneTransforms) {
                for (int i = 0; i < 9; ++i)
                    m[i] = 0.0f;
                for (uint32_t k = first[v]; k < first[v + 1]; ++k) {
                    const D3DXMATRIX& b = normalMatrices[boneOf[k]];
                    const float w = weightOf[k];
                    m[0] += w * b._11; m[1] += w * b._12; m[2] += w * b._13;
                    m[3] += w * b._21; m[4] += w * b._22; m[5] += w * b._23;
                    m[6] += w * b._31; m[7] += w * b._32; m[8] += w * b._33;
                }
            }
            float n[3];
            std::memcpy(n, src + m_normalOffset, sizeof n);
            const float nout[3] = {n[0] * m[0] + n[1] * m[3] + n[2] * m[6],
                                   n[0] * m[1] + n[1] * m[4] + n[2] * m[7],
                                   n[0] * m[2] + n[1] * m[5] + n[2] * m[8]};
            std::memcpy(dst + m_normalOffset, nout, sizeof nout);
        }
    }
    return D3D_OK;
}

} // namespace

} // namespace xfile

HRESULT D3DXCreateSkinInfoFVF(DWORD NumVertices, DWORD FVF, DWORD NumBones, LPD3DXSKININFO* ppSkinInfo)
{
    if (!ppSkinInfo)
        return D3DERR_INVALIDCALL;
    *ppSkinInfo = nullptr;
    try {
        *ppSkinInfo = new xfile::CSkinInfo(NumVertices, FVF, NumBones);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}
