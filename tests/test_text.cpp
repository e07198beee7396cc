// Bounded text: truncation is reported, buffers stay terminated, nothing is
// written past the capacity, and the case-insensitive tests follow their rules.
#include <gtest/gtest.h>
#include <string.h>
#include <string>

#include "common/text.h"

TEST(Text, CopyAppendAndFormatStayInsideTheBuffer)
{
    char buf[8 + 1];
    memset(buf, 'X', sizeof(buf));    // buf[8] is a guard byte outside the capacity of 8
    EXPECT_EQ(1, CopyText(buf, 8, "1234567"));
    EXPECT_STREQ("1234567", buf);
    EXPECT_EQ(0, CopyText(buf, 8, "123456789"));
    EXPECT_STREQ("1234567", buf);
    EXPECT_EQ('X', buf[8]);

    EXPECT_EQ(1, CopyText(buf, 8, "abc"));
    EXPECT_EQ(1, AppendText(buf, 8, "defg"));
    EXPECT_STREQ("abcdefg", buf);
    EXPECT_EQ(0, AppendText(buf, 8, "h"));
    EXPECT_STREQ("abcdefg", buf);
    EXPECT_EQ('X', buf[8]);

    EXPECT_EQ(1, FormatText(buf, 8, "%d-%s", 42, "ab"));
    EXPECT_STREQ("42-ab", buf);
    EXPECT_EQ(0, FormatText(buf, 8, "%s", "a long text"));
    EXPECT_STREQ("a long ", buf);
    EXPECT_EQ('X', buf[8]);
    EXPECT_EQ(0, AppendFormat(buf, 8, "%d", 1));
    EXPECT_EQ('X', buf[8]);

    // A buffer that lost its terminator is repaired, never overrun.
    memset(buf, 'Y', 8);
    EXPECT_EQ(0, AppendText(buf, 8, "z"));
    EXPECT_EQ('\0', buf[7]);
    EXPECT_EQ('X', buf[8]);

    EXPECT_EQ(1, CopyTextN(buf, 8, "abcdef", 3));
    EXPECT_STREQ("abc", buf);
    EXPECT_EQ(0, CopyText(buf, 0, "a"));
    EXPECT_EQ(1, CopyText(buf, 8, nullptr));
    EXPECT_STREQ("", buf);
}

TEST(Text, ContainsIgnoresCaseAndStopsAt772Characters)
{
    EXPECT_EQ(1, StrContains("C:\\Program Files\\Brackmoor\\BRACKMOOR.EXE -expressboot", "-Express"));
    EXPECT_EQ(1, StrContains("abc", ""));
    EXPECT_EQ(0, StrContains("abc", "abcd"));
    EXPECT_EQ(0, StrContains(nullptr, "a"));

    std::string text(771, 'a');
    text += "Q";                                   // 772 characters: still looked into
    EXPECT_EQ(1, StrContains(text.c_str(), "q"));
    text += "b";                                   // 773: contains nothing
    EXPECT_EQ(0, StrContains(text.c_str(), "q"));
    EXPECT_EQ(0, StrContains(text.c_str(), "a"));
    // High-byte characters are compared as they are, without running past the text.
    EXPECT_EQ(1, StrContains("caf\xe9 name", "\xe9 N"));
}

TEST(Text, EqualTreatsEmptyAsOneBlank)
{
    EXPECT_EQ(0, StrEqualNoCase("C:\\Tool.EXE", "c:\\tool.exe"));
    EXPECT_NE(0, StrEqualNoCase("C:\\Tool.EXE", "c:\\toolbar.exe"));
    EXPECT_NE(0, StrEqualNoCase("tool", "tool "));
    EXPECT_EQ(0, StrEqualNoCase("", " "));
    EXPECT_EQ(0, StrEqualNoCase(nullptr, ""));
    EXPECT_NE(0, StrEqualNoCase("", "a"));
}

TEST(Text, TextToIntTakesLeadingDigits)
{
    const struct { const char *text; int value; } rows[] = {
        {"0", 0}, {"17", 17}, {"12abc", 12}, {"abc", 0}, {"", 0}, {"-5", -5}, {" 7", 7},
        {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++)
        EXPECT_EQ(rows[i].value, TextToInt(rows[i].text)) << "row " << i << " '" << rows[i].text << "'";
}
