// Keyboard and mouse, the two ways a program hears them:
//
//  - polled state, asked for once a frame: KeyHits (presses since the last call), IsKeyDown,
//    MousePosX/Y, IsMouseDown, MouseHits, MouseWheelPos. The arrow keys move a square one cell
//    per press, Space held turns it orange; a small square follows the pointer, green while the
//    left button is down, red while the right one is; the wheel changes its size.
//  - events, handed to a hook on the event chain as they arrive: the right half of the window
//    lists the latest events and the characters typed.
//
// Escape ends the program.
#include <algorithm>
#include <deque>
#include <string>

#include <corvex/corvex.h>

using namespace corvex;

namespace {

// What the hook collected. Hooks run on the main thread, inside the calls that drain pending
// messages (every polled-input query, and waits such as WaitTimer), so plain variables will do.
std::deque<TString> g_recent_events;  // newest last
std::string g_typed;

// Called for every event that any part of the program emits, input included. It must return the
// event (or a replacement) so that the hooks after it, such as the one behind the polled state,
// still get it.
Ref<TObject> OnEvent(int32_t /*hook_id*/, const Ref<TObject>& data, const Ref<TObject>& /*context*/) {
    auto event = std::dynamic_pointer_cast<TEvent>(data);
    if (!event) return data;
    if (event->id == EVENT_KEYCHAR) {
        // One event per character typed; data holds its code (UTF-16).
        if (event->data == 8 && !g_typed.empty()) g_typed.pop_back();  // Backspace
        if (event->data >= 32 && event->data < 127 && g_typed.size() < 30) g_typed += char(event->data);
    }
    if (event->id != EVENT_MOUSEMOVE) {  // moves come by the dozen; list the rest
        // EventName gives "KeyDown", "MouseUp", ...; event->ToString() would give every field.
        g_recent_events.push_back(EventName(event->id) + u" data=" + FromUtf8(std::to_string(event->data)) +
                                  u" x=" + FromUtf8(std::to_string(event->x)) + u" y=" +
                                  FromUtf8(std::to_string(event->y)));
        if (g_recent_events.size() > 14) g_recent_events.pop_front();
    }
    return data;
}

constexpr int kCols = 6, kRows = 6, kCell = 40, kGridX = 40, kGridY = 80;

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        StartCorvex();
        SetApplicationTitle(u"Corvex example: input");
        if (!OpenGraphics(640, 480, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");

        // Priority 1 runs before the polled-input hook (priority 0); either order works here.
        InstallHook(EventEmitHookId(), OnEvent, nullptr, 1);

        int col = 0, row = 0, clicks = 0;
        SetClsColor(24, 26, 36);
        while (!KeyHits(KEY_ESCAPE) && !TerminateRequested()) {
            // Polled keyboard: one cell per press, however short the press was.
            col += KeyHits(KEY_RIGHT) - KeyHits(KEY_LEFT);
            row += KeyHits(KEY_DOWN) - KeyHits(KEY_UP);
            col = std::clamp(col, 0, kCols - 1);
            row = std::clamp(row, 0, kRows - 1);
            clicks += MouseHits(MOUSE_LEFT);

            Cls();
            SetBlend(BLEND_ALPHA);
            SetColor(255, 255, 255);
            DrawText("Polled: arrows, Space, mouse", kGridX, 20);
            DrawText("Events (a hook)", 340, 20);

            // The grid and the square.
            SetColor(50, 54, 70);
            for (int i = 0; i <= kCols; ++i)
                DrawLine(float(kGridX + i * kCell), kGridY, float(kGridX + i * kCell), kGridY + kRows * kCell);
            for (int i = 0; i <= kRows; ++i)
                DrawLine(kGridX, float(kGridY + i * kCell), kGridX + kCols * kCell, float(kGridY + i * kCell));
            if (IsKeyDown(KEY_SPACE)) {
                SetColor(255, 160, 40);
            } else {
                SetColor(60, 140, 255);
            }
            DrawRect(float(kGridX + col * kCell + 4), float(kGridY + row * kCell + 4), kCell - 8, kCell - 8);

            SetColor(200, 200, 200);
            DrawText("left clicks: " + std::to_string(clicks) + "  wheel: " + std::to_string(MouseWheelPos()),
                     kGridX, 340);

            // The event list and the typed text.
            SetColor(150, 200, 255);
            float y = 50;
            for (const TString& line : g_recent_events) {
                DrawText(line, 340, y);
                y += 16;
            }
            SetColor(200, 200, 200);
            DrawText("typed:", 340, 300);
            SetColor(255, 255, 255);
            DrawText(g_typed, 340, 316);

            // The pointer square, drawn last so that it is on top.
            int size = std::clamp(12 + 4 * MouseWheelPos(), 4, 60);
            if (IsMouseDown(MOUSE_LEFT)) {
                SetColor(60, 220, 90);
            } else if (IsMouseDown(MOUSE_RIGHT)) {
                SetColor(230, 60, 60);
            } else {
                SetColor(255, 255, 255);
            }
            SetHandle(float(size) / 2, float(size) / 2);
            DrawRect(float(MousePosX()), float(MousePosY()), float(size), float(size));
            SetHandle(0, 0);

            SetColor(160, 160, 160);
            DrawText("Press Escape to quit", kGridX, 450);
            Flip(-1);
        }
        UninstallHook(EventEmitHookId(), OnEvent, nullptr);
    });
}
