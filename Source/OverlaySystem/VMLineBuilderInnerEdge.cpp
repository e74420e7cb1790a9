// The inner edge of a region: every side moved inwards by the width, corners where the moved
// sides meet.
#include <cmath>

#include "VMLineBuilder.h"

namespace {

double signedAreaOfRegion(const VMPointList& p) {
    double twice = 0;
    for (std::size_t i = 0, n = p.size(); i < n; ++i) {
        const auto& a = p[i];
        const auto& b = p[(i + 1) % n];
        twice += static_cast<double>(a.x) * b.y - static_cast<double>(b.x) * a.y;
    }
    return twice / 2;
}

}  // namespace

int VMLineBuilder::innerEdge(const VMPointList& region, VMPointList& result, float width) {
    result.clear();
    if (!(width > 0)) return 2;
    if (region.size() < 3) return 1;
    VMPointList p;
    for (const auto& q : region) {
        if (!std::isfinite(q.x) || !std::isfinite(q.y)) return 3;
        if (p.empty() || q.x != p.back().x || q.y != p.back().y) p.push_back(q);
    }
    if (p.size() > 1 && p.front().x == p.back().x && p.front().y == p.back().y) p.pop_back();
    const double area = signedAreaOfRegion(p);
    if (p.size() < 3 || area == 0) return 3;
    // Inwards is to the left of each side for a counter-clockwise region, to the right otherwise.
    const double side = area > 0 ? 1 : -1;
    const std::size_t n = p.size();
    struct Line {
        double ox, oy, dx, dy;
    };
    std::vector<Line> moved(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto& a = p[i];
        const auto& b = p[(i + 1) % n];
        const double dx = static_cast<double>(b.x) - a.x, dy = static_cast<double>(b.y) - a.y;
        const double len = std::hypot(dx, dy);
        const double nx = -dy / len * side * width, ny = dx / len * side * width;
        moved[i] = {a.x + nx, a.y + ny, dx, dy};
    }
    for (std::size_t i = 0; i < n; ++i) {
        const Line& in = moved[(i + n - 1) % n];
        const Line& out = moved[i];
        const double cross = in.dx * out.dy - in.dy * out.dx;
        double x = out.ox, y = out.oy;
        if (std::abs(cross) > 1e-12 * std::hypot(in.dx, in.dy) * std::hypot(out.dx, out.dy)) {
            const double t = ((out.ox - in.ox) * out.dy - (out.oy - in.oy) * out.dx) / cross;
            x = in.ox + t * in.dx;
            y = in.oy + t * in.dy;
        }
        result.push_back({static_cast<float>(x), static_cast<float>(y), p[i].z});
    }
    // A region thinner than twice the width turns its moved sides round or inside out.
    bool kept = true;
    for (std::size_t i = 0; i < n && kept; ++i) {
        const auto& a = result[i];
        const auto& b = result[(i + 1) % n];
        kept = (double(b.x) - a.x) * moved[i].dx + (double(b.y) - a.y) * moved[i].dy > 0;
    }
    const double inner = signedAreaOfRegion(result);
    if (!kept || inner * side <= 0 || std::abs(inner) >= std::abs(area)) {
        result.clear();
        return 3;
    }
    return 0;
}
