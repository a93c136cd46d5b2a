// dxf_read.cpp -- reads an ASCII DXF file (R12 to R2018) into a Drawing.
//
// The file is first cut into groups (a code line and a value line), every
// number checked by the kind its code carries, then walked section by
// section:
//
//   HEADER    kept as read; $ACADVER, $CLAYER, $CECOLOR taken from it
//   TABLES    kept as read, except the LAYER records, which become Layers
//             (each with its groups) and are put back in place by a save
//   ENTITIES  one Entity per entity with its groups; POINT, LINE, 3DFACE
//             and POLYLINE also get their fields filled
//   others    kept as read, before or after the entities
//
// Anything that is not a well-formed DXF text file ends with a DxfError
// "FILE: line N: what".
#include "drawing.h"
#include "dxf_common.h"
#include "text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace velmora {

// ---------------------------------------------------------------------------
// The reader

namespace {

class Reader {
public:
    explicit Reader(const std::string &path) : path_(path) {}
    Drawing read();

private:
    std::string path_;
    std::vector<DxfPair> pairs_;
    std::vector<int> line_;     // line number of each pair's code line
    int last_line_ = 0;

    // The groups are handed over to the drawing once they have been looked
    // at: moved, not copied (a large drawing holds millions of them).
    std::move_iterator<std::vector<DxfPair>::iterator> from(size_t i)
    {
        return std::make_move_iterator(pairs_.begin() + (long)i);
    }

    [[noreturn]] void fail(int line, const std::string &what) const
    {
        throw DxfError{path_ + ": line " + std::to_string(line) + ": " + what};
    }
    [[noreturn]] void fail_at(size_t pair, const std::string &what) const
    {
        fail(pair < line_.size() ? line_[pair] : last_line_, what);
    }

    // Cutting the text into groups.
    const std::string *text_ = nullptr;
    size_t pos_ = 0, nul_ = std::string::npos;
    int line_no_ = 0;
    bool next_line(std::string &out, Drawing &d);
    int group_code(const std::string &code_text, int at) const;
    void check_value(int code, const std::string &value) const;
    void cut_groups(const std::string &text, Drawing &d);

