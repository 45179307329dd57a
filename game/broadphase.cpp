#include "game/broadphase.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "game/world.h"

namespace corvex {

namespace {

constexpr int32_t MAX_CELLS_PER_AXIS = 128;

void Grow(std::vector<int32_t>& v, size_t n) {
    if (v.capacity() < n) {
        v.reserve(std::max(n, 2 * v.capacity()));
    }
}

bool Finite(float x, float y) {
    return std::isfinite(x) && std::isfinite(y);
}

// Half the side of the square a point staying within MARGIN of the query position can reach,
// with room for the rounding of the float tests.
float Window(float reach) {
    return (reach + PointGrid::MARGIN) * 1.001f + 1.0f;
}

}  // namespace

void PointGrid::Reserve(int32_t points) {
    const size_t n = static_cast<size_t>(points);
    Grow(_next, n);
    Grow(_prev, n);
    Grow(_cellOf, n);
    Grow(_candidates, n);
    Grow(_head, MAX_CELLS_PER_AXIS * MAX_CELLS_PER_AXIS);
}

int32_t PointGrid::CellX(double x) const {
    const double c = std::floor((x - _x0) / _cell);
    return static_cast<int32_t>(std::clamp(c, 0.0, static_cast<double>(_cols - 1)));
}

int32_t PointGrid::CellY(double y) const {
    const double c = std::floor((y - _y0) / _cell);
    return static_cast<int32_t>(std::clamp(c, 0.0, static_cast<double>(_rows - 1)));
}

void PointGrid::Link(int32_t index, int32_t cell) {
    _cellOf[index] = cell;
    _prev[index] = -1;
    _next[index] = _head[cell];
    if (_head[cell] >= 0) {
        _prev[_head[cell]] = index;
    }
    _head[cell] = index;
}

void PointGrid::Unlink(int32_t index) {
    const int32_t cell = _cellOf[index];
    if (cell < 0) {
        return;
    }
    if (_prev[index] >= 0) {
        _next[_prev[index]] = _next[index];
    } else {
        _head[cell] = _next[index];
    }
    if (_next[index] >= 0) {
        _prev[_next[index]] = _prev[index];
    }
    _cellOf[index] = -1;
}

void PointGrid::Build(World& world, float reach) {
    const int32_t n = world.VerletCount();
    Reserve(n);
    _reach = reach;
    _next.resize(static_cast<size_t>(n));
    _prev.resize(static_cast<size_t>(n));
    _cellOf.resize(static_cast<size_t>(n));

    // The grid spans the points' bounding box (cells at least a window wide, at most 128 a
    // side); points that leave it later fall into the border cells.
    double minX = 0.0, maxX = 0.0, minY = 0.0, maxY = 0.0;
    bool any = false;
    for (int32_t i = 0; i < n; ++i) {
        const Verlet& v = world.Verlets[i];
        if (Finite(v.X, v.Y)) {
            if (!any) {
                minX = maxX = v.X;
                minY = maxY = v.Y;
                any = true;
            }
            minX = std::min(minX, static_cast<double>(v.X));
            maxX = std::max(maxX, static_cast<double>(v.X));
            minY = std::min(minY, static_cast<double>(v.Y));
            maxY = std::max(maxY, static_cast<double>(v.Y));
        }
    }
    _x0 = minX;
    _y0 = minY;
    _cell = std::max({static_cast<double>(Window(reach)), (maxX - minX) / (MAX_CELLS_PER_AXIS - 1),
                      (maxY - minY) / (MAX_CELLS_PER_AXIS - 1), 1.0});
    _cols = std::min(MAX_CELLS_PER_AXIS, static_cast<int32_t>((maxX - minX) / _cell) + 1);
    _rows = std::min(MAX_CELLS_PER_AXIS, static_cast<int32_t>((maxY - minY) / _cell) + 1);
    _head.assign(static_cast<size_t>(_cols) * static_cast<size_t>(_rows), -1);
    for (int32_t i = n - 1; i >= 0; --i) {
        const Verlet& v = world.Verlets[i];
        _cellOf[i] = -1;
        if (Finite(v.X, v.Y)) {
            Link(i, CellY(v.Y) * _cols + CellX(v.X));
        }
    }
}

void PointGrid::Gather(const World& world, float px, float py, int32_t after, std::vector<int32_t>& out) const {
    out.clear();
    const float w = Window(_reach);
    const int32_t cx0 = CellX(static_cast<double>(px) - w), cx1 = CellX(static_cast<double>(px) + w);
    const int32_t cy0 = CellY(static_cast<double>(py) - w), cy1 = CellY(static_cast<double>(py) + w);
    for (int32_t cy = cy0; cy <= cy1; ++cy) {
        for (int32_t cx = cx0; cx <= cx1; ++cx) {
            for (int32_t j = _head[cy * _cols + cx]; j >= 0; j = _next[j]) {
                const Verlet& q = world.Verlets[j];
                if (j > after && std::fabs(px - q.X) < w && std::fabs(py - q.Y) < w) {
                    out.push_back(j);
                }
            }
        }
    }
}

void PointGrid::NoteMoved(int32_t index, float x, float y) {
    const int32_t cell = Finite(x, y) ? CellY(y) * _cols + CellX(x) : -1;
    if (cell != _cellOf[index]) {
        Unlink(index);
        if (cell >= 0) {
            Link(index, cell);
        }
    }
}

void CollidePointGrid(World& world, Verlet& p) {
    const float reach = static_cast<float>(world.ReachBound);
    // With no reach, or p not finite, no pair can pass the test.
    if (!(reach > 0.0f) || !std::isfinite(p.X) || !std::isfinite(p.Y)) {
        return;
    }
    PointGrid& grid = world.Grid;
    std::vector<int32_t>& cand = grid.Candidates();
    float px0 = p.X;
    float py0 = p.Y;
    grid.Gather(world, px0, py0, -1, cand);
    // The touching candidate of lowest index is the one the all-pairs loop would meet next: the
    // ones below it do not touch p where p stands, and only p and it move. Apply it, then look
    // again among the higher indices.
    int32_t last = -1;
    for (;;) {
        int32_t next = INT32_MAX;
        for (int32_t j : cand) {
            if (j > last && j < next && PointsTouch(p, world.Verlets[j], reach)) {
                next = j;
            }
        }
        if (next == INT32_MAX) {
            return;
        }
        Verlet& q = world.Verlets[next];
        CollidePointPair(p, q, reach);
        grid.NoteMoved(next, q.X, q.Y);
        last = next;
        if (!(std::fabs(p.X - px0) <= PointGrid::MARGIN && std::fabs(p.Y - py0) <= PointGrid::MARGIN)) {
            if (!std::isfinite(p.X) || !std::isfinite(p.Y)) {
                return;
            }
            px0 = p.X;
            py0 = p.Y;
            grid.Gather(world, px0, py0, last, cand);  // from where p is now
        }
    }
}

}  // namespace corvex
