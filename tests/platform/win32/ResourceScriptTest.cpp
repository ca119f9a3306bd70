// The Windows resource script and the table of the other hosts describe the same resources.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/ResourceTable.h"
#include "support/TestSupport.h"

namespace {

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string ResourcesDir() { return qvtest::SourceDir() + "/../resources"; }

// The ids of resource.h by name, with the system's own that the script uses.
std::map<std::string, long> Ids()
{
    std::map<std::string, long> ids = {{"IDOK", IDOK}, {"IDCANCEL", IDCANCEL}, {"IDC_STATIC", -1}};
    std::regex define(R"(#define\s+(\w+)\s+\(?(-?\d+)\)?)");
    const std::string header = ReadText(ResourcesDir() + "/resource.h");
    for (std::sregex_iterator it(header.begin(), header.end(), define), end; it != end; ++it)
        ids[(*it)[1]] = std::stol((*it)[2]);
    return ids;
}

std::string Block(const std::string& script, const std::string& header)
{
    const size_t start = script.find(header);
    if (start == std::string::npos)
        return {};
    // To the END that closes the first BEGIN.
    int depth = 0;
    std::istringstream lines(script.substr(start));
    std::string line, out;
    while (std::getline(lines, line)) {
        out += line + "\n";
        const std::string trimmed = std::regex_replace(line, std::regex(R"(^\s+|\s+$)"), "");
        if (trimmed == "BEGIN")
            ++depth;
        if (trimmed == "END" && --depth == 0)
            break;
    }
    return out;
}

// "depth text id" lines of a menu, in order.
void Flatten(const std::vector<qv::res::MenuItem>& items, int depth, std::vector<std::string>& out)
{
    for (const qv::res::MenuItem& item : items) {
        if (item.flags & MF_SEPARATOR)
            out.push_back(std::to_string(depth) + " SEPARATOR");
        else if (item.flags & MF_POPUP)
            out.push_back(std::to_string(depth) + " POPUP " + item.text);
        else
            out.push_back(std::to_string(depth) + " " + item.text + " " + std::to_string(item.id));
        Flatten(item.items, depth + 1, out);
    }
}

class ResourceScript : public ::testing::Test {
protected:
    void SetUp() override
    {
        script = ReadText(ResourcesDir() + "/Quorvane.rc");
        ASSERT_FALSE(script.empty());
        ids = Ids();
    }
    std::string script;
    std::map<std::string, long> ids;
    const qv::res::Table& table = qv::res::ProgramResources();
};

} // namespace

