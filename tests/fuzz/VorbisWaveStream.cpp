// Fuzz target: the WAVE stream over Ogg Vorbis data that may be corrupt anywhere, read, seeked
// and cloned in the orders the input chooses.
#include <cstdint>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>
#include <algorithm>

#include "sound/CVorbisWaveStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The stream reads files by name: the input becomes one. Its first bytes steer the reads.
    static const std::string path = "/tmp/qv_fuzz_vorbis_" + std::to_string(getpid()) + ".ogg";
    uint8_t steer[8] = {};
    size_t steerBytes = std::min<size_t>(size, sizeof steer);
    std::copy(data, data + steerBytes, steer);
    {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data + steerBytes), static_cast<std::streamsize>(size - steerBytes));
    }
    auto* stream = new CVorbisWaveStream();
    if (SUCCEEDED(stream->LoadA(path.c_str()))) {
        std::vector<uint8_t> buffer(65536);
        ULONG step = 1 + (steer[0] | (steer[1] << 8));
        ULONG got = 0;
        uint64_t total = 0;
        // Bounded: corrupt data may claim a length of hours.
        while (total < (1u << 22) && SUCCEEDED(stream->Read(buffer.data(), step, &got)) && got > 0)
            total += got;
        LARGE_INTEGER at;
        at.QuadPart = int64_t(steer[2] | (steer[3] << 8)) * (steer[4] & 1 ? -1 : 1);
        stream->Seek(at, steer[5] % 4, nullptr);
        stream->Read(buffer.data(), step, &got);
        IStream* clone = nullptr;
        if (SUCCEEDED(stream->Clone(&clone))) {
            at.QuadPart = 0;
            clone->Seek(at, STREAM_SEEK_END, nullptr);
            clone->Read(buffer.data(), 4096, &got);
            at.QuadPart = steer[6];
            clone->Seek(at, STREAM_SEEK_SET, nullptr);
            clone->Read(buffer.data(), 100, &got);
            clone->Release();
        }
    }
    stream->Release();
    return 0;
}
