// Controllers driven through SDL's virtual joysticks: the same back end path as a real pad,
// from hot-plug to the polled state and the events.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include <corvex/joystick/joystick.h>
#include <corvex/system/event.h>
#include <corvex/system/hook.h>
#include <corvex/system/system.h>
#include "joystick/joystick_module.h"

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

class JoystickTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartJoystickModule();
        JoystickModule().Reset();
        ASSERT_EQ(JoystickBackendReady(), 1) << SDL_GetError();
        seen.clear();
        InstallHook(EventEmitHookId(), RecordJoyEvents, nullptr, 0);
    }
    void TearDown() override {
        UninstallHook(EventEmitHookId(), RecordJoyEvents, nullptr);
        for (int i = SDL_NumJoysticks() - 1; i >= 0; --i)
            if (SDL_JoystickIsVirtual(i)) SDL_JoystickDetachVirtual(i);
        PollJoysticks();
    }

    // A virtual pad with the standard layout's 15 buttons and 6 axes; returns its SDL handle.
    SDL_Joystick* Attach(const char* name, bool controller = true) {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = controller ? SDL_JOYSTICK_TYPE_GAMECONTROLLER : SDL_JOYSTICK_TYPE_UNKNOWN;
        desc.naxes = 6;
        desc.nbuttons = controller ? 15 : 20;
        desc.nhats = controller ? 0 : 1;
        if (controller) {
            desc.button_mask = (1u << 15) - 1;
            desc.axis_mask = (1u << 6) - 1;
        }
        desc.name = name;
        const int index = SDL_JoystickAttachVirtualEx(&desc);
        EXPECT_GE(index, 0) << SDL_GetError();
        // Held open by the test so that it can move the pad; the module opens its own handle.
        SDL_Joystick* handle = SDL_JoystickOpen(index);
        EXPECT_NE(handle, nullptr) << SDL_GetError();
        if (controller) {
            // Triggers rest at the bottom of the raw range.
            SDL_JoystickSetVirtualAxis(handle, JOY_AXIS_LEFTTRIGGER, -32768);
            SDL_JoystickSetVirtualAxis(handle, JOY_AXIS_RIGHTTRIGGER, -32768);
        }
        PollJoysticks();
        return handle;
    }

    void Detach(SDL_Joystick* handle) {
        const SDL_JoystickID id = SDL_JoystickInstanceID(handle);
        SDL_JoystickClose(handle);
        for (int i = 0; i < SDL_NumJoysticks(); ++i)
            if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
        PollJoysticks();
    }

    static void Button(SDL_Joystick* pad, int button, bool down) {
        SDL_JoystickSetVirtualButton(pad, button, down ? SDL_PRESSED : SDL_RELEASED);
        PollJoysticks();
    }
    static void Axis(SDL_Joystick* pad, int axis, Sint16 value) {
        SDL_JoystickSetVirtualAxis(pad, axis, value);
        PollJoysticks();
    }

    static size_t Count(int32_t id) {
        size_t n = 0;
        for (const TSeen& s : seen) n += s.id == id;
        return n;
    }
};

