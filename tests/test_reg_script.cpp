// Registry scripts and vault restore scripts: the texts the registry editor and cmd
// read, the refusal for the product's own keys, and the real import by the editor.
#include <gtest/gtest.h>
#include <string>

#include "common/reg_script.h"
#include "support/system_state.h"
#include "support/test_env.h"

namespace {

const char kKey[] = "Software\\BrackTestScript";    // no product name: the editor may change it
const char kHeader[] = "Windows Registry Editor Version 5.00\r\n\r\n";

class RegScriptTest : public BrackmoorTest {
protected:
    void TearDown() override
    {
        RegDeleteTreeView(HKEY_CURRENT_USER, kKey);
        BrackmoorTest::TearDown();
    }
    std::string Script(const char *root, const char *key, const char *name, const char *data, int kind)
    {
        std::string path = TempFolder() + "\\temp.reg";
        DeleteFileA(path.c_str());
        if (!WriteRegScript(path.c_str(), root, key, name, data, kind))
            return PathExists(path) ? "<file left behind>" : "<none>";
        return ReadWholeFile(path);
    }
};

TEST_F(RegScriptTest, ScriptTextsByKind)
{
    const std::string keyLine = "[HKEY_LOCAL_MACHINE\\Software\\Vendor]\r\n";
    struct {
        const char *name, *data;
        int kind;
        const char *valueLine;
    } rows[] = {
        {"Path", "C:\\Program Files\\a \"b\".exe", REGCMD_STRING, "\"Path\"=\"C:\\\\Program Files\\\\a \\\"b\\\".exe\""},
        {"", "text", REGCMD_STRING, "@=\"text\""},
        {"Level", "10", REGCMD_DWORD, "\"Level\"=dword:0000000a"},
        {"Big", "4294967295", REGCMD_DWORD, "\"Big\"=dword:ffffffff"},
        {"Gone", NULL, REGCMD_DELETE, "\"Gone\"=-"},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(kHeader + keyLine + rows[i].valueLine + "\r\n",
                  Script("HKEY_LOCAL_MACHINE", "Software\\Vendor", rows[i].name, rows[i].data, rows[i].kind));
    }
    // Refused without a file: the product's own keys (in the key or, for a deletion,
    // the value), a kind without a value line, a text a line cannot carry.
    EXPECT_EQ("<none>", Script("HKEY_CURRENT_USER", "Software\\Dunmere Works\\BRACKmoor", "x", "1", REGCMD_STRING));
    EXPECT_EQ("<none>", Script("HKEY_CURRENT_USER", "Software\\Run", "brackmoor", NULL, REGCMD_DELETE));
    EXPECT_EQ("<none>", Script("HKEY_CURRENT_USER", "Software\\Run", "x", "1", 3));
    EXPECT_EQ("<none>", Script("HKEY_CURRENT_USER", "Software\\Run", "x", "a\r\nb", REGCMD_STRING));
    EXPECT_EQ("<none>", Script("HKEY_CURRENT_USER", std::string(5000, 'k').c_str(), "x", "1", REGCMD_STRING));
}

TEST_F(RegScriptTest, TheEditorImportsEachChangeAndTheScriptGoes)
{
    RegPut(HKEY_CURRENT_USER, kKey, "Keep", "untouched");
    RegPut(HKEY_CURRENT_USER, kKey, "Gone", "x");
    const std::string script = DataFolder() + "\\temp.reg";

    ASSERT_EQ(1, CreateRegCommand("HKEY_CURRENT_USER", kKey, "Path", "C:\\Tools\\\"q\" x.exe", REGCMD_STRING));
    EXPECT_EQ("C:\\Tools\\\"q\" x.exe", RegText(HKEY_CURRENT_USER, kKey, "Path"));
    EXPECT_FALSE(PathExists(script)) << "the script is removed after the import";
    ASSERT_EQ(1, CreateRegCommand("HKEY_CURRENT_USER", kKey, "Level", "10", REGCMD_DWORD));
    EXPECT_EQ(DwordData(10), RegKeyValues(HKEY_CURRENT_USER, kKey)["Level"]);
    ASSERT_EQ(1, CreateRegCommand("HKEY_CURRENT_USER", kKey, "Gone", NULL, REGCMD_DELETE));
    EXPECT_FALSE(RegHasValue(HKEY_CURRENT_USER, kKey, "Gone"));
    EXPECT_EQ("untouched", RegText(HKEY_CURRENT_USER, kKey, "Keep"));

    // The product's own key: no script, no launch, nothing changed.
    RegPut(HKEY_CURRENT_USER, "Software\\Dunmere Works\\Brackmoor", "Probe", "old");
    EXPECT_EQ(0, CreateRegCommand("HKEY_CURRENT_USER", "Software\\Dunmere Works\\Brackmoor", "Probe", "new",
                                  REGCMD_STRING));
    EXPECT_EQ("old", RegText(HKEY_CURRENT_USER, "Software\\Dunmere Works\\Brackmoor", "Probe"));
}

TEST_F(RegScriptTest, VaultRestoreScriptHasItsSevenLines)
{
    const char former[] = "C:\\windows\\sneaky file.dll";
    const std::string kept = DataFolder() + "\\vault\\sneaky file.dll";
    ASSERT_EQ(1, WriteVaultRestoreScript(kept.c_str(), former));
    EXPECT_EQ(std::string("@echo off\r\n\r\n@cls\r\n\r\n") +
                  "@echo \"This script will copy the file C:\\windows\\sneaky file.dll to its original location.\"\r\n\r\n" +
                  "pause\r\n\r\nmove  \"" + kept + "\"  \"C:\\windows\\sneaky file.dll\"\r\n\r\n" +
                  "attrib +H \"C:\\windows\\sneaky file.dll\"\r\n\r\nexit\r\n\r\n",
              ReadWholeFile(DataFolder() + "\\vault\\Restore_sneaky file.dll.bat"));
    // A second copy of that name is kept as "2_..." with its own script; cmd would
    // read a "%" in a path as the start of a variable.
    const std::string second = DataFolder() + "\\vault\\2_50%off.dll";
    ASSERT_EQ(1, WriteVaultRestoreScript(second.c_str(), "C:\\win\\50%off.dll"));
    std::string text = ReadWholeFile(DataFolder() + "\\vault\\Restore_2_50%off.dll.bat");
    EXPECT_NE(std::string::npos, text.find("move  \"" + DataFolder() + "\\vault\\2_50%%off.dll\"  \"C:\\win\\50%%off.dll\""));
    EXPECT_NE(std::string::npos, text.find("attrib +H \"C:\\win\\50%%off.dll\""));
    // A path that would be cut is no script at all.
    EXPECT_EQ(0, WriteVaultRestoreScript(std::string(900, 'k').c_str(), former));
}

}  // namespace
