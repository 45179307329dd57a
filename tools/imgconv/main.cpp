// imgconv: loads an image with LoadPixmap, prints its size and pixel format, and writes it as
// PNG or JPEG chosen by the output file's extension.
//
//   imgconv [--quality Q] [--compression C] INPUT OUTPUT
//   imgconv --info INPUT
//
// Exit status: 0 success, 1 input unreadable or output unwritable, 2 usage error.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include <corvex/pixmap/jpeg.h>
#include <corvex/pixmap/loader.h>
#include <corvex/pixmap/png.h>

namespace {

constexpr const char* kUsage =
    "usage: imgconv [--quality Q] [--compression C] INPUT OUTPUT\n"
    "       imgconv --info INPUT\n"
    "INPUT is a file path or a stream URL (such as incbin::NAME); OUTPUT ends in .png, .jpg or\n"
    ".jpeg. Q is the JPEG quality 1..100 (default 90), C the PNG compression level 0..9\n"
    "(default 6).\n";

enum class TOutputType { None, Png, Jpeg };

struct TOptions {
    bool info = false;
    int quality = 90;
    int compression = 6;
    std::vector<std::string> files;
};

int UsageError(const std::string& reason) {
    std::fprintf(stderr, "imgconv: %s\n%s", reason.c_str(), kUsage);
    return 2;
}

bool ParseInt(const std::string& text, int low, int high, int* value) {
    if (text.empty() || text.size() > 4) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    int v = std::atoi(text.c_str());
    if (v < low || v > high) return false;
    *value = v;
    return true;
}

TOutputType OutputType(const std::string& path) {
    size_t dot = path.find_last_of('.');
    size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return TOutputType::None;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (ext == "png") return TOutputType::Png;
    if (ext == "jpg" || ext == "jpeg") return TOutputType::Jpeg;
    return TOutputType::None;
}

int Run(int argc, char** argv) {
    TOptions options;
    bool valueOptions = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--info") {
            options.info = true;
        } else if (arg == "--quality" || arg == "--compression") {
            if (i + 1 >= argc) return UsageError(arg + " needs a value");
            bool quality = arg == "--quality";
            if (!ParseInt(argv[++i], quality ? 1 : 0, quality ? 100 : 9,
                          quality ? &options.quality : &options.compression)) {
                return UsageError(std::string("bad value for ") + arg + ": " + argv[i]);
            }
            valueOptions = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return UsageError("unknown option " + arg);
        } else {
            options.files.push_back(arg);
        }
    }
    if (options.info && (valueOptions || options.files.size() != 1)) {
        return UsageError("--info takes one INPUT and no other options");
    }
    if (!options.info && options.files.size() != 2) return UsageError("expected INPUT and OUTPUT");
    TOutputType type = TOutputType::None;
    if (!options.info) {
        type = OutputType(options.files[1]);
        if (type == TOutputType::None) return UsageError("OUTPUT must end in .png, .jpg or .jpeg");
    }

    corvex::StartPixmapModule();
    const std::string& input = options.files[0];
    corvex::Ref<corvex::TPixmap> pixmap = corvex::LoadPixmap(input);
    if (!pixmap) {
        std::fprintf(stderr, "imgconv: cannot read %s: not found or not a PNG, JPEG, BMP or TGA image\n",
                     input.c_str());
        return 1;
    }
    std::printf("%dx%d %s\n", pixmap->width, pixmap->height, corvex::PixelFormatName(pixmap->format));
    std::fflush(stdout);
    if (options.info) return 0;

    const std::string& output = options.files[1];
    int saved = type == TOutputType::Png ? corvex::SavePngPixmap(pixmap, output, options.compression)
                                         : corvex::SaveJpegPixmap(pixmap, output, options.quality);
    if (!saved) {
        std::fprintf(stderr, "imgconv: cannot write %s\n", output.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "imgconv: %s\n", error.what());
        return 1;
    }
}
