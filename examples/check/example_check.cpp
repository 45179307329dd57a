// Runs an example program, drives it with XTEST input, checks pixels of its window and ends it
// with Escape, which must close it with exit code 0 within the time-out.
//
// Usage: example_check [--title TITLE] [--timeout SECONDS] PROGRAM STEP...
// Steps are listed in check_steps.h. A looking step is retried until it holds or the time-out
// passes, so no step depends on how fast the machine draws. Screenshots (shot=NAME.png) go to
// $CORVEX_EXAMPLE_SHOTS when it is set, else to the current directory; a failure leaves
// failure-<program>.png in the current directory. Exit code 0 when every step held, 1 otherwise,
// 2 on a usage error.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "examples/check/check_steps.h"
#include "game/e2e/sandbox_process.h"
#include "game/e2e/screenshot_file.h"
#include "game/e2e/x_session.h"

using examplecheck::Step;
using examplecheck::StepKind;

namespace {

using Clock = std::chrono::steady_clock;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Run {
public:
    Run(const std::string& program, const std::string& title, double timeout)
        : _program(program), _title(title), _timeout(timeout),
          _process(program, std::filesystem::path(program).parent_path().string()) {}

    void FindWindow() {
        auto deadline = Clock::now() + std::chrono::duration<double>(_timeout);
        while (!(_window = _x.FindViewableWindow(_title))) {
            CheckAlive();
            if (Clock::now() > deadline) throw Failure("no window titled \"" + _title + "\" appeared");
            Sleep(50);
        }
        _x.Focus(_window);
    }

    void Do(const Step& step) {
        e2e::Rect client = _x.ClientArea(_window);
        switch (step.kind) {
            case StepKind::Wait: Sleep(step.number); break;
            case StepKind::Key: _x.TapKey(step.name); break;
            case StepKind::Hold: _x.KeyDown(step.name); break;
            case StepKind::Release: _x.KeyUp(step.name); break;
            case StepKind::Type:
                for (char c : step.name) {
                    _x.TapKey(c == ' ' ? std::string("space") : std::string(1, c));
                    Sleep(20);
                }
                break;
            case StepKind::Move: _x.MovePointer(client.x + step.x, client.y + step.y); break;
            case StepKind::Down: _x.Button(step.number, true); break;
            case StepKind::Up: _x.Button(step.number, false); break;
            case StepKind::Mark:
                _marked = _x.Grab({client.x + step.x, client.y + step.y, step.width, step.height});
                _markedRect = {step.x, step.y, step.width, step.height};
                break;
            case StepKind::Shot: Save(ShotDir() / step.name); break;
            default: Look(step); break;
        }
        CheckAlive();
    }

    // Escape must end the program with exit code 0.
    void End() {
        _x.KeyDown("Escape");
        Sleep(200);
        _x.KeyUp("Escape");
        std::optional<int> code = _process.WaitExit(_timeout);
        if (!code) {
            char text[64];
            std::snprintf(text, sizeof text, "still running %g s after Escape", _timeout);
            throw Failure(text);
        }
        if (*code != 0) throw Failure("ended on Escape with exit code " + std::to_string(*code));
    }

    void SaveFailure() {
        if (!_window || !_process.Running()) return;
        std::string name = "failure-" + std::filesystem::path(_program).filename().string() + ".png";
        Save(name);
        std::fprintf(stderr, "example_check: the window as it was: %s\n", name.c_str());
    }

    std::string StandardError() const { return _process.StandardError(); }

private:
    static std::filesystem::path ShotDir() {
        const char* dir = std::getenv("CORVEX_EXAMPLE_SHOTS");
        return dir && *dir ? std::filesystem::path(dir) : std::filesystem::current_path();
    }

    void Save(const std::filesystem::path& path) {
        e2e::Screenshot shot = _x.Grab(_x.ClientArea(_window));
        if (!e2e::SaveScreenshot(shot, path.string())) throw Failure("cannot write " + path.string());
    }

    void Look(const Step& step) {
        auto deadline = Clock::now() + std::chrono::duration<double>(_timeout);
        std::string seen;
        while (true) {
            e2e::Rect client = _x.ClientArea(_window);
            e2e::Screenshot shot;
            if (step.kind == StepKind::Changed) {
                shot = _x.Grab({client.x + _markedRect.x, client.y + _markedRect.y, _markedRect.width,
                                _markedRect.height});
            } else {
                shot = _x.Grab(client);
            }
            if (examplecheck::StepHolds(step, shot, _marked, &seen)) return;
            CheckAlive();
            if (Clock::now() > deadline) throw Failure(step.word + " did not hold: " + seen);
            Sleep(30);
        }
    }

    void CheckAlive() {
        if (!_process.Running()) {
            std::optional<int> code = _process.WaitExit(0);
            throw Failure("the program ended early with exit code " + std::to_string(code.value_or(-1)));
        }
    }

    std::string _program, _title;
    double _timeout;
    e2e::SandboxProcess _process;
    e2e::XSession _x;
    unsigned long _window = 0;
    e2e::Screenshot _marked;
    e2e::Rect _markedRect;
};

int Usage() {
    std::fprintf(stderr, "usage: example_check [--title TITLE] [--timeout SECONDS] PROGRAM STEP...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string title = "Corvex Application";
    double timeout = 20;
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == '-' && argv[i][1] == '-'; i += 2) {
        std::string option = argv[i];
        if (option == "--title") {
            title = argv[i + 1];
        } else if (option == "--timeout") {
            timeout = std::atof(argv[i + 1]);
            if (!(timeout > 0)) return Usage();
        } else {
            return Usage();
        }
    }
    if (i >= argc) return Usage();
    const std::string program = std::filesystem::absolute(argv[i++]).string();  // it runs in its own folder
    std::vector<Step> steps;
    for (; i < argc; ++i) {
        std::string error;
        std::optional<Step> step = examplecheck::ParseStep(argv[i], &error);
        if (!step) {
            std::fprintf(stderr, "example_check: %s\n", error.c_str());
            return 2;
        }
        steps.push_back(*step);
    }

    std::optional<Run> run;
    try {
        run.emplace(program, title, timeout);
        run->FindWindow();
        for (const Step& step : steps) run->Do(step);
        run->End();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "example_check: %s: %s\n", program.c_str(), e.what());
        if (run) {
            run->SaveFailure();
            std::string errors = run->StandardError();
            if (!errors.empty()) std::fprintf(stderr, "its standard error:\n%s", errors.c_str());
        }
        return 1;
    }
    std::printf("example_check: %s: %zu steps held, ended on Escape with exit code 0\n", program.c_str(),
                steps.size());
    return 0;
}
