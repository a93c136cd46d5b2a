// dxf_read.cpp -- reads an ASCII DXF file (R12 to R2018) into a Drawing.
//
// The file is first cut into groups (a code line and a value line), every
// number checked by the kind its code carries, then walked section by
// section:
//
//   HEADER    kept as read; $ACADVER, $CLAYER, $CECOLOR taken from it
//   TABLES    kept as read, except the LAYER records, which become Layers
//             (each with its groups) and are put back in place by a save
//   ENTITIES  one Entity per entity with its groups (the bytes of its
//             lines); POINT, LINE, 3DFACE and POLYLINE also get their fields
//             filled.  The cut keeps no groups of this section, only where
//             it stands: a drawing of a million entities would otherwise
//             hold 16 bytes per group while it is read.
//   others    kept as read, before or after the entities
//
// Anything that is not a well-formed DXF text file ends with a DxfError
// "FILE: line N: what".
#include "drawing.h"
#include "dxf_common.h"
#include "text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <set>

#include <sys/stat.h>

namespace velmora {

// ---------------------------------------------------------------------------
// The reader

namespace {

class Reader {
public:
    explicit Reader(const std::string &path) : path_(path), src_(std::make_shared<DxfSource>()) {}
    Drawing read();

private:
    std::string path_;
    // The file's text, which the drawing keeps: entities and layer records
    // hold runs of its lines, the other sections copies of the groups cut
    // here (views into the same text).  In place of the body of an ENTITIES
    // section the groups hold one marker (code entities_body, size the
    // index in bodies_).
    std::shared_ptr<DxfSource> src_;
    std::vector<DxfPair> pairs_;
    std::vector<DxfGroups> bodies_;
    static constexpr int entities_body = -1;
    int last_line_ = 0;

    // Where pair i's code line begins.
    const char *line_start(size_t i) const
    {
        const char *b = src_->text.data(), *q = pairs_[i].at - 1;
        while (q > b && q[-1] != '\n')
            q--;
        return q;
    }
    void copy(std::vector<DxfPair> &out, size_t b, size_t e) const
    {
        out.insert(out.end(), pairs_.begin() + (long)b, pairs_.begin() + (long)e);
    }

    [[noreturn]] void fail(int line, const std::string &what) const
    {
        throw DxfError{path_ + ": line " + std::to_string(line) + ": " + what};
    }
    // The line of pair i's code: counted only for a message, so that no
    // line number is kept per group.
    int line_of(size_t i) const { return line_at(pairs_[i].at); }
    int line_at(const char *value) const
    {
        const char *text = src_->text.data();
        return (int)std::count(text, value, '\n');
    }
    [[noreturn]] void fail_at(size_t pair, const std::string &what) const
    {
        fail(pair < pairs_.size() ? line_of(pair) : last_line_, what);
    }

    // Cutting the text into groups.
    const std::string_view *text_ = nullptr;
    size_t pos_ = 0, nul_ = std::string::npos;
    int line_no_ = 0;
    bool line_as_written_ = true;   // the last line read ends as a save ends it
    bool next_line(std::string_view &out, Drawing &d);
    int group_code(std::string_view code_text, int at) const;
    void check_value(int code, std::string_view value) const;
    void cut_groups(const std::string_view &text, Drawing &d);

