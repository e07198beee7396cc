// Facts kept by file identity: an unchanged file is read once, a file whose time or
// size changed is read again, and a missing file is never kept.
#include <gtest/gtest.h>
#include <string>

#include "common/file_facts.h"
#include "support/test_env.h"

namespace {

class FileFactsTest : public BrackmoorTest {
protected:
    void SetUp() override
    {
        BrackmoorTest::SetUp();
        FreeFileFacts();
        program_ = TempFolder() + "\\Copy Of Monitor.exe";
        ASSERT_TRUE(CopyFileA((BinFolder() + "\\brackmoor.exe").c_str(), program_.c_str(), FALSE));
    }
    void TearDown() override
    {
        FreeFileFacts();
        BrackmoorTest::TearDown();
    }
    // Version reads the cache made for one lookup of the program.
    int ReadsFor(const std::string &path, std::string *product = nullptr)
    {
        static VersionRecord rec;
        int before = giFileFactVersionReads;
        GetVersionInfoCached(path.c_str(), &rec);
        if (product)
            *product = rec.ProductName;
        return giFileFactVersionReads - before;
    }
    void Touch(DWORD lowPart) { ASSERT_TRUE(SetWriteTime(program_, (30000000ULL << 32) | lowPart)); }
    std::string program_;
};

TEST_F(FileFactsTest, VersionIsReadOncePerIdentity)
{
    std::string product;
    EXPECT_EQ(1, ReadsFor(program_, &product));
    EXPECT_EQ("Brackmoor", product);
    product.clear();
    EXPECT_EQ(0, ReadsFor(program_, &product)) << "unchanged: answered from the cache";
    EXPECT_EQ("Brackmoor", product);
    std::string upper = program_;
    for (char &c : upper)
        c = (char)toupper((unsigned char)c);
    EXPECT_EQ(0, ReadsFor(upper)) << "paths compare without regard to case";

    Touch(1234);
    EXPECT_EQ(1, ReadsFor(program_)) << "a new write time is a new file";
    HANDLE f = CreateFileA(program_.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    SetFilePointer(f, 0, NULL, FILE_END);
    DWORD written;
    WriteFile(f, "x", 1, &written, NULL);
    CloseHandle(f);
    Touch(1234);
    EXPECT_EQ(1, ReadsFor(program_)) << "same time, new size: read again";

    int entries = CountFileFacts();
    DeleteFileA(program_.c_str());
    EXPECT_EQ(1, ReadsFor(program_, &product));
    EXPECT_EQ("", product) << "a missing file has no version and nothing is kept";
    EXPECT_EQ(1, ReadsFor(program_));
    EXPECT_EQ(entries, CountFileFacts());
}

TEST_F(FileFactsTest, OtherFactsFollowTheSameIdentity)
{
    FileFact fact = {2, "Signer"}, out = {};
    EXPECT_EQ(0, LookupFileFact(program_.c_str(), FACT_SIGNATURE, &out));
    StoreFileFact(program_.c_str(), FACT_SIGNATURE, &fact);
    ASSERT_EQ(1, LookupFileFact(program_.c_str(), FACT_SIGNATURE, &out));
    EXPECT_EQ(2, out.status);
    EXPECT_STREQ("Signer", out.text);
    EXPECT_EQ(0, LookupFileFact(program_.c_str(), FACT_KIND_COUNT, &out)) << "unknown kind";
    Touch(99);
    EXPECT_EQ(0, LookupFileFact(program_.c_str(), FACT_SIGNATURE, &out)) << "forgotten when the file changed";
    DeleteFileA(program_.c_str());
    EXPECT_EQ(-1, LookupFileFact(program_.c_str(), FACT_SIGNATURE, &out)) << "a missing file is told apart";
}

}  // namespace
