#include "sound/CVorbisFile.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdlib>

CVorbisFile::CVorbisFile()
    : m_pFile(NULL), m_pVorbisFile(NULL), m_bOpen(false), m_nChannels(0), m_nRate(0), m_nTotalSamples(0),
      m_nCurrentSection(0)
{
}

CVorbisFile::~CVorbisFile() { Close(); }

HRESULT CVorbisFile::Open(const char* path)
{
    Close();
    m_pFile = fopen(path, "rb");
    m_pVorbisFile = (OggVorbis_File*)std::calloc(1, sizeof(OggVorbis_File));
    if (m_pFile && m_pVorbisFile && ov_open(m_pFile, m_pVorbisFile, NULL, 0) == 0) {
        // From here the decoder owns the file and closes it in ov_clear.
        m_bOpen = true;
        vorbis_info* info = ov_info(m_pVorbisFile, -1);
        m_nTotalSamples = ov_pcm_total(m_pVorbisFile, -1);
        if (info && m_nTotalSamples >= 0) {
            m_nChannels = info->channels;
            m_nRate = (int)info->rate;
            return S_OK;
        }
        Close(); // a stream without a length cannot be shown as a WAVE file
        return E_FAIL;
    }
    if (m_pFile)
        std::fclose(m_pFile);
    m_pFile = NULL;
    std::free(m_pVorbisFile);
    m_pVorbisFile = NULL;
    return E_FAIL;
}

HRESULT CVorbisFile::Read(void* buffer, DWORD count, DWORD* read)
{
    if (!m_bOpen)
        return E_FAIL;
    if (read)
        *read = 0;
    DWORD done = 0;
    char* out = (char*)buffer;
    while (done < count) {
        int want = (int)std::min<DWORD>(count - done, 4096);
        long got = ov_read(m_pVorbisFile, out + done, want, 0, 2, 1, &m_nCurrentSection);
        if (got < 0)
            return E_FAIL;
        if (got == 0)
            break; // end of the stream
        done += (DWORD)got;
        if (read)
            *read = done;
    }
    return S_OK;
}

HRESULT CVorbisFile::Seek(INT64 sample)
{
    if (!m_bOpen)
        return E_FAIL;
    return ov_pcm_seek(m_pVorbisFile, sample) < 0 ? E_FAIL : S_OK;
}

HRESULT CVorbisFile::Close()
{
    if (m_bOpen) {
        ov_clear(m_pVorbisFile); // closes the file too
        m_bOpen = false;
    } else if (m_pFile) {
        std::fclose(m_pFile);
    }
    std::free(m_pVorbisFile);
    m_pVorbisFile = NULL;
    m_pFile = NULL;
    return S_OK;
}
