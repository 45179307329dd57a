#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <typeinfo>

#include <corvex/pixmap/bmp.h>
#include <corvex/pixmap/jpeg.h>
#include <corvex/pixmap/loader.h>
#include <corvex/pixmap/png.h>
#include "pixmap/test_images.h"
#include <corvex/pixmap/tga.h>
#include <corvex/runtime/module.h>
#include "pixmap/pixmap_module.h"

namespace corvex {
namespace {

using testimages::Bytes;

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartPixmapModule();
        PixmapModule().Reset();
    }
    void TearDown() override { PixmapModule().Reset(); }
};

Bytes SmallPng() {
    testimages::TPngLayout layout;
    layout.width = 2;
    layout.colorType = 2;
    layout.rows = {{1, 2, 3, 4, 5, 6}};
    return testimages::EncodePng(layout);
}

// A stream that cannot tell its position.
class TNoPosStream : public TStream {
public:
    int32_t Read(void*, int32_t) override { return 0; }
};

// A stream that never ends and never delivers: every loader's read raises.
class TStuckStream : public TStream {
public:
    bool Eof() override { return false; }
    int32_t Pos() override { return 0; }
    int32_t Seek(int32_t) override { return 0; }
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Close() override { return ++closes, 0; }
    int closes = 0;
};

class TFailingLoader : public TPixmapLoader {
public:
    Ref<TPixmap> LoadPixmap(const Ref<TStream>&) override { throw TRuntimeException("loader broke"); }
};

TEST_F(LoaderTest, StartUpRegistersTgaPngJpegBmpNewestFirst) {
    std::vector<std::string> order;
    for (auto loader = FirstPixmapLoader(); loader; loader = loader->Succ()) {
        auto& l = *loader;
        order.push_back(typeid(l) == typeid(TPixmapLoaderTGA)   ? "TGA"
                        : typeid(l) == typeid(TPixmapLoaderPNG) ? "PNG"
                        : typeid(l) == typeid(TPixmapLoaderJPG) ? "JPEG"
                        : typeid(l) == typeid(TPixmapLoaderBMP) ? "BMP"
                                                                : "?");
    }
    EXPECT_EQ(order, (std::vector<std::string>{"TGA", "PNG", "JPEG", "BMP"}));
    auto modules = StartedModules();
    auto at = [&](const char* name) { return std::find(modules.begin(), modules.end(), name) - modules.begin(); };
    EXPECT_LT(at("stream"), at("pixmap"));
    StartPixmapModule();  // a second start registers nothing more
    int count = 0;
    for (auto loader = FirstPixmapLoader(); loader; loader = loader->Succ()) ++count;
    EXPECT_EQ(count, 4);
}

TEST_F(LoaderTest, EveryFormatLoadsFromFileAndIncbin) {
    Bytes bmp = testimages::BmpHeader(1, 1, 24);
    bmp.insert(bmp.end(), {9, 8, 7, 0});
    Bytes tga = testimages::TgaHeader(1, 1, 2, 24);
    tga.insert(tga.end(), {9, 8, 7});
    Bytes jpeg = testimages::EncodeJpeg(4, 4, 1, Bytes(16, 100), 100);
    struct Case {
        const char* name;
        Bytes bytes;
        int format;
    };
    for (const Case& c : {Case{"a.png", SmallPng(), FORMAT_RGB888}, Case{"b.bmp", bmp, FORMAT_BGR888},
                          Case{"c.tga", tga, FORMAT_RGB888}, Case{"d.jpg", jpeg, FORMAT_I8}}) {
        // The extension plays no part: every file gets the same misleading one.
        std::string path = testimages::TempPath(std::string(c.name) + ".dat");
        testimages::WriteFile(path, c.bytes);
        auto pixmap = LoadPixmap(path);
        ASSERT_TRUE(pixmap) << c.name;
        EXPECT_EQ(pixmap->format, c.format) << c.name;
        std::remove(path.c_str());
    }
    static const Bytes embedded = SmallPng();
    RegisterIncbin("corvex_loader_test.png", embedded.data(), int32_t(embedded.size()));
    auto pixmap = LoadPixmap("incbin::corvex_loader_test.png");
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->ReadPixel(1, 0), 0xFF040506u);
    EXPECT_FALSE(LoadPixmap("incbin::missing.png"));
    EXPECT_FALSE(LoadPixmap(testimages::TempPath("no_such_file.png")));
}

