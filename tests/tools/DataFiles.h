// Reading the generated data tree back in the tests.
#pragma once

#include "support/TestSupport.h"

#include <map>
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

// 64-bit FNV-1a of some bytes, as 16 hexadecimal digits.
std::string Checksum(const std::vector<uint8_t>& bytes);

// The data tree as committed by hand in tests/tools/data-checksums.txt: for each file its
// checksum and size, "-" where the bytes depend on the host's libraries (fonts drawn with
// FreeType, music encoded with libvorbis) rather than on the generator alone.
struct CommittedFile {
    std::string checksum;
    std::string size;
};
std::map<std::string, CommittedFile> CommittedTree();
// Rewrites that list from the build's tree (QV_UPDATE_REFERENCES=1).
void WriteCommittedTree(const std::map<std::string, CommittedFile>& tree);
// Whether a file's bytes depend on the host's libraries.
bool HostDependent(const std::string& relative);

} // namespace qvtest
