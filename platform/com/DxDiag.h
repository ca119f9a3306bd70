// The DxDiag provider: the system information containers through which the game asks which
// DirectX version is installed. Our provider reports the Direct3D level this layer offers.
#pragma once

#include "platform/com/Com.h"

QV_DEFINE_GUID(CLSID_DxDiagProvider, 0xA65B8071, 0x3BFE, 0x4213, 0x9A, 0x5B, 0x49, 0x1D, 0xA4, 0x46, 0x1C, 0xA7);
QV_DEFINE_GUID(IID_IDxDiagProvider, 0x9C6B4CB0, 0x23F8, 0x49CC, 0xA3, 0xED, 0x45, 0xA5, 0x50, 0x00, 0xA6, 0xD2);
QV_DEFINE_GUID(IID_IDxDiagContainer, 0x7D0F462F, 0x4064, 0x4862, 0xBC, 0x7F, 0x93, 0x3E, 0x50, 0x58, 0xC1, 0x0F);

#define DXDIAG_DX9_SDK_VERSION 111
#define DXDIAG_E_INSUFFICIENT_BUFFER _HRESULT_TYPEDEF_(0x8007007A)

typedef struct _DXDIAG_INIT_PARAMS {
    DWORD dwSize;
    DWORD dwDxDiagHeaderVersion;
    BOOL bAllowWHQLChecks;
    LPVOID pReserved;
} DXDIAG_INIT_PARAMS;

struct IDxDiagContainer : public IUnknown {
    STDMETHOD(GetNumberOfChildContainers)(DWORD* pdwCount) PURE;
    STDMETHOD(EnumChildContainerNames)(DWORD dwIndex, LPWSTR pwszContainer, DWORD cchContainer) PURE;
    STDMETHOD(GetChildContainer)(LPCWSTR pwszContainer, IDxDiagContainer** ppInstance) PURE;
    STDMETHOD(GetNumberOfProps)(DWORD* pdwCount) PURE;
    STDMETHOD(EnumPropNames)(DWORD dwIndex, WCHAR* pwszPropName, DWORD cchPropName) PURE;
    STDMETHOD(GetProp)(LPCWSTR pwszPropName, VARIANT* pvarProp) PURE;
};
typedef IDxDiagContainer* LPDXDIAGCONTAINER;

struct IDxDiagProvider : public IUnknown {
    STDMETHOD(Initialize)(DXDIAG_INIT_PARAMS* pParams) PURE;
    STDMETHOD(GetRootContainer)(IDxDiagContainer** ppInstance) PURE;
};
typedef IDxDiagProvider* LPDXDIAGPROVIDER;