// A Null load says why: the URL, then no such file, no loader, or the decoder's reason.
TEST_F(LoaderTest, LastLoadErrorNamesTheUrlAndTheCause) {
    std::string missing = testimages::TempPath("corvex_no_such_file.png");
    EXPECT_FALSE(LoadPixmap(missing));
    EXPECT_EQ(ToUtf8(LastLoadError()), missing + ": no such file");
    EXPECT_FALSE(LoadPixmap("incbin::corvex_not_registered.png"));
    EXPECT_EQ(ToUtf8(LastLoadError()), "incbin::corvex_not_registered.png: cannot be opened");

    static const Bytes junk(64, 0x5A);
    RegisterIncbin("corvex_junk.bin", junk.data(), int32_t(junk.size()));
    EXPECT_FALSE(LoadPixmap("incbin::corvex_junk.bin"));
    EXPECT_EQ(ToUtf8(LastLoadError()), "incbin::corvex_junk.bin: no loader recognised the data");

    // A PNG cut short after its header: recognised, then refused by the decoder.
    static const Bytes cut = [] {
        Bytes b = SmallPng();
        b.resize(b.size() - 20);
        return b;
    }();
    RegisterIncbin("corvex_cut.png", cut.data(), int32_t(cut.size()));
    EXPECT_FALSE(LoadPixmap("incbin::corvex_cut.png"));
    std::string why = ToUtf8(LastLoadError());
    EXPECT_EQ(why.rfind("incbin::corvex_cut.png: PNG: ", 0), 0u) << why;

    static const Bytes good = SmallPng();
    RegisterIncbin("corvex_good.png", good.data(), int32_t(good.size()));
    EXPECT_TRUE(LoadPixmap("incbin::corvex_good.png"));
    EXPECT_EQ(LastLoadError(), u"");
}

TEST_F(LoaderTest, StreamErrorsOfUrlCallsNameTheUrl) {
    std::string missing = testimages::TempPath("corvex_missing.bin");
    try {
        LoadByteArray(missing);
        FAIL() << "no exception";
    } catch (const TStreamReadException& e) {
        EXPECT_EQ(std::string(e.what()), "Error reading from stream \"" + missing + "\"");
    }
}

TEST_F(LoaderTest, EmptyAndUnknownDataAreDeclined) {
    Bytes empty;
    EXPECT_FALSE(LoadPixmap(TRamStream::Create(empty.data(), 0, true)));
    Bytes text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};
    EXPECT_FALSE(LoadPixmap(TRamStream::Create(text.data(), int32_t(text.size()), true)));
    EXPECT_FALSE(LoadPixmap(std::make_shared<TNoPosStream>()));
}

TEST_F(LoaderTest, StartsEveryLoaderAtTheStreamPosition) {
    Bytes bytes(100, 0x55);
    Bytes png = SmallPng();
    bytes.insert(bytes.end(), png.begin(), png.end());
    auto stream = TRamStream::Create(bytes.data(), int32_t(bytes.size()), true);
    stream->Seek(100);
    auto pixmap = LoadPixmap(stream);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->ReadPixel(0, 0), 0xFF010203u);
    // The caller's stream is still open and usable.
    stream->Seek(0);
    EXPECT_EQ(stream->ReadByte(), 0x55);

    // A BMP is tried last: TGA, PNG and JPEG have each read from byte 100 before it.
    Bytes withBmp(100, 0x55);
    Bytes bmp = testimages::BmpHeader(1, 1, 24);
    bmp.insert(bmp.end(), {7, 8, 9, 0});
    withBmp.insert(withBmp.end(), bmp.begin(), bmp.end());
    auto bmpStream = TRamStream::Create(withBmp.data(), int32_t(withBmp.size()), true);
    bmpStream->Seek(100);
    pixmap = LoadPixmap(bmpStream);
    ASSERT_TRUE(pixmap);
    EXPECT_EQ(pixmap->ReadPixel(0, 0), 0xFF090807u);
}

TEST_F(LoaderTest, StreamExceptionsDeclineOtherExceptionsPass) {
    auto stuck = std::make_shared<TStuckStream>();
    EXPECT_FALSE(LoadPixmap(stuck));
    EXPECT_EQ(stuck->closes, 0);  // wrapped: the caller's stream is not closed

    RegisterPixmapLoader(std::make_shared<TFailingLoader>());
    Bytes png = SmallPng();
    EXPECT_THROW(LoadPixmap(TRamStream::Create(png.data(), int32_t(png.size()), true)), TRuntimeException);
    PixmapModule().Reset();
    EXPECT_TRUE(LoadPixmap(TRamStream::Create(png.data(), int32_t(png.size()), true)));
}

int CountLoaders() {
    int n = 0;
    for (Ref<TPixmapLoader> l = FirstPixmapLoader(); l; l = l->Succ()) ++n;
    return n;
}

