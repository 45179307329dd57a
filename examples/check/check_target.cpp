// A program for testing example_check itself: a 200 x 100 window cleared to green (0A C8 1E)
// that behaves as CHECK_TARGET_MODE says:
//   good    ends on Escape with exit code 0
//   fail    raises an exception on Escape (exit code 255)
//   ignore  takes no notice of Escape, and ends by itself after 30 seconds
//   early   ends with exit code 5 half a second after opening its window
#include <cstdlib>
#include <string>

#include <corvex/corvex.h>

using namespace corvex;

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        const char* env = std::getenv("CHECK_TARGET_MODE");
        const std::string mode = env ? env : "good";
        StartCorvex();
        SetApplicationTitle(u"check target");
        if (!OpenGraphics(200, 100, 0, 60, 0)) throw TRuntimeException("Unable to open a window");
        SetClsColor(10, 200, 30);
        const int32_t start = CurrentMillis();
        while (true) {
            const bool escape = KeyHits(KEY_ESCAPE) != 0;
            const int32_t elapsed = CurrentMillis() - start;
            if (escape && mode == "good") return;
            if (escape && mode == "fail") throw TRuntimeException("failing on Escape, as asked");
            if (mode == "ignore" && elapsed > 30000) return;
            if (mode == "early" && elapsed > 500) std::exit(5);
            Cls();
            Flip(-1);
        }
    });
}
