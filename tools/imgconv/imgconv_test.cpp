// Drives the imgconv binary as a user would and checks its output, files and exit status.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <sys/wait.h>

#include <corvex/pixmap/loader.h>
#include "pixmap/test_images.h"

namespace corvex {
namespace {

using testimages::Bytes;

struct TResult {
    int status;
    std::string out;
    std::string err;
};

std::vector<std::string>& TempFiles() {
    static std::vector<std::string> files;
    return files;
}

std::string Temp(const std::string& name) {
    TempFiles().push_back(testimages::TempPath("imgconv_" + name));
    return TempFiles().back();
}

std::string Slurp(const std::string& path) {
    Bytes bytes = testimages::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

TResult Imgconv(const std::string& args) {
    const std::string out = Temp("stdout.txt"), err = Temp("stderr.txt");
    std::string command = std::string(IMGCONV_PATH) + " " + args + " >" + out + " 2>" + err;
    int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out), Slurp(err)};
}

int Lines(const std::string& text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

class ImgconvTest : public ::testing::Test {
protected:
    void SetUp() override { StartPixmapModule(); }
    void TearDown() override {
        for (const std::string& path : TempFiles()) std::remove(path.c_str());
        TempFiles().clear();
    }
};

TEST_F(ImgconvTest, ConvertsBmpToPngKeepingPixels) {
    Bytes bmp = testimages::BmpHeader(3, 2, 24);
    for (int i = 0; i < 24; ++i) bmp.push_back(uint8_t(i * 10));
    const std::string input = Temp("in.bmp"), output = Temp("out.png");
    testimages::WriteFile(input, bmp);
    TResult r = Imgconv(input + " " + output);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "3x2 FORMAT_BGR888\n");
    EXPECT_EQ(r.err, "");
    auto source = LoadPixmap(input), converted = LoadPixmap(output);
    ASSERT_TRUE(source && converted);
    EXPECT_EQ(converted->format, FORMAT_RGB888);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(converted->ReadPixel(x, y), source->ReadPixel(x, y));
}

TEST_F(ImgconvTest, ConvertsTgaToJpegAtAQuality) {
    Bytes tga = testimages::TgaHeader(40, 30, 2, 32);
    for (int i = 0; i < 40 * 30; ++i) tga.insert(tga.end(), {uint8_t(i), uint8_t(i / 40 * 8), 200, 255});
    const std::string input = Temp("in.tga"), high = Temp("high.JPG"), low = Temp("low.jpeg");
    testimages::WriteFile(input, tga);
    TResult r = Imgconv("--quality 95 " + input + " " + high);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "40x30 FORMAT_RGBA8888\n");
    EXPECT_EQ(Imgconv(input + " --quality 5 " + low).status, 0);
    EXPECT_LT(testimages::ReadFile(low).size(), testimages::ReadFile(high).size());
    auto back = LoadPixmap(high);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->format, FORMAT_RGB888);
    EXPECT_EQ(back->width, 40);
}

TEST_F(ImgconvTest, CompressionLevelReachesTheEncoder) {
    Bytes bytes = testimages::EncodeRgbaPatternPng(64, 64);
    const std::string input = Temp("pattern.png"), fast = Temp("c0.png"), best = Temp("c9.png");
    testimages::WriteFile(input, bytes);
    ASSERT_EQ(Imgconv("--compression 0 " + input + " " + fast).status, 0);
    ASSERT_EQ(Imgconv("--compression 9 " + input + " " + best).status, 0);
    EXPECT_LT(testimages::ReadFile(best).size(), testimages::ReadFile(fast).size());
}

TEST_F(ImgconvTest, InfoOnlyPrints) {
    const std::string input = Temp("info.jpg");
    testimages::WriteFile(input, testimages::EncodeJpeg(64, 48, 3, testimages::PatternPixels(64, 48, 3)));
    TResult r = Imgconv("--info " + input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "64x48 FORMAT_RGB888\n");
}

TEST_F(ImgconvTest, UnreadableInputAndUnwritableOutputExitOne) {
    TResult missing = Imgconv(Temp("no-such-file.png") + " " + Temp("x.png"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(Lines(missing.err), 1);

    const std::string text = Temp("text.png");
    testimages::WriteFile(text, Bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    EXPECT_EQ(Imgconv("--info " + text).status, 1);
    EXPECT_EQ(Imgconv("--info incbin::no-such-resource").status, 1);

    const std::string input = Temp("ok.bmp");
    Bytes bmp = testimages::BmpHeader(1, 1, 24);
    bmp.insert(bmp.end(), {1, 2, 3, 0});
    testimages::WriteFile(input, bmp);
    TResult unwritable = Imgconv(input + " /nonexistent-dir/out.png");
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.out, "1x1 FORMAT_BGR888\n");
    EXPECT_EQ(Lines(unwritable.err), 1);
}

TEST_F(ImgconvTest, UsageErrorsExitTwo) {
    const std::string input = Temp("usage.bmp");
    Bytes bmp = testimages::BmpHeader(1, 1, 24);
    bmp.insert(bmp.end(), {1, 2, 3, 0});
    testimages::WriteFile(input, bmp);
    for (std::string args : {std::string(""), input, input + " a.png b.png", input + " out.gif",
                             input + " out", "--quality 0 " + input + " o.jpg",
                             "--quality 101 " + input + " o.jpg", "--quality x " + input + " o.jpg",
                             "--compression 10 " + input + " o.png", input + " o.png --quality",
                             "--bogus " + input + " o.png", "--info " + input + " o.png",
                             "--info --quality 5 " + input}) {
        TResult r = Imgconv(args);
        EXPECT_EQ(r.status, 2) << "args: " << args;
        EXPECT_EQ(r.out, "") << "args: " << args;
    }
    EXPECT_EQ(Imgconv("--help").status, 0);
}

}  // namespace
}  // namespace corvex
