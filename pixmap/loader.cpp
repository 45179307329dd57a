#include <corvex/pixmap/loader.h>

#include <corvex/pixmap/bmp.h>
#include "pixmap/codec_util.h"
#include <corvex/pixmap/jpeg.h>
#include <corvex/pixmap/png.h>
#include <corvex/pixmap/tga.h>
#include <corvex/runtime/module.h>

namespace corvex {
TPixmapModule& TPixmapModule::Get() {
    static TPixmapModule module;
    return module;
}

TPixmapModule::~TPixmapModule() = default;

void TPixmapModule::AddLoader(Ref<TPixmapLoader> loader) {
    loader->_succ = std::move(_loaders);
    _loaders = std::move(loader);
}

void TPixmapModule::RegisterStandardLoaders() {
    // Newest first when loading: TGA, PNG, JPEG, BMP.
    AddLoader(std::make_shared<TPixmapLoaderBMP>());
    AddLoader(std::make_shared<TPixmapLoaderJPG>());
    AddLoader(std::make_shared<TPixmapLoaderPNG>());
    AddLoader(std::make_shared<TPixmapLoaderTGA>());
}

void TPixmapModule::Reset() {
    _loaders = nullptr;
    _pixelLimit = MAX_PIXMAP_PIXELS;
    if (_started) RegisterStandardLoaders();
}

void StartPixmapModule() {
    StartStreamModule();
    if (!BeginModuleStart("pixmap")) return;
    TPixmapModule& module = TPixmapModule::Get();
    module._started = true;
    module.RegisterStandardLoaders();
}

void RegisterPixmapLoader(Ref<TPixmapLoader> loader) { TPixmapModule::Get().AddLoader(std::move(loader)); }

Ref<TPixmapLoader> FirstPixmapLoader() { return TPixmapModule::Get().FirstLoader(); }

bool PixmapSizeAllowed(int64_t width, int64_t height) {
    if (width < 1 || height < 1) return false;
    int64_t limit = TPixmapModule::Get().PixelLimit();
    return width <= limit && height <= limit / width;
}

Ref<TPixmap> LoadPixmap(const TUrl& url) {
    Ref<TStream> stream = ReadUrlStream(url);
    if (!stream) return nullptr;
    detail::TCloseOnExit closer(stream);
    const int32_t pos = stream->Pos();
    if (pos == -1) return nullptr;
    for (Ref<TPixmapLoader> loader = FirstPixmapLoader(); loader; loader = loader->Succ()) {
        stream->Seek(pos);
        Ref<TPixmap> pixmap;
        try {
            pixmap = loader->LoadPixmap(stream);
        } catch (const TStreamException&) {
            pixmap = nullptr;  // a failed read means this loader declines
        }
        if (pixmap) return pixmap;
    }
    return nullptr;
}

namespace detail {

bool ReadExactly(TStream& stream, void* buffer, int32_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    while (count > 0 && !stream.Eof()) {
        const int32_t n = stream.Read(p, count);
        if (n <= 0) throw TStreamReadException();
        const int32_t done = n < count ? n : count;
        p += done;
        count -= done;
    }
    return count == 0;
}

}  // namespace detail
}  // namespace corvex
