#include "tests/platform/xfile/XFileFixtures.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

namespace xfixture {

std::string ColumnText()
{
    return R"(xof 0303txt 0032
// Templates declared as exporters write them; the reader skips their bodies.
template Frame {
 <3D82AB46-62DA-11cf-AB39-0020AF71E433>
 [...]
}
template Vector {
 <3D82AB5E-62DA-11cf-AB39-0020AF71E433>
 FLOAT x;
 FLOAT y;
 FLOAT z;
}
Header { 1; 0; 1; }
# A template nobody knows is skipped.
Unknown_Thing Extra { 1; 2; "three"; Nested { 4.5; } }
AnimTicksPerSecond { 100; }
Material Stone {
 0.8; 0.7; 0.6; 1.0;;
 12.5;
 0.1; 0.2; 0.3;;
 0.0; 0.0; 0.05;;
 TextureFilename { "column.png"; }
}
Frame Root {
 FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;; }
 Frame Bone0 {
  FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;; }
  Frame Bone1 {
   FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,1.0,0.0,1.0;; }
  }
 }
 Mesh Column {
  12;
  -0.5;0.0;-0.5;, 0.5;0.0;-0.5;, 0.5;0.0;0.5;, -0.5;0.0;0.5;,
  -0.5;1.0;-0.5;, 0.5;1.0;-0.5;, 0.5;1.0;0.5;, -0.5;1.0;0.5;,
  -0.5;2.0;-0.5;, 0.5;2.0;-0.5;, 0.5;2.0;0.5;, -0.5;2.0;0.5;;
  8;
  4;0,4,5,1;, 4;1,5,6,2;, 4;2,6,7,3;, 4;3,7,4,0;,
  4;4,8,9,5;, 4;5,9,10,6;, 4;6,10,11,7;, 4;7,11,8,4;;
  MeshNormals {
   4;
   0.0;0.0;-1.0;, 1.0;0.0;0.0;, 0.0;0.0;1.0;, -1.0;0.0;0.0;;
   8;
   4;0,0,0,0;, 4;1,1,1,1;, 4;2,2,2,2;, 4;3,3,3,3;,
   4;0,0,0,0;, 4;1,1,1,1;, 4;2,2,2,2;, 4;3,3,3,3;;
  }
  MeshTextureCoords {
   12;
   0.0;0.0;, 1.0;0.0;, 0.0;0.0;, 1.0;0.0;,
   0.0;0.5;, 1.0;0.5;, 0.0;0.5;, 1.0;0.5;,
   0.0;1.0;, 1.0;1.0;, 0.0;1.0;, 1.0;1.0;;
  }
  MeshMaterialList {
   2;
   8;
   0,0,0,0,1,1,1,1;
   { Stone }
   Material {
    0.2; 0.4; 0.6; 0.5;;
    0.0;
    0.0; 0.0; 0.0;;
    0.0; 0.0; 0.0;;
   }
  }
  XSkinMeshHeader { 2; 4; 2; }
  SkinWeights {
   "Bone0";
   8;
   0,1,2,3,4,5,6,7;
   1.0,1.0,1.0,1.0,0.5,0.5,0.5,0.5;
   1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;;
  }
  SkinWeights {
   "Bone1";
   8;
   4,5,6,7,8,9,10,11;
   0.5,0.5,0.5,0.5,1.0,1.0,1.0,1.0;
   1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,-1.0,0.0,1.0;;
  }
 }
}
AnimationSet Bend {
 Animation {
  { Bone1 }
  AnimationKey {
   0;
   2;
   0;4;1.0,0.0,0.0,0.0;;,
   100;4;0.70710678,0.0,0.0,0.70710678;;;
  }
  AnimationKey {
   2;
   1;
   0;3;0.0,1.0,0.0;;;
  }
  AnimationOptions { 1; 0; }
 }
}
AnimationSet Stretch {
 Animation {
  { Bone1 }
  AnimationKey {
   2;
   2;
   0;3;0.0,1.0,0.0;;,
   50;3;0.0,2.0,0.0;;;
  }
  AnimationKey {
   1;
   2;
   0;3;1.0,1.0,1.0;;,
   50;3;1.0,3.0,1.0;;;
  }
 }
 Animation {
  { Bone0 }
  AnimationKey {
   4;
   1;
   0;16;1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, 0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;;;
  }
 }
}
)";
}

std::string PlainText()
{
    return R"(xof 0302txt 0064
Frame {
 FrameTransformMatrix { 2.0,0.0,0.0,0.0, 0.0,2.0,0.0,0.0, 0.0,0.0,2.0,0.0, 1.0,2.0,3.0,1.0;; }
 Frame {
  Mesh {
   4;
   0.0;0.0;0.0;, 1.0;0.0;0.0;, 1.0;1.0;0.0;, 0.0;1.0;0.0;;
   2;
   3;0,1,2;, 3;0,2,3;;
  }
 }
}
)";
}

