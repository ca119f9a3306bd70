// The effect object: parameters kept on the processor and given to the pass's GLSL program at
// BeginPass and CommitChanges; render states of a pass set on the device, saved at Begin and
// given back at End.
#include "platform/d3dx9/D3DX9Effect.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/d3d9/EffectBridge.h"
#include "platform/d3dx9/D3DX9Tex.h"
#include "platform/d3dx9/EffectCompiler.h"
#include "platform/win32/HostFile.h"
#include "platform/win32/Win32.h"

namespace {

using qv::d3dx9::CompiledEffect;
using qv::d3dx9::EffectParameter;
using qv::d3dx9::EffectPass;
using qv::d3dx9::EffectTechnique;

// An effect file larger than this is not a shader of ours.
constexpr long kMaxEffectFile = 1 << 20;

class CEffect final : public ID3DXEffect {
public:
    CEffect(IDirect3DDevice9* device, CompiledEffect effect, std::string name)
        : m_device(device), m_effect(std::move(effect)), m_name(std::move(name))
    {
        if (m_device)
            m_device->AddRef();
        m_technique = &m_effect.techniques.front();
        for (const EffectTechnique& t : m_effect.techniques)
            for (const EffectPass& p : t.passes) {
                Program program;
                program.pass = &p;
                m_programs.push_back(program);
            }
    }

