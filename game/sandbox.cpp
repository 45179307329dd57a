#include "game/sandbox.h"

#include <cstdio>
#include <string>

#include <corvex/draw2d/blend.h>
#include <corvex/draw2d/gl/gldriver.h>
#include <corvex/draw2d/imagefont.h>
#include <corvex/draw2d/zeph2d.h>
#include "game/polyseg.h"
#include <corvex/graphics/graphics.h>
#include <corvex/pixmap/loader.h>
#include <corvex/runtime/exception.h>
#include <corvex/runtime/module.h>
#include <corvex/runtime/object.h>
#include <corvex/system/clock.h>
#include <corvex/system/keys.h>
#include <corvex/system/entry.h>
#include <corvex/system/input.h>
#include <corvex/system/random.h>

namespace corvex {
namespace {


}  // namespace

Ref<PhysicsImage> AttachBodyImage(PhysicsImageList& images, Constraint& diagonal, const Ref<TImage>& picture) {
    Ref<PhysicsImage> image =
        PhysicsImage::Create(images, diagonal, picture, 255, 255, 255, 1.0f, 1.0f, 1.0f, BLEND_ALPHA, 1);
    image->sclx = BODY_IMAGE_SCALE;
    image->scly = BODY_IMAGE_SCALE;
    return image;
}

void StartSandboxModules() {
    StartRuntimeModule();
    StartPixmapModule();   // streams, then the BMP, JPEG, PNG and TGA loaders
    StartGLZeph2DModule(); // graphics, the drawing layer, the built-in font and the OpenGL back end
    StartPolledInputModule();
    StartTimerModule();
}

void Sandbox::StartUp() {
    for (const char* type : {"Constraint", "Verlet", "PhysicsImage", "Polyseg"}) RegisterType(type);
    SeedRandom(CurrentMillis());
    if (!OpenGraphics(SANDBOX_WIDTH, SANDBOX_HEIGHT, 0, SANDBOX_HERTZ, 0)) {
        // Nothing can be drawn without the window; say so rather than fail on the first drawing call.
        throw TRuntimeException(u"physbox: unable to open an 800 x 600 window");
    }
    StartScene();
    FrameTimer = TTimer::Create(SANDBOX_FRAME_RATE);
    Stats.LastTime = Clock();
}

void Sandbox::StartScene(const TString& bodyImage) {
    SetAutoMidHandle(1);
    CreateScenery(world);
    PhysImage = LoadImage(bodyImage, -1);
    if (!PhysImage) {
        std::string dir = ToUtf8(ApplicationDir()), file = ToUtf8(bodyImage);
        if (!dir.empty() && dir.back() != '/') dir += '/';
        if (!file.empty() && file[0] == '/') dir.clear();
        std::fprintf(stderr, "physbox: cannot read the body picture %s%s; bodies are drawn as plain squares\n",
                     dir.c_str(), file.c_str());
        std::fflush(stderr);
    }
    world.BoxCounter = 2;
}

bool Sandbox::Frame() {
    if (IsKeyDown(KEY_ESCAPE)) return false;
    DrawFrame();
    WaitTimer(FrameTimer);
    FinishFrame();
    return true;
}

void Sandbox::DrawFrame() {
    Cls();
    // Spawn, water, point pass, drag, reset of the pick, constraints, point pass, constraints.
    SimulateFrame(world, this);
    DrawPhysicsImages(PhysicsImages, world);
    DrawPolysegs();
    DrawCounts();
    DrawMouseLine();
    if (KeyHits(KEY_A)) Stats.ResetExtremes();
}

void Sandbox::FinishFrame() {
    DrawFrameStatistics();
    DrawBoxCounter();
    Flip(0);
}

void Sandbox::Run() {
    while (Frame()) {
    }
    // The running timer holds itself; stopping it lets it go with the sandbox.
    StopTimer(FrameTimer);
}

void Sandbox::BodyDiagonal(World&, Constraint& diagonal) { AttachBodyImage(PhysicsImages, diagonal, PhysImage); }

void Sandbox::AfterSpawn(World&) { DrawWater(); }

void Sandbox::BeforePointPass(World&) {
    SetScale(1, 1);
    SetRotation(0);
    SetAlpha(1.0f);
    SetBlend(BLEND_ALPHA);
    SetColor(255, 255, 255);
}

void Sandbox::DrawWater() {
    SetAlpha(0.5f);
    SetColor(0, 0, 255);
    DrawRect(0, static_cast<float>(world.WaterLevel), 800, 480);
    SetColor(255, 255, 255);
    SetAlpha(1.0f);
}

void Sandbox::DrawPolysegs() {
    SetAlpha(1.0f);
    SetColor(255, 255, 255);
    SetBlend(BLEND_ALPHA);
    SetScale(1, 1);
    SetRotation(0);
    const float ox = static_cast<float>(world.DrawOffsetX), oy = static_cast<float>(world.DrawOffsetY);
    for (int32_t i = 0; i < world.PolysegCount(); ++i) {
        const Polyseg& s = world.Polysegs[i];
        DrawLine(s.X1 + ox, s.Y1 + oy, s.X2 + ox, s.Y2 + oy, 1);
    }
}

void Sandbox::DrawCounts() {
    DrawText(DecimalString(world.VerletCount()), 1, 60);
    DrawText(DecimalString(world.ConstraintCount()), 1, 80);
}

void Sandbox::DrawMouseLine() {
    const float mx = static_cast<float>(MousePosX()), my = static_cast<float>(MousePosY());
    // Before any point has been picked the line ends at the window's corner.
    const Verlet* s = world.Selected;
    DrawLine(mx, my, s ? s->X : 0.0f, s ? s->Y : 0.0f, 1);
}

void Sandbox::DrawFrameStatistics() {
    if (auto lines = Stats.Measure(Clock())) {
        DrawText(lines->fps, 1, 1);
        DrawText(lines->low, 1, 20);
        DrawText(lines->high, 1, 40);
        Stats.LastTime = Clock();
    }
}

void Sandbox::DrawBoxCounter() { DrawText(u"Box Counter! " + DecimalString(world.BoxCounter - 2), 300, 1); }

int RunGame() {
    static bool done = false;
    if (done) return 0;
    done = true;
    StartSandboxModules();
    Sandbox sandbox;
    sandbox.StartUp();
    sandbox.Run();
    return 0;
}

}  // namespace corvex
