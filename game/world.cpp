#include "game/world.h"

namespace corvex {

void CreateScenery(World& world) {
    // A hill with its apex at (400, 400) and its base on y = 500, below the water line.
    Polyseg::Create(world, 100.0f, 500.0f, 400.0f, 400.0f, 0.2f);
    Polyseg::Create(world, 700.0f, 500.0f, 400.0f, 400.0f, 0.0f);
    Polyseg::Create(world, 100.0f, 500.0f, 700.0f, 500.0f, 0.0f);
}

}  // namespace corvex