TEST_F(ResourceScript, StringsAgree)
{
    const std::string block = Block(script, "STRINGTABLE");
    std::regex entry(R"re(^\s*(\w+)\s+"([^"]*)")re");
    size_t count = 0;
    std::istringstream lines(block);
    std::string line;
    while (std::getline(lines, line)) {
        std::smatch m;
        if (!std::regex_search(line, m, entry))
            continue;
        ++count;
        bool found = false;
        for (const auto& s : table.strings)
            if (long(s.first) == ids.at(m[1]) && s.second == m[2].str())
                found = true;
        EXPECT_TRUE(found) << line;
    }
    EXPECT_EQ(count, table.strings.size());
}

TEST_F(ResourceScript, MenusAgree)
{
    const std::string block = Block(script, "IDR_MAINMENU MENU");
    std::vector<std::string> fromScript;
    int depth = -1;
    std::istringstream lines(block);
    std::string line;
    std::regex item(R"re(MENUITEM\s+"([^"]*)",\s*(\w+))re"), popup(R"re(POPUP\s+"([^"]*)")re");
    while (std::getline(lines, line)) {
        std::smatch m;
        if (line.find("BEGIN") != std::string::npos)
            ++depth;
        else if (line.find("END") != std::string::npos)
            --depth;
        else if (line.find("MENUITEM SEPARATOR") != std::string::npos)
            fromScript.push_back(std::to_string(depth) + " SEPARATOR");
        else if (std::regex_search(line, m, item))
            fromScript.push_back(std::to_string(depth) + " " + m[1].str() + " " + std::to_string(ids.at(m[2])));
        else if (std::regex_search(line, m, popup))
            fromScript.push_back(std::to_string(depth) + " POPUP " + m[1].str());
    }
    ASSERT_EQ(table.menus.size(), 1u);
    std::vector<std::string> fromTable;
    Flatten(table.menus[0].items, 0, fromTable);
    EXPECT_EQ(fromScript, fromTable);
    EXPECT_EQ(long(table.menus[0].id), ids.at("IDR_MAINMENU"));
}

TEST_F(ResourceScript, AcceleratorsAgree)
{
    const std::string block = Block(script, "IDR_MAINMENU ACCELERATORS");
    std::regex entry(R"re("(.)",\s*(\w+),\s*ASCII,\s*ALT)re");
    std::vector<std::pair<int, long>> fromScript;
    for (std::sregex_iterator it(block.begin(), block.end(), entry), end; it != end; ++it)
        fromScript.push_back({(*it)[1].str()[0], ids.at((*it)[2])});
    ASSERT_EQ(table.accelerators.size(), 1u);
    std::vector<std::pair<int, long>> fromTable;
    for (const ACCEL& a : table.accelerators[0].entries) {
        EXPECT_EQ(a.fVirt, FALT) << "character keys with Alt";
        fromTable.push_back({a.key, a.cmd});
    }
    EXPECT_EQ(fromScript, fromTable);
}

TEST_F(ResourceScript, VersionBoxAgrees)
{
    const std::string block = Block(script, "IDD_ABOUTBOX DIALOG");
    ASSERT_EQ(table.dialogs.size(), 1u);
    const qv::res::Dialog& d = table.dialogs[0];
    std::smatch m;
    ASSERT_TRUE(std::regex_search(block, m, std::regex(R"(DIALOG (\d+), (\d+), (\d+), (\d+))")));
    EXPECT_EQ(std::stoi(m[1]), d.x);
    EXPECT_EQ(std::stoi(m[2]), d.y);
    EXPECT_EQ(std::stoi(m[3]), d.cx);
    EXPECT_EQ(std::stoi(m[4]), d.cy);
    ASSERT_TRUE(std::regex_search(block, m, std::regex(R"re(CAPTION "([^"]*)")re")));
    EXPECT_EQ(m[1].str(), d.title);
    ASSERT_TRUE(std::regex_search(block, m, std::regex(R"re(FONT (\d+), "([^"]*)")re")));
    EXPECT_EQ(std::stoi(m[1]), d.fontPoints);
    EXPECT_EQ(m[2].str(), d.fontFace);
    std::regex control(R"re(^\s*(ICON|DEFPUSHBUTTON|LTEXT)\s+("[^"]*"|\w+),\s*(\w+),\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+))re");
    std::istringstream lines(block);
    std::string line;
    size_t i = 0;
    while (std::getline(lines, line)) {
        if (!std::regex_search(line, m, control))
            continue;
        ASSERT_LT(i, d.items.size());
        const qv::res::DialogItem& item = d.items[i++];
        EXPECT_EQ(ids.at(m[3]), item.id) << line;
        EXPECT_EQ(std::stoi(m[4]), item.x) << line;
        EXPECT_EQ(std::stoi(m[5]), item.y) << line;
        EXPECT_EQ(std::stoi(m[6]), item.cx) << line;
        EXPECT_EQ(std::stoi(m[7]), item.cy) << line;
        if (m[1] == "ICON")
            EXPECT_EQ("#" + std::to_string(ids.at(m[2])), item.text);
        else
            EXPECT_EQ("\"" + item.text + "\"", m[2].str());
        EXPECT_EQ(item.className, m[1] == "DEFPUSHBUTTON" ? "BUTTON" : "STATIC");
    }
    EXPECT_EQ(i, d.items.size());
}

TEST_F(ResourceScript, VersionBlockAgrees)
{
    const std::string block = Block(script, "VS_VERSION_INFO VERSIONINFO");
    const qv::res::Version& v = table.version;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(block, m, std::regex(R"(FILEVERSION (\d+),(\d+),(\d+),(\d+))")));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(std::stoi(m[i + 1]), v.fileVersion[i]);
    ASSERT_TRUE(std::regex_search(block, m, std::regex(R"(PRODUCTVERSION (\d+),(\d+),(\d+),(\d+))")));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(std::stoi(m[i + 1]), v.productVersion[i]);
    ASSERT_TRUE(std::regex_search(block, m, std::regex(R"(VALUE "Translation", 0x([0-9a-fA-F]+), (\d+))")));
    EXPECT_EQ(std::stol(m[1], nullptr, 16), v.language);
    EXPECT_EQ(std::stol(m[2]), v.codePage);
    char translation[16];
    std::snprintf(translation, sizeof translation, "%04x%04x", v.language, v.codePage);
    EXPECT_NE(block.find(std::string("BLOCK \"") + translation + "\""), std::string::npos);
    std::regex value(R"re(VALUE "(\w+)", "([^"]*)")re");
    std::map<std::string, std::string> fromScript;
    for (std::sregex_iterator it(block.begin(), block.end(), value), end; it != end; ++it)
        fromScript[(*it)[1]] = (*it)[2];
    EXPECT_EQ(fromScript.size(), v.strings.size());
    for (const qv::res::VersionString& s : v.strings)
        EXPECT_EQ(fromScript[s.name], s.value) << s.name;
    for (const char* needed : {"ProductName", "ProductVersion", "LegalCopyright"})
        EXPECT_TRUE(fromScript.count(needed)) << needed;
}

TEST_F(ResourceScript, IconFilesHoldTheTablesPictures)
{
    // Each file: its size and, for cursors, the hot spot (the pictures come from make_icons.py).
    const std::map<std::string, std::string> files = {
        {"IDI_MAIN", "quorvane.ico"}, {"IDI_SMALL", "small.ico"}, {"IDC_LINK_CURSOR", "link.cur"}, {"IDC_GAME_CURSOR", "game.cur"}};
    auto check = [&](const qv::res::Image& image, bool cursor) {
        std::string name;
        for (const auto& f : files)
            if (ids.at(f.first) == long(image.id))
                name = f.second;
        ASSERT_FALSE(name.empty());
        EXPECT_NE(script.find("\"" + name + "\""), std::string::npos) << name;
        const std::vector<uint8_t> bytes = qvtest::ReadFileBytes(ResourcesDir() + "/" + name);
        ASSERT_GE(bytes.size(), 22u + 40u) << name;
        EXPECT_EQ(bytes[2], cursor ? 2 : 1);
        EXPECT_EQ(bytes[6], image.width % 256);
        EXPECT_EQ(bytes[7], image.height % 256);
        if (cursor) {
            EXPECT_EQ(bytes[10], image.hotX);
            EXPECT_EQ(bytes[12], image.hotY);
        }
        // The top-left pixel (the last row of the bottom-up picture) says transparent or not.
        const size_t pixels = 22 + 40;
        const size_t topLeft = pixels + static_cast<size_t>(image.height - 1) * image.width * 4;
        ASSERT_LT(topLeft + 3, bytes.size());
        EXPECT_EQ(bytes[topLeft + 3] != 0, image.rows[0][0] != '.') << name;
    };
    for (const qv::res::Image& icon : table.icons)
        check(icon, false);
    for (const qv::res::Image& cursor : table.cursors)
        check(cursor, true);
}
