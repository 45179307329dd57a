#include "graphics/wgl/native.h"
#include "graphics/wgl/wgl_module.h"

namespace corvex::wgl {
namespace {

using TSwapIntervalProc = BOOL(WINAPI*)(int);

}  // namespace

std::vector<TDisplayMode> EnumerateModes() {
    std::vector<TDisplayMode> modes;
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    for (DWORD i = 0; modes.size() < 1024; ++i) {
        mode.dmDriverExtra = 0;
        if (!EnumDisplaySettingsW(nullptr, i, &mode)) break;
        if (mode.dmBitsPerPel < 16) continue;
        modes.push_back({static_cast<int32_t>(mode.dmPelsWidth), static_cast<int32_t>(mode.dmPelsHeight),
                         static_cast<int32_t>(mode.dmBitsPerPel), static_cast<int32_t>(mode.dmDisplayFrequency)});
    }
    return modes;
}

bool SwitchDisplayMode(int32_t width, int32_t height, int32_t depth, int32_t hertz) {
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = static_cast<DWORD>(width);
    mode.dmPelsHeight = static_cast<DWORD>(height);
    mode.dmBitsPerPel = static_cast<DWORD>(depth);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    if (hertz != 0) {
        mode.dmDisplayFrequency = static_cast<DWORD>(hertz);
        mode.dmFields |= DM_DISPLAYFREQUENCY;
    }
    if (ChangeDisplaySettingsW(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) return false;
    ++WGLModule().modeSwitches;
    return true;
}

void RestoreDisplayMode() {
    // No mode: back to the one stored for the desktop.
    ChangeDisplaySettingsW(nullptr, 0);
    ++WGLModule().modeRestores;
}

bool SetSwapInterval(int32_t interval) {
    auto proc = reinterpret_cast<TSwapIntervalProc>(reinterpret_cast<void*>(wglGetProcAddress("wglSwapIntervalEXT")));
    if (!proc) return false;
    return proc(interval) != FALSE;
}

}  // namespace corvex::wgl
