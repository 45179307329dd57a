// Both scenes drawn with Allegro 5.2: held bitmap drawing for the sprites, the built-in font
// for the text, non-premultiplied alpha blending as the other programs use.
#include <allegro5/allegro.h>
#include <allegro5/allegro_font.h>

#include "draw2d/gl/bench/scene.h"

int main(int argc, char** argv) {
    bench::Options o;
    if (!bench::Parse(argc, argv, o)) return 2;
    if (!al_init() || !al_init_font_addon()) return 1;
    al_set_new_display_flags(ALLEGRO_OPENGL | ALLEGRO_WINDOWED);
    al_set_new_display_option(ALLEGRO_VSYNC, 2, ALLEGRO_SUGGEST);  // 2: off
    ALLEGRO_DISPLAY* display = al_create_display(bench::kWidth, bench::kHeight);
    if (!display) return 1;
    al_set_new_bitmap_flags(ALLEGRO_MIN_LINEAR | ALLEGRO_MAG_LINEAR | ALLEGRO_VIDEO_BITMAP);
    ALLEGRO_BITMAP* bitmap = al_create_bitmap(bench::kTexture, bench::kTexture);
    std::vector<uint8_t> rgba = bench::SpritePixels();
    ALLEGRO_LOCKED_REGION* region = al_lock_bitmap(bitmap, ALLEGRO_PIXEL_FORMAT_ABGR_8888_LE, ALLEGRO_LOCK_WRITEONLY);
    for (int y = 0; y < bench::kTexture; ++y)
        std::memcpy(static_cast<uint8_t*>(region->data) + y * region->pitch, &rgba[size_t(y) * bench::kTexture * 4],
                    size_t(bench::kTexture) * 4);
    al_unlock_bitmap(bitmap);
    ALLEGRO_FONT* font = al_create_builtin_font();
    al_set_blender(ALLEGRO_ADD, ALLEGRO_ALPHA, ALLEGRO_INVERSE_ALPHA);
    std::vector<bench::Sprite> sprites = bench::MakeSprites(o.count, o.size);
    std::vector<std::string> lines;
    for (int i = 0; i < o.count; ++i) lines.push_back(bench::TextLine(i));
    bench::FrameTimer timer;
    while (timer.Frames() < o.frames) {
        timer.Start();
        al_clear_to_color(al_map_rgb(0, 0, 0));
        if (o.text) {
            ALLEGRO_COLOR white = al_map_rgb(255, 255, 255);
            for (int i = 0; i < o.count; ++i) al_draw_text(font, white, 10, bench::TextY(i), 0, lines[size_t(i)].c_str());
        } else {
            al_hold_bitmap_drawing(true);
            for (const bench::Sprite& s : sprites)
                al_draw_tinted_scaled_rotated_bitmap(bitmap, al_map_rgba(s.r, s.g, s.b, s.a), 16, 16, s.x, s.y, s.scale,
                                                     s.scale, s.degrees * 0.017453292f, 0);
            al_hold_bitmap_drawing(false);
        }
        al_flip_display();
        timer.Stop();
    }
    timer.Report();
    al_destroy_font(font);
    al_destroy_bitmap(bitmap);
    al_destroy_display(display);
    return 0;
}
