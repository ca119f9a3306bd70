// Files named the Windows way (".\data\sound\pause.wav") opened on the host. The game calls
// fopen as it does on Windows; here that name reaches QvFopen, which turns the path into the
// host's form first. Included last by platform/platform.h, after <cstdio>.
#pragma once

#include <cstdio>
#include <string>

// ".\data\x.wav" -> "./data/x.wav": backslashes become slashes; nothing else changes.
std::string QvHostPath(const char* windowsPath);
FILE* QvFopen(const char* windowsPath, const char* mode);

#define fopen QvFopen
