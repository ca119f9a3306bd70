// A COM stream that shows an Ogg Vorbis file as a RIFF WAVE file: a 44-byte header built from
// the stream's properties, then 16-bit PCM decoded as it is read.
#pragma once

#include <atomic>

#include "platform/platform.h"

class CVorbisFile;

class CVorbisWaveStream : public IStream {
public:
    static const int HEADER_SIZE = 44;

    CVorbisWaveStream();

    HRESULT LoadA(const char* path);
    HRESULT Open(const WCHAR* widePath, const char* path);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    STDMETHODIMP Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;
    STDMETHODIMP Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override;
    STDMETHODIMP SetSize(ULARGE_INTEGER libNewSize) override;
    STDMETHODIMP CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) override;
    STDMETHODIMP Commit(DWORD grfCommitFlags) override;
    STDMETHODIMP Revert() override;
    STDMETHODIMP LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) override;
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) override;
    STDMETHODIMP Stat(STATSTG* pstatstg, DWORD grfStatFlag) override;
    STDMETHODIMP Clone(IStream** ppstm) override;

private:
    virtual ~CVorbisWaveStream(); // only Release deletes
    void CloseReader();
    // The bytes of the whole WAVE image: the header and every sample decoded.
    INT64 ImageSize() const;

    std::atomic<LONG> m_nRefCount;
    CVorbisFile* m_pReader;
    WCHAR m_wszPath[MAX_PATH];
    char m_szPath[MAX_PATH];
    BYTE m_Header[HEADER_SIZE];
    INT64 m_nPosition;
    bool m_bDecoderPlaced; // false after a seek that the decoder could not follow
};
