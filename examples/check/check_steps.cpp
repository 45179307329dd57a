#include "examples/check/check_steps.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "game/e2e/screen_reading.h"

namespace examplecheck {
namespace {

std::vector<std::string> SplitCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

bool ParseInt(const std::string& text, int* value) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseColor(const std::string& text, uint32_t* rgb) {
    if (text.size() != 6) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    *rgb = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 16));
    return true;
}

// Channel distance: the largest of the three channel differences.
int Distance(uint32_t a, uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        int d = std::abs(int((a >> shift) & 255) - int((b >> shift) & 255));
        if (d > worst) worst = d;
    }
    return worst;
}

std::string Hex(uint32_t rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "%06X", rgb & 0xFFFFFFu);
    return text;
}

// Strings are joined by appending: g++ 12 at -O3 misreads `"literal" + std::string` as an overlap.
std::string At(int x, int y) {
    std::string s = "(";
    s += std::to_string(x);
    s += ", ";
    s += std::to_string(y);
    s += ")";
    return s;
}

std::string Quoted(const std::string& text) {
    std::string s = "\"";
    s += text;
    s += "\"";
    return s;
}

}  // namespace

std::optional<Step> ParseStep(const std::string& word, std::string* error) {
    Step step;
    step.word = word;
    size_t equals = word.find('=');
    std::string verb = word.substr(0, equals), arg = equals == std::string::npos ? "" : word.substr(equals + 1);
    std::vector<std::string> parts = SplitCommas(arg);
    auto fail = [&](const std::string& why) {
        *error = "bad step \"" + word + "\": " + why;
        return std::nullopt;
    };
    auto numbers = [&](size_t first, size_t count, std::initializer_list<int*> out) {
        size_t i = first;
        for (int* value : out) {
            if (i >= first + count || !ParseInt(parts[i], value)) return false;
            ++i;
        }
        return true;
    };
    // Colour and optional tolerance at parts[index], parts[index + 1].
    auto colour = [&](size_t index) {
        if (parts.size() != index + 1 && parts.size() != index + 2) return false;
        if (!ParseColor(parts[index], &step.rgb)) return false;
        if (parts.size() == index + 2 && (!ParseInt(parts[index + 1], &step.tolerance) || step.tolerance < 0))
            return false;
        return true;
    };

    if (verb == "wait") {
        step.kind = StepKind::Wait;
        if (!ParseInt(arg, &step.number) || step.number < 0) return fail("expected milliseconds");
    } else if (verb == "key" || verb == "hold" || verb == "release") {
        step.kind = verb == "key" ? StepKind::Key : verb == "hold" ? StepKind::Hold : StepKind::Release;
        if (arg.empty()) return fail("expected a key name");
        step.name = arg;
    } else if (verb == "type") {
        step.kind = StepKind::Type;
        if (arg.empty()) return fail("expected text");
        for (char c : arg)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != ' ')
                return fail("only letters, digits and spaces can be typed");
        step.name = arg;
    } else if (verb == "move") {
        step.kind = StepKind::Move;
        if (parts.size() != 2 || !numbers(0, 2, {&step.x, &step.y})) return fail("expected X,Y");
    } else if (verb == "down" || verb == "up") {
        step.kind = verb == "down" ? StepKind::Down : StepKind::Up;
        if (!ParseInt(arg, &step.number) || step.number < 1 || step.number > 5) return fail("expected a button 1..5");
    } else if (verb == "pixel") {
        step.kind = StepKind::Pixel;
        if (parts.size() < 3 || !numbers(0, 2, {&step.x, &step.y}) || !colour(2))
            return fail("expected X,Y,RRGGBB[,TOLERANCE]");
    } else if (verb == "any" || verb == "none") {
        step.kind = verb == "any" ? StepKind::Any : StepKind::None;
        if (parts.size() < 5 || !numbers(0, 4, {&step.x, &step.y, &step.width, &step.height}) || !colour(4))
            return fail("expected X,Y,W,H,RRGGBB[,TOLERANCE]");
    } else if (verb == "mark") {
        step.kind = StepKind::Mark;
        if (parts.size() != 4 || !numbers(0, 4, {&step.x, &step.y, &step.width, &step.height}))
            return fail("expected X,Y,W,H");
    } else if (verb == "changed") {
        step.kind = StepKind::Changed;
        if (equals != std::string::npos) return fail("takes no argument");
    } else if (verb == "text") {
        step.kind = StepKind::Text;
        size_t second = arg.find(',', arg.find(',') + 1);
        if (parts.size() < 3 || !numbers(0, 2, {&step.x, &step.y}) || second + 1 >= arg.size())
            return fail("expected X,Y,TEXT");
        step.name = arg.substr(second + 1);
        step.width = 8 * int(step.name.size());
        step.height = 16;
    } else if (verb == "number") {
        step.kind = StepKind::Number;
        size_t second = arg.find(',', arg.find(',') + 1), last = arg.rfind(','), before = arg.rfind(',', last - 1);
        if (parts.size() < 5 || !numbers(0, 2, {&step.x, &step.y}) || !ParseInt(parts[parts.size() - 2], &step.number) ||
            !ParseInt(parts.back(), &step.most) || before <= second || step.number > step.most)
            return fail("expected X,Y,PREFIX,MIN,MAX");
        step.name = arg.substr(second + 1, before - second - 1);
        step.width = 8 * int(step.name.size());  // the digits may run to the window edge
        step.height = 16;
    } else if (verb == "shot") {
        step.kind = StepKind::Shot;
        if (arg.size() < 5 || arg.substr(arg.size() - 4) != ".png" || arg.find('/') != std::string::npos)
            return fail("expected a file name ending in .png");
        step.name = arg;
    } else {
        return fail("unknown step");
    }
    if (step.x < 0 || step.y < 0 || step.width < 1 || step.height < 1) return fail("empty or negative rectangle");
    return step;
}

