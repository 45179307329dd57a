#include "tools/physbox-sim/options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace corvex {

const char* const SIM_USAGE =
    "usage: physbox-sim [--seed N] [--frames F] [--spawn-at LIST] [--spawn-every K] [--mouse X,Y]\n"
    "                   [--drag FROM-TO] [--dump FILE] [--dump-final FILE]\n"
    "                   [--picture FILE.png] [--pictures DIR [--every K]] [--body-image FILE]\n"
    "Defaults: seed 1, 600 frames, no spawns, the pointer at (0, 0).\n"
    "--picture writes the last frame and --pictures every K-th frame (default 1) as DIR/frame_NNNNNN.png,\n"
    "drawn offscreen exactly as the game draws it; no display is needed. Bodies carry the picture\n"
    "--body-image (default: physimg.png beside physbox-sim).\n";

namespace {

// A whole decimal int32 (optional sign), nothing else.
bool ParseInt(const std::string& text, int32_t& out) {
    if (text.empty() || text.size() > 12) {
        return false;
    }
    size_t start = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (start == text.size() ||
        !std::all_of(text.begin() + static_cast<std::ptrdiff_t>(start), text.end(),
                     [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    errno = 0;
    long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0 || v < INT32_MIN || v > INT32_MAX) {
        return false;
    }
    out = static_cast<int32_t>(v);
    return true;
}

// Two ints separated by sep (the first occurrence after the first character, so "-3,-4" works).
bool ParsePair(const std::string& text, char sep, int32_t& a, int32_t& b) {
    size_t at = text.find(sep, 1);
    return at != std::string::npos && ParseInt(text.substr(0, at), a) && ParseInt(text.substr(at + 1), b);
}

}  // namespace

bool SimOptions::SpawnBefore(int32_t frame) const {
    if (spawnEvery > 0 && frame % spawnEvery == 0) {
        return true;
    }
    return std::find(spawnAt.begin(), spawnAt.end(), frame) != spawnAt.end();
}

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& out, std::string& error) {
    SimOptions o;
    bool sawEvery = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            error = "";
            return false;
        }
        if (i + 1 >= args.size()) {
            error = "missing value after " + name;
            return false;
        }
        const std::string& value = args[++i];
        bool ok = true;
        if (name == "--seed") {
            ok = ParseInt(value, o.seed);
        } else if (name == "--frames") {
            ok = ParseInt(value, o.frames) && o.frames >= 0;
        } else if (name == "--spawn-at") {
            o.spawnAt.clear();
            size_t from = 0;
            while (ok) {
                size_t comma = value.find(',', from);
                int32_t frame = 0;
                ok = ParseInt(value.substr(from, comma == std::string::npos ? std::string::npos : comma - from),
                              frame) && frame >= 1;
                o.spawnAt.push_back(frame);
                if (comma == std::string::npos) {
                    break;
                }
                from = comma + 1;
            }
        } else if (name == "--spawn-every") {
            ok = ParseInt(value, o.spawnEvery) && o.spawnEvery >= 1;
        } else if (name == "--mouse") {
            ok = ParsePair(value, ',', o.mouseX, o.mouseY);
            o.hasMouse = true;
        } else if (name == "--drag") {
            ok = ParsePair(value, '-', o.dragFrom, o.dragTo) && o.dragFrom >= 1 && o.dragTo >= o.dragFrom;
            o.hasDrag = true;
        } else if (name == "--dump") {
            ok = !value.empty();
            o.dump = value;
        } else if (name == "--dump-final") {
            ok = !value.empty();
            o.dumpFinal = value;
        } else if (name == "--picture") {
            ok = !value.empty();
            o.picture = value;
        } else if (name == "--pictures") {
            ok = !value.empty();
            o.pictures = value;
        } else if (name == "--every") {
            ok = ParseInt(value, o.every) && o.every >= 1;
            sawEvery = true;
        } else if (name == "--body-image") {
            ok = !value.empty();
            o.bodyImage = value;
        } else {
            error = "unknown option " + name;
            return false;
        }
        if (!ok) {
            error = "bad value for " + name + ": \"" + value + "\"";
            return false;
        }
    }
    if (sawEvery && o.pictures.empty()) {
        error = "--every needs --pictures";
        return false;
    }
    if (o.WantsPictures() && o.frames < 1) {
        error = "pictures need at least one frame";
        return false;
    }
    out = o;
    return true;
}

}  // namespace corvex
