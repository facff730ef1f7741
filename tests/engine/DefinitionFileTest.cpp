#include "engine/DefinitionFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace engine;
namespace fs = std::filesystem;

namespace {

std::string readBytes(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class DefinitionFileTest : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("tolvane-def-" + std::to_string(::getpid()));
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }
    fs::path write(const std::string& bytes)
    {
        std::ofstream(dir / "x.def", std::ios::binary) << bytes;
        return dir / "x.def";
    }
};

TEST_F(DefinitionFileTest, WritesTheGoldenBytesAndReadsThemBack)
{
    const fs::path golden = fs::path(TOLVANE_TEST_DATA) / "three-columns.def";
    ASSERT_TRUE(writeDefinition(dir / "new.def", {3, 1, 12}));
    const std::string bytes = readBytes(dir / "new.def");
    EXPECT_EQ(bytes.size(), 15u);
    EXPECT_EQ(bytes, readBytes(golden));
    const Definition back = readDefinition(dir / "new.def");
    EXPECT_EQ(back.status, Definition::Status::Ok);
    EXPECT_EQ(back.itemNumbers, (std::vector<int>{3, 1, 12}));
    EXPECT_EQ(formatDefinition({-1, 0, 32767}), "CSV\r\n-1\r\n0\r\n32767\r\n");
    // An existing file is replaced, not appended to.
    ASSERT_TRUE(writeDefinition(dir / "new.def", {7}));
    EXPECT_EQ(readBytes(dir / "new.def"), "CSV\r\n7\r\n");
}

TEST(definitionNumber, FollowsTheNumberRules)
{
    const std::pair<const char*, int> cases[] = {
        {"3", 3},
        {" 12 ", 12},
        {"\t7", 7},
        {"-1", -1},
        {"+4", 4},
        {"2.5", 2},
        {"3.5", 4},
        {"-2.5", -2},
        {"2.51", 3},
        {"0.5", 0},
        {"1e2", 100},
        {"1,000", 1000},
        {"32767", 32767},
        {"-32768", -32768},
        {"32768", 32768},
        {"-32769", -32769},
        {"32767.5", 32768},
        {"40000", 40000},
        {"1e9", 1000000000},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483648},
        {"2147483648", 0},
        {"-2147483649", 0},
        {"2147483647.5", 0},
        {"1e10", 0},
        {"", 0},
        {"abc", 0},
        {"3x", 0},
        {" ", 0},
        {"\"3\"", 0},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(definitionNumber(text), value) << "[" << text << "]";
}

TEST_F(DefinitionFileTest, HeaderAndLineRules)
{
    struct Case {
        std::string bytes;
        Definition::Status status;
        std::vector<int> numbers;
    } cases[] = {
        {"csv\r\n1\r\n", Definition::Status::NotADefinition, {}},
        {"CS\r\n1\r\n", Definition::Status::NotADefinition, {}},
        {"", Definition::Status::NotADefinition, {}},
        {"CSV and more\r\n2\r\n", Definition::Status::Ok, {2}},
        {"CSV\r\n", Definition::Status::Ok, {}},
        {"CSV\r\n\r\n0\r\n", Definition::Status::Ok, {0, 0}},
        {"CSV\n3\n1\n12\n", Definition::Status::Ok, {}}, // a lone LF ends no line: one line, "CSV..."
        {"CSV\r\n3\n1\r\n", Definition::Status::Ok, {0}},
        {"CSV\r3\r-1", Definition::Status::Ok, {3, -1}},
    };
    for (const auto& c : cases) {
        const Definition d = readDefinition(write(c.bytes));
        EXPECT_EQ(d.status, c.status) << c.bytes;
        EXPECT_EQ(d.itemNumbers, c.numbers) << c.bytes;
    }
    EXPECT_EQ(readDefinition(dir / "missing.def").status, Definition::Status::CannotOpen);
    EXPECT_EQ(readDefinition(dir).status, Definition::Status::CannotOpen);
    EXPECT_FALSE(writeDefinition(dir / "no-folder" / "x.def", {1}));
}

} // namespace
