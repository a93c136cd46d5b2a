// dxf_common.h -- what the DXF reader, the writers and the picture share
// (dxf_common.cpp): the kind of value a group code carries, integer groups,
// versions, and the fields of a modelled entity taken from its raw groups.
// Real groups are read with parse_real (text.h).
#pragma once

#include <string>
#include <vector>

#include "drawing.h"

namespace velmora {

enum class DxfValueKind { text, real, integer };

// The kind of value a group code carries (DXF reference, "group code value types").
DxfValueKind dxf_value_kind(int code);

// Strict integer parsing: blanks around the number are allowed, anything else
// (empty text, trailing letters, out of range) is refused.
bool dxf_parse_int(std::string_view text, long long &out);
// The value of an integer group the reader has checked, as an int.  The
// groups the host models (colours, flags, counts) are 16-bit ones, which the
// reader refuses outside int range; 0 for any other value that does not fit.
int dxf_int(std::string_view value);

// True for the entity types the drawing models.
bool dxf_modelled_type(const Name &type);

// The names of the modelled types and of TEXT, found once: an entity's type
// compared with one of them is two pointers compared, not two texts, for
// each of the millions of entities a save, an export or a picture walks.
struct DxfTypeNames {
    Name point{"POINT"}, line{"LINE"}, face{"3DFACE"}, polyline{"POLYLINE"}, text{"TEXT"};
};
const DxfTypeNames &dxf_types();

// Fills layer, colour, handle and, for the modelled types, the geometry of
// `e` from e.raw (which begins with the entity's "0 TYPE" pair).  The numbers
// in raw have been checked by the reader.
void dxf_fields_from_raw(Entity &e);

// Where the HEADER section ends in d.before_entities (the index of its
// ENDSEC), 0 when the file had no HEADER.
std::size_t dxf_header_end(const Drawing &d);
// The index in `pairs` (before `end`) of header variable `var`'s group
// `code`, or DxfLayout::none when the header lacks it.
std::size_t dxf_header_value(const std::vector<DxfPair> &pairs, std::size_t end, const char *var, int code);
// The drawing's $INSUNITS (its length unit), -1 when the header has none.
int dxf_insunits(const Drawing &d);

// "AC1009" -> 12, "AC1015" -> 2000 ... ; 0 for a version we do not know.
int dxf_release(const std::string &acadver);

}  // namespace velmora
