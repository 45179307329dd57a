// The polled state shared by every back end, fed through XInput's layout (the Windows back end's
// translation), and the module started on a machine with no controller.
#include <gtest/gtest.h>

#include <vector>

#include <corvex/joystick/joystick.h>
#include <corvex/system/event.h>
#include <corvex/system/hook.h>
#include "joystick/joystick_module.h"
#include "joystick/xinput_pad.h"

namespace corvex {
namespace {

struct TSeen {
    int32_t id, port, data, value;
};
std::vector<TSeen> seen;

Ref<TObject> RecordJoyEvents(int32_t, const Ref<TObject>& data, const Ref<TObject>&) {
    if (auto* e = dynamic_cast<TEvent*>(data.get()); e && (e->id & 0x40000)) seen.push_back({e->id, e->x, e->data, e->y});
    return data;
}

constexpr uint16_t XI_DPAD_UP = 0x0001, XI_START = 0x0010, XI_LEFT_SHOULDER = 0x0100, XI_A = 0x1000, XI_Y = 0x8000;

class XInputPadTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartJoystickModule();
        JoystickModule().Reset();
        seen.clear();
        InstallHook(EventEmitHookId(), RecordJoyEvents, nullptr, 0);
    }
    void TearDown() override {
        UninstallHook(EventEmitHookId(), RecordJoyEvents, nullptr);
        JoystickModule().Reset();
    }
};

TEST_F(XInputPadTest, NoControllerStartsAndReadsZero) {
#ifdef _WIN32
    // Wine and Windows both have XInput; with nothing plugged in every slot is empty.
    EXPECT_EQ(JoystickBackendReady(), 1);
#endif
    EXPECT_EQ(JoyCount(), 0);
    for (int32_t port = 0; port < JOY_PORTS; ++port) {
        EXPECT_EQ(JoyConnected(port), 0);
        EXPECT_EQ(JoyDown(port, JOY_BUTTON_A), 0);
        EXPECT_EQ(JoyAxis(port, JOY_AXIS_LEFTX), 0.0f);
    }
    EXPECT_TRUE(seen.empty());
}

TEST_F(XInputPadTest, ArrivingPadStartsFromItsStateWithoutEvents) {
    const int32_t port = JoyPadAttach(FromUtf8("XInput Controller"), 1);
    ASSERT_EQ(port, 0);
    seen.clear();
    TXInputPad held;
    held.buttons = XI_A | XI_DPAD_UP;
    held.leftY = 32767;  // pushed up
    held.rightTrigger = 255;
    ReportXInputPad(port, held, held, false);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(JoyDown(port, JOY_BUTTON_A), 1);
    EXPECT_EQ(JoyDown(port, JOY_BUTTON_DPAD_UP), 1);
    EXPECT_EQ(JoyHat(port), JOY_HAT_UP);
    EXPECT_EQ(JoyAxis(port, JOY_AXIS_LEFTY), -1.0f);  // our sticks read -1 up
    EXPECT_EQ(JoyAxis(port, JOY_AXIS_RIGHTTRIGGER), 1.0f);
    EXPECT_EQ(JoyAxis(port, JOY_AXIS_LEFTTRIGGER), 0.0f);
}

TEST_F(XInputPadTest, ChangesRaiseEventsForWhatChangedOnly) {
    const int32_t port = JoyPadAttach(FromUtf8("XInput Controller"), 1);
    TXInputPad before;
    before.buttons = XI_A | XI_START;
    ReportXInputPad(port, before, before, false);
    seen.clear();
    TXInputPad now = before;
    now.buttons = XI_START | XI_Y | XI_LEFT_SHOULDER;
    now.leftX = -32768;  // full left, one step past -32767
    now.rightX = 3000;   // at rest inside the default dead zone
    ReportXInputPad(port, before, now, true);
    std::vector<std::pair<int32_t, int32_t>> buttons;
    std::vector<std::pair<int32_t, int32_t>> axes;
    for (const TSeen& s : seen) {
        EXPECT_EQ(s.port, port);
        if (s.id == EVENT_JOYBUTTONDOWN || s.id == EVENT_JOYBUTTONUP) buttons.emplace_back(s.id, s.data);
        if (s.id == EVENT_JOYAXISMOVE) axes.emplace_back(s.data, s.value);
    }
    const std::vector<std::pair<int32_t, int32_t>> wantButtons = {{EVENT_JOYBUTTONDOWN, JOY_BUTTON_LEFTSHOULDER},
                                                                  {EVENT_JOYBUTTONUP, JOY_BUTTON_A},
                                                                  {EVENT_JOYBUTTONDOWN, JOY_BUTTON_Y}};
    EXPECT_EQ(buttons, wantButtons);
    const std::vector<std::pair<int32_t, int32_t>> wantAxes = {{JOY_AXIS_LEFTX, -1000}};
    EXPECT_EQ(axes, wantAxes);
    EXPECT_EQ(JoyAxis(port, JOY_AXIS_RIGHTX), 0.0f);
    EXPECT_EQ(JoyDown(port, JOY_BUTTON_START), 1);
    EXPECT_EQ(JoyHits(port, JOY_BUTTON_Y), 1);
    EXPECT_EQ(JoyHits(port, JOY_BUTTON_Y), 0);
}

TEST_F(XInputPadTest, PadLeavingWhileHeldReleasesFirst) {
    const int32_t port = JoyPadAttach(FromUtf8("XInput Controller"), 1);
    TXInputPad held;
    held.buttons = XI_A;
    ReportXInputPad(port, held, held, false);
    seen.clear();
    JoyPadDetach(port);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].id, EVENT_JOYBUTTONUP);
    EXPECT_EQ(seen[0].data, JOY_BUTTON_A);
    EXPECT_EQ(seen[1].id, EVENT_JOYDISCONNECT);
    EXPECT_EQ(JoyDown(port, JOY_BUTTON_A), 0);
    EXPECT_EQ(JoyCount(), 0);
}

}  // namespace
}  // namespace corvex
