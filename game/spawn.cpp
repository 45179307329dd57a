#include "game/spawn.h"

#include <corvex/system/random.h>

namespace corvex {

SpawnedBody SpawnBox(World& world, float x, float y, float size, float mass, int32_t id,
                     const DiagonalHook& onDiagonal) {
    size = BODY_SIZE;
    RandomRange(1.0, 10.0);  // drawn and discarded: it only advances the generator

    SpawnedBody body;
    auto corner = [&](float px, float py) {
        return &Verlet::Create(world, px, py, BODY_SIZE, mass, id, 1, 0.0f, 0.0f, 0.4f);
    };
    Verlet* p1 = body.points[0] = corner(x, y);
    Verlet* p2 = body.points[1] = corner(x + size, y);
    Verlet* p3 = body.points[2] = corner(x + size, y + size);
    Verlet* p4 = body.points[3] = corner(x, y + size);

    body.constraints[0] = &Constraint::Create(world, *p1, *p2, -1.0f);
    body.constraints[1] = &Constraint::Create(world, *p1, *p3, -1.0f);
    if (onDiagonal) {
        onDiagonal(*body.constraints[1]);
    }
    body.constraints[2] = &Constraint::Create(world, *p1, *p4, -1.0f);
    body.constraints[3] = &Constraint::Create(world, *p2, *p3, -1.0f);
    body.constraints[4] = &Constraint::Create(world, *p2, *p4, -1.0f);
    body.constraints[5] = &Constraint::Create(world, *p3, *p4, -1.0f);
    return body;
}

}  // namespace corvex
