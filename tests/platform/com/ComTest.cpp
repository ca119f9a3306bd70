#include <gtest/gtest.h>

#include <thread>

#include "platform/platform.h"

TEST(Com, InitialisationIsCountedPerThread)
{
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    HRESULT other = E_FAIL;
    std::thread([&] {
        other = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CoUninitialize();
    }).join();
    EXPECT_EQ(other, S_OK) << "another thread starts on its own";
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitialize(nullptr), S_OK) << "balanced: the next one is the first again";
    CoUninitialize();
}

TEST(Com, StringsAndVariants)
{
    BSTR s = SysAllocString(u"9.0c 版");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 6u);
    EXPECT_EQ(s[5], u'版');
    EXPECT_EQ(s[6], 0);
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(v.vt, VT_EMPTY);
    v.vt = VT_BSTR;
    v.bstrVal = s;
    EXPECT_EQ(VariantClear(&v), S_OK); // frees the string (the sanitizer build checks it)
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

namespace {

template <class T>
ULONG RefCount(T* p)
{
    p->AddRef();
    return p->Release();
}

IDxDiagProvider* MakeProvider()
{
    IDxDiagProvider* p = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider,
                               reinterpret_cast<void**>(&p)),
              S_OK);
    return p;
}

} // namespace

TEST(DxDiag, SystemInfoReportsDirectX9c)
{
    CoInitialize(nullptr);
    IDxDiagProvider* provider = MakeProvider();
    ASSERT_NE(provider, nullptr);
    IDxDiagContainer* root = nullptr;
    EXPECT_EQ(provider->GetRootContainer(&root), CO_E_NOTINITIALIZED);

    DXDIAG_INIT_PARAMS params = {};
    params.dwSize = sizeof params;
    params.dwDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;
    params.bAllowWHQLChecks = FALSE;
    ASSERT_EQ(provider->Initialize(&params), S_OK);
    ASSERT_EQ(provider->GetRootContainer(&root), S_OK);
    IDxDiagContainer* system = nullptr;
    EXPECT_EQ(root->GetChildContainer(u"DxDiag_NoSuchThing", &system), E_INVALIDARG);
    EXPECT_EQ(system, nullptr);
    ASSERT_EQ(root->GetChildContainer(u"DxDiag_SystemInfo", &system), S_OK);

    VARIANT v;
    VariantInit(&v);
    ASSERT_EQ(system->GetProp(u"dwDirectXVersionMajor", &v), S_OK);
    EXPECT_EQ(v.vt, VT_UI4);
    EXPECT_EQ(v.ulVal, 9u);
    VariantClear(&v);
    ASSERT_EQ(system->GetProp(u"dwDirectXVersionMinor", &v), S_OK);
    EXPECT_EQ(v.vt, VT_UI4);
    EXPECT_EQ(v.ulVal, 0u);
    VariantClear(&v);
    ASSERT_EQ(system->GetProp(u"szDirectXVersionLetter", &v), S_OK);
    ASSERT_EQ(v.vt, VT_BSTR);
    ASSERT_NE(v.bstrVal, nullptr);
    char letter[10] = {};
    WideCharToMultiByte(CP_ACP, 0, v.bstrVal, -1, letter, sizeof letter, nullptr, nullptr);
    EXPECT_STREQ(letter, "c");
    VariantClear(&v);
    EXPECT_EQ(system->GetProp(u"dwNoSuchProp", &v), E_INVALIDARG);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(system->GetProp(nullptr, &v), E_INVALIDARG);

    DWORD count = 0;
    ASSERT_EQ(root->GetNumberOfChildContainers(&count), S_OK);
    ASSERT_EQ(count, 1u);
    WCHAR name[64];
    ASSERT_EQ(root->EnumChildContainerNames(0, name, 64), S_OK);
    EXPECT_EQ(std::u16string(name), u"DxDiag_SystemInfo");
    EXPECT_EQ(root->EnumChildContainerNames(0, name, 5), DXDIAG_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(root->EnumChildContainerNames(1, name, 64), E_INVALIDARG);

    // Counts: each Get hands out one reference; the tree lives while any part is held.
    EXPECT_EQ(RefCount(system), 2u); // held by the root and by us
    EXPECT_EQ(RefCount(root), 2u);   // held by the provider and by us
    EXPECT_EQ(provider->Release(), 0u);
    EXPECT_EQ(root->Release(), 0u);
    ASSERT_EQ(system->GetProp(u"dwDirectXVersionMajor", &v), S_OK) << "still alive through our reference";
    EXPECT_EQ(system->Release(), 0u);
    CoUninitialize();
}

TEST(DxDiag, InitializeChecksItsParameters)
{
    IDxDiagProvider* provider = MakeProvider();
    ASSERT_NE(provider, nullptr);
    DXDIAG_INIT_PARAMS params = {};
    params.dwSize = sizeof params - 1;
    params.dwDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;
    EXPECT_EQ(provider->Initialize(&params), E_INVALIDARG);
    params.dwSize = sizeof params;
    params.dwDxDiagHeaderVersion = 110;
    EXPECT_EQ(provider->Initialize(&params), E_INVALIDARG);
    EXPECT_EQ(provider->Initialize(nullptr), E_POINTER);
    params.dwDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;
    EXPECT_EQ(provider->Initialize(&params), S_OK);
    EXPECT_EQ(provider->Initialize(&params), CO_E_ALREADYINITIALIZED);

    IUnknown* unknown = nullptr;
    ASSERT_EQ(provider->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 1u);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(provider->QueryInterface(IID_IDxDiagContainer, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(provider->Release(), 0u);

    void* p = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagContainer, &p),
              E_NOINTERFACE);
    EXPECT_EQ(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
}
