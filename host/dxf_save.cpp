// dxf_save.cpp -- a Drawing saved as DXF.
//
// A drawing read from a file is written back in its own version: every group
// kept from the file goes out exactly as it was read; only these change:
//
//   HEADER    $HANDSEED (raised above every handle), $CLAYER, $CECOLOR
//   TABLES    the LAYER records (colours as they are now, new layers in the
//             form of layer 0's record) and the table's entry count; a file
//             without a LAYER table gets one when its layers changed
//   ENTITIES  erased entities left out; new ones (POINT, LINE, 3DFACE,
//             POLYLINE, TEXT) written in the version's form (dxf_write.cpp)
//
// A new drawing is written as a complete R12 file.  The program streams the
// text through files.cpp: to a temporary file beside the target, then renamed.
#include "drawing.h"
#include "dxf_common.h"
#include "dxf_out.h"
#include "text.h"

#include <algorithm>

namespace velmora {

namespace {

// The entities not erased: as read, or from their fields.  The groups of
// an entity read go out as their bytes when every line of the file stood as
// this save writes it (the common case), else group by group, which writes
// the same text in this save's form.
void write_entities(Out &o, const Drawing &d, Form &f)
{
    bool as_bytes = d.layout.verbatim && o.crlf == d.crlf && o.padded == d.layout.code_padded;
    for (const auto &e : d.entities) {
        if (e.erased)
            continue;
        if (e.raw.empty())
            write_entity(o, e, f);
        else if (o.discard)
            continue;
        else if (as_bytes)
            o.put(e.raw.bytes());
        else
            for (const auto &p : e.raw)
                o.pair(p);
    }
}

// A complete R12 file for a drawing that was not read from a file.
void write_new_drawing(Out &o, const Drawing &d)
{
    Form f;
    Vec3 lo, hi;
    d.extents(lo, hi);
    o.pair(0, "SECTION");
    o.pair(2, "HEADER");
    o.pair(9, "$ACADVER");
    o.pair(1, "AC1009");
    o.pair(9, "$INSBASE");
    o.point(10, Vec3{});
    o.pair(9, "$EXTMIN");
    o.point(10, lo);
    o.pair(9, "$EXTMAX");
    o.point(10, hi);
    o.pair(9, "$CLAYER");
    o.pair(8, d.current_layer.empty() ? "0" : d.current_layer);
    o.pair(9, "$CECOLOR");
    o.integer(62, d.current_colour);
    o.pair(0, "ENDSEC");

    o.pair(0, "SECTION");
    o.pair(2, "TABLES");
    o.pair(0, "TABLE");
    o.pair(2, "LTYPE");
    o.integer(70, 1);
    o.pair(0, "LTYPE");
    o.pair(2, "CONTINUOUS");
    o.integer(70, 0);
    o.pair(3, "Solid line");
    o.integer(72, 65);
    o.integer(73, 0);
    o.num(40, 0.0);
    o.pair(0, "ENDTAB");
    Out layers;
    size_t count = 0;
    write_layers(layers, d, f, count);
    o.pair(0, "TABLE");
    o.pair(2, "LAYER");
    o.integer(70, (long long)count);
    o.put(layers.text);
    o.pair(0, "ENDTAB");
    o.pair(0, "TABLE");
    o.pair(2, "STYLE");
    o.integer(70, 1);
    o.pair(0, "STYLE");
    o.pair(2, "STANDARD");
    o.integer(70, 0);
    o.num(40, 0.0);
    o.num(41, 1.0);
    o.num(50, 0.0);
    o.integer(71, 0);
    o.num(42, 2.5);
    o.pair(3, "txt");
    o.pair(4, "");
    o.pair(0, "ENDTAB");
    o.pair(0, "ENDSEC");

    o.pair(0, "SECTION");
    o.pair(2, "BLOCKS");
    o.pair(0, "ENDSEC");
    o.pair(0, "SECTION");
    o.pair(2, "ENTITIES");
    write_entities(o, d, f);
    o.pair(0, "ENDSEC");
    o.pair(0, "EOF");
}

// Where a save patches the groups before the entities: indexes into
// d.before_entities, DxfLayout::none for a variable the header lacks.
struct HeaderSpots {
    std::size_t end = 0;                       // the HEADER's ENDSEC; 0 without a HEADER
    std::size_t seed = DxfLayout::none;        // $HANDSEED's group 5
    std::size_t clayer = DxfLayout::none;      // $CLAYER's group 8
    std::size_t cecolor = DxfLayout::none;     // $CECOLOR's group 62
};

HeaderSpots header_spots(const Drawing &d)
{
    HeaderSpots h;
    const auto &before = d.before_entities;
    h.end = dxf_header_end(d);
    h.seed = dxf_header_value(before, h.end, "$HANDSEED", 5);
    h.clayer = dxf_header_value(before, h.end, "$CLAYER", 8);
    h.cecolor = dxf_header_value(before, h.end, "$CECOLOR", 62);
    return h;
}

template <class Groups>
void max_handle_of(const Groups &pairs, std::uint64_t &hi)
{
    for (const auto &p : pairs) {
        std::uint64_t h;
        if ((p.code == 5 || p.code == 105) && parse_handle(p.value(), h))
            hi = std::max(hi, h);
    }
}

// The form of new entities in the drawing's version.  Handles are given when
// the version has them or the file keeps a $HANDSEED; they continue above
// every handle in the file (groups 5, and 105 of DIMSTYLE records) and the
// seed, whichever is higher, so that none is used twice.
Form form_of(const Drawing &d, const HeaderSpots &h)
{
    Form f;
    f.release = dxf_release(d.version);
    if (f.release == 0)
        f.release = 12;
    f.model_space = d.layout.model_space;
    f.handles = f.r2000() || h.seed != DxfLayout::none;
    if (!f.handles)
        return f;
    std::uint64_t hi = 0;
    max_handle_of(d.before_entities, hi);
    max_handle_of(d.after_entities, hi);
    for (const auto &l : d.layers)
        max_handle_of(l.raw, hi);
    for (const auto &e : d.entities)
        max_handle_of(e.raw, hi);
    std::uint64_t seed = 0;
    if (h.seed != DxfLayout::none)
        parse_handle(d.before_entities[h.seed].value(), seed);
    f.next_handle = std::max(hi + 1, seed);
    return f;
}

// Whether the layer records differ from the file's: a colour changed, a
// layer was made, or a new entity is on a layer the drawing does not list.
bool layers_changed(const Drawing &d, bool table_in_file)
{
    bool changed = false;
    for (const auto &l : d.layers) {
        if (!l.raw.empty())
            changed |= layer_colour_in(l.raw) != l.colour;
        else if (table_in_file || !same_name(l.name, "0") || l.colour != 7)
            changed = true;   // (a file without a LAYER table has an implicit layer 0)
    }
    for (const auto &e : d.entities)
        changed |= !e.erased && e.raw.empty() &&
                   std::none_of(d.layers.begin(), d.layers.end(),
                                [&](const Layer &l) { return same_name(l.name, e.layer); });
    return changed;
}

// A TABLES section of one LAYER table, for a file that had none.
void write_layer_tables(Out &o, const Out &records, std::size_t count)
{
    o.pair(0, "SECTION");
    o.pair(2, "TABLES");
    o.pair(0, "TABLE");
    o.pair(2, "LAYER");
    o.integer(70, (long long)count);
    o.put(records.text);
    o.pair(0, "ENDTAB");
    o.pair(0, "ENDSEC");
}

// Header variables the file did not have, written at the header's end when
// they now differ from their defaults.
void write_missing_variables(Out &o, const Drawing &d, const HeaderSpots &h)
{
    if (h.clayer == DxfLayout::none && !same_name(d.current_layer, "0")) {
        o.pair(9, "$CLAYER");
        o.pair(8, d.current_layer);
    }
    if (h.cecolor == DxfLayout::none && d.current_colour != 256) {
        o.pair(9, "$CECOLOR");
        o.integer(62, d.current_colour);
    }
}

// A header variable's group as it is now: the seed above every handle
// taken, the current layer and colour of the session.  False for a group
// written as read.
bool patch_header_group(Out &o, const Drawing &d, const HeaderSpots &h, std::size_t i, const std::string &seed)
{
    const DxfPair &p = d.before_entities[i];
    if (i == h.seed && !seed.empty()) {
        o.pair(5, seed);
    } else if (i == h.clayer) {
        o.pair(8, same_name(trim(p.value()), d.current_layer) ? p.value() : d.current_layer);
    } else if (i == h.cecolor) {
        long long c = 256;
        dxf_parse_int(p.value(), c);
        if (c == d.current_colour)
            o.pair(p);
        else
            o.integer(62, d.current_colour);
    } else {
        return false;
    }
    return true;
}

// A drawing read from a file, written back in its own version.
void write_read_drawing(Out &o, const Drawing &d)
{
    const DxfLayout &lay = d.layout;
    HeaderSpots h = header_spots(d);
    Form f = form_of(d, h);
    const std::uint64_t first_new_handle = f.next_handle;
    o.crlf = d.crlf;
    o.padded = lay.code_padded;

    // New entities take their handles before new layers do, but are written
    // after them and after $HANDSEED: a dry run over the entities takes
    // their handles, the layers (few) are written into text of their own,
    // and the entities are written at their place with the handles again
    // from the first.
    Form entity_form = f;
    Out dry = o.like();
    dry.discard = true;
    write_entities(dry, d, f);
    Out layers = o.like();
    std::size_t layer_count = 0;
    bool table_in_file = lay.layer_records_at != DxfLayout::none;
    bool changed = layers_changed(d, table_in_file);
    if (table_in_file || changed)
        write_layers(layers, d, f, layer_count);
    std::string seed = f.handles && f.next_handle != first_new_handle ? handle_text(f.next_handle) : "";

    if (lay.bom)
        o.put("\xEF\xBB\xBF");
    bool need_table = !table_in_file && changed;
    if (need_table && !lay.had_header)
        write_layer_tables(o, layers, layer_count);
    const auto &before = d.before_entities;
    for (std::size_t i = 0; i < before.size(); i++) {
        if (i == lay.layer_records_at)
            o.put(layers.text);
        if (patch_header_group(o, d, h, i, seed))
            continue;
        if (i == lay.layer_count_at && layer_count != lay.layers_read) {
            o.integer(70, (long long)layer_count);
            continue;
        }
        bool header_end = lay.had_header && i == h.end;
        if (header_end)
            write_missing_variables(o, d, h);
        o.pair(before[i]);
        if (header_end && need_table)
            write_layer_tables(o, layers, layer_count);
    }
    if (lay.layer_records_at == before.size())
        o.put(layers.text);
    o.pair(0, "SECTION");
    o.pair(2, "ENTITIES");
    write_entities(o, d, entity_form);
    o.pair(0, "ENDSEC");
    for (const auto &p : d.after_entities)
        o.pair(p);
    o.pair(0, "EOF");
}

}  // namespace

void write_dxf(const Drawing &d, ByteSink &out)
{
    Out o;
    o.sink = &out;
    if (d.layout.from_file)
        write_read_drawing(o, d);
    else
        write_new_drawing(o, d);
    o.flush();
}

std::string dxf_text(const Drawing &d)
{
    StringSink s;
    write_dxf(d, s);
    return std::move(s.text);
}

}  // namespace velmora
