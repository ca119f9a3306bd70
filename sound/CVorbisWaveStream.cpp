#include "sound/CVorbisWaveStream.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "sound/CVorbisFile.h"

namespace {

void PutLe32(BYTE* p, DWORD v)
{
    p[0] = (BYTE)v;
    p[1] = (BYTE)(v >> 8);
    p[2] = (BYTE)(v >> 16);
    p[3] = (BYTE)(v >> 24);
}

void PutLe16(BYTE* p, WORD v)
{
    p[0] = (BYTE)v;
    p[1] = (BYTE)(v >> 8);
}

WORD GetLe16(const BYTE* p) { return (WORD)(p[0] | (p[1] << 8)); }

} // namespace

CVorbisWaveStream::CVorbisWaveStream() : m_nRefCount(1), m_pReader(NULL), m_nPosition(0), m_bDecoderPlaced(true)
{
    std::memset(m_wszPath, 0, sizeof m_wszPath);
    std::memset(m_szPath, 0, sizeof m_szPath);
    std::memset(m_Header, 0, sizeof m_Header);
}

CVorbisWaveStream::~CVorbisWaveStream() { CloseReader(); }

INT64 CVorbisWaveStream::ImageSize() const
{
    return HEADER_SIZE + (INT64)GetLe16(m_Header + 22) * 2 * (m_pReader ? m_pReader->GetTotalSamples() : 0);
}

void CVorbisWaveStream::CloseReader()
{
    if (m_pReader) {
        m_pReader->Close();
        delete m_pReader;
        m_pReader = NULL;
    }
}

HRESULT CVorbisWaveStream::LoadA(const char* path)
{
    // Clone opens the file again by these paths, so one that does not fit is refused.
    if (!path || std::strlen(path) >= MAX_PATH)
        return E_FAIL;
    wchar_t wide[MAX_PATH];
    size_t n = std::mbstowcs(wide, path, MAX_PATH - 1);
    if (n == (size_t)-1)
        n = 0;
    WCHAR widePath[MAX_PATH];
    for (size_t i = 0; i < n; ++i)
        widePath[i] = (WCHAR)wide[i];
    widePath[n] = 0;
    return Open(widePath, path);
}

HRESULT CVorbisWaveStream::Open(const WCHAR* widePath, const char* path)
{
    CloseReader();
    m_wszPath[0] = 0;
    if (!path || std::strlen(path) >= MAX_PATH)
        return E_FAIL;
    m_pReader = new CVorbisFile();
    HRESULT hr = m_pReader->Open(path);
    if (FAILED(hr)) {
        CloseReader();
        m_wszPath[0] = 0;
        return hr;
    }
    const WORD channels = (WORD)m_pReader->GetChannels();
    const DWORD rate = (DWORD)m_pReader->GetRate();
    const WORD bits = (WORD)m_pReader->GetBitsPerSample();
    const WORD blockAlign = (WORD)(channels * bits / 8);
    const DWORD dataSize = (DWORD)(m_pReader->GetTotalSamples() * blockAlign); // kept to 32 bits
    std::memcpy(m_Header + 0, "RIFF", 4);
    PutLe32(m_Header + 4, 36 + dataSize);
    std::memcpy(m_Header + 8, "WAVE", 4);
    std::memcpy(m_Header + 12, "fmt ", 4);
    PutLe32(m_Header + 16, 16);
    PutLe16(m_Header + 20, 1);
    PutLe16(m_Header + 22, channels);
    PutLe32(m_Header + 24, rate);
    PutLe32(m_Header + 28, blockAlign * rate);
    PutLe16(m_Header + 32, blockAlign);
    PutLe16(m_Header + 34, bits);
    std::memcpy(m_Header + 36, "data", 4);
    PutLe32(m_Header + 40, dataSize);
    m_nPosition = 0;
    m_bDecoderPlaced = true;
    size_t i = 0;
    for (; widePath && widePath[i] && i < MAX_PATH - 1; ++i)
        m_wszPath[i] = widePath[i];
    m_wszPath[i] = 0;
    std::strcpy(m_szPath, path);
    return S_OK;
}

