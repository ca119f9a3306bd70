// The DirectMusic loader and the segments it makes from WAVE files, memory images and streams.
#include <atomic>
#include <climits>
#include <string>
#include <vector>

#include "platform/com/ComClasses.h"
#include "platform/dmusic/DMusicObjects.h"
#include "platform/win32/HostFile.h"
#include "platform/win32/Win32.h"

namespace qv::dm {

namespace {

std::atomic<uint64_t> g_nextSegmentId{1};

// UTF-16 (as the loader is given paths) to the UTF-8 of host file names: at most `max` units,
// up to the first 0.
std::string Utf16ToUtf8(const WCHAR* w, size_t max)
{
    size_t n = 0;
    while (n < max && w[n])
        ++n;
    if (n == 0 || n > static_cast<size_t>(INT_MAX))
        return std::string();
    const int units = static_cast<int>(n);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, w, units, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes <= 0 || WideCharToMultiByte(CP_UTF8, 0, w, units, &out[0], bytes, nullptr, nullptr) != bytes)
        return std::string();
    return out;
}

HRESULT ReadWholeFile(const WCHAR* path, size_t maxUnits, std::vector<uint8_t>& bytes)
{
    std::string name = Utf16ToUtf8(path, maxUnits);
    if (name.empty())
        return DMUS_E_LOADER_BADPATH;
    FILE* f = QvFopen(name.c_str(), "rb");
    if (!f)
        return DMUS_E_LOADER_FAILEDOPEN;
    bytes.clear();
    uint8_t block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0)
        bytes.insert(bytes.end(), block, block + n);
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    return failed ? DMUS_E_LOADER_FAILEDOPEN : S_OK;
}

HRESULT MakeSegment(const std::shared_ptr<WaveData>& wave, REFIID riid, void** ppv)
{
    Segment* segment = new Segment(wave);
    HRESULT hr = segment->QueryInterface(riid, ppv);
    segment->Release();
    return hr;
}

class Loader final : public ComObject<IDirectMusicLoader8> {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        return Answer(riid, ppv, {&IID_IUnknown, &IID_IDirectMusicLoader, &IID_IDirectMusicLoader8});
    }

    STDMETHODIMP GetObject(LPDMUS_OBJECTDESC pDesc, REFIID riid, LPVOID* ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (!pDesc)
            return E_POINTER;
        if (!(pDesc->dwValidData & DMUS_OBJ_CLASS) || !IsEqualGUID(pDesc->guidClass, CLSID_DirectMusicSegment))
            return DMUS_E_LOADER_NOCLASSID;
        std::shared_ptr<WaveData> wave;
        if (pDesc->dwValidData & DMUS_OBJ_STREAM) {
            HRESULT hr = WaveData::FromStream(pDesc->pStream, wave);
            return FAILED(hr) ? hr : MakeSegment(wave, riid, ppv);
        }
        if (pDesc->dwValidData & DMUS_OBJ_MEMORY) {
            if (pDesc->llMemLength < 0)
                return E_INVALIDARG;
            HRESULT hr = WaveData::FromMemory(pDesc->pbMemData, static_cast<size_t>(pDesc->llMemLength), wave);
            return FAILED(hr) ? hr : MakeSegment(wave, riid, ppv);
        }
        if (pDesc->dwValidData & DMUS_OBJ_FILENAME) {
            std::vector<uint8_t> bytes;
            HRESULT hr = ReadWholeFile(pDesc->wszFileName, DMUS_MAX_FILENAME, bytes);
            if (FAILED(hr))
                return hr;
            hr = WaveData::FromMemory(bytes.data(), bytes.size(), wave);
            return FAILED(hr) ? hr : MakeSegment(wave, riid, ppv);
        }
        return DMUS_E_LOADER_NOCLASSID;
    }

    // Segments are not kept by the loader once handed out, so there is nothing to drop.
    STDMETHODIMP ClearCache(REFGUID) override { return S_OK; }

    STDMETHODIMP LoadObjectFromFile(REFGUID rguidClassID, REFIID iidInterfaceID, WCHAR* pwzFilePath,
                                    void** ppObject) override
    {
        if (!ppObject)
            return E_POINTER;
        *ppObject = nullptr;
        if (!pwzFilePath)
            return E_POINTER;
        if (!IsEqualGUID(rguidClassID, CLSID_DirectMusicSegment))
            return DMUS_E_LOADER_NOCLASSID;
        std::vector<uint8_t> bytes;
        HRESULT hr = ReadWholeFile(pwzFilePath, SIZE_MAX, bytes);
        if (FAILED(hr))
            return hr;
        std::shared_ptr<WaveData> wave;
        hr = WaveData::FromMemory(bytes.data(), bytes.size(), wave);
        return FAILED(hr) ? hr : MakeSegment(wave, iidInterfaceID, ppObject);
    }
};

} // namespace

Segment::Segment(std::shared_ptr<const WaveData> wave) : wave_(std::move(wave)), id_(g_nextSegmentId++)
{
    int64_t ticks = static_cast<int64_t>(wave_->Frames()) * kTicksPerSecond / wave_->Format().rate;
    length_ = static_cast<MUSIC_TIME>(std::min<int64_t>(std::max<int64_t>(ticks, 1), 0x7FFFFFFF));
}

STDMETHODIMP Segment::QueryInterface(REFIID riid, void** ppv)
{
    return Answer(riid, ppv, {&IID_IUnknown, &IID_IDirectMusicSegment, &IID_IDirectMusicSegment8});
}

STDMETHODIMP Segment::GetLength(MUSIC_TIME* pmtLength)
{
    if (!pmtLength)
        return E_POINTER;
    *pmtLength = length_;
    return S_OK;
}

STDMETHODIMP Segment::SetLength(MUSIC_TIME mtLength)
{
    if (mtLength <= 0)
        return E_INVALIDARG;
    length_ = mtLength;
    lengthSet_ = true;
    return S_OK;
}

STDMETHODIMP Segment::SetRepeats(DWORD dwRepeats)
{
    repeats_ = dwRepeats;
    return S_OK;
}

// A wave segment has no MIDI track to configure; the standard-MIDI-file switch is accepted
// and changes nothing.
STDMETHODIMP Segment::SetParam(REFGUID rguidType, DWORD, DWORD, MUSIC_TIME, void*)
{
    return IsEqualGUID(rguidType, GUID_StandardMIDIFile) ? S_OK : DMUS_E_SET_UNSUPPORTED;
}

STDMETHODIMP Segment::Download(IUnknown* pAudioPath)
{
    if (!pAudioPath)
        return E_POINTER;
    ++downloads_;
    return S_OK;
}

STDMETHODIMP Segment::Unload(IUnknown* pAudioPath)
{
    if (!pAudioPath)
        return E_POINTER;
    if (downloads_ > 0)
        --downloads_;
    return S_OK;
}

uint64_t Segment::PeriodFrames() const
{
    if (!lengthSet_)
        return 0;
    return static_cast<uint64_t>(length_) * static_cast<uint64_t>(wave_->Format().rate) / kTicksPerSecond;
}

} // namespace qv::dm

HRESULT qv::CreateDirectMusicLoader(REFIID riid, void** ppv)
{
    auto* loader = new qv::dm::Loader();
    HRESULT hr = loader->QueryInterface(riid, ppv);
    loader->Release();
    return hr;
}
