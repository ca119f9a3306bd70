#include "platform/dmusic/WaveFormat.h"

#include <algorithm>
#include <cstring>

#include "platform/dmusic/DMusic.h"

namespace qv::dm {

namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;

HRESULT ParseFormat(const uint8_t* f, size_t size, WaveFormatInfo& out)
{
    uint16_t tag = Le16(f);
    if (tag == kFormatExtensible) {
        // The sub-format GUID's first field names the real format.
        if (size < 40 || Le32(f + 24) != kFormatPcm)
            return DMUS_E_INVALIDFILE;
    } else if (tag != kFormatPcm) {
        return DMUS_E_INVALIDFILE;
    }
    out.channels = Le16(f + 2);
    uint32_t rate = Le32(f + 4);
    out.blockAlign = Le16(f + 12);
    out.bits = Le16(f + 14);
    if (out.channels < 1 || out.channels > 2 || (out.bits != 8 && out.bits != 16))
        return DMUS_E_INVALIDFILE;
    if (rate < 1000 || rate > 384000)
        return DMUS_E_INVALIDFILE;
    out.rate = static_cast<int>(rate);
    if (out.blockAlign != out.channels * out.bits / 8)
        return DMUS_E_INVALIDFILE;
    return S_OK;
}

} // namespace

size_t MemoryByteSource::ReadAt(uint64_t offset, void* dst, size_t count)
{
    if (offset >= size_)
        return 0;
    size_t n = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
    std::memcpy(dst, data_ + offset, n);
    return n;
}

StreamByteSource::StreamByteSource(IStream* stream) : stream_(stream)
{
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    ULARGE_INTEGER end;
    end.QuadPart = 0;
    if (SUCCEEDED(stream_->Seek(zero, STREAM_SEEK_END, &end)))
        size_ = end.QuadPart;
}

size_t StreamByteSource::ReadAt(uint64_t offset, void* dst, size_t count)
{
    if (offset >= size_ || offset > static_cast<uint64_t>(INT64_MAX))
        return 0;
    count = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (FAILED(stream_->Seek(at, STREAM_SEEK_SET, nullptr)))
        return 0;
    size_t done = 0;
    while (done < count) {
        ULONG got = 0;
        HRESULT hr = stream_->Read(static_cast<uint8_t*>(dst) + done, static_cast<ULONG>(count - done), &got);
        done += std::min<size_t>(got, count - done);
        if (FAILED(hr) || got == 0)
            break;
    }
    return done;
}