TEST_F(JoystickTest, AVirtualPadMovesThePolledStateAndRaisesEvents) {
    SDL_Joystick* pad = Attach("Test Pad");
    EXPECT_EQ(JoyCount(), 1);
    EXPECT_EQ(JoyConnected(0), 1);
    EXPECT_EQ(JoyMapped(0), 1);
    EXPECT_EQ(JoyName(0), u"Test Pad");
    ASSERT_EQ(Count(EVENT_JOYCONNECT), 1u);
    EXPECT_EQ(seen[0].port, 0);

    seen.clear();
    Button(pad, JOY_BUTTON_A, true);
    EXPECT_EQ(JoyDown(0, JOY_BUTTON_A), 1);
    EXPECT_EQ(JoyDown(0, JOY_BUTTON_B), 0);
    Button(pad, JOY_BUTTON_A, false);
    Button(pad, JOY_BUTTON_A, true);
    EXPECT_EQ(JoyHits(0, JOY_BUTTON_A), 2);
    EXPECT_EQ(JoyHits(0, JOY_BUTTON_A), 0);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].id, EVENT_JOYBUTTONDOWN);
    EXPECT_EQ(seen[0].data, JOY_BUTTON_A);
    EXPECT_EQ(seen[1].id, EVENT_JOYBUTTONUP);

    seen.clear();
    Axis(pad, JOY_AXIS_LEFTX, 32767);
    Axis(pad, JOY_AXIS_RIGHTY, -32768);
    Axis(pad, JOY_AXIS_RIGHTTRIGGER, 32767);
    EXPECT_FLOAT_EQ(JoyAxis(0, JOY_AXIS_LEFTX), 1.0f);
    EXPECT_FLOAT_EQ(JoyAxis(0, JOY_AXIS_RIGHTY), -1.0f);
    EXPECT_FLOAT_EQ(JoyAxis(0, JOY_AXIS_RIGHTTRIGGER), 1.0f);
    EXPECT_EQ(JoyAxis(0, JOY_AXIS_LEFTTRIGGER), 0.0f);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].id, EVENT_JOYAXISMOVE);
    EXPECT_EQ(seen[0].data, JOY_AXIS_LEFTX);
    EXPECT_EQ(seen[0].value, 1000);
    EXPECT_EQ(seen[1].value, -1000);

    // The d-pad of a mapped pad is also its hat.
    Button(pad, JOY_BUTTON_DPAD_UP, true);
    Button(pad, JOY_BUTTON_DPAD_LEFT, true);
    EXPECT_EQ(JoyHat(0), JOY_HAT_UP | JOY_HAT_LEFT);
    Button(pad, JOY_BUTTON_DPAD_UP, false);
    EXPECT_EQ(JoyHat(0), JOY_HAT_LEFT);
    Detach(pad);
}

TEST_F(JoystickTest, QueriesReadThePadsThemselvesAndSeeHotPlug) {
    EXPECT_EQ(JoyCount(), 0);
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = 6;
    desc.nbuttons = 15;
    desc.button_mask = (1u << 15) - 1;
    desc.axis_mask = (1u << 6) - 1;
    desc.name = "Late Pad";
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    ASSERT_GE(index, 0);
    SDL_Joystick* pad = SDL_JoystickOpen(index);
    SDL_JoystickSetVirtualButton(pad, JOY_BUTTON_START, SDL_PRESSED);
    // No explicit read: the query's own drain picks the pad up once the read interval has passed.
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    EXPECT_EQ(JoyCount(), 1);
    SDL_JoystickUpdate();
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    EXPECT_EQ(JoyDown(0, JOY_BUTTON_START), 1);
    Detach(pad);
}

TEST_F(JoystickTest, APadUnpluggedWhileAButtonIsHeldLeavesNothingDown) {
    SDL_Joystick* pad = Attach("Test Pad");
    Button(pad, JOY_BUTTON_B, true);
    Button(pad, JOY_BUTTON_DPAD_RIGHT, true);
    ASSERT_EQ(JoyDown(0, JOY_BUTTON_B), 1);
    seen.clear();
    Detach(pad);
    EXPECT_EQ(JoyDown(0, JOY_BUTTON_B), 0);
    EXPECT_EQ(JoyDown(0, JOY_BUTTON_DPAD_RIGHT), 0);
    EXPECT_EQ(JoyHat(0), 0);
    EXPECT_EQ(JoyConnected(0), 0);
    EXPECT_EQ(JoyCount(), 0);
    EXPECT_EQ(JoyName(0), u"");
    // Releases first, so event-driven code sees every press matched, then the disconnect.
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(Count(EVENT_JOYBUTTONUP), 2u);
    EXPECT_EQ(seen.back().id, EVENT_JOYDISCONNECT);
    EXPECT_EQ(seen.back().port, 0);
}

