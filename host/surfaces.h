// surfaces.h -- the triangles of the 3DFACEs and polygon meshes in a
// selection, for the host's own commands that work on surfaces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drawing.h"

namespace velmora {

struct Triangle {
    Vec3 p[3];
};

// The vertices of a polygon mesh and its size: the plain M x N net, or, for a
// smoothed mesh, the fitted net of smooth_m x smooth_n (the frame's control
// points, vertex flag 16, left out).  False when the counts do not fit.
bool mesh_net(const Entity &e, std::vector<Vec3> &net, int &m, int &n);

// Appends the triangles of the listed 3DFACEs and polygon meshes (a quad
// a-b-c-d as a-b-c and a-c-d; a three-sided face as one), in selection order;
// other entities are passed over.  Returns how many entities gave triangles;
// `skipped` counts the meshes left out because their counts do not fit.
int collect_triangles(const Drawing &d, const std::vector<std::uint64_t> &ids,
                      std::vector<Triangle> &out, int *skipped = nullptr);

}  // namespace velmora
