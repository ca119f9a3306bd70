// The DxDiag provider: a tree of containers with properties. Only what this layer can answer is
// in it: the system information with the DirectX version that the Direct3D layer offers (9.0c).
#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "platform/com/ComClasses.h"
#include "platform/com/DxDiag.h"

namespace {

struct Property {
    std::u16string name;
    VARIANT value;
};

class CContainer final : public IDxDiagContainer {
public:
    CContainer() = default;
    CContainer(const CContainer&) = delete;
    CContainer& operator=(const CContainer&) = delete;

    void AddChild(std::u16string name, CContainer* child) { m_children.emplace_back(std::move(name), child); }
    void AddUInt(std::u16string name, ULONG value)
    {
        Property p{std::move(name), {}};
        VariantInit(&p.value);
        p.value.vt = VT_UI4;
        p.value.ulVal = value;
        m_props.push_back(std::move(p));
    }
    void AddString(std::u16string name, const char16_t* value)
    {
        Property p{std::move(name), {}};
        VariantInit(&p.value);
        p.value.vt = VT_BSTR;
        p.value.bstrVal = SysAllocString(value);
        m_props.push_back(std::move(p));
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDxDiagContainer) {
            *ppv = static_cast<IDxDiagContainer*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

    STDMETHODIMP GetNumberOfChildContainers(DWORD* pdwCount) override
    {
        if (!pdwCount)
            return E_INVALIDARG;
        *pdwCount = static_cast<DWORD>(m_children.size());
        return S_OK;
    }
    STDMETHODIMP EnumChildContainerNames(DWORD dwIndex, LPWSTR pwszContainer, DWORD cchContainer) override
    {
        if (!pwszContainer || cchContainer == 0 || dwIndex >= m_children.size())
            return E_INVALIDARG;
        return CopyName(m_children[dwIndex].first, pwszContainer, cchContainer);
    }
    // A dotted path ("A.B") walks down through several containers.
    STDMETHODIMP GetChildContainer(LPCWSTR pwszContainer, IDxDiagContainer** ppInstance) override
    {
        if (!pwszContainer || !ppInstance)
            return E_INVALIDARG;
        *ppInstance = nullptr;
        std::u16string path(pwszContainer);
        const size_t dot = path.find(u'.');
        const std::u16string head = path.substr(0, dot);
        for (auto& child : m_children) {
            if (child.first != head)
                continue;
            if (dot == std::u16string::npos) {
                child.second->AddRef();
                *ppInstance = child.second;
                return S_OK;
            }
            return child.second->GetChildContainer(path.c_str() + dot + 1, ppInstance);
        }
        return E_INVALIDARG;
    }
    STDMETHODIMP GetNumberOfProps(DWORD* pdwCount) override
    {
        if (!pdwCount)
            return E_INVALIDARG;
        *pdwCount = static_cast<DWORD>(m_props.size());
        return S_OK;
    }
    STDMETHODIMP EnumPropNames(DWORD dwIndex, WCHAR* pwszPropName, DWORD cchPropName) override
    {
        if (!pwszPropName || cchPropName == 0 || dwIndex >= m_props.size())
            return E_INVALIDARG;
        return CopyName(m_props[dwIndex].name, pwszPropName, cchPropName);
    }
    STDMETHODIMP GetProp(LPCWSTR pwszPropName, VARIANT* pvarProp) override
    {
        if (!pwszPropName || !pvarProp)
            return E_INVALIDARG;
        for (const Property& p : m_props) {
            if (p.name != pwszPropName)
                continue;
            // The caller owns what it is given: strings are copies.
            VariantClear(pvarProp);
            *pvarProp = p.value;
            if (p.value.vt == VT_BSTR) {
                pvarProp->bstrVal = SysAllocString(p.value.bstrVal);
                if (!pvarProp->bstrVal) {
                    VariantInit(pvarProp);
                    return E_OUTOFMEMORY;
                }
            }
            return S_OK;
        }
        return E_INVALIDARG;
    }

private:
    ~CContainer()
    {
        for (auto& child : m_children)
            child.second->Release();
        for (Property& p : m_props)
            VariantClear(&p.value);
    }

    static HRESULT CopyName(const std::u16string& name, WCHAR* out, DWORD capacity)
    {
        if (name.size() + 1 > capacity)
            return DXDIAG_E_INSUFFICIENT_BUFFER;
        std::memcpy(out, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
        return S_OK;
    }

    std::atomic<ULONG> m_refs{1};
    std::vector<std::pair<std::u16string, CContainer*>> m_children; // each holds one reference
    std::vector<Property> m_props;
};

class CProvider final : public IDxDiagProvider {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDxDiagProvider) {
            *ppv = static_cast<IDxDiagProvider*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

    STDMETHODIMP Initialize(DXDIAG_INIT_PARAMS* pParams) override
    {
        if (!pParams)
            return E_POINTER;
        if (pParams->dwSize != sizeof(DXDIAG_INIT_PARAMS) || pParams->dwDxDiagHeaderVersion != DXDIAG_DX9_SDK_VERSION)
            return E_INVALIDARG;
        if (m_root)
            return CO_E_ALREADYINITIALIZED;
        auto* system = new CContainer;
        system->AddUInt(u"dwDirectXVersionMajor", 9);
        system->AddUInt(u"dwDirectXVersionMinor", 0);
        system->AddString(u"szDirectXVersionLetter", u"c");
        system->AddString(u"szDirectXVersionEnglish", u"DirectX 9.0c");
        m_root = new CContainer;
        m_root->AddChild(u"DxDiag_SystemInfo", system);
        return S_OK;
    }

    STDMETHODIMP GetRootContainer(IDxDiagContainer** ppInstance) override
    {
        if (!ppInstance)
            return E_INVALIDARG;
        *ppInstance = nullptr;
        if (!m_root)
            return CO_E_NOTINITIALIZED;
        m_root->AddRef();
        *ppInstance = m_root;
        return S_OK;
    }

private:
    ~CProvider()
    {
        if (m_root)
            m_root->Release();
    }

    std::atomic<ULONG> m_refs{1};
    CContainer* m_root = nullptr;
};

} // namespace

HRESULT qv::CreateDxDiagProvider(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    auto* provider = new CProvider;
    const HRESULT hr = provider->QueryInterface(riid, ppv);
    provider->Release();
    return hr;
}
