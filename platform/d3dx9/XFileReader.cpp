#include "platform/d3dx9/XFileReader.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>

namespace xfile {

namespace {

// Thrown inside the parsers only; Parse turns it into its answer.
struct ParseError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& what) { throw ParseError(what); }

bool IsNameStart(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}

bool IsNameChar(unsigned char c)
{
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Read32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Text encoding

class TextParser {
public:
    TextParser(XFileDocument& doc, const char* begin, const char* end)
        : m_doc(doc), m_begin(begin), m_p(begin), m_end(end) {}

    void Run()
    {
        for (;;) {
            SkipSpace();
            if (m_p == m_end)
                return;
            if (!IsNameStart(static_cast<unsigned char>(*m_p)))
                Fail(Where() + "expected a template or a data object");
            std::string_view word = ReadName();
            if (EqualsNoCase(word, "template"))
                SkipTemplate();
            else
                m_doc.m_topLevel.push_back(ParseObject(word, 1));
        }
    }

private:
    std::string Where() const
    {
        int line = 1 + static_cast<int>(std::count(m_begin, m_p, '\n'));
        return "line " + std::to_string(line) + ": ";
    }

    // Whitespace, comments and the separators ',' and ';' (values are read in order, so the
    // separators carry nothing that the reader needs).
    void SkipSpace()
    {
        while (m_p != m_end) {
            char c = *m_p;
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ';' || c == '\f' ||
                c == '\v' || c == '\0') {
                ++m_p;
            } else if (c == '#' || (c == '/' && m_p + 1 != m_end && m_p[1] == '/')) {
                const void* nl = std::memchr(m_p, '\n', static_cast<size_t>(m_end - m_p));
                m_p = nl ? static_cast<const char*>(nl) : m_end;
            } else {
                return;
            }
        }
    }

    std::string_view ReadName()
    {
        const char* start = m_p;
        while (m_p != m_end && IsNameChar(static_cast<unsigned char>(*m_p)))
            ++m_p;
        return std::string_view(start, static_cast<size_t>(m_p - start));
    }

    // "<...>": the class identifier of an object or a template; its value is not needed.
    void SkipGuid()
    {
        const void* close = std::memchr(m_p, '>', static_cast<size_t>(m_end - m_p));
        if (!close)
            Fail(Where() + "unterminated <identifier>");
        m_p = static_cast<const char*>(close) + 1;
    }

    void Expect(char c, const char* what)
    {
        SkipSpace();
        if (m_p == m_end || *m_p != c)
            Fail(Where() + "expected " + what);
        ++m_p;
    }

    void SkipTemplate()
    {
        SkipSpace();
        if (m_p == m_end || !IsNameStart(static_cast<unsigned char>(*m_p)))
            Fail(Where() + "template without a name");
        ReadName();
        Expect('{', "'{' after a template name");
        // Template bodies hold no braces of their own; the first '}' closes it. Files declare
        // their templates in every header, so the usual body, free of comments, is passed over
        // at memchr's pace; one with a comment (which may hide a '}') is walked.
        const size_t left = static_cast<size_t>(m_end - m_p);
        if (const void* found = std::memchr(m_p, '}', left)) {
            const char* close = static_cast<const char*>(found);
            const size_t body = static_cast<size_t>(close - m_p);
            if (!std::memchr(m_p, '{', body) && !std::memchr(m_p, '#', body) && !std::memchr(m_p, '/', body)) {
                m_p = close + 1;
                return;
            }
        }
        while (m_p != m_end && *m_p != '}') {
            if (*m_p == '{')
                Fail(Where() + "'{' inside a template declaration");
            if (*m_p == '#' || (*m_p == '/' && m_p + 1 != m_end && m_p[1] == '/'))
                SkipSpace();
            else
                ++m_p;
        }
        if (m_p == m_end)
            Fail(Where() + "unterminated template declaration");
        ++m_p;
    }

    uint32_t ParseObject(std::string_view templateName, int depth)
    {
        if (depth > XLimits::kMaxDepth)
            Fail(Where() + "data objects nested too deeply");
        uint32_t index = static_cast<uint32_t>(m_doc.m_objects.size());
        m_doc.m_objects.emplace_back();
        m_doc.m_objects[index].templateName = templateName;

        SkipSpace();
        if (m_p != m_end && IsNameStart(static_cast<unsigned char>(*m_p)))
            m_doc.m_objects[index].name = ReadName();
        SkipSpace();
        if (m_p != m_end && *m_p == '<')
            SkipGuid();
        Expect('{', "'{' to open a data object");

        std::vector<XValue> values;
        std::vector<XChild> children;
        for (;;) {
            SkipSpace();
            if (m_p == m_end)
                Fail(Where() + "data object '" + std::string(templateName) + "' is not closed");
            unsigned char c = static_cast<unsigned char>(*m_p);
            if (c == '}') {
                ++m_p;
                break;
            }
            if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') {
                values.push_back(ReadNumber());
            } else if (c == '"') {
                values.push_back(ReadString());
            } else if (c == '{') {
                ++m_p;
                SkipSpace();
                std::string_view ref;
                if (m_p != m_end && IsNameStart(static_cast<unsigned char>(*m_p)))
                    ref = ReadName();
                SkipSpace();
                if (m_p != m_end && *m_p == '<')
                    SkipGuid();
                if (ref.empty())
                    Fail(Where() + "reference without a name");
                Expect('}', "'}' to close a reference");
                children.push_back(XChild{XChild::kNone, ref});
            } else if (IsNameStart(c)) {
                std::string_view word = ReadName();
                uint32_t child = ParseObject(word, depth + 1);
                children.push_back(XChild{child, {}});
            } else {
                Fail(Where() + "unexpected character in data object '" + std::string(templateName) + "'");
            }
        }
        XObject& obj = m_doc.m_objects[index];
        obj.values = std::move(values);
        obj.children = std::move(children);
        return index;
    }

