// The .x document reader below the scene: keywords in any case, what may follow a number,
// references with class identifiers, the header's version digits, binary records written by
// hand, the nesting limit in both encodings, and the compressed form's own answer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/d3dx9/XFileReader.h"
#include "tests/platform/xfile/GuardedMemory.h"
#include "tests/platform/xfile/XFileFixtures.h"

using namespace xfile;

namespace {

struct Doc {
    XFileDocument doc;
    bool ok;
    explicit Doc(const std::string& text) : ok(doc.Parse(text.data(), text.size())) {}
    explicit Doc(const std::vector<uint8_t>& bytes) : ok(doc.Parse(bytes.data(), bytes.size())) {}
    const XObject& Top(size_t i) const { return doc.Objects()[doc.TopLevel()[i]]; }
};

// Binary tokens written by hand.
struct Bin {
    std::vector<uint8_t> out = xfixture::Bytes("xof 0303bin 0032");
    Bin& W16(uint16_t v)
    {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
        return *this;
    }
    Bin& W32(uint32_t v) { return W16(uint16_t(v)).W16(uint16_t(v >> 16)); }
    Bin& Name(const std::string& s)
    {
        W16(1).W32(uint32_t(s.size()));
        out.insert(out.end(), s.begin(), s.end());
        return *this;
    }
    Bin& String(const std::string& s)
    {
        W16(2).W32(uint32_t(s.size()));
        out.insert(out.end(), s.begin(), s.end());
        return *this;
    }
    Bin& Guid()
    {
        W16(5);
        for (int i = 0; i < 16; ++i)
            out.push_back(uint8_t(i));
        return *this;
    }
    Bin& Open() { return W16(10); }
    Bin& Close() { return W16(11); }
};

const char* const kHead = "xof 0303txt 0032\n";

} // namespace

TEST(XFileDocument, TheTemplateKeywordInAnyCase)
{
    Doc d(std::string(kHead) + "TEMPLATE T { <3D82AB46-62DA-11cf-AB39-0020AF71E433> DWORD x; }\n"
                               "Template U { <3D82AB46-62DA-11cf-AB39-0020AF71E433> }\n"
                               "tEMPLATE V { <3D82AB46-62DA-11cf-AB39-0020AF71E433> }\nFrame A { }\n");
    ASSERT_TRUE(d.ok) << d.doc.Error();
    ASSERT_EQ(d.doc.TopLevel().size(), 1u);
    EXPECT_EQ(d.Top(0).templateName, "Frame");
    // A word that only looks like it is an object.
    Doc lookalike(std::string(kHead) + "Templates A { 1; }\n");
    ASSERT_TRUE(lookalike.ok) << lookalike.doc.Error();
    EXPECT_EQ(lookalike.Top(0).templateName, "Templates");
}

TEST(XFileDocument, NumbersEndAtSpaceSeparatorsBracesAndComments)
{
    Doc d(std::string(kHead) + "Header { 1\n2\t3\r\n4#four\n5//five\n6}\nH2 { 7\f8\v9,10;11 }");
    ASSERT_TRUE(d.ok) << d.doc.Error();
    const XObject& h = d.Top(0);
    ASSERT_EQ(h.values.size(), 6u);
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(h.values[i].number, double(i + 1));
    EXPECT_EQ(d.Top(1).values.size(), 5u);
    EXPECT_FALSE(Doc(std::string(kHead) + "Header { 1x }").ok);
    EXPECT_FALSE(Doc(std::string(kHead) + "Header { 1\"a\" }").ok);
}

TEST(XFileDocument, ReferencesMayCarryAClassIdentifierInEitherEncoding)
{
    const std::string text = std::string(kHead) +
                             "Frame A { }\nFrame B { { A <3D82AB46-62DA-11cf-AB39-0020AF71E433> } { A } Frame C { } }\n";
    for (const std::vector<uint8_t>& image : {xfixture::Bytes(text), xfixture::TextToBinary(text)}) {
        Doc d(image);
        ASSERT_TRUE(d.ok) << d.doc.Error();
        const XObject& b = d.Top(1);
        ASSERT_EQ(b.children.size(), 3u);
        EXPECT_EQ(b.children[0].reference, "A");
        EXPECT_EQ(b.children[1].reference, "A");
        EXPECT_FALSE(b.children[2].IsReference());
        EXPECT_EQ(d.doc.FindNamed("C"), b.children[2].object);
    }
}

