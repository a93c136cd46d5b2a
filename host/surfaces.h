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

// Appends the triangles of the listed 3DFACEs and polygon meshes (a quad
// a-b-c-d as a-b-c and a-c-d; a three-sided face as one), in selection order;
// other entities are passed over; a mesh is its grid (mesh_grid).  Returns
// how many entities gave triangles; `skipped` counts the meshes left out
// because their counts do not fit their vertices.
int collect_triangles(const Drawing &d, const std::vector<std::uint64_t> &ids,
                      std::vector<Triangle> &out, int *skipped = nullptr);

}  // namespace velmora
