// DirectMusic: the loader, the performance, audio paths, segments and segment states, over
// OpenAL Soft. Only what the program calls is declared, in each interface's documented order.
#pragma once

#include "platform/com/Com.h"
#include "platform/dmusic/DSound.h"

typedef LONG MUSIC_TIME;
typedef LONGLONG REFERENCE_TIME;

QV_DEFINE_GUID(CLSID_DirectMusicLoader, 0xd2ac2892, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
QV_DEFINE_GUID(CLSID_DirectMusicPerformance, 0xd2ac2881, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
QV_DEFINE_GUID(CLSID_DirectMusicSegment, 0xd2ac2882, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);

QV_DEFINE_GUID(IID_IDirectMusicLoader, 0x2ffaaca2, 0x5dca, 0x11d2, 0xaf, 0xa6, 0x00, 0xaa, 0x00, 0x24, 0xd8, 0xb6);
QV_DEFINE_GUID(IID_IDirectMusicLoader8, 0x19e7c08c, 0x0a44, 0x4e6a, 0xa1, 0x16, 0x59, 0x5a, 0x7c, 0xd5, 0xde, 0x8c);
QV_DEFINE_GUID(IID_IDirectMusicPerformance, 0x07d43d03, 0x6523, 0x11d2, 0x87, 0x1d, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
QV_DEFINE_GUID(IID_IDirectMusicPerformance8, 0x679c4137, 0xc62e, 0x4147, 0xb2, 0xb4, 0x9d, 0x56, 0x9a, 0xcb, 0x25, 0x4c);
QV_DEFINE_GUID(IID_IDirectMusicSegment, 0xf96029a2, 0x4282, 0x11d2, 0x87, 0x17, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
QV_DEFINE_GUID(IID_IDirectMusicSegment8, 0xc6784488, 0x41a3, 0x418f, 0xaa, 0x15, 0xb3, 0x50, 0x93, 0xba, 0x42, 0xd4);
QV_DEFINE_GUID(IID_IDirectMusicSegmentState, 0xa3afdcc7, 0xd3ee, 0x11d1, 0xbc, 0x8d, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xeb);
QV_DEFINE_GUID(IID_IDirectMusicSegmentState8, 0xa50e4730, 0x0ae4, 0x48a7, 0x98, 0x39, 0xbc, 0x04, 0xbf, 0xe0, 0x77, 0x72);
QV_DEFINE_GUID(IID_IDirectMusicAudioPath, 0xc87631f5, 0x23be, 0x4986, 0x88, 0x36, 0x05, 0x83, 0x2f, 0xcc, 0x48, 0xf9);
#define IID_IDirectMusicAudioPath8 IID_IDirectMusicAudioPath

QV_DEFINE_GUID(GUID_DirectMusicAllTypes, 0xd2ac2893, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
QV_DEFINE_GUID(GUID_StandardMIDIFile, 0x06621075, 0xe92e, 0x11d1, 0xa8, 0xc5, 0x00, 0xc0, 0x4f, 0xa3, 0x72, 0x6e);
QV_DEFINE_GUID(GUID_PerfMasterVolume, 0xd2ac28b1, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);

// Standard audio paths.
#define DMUS_APATH_SHARED_STEREOPLUSREVERB 0x1
#define DMUS_APATH_DYNAMIC_3D 0x6
#define DMUS_APATH_DYNAMIC_MONO 0x7
#define DMUS_APATH_DYNAMIC_STEREO 0x8

#define DMUS_AUDIOF_3D 0x1
#define DMUS_AUDIOF_ENVIRON 0x2
#define DMUS_AUDIOF_EAX 0x4
#define DMUS_AUDIOF_DMOS 0x8
#define DMUS_AUDIOF_STREAMING 0x10
#define DMUS_AUDIOF_BUFFERS 0x20
#define DMUS_AUDIOF_ALL 0x3F

// Stages of an audio path that GetObjectInPath can reach.
#define DMUS_PATH_BUFFER 0x6000
#define DMUS_PATH_PRIMARY_BUFFER 0x8000
#define DMUS_PCHANNEL_ALL 0xFFFFFFFB

#define DMUS_PPQ 768
#define DMUS_SEG_REPEAT_INFINITE 0xFFFFFFFF

enum enumDMUS_SEGF_FLAGS {
    DMUS_SEGF_REFTIME = 0x000040,
    DMUS_SEGF_SECONDARY = 0x000080,
    DMUS_SEGF_QUEUE = 0x000100,
    DMUS_SEGF_CONTROL = 0x000200,
    DMUS_SEGF_AFTERPREPARETIME = 0x000400,
    DMUS_SEGF_GRID = 0x000800,
    DMUS_SEGF_BEAT = 0x001000,
    DMUS_SEGF_MEASURE = 0x002000,
    DMUS_SEGF_DEFAULT = 0x004000,
    DMUS_SEGF_NOINVALIDATE = 0x008000,
};

// Which fields of a DMUS_OBJECTDESC are valid.
#define DMUS_OBJ_OBJECT 0x001
#define DMUS_OBJ_CLASS 0x002
#define DMUS_OBJ_NAME 0x004
#define DMUS_OBJ_CATEGORY 0x008
#define DMUS_OBJ_FILENAME 0x010
#define DMUS_OBJ_FULLPATH 0x020
#define DMUS_OBJ_URL 0x040
#define DMUS_OBJ_VERSION 0x080
#define DMUS_OBJ_DATE 0x100
#define DMUS_OBJ_LOADED 0x200
#define DMUS_OBJ_MEMORY 0x400
#define DMUS_OBJ_STREAM 0x800

#define DMUS_MAX_NAME 64
#define DMUS_MAX_CATEGORY 64
#define DMUS_MAX_FILENAME MAX_PATH

// DirectMusic's result codes: facility 0x878, numbered from 0x1000.
#define QV_DMUS_ERROR(code) _HRESULT_TYPEDEF_(0x88781000 + (code))
#define DMUS_E_SET_UNSUPPORTED QV_DMUS_ERROR(0x0123)
#define DMUS_E_UNSUPPORTED_STREAM QV_DMUS_ERROR(0x0150)
#define DMUS_E_ALREADY_INITED QV_DMUS_ERROR(0x0151)
#define DMUS_E_NOT_FOUND QV_DMUS_ERROR(0x0161)
#define DMUS_E_NOT_INIT QV_DMUS_ERROR(0x0162)
#define DMUS_E_TYPE_UNSUPPORTED QV_DMUS_ERROR(0x0164)
#define DMUS_E_NO_MASTER_CLOCK QV_DMUS_ERROR(0x0170)
#define DMUS_E_LOADER_NOCLASSID QV_DMUS_ERROR(0x0180)
#define DMUS_E_LOADER_BADPATH QV_DMUS_ERROR(0x0181)
#define DMUS_E_LOADER_FAILEDOPEN QV_DMUS_ERROR(0x0182)
#define DMUS_E_LOADER_FORMATNOTSUPPORTED QV_DMUS_ERROR(0x0183)
#define DMUS_E_INVALIDFILE QV_DMUS_ERROR(0x0200)
#define DMUS_E_AUDIOPATH_INACTIVE QV_DMUS_ERROR(0x0229)
#define DMUS_E_NO_AUDIOPATH QV_DMUS_ERROR(0x022C)

typedef struct _DMUS_VERSION {
    DWORD dwVersionMS;
    DWORD dwVersionLS;
} DMUS_VERSION, *LPDMUS_VERSION;

typedef struct _DMUS_OBJECTDESC {
    DWORD dwSize;
    DWORD dwValidData;
    GUID guidObject;
    GUID guidClass;
    FILETIME ftDate;
    DMUS_VERSION vVersion;
    WCHAR wszName[DMUS_MAX_NAME];
    WCHAR wszCategory[DMUS_MAX_CATEGORY];
    WCHAR wszFileName[DMUS_MAX_FILENAME];
    LONGLONG llMemLength;
    LPBYTE pbMemData;
    IStream* pStream;
} DMUS_OBJECTDESC, *LPDMUS_OBJECTDESC;

// InitAudio's optional parameters and the core DirectMusic object are never used here.
struct IDirectMusic;
typedef struct _DMUS_AUDIOPARAMS DMUS_AUDIOPARAMS;

struct IDirectMusicSegment;
struct IDirectMusicSegmentState;
struct IDirectMusicAudioPath;

struct IDirectMusicLoader : public IUnknown {
    STDMETHOD(GetObject)(LPDMUS_OBJECTDESC pDesc, REFIID riid, LPVOID* ppv) PURE;
    STDMETHOD(ClearCache)(REFGUID rguidClass) PURE;
};

struct IDirectMusicLoader8 : public IDirectMusicLoader {
    STDMETHOD(LoadObjectFromFile)(REFGUID rguidClassID, REFIID iidInterfaceID, WCHAR* pwzFilePath, void** ppObject) PURE;
};

struct IDirectMusicSegment : public IUnknown {
    STDMETHOD(GetLength)(MUSIC_TIME* pmtLength) PURE;
    STDMETHOD(SetLength)(MUSIC_TIME mtLength) PURE;
    STDMETHOD(SetRepeats)(DWORD dwRepeats) PURE;
    STDMETHOD(SetParam)(REFGUID rguidType, DWORD dwGroupBits, DWORD dwIndex, MUSIC_TIME mtTime, void* pParam) PURE;
};

struct IDirectMusicSegment8 : public IDirectMusicSegment {
    STDMETHOD(Download)(IUnknown* pAudioPath) PURE;
    STDMETHOD(Unload)(IUnknown* pAudioPath) PURE;
};

struct IDirectMusicSegmentState : public IUnknown {
};

struct IDirectMusicSegmentState8 : public IDirectMusicSegmentState {
};

struct IDirectMusicAudioPath : public IUnknown {
    STDMETHOD(GetObjectInPath)(DWORD dwPChannel, DWORD dwStage, DWORD dwBuffer, REFGUID guidObject, DWORD dwIndex,
                               REFGUID iidInterface, void** ppObject) PURE;
    STDMETHOD(SetVolume)(LONG lVolume, DWORD dwDuration) PURE;
};
typedef IDirectMusicAudioPath IDirectMusicAudioPath8;

struct IDirectMusicPerformance : public IUnknown {
    STDMETHOD(Stop)(IDirectMusicSegment* pSegment, IDirectMusicSegmentState* pSegmentState, MUSIC_TIME mtTime,
                    DWORD dwFlags) PURE;
    STDMETHOD(IsPlaying)(IDirectMusicSegment* pSegment, IDirectMusicSegmentState* pSegState) PURE;
    STDMETHOD(SetGlobalParam)(REFGUID rguidType, void* pParam, DWORD dwSize) PURE;
    STDMETHOD(CloseDown)() PURE;
};

struct IDirectMusicPerformance8 : public IDirectMusicPerformance {
    STDMETHOD(InitAudio)(IDirectMusic** ppDirectMusic, IDirectSound** ppDirectSound, HWND hWnd,
                         DWORD dwDefaultPathType, DWORD dwPChannelCount, DWORD dwFlags,
                         DMUS_AUDIOPARAMS* pParams) PURE;
    STDMETHOD(PlaySegmentEx)(IUnknown* pSource, WCHAR* pwzSegmentName, IUnknown* pTransition, DWORD dwFlags,
                             INT64 i64StartTime, IDirectMusicSegmentState** ppSegmentState, IUnknown* pFrom,
                             IUnknown* pAudioPath) PURE;
    STDMETHOD(StopEx)(IUnknown* pObjectToStop, INT64 i64StopTime, DWORD dwFlags) PURE;
    STDMETHOD(CreateStandardAudioPath)(DWORD dwType, DWORD dwPChannelCount, BOOL fActivate,
                                       IDirectMusicAudioPath** ppNewPath) PURE;
    STDMETHOD(GetDefaultAudioPath)(IDirectMusicAudioPath** ppAudioPath) PURE;
};
