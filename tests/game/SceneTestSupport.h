// Surroundings for the scene tests: a headless window with the device owner's device on it,
// the generated data tree under the working directory, sound on the dummy device, and frames
// run through the character system as the frame function runs them.
#pragma once

#include <string>

#include "platform/platform.h"
#include "support/TestSupport.h"

namespace scenetest {

// Makes a fresh folder the working directory, with `data` pointing at the generated data, so
// that ".\data\..." paths open the generated files. Answers the folder (empty on failure).
std::string EnterDataDir();
// The same, without the data: the scene finds nothing.
std::string EnterEmptyDir();
// The generated data without one file (a path under data/, e.g. "xfile/TitleChar.x"); with
// `replacement` set, that file holds those bytes instead.
std::string EnterDataDirWithout(const std::string& file, const std::string* replacement = nullptr);

// A window of the given client size and g_DirectX9 on it; false with the text on failure.
bool OpenDevice(UINT width, UINT height, std::string* error);
// Sound front end on the window, mixing into the loopback device, where no sound ends by itself.
void OpenSound();
// Deletes every character, then releases sound and device.
void CloseAll();

// One frame of the frame function's character passes: update, draw (when `draw`), delete.
void RunFrame(bool draw = true);
// Runs frames until `frames` have passed.
void RunFrames(int frames, bool draw = true);
// A frame whose picture is read back (before presenting).
qvtest::Image RunFrameAndRead();

// Number of live characters in the registry of a given type.
template <typename T>
int CountOf();

// Channels and streams of the sound front end that are playing now.
int PlayingChannels();
bool IsStreamPlaying(int stream);

} // namespace scenetest

#include "app/CCharacter.h"

template <typename T>
int scenetest::CountOf()
{
    int n = 0;
    for (CCharacter* c : CCharacterSystem::CharacterList)
        if (dynamic_cast<T*>(c))
            ++n;
    return n;
}
