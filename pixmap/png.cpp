// libpng reports errors by longjmp. Every call into libpng that may fail runs inside one of the
// small "phase" functions below, which set the jump buffer and hold no C++ objects with
// destructors; the C++ callers around them own the stream, the pixmap and the libpng structures.
// Callbacks catch C++ exceptions, keep them, and only then raise a libpng error, so no exception
// ever unwinds through libpng's C frames.
#include <corvex/pixmap/png.h>

#include <png.h>

#include <csetjmp>
#include <string>
#include <vector>

#include "pixmap/codec_util.h"
#include "stream/load_error.h"

namespace corvex {
namespace {

// What the read and write callbacks reach through libpng's io pointer.
struct TPngIo {
    TStream* stream = nullptr;
    std::exception_ptr error;  // an exception a callback caught, passed on after clean-up
};

void PngError(png_structp png, png_const_charp message) {
    NoteDecodeError(std::string("PNG: ") + (message ? message : "bad data"));
    png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep data, size_t length) {
    auto* io = static_cast<TPngIo*>(png_get_io_ptr(png));
    bool complete = false;
    try {
        complete = length <= size_t(INT32_MAX) && detail::ReadExactly(*io->stream, data, int32_t(length));
    } catch (...) {
        io->error = std::current_exception();
    }
    if (!complete) png_error(png, "Truncated or unreadable PNG data");
}

void PngWrite(png_structp png, png_bytep data, size_t length) {
    auto* io = static_cast<TPngIo*>(png_get_io_ptr(png));
    bool failed = false;
    try {
        io->stream->WriteBytes(data, int32_t(length));
    } catch (...) {
        io->error = std::current_exception();
        failed = true;
    }
    if (failed) png_error(png, "Write failed");
}

void PngFlush(png_structp png) {
    auto* io = static_cast<TPngIo*>(png_get_io_ptr(png));
    bool failed = false;
    try {
        io->stream->Flush();
    } catch (...) {
        io->error = std::current_exception();
        failed = true;
    }
    if (failed) png_error(png, "Flush failed");
}

struct TPngHeader {
    png_uint_32 width, height;
    int bitDepth, colorType;
    size_t rowBytes;
};

// ---- Phases (setjmp regions: plain data only)

// Reads the header after the signature and requests strip-16 and expand.
bool PngReadHeader(png_structp png, png_infop info, TPngIo* io, TPngHeader* header) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, io, PngRead);
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    png_set_strip_16(png);
    png_set_expand(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    png_get_IHDR(png, info, &header->width, &header->height, &header->bitDepth, &header->colorType,
                 nullptr, nullptr, nullptr);
    header->rowBytes = png_get_rowbytes(png, info);
    return true;
}

bool PngReadImage(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    return true;
}

bool PngWriteImage(png_structp png, png_infop info, TPngIo* io, const TPngHeader* header,
                   int level, png_bytepp rows, int transforms) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, io, PngWrite, PngFlush);
    png_set_compression_level(png, level);
    png_set_IHDR(png, info, header->width, header->height, 8, header->colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_rows(png, info, rows);
    png_write_png(png, info, transforms, nullptr);
    return true;
}

// ---- Owners of the libpng structures

struct TPngReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~TPngReadStructs() {
        if (png) png_destroy_read_struct(&png, &info, nullptr);
    }
};

struct TPngWriteStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~TPngWriteStructs() {
        if (png) png_destroy_write_struct(&png, &info);
    }
};

