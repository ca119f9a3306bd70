// Fuzz target: WAVE images as the DirectMusic loader meets them, from memory and through a
// stream, down to the last sample of every pass.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/com/ComClasses.h"
#include "platform/dmusic/DMusic.h"
#include "platform/dmusic/WaveFormat.h"
#include "tests/platform/dmusic/MemoryStream.h"

namespace {

void ReadEverything(const std::shared_ptr<qv::dm::WaveData>& wave)
{
    auto reader = wave->OpenReader(wave);
    uint8_t block[4096];
    for (int pass = 0; pass < 2; ++pass) {
        uint64_t total = 0;
        while (size_t n = reader->Read(block, sizeof block))
            total += n;
        if (total > wave->DataBytes())
            __builtin_trap(); // never more than the layout promised
        reader->Rewind();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::shared_ptr<qv::dm::WaveData> wave;
    if (SUCCEEDED(qv::dm::WaveData::FromMemory(data, size, wave)))
        ReadEverything(wave);
    // A stream over the input that answers Read, Seek and Clone like a file would.
    auto* stream = new dmtest::MemoryStream(std::make_shared<const std::vector<uint8_t>>(data, data + size),
                                            std::make_shared<dmtest::StreamUse>());
    if (SUCCEEDED(qv::dm::WaveData::FromStream(stream, wave)))
        ReadEverything(wave);
    stream->Release();

    // And the way the game asks for it: a segment from a memory image.
    IDirectMusicLoader8* loader = nullptr;
    if (SUCCEEDED(qv::CreateDirectMusicLoader(IID_IDirectMusicLoader8, reinterpret_cast<void**>(&loader)))) {
        DMUS_OBJECTDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_MEMORY;
        desc.guidClass = CLSID_DirectMusicSegment;
        desc.llMemLength = static_cast<LONGLONG>(size);
        desc.pbMemData = const_cast<uint8_t*>(data);
        IDirectMusicSegment8* segment = nullptr;
        if (SUCCEEDED(loader->GetObject(&desc, IID_IDirectMusicSegment8, reinterpret_cast<void**>(&segment)))) {
            MUSIC_TIME length = 0;
            segment->GetLength(&length);
            segment->Release();
        }
        loader->Release();
    }
    return 0;
}
