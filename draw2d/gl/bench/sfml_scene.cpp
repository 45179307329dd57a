// The sprite scene drawn with SFML 2.5 sprites (smooth texture, alpha blending). SFML has no
// font of its own, so the text scene is not offered.
#include <SFML/Graphics.hpp>

#include "draw2d/gl/bench/scene.h"

int main(int argc, char** argv) {
    bench::Options o;
    if (!bench::Parse(argc, argv, o)) return 2;
    if (o.text) {
        std::puts("median_ms n/a");
        return 0;
    }
    sf::RenderWindow window(sf::VideoMode(bench::kWidth, bench::kHeight), "bench");
    window.setVerticalSyncEnabled(false);
    std::vector<uint8_t> rgba = bench::SpritePixels();
    sf::Image picture;
    picture.create(bench::kTexture, bench::kTexture, rgba.data());
    sf::Texture texture;
    texture.loadFromImage(picture);
    texture.setSmooth(true);
    sf::Sprite sprite(texture);
    sprite.setOrigin(16, 16);
    std::vector<bench::Sprite> sprites = bench::MakeSprites(o.count, o.size);
    bench::FrameTimer timer;
    while (timer.Frames() < o.frames) {
        timer.Start();
        sf::Event event;
        while (window.pollEvent(event)) {
        }
        window.clear(sf::Color::Black);
        for (const bench::Sprite& s : sprites) {
            sprite.setPosition(s.x, s.y);
            sprite.setRotation(s.degrees);
            sprite.setScale(s.scale, s.scale);
            sprite.setColor(sf::Color(s.r, s.g, s.b, s.a));
            window.draw(sprite);
        }
        window.display();
        timer.Stop();
    }
    timer.Report();
    return 0;
}
