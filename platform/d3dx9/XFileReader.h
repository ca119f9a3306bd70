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

// Limits that keep hostile input from costing unbounded time or memory.
struct XLimits {
    static constexpr int kMaxDepth = 128;                       // nested data objects
    static constexpr size_t kMaxDecompressed = 64u << 20;       // bytes, for tzip/bzip
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
