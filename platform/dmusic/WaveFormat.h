// RIFF WAVE files as the DirectMusic loader reads them: the layout of a file (format and
// where its samples lie), and the sample data of a loaded wave, kept in memory or read on
// demand from a COM stream.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/com/Com.h"

namespace qv::dm {

struct WaveFormatInfo {
    int channels = 0;   // 1 or 2
    int rate = 0;       // frames per second
    int bits = 0;       // 8 (unsigned) or 16 (signed little-endian)
    int blockAlign = 0; // bytes per frame
};

struct WaveLayout {
    WaveFormatInfo format;
    uint64_t dataOffset = 0;
    uint64_t dataBytes = 0; // whole frames only, never past the end of a source of known size
};

// Random access to the bytes of a file image.
class ByteSource {
public:
    static constexpr uint64_t kUnknownSize = UINT64_MAX;
    virtual ~ByteSource() = default;
    // Bytes copied; fewer than asked at the end of the source or on a failure.
    virtual size_t ReadAt(uint64_t offset, void* dst, size_t count) = 0;
    virtual uint64_t Size() = 0;
};

class MemoryByteSource : public ByteSource {
public:
    MemoryByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t ReadAt(uint64_t offset, void* dst, size_t count) override;
    uint64_t Size() override { return size_; }

private:
    const uint8_t* data_;
    size_t size_;
};

// Reads a stream through Seek and Read; its size comes from a seek to the end when the
// stream can tell it.
class StreamByteSource : public ByteSource {
public:
    explicit StreamByteSource(IStream* stream);
    size_t ReadAt(uint64_t offset, void* dst, size_t count) override;
    uint64_t Size() override { return size_; }

private:
    IStream* stream_;
    uint64_t size_ = kUnknownSize;
};

// S_OK with the layout; DMUS_E_UNSUPPORTED_STREAM for content that is not a RIFF WAVE file
// (a standard MIDI file among them), DMUS_E_INVALIDFILE for a WAVE file that is broken or
// holds no playable samples.
HRESULT ParseWave(ByteSource& source, WaveLayout& layout);

// Delivers a wave's sample bytes from the start, again after Rewind.
class PcmReader {
public:
    virtual ~PcmReader() = default;
    virtual bool Rewind() = 0;
    // Bytes delivered; 0 at the end of the data or after a failure of the source.
    virtual size_t Read(uint8_t* dst, size_t count) = 0;
};

// The samples of one loaded wave: copied into memory, or left in a stream that each player
// reads through a clone of its own.
class WaveData {
public:
    static HRESULT FromMemory(const uint8_t* data, size_t size, std::shared_ptr<WaveData>& out);
    static HRESULT FromStream(IStream* stream, std::shared_ptr<WaveData>& out);
    ~WaveData();
    WaveData(const WaveData&) = delete;
    WaveData& operator=(const WaveData&) = delete;

    const WaveFormatInfo& Format() const { return layout_.format; }
    uint64_t DataBytes() const { return layout_.dataBytes; }
    uint64_t Frames() const { return layout_.dataBytes / static_cast<uint64_t>(layout_.format.blockAlign); }
    bool IsStreamed() const { return stream_ != nullptr; }
    std::unique_ptr<PcmReader> OpenReader(const std::shared_ptr<const WaveData>& self) const;

private:
    WaveData() = default;
    WaveLayout layout_;
    std::vector<uint8_t> pcm_;
    IStream* stream_ = nullptr;
};

} // namespace qv::dm
