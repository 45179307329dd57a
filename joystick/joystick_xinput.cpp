// The Windows back end: XInput, loaded at run time (xinput1_4.dll, else xinput9_1_0.dll), so a
// system without it runs with every port empty. XInput's four user slots are polled; a slot seen
// empty is asked again only every second, as asking an empty slot is slow on Windows.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <xinput.h>

#include <array>
#include <chrono>

#include "joystick/joystick_module.h"
#include "joystick/xinput_pad.h"

namespace corvex {
namespace {

using TGetState = DWORD(WINAPI*)(DWORD, XINPUT_STATE*);

TXInputPad FromXInput(const XINPUT_GAMEPAD& g) {
    TXInputPad p;
    p.buttons = g.wButtons;
    p.leftTrigger = g.bLeftTrigger;
    p.rightTrigger = g.bRightTrigger;
    p.leftX = g.sThumbLX;
    p.leftY = g.sThumbLY;
    p.rightX = g.sThumbRX;
    p.rightY = g.sThumbRY;
    return p;
}

class TXInputBackend : public TJoystickBackend {
public:
    bool Start() {
        for (const wchar_t* dll : {L"xinput1_4.dll", L"xinput9_1_0.dll"}) {
            _dll = LoadLibraryW(dll);
            if (!_dll) continue;
            _getState = reinterpret_cast<TGetState>(reinterpret_cast<void*>(GetProcAddress(_dll, "XInputGetState")));
            if (_getState) return true;
            FreeLibrary(_dll);
            _dll = nullptr;
        }
        return false;
    }

    ~TXInputBackend() override {
        if (_dll) FreeLibrary(_dll);
    }

    void Pump() override {
        const auto now = std::chrono::steady_clock::now();
        for (DWORD i = 0; i < _slots.size(); ++i) {
            TSlot& s = _slots[i];
            if (s.port < 0 && now < s.nextTry) continue;
            XINPUT_STATE state{};
            if (_getState(i, &state) != ERROR_SUCCESS) {
                if (s.port >= 0) JoyPadDetach(s.port);
                s.port = -1;
                s.nextTry = now + std::chrono::seconds(1);
                continue;
            }
            const TXInputPad pad = FromXInput(state.Gamepad);
            if (s.port < 0) {
                s.port = JoyPadAttach(FromUtf8("XInput Controller"), 1);
                if (s.port < 0) {  // every port taken
                    s.nextTry = now + std::chrono::seconds(1);
                    continue;
                }
                ReportXInputPad(s.port, pad, pad, false);
            } else if (state.dwPacketNumber != s.packet) {
                ReportXInputPad(s.port, s.last, pad, true);
            }
            s.packet = state.dwPacketNumber;
            s.last = pad;
        }
    }

    // XInput's layout is the standard one already; it has no mapping database.
    int32_t AddMappings(std::string_view) override { return 0; }

private:
    struct TSlot {
        int32_t port = -1;
        DWORD packet = 0;
        TXInputPad last;
        std::chrono::steady_clock::time_point nextTry{};
    };
    HMODULE _dll = nullptr;
    TGetState _getState = nullptr;
    std::array<TSlot, 4> _slots{};  // XUSER_MAX_COUNT
};

}  // namespace

std::unique_ptr<TJoystickBackend> CreateJoystickBackend() {
    auto backend = std::make_unique<TXInputBackend>();
    if (!backend->Start()) return nullptr;
    return backend;
}

}  // namespace corvex
