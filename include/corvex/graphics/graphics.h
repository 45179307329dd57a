// Graphics contexts, drivers and display modes: the driver-neutral front end through which a
// program opens its window, asks for display modes and presents frames.
// Main thread only.
#pragma once

#include <cstdint>
#include <vector>

#include <corvex/runtime/object.h>
#include <corvex/runtime/string.h>

namespace corvex {

// --- Graphics flags (OR-ed together) ------------------------------------------------------------
constexpr int32_t GFX_DOUBLE_BUFFER = 2;    // double-buffered surface
constexpr int32_t GFX_ALPHA_BITS = 4;       // destination alpha bits
constexpr int32_t GFX_DEPTH_BUFFER = 8;     // depth buffer
constexpr int32_t GFX_STENCIL_BUFFER = 16;  // stencil buffer
constexpr int32_t GFX_ACCUM_BUFFER = 32;    // accumulation buffer
constexpr int32_t GFX_RESIZABLE = 64;       // a desktop window the user may resize (EVENT_WINDOWSIZE)

class TGraphicsDriver;

// A graphics context: a window (or a full-screen display) with its rendering context.
// Depth 0 is a window on the desktop; any other depth is full screen at that many bits per pixel.
class TGraphics : public TObject {
public:
    virtual Ref<TGraphicsDriver> DataType() { return Driver(); }  // the type of a context is its driver
    virtual Ref<TGraphicsDriver> Driver() = 0;  // the driver that made this context
    virtual void GetSettings(int32_t* width, int32_t* height, int32_t* depth, int32_t* hertz, int32_t* flags) = 0;  // the settings it was opened with
    virtual void Close() = 0;                   // releases window and context; the object stays, unusable
    // A size change not yet taken: 1 and the new client size, which GetSettings reports from now
    // on; 0 when none. Flip asks after presenting, so a frame is drawn at one size throughout.
    virtual int32_t TakeNewSize(int32_t* /*width*/, int32_t* /*height*/) { return 0; }
};

// One display mode.
class TGraphicsMode : public TObject {
public:
    int32_t width = 0;  // in pixels
    int32_t height = 0;  // in pixels
    int32_t depth = 0;  // bits per pixel
    int32_t hertz = 0;  // refresh rate, 0 when unknown
    static Ref<TGraphicsMode> Create(int32_t width, int32_t height, int32_t depth, int32_t hertz);  // a mode with these settings
    TString ToString() const;  // "800,600,32 60Hz"
};
using TGraphicsModes = std::vector<Ref<TGraphicsMode>>;

// A graphics back end.
class TGraphicsDriver : public TObject {
public:
    virtual TString Tag() { return u"KVL.Graphics.TGraphics"; }  // the type name of graphics drivers
    virtual TGraphicsModes GraphicsModes() = 0;  // the display modes it can open full screen
    // window is a native window handle (an X window id for the GL driver).
    virtual Ref<TGraphics> AttachGraphics(uintptr_t window, int32_t flags) = 0;
    virtual Ref<TGraphics> CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                          int32_t flags) = 0;
    virtual void SetGraphics(const Ref<TGraphics>& graphics) = 0;  // Null: no context current
    virtual void Flip(int32_t sync) = 0;  // presents the current context; non-zero sync waits for vertical blank
    // The current context took a new size (CurrentGraphicsWidth/Height already tell it).
    virtual void GraphicsResized(const Ref<TGraphics>& /*graphics*/) {}
};

// --- Drivers ------------------------------------------------------------------------------------
void SelectGraphicsDriver(const Ref<TGraphicsDriver>& driver, int32_t defaultFlags);  // also forgets the current graphics
Ref<TGraphicsDriver> GraphicsDriver();  // the current driver, Null when none

// --- Display modes (of the current driver, enumerated once per driver) ------------------------
TGraphicsModes GraphicsModes();         // a new array; callers may change it
int32_t GraphicsModeCount();
void GraphicsModeAt(int32_t index, int32_t* width, int32_t* height, int32_t* depth, int32_t* hertz);  // bad index: error
int32_t HasGraphicsMode(int32_t width, int32_t height, int32_t depth, int32_t hertz);  // 0 arguments match anything

// --- Contexts -----------------------------------------------------------------------------------
// Create and attach OR the default flags in; a driver error yields Null. Neither makes the
// context current. Without a current driver they raise "No graphics driver".
Ref<TGraphics> CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags);
Ref<TGraphics> AttachGraphics(uintptr_t window, int32_t flags);
void SetGraphics(const Ref<TGraphics>& graphics);  // Null: none current; another driver's context switches driver
void CloseGraphics(const Ref<TGraphics>& graphics);
Ref<TGraphics> CurrentGraphics();
int32_t CurrentGraphicsWidth();         // the settings of the current graphics, 0 when none
int32_t CurrentGraphicsHeight();
int32_t CurrentGraphicsDepth();
int32_t CurrentGraphicsHertz();
int32_t CurrentGraphicsFlags();

// --- The opened graphics: one context with pacing, polled input and close at exit -------------
Ref<TGraphics> OpenGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz, int32_t flags);
void CloseOpenedGraphics();
Ref<TGraphics> OpenedGraphics();
int32_t GraphicsSequence();             // changes whenever graphics are opened or closed; never 0

// --- Presenting ---------------------------------------------------------------------------------
// sync 0 presents at once, any other value after the vertical blank, -1 at the opened graphics'
// own rate (paced in software when the display does not keep it). Then, when the current
// graphics' window was resized, the new size takes effect and an EVENT_WINDOWSIZE (source the
// graphics, x and y the new width and height) is emitted.
void Flip(int32_t sync);
int32_t FlipHookId();                   // hook chain run at the start of every Flip, with Null
double SecondsSinceFlip();              // on the CurrentSeconds clock since the last Flip returned; 0 before one
double FlipIntervalSeconds();           // between the last two Flips returning (the frame time); 0 before two

// --- Start-up ---------------------------------------------------------------------------------
void StartGraphicsModule();             // module "graphics"; starts the system modules first

}  // namespace corvex
