// editing/ -- the host's commands that edit and inspect the drawing the way
// a CAD user expects them on the command line: copy and move (copy.cpp),
// explode (explode.cpp), list and extents (inquiry.cpp), save and saveas
// (save.cpp).  They are command machines of the host's one command table and
// reach the session through its public calls.
//
// This header holds what two of them share: which entities can be carried
// to another place (copied, moved) as a new entity.
#pragma once

#include "drawing.h"

namespace velmora {

// Whether `e` can be written again from its fields at another place: the
// modelled types (POINT, LINE, 3DFACE, POLYLINE) and a TEXT the session made.
// Other entities are carried only as the groups they were read with.
bool carried_by_fields(const Entity &e);

// A new entity like `e` moved by `by`: same type, geometry, layer and colour,
// no handle and no groups as read, so that a save writes it in the drawing's
// version with a handle and owner of its own.
Entity moved_copy(const Entity &e, const Vec3 &by);

}  // namespace velmora
