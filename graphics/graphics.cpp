#include <corvex/graphics/graphics.h>

#include <corvex/runtime/exception.h>
#include <corvex/runtime/module.h>
#include <corvex/system/clock.h>
#include <corvex/system/entry.h>
#include <corvex/system/event.h>
#include <corvex/system/hook.h>
#include <corvex/system/input.h>
#include <corvex/system/system.h>
#include "graphics/graphics_module.h"

namespace corvex {
namespace {

TGraphicsModule& Module() { return GraphicsModule(); }

TGraphicsDriver& CurrentDriver() {
    TGraphicsModule& m = Module();
    if (!m.driver) throw TRuntimeException("No graphics driver");
    return *m.driver;
}

void ClearSettings(TGraphicsModule& m) { m.width = m.height = m.depth = m.hertz = m.flags = 0; }

void FillModeCache() {
    TGraphicsModule& m = Module();
    if (m.modeCache.empty()) m.modeCache = CurrentDriver().GraphicsModes();
}

}  // namespace

TGraphicsModule::TGraphicsModule() : clock(CurrentMillis), sleep(SleepMillis) {}

void TGraphicsModule::Reset() {
    const int32_t hookId = flipHookId;
    *this = TGraphicsModule();
    flipHookId = hookId;
}

TGraphicsModule& GraphicsModule() {
    static TGraphicsModule module;
    return module;
}

void StartGraphicsModule() {
    StartSystemModule();
    if (!BeginModuleStart("graphics")) return;
    GraphicsModule().flipHookId = NewHookId();
    RegisterType("TGraphics", "TData");
    RegisterType("TGraphicsMode");
    RegisterType("TGraphicsDriver", "TDataType");
}

int32_t NextGraphicsSequence(int32_t sequence) {
    const int32_t next = static_cast<int32_t>(static_cast<uint32_t>(sequence) + 1u);
    return next == 0 ? 1 : next;
}

Ref<TGraphicsMode> TGraphicsMode::Create(int32_t width, int32_t height, int32_t depth, int32_t hertz) {
    auto mode = std::make_shared<TGraphicsMode>();
    mode->width = width;
    mode->height = height;
    mode->depth = depth;
    mode->hertz = hertz;
    return mode;
}

TString TGraphicsMode::ToString() const {
    return DecimalString(width) + u"," + DecimalString(height) + u"," + DecimalString(depth) + u" " +
           DecimalString(hertz) + u"Hz";
}

void SelectGraphicsDriver(const Ref<TGraphicsDriver>& driver, int32_t defaultFlags) {
    TGraphicsModule& m = Module();
    if (driver != m.driver) {
        if (m.driver && m.current) m.driver->SetGraphics(nullptr);
        m.modeCache.clear();
        m.driver = driver;
    }
    m.defaultFlags = defaultFlags;
    m.current = nullptr;
    ClearSettings(m);
}

Ref<TGraphicsDriver> GraphicsDriver() { return Module().driver; }

TGraphicsModes GraphicsModes() {
    FillModeCache();
    return Module().modeCache;
}

int32_t GraphicsModeCount() { return static_cast<int32_t>(GraphicsModes().size()); }

void GraphicsModeAt(int32_t index, int32_t* width, int32_t* height, int32_t* depth, int32_t* hertz) {
    FillModeCache();
    const TGraphicsModes& modes = Module().modeCache;
    if (index < 0 || index >= static_cast<int32_t>(modes.size())) {
        throw TRuntimeException("Graphics mode index out of range");
    }
    const TGraphicsMode empty;
    const TGraphicsMode& mode = modes[index] ? *modes[index] : empty;
    if (width) *width = mode.width;
    if (height) *height = mode.height;
    if (depth) *depth = mode.depth;
    if (hertz) *hertz = mode.hertz;
}

int32_t HasGraphicsMode(int32_t width, int32_t height, int32_t depth, int32_t hertz) {
    FillModeCache();
    for (const Ref<TGraphicsMode>& mode : Module().modeCache) {
        if (!mode) continue;
        if (width && mode->width != width) continue;
        if (height && mode->height != height) continue;
        if (depth && mode->depth != depth) continue;
        if (hertz && mode->hertz != hertz) continue;
        return 1;
    }
    return 0;
}

Ref<TGraphics> CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags) {
    TGraphicsDriver& driver = CurrentDriver();
    try {
        return driver.CreateGraphics(width, height, depth, hertz, flags | Module().defaultFlags);
    } catch (...) {
        return nullptr;
    }
}

Ref<TGraphics> AttachGraphics(uintptr_t window, int32_t flags) {
    TGraphicsDriver& driver = CurrentDriver();
    try {
        return driver.AttachGraphics(window, flags | Module().defaultFlags);
    } catch (...) {
        return nullptr;
    }
}

