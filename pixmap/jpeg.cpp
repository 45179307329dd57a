// libjpeg reports fatal errors through error_exit, which here longjmps back into the small
// "phase" function that made the failing call. Phase functions set the jump buffer and hold no
// C++ objects with destructors; the decoder and encoder objects around them own libjpeg's state,
// the stream and the destination memory, and release them on every way out. Callbacks catch C++
// exceptions, keep them and only then raise a libjpeg error.
#include <corvex/pixmap/jpeg.h>

#include <csetjmp>
#include <string>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "stream/load_error.h"
#include "pixmap/codec_util.h"
#include "pixmap/pixmap_module.h"

static_assert(JPEG_LIB_VERSION == 62, "the JPEG codec is written for the libjpeg 6b interface");

namespace corvex {
namespace {

constexpr int kBufferSize = 4096;
// Progressive files with more scans than this are declined: each scan costs a pass over the
// whole coefficient buffer, so a small hostile file could otherwise keep a decode busy for ages.
constexpr int kMaxScans = 500;

// What every callback reaches through client_data.
struct TJpegJump {
    jmp_buf jump;
    std::exception_ptr error;  // an exception a callback caught, passed on after clean-up
};

// ---- Error manager: fatal errors jump back, messages go nowhere

void JpegErrorExit(j_common_ptr cinfo) {
    // Data without a JPEG start marker is not a JPEG at all: no reason to give.
    if (cinfo->err->msg_code != JERR_NO_SOI) NoteDecodeError("JPEG: libjpeg error " + std::to_string(cinfo->err->msg_code));
    longjmp(static_cast<TJpegJump*>(cinfo->client_data)->jump, 1);
}
void JpegEmitMessage(j_common_ptr, int) {}
void JpegOutputMessage(j_common_ptr) {}
void JpegFormatMessage(j_common_ptr, char* buffer) { buffer[0] = 0; }
void JpegResetErrorManager(j_common_ptr cinfo) {
    cinfo->err->num_warnings = 0;
    cinfo->err->msg_code = 0;
}

void InitErrorManager(jpeg_error_mgr* err) {
    jpeg_std_error(err);
    err->error_exit = JpegErrorExit;
    err->emit_message = JpegEmitMessage;
    err->output_message = JpegOutputMessage;
    err->format_message = JpegFormatMessage;
    err->reset_error_mgr = JpegResetErrorManager;
    err->trace_level = 0;
    err->jpeg_message_table = nullptr;
    err->last_jpeg_message = 0;
    err->addon_message_table = nullptr;
}

// ---- Decoding

struct TJpegDecodeContext : TJpegJump {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    jpeg_source_mgr source;
    jpeg_progress_mgr progress;
    TStream* stream;
    TJpegReadFunction read;
    int64_t pixelLimit;
    bool started;  // some data has arrived
    JOCTET buffer[kBufferSize];
};

TJpegDecodeContext* DecodeContext(j_decompress_ptr cinfo) {
    return static_cast<TJpegDecodeContext*>(static_cast<TJpegJump*>(cinfo->client_data));
}

void SourceInit(j_decompress_ptr) {}
void SourceTerm(j_decompress_ptr) {}

boolean SourceFill(j_decompress_ptr cinfo) {
    TJpegDecodeContext* ctx = DecodeContext(cinfo);
    int32_t n = 0;
    bool failed = false;
    try {
        n = ctx->read(ctx->buffer, kBufferSize, *ctx->stream);
    } catch (...) {
        ctx->error = std::current_exception();
        failed = true;
    }
    if (failed) ERREXIT(cinfo, JERR_FILE_READ);
    if (n <= 0) {
        if (!ctx->started) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // The data ended early: finish it with an end-of-image marker.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        ctx->buffer[0] = 0xFF;
        ctx->buffer[1] = JPEG_EOI;
        n = 2;
    }
    ctx->started = true;
    ctx->source.next_input_byte = ctx->buffer;
    ctx->source.bytes_in_buffer = size_t(n < kBufferSize ? n : kBufferSize);
    return TRUE;
}

void SourceSkip(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* src = cinfo->src;
    while (count > long(src->bytes_in_buffer)) {
        count -= long(src->bytes_in_buffer);
        SourceFill(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= size_t(count);
}

void DecodeProgress(j_common_ptr cinfo) {
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
        ERREXIT(cinfo, JERR_BAD_PROGRESSION);
    }
}

// Phase 1: create the decompressor, read the header, start decompressing.
bool DecodeStart(TJpegDecodeContext* ctx) {
    if (setjmp(ctx->jump)) return false;
    j_decompress_ptr cinfo = &ctx->cinfo;
    jpeg_create_decompress(cinfo);
    ctx->source.init_source = SourceInit;
    ctx->source.fill_input_buffer = SourceFill;
    ctx->source.skip_input_data = SourceSkip;
    ctx->source.resync_to_restart = jpeg_resync_to_restart;
    ctx->source.term_source = SourceTerm;
    ctx->source.next_input_byte = nullptr;
    ctx->source.bytes_in_buffer = 0;
    cinfo->src = &ctx->source;
    ctx->progress.progress_monitor = DecodeProgress;
    cinfo->progress = &ctx->progress;
    if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return false;
    const int64_t w = cinfo->image_width, h = cinfo->image_height;
    if (w < 1 || h < 1 || w > ctx->pixelLimit / h) return false;
    return jpeg_start_decompress(cinfo) != 0;
}

// Phase 2: every scanline, top to bottom, then the end of the image.
bool DecodeLines(TJpegDecodeContext* ctx, uint8_t* base, size_t stride) {
    if (setjmp(ctx->jump)) return false;
    j_decompress_ptr cinfo = &ctx->cinfo;
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = base + size_t(cinfo->output_scanline) * stride;
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return false;
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

// Owns one decode: libjpeg's state is released when it goes, whatever happened.
class TJpegDecoder {
public:
    TJpegDecoder(TStream& stream, TJpegReadFunction read) : _ctx(new TJpegDecodeContext()) {
        _ctx->stream = &stream;
        _ctx->read = read;
        _ctx->pixelLimit = PixmapModule().pixelLimit;
        InitErrorManager(&_ctx->err);
        _ctx->cinfo.err = &_ctx->err;
        _ctx->cinfo.client_data = static_cast<TJpegJump*>(_ctx.get());
    }
    TJpegDecoder(const TJpegDecoder&) = delete;
    TJpegDecoder& operator=(const TJpegDecoder&) = delete;
    ~TJpegDecoder() { jpeg_destroy_decompress(&_ctx->cinfo); }

    bool Start() { return DecodeStart(_ctx.get()); }
    bool ReadLines(uint8_t* base, size_t stride) { return DecodeLines(_ctx.get(), base, stride); }
    int Width() const { return int(_ctx->cinfo.output_width); }
    int Height() const { return int(_ctx->cinfo.output_height); }
    int Components() const { return _ctx->cinfo.output_components; }
    const std::exception_ptr& Error() const { return _ctx->error; }

private:
    std::unique_ptr<TJpegDecodeContext> _ctx;  // zeroed, so destroying before create is safe
};

// ---- Encoding

struct TJpegEncodeContext : TJpegJump {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    jpeg_destination_mgr dest;
    TStream* stream;
    JOCTET buffer[kBufferSize];
};

TJpegEncodeContext* EncodeContext(j_compress_ptr cinfo) {
    return static_cast<TJpegEncodeContext*>(static_cast<TJpegJump*>(cinfo->client_data));
}

void WriteOut(j_compress_ptr cinfo, size_t count) {
    TJpegEncodeContext* ctx = EncodeContext(cinfo);
    bool failed = false;
    try {
        if (count) ctx->stream->WriteBytes(ctx->buffer, int32_t(count));
    } catch (...) {
        ctx->error = std::current_exception();
        failed = true;
    }
    if (failed) ERREXIT(cinfo, JERR_FILE_WRITE);
    ctx->dest.next_output_byte = ctx->buffer;
    ctx->dest.free_in_buffer = kBufferSize;
}

void DestInit(j_compress_ptr cinfo) {
    TJpegEncodeContext* ctx = EncodeContext(cinfo);
    ctx->dest.next_output_byte = ctx->buffer;
    ctx->dest.free_in_buffer = kBufferSize;
}
boolean DestEmpty(j_compress_ptr cinfo) {
    WriteOut(cinfo, kBufferSize);
    return TRUE;
}
void DestTerm(j_compress_ptr cinfo) { WriteOut(cinfo, kBufferSize - EncodeContext(cinfo)->dest.free_in_buffer); }

bool EncodeAll(TJpegEncodeContext* ctx, int width, int height, int quality, JSAMPROW* rows) {
    if (setjmp(ctx->jump)) return false;
    j_compress_ptr cinfo = &ctx->cinfo;
    jpeg_create_compress(cinfo);
    ctx->dest.init_destination = DestInit;
    ctx->dest.empty_output_buffer = DestEmpty;
    ctx->dest.term_destination = DestTerm;
    cinfo->dest = &ctx->dest;
    cinfo->image_width = JDIMENSION(width);
    cinfo->image_height = JDIMENSION(height);
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        jpeg_write_scanlines(cinfo, rows + cinfo->next_scanline, cinfo->image_height - cinfo->next_scanline);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

}  // namespace

int32_t ReadJpegFromStream(uint8_t* buffer, int32_t size, TStream& stream) { return stream.Read(buffer, size); }

int DecodeJpeg(TStream& stream, TJpegReadFunction read, TJpegImage* image) {
    TJpegDecoder decoder(stream, read);
    uint8_t* pixels = nullptr;
    bool ok = decoder.Start();
    if (ok) {
        size_t stride = size_t(decoder.Width()) * size_t(decoder.Components());
        pixels = static_cast<uint8_t*>(std::malloc(stride * size_t(decoder.Height())));
        ok = pixels && decoder.ReadLines(pixels, stride);
    }
    if (!ok) {
        std::free(pixels);
        if (decoder.Error()) std::rethrow_exception(decoder.Error());
        return -1;
    }
    image->width = decoder.Width();
    image->height = decoder.Height();
    image->components = decoder.Components();
    image->pixels = pixels;
    return 0;
}

Ref<TPixmap> LoadJpegPixmap(const TUrl& url) {
    Ref<TStream> stream = ReadUrlStream(url);
    if (!stream) return nullptr;
    detail::TCloseOnExit closer(stream);
    TJpegDecoder decoder(*stream, ReadJpegFromStream);
    if (!decoder.Start()) {
        detail::RethrowUnlessStreamError(decoder.Error());
        return nullptr;
    }
    const int components = decoder.Components();
    if (components != 1 && components != 3) return nullptr;  // CMYK and the like
    Ref<TPixmap> pixmap = TPixmap::Create(decoder.Width(), decoder.Height(),
                                          components == 1 ? FORMAT_I8 : FORMAT_RGB888, 4);
    // libjpeg writes straight into the pixmap's rows.
    if (!decoder.ReadLines(pixmap->pixels, size_t(pixmap->pitch))) {
        detail::RethrowUnlessStreamError(decoder.Error());
        return nullptr;
    }
    return pixmap;
}

int SaveJpegPixmap(const Ref<TPixmap>& pixmap, const TUrl& url, int quality) {
    if (!pixmap) return 0;
    Ref<TPixmap> rgb = pixmap->format == FORMAT_RGB888 ? pixmap : pixmap->Convert(FORMAT_RGB888);
    std::vector<JSAMPROW> rows(size_t(rgb->height > 0 ? rgb->height : 0));
    for (size_t y = 0; y < rows.size(); ++y) rows[y] = rgb->PixelPtr(0, int(y));

    Ref<TStream> stream = WriteUrlStream(url);
    if (!stream) return 0;
    detail::TCloseOnExit closer(stream);
    auto ctx = std::make_unique<TJpegEncodeContext>();
    ctx->stream = stream.get();
    InitErrorManager(&ctx->err);
    ctx->cinfo.err = &ctx->err;
    ctx->cinfo.client_data = static_cast<TJpegJump*>(ctx.get());
    bool ok = EncodeAll(ctx.get(), rgb->width, rgb->height, quality, rows.data());
    jpeg_destroy_compress(&ctx->cinfo);
    if (!ok) {
        detail::RethrowUnlessStreamError(ctx->error);
        return 0;
    }
    return 1;
}

Ref<TPixmap> TPixmapLoaderJPG::LoadPixmap(const Ref<TStream>& stream) { return LoadJpegPixmap(stream); }

}  // namespace corvex
