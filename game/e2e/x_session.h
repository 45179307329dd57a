// A second X client that watches and drives the sandbox's window: it finds the window by its
// title, reads its geometry and pixels, and sends keyboard and pointer input through XTEST.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct _XDisplay;

namespace e2e {

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Pixels of a screen rectangle as 0xRRGGBB, row by row.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;

    uint32_t At(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

class XSession {
public:
    XSession();  // connects to $DISPLAY; throws std::runtime_error when it cannot
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // ---- Windows
    unsigned long FindViewableWindow(const std::string& title) const;  // 0 when none
    std::string WindowTitle(unsigned long window) const;               // _NET_WM_NAME, else WM_NAME
    Rect ClientArea(unsigned long window) const;                       // in root coordinates
    void Focus(unsigned long window) const;                            // keyboard focus to it
    void RequestClose(unsigned long window) const;                     // WM_DELETE_WINDOW message

    // ---- Pixels
    Screenshot Grab(const Rect& area) const;  // from the root window, so what a person sees

    // ---- Input through XTEST (key names as for XStringToKeysym: "space", "Escape", "a")
    void KeyDown(const std::string& key) const;
    void KeyUp(const std::string& key) const;
    void TapKey(const std::string& key) const;           // down then up
    void MovePointer(int rootX, int rootY) const;
    void Button(int button, bool down) const;            // 1 left, 2 middle, 3 right

private:
    unsigned KeyCodeOf(const std::string& key) const;
    _XDisplay* _display = nullptr;
};

}  // namespace e2e
