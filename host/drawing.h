// drawing.h -- the drawing the host works on: entities, layers, current
// layer and colour, header variables, and whatever the DXF file held that the
// host does not model, kept so that it can be written back untouched.
//
// POINT, LINE, 3DFACE and POLYLINE (3D polylines and polygon meshes, with
// their VERTEX and SEQEND) are modelled; every other entity is carried as its
// raw groups.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

// A temporary vector drawn over the drawing (sds_grdraw), not part of it: the
// session keeps them until sds_redraw, and the picture shows them on top.
struct Overlay {
    Vec3 from, to;
    int colour = 7;
    int highlight = 0;
};

// One DXF group: code and value text as they stood in the file.
struct DxfPair {
    int code = 0;
    std::string value;
};

struct Entity {
    std::string type;              // "POINT", "LINE", "3DFACE", "POLYLINE", or another type, upper case
    std::string layer = "0";
    int colour = 256;              // 62: 256 BYLAYER (also when absent), 0 BYBLOCK
    bool erased = false;
    std::uint64_t id = 0;          // unique within the drawing, never reused; the sds_name of the entity

    // Geometry of the modelled types (world coordinates):
    //   POINT: 1 point; LINE: 2; 3DFACE: 4 corners (a three-sided face repeats the third);
    //   POLYLINE: its vertices in file order.
    std::vector<Vec3> pts;
    int face_hidden = 0;           // 3DFACE 70: bit 1 hides edge 1-2, 2 edge 2-3, 4 edge 3-4, 8 edge 4-1
    int poly_flags = 0;            // POLYLINE 70 (1 closed in M, 4 fitted, 8 3D polyline, 16 mesh, 32 closed in N)
    int mesh_m = 0, mesh_n = 0;    // POLYLINE 71, 72
    int smooth_m = 0, smooth_n = 0, smooth_type = 0;  // 73, 74, 75
    std::vector<int> vertex_flags; // VERTEX 70, one per point of a POLYLINE
    // A TEXT the session made (TEXTs read from a file stay raw): the string,
    // its height, its rotation in degrees, and whether pts[0] is its middle
    // centre (72 = 1, 73 = 2) or the start of its baseline.
    std::string text;
    double text_height = 0, text_angle = 0;
    bool text_centred = false;

    // For entities read from a file: the groups as read, from the entity's
    // own "0 TYPE" pair on (for a POLYLINE the whole run with its VERTEXes and
    // SEQEND, for an INSERT its ATTRIBs and SEQEND).  Empty for entities the
    // session made; those are written from the fields above.
    std::vector<DxfPair> raw;
    std::string handle;            // 5 (or 105), as read or as assigned
};

// The grid of a polygon mesh (POLYLINE flag 16): m rows of n vertices, from
// its control vertices or, for a smoothed mesh (flag 4), from its fitted
// vertices (VERTEX flag 8) when they are all there.  False when neither
// count fits the vertices.
bool mesh_grid(const Entity &e, std::vector<Vec3> &grid, int &m, int &n);

// The box around the points added; 0,0,0 at both corners while empty.
struct Extents {
    Vec3 lo, hi;
    bool empty = true;
    void add(const Vec3 &p);
    void add(const Entity &e);
};

struct Layer {
    std::string name;
    int colour = 7;                // negative when the layer is off
    std::vector<DxfPair> raw;      // as read; empty for a layer made in the session
};

// Where the reader found the parts a save has to touch, so that everything
// else is written back exactly as it stood.
struct DxfLayout {
    static constexpr std::size_t none = static_cast<std::size_t>(-1);
    bool from_file = false;            // false: a new drawing, saved as a complete R12 file
    bool code_padded = true;           // group codes right-aligned in three columns ("  0")
    bool had_header = false;           // the file had a HEADER section
    bool bom = false;                  // the file began with a UTF-8 byte order mark
    std::size_t layer_records_at = none;  // index in before_entities where the LAYER records stood
    std::size_t layer_count_at = none;    // index in before_entities of the LAYER table's 70
    std::size_t layers_read = 0;
    std::string model_space;           // handle of the *Model_Space block record (R2000 and later)
    std::string layer_table;           // handle of the LAYER table
};

struct Drawing {
    std::string version = "AC1009";            // $ACADVER of the file read
    std::string name;                          // file name read, without folder and extension
    std::vector<Entity> entities;              // drawing order
    std::vector<Layer> layers;
    std::string current_layer = "0";           // $CLAYER
    int current_colour = 256;                  // $CECOLOR
    std::uint64_t next_id = 1;

    // Everything of the file that is not an entity or a layer, in order, so
    // that a save writes it back; filled by the reader.
    std::vector<DxfPair> before_entities;      // HEADER, CLASSES, TABLES, BLOCKS as read
    std::vector<DxfPair> after_entities;       // OBJECTS and the rest, as read
    bool crlf = false;                         // the file used CR LF line ends
    DxfLayout layout;                          // filled by the reader

    Entity &add(Entity e);                     // assigns the id; returns the stored entity
    Entity *find(std::uint64_t id);
    const Entity *find(std::uint64_t id) const;
    Layer *layer(const std::string &name);     // case-insensitive; null when absent
    Layer &make_layer(const std::string &name);// finds or creates
    void extents(Vec3 &lo, Vec3 &hi) const;    // of the entities not erased; 0,0,0 when none
};

// Thrown by the readers and writers with a message ready for the user,
// e.g. "site.dxf: line 120: group code expected".
struct DxfError {
    std::string message;
};

// Reads an ASCII DXF file of any version from R12 to R2018.
Drawing load_dxf(const std::string &path);
// The drawing as DXF text in the version it was read in (R12 for a new one).
std::string dxf_text(const Drawing &d);
// The "dxfout" export: an R12 file with the given entities and `decimals`
// places after the point (ENTITIES section only, as the host's own export does).
void write_dxfout(const Drawing &d, const std::vector<std::uint64_t> &ids,
                  const std::string &path, int decimals);

}  // namespace velmora
