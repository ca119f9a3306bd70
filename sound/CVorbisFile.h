// An Ogg Vorbis file decoded to 16-bit signed little-endian PCM with the vorbisfile library.
#pragma once

#include <cstdio>

#include "platform/platform.h"

struct OggVorbis_File;

class CVorbisFile {
public:
    CVorbisFile();
    ~CVorbisFile();
    CVorbisFile(const CVorbisFile&) = delete;
    CVorbisFile& operator=(const CVorbisFile&) = delete;

    HRESULT Open(const char* path);
    // Fills the buffer unless the stream ends (S_OK with fewer bytes) or fails (E_FAIL).
    HRESULT Read(void* buffer, DWORD count, DWORD* read);
    HRESULT Seek(INT64 sample);
    HRESULT Close();

    int GetChannels() const { return m_nChannels; }
    int GetRate() const { return m_nRate; }
    int GetBitsPerSample() const { return 16; }
    INT64 GetTotalSamples() const { return m_nTotalSamples; }

private:
    FILE* m_pFile;
    OggVorbis_File* m_pVorbisFile;
    bool m_bOpen;
    int m_nChannels;
    int m_nRate;
    INT64 m_nTotalSamples;
    int m_nCurrentSection;
    // The decoder hands out whole sample frames only; the rest of a frame that a read ended
    // inside waits here for the next read.
    char m_Carry[512];
    int m_nCarryPos;
    int m_nCarryLen;
};
