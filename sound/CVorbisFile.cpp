#include "sound/CVorbisFile.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

CVorbisFile::CVorbisFile()
    : m_pFile(NULL), m_pVorbisFile(NULL), m_bOpen(false), m_nChannels(0), m_nRate(0), m_nTotalSamples(0),
      m_nCurrentSection(0), m_nCarryPos(0), m_nCarryLen(0)
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
        if (info && info->channels > 0 && info->channels <= 255 && m_nTotalSamples >= 0) {
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
    const int frame = m_nChannels * 2;
    while (done < count) {
        if (m_nCarryLen > 0) {
            DWORD n = std::min<DWORD>(count - done, (DWORD)m_nCarryLen);
            std::memcpy(out + done, m_Carry + m_nCarryPos, n);
            m_nCarryPos += (int)n;
            m_nCarryLen -= (int)n;
            done += n;
        } else if (count - done < (DWORD)frame) {
            // Less than a frame is wanted: decode one whole frame and hand out its start.
            long got = ov_read(m_pVorbisFile, m_Carry, frame, 0, 2, 1, &m_nCurrentSection);
            if (got < 0)
                return E_FAIL;
            if (got == 0)
                break; // end of the stream
            m_nCarryPos = 0;
            m_nCarryLen = (int)got;
            continue;
        } else {
            int want = (int)std::min<DWORD>(count - done, 4096);
            long got = ov_read(m_pVorbisFile, out + done, want, 0, 2, 1, &m_nCurrentSection);
            if (got < 0)
                return E_FAIL;
            if (got == 0)
                break; // end of the stream
            done += (DWORD)got;
        }
        if (read)
            *read = done;
    }
    return S_OK;
}

HRESULT CVorbisFile::Seek(INT64 sample)
{
    if (!m_bOpen)
        return E_FAIL;
    m_nCarryLen = 0;
    return ov_pcm_seek(m_pVorbisFile, sample) < 0 ? E_FAIL : S_OK;
}

HRESULT CVorbisFile::Close()
{
    m_nCarryLen = 0;
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
