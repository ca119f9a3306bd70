// Reading the generated data tree back in the tests.
#pragma once

#include "support/TestSupport.h"

#include <string>
#include <vector>

namespace qvtest {

// The generated tree of the build ("<run>/data").
std::string DataDir();
// A texture read with stb_image (TGA or BMP) into RGBA; fails the test when it cannot be read.
bool LoadTexture(const std::string& relative, Image& image);
// Every regular file under a folder, as paths relative to it, sorted.
std::vector<std::string> ListFiles(const std::string& root);
// Runs a shell command, answering its exit status and its output (stdout and stderr).
int RunCommand(const std::string& command, std::string& output);

} // namespace qvtest
