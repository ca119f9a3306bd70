// A COM stream over bytes in memory that counts how it is used, for tests of the loader.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/com/Com.h"

namespace dmtest {

struct StreamUse {
    std::atomic<int> reads{0}, seeks{0}, clones{0}, alive{0};
    std::atomic<uint64_t> bytesRead{0};
    // Each stream object (and each clone) delivers at most this many bytes in all, then reads
    // nothing more though its size says otherwise, as a decoder that fails part way.
    uint64_t deliverLimit = ~uint64_t(0);
};

class MemoryStream : public IStream {
public:
    MemoryStream(std::shared_ptr<const std::vector<uint8_t>> bytes, std::shared_ptr<StreamUse> use)
        : bytes_(std::move(bytes)), use_(std::move(use)) { ++use_->alive; }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IStream) ||
            IsEqualGUID(riid, IID_ISequentialStream)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG n = --refs_;
        if (n == 0) {
            --use_->alive;
            delete this;
        }
        return n;
    }
    STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        ++use_->reads;
        size_t n = pos_ < bytes_->size() ? std::min<size_t>(cb, bytes_->size() - pos_) : 0;
        n = static_cast<size_t>(std::min<uint64_t>(n, use_->deliverLimit - std::min(delivered_, use_->deliverLimit)));
        std::memcpy(pv, bytes_->data() + pos_, n);
        pos_ += n;
        delivered_ += n;
        use_->bytesRead += n;
        if (pcbRead)
            *pcbRead = static_cast<ULONG>(n);
        return S_OK;
    }
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPos) override
    {
        ++use_->seeks;
        int64_t base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_CUR ? int64_t(pos_) : int64_t(bytes_->size());
        int64_t p = base + move.QuadPart;
        if (p < 0)
            return STG_E_INVALIDFUNCTION;
        pos_ = size_t(p);
        if (newPos)
            newPos->QuadPart = pos_;
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
        ++use_->clones;
        auto* c = new MemoryStream(bytes_, use_);
        c->pos_ = pos_;
        *out = c;
        return S_OK;
    }

private:
    virtual ~MemoryStream() = default;
    std::shared_ptr<const std::vector<uint8_t>> bytes_;
    std::shared_ptr<StreamUse> use_;
    std::atomic<ULONG> refs_{1};
    size_t pos_ = 0;
    uint64_t delivered_ = 0;
};

} // namespace dmtest
