// The frame timer: holds each frame to a period in microseconds and measures the frame rate
// and the share of the frame spent working, both averaged over the last 10 frames.
#pragma once

#include "platform/platform.h"

// Mean frames per second and mean working share (1 = the whole period) of the last 10 frames.
extern float g_fFPS;
extern float g_fCPULoad;

// Asks for the finest multimedia-timer period on either path. False when neither the
// performance counter nor any multimedia-timer period is available.
bool InitTimer();
// Waits out the rest of the period (microseconds) since the previous call. False before
// InitTimer or for a period that is negative as a signed number.
bool KeepFrame(DWORD period);
// Gives back the multimedia-timer period that InitTimer asked for; false only when that fails.
bool ReleaseTimer();
