#include "platform/dmusic/AudioEngine.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/dmusic/DMusicTestHooks.h"

namespace qv::dm {

namespace {

constexpr int kBufferCount = 4;
constexpr size_t kBufferFrames = 4096;
constexpr int kDefaultRate = 44100;
constexpr auto kTick = std::chrono::milliseconds(5);
constexpr DWORD kEndlessRepeats = 0x7FFFFFFF; // what callers use for "without end"

// Every OpenAL call of the layer is made under this one lock, with the engine's context made
// current, so that engines on several devices and the feeding thread never interleave.
// Never destroyed: a performance still open at exit closes down after other statics are gone.
std::recursive_mutex& AudioMutex()
{
    static auto* m = new std::recursive_mutex();
    return *m;
}

bool g_useLoopback = false;
int g_loopbackRate = kDefaultRate;
bool g_useSilent = false;
std::weak_ptr<Engine> g_loopbackEngine;

// Hundredths of a decibel to a linear gain; DirectSound's floor of -10000 is silence.
float DbToGain(double hundredths)
{
    if (hundredths <= DSBVOLUME_MIN)
        return 0.0f;
    return static_cast<float>(std::pow(10.0, hundredths / 2000.0));
}

ALenum AlFormat(const WaveFormatInfo& f)
{
    if (f.channels == 1)
        return f.bits == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
    return f.bits == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
}

} // namespace

struct Voice {
    uint64_t segmentId = 0;
    std::shared_ptr<PathState> path;
    std::shared_ptr<const WaveData> wave;
    std::unique_ptr<PcmReader> reader;
    WaveFormatInfo format;
    ALuint source = 0;
    ALuint buffers[kBufferCount] = {};
    std::vector<ALuint> idle; // buffers ready to be filled
    uint64_t periodBytes = 0; // bytes of one pass
    bool padToPeriod = false; // a pass longer than the wave ends in silence
    bool endless = false;
    DWORD repeatsLeft = 0;
    uint64_t passBytes = 0;
    bool passHadData = false; // a pass that delivers no sample ends the repeats
    bool allQueued = false;
    bool finished = false;
    float gain = -1.0f;
    std::vector<uint8_t> chunk;
};

class EngineLock {
public:
    explicit EngineLock(const Engine& engine) : lock_(AudioMutex())
    {
        if (engine.context_)
            alcMakeContextCurrent(static_cast<ALCcontext*>(engine.context_));
    }

private:
    std::unique_lock<std::recursive_mutex> lock_;
};

double PathState::VolumeAt(double now) const
{
    if (rampSeconds <= 0.0 || now >= rampStart + rampSeconds)
        return rampTo;
    double t = std::max(0.0, (now - rampStart) / rampSeconds);
    return rampFrom + (rampTo - rampFrom) * t;
}

std::shared_ptr<Engine> Engine::Open()
{
    std::shared_ptr<Engine> engine(new Engine());
    std::lock_guard<std::recursive_mutex> lock(AudioMutex());
    if (g_useLoopback) {
        if (!engine->OpenDevice(Output::Loopback, g_loopbackRate))
            return nullptr;
        g_loopbackEngine = engine;
        return engine;
    }
    if (g_useSilent || !engine->OpenDevice(Output::Device, kDefaultRate)) {
        if (!engine->OpenDevice(Output::Silent, kDefaultRate))
            return nullptr;
    }
    engine->thread_ = std::thread([e = engine.get()] { e->ThreadMain(); });
    return engine;
}

bool Engine::OpenDevice(Output output, int rate)
{
    output_ = output;
    rate_ = rate;
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    if (output == Output::Device) {
        device = alcOpenDevice(nullptr);
        if (device)
            context = alcCreateContext(device, nullptr);
    } else {
        device = alcLoopbackOpenDeviceSOFT(nullptr);
        if (device) {
            const ALCint attributes[] = {
                ALC_FREQUENCY, rate,
                ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                ALC_FORMAT_TYPE_SOFT, output == Output::Loopback ? ALC_FLOAT_SOFT : ALC_SHORT_SOFT,
                ALC_HRTF_SOFT, ALC_FALSE,
                ALC_OUTPUT_LIMITER_SOFT, ALC_FALSE,
                0};
            context = alcCreateContext(device, attributes);
        }
    }
    if (!context) {
        if (device)
            alcCloseDevice(device);
        return false;
    }
    if (output == Output::Device) {
        ALCint frequency = 0;
        alcGetIntegerv(device, ALC_FREQUENCY, 1, &frequency);
        if (frequency > 0)
            rate_ = frequency;
    }
    device_ = device;
    context_ = context;
    alcMakeContextCurrent(context);
    // DirectSound 3D's model: gain falls as minimum / distance between the minimum and the
    // maximum distance, and stays constant outside them.
    alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
    opened_ = std::chrono::steady_clock::now();
    return true;
}

Engine::~Engine() { Shutdown(); }

void Engine::Shutdown()
{
    {
        std::lock_guard<std::mutex> lock(wakeMutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    EngineLock lock(*this);
    for (auto& v : voices_)
        ReleaseVoice(*v);
    voices_.clear();
    if (context_) {
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(static_cast<ALCcontext*>(context_));
        context_ = nullptr;
    }
    if (device_) {
        alcCloseDevice(static_cast<ALCdevice*>(device_));
        device_ = nullptr;
    }
}

double Engine::Now() const
{
    if (output_ == Output::Loopback)
        return static_cast<double>(renderedFrames_) / rate_;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - opened_).count();
}

std::shared_ptr<Voice> Engine::Play(const std::shared_ptr<const WaveData>& wave, uint64_t periodFrames, DWORD repeats,
                                    const std::shared_ptr<PathState>& path, uint64_t segmentId)
{
    EngineLock lock(*this);
    if (!context_)
        return nullptr;
    auto voice = std::make_shared<Voice>();
    voice->segmentId = segmentId;
    voice->path = path;
    voice->wave = wave;
    voice->format = wave->Format();
    voice->reader = wave->OpenReader(wave);
    const uint64_t block = static_cast<uint64_t>(voice->format.blockAlign);
    voice->periodBytes = periodFrames ? periodFrames * block : wave->DataBytes();
    voice->padToPeriod = periodFrames != 0;
    voice->endless = repeats == DMUS_SEG_REPEAT_INFINITE || repeats == kEndlessRepeats;
    voice->repeatsLeft = repeats;
    voice->chunk.resize(kBufferFrames * block);
    StartVoice(*voice);
    voices_.push_back(voice);
    return voice;
}

void Engine::StartVoice(Voice& voice)
{
    alGenSources(1, &voice.source);
    alGenBuffers(kBufferCount, voice.buffers);
    if (alGetError() != AL_NO_ERROR) {
        ReleaseVoice(voice);
        voice.finished = true;
        return;
    }
    voice.idle.assign(voice.buffers, voice.buffers + kBufferCount);
    // Two-channel waves play as they are, straight to the speakers.
    if (voice.format.channels == 2)
        alSourcei(voice.source, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
    Apply3D(voice);
    ApplyGain(voice, Now());
    FeedVoice(voice);
    ALint queued = 0;
    alGetSourcei(voice.source, AL_BUFFERS_QUEUED, &queued);
    if (queued > 0)
        alSourcePlay(voice.source);
    else
        voice.finished = true;
}

// Fills the idle buffers with the next passes of the wave and queues them.
void Engine::FeedVoice(Voice& voice)
{
    const uint64_t block = static_cast<uint64_t>(voice.format.blockAlign);
    while (!voice.allQueued && !voice.idle.empty()) {
        size_t filled = 0;
        const size_t capacity = voice.chunk.size();
        while (filled < capacity && !voice.allQueued) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(capacity - filled, voice.periodBytes - voice.passBytes));
            size_t got = 0;
            if (want > 0) {
                got = voice.reader->Read(voice.chunk.data() + filled, want);
                if (got == 0 && voice.padToPeriod) {
                    // The wave is shorter than the segment: silence until the pass ends.
                    uint8_t silence = voice.format.bits == 8 ? 0x80 : 0x00;
                    std::memset(voice.chunk.data() + filled, silence, want);
                    got = want;
                } else if (got > 0) {
                    voice.passHadData = true;
                }
            }
            filled += got;
            voice.passBytes += got;
            if (got > 0 && voice.passBytes < voice.periodBytes)
                continue;
            // End of a pass: drop a partial frame, then start the next pass or finish.
            size_t partial = static_cast<size_t>(voice.passBytes % block);
            filled -= std::min(partial, filled);
            bool again = voice.passHadData && (voice.endless || voice.repeatsLeft > 0);
            if (again && voice.reader->Rewind()) {
                if (!voice.endless)
                    --voice.repeatsLeft;
                voice.passBytes = 0;
                voice.passHadData = false;
            } else {
                voice.allQueued = true;
            }
        }
        if (filled == 0)
            break;
        ALuint buffer = voice.idle.back();
        voice.idle.pop_back();
        alBufferData(buffer, AlFormat(voice.format), voice.chunk.data(), static_cast<ALsizei>(filled),
                     voice.format.rate);
        alSourceQueueBuffers(voice.source, 1, &buffer);
    }
}

void Engine::ReleaseVoice(Voice& voice)
{
    if (voice.source) {
        alSourceStop(voice.source);
        alSourcei(voice.source, AL_BUFFER, 0);
        alDeleteSources(1, &voice.source);
        voice.source = 0;
    }
    if (voice.buffers[0]) {
        alDeleteBuffers(kBufferCount, voice.buffers);
        std::fill(std::begin(voice.buffers), std::end(voice.buffers), 0u);
    }
    voice.idle.clear();
    voice.reader.reset(); // closes the voice's own stream
    voice.finished = true;
}

void Engine::ApplyGain(Voice& voice, double now)
{
    float gain = DbToGain(voice.path->VolumeAt(now));
    if (gain != voice.gain) {
        voice.gain = gain;
        alSourcef(voice.source, AL_GAIN, gain);
    }
}

namespace {

// DirectSound's coordinates are left-handed (z into the screen), OpenAL's right-handed.
void SetVector(ALuint source, ALenum param, const D3DVECTOR& v) { alSource3f(source, param, v.x, v.y, -v.z); }

} // namespace

void Engine::Apply3D(Voice& voice)
{
    const PathState& path = *voice.path;
    const DS3DBUFFER& b = path.buffer3D;
    if (!path.has3D || b.dwMode == DS3DMODE_DISABLE) {
        alSourcei(voice.source, AL_SOURCE_RELATIVE, AL_TRUE);
        alSource3f(voice.source, AL_POSITION, 0, 0, 0);
        alSource3f(voice.source, AL_VELOCITY, 0, 0, 0);
        alSourcef(voice.source, AL_ROLLOFF_FACTOR, 0);
        return;
    }
    alSourcei(voice.source, AL_SOURCE_RELATIVE, b.dwMode == DS3DMODE_HEADRELATIVE ? AL_TRUE : AL_FALSE);
    SetVector(voice.source, AL_POSITION, b.vPosition);
    SetVector(voice.source, AL_VELOCITY, b.vVelocity);
    SetVector(voice.source, AL_DIRECTION, b.vConeOrientation);
    alSourcef(voice.source, AL_CONE_INNER_ANGLE, static_cast<float>(b.dwInsideConeAngle));
    alSourcef(voice.source, AL_CONE_OUTER_ANGLE, static_cast<float>(b.dwOutsideConeAngle));
    alSourcef(voice.source, AL_CONE_OUTER_GAIN, DbToGain(b.lConeOutsideVolume));
    alSourcef(voice.source, AL_REFERENCE_DISTANCE, b.flMinDistance);
    alSourcef(voice.source, AL_MAX_DISTANCE, b.flMaxDistance);
    alSourcef(voice.source, AL_ROLLOFF_FACTOR, rolloff_);
}

void Engine::Update()
{
    const double now = Now();
    for (auto& voicePtr : voices_) {
        Voice& voice = *voicePtr;
        if (voice.finished)
            continue;
        ALint processed = 0;
        alGetSourcei(voice.source, AL_BUFFERS_PROCESSED, &processed);
        while (processed-- > 0) {
            ALuint buffer = 0;
            alSourceUnqueueBuffers(voice.source, 1, &buffer);
            voice.idle.push_back(buffer);
        }
        FeedVoice(voice);
        ApplyGain(voice, now);
        ALint state = 0, queued = 0;
        alGetSourcei(voice.source, AL_SOURCE_STATE, &state);
        alGetSourcei(voice.source, AL_BUFFERS_QUEUED, &queued);
        if (state != AL_PLAYING) {
            if (queued > 0)
                alSourcePlay(voice.source); // ran dry before the thread came round: go on
            else
                ReleaseVoice(voice);
        }
    }
    RetireFinished();
}

void Engine::RetireFinished()
{
    voices_.erase(std::remove_if(voices_.begin(), voices_.end(), [](const auto& v) { return v->finished; }),
                  voices_.end());
}

void Engine::Stop(const std::shared_ptr<Voice>& voice)
{
    EngineLock lock(*this);
    if (voice && !voice->finished)
        ReleaseVoice(*voice);
    RetireFinished();
}

void Engine::StopSegment(uint64_t segmentId)
{
    EngineLock lock(*this);
    for (auto& v : voices_)
        if (v->segmentId == segmentId)
            ReleaseVoice(*v);
    RetireFinished();
}

void Engine::StopPath(const PathState* path)
{
    EngineLock lock(*this);
    for (auto& v : voices_)
        if (v->path.get() == path)
            ReleaseVoice(*v);
    RetireFinished();
}

void Engine::StopAll()
{
    EngineLock lock(*this);
    for (auto& v : voices_)
        ReleaseVoice(*v);
    voices_.clear();
}

bool Engine::IsPlaying(const std::shared_ptr<Voice>& voice)
{
    EngineLock lock(*this);
    return voice && !voice->finished;
}

bool Engine::IsSegmentPlaying(uint64_t segmentId)
{
    EngineLock lock(*this);
    for (auto& v : voices_)
        if (v->segmentId == segmentId && !v->finished)
            return true;
    return false;
}

void Engine::SetPathVolume(PathState& path, LONG volume, DWORD milliseconds)
{
    EngineLock lock(*this);
    const double now = Now();
    path.rampFrom = path.VolumeAt(now);
    path.rampTo = volume;
    path.rampStart = now;
    path.rampSeconds = milliseconds / 1000.0;
    for (auto& v : voices_)
        if (v->path.get() == &path && !v->finished)
            ApplyGain(*v, now);
}

void Engine::SetPath3D(PathState& path, const DS3DBUFFER& params)
{
    EngineLock lock(*this);
    path.buffer3D = params;
    for (auto& v : voices_)
        if (v->path.get() == &path && !v->finished)
            Apply3D(*v);
}

void Engine::SetListener(const DS3DLISTENER& p)
{
    EngineLock lock(*this);
    if (!context_)
        return;
    alListener3f(AL_POSITION, p.vPosition.x, p.vPosition.y, -p.vPosition.z);
    alListener3f(AL_VELOCITY, p.vVelocity.x, p.vVelocity.y, -p.vVelocity.z);
    const ALfloat orientation[6] = {p.vOrientFront.x, p.vOrientFront.y, -p.vOrientFront.z,
                                    p.vOrientTop.x,   p.vOrientTop.y,   -p.vOrientTop.z};
    alListenerfv(AL_ORIENTATION, orientation);
    alDopplerFactor(p.flDopplerFactor);
    // The distance factor is metres per unit; sound travels 343.3 metres a second.
    if (p.flDistanceFactor > 0.0f)
        alSpeedOfSound(343.3f / p.flDistanceFactor);
    // The listener's rolloff factor scales every 3D buffer's distance attenuation.
    rolloff_ = p.flRolloffFactor;
    for (auto& v : voices_)
        if (!v->finished)
            Apply3D(*v);
}

void Engine::SetMasterVolume(LONG volume)
{
    EngineLock lock(*this);
    if (context_)
        alListenerf(AL_GAIN, DbToGain(volume));
}

std::vector<float> Engine::Render(size_t frames)
{
    EngineLock lock(*this);
    std::vector<float> out(frames * 2, 0.0f);
    if (output_ != Output::Loopback || !device_)
        return out;
    // Small steps, so that feeding and ramps advance with the mixed time as they do in real time.
    constexpr size_t kStep = 64;
    for (size_t done = 0; done < frames;) {
        size_t n = std::min(kStep, frames - done);
        Update();
        alcRenderSamplesSOFT(static_cast<ALCdevice*>(device_), out.data() + done * 2, static_cast<ALCsizei>(n));
        done += n;
        renderedFrames_ += n;
    }
    return out;
}

void Engine::ThreadMain()
{
    std::vector<int16_t> scratch;
    auto lastMix = std::chrono::steady_clock::now();
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(wakeMutex_);
            if (wake_.wait_for(lock, kTick, [this] { return quit_; }))
                return;
        }
        EngineLock lock(*this);
        if (output_ != Output::Silent) {
            Update();
            continue;
        }
        // No sound card: mix into nothing at the pace of the clock, so that sounds take
        // their real time.
        auto now = std::chrono::steady_clock::now();
        auto due = static_cast<size_t>(std::chrono::duration<double>(now - lastMix).count() * rate_);
        if (due == 0)
            continue;
        lastMix += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(static_cast<double>(due) / rate_));
        due = std::min<size_t>(due, static_cast<size_t>(rate_) / 2); // after a stall, do not race
        constexpr size_t kStep = 512;
        scratch.resize(kStep * 2);
        for (size_t done = 0; done < due;) {
            size_t n = std::min(kStep, due - done);
            Update();
            alcRenderSamplesSOFT(static_cast<ALCdevice*>(device_), scratch.data(), static_cast<ALCsizei>(n));
            done += n;
        }
    }
}

} // namespace qv::dm

namespace qv::test {

void UseLoopbackAudio(bool on, int rate)
{
    std::lock_guard<std::recursive_mutex> lock(qv::dm::AudioMutex());
    qv::dm::g_useLoopback = on;
    qv::dm::g_loopbackRate = rate;
}

void UseSilentAudio(bool on)
{
    std::lock_guard<std::recursive_mutex> lock(qv::dm::AudioMutex());
    qv::dm::g_useSilent = on;
}

std::vector<float> RenderAudio(size_t frames)
{
    std::shared_ptr<qv::dm::Engine> engine;
    {
        std::lock_guard<std::recursive_mutex> lock(qv::dm::AudioMutex());
        engine = qv::dm::g_loopbackEngine.lock();
    }
    if (!engine)
        return {};
    return engine->Render(frames);
}

} // namespace qv::test
