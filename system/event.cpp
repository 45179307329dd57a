#include <corvex/system/event.h>

#include <corvex/runtime/module.h>
#include <corvex/system/hook.h>
#include "system/event_module.h"

namespace corvex {

TEventModule& EventModule() {
    static TEventModule* module = [] {
        auto* m = new TEventModule;
        m->emitHookId = NewHookId();
        return m;
    }();
    return *module;
}

void TEventModule::Reset() {
    emitHookId = NewHookId();
    lastUserId = 0x80000000u;
}

void StartEventModule() {
    StartHookModule();
    if (BeginModuleStart("event")) EventModule();
}

int32_t EventEmitHookId() { return EventModule().emitHookId; }

Ref<TEvent> TEvent::Create(int32_t id, Ref<TObject> source, int32_t data, int32_t mods, int32_t x, int32_t y,
                           Ref<TObject> extra) {
    auto event = std::make_shared<TEvent>();
    event->id = id;
    event->source = std::move(source);
    event->data = data;
    event->mods = mods;
    event->x = x;
    event->y = y;
    event->extra = std::move(extra);
    return event;
}

void TEvent::Emit() {
    Ref<TEvent> self = weak_from_this().lock();
    // An event living outside a Ref is sent as an owned copy: hooks may keep what they receive.
    if (!self) self = std::make_shared<TEvent>(*this);
    RunHookChain(EventEmitHookId(), self);
}

int32_t TEvent::AllocUserId() {
    TEventModule& m = EventModule();
    ++m.lastUserId;
    return static_cast<int32_t>(m.lastUserId);
}

TString EventName(int32_t id) {
    switch (id) {
        case EVENT_APPSUSPEND: return u"AppSuspend";
        case EVENT_APPRESUME: return u"AppResume";
        case EVENT_APPTERMINATE: return u"AppTerminate";
        case EVENT_APPOPENFILE: return u"AppOpenFile";
        case EVENT_APPIDLE: return u"AppIdle";
        case EVENT_KEYDOWN: return u"KeyDown";
        case EVENT_KEYUP: return u"KeyUp";
        case EVENT_KEYCHAR: return u"KeyChar";
        case EVENT_KEYREPEAT: return u"KeyRepeat";
        case EVENT_MOUSEDOWN: return u"MouseDown";
        case EVENT_MOUSEUP: return u"MouseUp";
        case EVENT_MOUSEMOVE: return u"MouseMove";
        case EVENT_MOUSEWHEEL: return u"MouseWheel";
        case EVENT_MOUSEENTER: return u"MouseEnter";
        case EVENT_MOUSELEAVE: return u"MouseLeave";
        case EVENT_TIMERTICK: return u"TimerTick";
        case EVENT_HOTKEYHIT: return u"HotkeyHit";
        case EVENT_GADGETACTION: return u"GadgetAction";
        case EVENT_GADGETPAINT: return u"GadgetPaint";
        case EVENT_GADGETSELECT: return u"GadgetSelect";
        case EVENT_GADGETMENU: return u"GadgetMenu";
        case EVENT_GADGETOPEN: return u"GadgetOpen";
        case EVENT_GADGETCLOSE: return u"GadgetClose";
        case EVENT_GADGETDONE: return u"GadgetDone";
        case EVENT_GADGETLOSTFOCUS: return u"GadgetLostFocus";
        case EVENT_GADGETSHAPE: return u"GadgetShape";
        case EVENT_WINDOWMOVE: return u"WindowMove";
        case EVENT_WINDOWSIZE: return u"WindowSize";
        case EVENT_WINDOWCLOSE: return u"WindowClose";
        case EVENT_WINDOWACTIVATE: return u"WindowActivate";
        case EVENT_WINDOWACCEPT: return u"WindowAccept";
        case EVENT_MENUACTION: return u"MenuAction";
        case EVENT_STREAMEOF: return u"StreamEof";
        case EVENT_STREAMAVAIL: return u"StreamAvail";
        case EVENT_PROCESSEXIT: return u"ProcessExit";
        case EVENT_JOYCONNECT: return u"JoyConnect";
        case EVENT_JOYDISCONNECT: return u"JoyDisconnect";
        case EVENT_JOYBUTTONDOWN: return u"JoyButtonDown";
        case EVENT_JOYBUTTONUP: return u"JoyButtonUp";
        case EVENT_JOYAXISMOVE: return u"JoyAxisMove";
        case EVENT_JOYHATMOVE: return u"JoyHatMove";
        default: break;
    }
    const uint32_t bits = static_cast<uint32_t>(id);
    if (bits & 0x80000000u) return u"UserEvent" + DecimalString(bits - 0x80000000u);
    return u"Unknown Event, id=" + DecimalString(id);
}

TString TEvent::ToString() const {
    TString text = EventName(id);
    text += u": data=" + DecimalString(data);
    text += u", mods=" + DecimalString(mods);
    text += u", x=" + DecimalString(x);
    text += u", y=" + DecimalString(y);
    text += u", extra=\"";
    if (auto* s = dynamic_cast<const TStringObject*>(extra.get())) text += s->text;
    text += u"\"";
    return text;
}

}  // namespace corvex
