// TEvent, the record every input message becomes, and the event hook chain it runs down.
#pragma once

#include <cstdint>
#include <memory>

#include <corvex/runtime/object.h>
#include <corvex/runtime/string.h>

namespace corvex {

// --- Event ids: the group bit above the low byte, the kind within the group in the low byte ---
constexpr int32_t EVENT_APPSUSPEND = 0x101;
constexpr int32_t EVENT_APPRESUME = 0x102;
constexpr int32_t EVENT_APPTERMINATE = 0x103;
constexpr int32_t EVENT_APPOPENFILE = 0x104;
constexpr int32_t EVENT_APPIDLE = 0x105;
constexpr int32_t EVENT_KEYDOWN = 0x201;
constexpr int32_t EVENT_KEYUP = 0x202;
constexpr int32_t EVENT_KEYCHAR = 0x203;
constexpr int32_t EVENT_KEYREPEAT = 0x204;
constexpr int32_t EVENT_MOUSEDOWN = 0x401;
constexpr int32_t EVENT_MOUSEUP = 0x402;
constexpr int32_t EVENT_MOUSEMOVE = 0x403;
constexpr int32_t EVENT_MOUSEWHEEL = 0x404;
constexpr int32_t EVENT_MOUSEENTER = 0x405;
constexpr int32_t EVENT_MOUSELEAVE = 0x406;
constexpr int32_t EVENT_TIMERTICK = 0x801;
constexpr int32_t EVENT_HOTKEYHIT = 0x1001;
constexpr int32_t EVENT_GADGETACTION = 0x2001;
constexpr int32_t EVENT_GADGETPAINT = 0x2002;
constexpr int32_t EVENT_GADGETSELECT = 0x2003;
constexpr int32_t EVENT_GADGETMENU = 0x2004;
constexpr int32_t EVENT_GADGETOPEN = 0x2005;
constexpr int32_t EVENT_GADGETCLOSE = 0x2006;
constexpr int32_t EVENT_GADGETDONE = 0x2007;
constexpr int32_t EVENT_GADGETLOSTFOCUS = 0x2008;
constexpr int32_t EVENT_GADGETSHAPE = 0x2009;
constexpr int32_t EVENT_WINDOWMOVE = 0x4001;
constexpr int32_t EVENT_WINDOWSIZE = 0x4002;  // from Flip: source the graphics, x and y its new size
constexpr int32_t EVENT_WINDOWCLOSE = 0x4003;
constexpr int32_t EVENT_WINDOWACTIVATE = 0x4004;
constexpr int32_t EVENT_WINDOWACCEPT = 0x4005;
constexpr int32_t EVENT_MENUACTION = 0x8001;
constexpr int32_t EVENT_STREAMEOF = 0x10001;
constexpr int32_t EVENT_STREAMAVAIL = 0x10002;
constexpr int32_t EVENT_PROCESSEXIT = 0x20001;
// Game controllers (corvex/joystick): x is the controller's port, data the button or axis, y an
// axis value in thousandths (-1000..1000) or the hat bits.
constexpr int32_t EVENT_JOYCONNECT = 0x40001;
constexpr int32_t EVENT_JOYDISCONNECT = 0x40002;
constexpr int32_t EVENT_JOYBUTTONDOWN = 0x40003;
constexpr int32_t EVENT_JOYBUTTONUP = 0x40004;
constexpr int32_t EVENT_JOYAXISMOVE = 0x40005;
constexpr int32_t EVENT_JOYHATMOVE = 0x40006;

// --- Modifier bits in TEvent::mods ------------------------------------------------------------
constexpr int32_t MODIFIER_SHIFT = 1;
constexpr int32_t MODIFIER_CONTROL = 2;
constexpr int32_t MODIFIER_OPTION = 4;  // Alt
constexpr int32_t MODIFIER_SYSTEM = 8;  // the Windows / Super key

// A string as an object, for TEvent::extra (the only payload ToString shows).
class TStringObject : public TObject {
public:
    explicit TStringObject(TString value = {}) : text(std::move(value)) {}  // holding value
    TString text;  // the string
};

// One event. The window layer leaves source and extra Null.
class TEvent : public TObject, public std::enable_shared_from_this<TEvent> {
public:
    int32_t id = 0;  // EVENT_* code
    Ref<TObject> source;  // the object the event concerns
    int32_t data = 0;     // key code, character, button, wheel steps, tick count, ...
    int32_t mods = 0;     // MODIFIER_* bits held
    int32_t x = 0;        // pointer position in client pixels, 0 when not applicable
    int32_t y = 0;  // pointer position in client pixels, 0 when not applicable
    Ref<TObject> extra;   // additional payload

    // An event with these fields.
    static Ref<TEvent> Create(int32_t id, Ref<TObject> source, int32_t data, int32_t mods, int32_t x, int32_t y,
                              Ref<TObject> extra);
    void Emit();                      // runs the EventEmitHookId chain with this event as data
    TString ToString() const;         // KeyDown: data=65, mods=0, x=0, y=0, extra=""
    static int32_t AllocUserId();     // 0x80000001, 0x80000002, ... for application events
};

TString EventName(int32_t id);        // "KeyDown", "UserEvent3", "Unknown Event, id=7"
int32_t EventEmitHookId();            // the hook id every TEvent::Emit runs

// --- Start-up ---------------------------------------------------------------------------------
void StartEventModule();  // module "event"; starts "hook" first

}  // namespace corvex