    void read_file();
    void read_sections(Drawing &d);
    size_t section_end(size_t from, const std::string &name) const;
    void read_header(size_t b, size_t e, Drawing &d);
    void read_tables(size_t b, size_t e, Drawing &d, std::vector<DxfPair> &out);
    void read_entities(const DxfGroups &body, Drawing &d);
    void check_counts(const Entity &e, const char *at) const;
};

// Shows a piece of the file in a message: printable, short.
std::string shown(std::string_view s)
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
bool Reader::next_line(std::string_view &out, Drawing &d)
{
    const std::string_view &text = *text_;
    if (pos_ >= text.size())
        return false;
    const char *base = text.data();
    const void *at = std::memchr(base + pos_, '\n', text.size() - pos_);
    size_t nl = at ? (size_t)(static_cast<const char *>(at) - base) : std::string::npos;
    size_t end = nl == std::string::npos ? text.size() : nl;
    if (nul_ != std::string::npos && nul_ < end)
        fail(line_no_ + 1, "binary data in the file; not a text DXF file");
    // The line end is LF or CR LF; further CRs before it go too, as a value
    // ending in CR could not be written back in an LF file.
    size_t stop = end;
    while (stop > pos_ && text[stop - 1] == '\r')
        stop--;
    if (line_no_ == 0)
        d.crlf = stop < end;
    line_as_written_ = nl != std::string::npos && end - stop == (d.crlf ? 1u : 0u);
    if (stop - pos_ > UINT32_MAX)
        fail(line_no_ + 1, "a line of more than 4 GB; not a DXF file");
    out = std::string_view(base + pos_, stop - pos_);
    pos_ = nl == std::string::npos ? text.size() : nl + 1;
    line_no_++;
    return true;
}

// The group code on line `at`, in range.
int Reader::group_code(std::string_view code_text, int at) const
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
void Reader::check_value(int code, std::string_view value) const
{
    switch (dxf_value_kind(code)) {
    case DxfValueKind::real: {
        double v;
        if (!parse_real(value, v))
            fail(line_no_, "bad number " + shown(value) + " for group " + std::to_string(code));
        break;
    }
    case DxfValueKind::integer: {
        // 160-169 hold 64 bits; 90-99, 420-429, 440-459 and 1071 32 bits,
        // which writers give signed or unsigned; the rest (colours, flags,
        // counts) 16 bits, which must fit the host's int: a colour of
        // 4294967295 is no colour 0 (nor -1), it is a broken file.
        bool wide = (code >= 90 && code <= 99) || (code >= 420 && code <= 429) ||
                    (code >= 440 && code <= 459) || code == 1071;
        long long v;
        bool ok = dxf_parse_int(value, v);
        if (ok && !(code >= 160 && code <= 169))
            ok = v >= INT32_MIN && v <= (wide ? (long long)UINT32_MAX : (long long)INT32_MAX);
        if (!ok)
            fail(line_no_, "bad integer " + shown(value) + " for group " + std::to_string(code));
        break;
    }
    case DxfValueKind::text:
        break;
    }
}

void Reader::cut_groups(const std::string_view &text, Drawing &d)
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
    // Which section the groups are in, as read_sections will find them: the
    // body of an ENTITIES section is not kept as groups.
    enum { between, named, inside, in_entities } where = between;
    const char *body = nullptr;
    // Whether every line of the entities stands as a save would write it,
    // for either way of writing the codes.
    bool as_padded = true, as_plain = true, ends_as_written = true;
    int padded = 0, plain = 0;
    std::string_view code_text, value;
    bool eof = false;
    for (;;) {
        const char *code_at = text.data() + pos_;
        if (!next_line(code_text, d))
            break;
        bool ends_written = line_as_written_;
        int code_line = line_no_;
        int code = group_code(code_text, code_line);
        if (code < 100 && !code_text.empty())
            (code_text[0] == ' ' ? padded : plain)++;
        char buf[8] = "  ";
        auto r = std::to_chars(buf + 2, buf + sizeof buf, code);
        std::string_view digits(buf + 2, (size_t)(r.ptr - buf - 2));
        size_t width = std::max<size_t>(3, digits.size());
        bool plain_form = code_text == digits;
        bool padded_form = code_text == std::string_view(r.ptr - width, width);
        if (!next_line(value, d))
            fail(code_line, "the file ends after a group code (truncated?)");
        check_value(code, value);
        if (pairs_.empty() && !(code == 0 || code == 999))
            fail(code_line, "not a DXF file (it must begin with \"0\" and \"SECTION\")");
        std::string ends = code == 0 ? trim(value) : std::string();
        bool section_over = ends == "ENDSEC" || ends == "SECTION" || ends == "EOF";
        if (where == in_entities) {
            if (!section_over) {
                as_plain = as_plain && plain_form;
                as_padded = as_padded && padded_form;
                ends_as_written = ends_as_written && ends_written && line_as_written_;
                continue;
            }
            bodies_.push_back(DxfGroups(body, code_at));
            DxfPair marker(entities_body, std::string_view(body, 0));
            marker.size = (std::uint32_t)(bodies_.size() - 1);
            pairs_.push_back(marker);
            where = between;
        } else if (where == between) {
            if (code == 0 && upper(ends) == "SECTION")
                where = named;
        } else if (where == named) {
            where = code == 2 && upper(trim(value)) == "ENTITIES" ? in_entities : inside;
            body = text.data() + pos_;
        } else if (section_over) {
            where = between;
        }
        pairs_.push_back(DxfPair{code, value});
        if (ends == "EOF") {
            eof = true;
            break;
        }
    }
    last_line_ = line_no_;
    text_ = nullptr;
    if (!eof)
        fail(last_line_, "the file ends without \"EOF\" (truncated?)");
    d.layout.code_padded = padded >= plain;
    d.layout.verbatim = ends_as_written && (d.layout.code_padded ? as_padded : as_plain);
}

// Index of the "0 ENDSEC" that closes the section opened at `from`.
size_t Reader::section_end(size_t from, const std::string &name) const
{
    for (size_t i = from; i < pairs_.size(); i++) {
        if (pairs_[i].code != 0)
            continue;
        std::string v = trim(pairs_[i].value());
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
    // Only a variable's first entry, and in it the first group of its code,
    // counts, as for the writer, which puts the session's current layer and
    // colour in place of that group (or adds the variable when that entry
    // lacks it).
    std::set<std::string> named;
    bool version_seen = false, layer_seen = false, colour_seen = false;
    for (size_t i = b; i < e; i++) {
        const DxfPair &p = pairs_[i];
        if (p.code == 9 || p.code == 0) {
            var.clear();
            if (p.code == 9 && named.insert(upper(trim(p.value()))).second)
                var = upper(trim(p.value()));
            continue;
        }
        if (var == "$ACADVER" && p.code == 1 && !version_seen) {
            d.version = trim(p.value());
            version_seen = true;
            if (dxf_release(d.version) == 0)
                fail(line_of(i) + 1, "unknown DXF version " + shown(d.version) +
                                       " (R12 to R2018 can be read)");
        } else if (var == "$CLAYER" && p.code == 8 && !layer_seen) {
            d.current_layer = trim(p.value());
            layer_seen = true;
        } else if (var == "$CECOLOR" && p.code == 62 && !colour_seen) {
            d.current_colour = dxf_int(p.value());
            colour_seen = true;
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
        std::string v = p.code == 0 ? upper(trim(p.value())) : std::string();
        if (p.code == 0 && v == "TABLE") {
            if (i + 1 >= e || pairs_[i + 1].code != 2)
                fail_at(i, "TABLE without a name (group 2)");
            table = upper(trim(pairs_[i + 1].value()));
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
                l.raw = DxfGroups(line_start(i), line_start(j));
                bool coloured = false;      // the first 62 counts: the save rewrites that one
                for (size_t k = i + 1; k < j; k++) {
                    if (pairs_[k].code == 2 && l.name.empty())
                        l.name = trim(pairs_[k].value());
                    else if (pairs_[k].code == 62 && !coloured) {
                        l.colour = dxf_int(pairs_[k].value());
                        coloured = true;
                    }
                }
                if (l.name.empty())
                    fail_at(i, "LAYER without a name (group 2)");
                d.layers.push_back(std::move(l));
                d.layout.layers_read++;
            } else {
                if (table == "BLOCK_RECORD" && v == "BLOCK_RECORD") {
                    std::string name, handle;
                    for (size_t k = i + 1; k < j; k++) {
                        if (pairs_[k].code == 2) name = trim(pairs_[k].value());
                        if (pairs_[k].code == 5) handle = trim(pairs_[k].value());
                    }
                    if (same_name(name, "*Model_Space"))
                        d.layout.model_space = handle;
                }
                copy(out, i, j);
            }
            i = j;
            continue;
        }
        if (in_table_head && table == "LAYER") {
            if (p.code == 70 && d.layout.layer_count_at == DxfLayout::none)
                d.layout.layer_count_at = out.size();
            if (p.code == 5)
                d.layout.layer_table = trim(p.value());
        }
        out.push_back(p);
        i++;
    }
}

// A polygon mesh's vertex counts must fit the vertices that follow it: the
// readers of the export size their rows by them.
void Reader::check_counts(const Entity &e, const char *at) const
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
        fail(line_at(at), "POLYLINE mesh of " + what + " vertices has " + std::to_string(have) + " VERTEX entities");
}

void Reader::read_entities(const DxfGroups &body, Drawing &d)
{
    using group = DxfGroups::iterator;
    const group e = body.end();
    group i = body.begin();
    group comments_from = i;       // 999 comments are kept with the entity after them
    while (i != e) {
        if (i->code == 999) {
            ++i;
            continue;
        }
        if (i->code != 0)
            fail(line_at(i->at), "an entity (group 0) was expected, found group " + std::to_string(i->code));
        std::string type = upper(trim(i->value()));
        if (type == "VERTEX" || type == "SEQEND")
            fail(line_at(i->at), type + " without the POLYLINE or INSERT it belongs to");
        auto next_entity = [&](group k) {
            ++k;
            while (k != e && k->code != 0)
                ++k;
            return k;
        };
        group j = next_entity(i);
        auto type_at = [&](const group &k) { return k != e ? upper(trim(k->value())) : std::string(); };
        if (type == "POLYLINE" || (type == "INSERT" && type_at(j) == "ATTRIB")) {
            const char *sub = type == "POLYLINE" ? "VERTEX" : "ATTRIB";
            while (type_at(j) == sub)
                j = next_entity(j);
            if (type_at(j) == "SEQEND")
                j = next_entity(j);
        }
        Entity ent;
        ent.raw = DxfGroups(comments_from.position(), j.position());
        dxf_fields_from_raw(ent);
        check_counts(ent, i->at);
        d.add(std::move(ent));
        i = comments_from = j;
    }
    if (comments_from != e && !d.entities.empty())
        d.entities.back().raw.last = body.last;
}

// The whole file into the source's text, in memory of its size mapped for
// large pages (a file that grows while read, or a pipe, gets more room).
void Reader::read_file()
{
    std::FILE *f = std::fopen(path_.c_str(), "rb");
    if (!f)
        throw DxfError{path_ + ": cannot open: " + std::strerror(errno)};
    struct stat st;
    std::size_t expected = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) ? (std::size_t)st.st_size : 0;
    DxfSource &src = *src_;
    std::size_t size = 0, n = 1;
    bool bad = false;
    while (n > 0 && !bad) {
        if (size == src.room && !src.make_room(std::max(expected + 1, size * 2)))
            bad = true;
        else
            src.text = std::string_view(src.memory, size += (n = std::fread(src.memory + size, 1, src.room - size, f)));
    }
    bad = bad || std::ferror(f);
    int err = errno;
    std::fclose(f);
    if (bad)
        throw DxfError{path_ + ": cannot read: " + std::strerror(err)};
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
        if (p.code == 0 && trim(p.value()) == "EOF")
            break;
        if (p.code == 999) {
            out.push_back(p);
            i++;
            continue;
        }
        if (p.code != 0 || upper(trim(p.value())) != "SECTION")
            fail_at(i, "\"SECTION\" expected, found " + shown(p.value()));
        if (i + 1 >= pairs_.size() || pairs_[i + 1].code != 2)
            fail_at(i, "SECTION without a name (group 2)");
        std::string name = upper(trim(pairs_[i + 1].value()));
        size_t end = section_end(i + 2, name);
        if (name == "ENTITIES") {
            if (entities_seen)
                fail_at(i, "a second ENTITIES section");
            entities_seen = after = true;
            if (pairs_[i + 2].code == entities_body)
                read_entities(bodies_[pairs_[i + 2].size], d);
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
                copy(dst, i, end + 1);
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
    read_file();
    cut_groups(src_->text, d);
    read_sections(d);
    d.source = src_;
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