    std::string file_text() const;
    void read_sections(Drawing &d);
    size_t section_end(size_t from, const std::string &name) const;
    void read_header(size_t b, size_t e, Drawing &d);
    void read_tables(size_t b, size_t e, Drawing &d, std::vector<DxfPair> &out);
    void read_entities(size_t b, size_t e, Drawing &d);
    void check_counts(const Entity &e, size_t at) const;
};

// Shows a piece of the file in a message: printable, short.
std::string shown(const std::string &s)
{
    std::string out;
    for (unsigned char c : s) {
        if (out.size() >= 40) {
            out += "...";
            break;
        }
        if (c >= 32 && c < 127)
            out += (char)c;
        else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return "\"" + out + "\"";
}

// The next line of the text (without its LF or CR LF) into `out`; false at
// the end.  The first line's end tells how the file ends its lines.
bool Reader::next_line(std::string &out, Drawing &d)
{
    const std::string &text = *text_;
    if (pos_ >= text.size())
        return false;
    size_t nl = text.find('\n', pos_);
    size_t end = nl == std::string::npos ? text.size() : nl;
    if (nul_ != std::string::npos && nul_ < end)
        fail(line_no_ + 1, "binary data in the file; not a text DXF file");
    size_t stop = end;
    if (stop > pos_ && text[stop - 1] == '\r')
        stop--;
    if (line_no_ == 0)
        d.crlf = stop < end;
    out.assign(text, pos_, stop - pos_);
    pos_ = nl == std::string::npos ? text.size() : nl + 1;
    line_no_++;
    return true;
}

// The group code on line `at`, in range.
int Reader::group_code(const std::string &code_text, int at) const
{
    long long code = 0;
    if (!dxf_parse_int(code_text, code)) {
        if (pos_ >= text_->size() && text_->back() != '\n')
            fail(at, "the file ends in the middle of a line (truncated?)");
        fail(at, pairs_.empty() ? "not a DXF file (a group code was expected, found " + shown(code_text) + ")"
                                : "group code expected, found " + shown(code_text));
    }
    if (code < 0 || code > 1071)
        fail(at, "group code " + std::to_string(code) + " is out of range");
    return (int)code;
}

// A number group must hold a number of its kind (on the line just read).
void Reader::check_value(int code, const std::string &value) const
{
    switch (dxf_value_kind(code)) {
    case DxfValueKind::real: {
        double v;
        if (!parse_real(value, v))
            fail(line_no_, "bad number " + shown(value) + " for group " + std::to_string(code));
        break;
    }
    case DxfValueKind::integer: {
        long long v;
        if (!dxf_parse_int(value, v) || v < INT32_MIN || v > UINT32_MAX) {
            if (!(code >= 160 && code <= 169) || !dxf_parse_int(value, v))
                fail(line_no_, "bad integer " + shown(value) + " for group " + std::to_string(code));
        }
        break;
    }
    case DxfValueKind::text:
        break;
    }
}

void Reader::cut_groups(const std::string &text, Drawing &d)
{
    static const char binary_sentinel[] = "AutoCAD Binary DXF";
    if (text.compare(0, sizeof binary_sentinel - 1, binary_sentinel) == 0)
        fail(1, "binary DXF; only text (ASCII) DXF can be read");
    if (text.empty())
        fail(1, "empty file, not a DXF drawing");
    text_ = &text;
    nul_ = text.find('\0');
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        d.layout.bom = true;           // some writers start UTF-8 files with a BOM
        pos_ = 3;
    }
    size_t line_count = (size_t)std::count(text.begin(), text.end(), '\n');
    pairs_.reserve(line_count / 2 + 1);
    line_.reserve(line_count / 2 + 1);
    int padded = 0, plain = 0;
    std::string code_text, value;
    bool eof = false;
    while (next_line(code_text, d)) {
        int code_line = line_no_;
        int code = group_code(code_text, code_line);
        if (code < 100 && !code_text.empty())
            (code_text[0] == ' ' ? padded : plain)++;
        if (!next_line(value, d))
            fail(code_line, "the file ends after a group code (truncated?)");
        check_value(code, value);
        if (pairs_.empty() && !(code == 0 || code == 999))
            fail(code_line, "not a DXF file (it must begin with \"0\" and \"SECTION\")");
        pairs_.push_back(DxfPair{code, value});
        line_.push_back(code_line);
        if (code == 0 && trim(value) == "EOF") {
            eof = true;
            break;
        }
    }
    last_line_ = line_no_;
    text_ = nullptr;
    if (!eof)
        fail(last_line_, "the file ends without \"EOF\" (truncated?)");
    d.layout.code_padded = padded >= plain;
}

// Index of the "0 ENDSEC" that closes the section opened at `from`.
size_t Reader::section_end(size_t from, const std::string &name) const
{
    for (size_t i = from; i < pairs_.size(); i++) {
        if (pairs_[i].code != 0)
            continue;
        std::string v = trim(pairs_[i].value);
        if (v == "ENDSEC")
            return i;
        if (v == "SECTION" || v == "EOF")
            fail_at(i, "section " + name + " has no ENDSEC");
    }
    fail(last_line_, "section " + name + " has no ENDSEC");
}

void Reader::read_header(size_t b, size_t e, Drawing &d)
{
    std::string var;
    bool version_seen = false;
    for (size_t i = b; i < e; i++) {
        const DxfPair &p = pairs_[i];
        if (p.code == 9) {
            var = upper(trim(p.value));
            continue;
        }
        if (var == "$ACADVER" && p.code == 1) {
            d.version = trim(p.value);
            version_seen = true;
            if (dxf_release(d.version) == 0)
                fail(line_[i] + 1, "unknown DXF version " + shown(d.version) +
                                       " (R12 to R2018 can be read)");
        } else if (var == "$CLAYER" && p.code == 8) {
            d.current_layer = trim(p.value);
        } else if (var == "$CECOLOR" && p.code == 62) {
            d.current_colour = dxf_int(p.value);
        }
    }
    if (!version_seen)
        d.version = "AC1009";
}

void Reader::read_tables(size_t b, size_t e, Drawing &d, std::vector<DxfPair> &out)
{
    std::string table;
    bool in_table_head = false;
    bool layers_seen = false;
    size_t i = b;
    while (i < e) {
        const DxfPair &p = pairs_[i];
        std::string v = p.code == 0 ? upper(trim(p.value)) : std::string();
        if (p.code == 0 && v == "TABLE") {
            if (i + 1 >= e || pairs_[i + 1].code != 2)
                fail_at(i, "TABLE without a name (group 2)");
            table = upper(trim(pairs_[i + 1].value));
            if (table == "LAYER") {
                if (layers_seen)
                    fail_at(i, "a second LAYER table");
                layers_seen = true;
            }
            in_table_head = true;
            out.push_back(p);
            out.push_back(pairs_[i + 1]);
            i += 2;
            continue;
        }
        if (p.code == 0 && v == "ENDTAB") {
            if (table == "LAYER" && d.layout.layer_records_at == DxfLayout::none)
                d.layout.layer_records_at = out.size();
            table.clear();
            in_table_head = false;
            out.push_back(p);
            i++;
            continue;
        }
        if (p.code == 0) {
            in_table_head = false;
            // A table record: its groups up to the next code 0.
            size_t j = i + 1;
            while (j < e && pairs_[j].code != 0)
                j++;
            if (table == "LAYER" && v == "LAYER") {
                if (d.layout.layer_records_at == DxfLayout::none)
                    d.layout.layer_records_at = out.size();
                Layer l;
                l.raw.assign(from(i), from(j));
                for (size_t k = 1; k < l.raw.size(); k++) {
                    if (l.raw[k].code == 2 && l.name.empty())
                        l.name = trim(l.raw[k].value);
                    else if (l.raw[k].code == 62)
                        l.colour = dxf_int(l.raw[k].value);
                }
                if (l.name.empty())
                    fail_at(i, "LAYER without a name (group 2)");
                d.layers.push_back(std::move(l));
                d.layout.layers_read++;
            } else {
                if (table == "BLOCK_RECORD" && v == "BLOCK_RECORD") {
                    std::string name, handle;
                    for (size_t k = i + 1; k < j; k++) {
                        if (pairs_[k].code == 2) name = trim(pairs_[k].value);
                        if (pairs_[k].code == 5) handle = trim(pairs_[k].value);
                    }
                    if (same_name(name, "*Model_Space"))
                        d.layout.model_space = handle;
                }
                out.insert(out.end(), from(i), from(j));
            }
            i = j;
            continue;
        }
        if (in_table_head && table == "LAYER") {
            if (p.code == 70 && d.layout.layer_count_at == DxfLayout::none)
                d.layout.layer_count_at = out.size();
            if (p.code == 5)
                d.layout.layer_table = trim(p.value);
        }
        out.push_back(p);
        i++;
    }
}

// A polygon mesh's vertex counts must fit the vertices that follow it: the
// readers of the export size their rows by them.
void Reader::check_counts(const Entity &e, size_t at) const
{
    if (e.type != "POLYLINE" || !(e.poly_flags & (16 | 64)))
        return;
    long long have = (long long)e.pts.size();
    auto bad = [&](long long m, long long n) {
        return m < 0 || n < 0 || m > 32767 || n > 32767 || m * n > have;
    };
    std::string what;
    if ((e.poly_flags & 16) && (bad(e.mesh_m, e.mesh_n) || e.mesh_m * e.mesh_n == 0))
        what = std::to_string(e.mesh_m) + " x " + std::to_string(e.mesh_n);
    else if ((e.poly_flags & 16) && (e.poly_flags & 4) && bad(e.smooth_m, e.smooth_n))
        what = std::to_string(e.smooth_m) + " x " + std::to_string(e.smooth_n) + " smoothed";
    else if ((e.poly_flags & 64) && (bad(e.mesh_m, 1) || bad(e.mesh_n, 1)))
            what = std::to_string(e.mesh_m) + " vertex and " + std::to_string(e.mesh_n) + " face";
    if (!what.empty())
        fail_at(at, "POLYLINE mesh of " + what + " vertices has " + std::to_string(have) + " VERTEX entities");
}

void Reader::read_entities(size_t b, size_t e, Drawing &d)
{
    size_t i = b;
    size_t comments_from = b;      // 999 comments are kept with the entity after them
    while (i < e) {
        if (pairs_[i].code == 999) {
            i++;
            continue;
        }
        if (pairs_[i].code != 0)
            fail_at(i, "an entity (group 0) was expected, found group " + std::to_string(pairs_[i].code));
        std::string type = upper(trim(pairs_[i].value));
        if (type == "VERTEX" || type == "SEQEND")
            fail_at(i, type + " without the POLYLINE or INSERT it belongs to");
        auto next_entity = [&](size_t k) {
            k++;
            while (k < e && pairs_[k].code != 0)
                k++;
            return k;
        };
        size_t j = next_entity(i);
        auto type_at = [&](size_t k) { return k < e ? upper(trim(pairs_[k].value)) : std::string(); };
        if (type == "POLYLINE" || (type == "INSERT" && type_at(j) == "ATTRIB")) {
            const char *sub = type == "POLYLINE" ? "VERTEX" : "ATTRIB";
            while (type_at(j) == sub)
                j = next_entity(j);
            if (type_at(j) == "SEQEND")
                j = next_entity(j);
        }
        Entity ent;
        ent.raw.assign(from(comments_from), from(j));
        dxf_fields_from_raw(ent);
        check_counts(ent, i);
        d.add(std::move(ent));
        i = comments_from = j;
    }
    if (comments_from < e && !d.entities.empty()) {
        auto &raw = d.entities.back().raw;
        raw.insert(raw.end(), from(comments_from), from(e));
    }
}

std::string Reader::file_text() const
{
    std::ifstream in(path_, std::ios::binary);
    if (!in)
        throw DxfError{path_ + ": cannot open: " + std::strerror(errno)};
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad())
        throw DxfError{path_ + ": cannot read: " + std::strerror(errno)};
    return ss.str();
}