HRESULT ParseWave(ByteSource& source, WaveLayout& layout)
{
    layout = WaveLayout();
    uint8_t head[12];
    size_t got = source.ReadAt(0, head, sizeof head);
    if (got < sizeof head || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
        return DMUS_E_UNSUPPORTED_STREAM; // a MIDI file ("MThd"), an empty file or anything else
    const uint64_t size = source.Size();
    bool haveFormat = false, haveData = false;
    uint64_t offset = 12;
    // The RIFF size is not trusted: chunks are walked as far as the source really goes.
    while (!(haveFormat && haveData)) {
        uint8_t chunk[8];
        if (source.ReadAt(offset, chunk, sizeof chunk) < sizeof chunk)
            break;
        uint32_t chunkSize = Le32(chunk + 4);
        uint64_t body = offset + 8;
        if (!haveFormat && std::memcmp(chunk, "fmt ", 4) == 0) {
            uint8_t fmt[40] = {};
            size_t want = std::min<size_t>(chunkSize, sizeof fmt);
            if (chunkSize < 16 || source.ReadAt(body, fmt, want) < want)
                return DMUS_E_INVALIDFILE;
            HRESULT hr = ParseFormat(fmt, want, layout.format);
            if (FAILED(hr))
                return hr;
            haveFormat = true;
        } else if (!haveData && std::memcmp(chunk, "data", 4) == 0) {
            layout.dataOffset = body;
            layout.dataBytes = chunkSize;
            if (size != ByteSource::kUnknownSize)
                layout.dataBytes = body < size ? std::min<uint64_t>(chunkSize, size - body) : 0;
            haveData = true;
        }
        offset = body + chunkSize + (chunkSize & 1);
        if (size != ByteSource::kUnknownSize && offset >= size)
            break;
    }
    if (!haveFormat || !haveData)
        return DMUS_E_INVALIDFILE;
    layout.dataBytes -= layout.dataBytes % static_cast<uint64_t>(layout.format.blockAlign);
    if (layout.dataBytes == 0)
        return DMUS_E_INVALIDFILE;
    return S_OK;
}

namespace {

class MemoryPcmReader : public PcmReader {
public:
    MemoryPcmReader(std::shared_ptr<const WaveData> wave, const uint8_t* pcm, size_t size)
        : wave_(std::move(wave)), pcm_(pcm), size_(size) {}
    bool Rewind() override { pos_ = 0; return true; }
    size_t Read(uint8_t* dst, size_t count) override
    {
        size_t n = std::min(count, size_ - pos_);
        std::memcpy(dst, pcm_ + pos_, n);
        pos_ += n;
        return n;
    }

private:
    std::shared_ptr<const WaveData> wave_; // keeps the samples alive
    const uint8_t* pcm_;
    size_t size_;
    size_t pos_ = 0;
};

class StreamPcmReader : public PcmReader {
public:
    StreamPcmReader(IStream* stream, uint64_t dataOffset, uint64_t dataBytes)
        : stream_(stream), dataOffset_(dataOffset), dataBytes_(dataBytes) { Rewind(); }
    ~StreamPcmReader() override { stream_->Release(); }
    bool Rewind() override
    {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(dataOffset_);
        failed_ = FAILED(stream_->Seek(at, STREAM_SEEK_SET, nullptr));
        pos_ = 0;
        return !failed_;
    }
    size_t Read(uint8_t* dst, size_t count) override
    {
        size_t done = 0;
        while (!failed_ && done < count && pos_ < dataBytes_) {
            ULONG want = static_cast<ULONG>(std::min<uint64_t>({count - done, dataBytes_ - pos_, 1u << 20}));
            ULONG got = 0;
            HRESULT hr = stream_->Read(dst + done, want, &got);
            got = std::min(got, want);
            done += got;
            pos_ += got;
            if (FAILED(hr))
                failed_ = true; // a decoding error ends the sound here
            if (got == 0)
                break;
        }
        return done;
    }

private:
    IStream* stream_;
    uint64_t dataOffset_;
    uint64_t dataBytes_;
    uint64_t pos_ = 0;
    bool failed_ = false;
};

} // namespace

HRESULT WaveData::FromMemory(const uint8_t* data, size_t size, std::shared_ptr<WaveData>& out)
{
    out.reset();
    if (!data && size > 0)
        return E_POINTER;
    MemoryByteSource source(data, size);
    std::shared_ptr<WaveData> wave(new WaveData());
    HRESULT hr = ParseWave(source, wave->layout_);
    if (FAILED(hr))
        return hr;
    wave->pcm_.assign(data + wave->layout_.dataOffset, data + wave->layout_.dataOffset + wave->layout_.dataBytes);
    out = std::move(wave);
    return S_OK;
}

HRESULT WaveData::FromStream(IStream* stream, std::shared_ptr<WaveData>& out)
{
    out.reset();
    if (!stream)
        return E_POINTER;
    StreamByteSource source(stream);
    std::shared_ptr<WaveData> wave(new WaveData());
    HRESULT hr = ParseWave(source, wave->layout_);
    if (FAILED(hr))
        return hr;
    // The wave keeps a stream of its own, so the caller may go on using or release theirs.
    IStream* own = nullptr;
    if (FAILED(stream->Clone(&own)) || !own) {
        own = stream;
        own->AddRef();
    }
    wave->stream_ = own;
    out = std::move(wave);
    return S_OK;
}

WaveData::~WaveData()
{
    if (stream_)
        stream_->Release();
}

std::unique_ptr<PcmReader> WaveData::OpenReader(const std::shared_ptr<const WaveData>& self) const
{
    if (!stream_)
        return std::make_unique<MemoryPcmReader>(self, pcm_.data(), pcm_.size());
    // Every player reads a clone, so that two plays of one wave do not move each other.
    IStream* reader = nullptr;
    if (FAILED(stream_->Clone(&reader)) || !reader) {
        reader = stream_;
        reader->AddRef();
    }
    return std::make_unique<StreamPcmReader>(reader, layout_.dataOffset, layout_.dataBytes);
}

} // namespace qv::dm
