// File streams by names beyond ASCII: UTF-16 and UTF-8 names reach the same file, on Linux
// (UTF-8 bytes) and on Windows (the wide calls), and files made by others are found by them.
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include <corvex/stream/stream.h>

namespace corvex {
namespace {

namespace fs = std::filesystem;

// "Grüße 日本 😀": two-byte, three-byte and four-byte UTF-8, and a surrogate pair in UTF-16.
const char8_t kName[] = u8"Gr\u00fc\u00dfe \u65e5\u672c \U0001F600.bin";
const char16_t kName16[] = u"Gr\u00fc\u00dfe \u65e5\u672c \U0001F600.bin";

class FileNameTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartStreamModule();
        std::random_device random;
        dir = fs::temp_directory_path() / fs::path(u8"corvex-n\u00e4me-" + std::u8string(
                                                      reinterpret_cast<const char8_t*>(std::to_string(random()).c_str())));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    // The full name as the framework takes it, UTF-16 with '/' separators.
    TString Name16() const {
        TString out = dir.generic_u16string() + u"/" + kName16;
        return out;
    }
    std::string Name8() const {
        const std::u8string out = dir.generic_u8string() + u8"/" + kName;
        return std::string(out.begin(), out.end());
    }
    fs::path dir;
};

TEST_F(FileNameTest, StreamsWriteAndReadANonAsciiNameThatOthersSee) {
    Ref<TCStream> out = TCStream::OpenFile(Name16(), false, true);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->WriteLine(u"hello"), 1);
    out->Close();

    // The file exists under exactly that name for the platform's own file calls.
    std::ifstream check(dir / fs::path(kName), std::ios::binary);
    ASSERT_TRUE(check.good());
    const std::string content((std::istreambuf_iterator<char>(check)), {});
    EXPECT_EQ(content, "hello\r\n");

    // And both spellings of the name open it for reading.
    Ref<TCStream> in16 = TCStream::OpenFile(Name16(), true, false);
    ASSERT_TRUE(in16);
    EXPECT_EQ(in16->ReadLine(), u"hello");
    in16->Close();
    Ref<TCStream> in8 = TCStream::OpenFile(std::string_view(Name8()), true, false);
    ASSERT_TRUE(in8);
    EXPECT_EQ(in8->Size(), 7);
    in8->Close();
}

TEST_F(FileNameTest, AFileMadeElsewhereOpensByItsName) {
    std::ofstream(dir / fs::path(kName), std::ios::binary) << "abc";
    Ref<TCStream> in = TCStream::OpenFile(Name16(), true, false);
    ASSERT_TRUE(in);
    EXPECT_EQ(in->ReadString(3), u"abc");
    in->Close();
    // A name that differs only in one accent is another file.
    TString other = Name16();
    other[other.rfind(u'\u00fc')] = u'u';
    EXPECT_FALSE(TCStream::OpenFile(other, true, false));
}

}  // namespace
}  // namespace corvex
