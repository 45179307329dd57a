#include <corvex/pixmap/loader.h>

#include <corvex/pixmap/bmp.h>
#include "pixmap/codec_util.h"
#include <corvex/pixmap/jpeg.h>
#include <corvex/pixmap/png.h>
#include <corvex/pixmap/tga.h>
#include <corvex/runtime/module.h>
#include "pixmap/pixmap_module.h"
#include "stream/load_error.h"

namespace corvex {
namespace {
void RegisterStandardLoaders(TPixmapModule& module) {
    // Newest first when loading: TGA, PNG, JPEG, BMP.
    module.loaders.Push(std::make_shared<TPixmapLoaderBMP>());
    module.loaders.Push(std::make_shared<TPixmapLoaderJPG>());
    module.loaders.Push(std::make_shared<TPixmapLoaderPNG>());
    module.loaders.Push(std::make_shared<TPixmapLoaderTGA>());
}
}  // namespace

TPixmapModule& PixmapModule() {
    static TPixmapModule module;
    return module;
}

void TPixmapModule::Reset() {
    loaders.Clear();
    pixelLimit = MAX_PIXMAP_PIXELS;
    if (started) RegisterStandardLoaders(*this);
}

void StartPixmapModule() {
    StartStreamModule();
    if (!BeginModuleStart("pixmap")) return;
    TPixmapModule& module = PixmapModule();
    module.started = true;
    RegisterStandardLoaders(module);
}

void RegisterPixmapLoader(Ref<TPixmapLoader> loader) { PixmapModule().loaders.Push(std::move(loader)); }

Ref<TPixmapLoader> FirstPixmapLoader() { return PixmapModule().loaders.First(); }

bool PixmapSizeAllowed(int64_t width, int64_t height) {
    if (width < 1 || height < 1) return false;
    int64_t limit = PixmapModule().pixelLimit;
    return width <= limit && height <= limit / width;
}

Ref<TPixmap> LoadPixmap(const TUrl& url) {
    BeginLoad();
    Ref<TStream> stream = ReadUrlStream(url);
    if (!stream) {
        FailLoad(url, false);
        return nullptr;
    }
    detail::TCloseOnExit closer(stream);
    const int32_t pos = stream->Pos();
    if (pos == -1) {
        FailLoad(url, false);
        return nullptr;
    }
    for (Ref<TPixmapLoader> loader = FirstPixmapLoader(); loader; loader = loader->Succ()) {
        stream->Seek(pos);
        Ref<TPixmap> pixmap;
        try {
            pixmap = loader->LoadPixmap(stream);
        } catch (const TStreamException&) {
            pixmap = nullptr;  // a failed read means this loader declines
        }
        if (pixmap) {
            BeginLoad();  // a note from a loader that declined is not a failure
            return pixmap;
        }
    }
    FailLoad(url, true);
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
