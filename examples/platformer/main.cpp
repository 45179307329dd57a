// A small platformer: a level wider than the screen scrolled through a view that follows the
// hero, tiles and the hero cut from one atlas image by sub-images, a minimap drawn into a render
// image, and a fixed 60 Hz update however fast the frames come. The game is drawn at a virtual
// resolution of 400 x 240, scaled into the window whatever size it is resized to.
// Arrows or A/D run, Space, Up or W jumps (a game controller's left stick, d-pad and A button
// work too); collect the coins. Escape ends it.
#include <algorithm>
#include <cmath>
#include <string>

#include <corvex/corvex.h>

using namespace corvex;

namespace {

constexpr int kTile = 16;                     // atlas cells and level tiles are 16 x 16
constexpr int kViewW = 400, kViewH = 240;     // the game's own resolution
constexpr int kScale = 2;                     // window pixels per game pixel at the start
constexpr double kStep = 1.0 / 60.0;          // one update of the game

// '#' ground with grass on top, '=' ground below it, 'o' a coin, '@' where the hero starts.
const char* const kLevel[] = {
    "................................................................",
    "................................................................",
    "................................................................",
    "................................................................",
    "...........................o.o.o................................",
    "..........................#######.............o.o...............",
    "..................o............................###.........o....",
    ".................###.....................o.o..............###...",
    "..........o.o...................o.......#####...................",
    ".........#####.................###..............................",
    "...........................o..........................o.o.o.....",
    "......o...................###.......................#######.....",
    "..@..###.........o.o.o.....................o.o..................",
    "#########.....##########...######....###########....############",
    "=========.....==========...======....===========....============",
};
constexpr int kColumns = 64, kRows = 15;

// The atlas: five 16 x 16 cells side by side, painted here so the example needs no files.
// Cell 0 grass-topped ground, 1 ground, 2 coin, 3 and 4 the hero standing and mid-stride.
Ref<TImage> MakeAtlas() {
    Ref<TImage> atlas = CreateImage(5 * kTile, kTile, 1, 0);  // unfiltered: crisp when scaled up
    Ref<TPixmap> p = LockImage(atlas);
    auto put = [&](int cell, int x, int y, uint32_t argb) { p->WritePixel(cell * kTile + x, y, argb); };
    for (int y = 0; y < kTile; ++y)
        for (int x = 0; x < kTile; ++x) {
            bool speck = (x * 7 + y * 13) % 11 == 0;
            uint32_t earth = speck ? 0xFF6B4423 : 0xFF8B5A2B;
            put(0, x, y, y < 4 ? (y == 3 && x % 3 == 0 ? 0xFF2E8B2E : 0xFF3CB043) : earth);
            put(1, x, y, earth);
            float dx = float(x) - 7.5f, dy = float(y) - 7.5f;
            float r = std::sqrt(dx * dx + dy * dy);
            put(2, x, y, r < 4.5f ? 0xFFFFE14D : r < 6.0f ? 0xFFD4A017 : 0);
            for (int cell = 3; cell <= 4; ++cell) {
                uint32_t c = 0;
                if (y >= 1 && y < 6 && x >= 4 && x < 12) c = 0xFFF2C9A0;             // head
                if (y >= 3 && y < 4 && (x == 6 || x == 9)) c = 0xFF202020;           // eyes
                if (y >= 6 && y < 12 && x >= 3 && x < 13) c = 0xFFD83A3A;            // shirt
                bool stride = cell == 4;
                if (y >= 12 && ((x >= (stride ? 2 : 4) && x < (stride ? 6 : 7)) ||
                                (x >= (stride ? 10 : 9) && x < (stride ? 14 : 12))))
                    c = 0xFF2F4F9F;                                                  // legs
                put(cell, x, y, c);
            }
        }
    UnlockImage(atlas);
    return atlas;
}

struct Hero {
    float x = 0, y = 0, vx = 0, vy = 0;  // top-left corner in level pixels; pixels per step
    bool on_ground = false, facing_left = false;
    int stride_steps = 0;                // steps run since the last change of leg
};

bool Solid(int column, int row) {
    if (column < 0 || column >= kColumns) return true;  // the level's sides are walls
    if (row < 0 || row >= kRows) return false;          // open sky above, a drop below
    char t = kLevel[row][column];
    return t == '#' || t == '=';
}

// Moves the hero along one axis, stopping it flush against the first solid tile in the way.
void MoveAxis(Hero& h, float& position, float& speed, bool horizontal) {
    position += speed;
    const float size = kTile - 2;  // a little narrower than a tile, so gaps of one tile fit
    int c0 = int(std::floor(h.x / kTile)), c1 = int(std::floor((h.x + size - 0.01f) / kTile));
    int r0 = int(std::floor(h.y / kTile)), r1 = int(std::floor((h.y + size - 0.01f) / kTile));
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) {
            if (!Solid(c, r)) continue;
            if (horizontal) {
                position = speed > 0 ? float(c * kTile) - size : float((c + 1) * kTile);
            } else {
                if (speed > 0) h.on_ground = true;
                position = speed > 0 ? float(r * kTile) - size : float((r + 1) * kTile);
            }
            speed = 0;
            return;
        }
}

}  // namespace

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        StartCorvex();
        SetApplicationTitle("Corvex example: platformer");
        if (!OpenGraphics(kViewW * kScale, kViewH * kScale, 0, 60, GFX_RESIZABLE))
            throw TRuntimeException("Unable to open an 800 x 480 window");
        // From here on everything is drawn in 400 x 240 game pixels, scaled up to the window and
        // centred in it with black bars when its shape differs; a resize needs nothing more.
        SetVirtualResolution(kViewW, kViewH);

        // Every tile and the hero are rectangles of one image: one texture for the whole scene.
        Ref<TImage> atlas = MakeAtlas();
        Ref<TImage> grass = CreateSubImage(atlas, 0 * kTile, 0, kTile, kTile);
        Ref<TImage> earth = CreateSubImage(atlas, 1 * kTile, 0, kTile, kTile);
        Ref<TImage> coin = CreateSubImage(atlas, 2 * kTile, 0, kTile, kTile);
        Ref<TImage> hero_frames[2] = {CreateSubImage(atlas, 3 * kTile, 0, kTile, kTile),
                                      CreateSubImage(atlas, 4 * kTile, 0, kTile, kTile)};
        for (const Ref<TImage>& hero_image : hero_frames) MidHandleImage(hero_image);  // flipped about its middle

        // The minimap: two pixels a tile, redrawn into this image every frame (unfiltered, so its
        // pixels stay sharp when the game is scaled up).
        Ref<TImage> minimap = CreateRenderImage(kColumns * 2, kRows * 2, 0);

        Hero start, hero;
        bool coins[kRows][kColumns] = {};
        int coins_left = 0, coins_total = 0;
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kColumns; ++c) {
                if (kLevel[r][c] == '@') {
                    start.x = float(c * kTile);
                    start.y = float(r * kTile);
                }
                coins[r][c] = kLevel[r][c] == 'o';
                coins_left += coins[r][c];
            }
        coins_total = coins_left;
        hero = start;

        FlushKeys();  // a key pressed before the window opened does not jump
        double previous = CurrentSeconds(), lag = 0;
        while (!KeyHits(KEY_ESCAPE) && !TerminateRequested()) {
            // ---- Input, read once a frame: left/right held, jumps pressed since the last frame.
            float run = float(IsKeyDown(KEY_RIGHT) || IsKeyDown(KEY_D)) - float(IsKeyDown(KEY_LEFT) || IsKeyDown(KEY_A));
            int jumps = KeyHits(KEY_SPACE) + KeyHits(KEY_UP) + KeyHits(KEY_W);
            if (JoyConnected(0)) {
                float stick = JoyAxis(0, JOY_AXIS_LEFTX);
                int hat = JoyHat(0);
                if (hat & JOY_HAT_LEFT) stick = -1;
                if (hat & JOY_HAT_RIGHT) stick = 1;
                if (stick != 0) run = stick;
                jumps += JoyHits(0, JOY_BUTTON_A);
            }

            // ---- Fixed-step update: as many 1/60 s steps as the time since the last frame holds
            // (at most a quarter of a second's worth, so a stall does not fast-forward the game).
            double now = CurrentSeconds();
            lag += std::min(now - previous, 0.25);
            previous = now;
            while (lag >= kStep) {
                lag -= kStep;
                hero.vx = run * 2.0f;
                if (run != 0) hero.facing_left = run < 0;
                hero.stride_steps = run != 0 && hero.on_ground ? hero.stride_steps + 1 : 0;
                if (jumps > 0 && hero.on_ground) hero.vy = -6.2f;
                jumps = 0;  // a jump pressed in the air is dropped, not saved for the landing
                hero.vy = std::min(hero.vy + 0.3f, 8.0f);
                hero.on_ground = false;
                MoveAxis(hero, hero.x, hero.vx, true);
                MoveAxis(hero, hero.y, hero.vy, false);
                if (hero.y > kRows * kTile) hero = start;  // fell through a gap: back to the start
                int c = int((hero.x + 7) / kTile), r = int((hero.y + 7) / kTile);
                if (r >= 0 && r < kRows && c >= 0 && c < kColumns && coins[r][c]) {
                    coins[r][c] = false;
                    --coins_left;
                }
            }

            // ---- The camera: centred on the hero, held inside the level.
            float camera_x = std::clamp(hero.x + 7, kViewW / 2.0f, kColumns * kTile - kViewW / 2.0f);

            // ---- The minimap, drawn into its image with a drawing state of its own.
            SetRenderImage(minimap);
            SetClsColor(20, 24, 40);
            Cls();
            for (int r = 0; r < kRows; ++r)
                for (int c = 0; c < kColumns; ++c) {
                    if (Solid(c, r)) {
                        SetColor(139, 90, 43);
                    } else if (coins[r][c]) {
                        SetColor(255, 225, 77);
                    } else {
                        continue;
                    }
                    DrawRect(float(c * 2), float(r * 2), 2, 2);
                }
            SetColor(255, 255, 255);
            float left = (camera_x - kViewW / 2.0f) / kTile * 2;
            DrawLine(left, 0, left + kViewW / kTile * 2, 0);
            DrawLine(left, kRows * 2 - 1, left + kViewW / kTile * 2, kRows * 2 - 1);
            SetColor(216, 58, 58);
            DrawRect(std::floor(hero.x / kTile * 2) - 1, std::floor(hero.y / kTile * 2) - 1, 3, 3);
            SetRenderImage(nullptr);

            // ---- The level through the view: camera_x at the middle of the screen.
            SetClsColor(120, 180, 235);
            Cls();
            SetColor(255, 255, 255);
            SetView(camera_x, kViewH / 2.0f, 1, 0, kViewW / 2.0f, kViewH / 2.0f);
            int first = std::max(int(camera_x - kViewW / 2.0f) / kTile, 0);
            for (int r = 0; r < kRows; ++r)
                for (int c = first; c < std::min(first + kViewW / kTile + 1, kColumns); ++c) {
                    char t = kLevel[r][c];
                    if (t == '#' || t == '=') DrawImage(t == '#' ? grass : earth, float(c * kTile), float(r * kTile));
                    if (coins[r][c]) DrawImage(coin, float(c * kTile), float(r * kTile));
                }
            // The hero, mirrored by a negative scale when running left; legs change every 8 steps.
            SetScale(hero.facing_left ? -1.0f : 1.0f, 1.0f);
            DrawImage(hero_frames[hero.stride_steps / 8 % 2], hero.x + 7, hero.y + 6);  // feet on the box's floor
            SetScale(1, 1);

            // ---- The screen overlay, fixed on the screen: the minimap and the score.
            ResetView();
            SetColor(255, 255, 255);
            DrawImage(minimap, kViewW - kColumns * 2 - 6, 6);
            std::string score = "Coins " + std::to_string(coins_total - coins_left) + "/" + std::to_string(coins_total);
            DrawText(coins_left ? score : "Every coin found!", 6, 6);
            Flip(-1);
        }
    });
}
