// Fuzz target: WAVE images as the DirectMusic loader meets them, from memory and through a
// stream, down to the last sample of every pass.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/com/ComClasses.h"
#include "platform/dmusic/DMusic.h"
#include "platform/dmusic/WaveFormat.h"

namespace {

// A read-only stream over the input that answers Read, Seek and Clone like a file would.
class InputStream : public IStream {
public:
    InputStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG n = --refs_;
        if (n == 0)
            delete this;
        return n;
    }
    STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        size_t n = pos_ < size_ ? std::min<size_t>(cb, size_ - pos_) : 0;
        if (n)
            std::memcpy(pv, data_ + pos_, n);
        pos_ += n;
        if (pcbRead)
            *pcbRead = static_cast<ULONG>(n);
        return S_OK;
    }
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* out) override
    {
        int64_t base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_CUR ? int64_t(pos_) : int64_t(size_);
        if (move.QuadPart < -base)
            return STG_E_INVALIDFUNCTION;
        pos_ = size_t(base + move.QuadPart);
        if (out)
            out->QuadPart = pos_;
        return S_OK;
    }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Clone(IStream** out) override
    {
        auto* c = new InputStream(data_, size_);
        c->pos_ = pos_;
        *out = c;
        return S_OK;
    }

private:
    virtual ~InputStream() = default;
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    std::atomic<ULONG> refs_{1};
};

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
    auto* stream = new InputStream(data, size);
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