    XValue ReadNumber()
    {
        const char* start = m_p;
        const char* q = m_p;
        if (*q == '+' || *q == '-')
            ++q;
        bool negative = *start == '-';
        // Integer fast path: the common case in index lists.
        const char* digits = q;
        uint64_t v = 0;
        while (q != m_end && *q >= '0' && *q <= '9' && q - digits < 18) {
            v = v * 10 + static_cast<uint64_t>(*q - '0');
            ++q;
        }
        bool integral = q != digits && (q == m_end || (*q != '.' && *q != 'e' && *q != 'E' && !(*q >= '0' && *q <= '9')));
        XValue out{};
        if (integral) {
            out.kind = XValue::Integer;
            out.number = negative ? -static_cast<double>(v) : static_cast<double>(v);
            m_p = q;
        } else {
            const char* from = (*start == '+') ? start + 1 : start;
            double d = 0.0;
            auto r = std::from_chars(from, m_end, d);
            if (r.ec != std::errc() || r.ptr == from)
                Fail(Where() + "a number that does not parse");
            out.kind = XValue::Float;
            out.number = d;
            m_p = r.ptr;
        }
        if (m_p != m_end) {
            char c = *m_p;
            if (!(c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ';' || c == '}' ||
                  c == '#' || c == '/' || c == '\f' || c == '\v' || c == '\0'))
                Fail(Where() + "a number that does not parse");
        }
        return out;
    }

    XValue ReadString()
    {
        ++m_p;
        const void* close = std::memchr(m_p, '"', static_cast<size_t>(m_end - m_p));
        if (!close)
            Fail(Where() + "unterminated string");
        const char* e = static_cast<const char*>(close);
        XValue out{};
        out.kind = XValue::String;
        out.text = std::string_view(m_p, static_cast<size_t>(e - m_p));
        m_p = e + 1;
        return out;
    }

    XFileDocument& m_doc;
    const char* m_begin;
    const char* m_p;
    const char* m_end;
};

// ---------------------------------------------------------------------------------------------
// Binary encoding: 16-bit little-endian tokens, some followed by a record.

