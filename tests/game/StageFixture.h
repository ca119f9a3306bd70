// Surroundings of the stage tests: a working folder whose ".\data" is the generated tree
// (with an optional building list of the test's own), a device on a headless window, and the
// frame passes of the character system.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/TestSupport.h"

namespace stagetest {

// Makes a fresh working folder with the generated data. With `map` set, the building list is
// that text; with `withMap` false there is none at all.
std::string EnterStageDir(const char* map = nullptr, bool withMap = true);

// A device of the given size on a headless window; `stencil` asks for a depth buffer with
// stencil, else 16-bit depth.
bool OpenDevice(UINT width, UINT height, bool stencil, std::string* error);
void CloseDevice();

// One frame of the game without the frame pacing: update, optional draw, deletion.
void RunFrame(bool draw = false);
// The back buffer after a drawn frame.
qvtest::Image DrawFrameAndRead();

// Every test: a working folder, a device, and nothing left in the registry at the end.
class StageTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    virtual const char* Map() const { return nullptr; }
    virtual bool Stencil() const { return true; }
    virtual UINT Width() const { return 160; }
};

} // namespace stagetest
