#include "tools/physbox-sim/script.h"

#include <corvex/system/event.h>
#include <corvex/system/keys.h>

namespace corvex {
namespace {

void Emit(int32_t id, int32_t data, int32_t x, int32_t y) {
    TEvent::Create(id, nullptr, data, 0, x, y, nullptr)->Emit();
}

}  // namespace

void EmitRunStart(const SimOptions& o) {
    if (o.hasMouse) Emit(EVENT_MOUSEMOVE, 0, o.mouseX, o.mouseY);
}

void EmitBeforeFrame(const SimOptions& o, int32_t frame) {
    if (o.SpawnBefore(frame)) {
        Emit(EVENT_KEYDOWN, KEY_SPACE, 0, 0);
        Emit(EVENT_KEYUP, KEY_SPACE, 0, 0);
    }
    if (o.hasDrag && frame == o.dragFrom) Emit(EVENT_MOUSEDOWN, MOUSE_LEFT, o.mouseX, o.mouseY);
}

void EmitAfterFrame(const SimOptions& o, int32_t frame) {
    if (o.hasDrag && frame == o.dragTo) Emit(EVENT_MOUSEUP, MOUSE_LEFT, o.mouseX, o.mouseY);
}

}  // namespace corvex