namespace {
enum Token : uint16_t {
    kName = 1, kString = 2, kInteger = 3, kGuid = 5, kIntegerList = 6, kFloatList = 7,
    kOBrace = 10, kCBrace = 11, kOParen = 12, kCParen = 13, kOBracket = 14, kCBracket = 15,
    kOAngle = 16, kCAngle = 17, kDot = 18, kComma = 19, kSemicolon = 20, kTemplate = 31,
    kWord = 40, kDword = 41, kFloat = 42, kDouble = 43, kChar = 44, kUchar = 45, kSword = 46,
    kSdword = 47, kVoid = 48, kLpstr = 49, kUnicode = 50, kCstring = 51, kArray = 52,
};
}

class BinaryParser {
public:
    BinaryParser(XFileDocument& doc, const uint8_t* begin, const uint8_t* end, bool doubles)
        : m_doc(doc), m_begin(begin), m_p(begin), m_end(end), m_floatSize(doubles ? 8 : 4) {}

    void Run()
    {
        while (m_p != m_end) {
            uint16_t t = PeekToken();
            if (t == kTemplate) {
                m_p += 2;
                SkipTemplate();
            } else if (t == kName) {
                m_p += 2;
                std::string_view word = ReadNameRecord();
                m_doc.m_topLevel.push_back(ParseObject(word, 1));
            } else if (t == kComma || t == kSemicolon) {
                m_p += 2;
            } else {
                Fail(Where() + "expected a template or a data object");
            }
        }
    }

private:
    std::string Where() const { return "offset " + std::to_string(m_p - m_begin + 16) + ": "; }

    size_t Left() const { return static_cast<size_t>(m_end - m_p); }

    void Need(size_t n) const
    {
        if (Left() < n)
            Fail(Where() + "unexpected end of file");
    }

    uint16_t PeekToken() const
    {
        Need(2);
        return Read16(m_p);
    }

    uint16_t NextToken()
    {
        uint16_t t = PeekToken();
        m_p += 2;
        return t;
    }

    uint32_t ReadDword()
    {
        Need(4);
        uint32_t v = Read32(m_p);
        m_p += 4;
        return v;
    }

    std::string_view ReadBytes(uint32_t count)
    {
        Need(count);
        std::string_view s(reinterpret_cast<const char*>(m_p), count);
        m_p += count;
        return s;
    }

    std::string_view ReadNameRecord() { return ReadBytes(ReadDword()); }

    // A string record ends with a separator token; some writers store it as a 32-bit value.
    std::string_view ReadStringRecord()
    {
        std::string_view s = ReadBytes(ReadDword());
        if (Left() >= 2 && (Read16(m_p) == kSemicolon || Read16(m_p) == kComma)) {
            m_p += 2;
            if (Left() >= 2 && Read16(m_p) == 0)
                m_p += 2;
        }
        return s;
    }

    void SkipRecord(uint16_t t)
    {
        switch (t) {
        case kName: ReadNameRecord(); break;
        case kString: ReadStringRecord(); break;
        case kInteger: ReadDword(); break;
        case kGuid: Need(16); m_p += 16; break;
        case kIntegerList: { uint32_t n = ReadDword(); Need(static_cast<size_t>(n) * 4); m_p += static_cast<size_t>(n) * 4; break; }
        case kFloatList: { uint32_t n = ReadDword(); Need(static_cast<size_t>(n) * m_floatSize); m_p += static_cast<size_t>(n) * m_floatSize; break; }
        default:
            if (!((t >= kOBrace && t <= kSemicolon) || t == kTemplate || (t >= kWord && t <= kArray)))
                Fail(Where() + "unknown token " + std::to_string(t));
        }
    }

    void SkipTemplate()
    {
        if (NextToken() != kName)
            Fail(Where() + "template without a name");
        ReadNameRecord();
        if (NextToken() != kOBrace)
            Fail(Where() + "expected '{' after a template name");
        for (;;) {
            uint16_t t = NextToken();
            if (t == kCBrace)
                return;
            if (t == kOBrace || t == kTemplate)
                Fail(Where() + "unexpected token inside a template declaration");
            SkipRecord(t);
        }
    }

