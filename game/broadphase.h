// Broad phase of the point pass: a uniform grid whose cells list the points inside them, kept
// current as points move during the pass, so that each point tests only the points near it.
// It is exact: every point that can touch p is offered, and CollidePointGrid applies the
// touching ones in increasing index order, so the results are identical to the all-pairs loop.
#pragma once

#include <cstdint>
#include <vector>

namespace corvex {

class World;
struct Verlet;

class PointGrid {
public:
    static constexpr float MARGIN = 8.0f;  // the querying point may move this far before gathering anew

    void Reserve(int32_t points);                         // sizes the buffers (called as points are created)
    void Build(World& world, float reach);                // bins every point at its current position
    // Points other than those with index <= after that can touch a point staying within MARGIN
    // of (px, py); in no particular order. Points whose position is not finite touch nothing.
    void Gather(const World& world, float px, float py, int32_t after, std::vector<int32_t>& out) const;
    void NoteMoved(int32_t index, float x, float y);     // moves the point to the cell of (x, y)
    std::vector<int32_t>& Candidates() { return _candidates; }  // scratch list for the queries

private:
    int32_t CellX(double x) const;
    int32_t CellY(double y) const;
    void Link(int32_t index, int32_t cell);
    void Unlink(int32_t index);

    float _reach = 0.0f;
    double _x0 = 0.0;
    double _y0 = 0.0;
    double _cell = 1.0;
    int32_t _cols = 1;
    int32_t _rows = 1;
    std::vector<int32_t> _head;        // first point of each cell, -1 when empty
    std::vector<int32_t> _next;        // per point: the next and previous in its cell, -1 at the ends
    std::vector<int32_t> _prev;
    std::vector<int32_t> _cellOf;      // per point: its cell, -1 when not binned (not finite)
    std::vector<int32_t> _candidates;
};

// Point-point collisions of p through world.Grid (built at the start of the pass); the same
// results as CollidePoint.
void CollidePointGrid(World& world, Verlet& p);

}  // namespace corvex
