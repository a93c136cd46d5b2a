// orient.h -- the sign of the plan orientation of three points, exact for any
// double coordinates (no tolerance), for decisions that must never
// contradict each other: which side of an edge a corner lies on.
#pragma once

namespace velmora {

// +1 when a, b, c turn counter-clockwise in plan, -1 clockwise, 0 collinear:
// the sign of (a - c) x (b - c), decided exactly.
int orient2d(double ax, double ay, double bx, double by, double cx, double cy);

}  // namespace velmora