    uint32_t ParseObject(std::string_view templateName, int depth)
    {
        if (depth > XLimits::kMaxDepth)
            Fail(Where() + "data objects nested too deeply");
        uint32_t index = static_cast<uint32_t>(m_doc.m_objects.size());
        m_doc.m_objects.emplace_back();
        m_doc.m_objects[index].templateName = templateName;

        uint16_t t = NextToken();
        if (t == kName) {
            m_doc.m_objects[index].name = ReadNameRecord();
            t = NextToken();
        }
        if (t == kGuid) {
            SkipRecord(kGuid);
            t = NextToken();
        }
        if (t != kOBrace)
            Fail(Where() + "expected '{' to open a data object");

        std::vector<XValue> values;
        std::vector<XChild> children;
        for (;;) {
            t = NextToken();
            if (t == kCBrace)
                break;
            switch (t) {
            case kIntegerList: {
                uint32_t n = ReadDword();
                Need(static_cast<size_t>(n) * 4);
                values.reserve(values.size() + n);
                for (uint32_t i = 0; i < n; ++i, m_p += 4)
                    values.push_back(XValue{XValue::Integer, static_cast<double>(Read32(m_p)), {}});
                break;
            }
            case kFloatList: {
                uint32_t n = ReadDword();
                Need(static_cast<size_t>(n) * m_floatSize);
                values.reserve(values.size() + n);
                for (uint32_t i = 0; i < n; ++i, m_p += m_floatSize) {
                    double d;
                    if (m_floatSize == 4) {
                        float f;
                        std::memcpy(&f, m_p, 4);
                        d = f;
                    } else {
                        std::memcpy(&d, m_p, 8);
                    }
                    values.push_back(XValue{XValue::Float, d, {}});
                }
                break;
            }
            case kInteger:
                values.push_back(XValue{XValue::Integer, static_cast<double>(ReadDword()), {}});
                break;
            case kString:
                values.push_back(XValue{XValue::String, 0.0, ReadStringRecord()});
                break;
            case kComma:
            case kSemicolon:
                break;
            case kOBrace: {
                uint16_t r = NextToken();
                std::string_view ref;
                if (r == kName) {
                    ref = ReadNameRecord();
                    r = NextToken();
                }
                if (r == kGuid) {
                    SkipRecord(kGuid);
                    r = NextToken();
                }
                if (ref.empty() || r != kCBrace)
                    Fail(Where() + "malformed reference");
                children.push_back(XChild{XChild::kNone, ref});
                break;
            }
            case kName: {
                std::string_view word = ReadNameRecord();
                uint32_t child = ParseObject(word, depth + 1);
                children.push_back(XChild{child, {}});
                break;
            }
            default:
                Fail(Where() + "unexpected token " + std::to_string(t) + " in data object '" +
                     std::string(templateName) + "'");
            }
        }
        XObject& obj = m_doc.m_objects[index];
        obj.values = std::move(values);
        obj.children = std::move(children);
        return index;
    }

    XFileDocument& m_doc;
    const uint8_t* m_begin;
    const uint8_t* m_p;
    const uint8_t* m_end;
    size_t m_floatSize;
};

// ---------------------------------------------------------------------------------------------

