// Game controllers, live: for each attached pad its name, both sticks, both triggers, the face
// buttons, shoulders, d-pad and start/back, lit while held. Pads can come and go while it runs;
// without one it says so. Escape ends it.
#include <string>

#include <corvex/corvex.h>

using namespace corvex;

namespace {

// A stick: its square travel, the dead zone's ring, and a dot where the stick is.
void DrawStick(float cx, float cy, float x, float y) {
    SetColor(60, 64, 84);
    DrawRect(cx - 40, cy - 40, 80, 80);
    SetColor(90, 96, 124);
    const float zone = 40 * JoyDeadZone();
    DrawOval(cx - zone, cy - zone, 2 * zone, 2 * zone);
    SetColor(120, 220, 255);
    DrawOval(cx + x * 36 - 6, cy + y * 36 - 6, 12, 12);
}

// A trigger: a bar that fills from the bottom.
void DrawTrigger(float x, float y, float value) {
    SetColor(60, 64, 84);
    DrawRect(x, y, 16, 80);
    SetColor(255, 170, 60);
    DrawRect(x, y + 80 * (1 - value), 16, 80 * value);
}

// A button: a labelled box, lit while held.
void DrawButton(int32_t port, int32_t button, float x, float y, const char* label) {
    const bool down = JoyDown(port, button) != 0;
    if (down)
        SetColor(90, 220, 120);
    else
        SetColor(60, 64, 84);
    DrawRect(x, y, 40, 22);
    SetColor(down ? 20 : 220, down ? 30 : 220, down ? 20 : 230);
    DrawText(label, x + 20 - float(TextWidth(label)) / 2, y + 3);
}

// One pad in a 620 x 200 panel at (10, top).
void DrawPad(int32_t port, float top) {
    SetColor(230, 230, 240);
    DrawText("Port " + std::to_string(port) + ": " + ToUtf8(JoyName(port)) +
                 (JoyMapped(port) ? "" : "  (raw buttons and axes)"),
             20, top);
    const float y = top + 24;
    DrawTrigger(20, y + 20, JoyAxis(port, JOY_AXIS_LEFTTRIGGER));
    DrawStick(100, y + 60, JoyAxis(port, JOY_AXIS_LEFTX), JoyAxis(port, JOY_AXIS_LEFTY));
    DrawStick(220, y + 60, JoyAxis(port, JOY_AXIS_RIGHTX), JoyAxis(port, JOY_AXIS_RIGHTY));
    DrawTrigger(280, y + 20, JoyAxis(port, JOY_AXIS_RIGHTTRIGGER));
    DrawButton(port, JOY_BUTTON_Y, 460, y, "Y");
    DrawButton(port, JOY_BUTTON_X, 414, y + 28, "X");
    DrawButton(port, JOY_BUTTON_B, 506, y + 28, "B");
    DrawButton(port, JOY_BUTTON_A, 460, y + 56, "A");
    DrawButton(port, JOY_BUTTON_DPAD_UP, 356, y + 88, "Up");
    DrawButton(port, JOY_BUTTON_DPAD_LEFT, 310, y + 116, "Lt");
    DrawButton(port, JOY_BUTTON_DPAD_RIGHT, 402, y + 116, "Rt");
    DrawButton(port, JOY_BUTTON_DPAD_DOWN, 356, y + 144, "Dn");
    DrawButton(port, JOY_BUTTON_LEFTSHOULDER, 460, y + 100, "LB");
    DrawButton(port, JOY_BUTTON_RIGHTSHOULDER, 506, y + 100, "RB");
    DrawButton(port, JOY_BUTTON_BACK, 460, y + 132, "Back");
    DrawButton(port, JOY_BUTTON_START, 552, y + 132, "Start");
}

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        StartCorvex();
        SetApplicationTitle(u"Corvex example: gamepad");
        if (!OpenGraphics(640, 480, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");
        SetClsColor(24, 26, 36);
        while (!KeyHits(KEY_ESCAPE) && !TerminateRequested()) {
            Cls();
            SetBlend(BLEND_ALPHA);
            // Ports keep their pad until it leaves, so the two shown are the first two occupied.
            float top = 16;
            int shown = 0;
            for (int32_t port = 0; port < JOY_PORTS && shown < 2; ++port) {
                if (!JoyConnected(port)) continue;
                DrawPad(port, top);
                top += 220;
                ++shown;
            }
            if (shown == 0) {
                SetColor(255, 225, 170);
                DrawText("No game controller attached.", 20, 20);
                SetColor(200, 200, 210);
                DrawText("Plug one in: it shows up here while the program runs.", 20, 40);
                if (!JoystickBackendReady()) DrawText("(Controller support could not start here.)", 20, 60);
            }
            SetColor(140, 140, 160);
            DrawText("Escape ends the example.", 20, 456);
            Flip(1);
        }
    });
}
