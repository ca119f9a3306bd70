// DirectSound 3D: the listener and the 3D buffer that DirectMusic audio paths hand out, with
// their parameter records. Only what the program calls is declared.
#pragma once

#include "platform/com/Com.h"
#include "platform/d3d9/D3D9.h"

typedef float D3DVALUE;

QV_DEFINE_GUID(IID_IDirectSound3DListener, 0x279afa84, 0x4981, 0x11ce, 0xa5, 0x21, 0x00, 0x20, 0xaf, 0x0b, 0xe5, 0x60);
QV_DEFINE_GUID(IID_IDirectSound3DBuffer, 0x279afa86, 0x4981, 0x11ce, 0xa5, 0x21, 0x00, 0x20, 0xaf, 0x0b, 0xe5, 0x60);
#define IID_IDirectSound3DListener8 IID_IDirectSound3DListener
#define IID_IDirectSound3DBuffer8 IID_IDirectSound3DBuffer

#define DSBVOLUME_MAX 0
#define DSBVOLUME_MIN (-10000)

#define DS3DMODE_NORMAL 0x00000000
#define DS3DMODE_HEADRELATIVE 0x00000001
#define DS3DMODE_DISABLE 0x00000002

#define DS3D_IMMEDIATE 0x00000000
#define DS3D_DEFERRED 0x00000001

#define DS3D_DEFAULTDISTANCEFACTOR 1.0f
#define DS3D_DEFAULTROLLOFFFACTOR 1.0f
#define DS3D_DEFAULTDOPPLERFACTOR 1.0f
#define DS3D_MAXROLLOFFFACTOR 10.0f
#define DS3D_MAXDOPPLERFACTOR 10.0f
#define DS3D_DEFAULTMINDISTANCE 1.0f
#define DS3D_DEFAULTMAXDISTANCE 1000000000.0f
#define DS3D_DEFAULTCONEANGLE 360
#define DS3D_DEFAULTCONEOUTSIDEVOLUME DSBVOLUME_MAX

#define DSERR_INVALIDPARAM E_INVALIDARG

typedef struct _DS3DLISTENER {
    DWORD dwSize;
    D3DVECTOR vPosition;
    D3DVECTOR vVelocity;
    D3DVECTOR vOrientFront;
    D3DVECTOR vOrientTop;
    D3DVALUE flDistanceFactor;
    D3DVALUE flRolloffFactor;
    D3DVALUE flDopplerFactor;
} DS3DLISTENER, *LPDS3DLISTENER;
typedef const DS3DLISTENER* LPCDS3DLISTENER;

typedef struct _DS3DBUFFER {
    DWORD dwSize;
    D3DVECTOR vPosition;
    D3DVECTOR vVelocity;
    DWORD dwInsideConeAngle;
    DWORD dwOutsideConeAngle;
    D3DVECTOR vConeOrientation;
    LONG lConeOutsideVolume;
    D3DVALUE flMinDistance;
    D3DVALUE flMaxDistance;
    DWORD dwMode;
} DS3DBUFFER, *LPDS3DBUFFER;
typedef const DS3DBUFFER* LPCDS3DBUFFER;

// The DirectSound device itself is never reached by the program; InitAudio only names it.
struct IDirectSound;
typedef IDirectSound* LPDIRECTSOUND;

struct IDirectSound3DListener : public IUnknown {
    STDMETHOD(SetAllParameters)(LPCDS3DLISTENER pcListener, DWORD dwApply) PURE;
};
typedef IDirectSound3DListener IDirectSound3DListener8;
typedef IDirectSound3DListener* LPDIRECTSOUND3DLISTENER;

struct IDirectSound3DBuffer : public IUnknown {
    STDMETHOD(SetAllParameters)(LPCDS3DBUFFER pcDs3dBuffer, DWORD dwApply) PURE;
};
typedef IDirectSound3DBuffer IDirectSound3DBuffer8;
typedef IDirectSound3DBuffer* LPDIRECTSOUND3DBUFFER;
