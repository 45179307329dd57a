// The Linux back end: SDL 2's game-controller subsystem, started for controllers only (no video,
// no signal handlers), its events drained by the joystick poller. SDL brings the mapping
// database of the common controller families and hot-plug through udev or inotify.
#include <SDL2/SDL.h>

#include <string>
#include <vector>

#include "joystick/joystick_module.h"

namespace corvex {
namespace {

TString NameOf(const char* text) { return text ? FromUtf8(text) : TString(); }

float AxisValue(Sint16 value) { return value < -32767 ? -1.0f : static_cast<float>(value) / 32767.0f; }

class TSdlJoystickBackend : public TJoystickBackend {
public:
    bool Start() {
        // Controllers are read whether or not an SDL window has the focus (we have none).
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) return false;
        _started = true;
        return true;
    }

    ~TSdlJoystickBackend() override {
        for (TOpen& open : _open) Close(open);
        if (_started) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    }

    void Pump() override {
        SDL_PumpEvents();
        SDL_Event events[64];
        for (int n; (n = SDL_PeepEvents(events, 64, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT)) > 0;)
            for (int i = 0; i < n; ++i) Handle(events[i]);
    }

    int32_t AddMappings(std::string_view text) override {
        int32_t added = 0;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            std::string line(text.substr(start, end - start));
            start = end + 1;
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
            if (line.empty() || line[0] == '#') continue;
            const int result = SDL_GameControllerAddMapping(line.c_str());
            if (result < 0) return -1;
            ++added;
        }
        return added;
    }

private:
    struct TOpen {
        SDL_JoystickID id = -1;
        SDL_GameController* controller = nullptr;  // mapped pads
        SDL_Joystick* joystick = nullptr;          // raw ones
        int32_t port = -1;
    };

    void Close(TOpen& open) {
        if (open.controller) SDL_GameControllerClose(open.controller);
        if (open.joystick) SDL_JoystickClose(open.joystick);
        open.controller = nullptr;
        open.joystick = nullptr;
    }

    TOpen* Find(SDL_JoystickID id) {
        for (TOpen& open : _open)
            if (open.id == id) return &open;
        return nullptr;
    }

    void Added(int deviceIndex) {
        TOpen open;
        if (SDL_IsGameController(deviceIndex)) {
            open.controller = SDL_GameControllerOpen(deviceIndex);
            if (!open.controller) return;
            open.id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(open.controller));
        } else {
            open.joystick = SDL_JoystickOpen(deviceIndex);
            if (!open.joystick) return;
            open.id = SDL_JoystickInstanceID(open.joystick);
        }
        if (Find(open.id)) {  // reported twice: keep the first
            Close(open);
            return;
        }
        const TString name = NameOf(open.controller ? SDL_GameControllerName(open.controller)
                                                      : SDL_JoystickName(open.joystick));
        open.port = JoyPadAttach(name, open.controller ? 1 : 0);
        if (open.port < 0) {  // every port taken
            Close(open);
            return;
        }
        Sync(open);
        _open.push_back(open);
    }

    // A pad that arrives with buttons held or sticks off centre starts from that state.
    void Sync(const TOpen& open) {
        if (open.controller) {
            for (int b = 0; b < SDL_CONTROLLER_BUTTON_MAX && b < JOY_BUTTONS; ++b)
                JoyPadButton(open.port, b,
                             SDL_GameControllerGetButton(open.controller, static_cast<SDL_GameControllerButton>(b)),
                             false);
            for (int a = 0; a < SDL_CONTROLLER_AXIS_MAX && a < JOY_AXES; ++a)
                JoyPadAxis(open.port, a,
                           AxisValue(SDL_GameControllerGetAxis(open.controller, static_cast<SDL_GameControllerAxis>(a))),
                           false);
        } else {
            const int buttons = SDL_JoystickNumButtons(open.joystick);
            for (int b = 0; b < buttons && b < JOY_BUTTONS; ++b)
                JoyPadButton(open.port, b, SDL_JoystickGetButton(open.joystick, b), false);
            const int axes = SDL_JoystickNumAxes(open.joystick);
            for (int a = 0; a < axes && a < JOY_AXES; ++a)
                JoyPadAxis(open.port, a, AxisValue(SDL_JoystickGetAxis(open.joystick, a)), false);
            if (SDL_JoystickNumHats(open.joystick) > 0) JoyPadHat(open.port, SDL_JoystickGetHat(open.joystick, 0), false);
        }
    }

    void Removed(SDL_JoystickID id) {
        for (size_t i = 0; i < _open.size(); ++i) {
            if (_open[i].id != id) continue;
            TOpen open = _open[i];
            _open.erase(_open.begin() + static_cast<std::ptrdiff_t>(i));
            Close(open);
            JoyPadDetach(open.port);
            return;
        }
    }

    // Events of mapped pads come from the controller layer, those of raw pads from the joystick
    // layer; SDL sends both for a mapped pad, so each layer answers only for its own kind.
    TOpen* Mapped(SDL_JoystickID id) {
        TOpen* open = Find(id);
        return open && open->controller ? open : nullptr;
    }
    TOpen* Raw(SDL_JoystickID id) {
        TOpen* open = Find(id);
        return open && open->joystick ? open : nullptr;
    }

    void Handle(const SDL_Event& e) {
        TOpen* open = nullptr;
        switch (e.type) {
            case SDL_JOYDEVICEADDED: Added(e.jdevice.which); break;
            case SDL_JOYDEVICEREMOVED: Removed(e.jdevice.which); break;
            case SDL_CONTROLLERBUTTONDOWN:
            case SDL_CONTROLLERBUTTONUP:
                if ((open = Mapped(e.cbutton.which)))
                    JoyPadButton(open->port, e.cbutton.button, e.type == SDL_CONTROLLERBUTTONDOWN);
                break;
            case SDL_CONTROLLERAXISMOTION:
                if ((open = Mapped(e.caxis.which))) JoyPadAxis(open->port, e.caxis.axis, AxisValue(e.caxis.value));
                break;
            case SDL_JOYBUTTONDOWN:
            case SDL_JOYBUTTONUP:
                if ((open = Raw(e.jbutton.which))) JoyPadButton(open->port, e.jbutton.button, e.type == SDL_JOYBUTTONDOWN);
                break;
            case SDL_JOYAXISMOTION:
                if ((open = Raw(e.jaxis.which))) JoyPadAxis(open->port, e.jaxis.axis, AxisValue(e.jaxis.value));
                break;
            case SDL_JOYHATMOTION:
                // SDL's hat bits are ours: up 1, right 2, down 4, left 8.
                if ((open = Raw(e.jhat.which)) && e.jhat.hat == 0) JoyPadHat(open->port, e.jhat.value);
                break;
            default: break;
        }
    }

    bool _started = false;
    std::vector<TOpen> _open;
};

}  // namespace

std::unique_ptr<TJoystickBackend> CreateJoystickBackend() {
    auto backend = std::make_unique<TSdlJoystickBackend>();
    if (!backend->Start()) return nullptr;
    return backend;
}

}  // namespace corvex