    ~CEffect()
    {
        if (m_inPass || m_begun)
            qv::d3d9::UseVertexProgram(m_device, 0, -1);
        for (Program& p : m_programs)
            if (p.name)
                qv::d3d9::DeleteVertexProgram(m_device, p.name);
        if (m_device)
            m_device->Release();
    }

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
    STDMETHOD_(ULONG, Release)() override
    {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

    // Handles are the addresses of the stored names, so a name given as a handle works too.
    STDMETHOD_(D3DXHANDLE, GetParameterByName)(D3DXHANDLE hParameter, LPCSTR pName) override
    {
        if (hParameter || !pName)
            return nullptr; // no structure parameters
        for (const EffectParameter& p : m_effect.parameters)
            if (p.name == pName)
                return p.name.c_str();
        return nullptr;
    }

    STDMETHOD_(D3DXHANDLE, GetTechniqueByName)(LPCSTR pName) override
    {
        if (!pName)
            return nullptr;
        for (const EffectTechnique& t : m_effect.techniques)
            if (t.name == pName)
                return t.name.c_str();
        return nullptr;
    }

    STDMETHOD(SetVector)(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector) override
    {
        EffectParameter* p = Parameter(hParameter);
        if (!p || !pVector || p->components > 4)
            return D3DERR_INVALIDCALL;
        const float v[4] = {pVector->x, pVector->y, pVector->z, pVector->w};
        std::memcpy(p->value, v, sizeof(float) * p->components);
        ++m_version;
        return D3D_OK;
    }

    STDMETHOD(SetMatrix)(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix) override
    {
        EffectParameter* p = Parameter(hParameter);
        if (!p || !pMatrix || p->components != 16)
            return D3DERR_INVALIDCALL;
        std::memcpy(p->value, &pMatrix->m[0][0], sizeof(float) * 16);
        ++m_version;
        return D3D_OK;
    }

    STDMETHOD(SetTechnique)(D3DXHANDLE hTechnique) override
    {
        if (!hTechnique || m_begun)
            return D3DERR_INVALIDCALL;
        for (EffectTechnique& t : m_effect.techniques) {
            if (t.name.c_str() == hTechnique || t.name == hTechnique) {
                m_technique = &t;
                return D3D_OK;
            }
        }
        return D3DERR_INVALIDCALL;
    }

    STDMETHOD(Begin)(UINT* pPasses, DWORD Flags) override
    {
        if (m_begun)
            return D3DERR_INVALIDCALL;
        m_saved.clear();
        if (!(Flags & D3DXFX_DONOTSAVESTATE)) {
            for (const EffectPass& pass : m_technique->passes) {
                for (const auto& state : pass.states) {
                    bool known = false;
                    for (const auto& saved : m_saved)
                        known = known || saved.first == state.first;
                    DWORD value = 0;
                    if (!known && SUCCEEDED(m_device->GetRenderState(state.first, &value)))
                        m_saved.emplace_back(state.first, value);
                }
            }
        }
        if (pPasses)
            *pPasses = static_cast<UINT>(m_technique->passes.size());
        m_begun = true;
        return D3D_OK;
    }

    STDMETHOD(BeginPass)(UINT Pass) override
    {
        if (!m_begun || m_inPass || Pass >= m_technique->passes.size())
            return D3DERR_INVALIDCALL;
        const EffectPass& pass = m_technique->passes[Pass];
        for (const auto& state : pass.states)
            m_device->SetRenderState(state.first, state.second);
        m_program = nullptr;
        if (!pass.vertexShader.empty()) {
            m_program = ProgramOf(pass);
            if (!m_program)
                return E_FAIL;
            m_program->uploaded = 0;
            Upload();
            qv::d3d9::UseVertexProgram(m_device, m_program->name, m_program->clipAdjust);
        } else {
            qv::d3d9::UseVertexProgram(m_device, 0, -1);
        }
        m_inPass = true;
        return D3D_OK;
    }

    STDMETHOD(CommitChanges)() override
    {
        if (!m_inPass)
            return D3DERR_INVALIDCALL;
        Upload();
        return D3D_OK;
    }

    STDMETHOD(EndPass)() override
    {
        if (!m_inPass)
            return D3DERR_INVALIDCALL;
        m_inPass = false;
        return D3D_OK;
    }

    STDMETHOD(End)() override
    {
        if (!m_begun)
            return D3DERR_INVALIDCALL;
        m_inPass = false;
        m_begun = false;
        qv::d3d9::UseVertexProgram(m_device, 0, -1);
        for (const auto& saved : m_saved)
            m_device->SetRenderState(saved.first, saved.second);
        m_saved.clear();
        return D3D_OK;
    }

    // The programs live in the window's OpenGL context, which a reset of the device keeps, so
    // there is nothing of the device's memory to give back.
    STDMETHOD(OnLostDevice)() override { return D3D_OK; }
    STDMETHOD(OnResetDevice)() override { return D3D_OK; }

private:
    struct Program {
        const EffectPass* pass = nullptr;
        unsigned name = 0;
        bool failed = false;
        int clipAdjust = -1;
        std::vector<int> locations; // per parameter
        unsigned long uploaded = 0; // the parameter version last given to it
    };

    EffectParameter* Parameter(D3DXHANDLE handle)
    {
        if (!handle)
            return nullptr;
        for (EffectParameter& p : m_effect.parameters)
            if (p.name.c_str() == handle)
                return &p;
        for (EffectParameter& p : m_effect.parameters)
            if (p.name == handle)
                return &p;
        return nullptr;
    }

    // The pass's program, made on first use; null when OpenGL refuses it.
    Program* ProgramOf(const EffectPass& pass)
    {
        for (Program& p : m_programs) {
            if (p.pass != &pass)
                continue;
            if (!p.name && !p.failed) {
                std::string log;
                p.name = qv::d3d9::CreateVertexProgram(m_device, pass.vertexShader, log);
                if (!p.name) {
                    p.failed = true;
                    const std::string text = m_name + ": error: the vertex shader cannot run here: " + log + "\n";
                    OutputDebugStringA(text.c_str());
                    return nullptr;
                }
                p.clipAdjust = qv::d3d9::VertexProgramUniform(m_device, p.name, qv::d3dx9::kClipAdjustUniform);
                for (const EffectParameter& param : m_effect.parameters)
                    p.locations.push_back(qv::d3d9::VertexProgramUniform(m_device, p.name, param.glslName.c_str()));
            }
            return p.name ? &p : nullptr;
        }
        return nullptr;
    }

    void Upload()
    {
        if (!m_program || m_program->uploaded == m_version)
            return;
        for (size_t i = 0; i < m_effect.parameters.size(); ++i) {
            const EffectParameter& p = m_effect.parameters[i];
            qv::d3d9::SetVertexProgramUniform(m_device, m_program->name, m_program->locations[i], p.components,
                                              p.value);
        }
        m_program->uploaded = m_version;
    }

    std::atomic<ULONG> m_refs{1};
    IDirect3DDevice9* m_device;
    CompiledEffect m_effect;
    std::string m_name;
    EffectTechnique* m_technique = nullptr;
    std::vector<Program> m_programs;
    Program* m_program = nullptr;
    std::vector<std::pair<D3DRENDERSTATETYPE, DWORD>> m_saved;
    unsigned long m_version = 1;
    bool m_begun = false;
    bool m_inPass = false;
};

void ReportErrors(const std::string& errors, LPD3DXBUFFER* ppCompilationErrors)
{
    OutputDebugStringA(errors.c_str());
    if (!ppCompilationErrors)
        return;
    if (SUCCEEDED(D3DXCreateBuffer(static_cast<DWORD>(errors.size() + 1), ppCompilationErrors)))
        std::memcpy((*ppCompilationErrors)->GetBufferPointer(), errors.c_str(), errors.size() + 1);
}

HRESULT Create(LPDIRECT3DDEVICE9 device, const char* text, size_t size, const std::string& name,
               const D3DXMACRO* defines, LPD3DXINCLUDE include, LPD3DXEFFECTPOOL pool, LPD3DXEFFECT* ppEffect,
               LPD3DXBUFFER* ppCompilationErrors)
{
    if ((defines && defines->Name) || include || pool)
        return D3DERR_INVALIDCALL;
    CompiledEffect effect;
    std::string errors;
    if (!qv::d3dx9::CompileEffect(text, size, name, effect, errors)) {
        ReportErrors(errors, ppCompilationErrors);
        return D3DXERR_INVALIDDATA;
    }
    *ppEffect = new (std::nothrow) CEffect(device, std::move(effect), name);
    return *ppEffect ? D3D_OK : E_OUTOFMEMORY;
}

} // namespace

HRESULT D3DXCreateEffect(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataLen, const D3DXMACRO* pDefines,
                         LPD3DXINCLUDE pInclude, DWORD Flags, LPD3DXEFFECTPOOL pPool, LPD3DXEFFECT* ppEffect,
                         LPD3DXBUFFER* ppCompilationErrors)
{
    (void)Flags;
    if (ppCompilationErrors)
        *ppCompilationErrors = nullptr;
    if (!ppEffect || !pDevice || (!pSrcData && SrcDataLen))
        return D3DERR_INVALIDCALL;
    *ppEffect = nullptr;
    return Create(pDevice, static_cast<const char*>(pSrcData), SrcDataLen, "memory", pDefines, pInclude, pPool,
                  ppEffect, ppCompilationErrors);
}

HRESULT D3DXCreateEffectFromFileA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile, const D3DXMACRO* pDefines,
                                  LPD3DXINCLUDE pInclude, DWORD Flags, LPD3DXEFFECTPOOL pPool,
                                  LPD3DXEFFECT* ppEffect, LPD3DXBUFFER* ppCompilationErrors)
{
    (void)Flags;
    if (ppCompilationErrors)
        *ppCompilationErrors = nullptr;
    if (!ppEffect || !pSrcFile || !pDevice)
        return D3DERR_INVALIDCALL;
    *ppEffect = nullptr;
    FILE* file = QvFopen(pSrcFile, "rb");
    if (!file) {
        ReportErrors(std::string(pSrcFile) + ": error: the effect file cannot be opened\n", ppCompilationErrors);
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    std::vector<char> text;
    char chunk[4096];
    size_t got;
    bool tooLarge = false;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        text.insert(text.end(), chunk, chunk + got);
        if (text.size() > static_cast<size_t>(kMaxEffectFile)) {
            tooLarge = true;
            break;
        }
    }
    const bool readError = std::ferror(file) != 0;
    std::fclose(file);
    if (readError || tooLarge) {
        ReportErrors(std::string(pSrcFile) + (tooLarge ? ": error: the effect file is too large\n"
                                                       : ": error: the effect file cannot be read\n"),
                     ppCompilationErrors);
        return D3DXERR_INVALIDDATA;
    }
    return Create(pDevice, text.data(), text.size(), pSrcFile, pDefines, pInclude, pPool, ppEffect,
                  ppCompilationErrors);
}