bool XFileDecompress(const uint8_t* data, size_t size, std::vector<char>& out, std::string& error)
{
    out.clear();
    if (size < 20) {
        error = "compressed file too short";
        return false;
    }
    const uint32_t total = Read32(data + 16);
    // The stored total counts the 16 header bytes; the output is the body after them.
    if (total < 16 || total - 16 > XLimits::kMaxDecompressed) {
        error = "compressed file with an impossible size";
        return false;
    }
    const size_t expected = total - 16;
    out.reserve(expected);

    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) {
        error = "inflateInit2 failed";
        return false;
    }
    size_t pos = 20;
    bool ok = true;
    while (ok && out.size() < expected) {
        if (size - pos < 6) {
            error = "compressed file truncated in a block header";
            ok = false;
            break;
        }
        const uint32_t blockOut = Read16(data + pos);
        const uint32_t blockIn = Read16(data + pos + 2);
        if (blockIn < 2 || size - pos - 4 < blockIn || data[pos + 4] != 'C' || data[pos + 5] != 'K' ||
            blockOut == 0 || out.size() + blockOut > expected) {
            error = "malformed compressed block";
            ok = false;
            break;
        }
        const size_t start = out.size();
        out.resize(start + blockOut);
        inflateReset(&zs);
        if (start > 0) {
            size_t dict = std::min<size_t>(start, 32768);
            inflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(out.data() + start - dict), static_cast<uInt>(dict));
        }
        zs.next_in = const_cast<Bytef*>(data + pos + 6);
        zs.avail_in = blockIn - 2;
        zs.next_out = reinterpret_cast<Bytef*>(out.data() + start);
        zs.avail_out = blockOut;
        int r = inflate(&zs, Z_FINISH);
        if (r != Z_STREAM_END || zs.avail_out != 0) {
            error = "corrupt compressed block";
            ok = false;
            break;
        }
        pos += 4 + blockIn;
    }
    inflateEnd(&zs);
    if (!ok)
        out.clear();
    return ok;
}

bool XFileDocument::Parse(const void* data, size_t size)
{
    m_buffer.clear();
    m_objects.clear();
    m_topLevel.clear();
    m_named.clear();
    m_error.clear();
    m_binary = false;

    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (size < 16 || std::memcmp(bytes, "xof ", 4) != 0) {
        m_error = "not a .x file (missing \"xof \" header)";
        return false;
    }
    std::string_view version(reinterpret_cast<const char*>(bytes + 4), 4);
    std::string_view format(reinterpret_cast<const char*>(bytes + 8), 4);
    std::string_view floats(reinterpret_cast<const char*>(bytes + 12), 4);
    if (version.substr(0, 2) != "03" || !(version[2] >= '0' && version[2] <= '9' && version[3] >= '0' && version[3] <= '9')) {
        m_error = "unsupported .x version";
        return false;
    }
    if (floats != "0032" && floats != "0064") {
        m_error = "unsupported float size in the .x header";
        return false;
    }
    bool compressed = false;
    if (format == "txt ") {
    } else if (format == "bin ") {
        m_binary = true;
    } else if (format == "tzip") {
        compressed = true;
    } else if (format == "bzip") {
        compressed = true;
        m_binary = true;
    } else {
        m_error = "unknown .x format type";
        return false;
    }

    if (compressed) {
        if (!XFileDecompress(bytes, size, m_buffer, m_error))
            return false;
    } else if (size - 16 > XLimits::kMaxDecompressed) {
        m_error = "file too large";
        return false;
    } else {
        m_buffer.assign(reinterpret_cast<const char*>(bytes) + 16, reinterpret_cast<const char*>(bytes) + size);
    }

    try {
        if (m_binary) {
            const uint8_t* b = reinterpret_cast<const uint8_t*>(m_buffer.data());
            BinaryParser(*this, b, b + m_buffer.size(), floats == "0064").Run();
        } else {
            TextParser(*this, m_buffer.data(), m_buffer.data() + m_buffer.size()).Run();
        }
    } catch (const ParseError& e) {
        m_error = e.what();
    } catch (const std::bad_alloc&) {
        m_error = "out of memory";
    }
    if (!m_error.empty()) {
        m_objects.clear();
        m_topLevel.clear();
        return false;
    }

    m_named.reserve(m_objects.size());
    for (uint32_t i = 0; i < m_objects.size(); ++i)
        if (!m_objects[i].name.empty())
            m_named.emplace_back(m_objects[i].name, i);
    std::sort(m_named.begin(), m_named.end());
    return true;
}

uint32_t XFileDocument::FindNamed(std::string_view name) const
{
    auto it = std::lower_bound(m_named.begin(), m_named.end(), std::make_pair(name, uint32_t(0)));
    if (it != m_named.end() && it->first == name)
        return it->second;
    return XChild::kNone;
}

} // namespace xfile
