// The DirectX .x file reader: the text and binary encodings (and their MSZIP-compressed
// forms) parsed into a tree of generic data objects. Template declarations are skipped; what a
// data object means is decided later (XFileScene), so unknown templates cost nothing here.
// Internal to the platform layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xfile {

// One primitive value of a data object, in file order. Text numbers without a fraction or an
// exponent are integers; binary integer lists give integers and float lists give floats.
struct XValue {
    enum Kind : uint8_t { Integer, Float, String };
    Kind kind;
    double number;          // Integer and Float
    std::string_view text;  // String (points into the document's buffer)
};

// A child of a data object: a nested object or a reference to a named object ({ Name }).
struct XChild {
    uint32_t object;          // index into XFileDocument::objects, or kNone for a reference
    std::string_view reference;
    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    bool IsReference() const { return object == kNone; }
};

struct XObject {
    std::string_view templateName;
    std::string_view name;  // empty when the object has none
    std::vector<XValue> values;
    std::vector<XChild> children;
};

// Limits that keep hostile input from costing unbounded time or memory, all in one place. A
// model is refused when it goes past any of them. Those on the hierarchy are about a hundred
// times the largest of the game's own models (18 frames; one mesh of 80,000 faces and 40,401
// vertices; 7 materials; 17 bones with 1,169 weights) and count a mesh or frame again for each
// reference to it, since the loader builds a whole device mesh for every one.
struct XLimits {
    static constexpr int kMaxDepth = 128;                  // nested data objects
    // Bytes of a file, after decompression. The parsed values take up to 16 times the bytes of
    // a text file, so this stays at eight times the game's largest (8 MB), not a hundred.
    static constexpr size_t kMaxDecompressed = 64u << 20;
    // Values and children read while the scene is built, references reading theirs again: as
    // many as the largest file could hold without references.
    static constexpr size_t kMaxSceneElements = 32u << 20;
    static constexpr size_t kMaxFrames = 2000;
    static constexpr size_t kMaxMeshContainers = 100;
    static constexpr size_t kMaxFaces = 8000000;           // triangles
    static constexpr size_t kMaxVertices = 4000000;
    static constexpr size_t kMaxMaterials = 1000;
    static constexpr size_t kMaxBones = 2000;
    static constexpr size_t kMaxBoneWeights = 120000;      // a bone's weight on a vertex
};

class XFileDocument {
public:
    // Parses a whole file image. On failure answers false and Error() says why; the document
    // is then empty. Never reads outside [data, data + size).
    bool Parse(const void* data, size_t size);

    const std::string& Error() const { return m_error; }
    bool IsBinary() const { return m_binary; }

    // Every data object; top-level ones are listed in TopLevel() in file order.
    const std::vector<XObject>& Objects() const { return m_objects; }
    const std::vector<uint32_t>& TopLevel() const { return m_topLevel; }

    // The first object of that name anywhere in the file, or XChild::kNone.
    uint32_t FindNamed(std::string_view name) const;

private:
    friend class TextParser;
    friend class BinaryParser;

    std::vector<char> m_buffer;  // the (decompressed) bytes that names and strings point into
    std::vector<XObject> m_objects;
    std::vector<uint32_t> m_topLevel;
    std::vector<std::pair<std::string_view, uint32_t>> m_named;  // sorted by name, then index
    std::string m_error;
    bool m_binary = false;
};

// MSZIP as used by the compressed encodings: after the 16-byte header, the total size as a
// 32-bit value, then blocks of {uncompressed size (16 bits), compressed size (16 bits), "CK",
// deflate data}, each block using the output so far as its dictionary. Answers false with a
// message on any inconsistency.
bool XFileDecompress(const uint8_t* data, size_t size, std::vector<char>& out, std::string& error);

} // namespace xfile
