// The sandbox's top level: start-up in a fixed order, then the frame loop, which runs the
// simulation steps of game/frame.h and draws the water, the body images, the scenery and the
// statistics overlay around them, paced by a 30 Hz timer.
#pragma once

#include <cstdint>

#include <corvex/draw2d/image.h>
#include "game/frame.h"
#include "game/frame_statistics.h"
#include "game/physics_image.h"
#include "game/world.h"
#include <corvex/system/clock.h>
#include <corvex/system/timer.h>

namespace corvex {

// Settings of the top level.
constexpr int32_t SANDBOX_WIDTH = 800;
constexpr int32_t SANDBOX_HEIGHT = 600;
constexpr int32_t SANDBOX_HERTZ = 60;      // asked of the display; the frame pace is the timer's
constexpr float SANDBOX_FRAME_RATE = 30.0f;
constexpr float BODY_IMAGE_SCALE = 0.75f;
constexpr const char* BODY_IMAGE_FILE = "physimg.png";

class Sandbox : public FrameHooks {
public:
    World world;                   // points, constraints, segments, settings, mouse pick
    PhysicsImageList PhysicsImages;
    Ref<TImage> PhysImage;         // shared by every body; Null when the file could not be read
    Ref<TTimer> FrameTimer;
    FrameStatistics Stats;
    // The clock the statistics overlay reads: the system's, or simulated time in a scripted run.
    int32_t (*Clock)() = CurrentMillis;

    // Everything after module start-up: types, random seed, the window, the scene (StartScene),
    // the timer and the first time stamp.
    void StartUp();
    // The scene in the graphics open now: auto mid handles, the scenery, the body picture read
    // from bodyImage (plain squares, with a warning, when it cannot be read), the box counter.
    void StartScene(const TString& bodyImage = FromUtf8(BODY_IMAGE_FILE));
    // One frame, unless Escape is held: then nothing is done and the answer is false.
    bool Frame();
    // The frame's two halves around the wait for the timer: clear, simulate, draw the world, the
    // counts and the mouse line (and reset the extremes on A); then the statistics, the box
    // counter and the flip.
    void DrawFrame();
    void FinishFrame();
    // Frames until Escape is held.
    void Run();

    // Frame hooks: the body's image on its diagonal, the water after the spawn, and the drawing
    // state every point pass starts from.
    void BodyDiagonal(World& world, Constraint& diagonal) override;
    void AfterSpawn(World& world) override;
    void BeforePointPass(World& world) override;

private:
    void DrawWater();
    void DrawPolysegs();
    void DrawCounts();
    void DrawMouseLine();
    void DrawFrameStatistics();
    void DrawBoxCounter();
};

// Makes the image of a new body: PhysImage on its diagonal at 0.75 scale, white, opaque, alpha
// blended, upright at creation.
Ref<PhysicsImage> AttachBodyImage(PhysicsImageList& images, Constraint& diagonal, const Ref<TImage>& picture);

// Starts the modules the sandbox draws, reads input, loads pictures and keeps time with.
void StartSandboxModules();

// The whole game: module start-up, StartUp, Run. Returns 0; a second call returns 0 at once.
int RunGame();

}  // namespace corvex
