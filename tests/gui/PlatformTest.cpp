#include "platform/Cp932.h"
#include "platform/TestDoubles.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

TEST(Cp932, DecodesWithTheWindowsTable)
{
    struct Case {
        std::string bytes;
        char16_t expected;
    } cases[] = {
        {"\x5C", u'\\'},         {"\x7E", u'~'},         {"\x81\x5F", u'\uFF3C'}, {"\x81\x60", u'\uFF5E'},
        {"\x87\x40", u'\u2460'}, {"\x87\x8A", u'\u3231'}, {"\x87\x54", u'\u2160'}, {"\xFA\x40", u'\u2170'},
        {"\xFB\xFC", u'\u9AD9'}, {"\xFA\xB1", u'\uFA11'}, {"\x83\x5C", u'\u30BD'}, {"\x95\x5C", u'\u8868'},
        {"\x83\x7C", u'\u30DD'}, {"\xB1", u'\uFF71'},     {"\x81\x41", u'\u3001'},
    };
    for (const auto& c : cases) {
        const QString s = decodeCp932(c.bytes);
        ASSERT_EQ(s.size(), 1) << c.bytes;
        EXPECT_EQ(s.at(0).unicode(), c.expected) << c.bytes;
    }
}

TEST(Cp932, EncodesWhatTheUserTypesAndRefusesWhatItCannot)
{
    EXPECT_EQ(encodeCp932(QStringLiteral("|")), std::optional<std::string>("|"));
    EXPECT_EQ(encodeCp932(QStringLiteral("、")), std::optional<std::string>("\x81\x41"));
    EXPECT_EQ(encodeCp932(QStringLiteral("\\")), std::optional<std::string>("\x5C"));
    EXPECT_EQ(encodeCp932(QStringLiteral("①")), std::optional<std::string>("\x87\x40"));
    EXPECT_EQ(encodeCp932(QStringLiteral("髙")), std::optional<std::string>("\xFB\xFC"));
    EXPECT_EQ(encodeCp932(QString::fromUtf8("\xF0\x9F\x98\x80")), std::nullopt); // an emoji

    // A delimiter that cannot be encoded must not turn into some other character.
    const std::string never = encodeDelimiter(QString::fromUtf8("\xF0\x9F\x98\x80"));
    EXPECT_GE(never.size(), 2u);
    EXPECT_EQ(encodeDelimiter(QStringLiteral("\t")), "\t");
}

TEST(CommonDialogDouble, KeepsPropertiesAndReportsCancel)
{
    ScriptedCommonDialog dialog;
    dialog.answers = {QStringLiteral("/tmp/a.csv"), std::nullopt, std::nullopt};
    dialog.CancelError = true;
    dialog.Filter = QStringLiteral("*.csv");
    EXPECT_EQ(dialog.ShowOpen(), 0);
    EXPECT_EQ(dialog.FileName, QStringLiteral("/tmp/a.csv"));
    EXPECT_EQ(dialog.ShowSave(), CommonDialog::kCancelError);
    EXPECT_EQ(dialog.FileName, QStringLiteral("/tmp/a.csv"));
    ASSERT_EQ(dialog.shown.size(), 2u);
    EXPECT_EQ(dialog.shown[1].filter, QStringLiteral("*.csv")); // kept from the open
    EXPECT_TRUE(dialog.shown[1].save);
    dialog.CancelError = false;
    EXPECT_EQ(dialog.ShowOpen(), 0); // a cancel without CancelError is no error
    EXPECT_EQ(dialog.unexpected, 0);
    EXPECT_EQ(dialog.ShowOpen(), 0);
    EXPECT_EQ(dialog.unexpected, 1);
}

} // namespace