STDMETHODIMP CVorbisWaveStream::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_ISequentialStream) || IsEqualGUID(riid, IID_IStream)) {
        *ppv = static_cast<IStream*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = NULL;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CVorbisWaveStream::AddRef() { return (ULONG)++m_nRefCount; }

STDMETHODIMP_(ULONG) CVorbisWaveStream::Release()
{
    LONG count = --m_nRefCount;
    if (count == 0) {
        delete this; // the destructor closes the reader
        return 0;
    }
    return (ULONG)count;
}

STDMETHODIMP CVorbisWaveStream::Read(void* pv, ULONG cb, ULONG* pcbRead)
{
    ULONG read = 0;
    if (pcbRead)
        *pcbRead = 0;
    if (!pv)
        return STG_E_INVALIDPOINTER;
    if (m_nPosition < 0)
        return S_OK; // Seek never lets the position go below the start
    BYTE* out = (BYTE*)pv;
    if (m_nPosition < HEADER_SIZE) {
        ULONG n = m_nPosition + cb < HEADER_SIZE ? cb : (ULONG)(HEADER_SIZE - m_nPosition);
        std::memcpy(out, m_Header + m_nPosition, n);
        m_nPosition += n;
        read = n;
        if (pcbRead)
            *pcbRead = read;
        if (n == cb)
            return S_OK;
    }
    if (!m_pReader)
        return E_FAIL;
    if (!m_bDecoderPlaced)
        return S_OK; // past the end of the music: nothing more to give
    DWORD decoded = 0;
    HRESULT hr = m_pReader->Read(out + read, cb - read, &decoded);
    if (FAILED(hr))
        return E_FAIL;
    read += decoded;
    m_nPosition += decoded;
    if (pcbRead)
        *pcbRead = read;
    return S_OK;
}

STDMETHODIMP CVorbisWaveStream::Write(const void*, ULONG, ULONG*) { return E_NOTIMPL; }

STDMETHODIMP CVorbisWaveStream::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition)
{
    INT64 position = m_nPosition;
    const WORD blockAlign = GetLe16(m_Header + 32);
    bool overflow = false;
    switch (dwOrigin) {
    case STREAM_SEEK_SET:
        position = dlibMove.QuadPart;
        break;
    case STREAM_SEEK_CUR:
        overflow = __builtin_add_overflow(m_nPosition, dlibMove.QuadPart, &position);
        break;
    case STREAM_SEEK_END:
        overflow = __builtin_add_overflow(ImageSize(), dlibMove.QuadPart, &position);
        break;
    default:
        break;
    }
    // Before the start, or beyond what a position can hold, is no place to be: the position
    // stays where it was.
    if (overflow || position < 0)
        return STG_E_INVALIDFUNCTION;
    m_nPosition = position;
    if (m_pReader) {
        HRESULT hr = S_OK;
        if (m_nPosition < HEADER_SIZE)
            hr = m_pReader->Seek(0);
        else if (blockAlign != 0) {
            hr = m_pReader->Seek((m_nPosition - HEADER_SIZE) / blockAlign);
            // A place inside a sample frame: the decoder moves on to it, so that the bytes
            // served are those of the file at this position.
            DWORD inside = (DWORD)((m_nPosition - HEADER_SIZE) % blockAlign);
            BYTE skipped[512];
            DWORD got = 0;
            if (SUCCEEDED(hr) && inside != 0)
                hr = m_pReader->Read(skipped, inside, &got);
        }
        m_bDecoderPlaced = SUCCEEDED(hr);
    }
    if (plibNewPosition)
        plibNewPosition->QuadPart = (ULONGLONG)m_nPosition;
    return S_OK;
}

STDMETHODIMP CVorbisWaveStream::SetSize(ULARGE_INTEGER) { return E_NOTIMPL; }
STDMETHODIMP CVorbisWaveStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) { return E_NOTIMPL; }
STDMETHODIMP CVorbisWaveStream::Commit(DWORD) { return E_NOTIMPL; }
STDMETHODIMP CVorbisWaveStream::Revert() { return E_NOTIMPL; }
STDMETHODIMP CVorbisWaveStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }
STDMETHODIMP CVorbisWaveStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }
STDMETHODIMP CVorbisWaveStream::Stat(STATSTG* pstatstg, DWORD grfStatFlag)
{
    if (!pstatstg)
        return STG_E_INVALIDPOINTER;
    if (grfStatFlag != STATFLAG_DEFAULT && grfStatFlag != STATFLAG_NONAME)
        return STG_E_INVALIDFLAG;
    std::memset(pstatstg, 0, sizeof *pstatstg);
    // The name is the file's path, in memory that the caller frees with CoTaskMemFree.
    if (grfStatFlag == STATFLAG_DEFAULT) {
        size_t length = 0;
        while (length < MAX_PATH && m_wszPath[length])
            ++length;
        pstatstg->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc((length + 1) * sizeof(WCHAR)));
        if (!pstatstg->pwcsName)
            return STG_E_INSUFFICIENTMEMORY;
        std::memcpy(pstatstg->pwcsName, m_wszPath, length * sizeof(WCHAR));
        pstatstg->pwcsName[length] = 0;
    }
    // A read-only stream of the whole WAVE image, with no times, locks or class of its own.
    pstatstg->type = STGTY_STREAM;
    pstatstg->cbSize.QuadPart = (ULONGLONG)ImageSize();
    pstatstg->grfMode = STGM_READ;
    pstatstg->grfLocksSupported = 0;
    pstatstg->clsid = CLSID_NULL;
    return S_OK;
}

STDMETHODIMP CVorbisWaveStream::Clone(IStream** ppstm)
{
    if (!ppstm)
        return E_POINTER;
    *ppstm = NULL;
    CVorbisWaveStream* clone = new CVorbisWaveStream();
    HRESULT hr = clone->Open(m_wszPath, m_szPath);
    if (FAILED(hr)) {
        clone->Release();
        return hr;
    }
    LARGE_INTEGER at;
    at.QuadPart = m_nPosition;
    clone->Seek(at, STREAM_SEEK_SET, NULL);
    *ppstm = clone;
    return S_OK;
}