TEST_F(LoaderTest, RegisteringNullOrARegisteredLoaderAgainChangesNothing) {
    ASSERT_EQ(CountLoaders(), 4);
    Ref<TPixmapLoader> last = FirstPixmapLoader();
    while (last->Succ()) last = last->Succ();
    RegisterPixmapLoader(last);  // linking the tail in at the head would make the chain a loop
    RegisterPixmapLoader(FirstPixmapLoader());
    RegisterPixmapLoader(nullptr);
    EXPECT_EQ(CountLoaders(), 4);
    Bytes junk(64, 0x5A);
    EXPECT_FALSE(LoadPixmap(TRamStream::Create(junk.data(), int32_t(junk.size()), true)));
}

TEST_F(LoaderTest, PixelLimitIsSharedByTheDecoders) {
    EXPECT_TRUE(PixmapSizeAllowed(16384, 16384));
    EXPECT_FALSE(PixmapSizeAllowed(16384, 16385));
    EXPECT_FALSE(PixmapSizeAllowed(0, 1));
    EXPECT_FALSE(PixmapSizeAllowed(1, -1));
    PixmapModule().pixelLimit = 15;
    Bytes tga = testimages::TgaHeader(4, 4, 2, 24);
    tga.resize(tga.size() + 48, 1);
    EXPECT_FALSE(LoadPixmap(TRamStream::Create(tga.data(), int32_t(tga.size()), true)));
    Bytes jpeg = testimages::EncodeJpeg(4, 4, 1, Bytes(16, 100), 100);
    EXPECT_FALSE(LoadPixmap(TRamStream::Create(jpeg.data(), int32_t(jpeg.size()), true)));
    PixmapModule().pixelLimit = 16;
    EXPECT_TRUE(LoadPixmap(TRamStream::Create(tga.data(), int32_t(tga.size()), true)));
    EXPECT_TRUE(LoadPixmap(TRamStream::Create(jpeg.data(), int32_t(jpeg.size()), true)));
}

TEST_F(LoaderTest, MutatedImagesNeverCrash) {
    // Small valid files of every kind, then thousands of deterministic mutations of them: every
    // result is Null or a pixmap of sane size whose every row can be read.
    std::vector<Bytes> seeds;
    seeds.push_back(SmallPng());
    testimages::TPngLayout interlaced;
    interlaced.width = 9;
    interlaced.height = 7;
    interlaced.colorType = 3;
    interlaced.bitDepth = 4;
    interlaced.interlaced = true;
    interlaced.palette = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    interlaced.paletteAlpha = {9};
    interlaced.rows.assign(7, Bytes{0x01, 0x20, 0x12, 0x00, 0x20});
    seeds.push_back(testimages::EncodePng(interlaced));
    seeds.push_back(testimages::EncodeJpeg(16, 8, 3, testimages::PatternPixels(16, 8, 3), 70));
    seeds.push_back(testimages::EncodeJpeg(8, 8, 1, testimages::PatternPixels(8, 8, 1), 70, true));
    Bytes bmp = testimages::BmpHeader(3, 2, 4);
    bmp.resize(bmp.size() + 64 + 8, 0x21);
    seeds.push_back(bmp);
    Bytes tga = testimages::TgaHeader(4, 2, 10, 16);
    tga.insert(tga.end(), {0x83, 0x12, 0x34, 0x01, 1, 2, 3, 4, 0x03, 5, 6, 7, 8, 9, 10, 11, 12});
    seeds.push_back(tga);

    // A mutated header may claim a large image; a low limit keeps each attempt short.
    PixmapModule().pixelLimit = 1 << 16;
    uint32_t state = 12345;
    auto next = [&] { return state = state * 1103515245u + 12345u, state >> 8; };
    int loaded = 0;
    for (const Bytes& seed : seeds) {
        for (int round = 0; round < 400; ++round) {
            Bytes bytes = seed;
            int edits = 1 + int(next() % 4);
            for (int e = 0; e < edits; ++e) {
                size_t at = next() % bytes.size();
                switch (next() % 3) {
                case 0: bytes[at] = uint8_t(next()); break;
                case 1: bytes[at] ^= uint8_t(1u << (next() % 8)); break;
                default: bytes.resize(std::max<size_t>(1, at)); break;
                }
            }
            auto pixmap = LoadPixmap(TRamStream::Create(bytes.data(), int32_t(bytes.size()), true));
            if (!pixmap) continue;
            ++loaded;
            ASSERT_TRUE(PixmapSizeAllowed(pixmap->width, pixmap->height));
            ASSERT_TRUE(IsPixelFormat(pixmap->format));
            for (int y = 0; y < pixmap->height; ++y) (void)pixmap->ReadPixel(pixmap->width - 1, y);
        }
    }
    EXPECT_GT(loaded, 0);
}

}  // namespace
}  // namespace corvex