TEST(XFileDocument, HeaderVersionsAreTwoDigitsAfterZeroThree)
{
    for (const char* bad : {"xof 030/txt 0032", "xof 030:txt 0032", "xof 03/0txt 0032", "xof 03:0txt 0032",
                            "xof 0403txt 0032"})
        EXPECT_FALSE(Doc(std::string(bad)).ok) << bad;
    for (const char* good : {"xof 0300txt 0032", "xof 0399txt 0064"})
        EXPECT_TRUE(Doc(std::string(good)).ok) << good;
}

TEST(XFileDocument, BinaryStringsEndWithTheirSeparatorIfAny)
{
    // A string ends with ';' or ',', with a 32-bit separator (a 16-bit 0 after it), or with
    // nothing before the closing brace.
    Bin b;
    b.Name("S").Open().String("ab").W16(20).String("cd").W16(19).String("ef").W16(20).W16(0).String("gh").Close();
    Doc d(b.out);
    ASSERT_TRUE(d.ok) << d.doc.Error();
    const XObject& s = d.Top(0);
    ASSERT_EQ(s.values.size(), 4u);
    EXPECT_EQ(s.values[0].text, "ab");
    EXPECT_EQ(s.values[1].text, "cd");
    EXPECT_EQ(s.values[2].text, "ef");
    EXPECT_EQ(s.values[3].text, "gh");
    EXPECT_EQ(s.values[3].kind, XValue::String);
}

TEST(XFileDocument, BinaryTemplatesSkipEveryKindOfRecord)
{
    // A declaration with lists of both kinds, a string, a name and a class identifier, then an
    // object that must be read where the declaration ends.
    Bin b;
    b.W16(31).Name("T").Open().Guid().W16(6).W32(3).W32(1).W32(2).W32(3).W16(7).W32(2).W32(0).W32(0);
    b.W16(3).W32(7).String("s").Name("DWORD").W16(41).W16(20).W16(14).W16(15).Close();
    b.Name("Header").Open().W16(6).W32(1).W32(42).Close();
    Doc d(b.out);
    ASSERT_TRUE(d.ok) << d.doc.Error();
    ASSERT_EQ(d.doc.TopLevel().size(), 1u);
    EXPECT_EQ(d.Top(0).templateName, "Header");
    EXPECT_EQ(d.Top(0).values.at(0).number, 42.0);

    // An unknown token inside a declaration, or a value at the top level, is refused.
    Bin unknown;
    unknown.W16(31).Name("T").Open().W16(99).Close();
    EXPECT_FALSE(Doc(unknown.out).ok);
    Bin value;
    value.W16(3).W32(1);
    Doc top(value.out);
    EXPECT_FALSE(top.ok);
    EXPECT_NE(top.doc.Error().find("expected a template or a data object"), std::string::npos);
}

TEST(XFileDocument, AFileCutAfterAClassIdentifierSaysWhereItEnds)
{
    Bin b;
    b.Name("Frame").Name("A").Guid();
    Doc d(b.out);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.doc.Error(), "offset " + std::to_string(b.out.size()) + ": unexpected end of file");
}

TEST(XFileDocument, NestingIsLimitedAtTheSameDepthInBothEncodings)
{
    auto nested = [](int depth) {
        std::string t = kHead;
        for (int i = 0; i < depth; ++i) t += "Frame {\n";
        for (int i = 0; i < depth; ++i) t += "}\n";
        return t;
    };
    for (bool binary : {false, true}) {
        auto image = [&](int depth) {
            return binary ? xfixture::TextToBinary(nested(depth)) : xfixture::Bytes(nested(depth));
        };
        EXPECT_TRUE(Doc(image(XLimits::kMaxDepth)).ok) << binary;
        Doc deep(image(XLimits::kMaxDepth + 1));
        EXPECT_FALSE(deep.ok) << binary;
        EXPECT_NE(deep.doc.Error().find("nested too deeply"), std::string::npos) << deep.doc.Error();
    }
}

