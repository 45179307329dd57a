#include "tools/physbox-sim/pictures.h"

#include <corvex/draw2d/gl/gldriver.h>
#include <corvex/pixmap/png.h>

namespace corvex {
namespace {

int32_t g_framesDrawn = 0;

}  // namespace

int32_t RunPictures::SimulatedMillis() {
    return static_cast<int32_t>(static_cast<int64_t>(g_framesDrawn) * 1000 / static_cast<int64_t>(SANDBOX_FRAME_RATE));
}

bool RunPictures::Open(const TString& bodyImage, std::string& error, Ref<TGLContextDriver> driver) {
    StartSandboxModules();
    StartEGLGraphicsModule();
    if (!driver) {
        if (!EGLGraphicsAvailable()) {
            error = "cannot draw offscreen: " + ToUtf8(EGLGraphicsProblem());
            return false;
        }
        driver = EGLGraphicsDriver();
    }
    SetGLZeph2DContextDriver(driver);
    auto opened = std::dynamic_pointer_cast<TZeph2DGraphics>(
        OpenGraphics(SANDBOX_WIDTH, SANDBOX_HEIGHT, 0, SANDBOX_HERTZ, 0));
    if (!opened) {
        error = "cannot open 800 x 600 graphics";
        return false;
    }
    _graphics = std::dynamic_pointer_cast<TEGLGraphics>(opened->_graphics);
    g_framesDrawn = 0;
    _sandbox.Clock = SimulatedMillis;
    _sandbox.StartScene(bodyImage);
    _sandbox.Stats.LastTime = SimulatedMillis();
    return true;
}

void RunPictures::Frame() {
    _sandbox.DrawFrame();
    ++g_framesDrawn;  // the timer's wait ends the frame's time slot
    _sandbox.FinishFrame();
}

Ref<TPixmap> RunPictures::Presented() { return _graphics ? _graphics->ReadFront() : nullptr; }

bool RunPictures::Write(const std::string& path, std::string& error) {
    Ref<TPixmap> picture = Presented();
    if (!picture) {
        error = "no frame to write";
        return false;
    }
    if (!SavePngPixmap(picture->Convert(FORMAT_RGB888), FromUtf8(path), 6)) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

void RunPictures::Close() {
    _graphics = nullptr;
    CloseOpenedGraphics();
}

}  // namespace corvex
