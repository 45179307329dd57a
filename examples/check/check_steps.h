// The steps of an example check: what to do to a running example and what to look for on its
// window, parsed from command-line words such as "key=Right" or "pixel=100,95,DC503C".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "game/e2e/x_session.h"

namespace examplecheck {

enum class StepKind {
    Wait,     // wait=MS                     sleep
    Key,      // key=NAME                    press and release a key (X keysym names: Right, space, a)
    Hold,     // hold=NAME                   press a key and keep it down
    Release,  // release=NAME                let it go
    Type,     // type=TEXT                   tap one key per character (letters, digits, space)
    Move,     // move=X,Y                    pointer to a client-area position
    Down,     // down=B                      mouse button B (1 left, 2 middle, 3 right) down
    Up,       // up=B                        and up
    Pixel,    // pixel=X,Y,RRGGBB[,TOL]      that pixel has that colour, each channel within TOL
    Any,      // any=X,Y,W,H,RRGGBB[,TOL]    some pixel of the rectangle has that colour
    None,     // none=X,Y,W,H,RRGGBB[,TOL]   no pixel of the rectangle has it
    Mark,     // mark=X,Y,W,H                remember the rectangle's pixels
    Changed,  // changed                     the marked rectangle now looks different
    Text,     // text=X,Y,TEXT               text in the built-in font, drawn in a light colour,
              //                             reads TEXT from (X, Y) on, and nothing after it
    Number,   // number=X,Y,PREFIX,MIN,MAX   such text reads PREFIX and then a number MIN..MAX
    Shot,     // shot=NAME.png               save the client area as a PNG file
};

struct Step {
    StepKind kind = StepKind::Wait;
    std::string word;  // as given, for messages
    std::string name;  // key name, text to type or read, prefix, or file name
    int x = 0, y = 0, width = 1, height = 1;
    int number = 0;    // milliseconds, button, or the least number
    int most = 0;      // the greatest number
    uint32_t rgb = 0;  // 0xRRGGBB
    int tolerance = 8;
};

// Nothing (and a reason in error) when the word is not a step.
std::optional<Step> ParseStep(const std::string& word, std::string* error);

// True when a looking step (Pixel, Any, None, Changed, Text, Number) holds for shot, the client area.
// marked is the shot taken at the last Mark. seen tells what was found instead.
bool StepHolds(const Step& step, const e2e::Screenshot& shot, const e2e::Screenshot& marked, std::string* seen);

// True for the steps that look at the window instead of acting on it.
bool IsLookingStep(const Step& step);

}  // namespace examplecheck