// Section by section: HEADER and TABLES read and kept, ENTITIES read into
// entities, the others kept before or after the entities.
void Reader::read_sections(Drawing &d)
{
    bool header_seen = false, tables_seen = false, entities_seen = false, after = false;
    size_t i = 0;
    while (i < pairs_.size()) {
        const DxfPair &p = pairs_[i];
        std::vector<DxfPair> &out = after ? d.after_entities : d.before_entities;
        if (p.code == 0 && trim(p.value) == "EOF")
            break;
        if (p.code == 999) {
            out.push_back(p);
            i++;
            continue;
        }
        if (p.code != 0 || upper(trim(p.value)) != "SECTION")
            fail_at(i, "\"SECTION\" expected, found " + shown(p.value));
        if (i + 1 >= pairs_.size() || pairs_[i + 1].code != 2)
            fail_at(i, "SECTION without a name (group 2)");
        std::string name = upper(trim(pairs_[i + 1].value));
        size_t end = section_end(i + 2, name);
        if (name == "ENTITIES") {
            if (entities_seen)
                fail_at(i, "a second ENTITIES section");
            entities_seen = after = true;
            read_entities(i + 2, end, d);
        } else {
            if (name == "OBJECTS" || name == "THUMBNAILIMAGE" || name == "ACDSDATA")
                after = true;
            std::vector<DxfPair> &dst = after ? d.after_entities : d.before_entities;
            if (name == "HEADER") {
                if (header_seen || after)
                    fail_at(i, "a second or misplaced HEADER section");
                header_seen = true;
                read_header(i + 2, end, d);
            }
            if (name == "TABLES") {
                if (tables_seen)
                    fail_at(i, "a second TABLES section");
                tables_seen = true;
                if (after)
                    fail_at(i, "TABLES after the entities");
                dst.push_back(pairs_[i]);
                dst.push_back(pairs_[i + 1]);
                read_tables(i + 2, end, d, dst);
                dst.push_back(pairs_[end]);
            } else {
                dst.insert(dst.end(), from(i), from(end + 1));
            }
        }
        i = end + 1;
    }
    d.layout.had_header = header_seen;
}

Drawing Reader::read()
{
    Drawing d;
    d.layout.from_file = true;
    cut_groups(file_text(), d);
    read_sections(d);
    if (!d.layer("0") && d.layout.layer_records_at == DxfLayout::none) {
        // A file without a LAYER table: layer 0 exists all the same.
        Layer zero;
        zero.name = "0";
        d.layers.push_back(zero);
        d.layout.layers_read = 1;
    }
    return d;
}

}  // namespace

Drawing load_dxf(const std::string &path)
{
    Reader r(path);
    Drawing d = r.read();
    std::string base = path.substr(path.find_last_of('/') + 1);
    d.name = base.substr(0, base.find_last_of('.'));
    return d;
}

}  // namespace velmora
