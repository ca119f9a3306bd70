// A headless window with the device owner's device on it, for the drawing classes' tests, and
// reading back what was drawn.
#pragma once

#include <string>

#include "platform/platform.h"
#include "support/TestSupport.h"

namespace rendertest {

// Opens a window of the given client size and initialises g_DirectX9 on it; false (with the
// failure text in *error) when no device could be had.
bool OpenDevice(UINT width, UINT height, std::string* error);
void CloseDevice();

// Clears, begins the scene, and afterwards ends it and reads the back buffer (before Present,
// which would leave the back buffer undefined).
bool BeginFrame(DWORD clearColor);
qvtest::Image EndFrameAndRead();

// Makes a fresh folder the working directory, so that ".\data\..." paths land in it.
std::string EnterTempDir(const std::string& name);

} // namespace rendertest
