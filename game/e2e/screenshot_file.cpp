#include "game/e2e/screenshot_file.h"

#include <filesystem>

#include <corvex/pixmap/format.h>
#include <corvex/pixmap/loader.h>
#include <corvex/pixmap/pixmap.h>
#include <corvex/pixmap/png.h>

namespace e2e {

bool SaveScreenshot(const Screenshot& shot, const std::string& path) {
    if (shot.width <= 0 || shot.height <= 0) return false;
    std::error_code ignored;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
    corvex::StartPixmapModule();
    auto pixmap = corvex::CreatePixmap(shot.width, shot.height, corvex::FORMAT_RGB888);
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) pixmap->WritePixel(x, y, 0xFF000000u | shot.At(x, y));
    return corvex::SavePngPixmap(pixmap, path) == 1;
}

}  // namespace e2e