TEST_F(JoystickTest, TwoIdenticalPadsKeepTheirOwnPorts) {
    SDL_Joystick* first = Attach("Twin Pad");
    SDL_Joystick* second = Attach("Twin Pad");
    ASSERT_EQ(JoyCount(), 2);
    EXPECT_EQ(JoyName(0), JoyName(1));
    Button(second, JOY_BUTTON_X, true);
    Axis(second, JOY_AXIS_LEFTY, 32767);
    EXPECT_EQ(JoyDown(0, JOY_BUTTON_X), 0);
    EXPECT_EQ(JoyDown(1, JOY_BUTTON_X), 1);
    EXPECT_EQ(JoyAxis(0, JOY_AXIS_LEFTY), 0.0f);
    EXPECT_FLOAT_EQ(JoyAxis(1, JOY_AXIS_LEFTY), 1.0f);
    EXPECT_EQ(seen.back().port, 1);

    // The first leaving does not move the second; a newcomer takes the freed port.
    Detach(first);
    EXPECT_EQ(JoyConnected(0), 0);
    EXPECT_EQ(JoyDown(1, JOY_BUTTON_X), 1);
    SDL_Joystick* third = Attach("Twin Pad");
    EXPECT_EQ(JoyConnected(0), 1);
    EXPECT_EQ(JoyDown(0, JOY_BUTTON_X), 0);
    Detach(third);
    Detach(second);
}

TEST_F(JoystickTest, AnAxisInsideTheDeadZoneReadsExactlyZero) {
    SDL_Joystick* pad = Attach("Test Pad");
    EXPECT_FLOAT_EQ(JoyDeadZone(), 0.2f);
    Axis(pad, JOY_AXIS_LEFTX, 3000);  // about 0.09: sticks rarely rest at the exact centre
    EXPECT_EQ(JoyAxis(0, JOY_AXIS_LEFTX), 0.0f);
    Axis(pad, JOY_AXIS_LEFTX, -6500);
    EXPECT_EQ(JoyAxis(0, JOY_AXIS_LEFTX), 0.0f);
    EXPECT_EQ(Count(EVENT_JOYAXISMOVE), 0u);
    // Beyond it the travel is stretched back to the full range: 0.6 of the way reads 0.5.
    Axis(pad, JOY_AXIS_LEFTX, static_cast<Sint16>(0.6 * 32767));
    EXPECT_NEAR(JoyAxis(0, JOY_AXIS_LEFTX), 0.5f, 1e-4f);
    SetJoyDeadZone(0.0f);
    Axis(pad, JOY_AXIS_LEFTX, 3000);
    EXPECT_NEAR(JoyAxis(0, JOY_AXIS_LEFTX), 3000.0f / 32767.0f, 1e-5f);
    SetJoyDeadZone(5.0f);
    EXPECT_FLOAT_EQ(JoyDeadZone(), 0.95f);
    Detach(pad);
}

TEST_F(JoystickTest, AnUnmappedPadReportsRawButtonsAxesAndItsHat) {
    SDL_Joystick* pad = Attach("Odd Stick", false);
    ASSERT_EQ(JoyConnected(0), 1);
    EXPECT_EQ(JoyMapped(0), 0);
    Button(pad, 17, true);
    EXPECT_EQ(JoyDown(0, 17), 1);
    SDL_JoystickSetVirtualHat(pad, 0, SDL_HAT_RIGHTUP);
    PollJoysticks();
    EXPECT_EQ(JoyHat(0), JOY_HAT_RIGHT | JOY_HAT_UP);
    Axis(pad, 5, -32768);
    EXPECT_FLOAT_EQ(JoyAxis(0, 5), -1.0f);
    Detach(pad);
    EXPECT_EQ(JoyHat(0), 0);
}

TEST_F(JoystickTest, OutOfRangeQueriesAnswerZeroAndMappingsAreChecked) {
    EXPECT_EQ(JoyDown(-1, 0), 0);
    EXPECT_EQ(JoyDown(JOY_PORTS, 0), 0);
    EXPECT_EQ(JoyHits(0, JOY_BUTTONS), 0);
    EXPECT_EQ(JoyAxis(0, JOY_AXES), 0.0f);
    EXPECT_EQ(JoyHat(99), 0);
    EXPECT_EQ(JoyName(-5), u"");
    EXPECT_EQ(AddJoyMappings("# a comment only\n"), 0);
    EXPECT_EQ(AddJoyMappings("not a mapping"), -1);
    EXPECT_EQ(AddJoyMappings("03000000aaaa0000bbbb000000000000,Made Up Pad,a:b0,b:b1,leftx:a0,lefty:a1,\n"), 1);
}

}  // namespace
}  // namespace corvex