namespace {

enum : uint16_t {
    kName = 1, kString = 2, kInteger = 3, kGuid = 5, kIntegerList = 6, kFloatList = 7,
    kOBrace = 10, kCBrace = 11, kOBracket = 14, kCBracket = 15, kDot = 18, kSemicolon = 20, kTemplate = 31,
};

struct Writer {
    std::vector<uint8_t> out;
    void W16(uint16_t v) { out.push_back(uint8_t(v)); out.push_back(uint8_t(v >> 8)); }
    void W32(uint32_t v) { W16(uint16_t(v)); W16(uint16_t(v >> 16)); }
    void Bytes(const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }
};

bool NameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool NameChar(char c) { return NameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

} // namespace

std::vector<uint8_t> TextToBinary(const std::string& text, bool doubles)
{
    Writer w;
    std::string header = text.substr(0, 16);
    header.replace(8, 4, "bin ");
    header.replace(12, 4, doubles ? "0064" : "0032");
    w.Bytes(header);

    std::vector<double> floats;
    std::vector<uint32_t> ints;
    auto flush = [&] {
        if (!ints.empty()) {
            w.W16(kIntegerList);
            w.W32(uint32_t(ints.size()));
            for (uint32_t v : ints) w.W32(v);
            ints.clear();
        }
        if (!floats.empty()) {
            w.W16(kFloatList);
            w.W32(uint32_t(floats.size()));
            for (double d : floats) {
                if (doubles) {
                    uint64_t bits;
                    std::memcpy(&bits, &d, 8);
                    w.W32(uint32_t(bits));
                    w.W32(uint32_t(bits >> 32));
                } else {
                    float f = float(d);
                    uint32_t bits;
                    std::memcpy(&bits, &f, 4);
                    w.W32(bits);
                }
            }
            floats.clear();
        }
    };

    bool inTemplate = false;
    size_t i = 16;
    while (i < text.size()) {
        char c = text[i];
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == ',' || (c == ';' && !inTemplate)) {
            ++i;
        } else if (c == '#' || (c == '/' && text[i + 1] == '/')) {
            while (i < text.size() && text[i] != '\n') ++i;
        } else if (c == ';') {
            w.W16(kSemicolon);
            ++i;
        } else if (c == '{' || c == '}') {
            flush();
            w.W16(c == '{' ? kOBrace : kCBrace);
            if (c == '}') inTemplate = false;
            ++i;
        } else if (c == '[' || c == ']') {
            w.W16(c == '[' ? kOBracket : kCBracket);
            ++i;
        } else if (c == '.' && inTemplate) {
            w.W16(kDot);
            ++i;
        } else if (c == '<') {
            size_t e = text.find('>', i);
            w.W16(kGuid);
            for (int k = 0; k < 16; ++k) w.out.push_back(uint8_t(k));
            i = e + 1;
        } else if (c == '"') {
            flush();
            size_t e = text.find('"', i + 1);
            w.W16(kString);
            w.W32(uint32_t(e - i - 1));
            w.Bytes(text.substr(i + 1, e - i - 1));
            w.W16(kSemicolon);
            i = e + 1;
        } else if (NameStart(c)) {
            flush();
            size_t e = i;
            while (e < text.size() && NameChar(text[e])) ++e;
            std::string name = text.substr(i, e - i);
            if (name == "template") {
                w.W16(kTemplate);
                inTemplate = true;
            } else {
                w.W16(kName);
                w.W32(uint32_t(name.size()));
                w.Bytes(name);
            }
            i = e;
        } else {
            size_t e = i;
            while (e < text.size() && (text[e] == '-' || text[e] == '.' || text[e] == 'e' || (text[e] >= '0' && text[e] <= '9'))) ++e;
            std::string num = text.substr(i, e - i);
            if (num.empty()) throw std::runtime_error("TextToBinary: unexpected character");
            if (inTemplate) {
                w.W16(kInteger);
                w.W32(uint32_t(std::stoul(num)));
            } else if (num.find('.') != std::string::npos) {
                if (!ints.empty()) flush();
                floats.push_back(std::stod(num));
            } else {
                if (!floats.empty()) flush();
                ints.push_back(uint32_t(std::stol(num)));
            }
            i = e;
        }
    }
    flush();
    return w.out;
}

std::vector<uint8_t> Compress(const std::vector<uint8_t>& image, size_t blockSize)
{
    Writer w;
    std::string header(image.begin(), image.begin() + 16);
    header.replace(8, 4, header.substr(8, 4) == "bin " ? "bzip" : "tzip");
    w.Bytes(header);
    std::vector<uint8_t> body(image.begin() + 16, image.end());
    w.W32(uint32_t(body.size() + 16));
    for (size_t pos = 0; pos < body.size(); pos += blockSize) {
        size_t n = std::min(blockSize, body.size() - pos);
        z_stream zs{};
        deflateInit2(&zs, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        if (pos > 0) {
            size_t dict = std::min<size_t>(pos, 32768);
            deflateSetDictionary(&zs, body.data() + pos - dict, uInt(dict));
        }
        std::vector<uint8_t> packed(deflateBound(&zs, uLong(n)) + 16);
        zs.next_in = const_cast<Bytef*>(body.data() + pos);
        zs.avail_in = uInt(n);
        zs.next_out = packed.data();
        zs.avail_out = uInt(packed.size());
        deflate(&zs, Z_FINISH);
        size_t packedSize = packed.size() - zs.avail_out;
        deflateEnd(&zs);
        w.W16(uint16_t(n));
        w.W16(uint16_t(packedSize + 2));
        w.out.push_back('C');
        w.out.push_back('K');
        w.out.insert(w.out.end(), packed.begin(), packed.begin() + packedSize);
    }
    return w.out;
}

} // namespace xfixture