TEST(XFileDocument, DecompressingACutFileAnswersFalseWithNothing)
{
    const std::vector<uint8_t> zip = xfixture::Compress(xfixture::TextToBinary(xfixture::ColumnText()), 256);
    std::vector<char> out;
    std::string error;
    ASSERT_TRUE(XFileDecompress(zip.data(), zip.size(), out, error)) << error;
    EXPECT_FALSE(out.empty());
    // Cut inside the second block's header.
    const size_t secondBlock = 20 + 4 + (zip[22] | (zip[23] << 8));
    for (size_t cut : {secondBlock + 1, secondBlock + 5, size_t(19), size_t(22)}) {
        error.clear();
        EXPECT_FALSE(XFileDecompress(zip.data(), cut, out, error)) << cut;
        EXPECT_TRUE(out.empty()) << cut;
        EXPECT_FALSE(error.empty()) << cut;
    }
}

TEST(XFileDocument, NamesFromAToZAndNumbersOutOfRange)
{
    Doc d(std::string(kHead) + "Zoo Z1 { 1; }\nzed z { }\n");
    ASSERT_TRUE(d.ok) << d.doc.Error();
    EXPECT_EQ(d.Top(0).templateName, "Zoo");
    EXPECT_EQ(d.Top(0).name, "Z1");
    EXPECT_EQ(d.Top(1).name, "z");
    Doc huge(std::string(kHead) + "Header { 1e999; }");
    EXPECT_FALSE(huge.ok);
    EXPECT_NE(huge.doc.Error().find("does not parse"), std::string::npos) << huge.doc.Error();
}

TEST(XFileDocument, TemplatesWithBracesOrCommentsInside)
{
    Doc brace(std::string(kHead) + "template T { <3D82AB46-62DA-11cf-AB39-0020AF71E433> Frame A { } }");
    EXPECT_FALSE(brace.ok);
    EXPECT_NE(brace.doc.Error().find("'{' inside a template declaration"), std::string::npos) << brace.doc.Error();
    // A comment straight after a word, holding a brace of its own.
    Doc comment(std::string(kHead) + "template T { <3D82AB46-62DA-11cf-AB39-0020AF71E433> DWORD x// not the end }\n}\n"
                                      "Frame A { }\n");
    ASSERT_TRUE(comment.ok) << comment.doc.Error();
    EXPECT_EQ(comment.Top(0).name, "A");
    // A declaration cut short after a lone '/', in memory that ends at an unreadable page.
    const std::string cut = std::string(kHead) + "template T { <3D82AB46-62DA-11cf-AB39-0020AF71E433> # c\n/";
    xfixture::GuardedCopy image(cut.data(), cut.size());
    XFileDocument doc;
    bool ok;
    {
        xfixture::GuardedAllocations guard(cut.size() - 16);
        ok = doc.Parse(image.data(), image.size());
    }
    EXPECT_FALSE(ok);
    EXPECT_NE(doc.Error().find("unterminated template"), std::string::npos) << doc.Error();
}

TEST(XFileDocument, BinaryValuesSeparatorsAndEmptyCompressedFiles)
{
    // Integers that use every byte; separators between top-level objects; a type token of
    // each end of the range inside a declaration.
    Bin b;
    b.W16(20).Name("H").Open().W16(6).W32(2).W32(0x01000000).W32(0xFFFFFFFF).Close().W16(19);
    b.W16(31).Name("T").Open().W16(40).W16(52).Close().W16(20).Name("H2").Open().Close();
    Doc d(b.out);
    ASSERT_TRUE(d.ok) << d.doc.Error();
    ASSERT_EQ(d.doc.TopLevel().size(), 2u);
    EXPECT_EQ(d.Top(0).values.at(0).number, 16777216.0);
    EXPECT_EQ(d.Top(0).values.at(1).number, 4294967295.0);
    EXPECT_EQ(d.Top(1).templateName, "H2");
    // A compressed file whose body is empty: the stated size 16 and no blocks.
    std::vector<uint8_t> empty = xfixture::Bytes("xof 0303tzip0032");
    empty.insert(empty.end(), {16, 0, 0, 0});
    Doc e(empty);
    ASSERT_TRUE(e.ok) << e.doc.Error();
    EXPECT_TRUE(e.doc.Objects().empty());
}

