// Hooks through which tests choose the sound output of the DirectMusic layer and read what it
// mixes. Not used by the game itself.
#pragma once

#include <cstddef>
#include <vector>

namespace qv::test {

// Performances initialised from now on mix into OpenAL Soft's loopback device (stereo float
// at `rate`); nothing is mixed until RenderAudio asks for it, and the layer's time (volume
// ramps, feeding) follows the mixed frames. `false` returns to the default device.
void UseLoopbackAudio(bool on, int rate = 44100);

// Performances initialised from now on use the silent device that keeps real time, as when
// no sound card can be opened.
void UseSilentAudio(bool on);

// Mixes `frames` frames on the most recently initialised loopback performance: interleaved
// left and right floats. Empty when there is none.
std::vector<float> RenderAudio(size_t frames);

} // namespace qv::test
