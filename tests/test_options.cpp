// The options store: decimal text values with defaults, the change signal,
// translations from the registry, and the countdown reloads.
#include "support/test_env.h"

#include "common/registry.h"
#include "common/options.h"

using OptionsTest = BrackmoorTest;

TEST_F(OptionsTest, ReadOptionIntDefaultsAndConversion)
{
    EXPECT_EQ(7, ReadOptionInt("Services", 7));              // key absent
    PutOption("Services", "");
    EXPECT_EQ(7, ReadOptionInt("Services", 7));              // empty text: the default
    PutOption("Services", "abc");
    EXPECT_EQ(0, ReadOptionInt("Services", 7));              // no digits: 0, not the default
    PutOption("Services", "12 scans");
    EXPECT_EQ(12, ReadOptionInt("Services", 7));
    PutOption("Services", "0");
    EXPECT_EQ(0, ReadOptionInt("Services", 7));
    // A DWORD value is not an option text: it reads as absent.
    RegPutDword(HKEY_CURRENT_USER, OPTIONS_KEY, "Services", 3);
    EXPECT_EQ(7, ReadOptionInt("Services", 7));
    // Binary data in the value is text up to its first NUL.
    RegPutBinary(HKEY_CURRENT_USER, OPTIONS_KEY, "Services", "5\0009", 3, REG_SZ);
    EXPECT_EQ(5, ReadOptionInt("Services", 7));
}

TEST_F(OptionsTest, WriteOptionIntSignalsTheChange)
{
    PutOption("Update", "0");
    WriteOptionInt("Sound", -2);
    EXPECT_EQ("-2", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "Sound"));
    EXPECT_EQ("1", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "Update"));
    EXPECT_EQ(1, OptionsChanged());
    ClearOptionsChanged();
    EXPECT_EQ("0", RegText(HKEY_CURRENT_USER, OPTIONS_KEY, "Update"));
    EXPECT_EQ(0, OptionsChanged());
}

TEST_F(OptionsTest, ReadOptionsFillsDefaultsAndSetsTheMasks)
{
    RegReadAccess = KEY_WRITE;
    RegWriteAccess = KEY_WRITE;
    ReadOptions();
    EXPECT_EQ((REGSAM)KEY_READ, RegReadAccess);
    EXPECT_EQ((REGSAM)KEY_ALL_ACCESS, RegWriteAccess);
    // Each variable takes its own option's default, then its own value, not a neighbour's.
    for (int i = 0; i < OptionTableCount; i++)
        EXPECT_EQ(OptionTable[i].defaultValue, *OptionTable[i].value) << OptionTable[i].name;
    for (int i = 0; i < OptionTableCount; i++)
        PutOption(OptionTable[i].name, std::to_string(100 + i).c_str());
    ReadOptions();
    for (int i = 0; i < OptionTableCount; i++)
        EXPECT_EQ(100 + i, *OptionTable[i].value) << OptionTable[i].name;
}

TEST_F(OptionsTest, ReadOptionsReloadsCountdownsButKeepsTheLargerWinInit)
{
    PutOption("Start", "3");
    PutOption("Tasks", "0");
    PutOption("WinInit", "5");
    giStartCount = 1;
    giTasksCount = 4;
    giWinInitCount = 9999;          // "no further restart-commands check in this run"
    ReadOptions();
    EXPECT_EQ(3, giStartCount);
    EXPECT_EQ(0, giTasksCount);
    EXPECT_EQ(9999, giWinInitCount);
    giWinInitCount = 2;
    ReadOptions();
    EXPECT_EQ(5, giWinInitCount);
}

TEST_F(OptionsTest, TranslationsReplaceTableTexts)
{
    char buf[LANG_TEXT_MAX + 8];
    UILanguage = 7;
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "LString17", "Beenden?%nWirklich");
    EXPECT_EQ(17, GetLangString(17, (int)sizeof(buf), buf));
    EXPECT_STREQ("Beenden?\nWirklich", buf);
    // The limit counts the terminator; a limit of 0 copies nothing.
    EXPECT_EQ(7, GetLangString(17, 8, buf));
    EXPECT_STREQ("Beenden", buf);
    strcpy(buf, "sentinel");
    EXPECT_EQ(0, GetLangString(17, 0, buf));
    EXPECT_STREQ("sentinel", buf);

    // English never looks at translations; without one the table text is used.
    char table[LANG_TEXT_MAX];
    ASSERT_GT(LoadStringA(GetModuleHandleA(NULL), 17, table, sizeof(table)), 0);
    UILanguage = 9;
    GetLangString(17, (int)sizeof(buf), buf);
    EXPECT_STREQ(table, buf);
    UILanguage = 7;
    RegRemoveValue(HKEY_CURRENT_USER, BRACKMOOR_KEY, "LString17");
    GetLangString(17, (int)sizeof(buf), buf);
    EXPECT_STREQ(table, buf);
    // A translation too long to read falls back to the table text.
    std::string longText(900, 'x');
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "LString17", longText.c_str());
    GetLangString(17, (int)sizeof(buf), buf);
    EXPECT_STREQ(table, buf);
    // Limits above 771 are capped.
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "LString17", std::string(770, 'y').c_str());
    EXPECT_EQ(770, GetLangString(17, (int)sizeof(buf), buf));
    RegPut(HKEY_CURRENT_USER, BRACKMOOR_KEY, "LString17", std::string(772, 'y').c_str());
    EXPECT_EQ(770, GetLangString(17, (int)sizeof(buf), buf));
}

TEST_F(OptionsTest, LanguageCodeChoosesTheLastMatch)
{
    const struct { const char *code; WORD lang; } rows[] = {
        {"us", 9}, {"US", 9}, {"de", 7}, {"fr", 12}, {"xx", 0}, {"", 0},
        {"dear", 1}, {"arfi", 11}, {"ptbr", 22}, {"\xEA\xE0\xEA", 1}, {"cn", 4}, {"usde", 9},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++)
        EXPECT_EQ(rows[i].lang, ChooseUILanguage(rows[i].code)) << "row " << i;
}
