// The sound output behind a DirectMusic performance: one OpenAL Soft device and context,
// a voice (an OpenAL source fed from a queue of buffers) for every playing segment, and a
// thread that keeps the voices fed, carries out volume ramps and retires finished voices.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dmusic/DMusic.h"
#include "platform/dmusic/WaveFormat.h"

namespace qv::dm {

// The mix settings of one audio path, shared by the voices that play on it.
struct PathState {
    DWORD type = 0;
    bool has3D = false;
    DS3DBUFFER buffer3D{};
    // Volume in hundredths of a decibel, moving from `rampFrom` to `rampTo` over
    // `rampSeconds` from `rampStart` (engine time).
    double rampFrom = 0, rampTo = 0, rampStart = 0, rampSeconds = 0;
    double VolumeAt(double now) const;
};

struct Voice;

class Engine {
public:
    enum class Output { Device, Silent, Loopback };

    // Opens the output that the test hooks ask for, else the default device, else the silent
    // device that keeps real time. Null only when OpenAL cannot even make a loopback device.
    static std::shared_ptr<Engine> Open();
    ~Engine();
    void Shutdown();

    Output GetOutput() const { return output_; }

    // Starts a wave on a path. `periodFrames` is the length of one pass (0: the wave's own
    // length); `repeats` more passes follow (DMUS_SEG_REPEAT_INFINITE or 0x7FFFFFFF: endless).
    std::shared_ptr<Voice> Play(const std::shared_ptr<const WaveData>& wave, uint64_t periodFrames, DWORD repeats,
                                const std::shared_ptr<PathState>& path, uint64_t segmentId);
    void Stop(const std::shared_ptr<Voice>& voice);
    void StopSegment(uint64_t segmentId);
    void StopPath(const PathState* path);
    void StopAll();
    bool IsPlaying(const std::shared_ptr<Voice>& voice);
    bool IsSegmentPlaying(uint64_t segmentId);

    void SetPathVolume(PathState& path, LONG volume, DWORD milliseconds);
    void SetPath3D(PathState& path, const DS3DBUFFER& params);
    void SetListener(const DS3DLISTENER& params);
    void SetMasterVolume(LONG volume);

    // Loopback only: mixes `frames` stereo frames as floats, feeding and ramping as it goes.
    std::vector<float> Render(size_t frames);

private:
    Engine() = default;
    bool OpenDevice(Output output, int rate);
    double Now() const;
    void Update(); // the lock is held
    void StartVoice(Voice& voice);
    void FeedVoice(Voice& voice);
    void ReleaseVoice(Voice& voice);
    void ApplyGain(Voice& voice, double now);
    void Apply3D(Voice& voice);
    void RetireFinished();
    void ThreadMain();

    Output output_ = Output::Device;
    void* device_ = nullptr;  // ALCdevice
    void* context_ = nullptr; // ALCcontext
    int rate_ = 44100;
    std::chrono::steady_clock::time_point opened_;
    uint64_t renderedFrames_ = 0;
    std::vector<std::shared_ptr<Voice>> voices_;
    float rolloff_ = 1.0f;
    std::thread thread_;
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    bool quit_ = false;

    friend class EngineLock;
};

} // namespace qv::dm
