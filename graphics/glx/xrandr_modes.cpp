#include "graphics/glx/xrandr_modes.h"

#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cmath>

#include "system/x11/display.h"

namespace corvex::glx {
namespace {

// The desktop's configuration of the switched CRTC.
struct TSavedMode {
    bool switched = false;
    RRCrtc crtc = 0;
    RRMode mode = 0;
    int x = 0, y = 0;
    Rotation rotation = RR_Rotate_0;
    std::vector<RROutput> outputs;
    int screenWidth = 0, screenHeight = 0, screenMmWidth = 0, screenMmHeight = 0;
    bool screenResized = false;  // the screen was enlarged for the mode
};

TSavedMode& Saved() {
    static TSavedMode saved;
    return saved;
}

bool HasRandR12(Display* display) {
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &event, &error) || !XRRQueryVersion(display, &major, &minor)) return false;
    return major > 1 || (major == 1 && minor >= 2);
}

int BitsPerPixel(Display* display) {
    const int depth = DefaultDepth(display, DefaultScreen(display));
    int count = 0;
    int bits = depth;
    if (XPixmapFormatValues* formats = XListPixmapFormats(display, &count)) {
        for (int i = 0; i < count; ++i) {
            if (formats[i].depth == depth) bits = formats[i].bits_per_pixel;
        }
        XFree(formats);
    }
    return bits;
}

// Screen resources, the primary output and its CRTC; released by the destructor.
struct TPrimary {
    XRRScreenResources* resources = nullptr;
    XRROutputInfo* output = nullptr;
    RROutput outputId = 0;
    explicit TPrimary(Display* display) {
        const Window root = DefaultRootWindow(display);
        resources = XRRGetScreenResourcesCurrent(display, root);
        if (!resources) return;
        RROutput primary = XRRGetOutputPrimary(display, root);
        for (int i = 0; !primary && i < resources->noutput; ++i) {
            XRROutputInfo* info = XRRGetOutputInfo(display, resources, resources->outputs[i]);
            if (info && info->connection == RR_Connected && info->crtc) primary = resources->outputs[i];
            if (info) XRRFreeOutputInfo(info);
        }
        if (!primary) return;
        output = XRRGetOutputInfo(display, resources, primary);
        outputId = primary;
    }
    ~TPrimary() {
        if (output) XRRFreeOutputInfo(output);
        if (resources) XRRFreeScreenResources(resources);
    }
    const XRRModeInfo* Mode(RRMode id) const {
        for (int i = 0; i < resources->nmode; ++i) {
            if (resources->modes[i].id == id) return &resources->modes[i];
        }
        return nullptr;
    }
};

int32_t RateOf(const XRRModeInfo& m) {
    return RefreshRate(m.dotClock, m.hTotal, m.vTotal, (m.modeFlags & RR_Interlace) != 0,
                       (m.modeFlags & RR_DoubleScan) != 0);
}

}  // namespace

int32_t RefreshRate(unsigned long dotClock, unsigned hTotal, unsigned vTotal, bool interlaced, bool doubleScan) {
    if (!dotClock || !hTotal || !vTotal) return 0;
    double lines = vTotal;
    if (interlaced) lines /= 2;
    if (doubleScan) lines *= 2;
    return static_cast<int32_t>(std::lround(static_cast<double>(dotClock) / (static_cast<double>(hTotal) * lines)));
}

std::vector<TDisplayMode> ListDisplayModes(Display* display, size_t capacity) {
    std::vector<TDisplayMode> modes;
    const int bits = BitsPerPixel(display);
    if (bits < 16) return modes;
    if (HasRandR12(display)) {
        TPrimary primary(display);
        if (primary.output) {
            for (int i = 0; i < primary.output->nmode && modes.size() < capacity; ++i) {
                if (const XRRModeInfo* m = primary.Mode(primary.output->modes[i])) {
                    modes.push_back({static_cast<int32_t>(m->width), static_cast<int32_t>(m->height), bits, RateOf(*m)});
                }
            }
            return modes;
        }
    }
    // Without RandR 1.2 outputs, the screen's own size is the one mode.
    const int screen = DefaultScreen(display);
    modes.push_back({DisplayWidth(display, screen), DisplayHeight(display, screen), bits, 0});
    return modes;
}

bool SwitchDisplayMode(Display* display, int32_t width, int32_t height, int32_t hertz) {
    if (!HasRandR12(display)) return false;
    TPrimary primary(display);
    if (!primary.output || !primary.output->crtc) return false;
    RRMode chosen = 0;
    for (int i = 0; i < primary.output->nmode && !chosen; ++i) {
        const XRRModeInfo* m = primary.Mode(primary.output->modes[i]);
        if (m && static_cast<int32_t>(m->width) == width && static_cast<int32_t>(m->height) == height &&
            (hertz == 0 || RateOf(*m) == hertz)) {
            chosen = m->id;
        }
    }
    if (!chosen) return false;
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, primary.resources, primary.output->crtc);
    if (!crtc) return false;
    TSavedMode& saved = Saved();
    const Window root = DefaultRootWindow(display);
    const int screen = DefaultScreen(display);
    if (!saved.switched) {
        saved.crtc = primary.output->crtc;
        saved.mode = crtc->mode;
        saved.x = crtc->x;
        saved.y = crtc->y;
        saved.rotation = crtc->rotation;
        saved.outputs.assign(crtc->outputs, crtc->outputs + crtc->noutput);
        saved.screenWidth = DisplayWidth(display, screen);
        saved.screenHeight = DisplayHeight(display, screen);
        saved.screenMmWidth = DisplayWidthMM(display, screen);
        saved.screenMmHeight = DisplayHeightMM(display, screen);
    }
    bool ok = true;
    {
        x11::TX11ErrorTrap trap;
        // A mode larger than the screen needs a larger screen first.
        if (width > DisplayWidth(display, screen) || height > DisplayHeight(display, screen)) {
            XRRSetScreenSize(display, root, std::max(width, DisplayWidth(display, screen)),
                             std::max(height, DisplayHeight(display, screen)), DisplayWidthMM(display, screen),
                             DisplayHeightMM(display, screen));
            saved.screenResized = true;
        }
        const Status status = XRRSetCrtcConfig(display, primary.resources, primary.output->crtc, CurrentTime, 0, 0,
                                               chosen, crtc->rotation, crtc->outputs, crtc->noutput);
        ok = status == RRSetConfigSuccess && !trap.Failed();
    }
    XRRFreeCrtcInfo(crtc);
    if (ok) saved.switched = true;
    return ok;
}

void RestoreDisplayMode(Display* display) {
    TSavedMode& saved = Saved();
    if (!saved.switched) return;
    saved.switched = false;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
    if (!resources) return;
    x11::TX11ErrorTrap trap;
    XRRSetCrtcConfig(display, resources, saved.crtc, CurrentTime, saved.x, saved.y, saved.mode, saved.rotation,
                     saved.outputs.data(), static_cast<int>(saved.outputs.size()));
    if (saved.screenResized) {
        saved.screenResized = false;
        XRRSetScreenSize(display, DefaultRootWindow(display), saved.screenWidth, saved.screenHeight,
                         saved.screenMmWidth, saved.screenMmHeight);
    }
    XRRFreeScreenResources(resources);
    XSync(display, False);
}

bool DisplayModeSwitched() { return Saved().switched; }

}  // namespace corvex::glx
