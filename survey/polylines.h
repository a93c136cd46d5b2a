// polylines.h -- what the survey commands share: segments joined into
// polylines, entities put on a layer of their own, prompts and files.
//
// The joiner takes segments whose ends coincide exactly (same coordinates,
// bit for bit) and strings them into open and closed polylines.  Callers make
// shared ends exact by computing each point once per source edge, from the
// edge's two ends in a fixed order, so that neighbours get the same bits.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "drawing.h"
#include "session.h"
#include "surfaces.h"

namespace velmora {

using Segment = std::array<Vec3, 2>;

struct Polyline {
    std::vector<Vec3> pts;      // a closed polyline does not repeat its first point
    bool closed = false;
};

// Joins segments end to end.  Segments of zero length are dropped, and a
// segment given twice (either way round) counts once.  Where exactly two
// segments meet, the line goes on; where one or three or more meet, lines end
// there.  The result depends only on the order of `segments`: open lines
// first, each from its end met first, then closed loops, each starting at the
// first end of its earliest segment.
std::vector<Polyline> join_segments(const std::vector<Segment> &segments);

// Adds `e` on `layer` (made when missing, in colour `layer_colour`; an
// existing layer keeps its colour), in colour BYLAYER.  The session's current
// layer and colour stay as they were.
Entity &add_on_layer(Session &s, Entity e, const std::string &layer, int layer_colour = 7);

// A 3D polyline entity of `p`.
Entity polyline_entity(const Polyline &p);

// A layer name every DXF version takes: upper case letters, digits, '_', '-'
// and '$', others (a UTF-8 character counting as one) replaced by '_', at
// most 31 characters; `fallback` when nothing but '_' is left.
std::string safe_layer_name(const std::string &name, const std::string &fallback);

// The answer to `prompt`: the next input word, or Enter (empty) when the
// input has ended, as a script's end finishes a command.
std::string ask_word(Session &s, const std::string &prompt);

// The whole of a file; false, with the reason in `why`, when it cannot be
// read (a folder cannot).
bool read_text_file(const std::string &path, std::string &text, std::string &why);

// Asks for a selection of 3DFACEs and polygon meshes and appends their
// triangles to `tris`, noting meshes left out.  False when the selection
// fails or holds no face: the command `command` fails then with a message
// ending in `outcome` ("nothing drawn").
bool select_triangles(Session &s, const std::string &command, const std::string &outcome,
                      std::vector<Triangle> &tris);

}  // namespace velmora
