// Sound: Space plays a chime, and a looping hum follows the mouse from the left speaker to the
// right one (its pitch rises towards the top of the window). Both sounds are made in code as
// samples, so the example needs no files. Escape quits.
//
// Without a working audio device the silent driver takes over and the program runs the same.
#include <algorithm>
#include <cmath>
#include <string>

#include <corvex/corvex.h>

using namespace corvex;

namespace {

constexpr float kTwoPi = 6.2831853f;

// A bell-like chime: two partials with a fast attack and an exponential decay.
Ref<TSample> MakeChime() {
    const int rate = 44100, frames = rate * 6 / 10;
    Ref<TSample> sample = TSample::Create(frames, SF_MONO16, rate);
    for (int i = 0; i < frames; ++i) {
        const float t = float(i) / rate;
        const float envelope = std::min(1.0f, t * 200) * std::exp(-t * 6);
        sample->Write(i, 0, 0.4f * envelope * (std::sin(kTwoPi * 880 * t) + 0.5f * std::sin(kTwoPi * 1320 * t)));
    }
    return sample;
}

// One second of a soft chord that loops without a click: every partial completes a whole
// number of cycles in the second.
Ref<TSample> MakeHum() {
    const int rate = 22050;
    Ref<TSample> sample = TSample::Create(rate, SF_MONO16, rate);
    for (int i = 0; i < rate; ++i) {
        const float t = float(i) / rate;
        sample->Write(i, 0, 0.15f * (std::sin(kTwoPi * 110 * t) + std::sin(kTwoPi * 165 * t) + 0.5f * std::sin(kTwoPi * 220 * t)));
    }
    return sample;
}

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        StartCorvex();
        if (!OpenGraphics(640, 480, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");

        Ref<TSound> chime = CreateSound(MakeChime(), 0);
        Ref<TSound> hum = CreateSound(MakeHum(), SOUND_LOOP);
        Ref<TChannel> humChannel = CueSound(hum);  // set up paused, started once pan and rate are set
        const std::string driver = ToUtf8(AudioDriver()->Name());

        while (!IsKeyDown(KEY_ESCAPE) && !TerminateRequested()) {
            const float x = float(MousePosX()) / 640, y = float(MousePosY()) / 480;
            SetChannelPan(humChannel, std::clamp(x * 2 - 1, -1.0f, 1.0f));
            SetChannelRate(humChannel, 1.0f + 0.5f * std::clamp(1 - y, 0.0f, 1.0f));
            ResumeChannel(humChannel);
            if (KeyHits(KEY_SPACE)) PlaySound(chime);  // a new channel each time: chimes overlap

            SetClsColor(20, 24, 36);
            Cls();
            SetColor(90, 160, 255);
            DrawOval(float(MousePosX()) - 12, float(MousePosY()) - 12, 24, 24);
            SetColor(255, 255, 255);
            DrawText("Space: chime.  Move the mouse: the hum follows it.", 40, 30);
            DrawText("Audio driver: " + driver, 40, 60);
            DrawText("Escape quits", 40, 440);
            Flip(-1);
        }
    });
}