// Decodes from an open stream positioned at the signature; Null when libpng fails.
Ref<TPixmap> DecodePng(TStream& stream, TPngIo& io) {
    uint8_t signature[8] = {};
    stream.ReadBytes(signature, 8);
    if (png_sig_cmp(signature, 0, 8) != 0) return nullptr;

    TPngReadStructs s;
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!s.png) return nullptr;
    s.info = png_create_info_struct(s.png);
    if (!s.info) return nullptr;

    TPngHeader header{};
    if (!PngReadHeader(s.png, s.info, &io, &header)) return nullptr;
    if (header.bitDepth != 8) return nullptr;
    int format;
    switch (header.colorType) {
    case PNG_COLOR_TYPE_GRAY: format = FORMAT_I8; break;
    case PNG_COLOR_TYPE_RGB: format = FORMAT_RGB888; break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
    case PNG_COLOR_TYPE_GRAY_ALPHA: format = FORMAT_RGBA8888; break;
    default: return nullptr;
    }
    if (!PixmapSizeAllowed(header.width, header.height)) return nullptr;
    Ref<TPixmap> pixmap = TPixmap::Create(int(header.width), int(header.height), format, 4);
    if (header.rowBytes > size_t(pixmap->pitch)) return nullptr;

    // libpng writes straight into the pixmap's rows.
    std::vector<png_bytep> rows(header.height);
    for (png_uint_32 y = 0; y < header.height; ++y) rows[y] = pixmap->PixelPtr(0, int(y));
    if (!PngReadImage(s.png, rows.data())) return nullptr;

    if (header.colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        // (grey, alpha) pairs sit at the start of each row: spread them back to front.
        for (png_bytep row : rows) {
            for (int x = pixmap->width - 1; x >= 0; --x) {
                uint8_t grey = row[2 * x], alpha = row[2 * x + 1];
                row[4 * x] = row[4 * x + 1] = row[4 * x + 2] = grey;
                row[4 * x + 3] = alpha;
            }
        }
    }
    return pixmap;
}

}  // namespace

Ref<TPixmap> LoadPngPixmap(const TUrl& url) {
    Ref<TStream> stream = ReadUrlStream(url);
    if (!stream) return nullptr;
    detail::TCloseOnExit closer(stream);
    TPngIo io;
    io.stream = stream.get();
    Ref<TPixmap> pixmap;
    try {
        pixmap = DecodePng(*stream, io);
    } catch (const TStreamException&) {
        return nullptr;  // the signature could not be read
    }
    if (!pixmap) detail::RethrowUnlessStreamError(io.error);
    return pixmap;
}

int SavePngPixmap(const Ref<TPixmap>& pixmap, const TUrl& url, int compression) {
    if (!pixmap) return 0;
    const int level = compression < 0 ? 0 : compression > 9 ? 9 : compression;
    Ref<TPixmap> source = pixmap;
    TPngHeader header{};
    int transforms = PNG_TRANSFORM_IDENTITY;
    switch (pixmap->format) {
    case FORMAT_I8: header.colorType = PNG_COLOR_TYPE_GRAY; break;
    case FORMAT_RGB888: header.colorType = PNG_COLOR_TYPE_RGB; break;
    case FORMAT_BGR888: header.colorType = PNG_COLOR_TYPE_RGB, transforms = PNG_TRANSFORM_BGR; break;
    case FORMAT_RGBA8888: header.colorType = PNG_COLOR_TYPE_RGB_ALPHA; break;
    case FORMAT_BGRA8888:
        header.colorType = PNG_COLOR_TYPE_RGB_ALPHA, transforms = PNG_TRANSFORM_BGR;
        break;
    default:
        header.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
        source = pixmap->Convert(FORMAT_RGBA8888);
        break;
    }
    if (source->width < 0 || source->height < 0) return 0;
    header.width = png_uint_32(source->width);
    header.height = png_uint_32(source->height);

    Ref<TStream> stream = WriteUrlStream(url);
    if (!stream) return 0;
    detail::TCloseOnExit closer(stream);
    TPngWriteStructs s;
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!s.png) return 0;
    s.info = png_create_info_struct(s.png);
    if (!s.info) return 0;

    // Row pointers into the pixmap's own memory, so a padded pitch does no harm.
    std::vector<png_bytep> rows(header.height);
    for (png_uint_32 y = 0; y < header.height; ++y) rows[y] = source->PixelPtr(0, int(y));
    TPngIo io;
    io.stream = stream.get();
    if (!PngWriteImage(s.png, s.info, &io, &header, level, rows.data(), transforms)) {
        detail::RethrowUnlessStreamError(io.error);
        return 0;
    }
    return 1;
}

Ref<TPixmap> TPixmapLoaderPNG::LoadPixmap(const Ref<TStream>& stream) { return LoadPngPixmap(stream); }

}  // namespace corvex
