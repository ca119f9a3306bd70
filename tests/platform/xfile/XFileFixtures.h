// .x files written by the tests: the two-bone skinned column in text form, and converters to
// the binary and compressed encodings, so that one fixture checks every encoding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xfixture {

// A square column two units high made of two stacked boxes' sides (8 quads, 12 vertices),
// with per-side normals (so corners need splitting), texture coordinates, two materials (one
// textured), skinned to two bones ("Bone0" at the base, "Bone1" one unit up), and two
// animation sets ("Bend": Bone1 turns a quarter turn about z over 100 ticks; "Stretch":
// Bone1 moves up and grows) at 100 ticks a second.
std::string ColumnText();

// The same column without materials, normals or skin, with unnamed frames.
std::string PlainText();

// Converts a text .x (as the tests write it) into the binary encoding with 32- or 64-bit
// floats. Numbers with a '.' become float lists, the others integer lists.
std::vector<uint8_t> TextToBinary(const std::string& text, bool doubles = false);

// Wraps a text or binary image into its MSZIP-compressed form ("tzip" / "bzip"), cutting the
// body into blocks of `blockSize` bytes.
std::vector<uint8_t> Compress(const std::vector<uint8_t>& image, size_t blockSize = 32768);

inline std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

} // namespace xfixture
