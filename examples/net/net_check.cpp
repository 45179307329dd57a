// The net example's check: a hosting copy and a joining copy under one X display, side by side.
// The pointer moved in one window must show, in that player's colour, at the same place in the
// other; each lists the other as a peer; Escape ends both with exit code 0.
//
// Usage: net_check PROGRAM [--timeout SECONDS]
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "game/e2e/x_session.h"

namespace {

using Clock = std::chrono::steady_clock;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// A child process with arguments, killed if still running at the end.
class Child {
public:
    explicit Child(std::vector<std::string> args) {
        _pid = fork();
        if (_pid == 0) {
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            if (chdir(std::filesystem::path(args[0]).parent_path().c_str()) != 0) _exit(126);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Child() {
        if (_pid > 0 && !_code) {
            kill(_pid, SIGKILL);
            waitpid(_pid, nullptr, 0);
        }
    }
    bool Running() {
        if (_code) return false;
        int status = 0;
        if (waitpid(_pid, &status, WNOHANG) == _pid) _code = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        return !_code;
    }
    int WaitExit(double seconds) {
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (Running() && Clock::now() < end) Sleep(20);
        return _code ? *_code : -1;
    }

private:
    pid_t _pid = -1;
    std::optional<int> _code;
};

// A UDP port that was free a moment ago.
int FreeUdpPort() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

void Until(const std::function<bool()>& done, double seconds, const std::string& what) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (Clock::now() > end) throw std::runtime_error(what);
        Sleep(30);
    }
}

// Some pixel within 2 of (x, y) in the client area has the colour, each channel within 24.
bool ColourNear(const e2e::XSession& x, unsigned long window, int px, int py, uint32_t rgb) {
    const e2e::Rect c = x.ClientArea(window);
    const e2e::Screenshot shot = x.Grab({c.x + px - 2, c.y + py - 2, 5, 5});
    for (uint32_t v : shot.rgb) {
        bool close = true;
        for (int s = 0; s < 24; s += 8) close = close && std::abs(int(v >> s & 255) - int(rgb >> s & 255)) <= 24;
        if (close) return true;
    }
    return false;
}

bool AnyColour(const e2e::XSession& x, unsigned long window, e2e::Rect r, uint32_t rgb) {
    const e2e::Rect c = x.ClientArea(window);
    for (uint32_t v : x.Grab({c.x + r.x, c.y + r.y, r.width, r.height}).rgb)
        if (v == rgb) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: net_check PROGRAM [--timeout SECONDS]\n");
        return 2;
    }
    const std::string program = std::filesystem::absolute(argv[1]).string();
    const double timeout = argc >= 4 ? std::atof(argv[3]) : 60;
    const uint32_t hostColour = 0xFF5050, joinerColour = 0x50C8FF;  // players 0 and 1
    try {
        e2e::XSession x;
        const std::string port = std::to_string(FreeUdpPort());
        Child host({program, "--port", port});
        unsigned long hostWindow = 0, joinWindow = 0;
        Until([&] { return (hostWindow = x.FindViewableWindow("Corvex example: net host")) || !host.Running(); },
              timeout, "no host window appeared");
        if (!host.Running()) throw std::runtime_error("the host ended early");
        Child joiner({program, "--join", "127.0.0.1:" + port});
        Until([&] { return (joinWindow = x.FindViewableWindow("Corvex example: net join")) || !joiner.Running(); },
              timeout, "no joining window appeared");
        if (!joiner.Running()) throw std::runtime_error("the joining copy ended early");

        // Side by side: the joiner's window moves right of the host's.
        Display* d = XOpenDisplay(nullptr);
        XMoveWindow(d, joinWindow, 500, 32);
        XSync(d, False);
        XCloseDisplay(d);
        Until([&] { return x.ClientArea(joinWindow).x >= 500; }, timeout, "the joining window did not move");

        // Each lists the other in the other's colour (the peer line's text).
        Until([&] { return AnyColour(x, hostWindow, {8, 28, 200, 16}, joinerColour); }, timeout,
              "the host does not list the joiner");
        Until([&] { return AnyColour(x, joinWindow, {8, 28, 200, 16}, hostColour); }, timeout,
              "the joiner does not list the host");

        const e2e::Rect h = x.ClientArea(hostWindow), j = x.ClientArea(joinWindow);
        x.MovePointer(h.x + 120, h.y + 150);
        Until([&] { return ColourNear(x, joinWindow, 120, 150, hostColour); }, timeout,
              "the host's pointer does not show in the joining window");
        x.MovePointer(j.x + 260, j.y + 200);
        Until([&] { return ColourNear(x, hostWindow, 260, 200, joinerColour); }, timeout,
              "the joiner's pointer does not show in the host's window");
        // And it follows: moved again, it shows at the new place.
        x.MovePointer(j.x + 300, j.y + 100);
        Until([&] { return ColourNear(x, hostWindow, 300, 100, joinerColour); }, timeout,
              "the joiner's pointer does not follow in the host's window");

        for (unsigned long w : {joinWindow, hostWindow}) {
            x.Focus(w);
            x.KeyDown("Escape");
            Sleep(200);
            x.KeyUp("Escape");
            Sleep(100);
        }
        const int joinCode = joiner.WaitExit(timeout), hostCode = host.WaitExit(timeout);
        if (joinCode != 0 || hostCode != 0)
            throw std::runtime_error("exit codes on Escape: joiner " + std::to_string(joinCode) + ", host " +
                                     std::to_string(hostCode));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "net_check: %s\n", e.what());
        return 1;
    }
    std::printf("net_check: each pointer seen in the other window; both ended on Escape with exit code 0\n");
    return 0;
}