bool IsLookingStep(const Step& step) {
    return step.kind == StepKind::Pixel || step.kind == StepKind::Any || step.kind == StepKind::None ||
           step.kind == StepKind::Changed || step.kind == StepKind::Text || step.kind == StepKind::Number;
}

bool StepHolds(const Step& step, const e2e::Screenshot& shot, const e2e::Screenshot& marked, std::string* seen) {
    if (step.kind == StepKind::Changed) {
        if (marked.width == 0) {
            *seen = "nothing was marked";
            return false;
        }
        if (shot.width != marked.width || shot.height != marked.height) return true;
        for (size_t i = 0; i < shot.rgb.size(); ++i)
            if (Distance(shot.rgb[i], marked.rgb[i]) > step.tolerance) return true;
        *seen = "the same pixels as when marked";
        return false;
    }
    const int right = step.x + step.width, bottom = step.y + step.height;
    if (!shot.Contains(step.x, step.y) || !shot.Contains(right - 1, bottom - 1)) {
        *seen = "a window of " + std::to_string(shot.width) + " x " + std::to_string(shot.height) + " pixels";
        return false;
    }
    if (step.kind == StepKind::Text || step.kind == StepKind::Number) {
        if (step.kind == StepKind::Text) {
            // One cell more: the text has to end where TEXT does.
            std::string text = e2e::ReadText(shot, step.x, step.y, int(step.name.size()) + 1);
            if (text == step.name) return true;
            *seen = Quoted(text);
            return false;
        }
        std::optional<int> value = e2e::ReadNumber(shot, step.x, step.y, step.name);
        if (value && *value >= step.number && *value <= step.most) return true;
        *seen = Quoted(e2e::ReadText(shot, step.x, step.y, int(step.name.size()) + 8));
        return false;
    }
    int nearest = 256, nearestX = 0, nearestY = 0;
    for (int y = step.y; y < bottom; ++y)
        for (int x = step.x; x < right; ++x) {
            int d = Distance(shot.At(x, y), step.rgb);
            if (d > step.tolerance) {
                if (d < nearest) nearest = d, nearestX = x, nearestY = y;
                continue;
            }
            if (step.kind != StepKind::None) return true;
            *seen = Hex(shot.At(x, y)) + " at " + At(x, y);
            return false;
        }
    if (step.kind == StepKind::None) return true;
    *seen = "nearest " + Hex(shot.At(nearestX, nearestY)) + " at " + At(nearestX, nearestY);
    return false;
}

}  // namespace examplecheck