void SetGraphics(const Ref<TGraphics>& graphics) {
    TGraphicsModule& m = Module();
    if (!graphics) {
        if (m.driver) m.driver->SetGraphics(nullptr);
        m.current = nullptr;
        ClearSettings(m);
        return;
    }
    Ref<TGraphicsDriver> driver = graphics->Driver();
    if (driver != m.driver) {
        if (m.driver) m.driver->SetGraphics(nullptr);
        m.modeCache.clear();
        m.driver = driver;
    }
    graphics->GetSettings(&m.width, &m.height, &m.depth, &m.hertz, &m.flags);
    driver->SetGraphics(graphics);
    m.current = graphics;
}

void CloseGraphics(const Ref<TGraphics>& which) {
    const Ref<TGraphics> graphics = which;  // which may be the very field cleared below
    if (!graphics) return;
    TGraphicsModule& m = Module();
    if (graphics == m.opened) m.opened = nullptr;
    if (graphics == m.current) SetGraphics(nullptr);
    graphics->Close();
}

Ref<TGraphics> CurrentGraphics() { return Module().current; }
int32_t CurrentGraphicsWidth() { return Module().width; }
int32_t CurrentGraphicsHeight() { return Module().height; }
int32_t CurrentGraphicsDepth() { return Module().depth; }
int32_t CurrentGraphicsHertz() { return Module().hertz; }
int32_t CurrentGraphicsFlags() { return Module().flags; }

Ref<TGraphics> OpenGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags) {
    TGraphicsModule& m = Module();
    CloseOpenedGraphics();
    Ref<TGraphics> graphics = CreateGraphics(width, height, depth, hertz, flags | m.defaultFlags);
    if (!graphics) return nullptr;
    m.sequence = NextGraphicsSequence(m.sequence);
    SetGraphics(graphics);

    // Pace in software unless the full-screen display itself keeps the rate.
    m.pacer.pacingEnabled = 1;
    if (hertz == 0) {
        m.pacer.pacingEnabled = 0;
    } else if (depth != 0) {
        TGraphicsDriver& driver = *m.driver;
        if (DisplayKeepsRate(hertz, m.clock, [&driver] { driver.Flip(1); })) m.pacer.pacingEnabled = 0;
    }
    m.pacer.Start(hertz, m.clock());
    m.opened = graphics;

    if (depth != 0) MoveMouse(width / 2, height / 2);
    StartPolledInput(nullptr);
    if (!m.exitHandlerAdded) {
        m.exitHandlerAdded = true;
        AddExitHandler(CloseOpenedGraphics);
    }
    return graphics;
}

void CloseOpenedGraphics() {
    TGraphicsModule& m = Module();
    if (!m.opened) return;
    m.sequence = NextGraphicsSequence(m.sequence);
    StopPolledInput();
    CloseGraphics(m.opened);
}

Ref<TGraphics> OpenedGraphics() { return Module().opened; }

int32_t GraphicsSequence() { return Module().sequence; }

int32_t FlipHookId() { return Module().flipHookId; }

namespace {
// Notes when a Flip returns, whichever way it presented.
struct TFlipMark {
    TGraphicsModule& m;
    ~TFlipMark() {
        double now = CurrentSeconds();
        if (m.lastFlipSeconds > 0) m.flipIntervalSeconds = now - m.lastFlipSeconds;
        m.lastFlipSeconds = now;
    }
};
}  // namespace

double SecondsSinceFlip() {
    const TGraphicsModule& m = Module();
    return m.lastFlipSeconds > 0 ? CurrentSeconds() - m.lastFlipSeconds : 0.0;
}

double FlipIntervalSeconds() { return Module().flipIntervalSeconds; }

namespace {
// Between two frames: a size the window took since the last Flip becomes the drawing size.
void TakeWindowSize(TGraphicsModule& m) {
    const Ref<TGraphics> graphics = m.current;
    int32_t width = 0, height = 0;
    if (!graphics || !graphics->TakeNewSize(&width, &height)) return;
    m.width = width;
    m.height = height;
    if (m.driver) m.driver->GraphicsResized(graphics);
    TEvent::Create(EVENT_WINDOWSIZE, graphics, 0, 0, width, height, nullptr)->Emit();
}

void PresentFrame(TGraphicsModule& m, int32_t sync) {
    TGraphicsDriver& driver = CurrentDriver();
    if (sync != -1) {
        driver.Flip(sync);
        return;
    }
    if (!m.current || m.current != m.opened || !m.pacer.pacingEnabled) {
        driver.Flip(m.depth != 0 ? 1 : 0);
        return;
    }
    const int32_t wait = m.pacer.NextFrameWait(m.clock());
    if (wait > 0) m.sleep(wait);
    driver.Flip(0);
}
}  // namespace

void Flip(int32_t sync) {
    TGraphicsModule& m = Module();
    TFlipMark mark{m};
    if (m.flipHookId >= 0) RunHookChain(m.flipHookId, nullptr);
    PresentFrame(m, sync);
    TakeWindowSize(m);
}

}  // namespace corvex
