// dxf_common.h -- what the DXF reader, the writers and the picture share:
// the kind of value a group code carries, number parsing, and the fields of
// a modelled entity taken from its raw groups.
#pragma once

#include <string>
#include <vector>

#include "drawing.h"

namespace velmora {

enum class DxfValueKind { text, real, integer };

// The kind of value a group code carries (DXF reference, "group code value types").
DxfValueKind dxf_value_kind(int code);

// Strict number parsing: blanks around the number are allowed, anything else
// (empty text, trailing letters, NaN, infinity, out of range) is refused.
bool dxf_parse_real(const std::string &text, double &out);
bool dxf_parse_int(const std::string &text, long long &out);

// True for the entity types the drawing models.
bool dxf_modelled_type(const std::string &type);

// Fills layer, colour, handle and, for the modelled types, the geometry of
// `e` from e.raw (which begins with the entity's "0 TYPE" pair).  The numbers
// in raw have been checked by the reader.
void dxf_fields_from_raw(Entity &e);

// "AC1009" -> 12, "AC1015" -> 2000 ... ; 0 for a version we do not know.
int dxf_release(const std::string &acadver);

// Case-insensitive comparison of ASCII names.
bool dxf_same_name(const std::string &a, const std::string &b);

}  // namespace velmora
