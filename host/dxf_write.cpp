// dxf_write.cpp -- DXF text group by group, and new entities and layer
// records in the form of each version:
//
//   R12          plain groups; a handle (5) only when the file keeps handles
//   R2000 and    a handle (5), an owner (330: the model space block record,
//   later        a POLYLINE for its VERTEXes) and subclass markers (100)
//
// New layers take the form of layer 0's record as read, when there is one.
#include "dxf_out.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "dxf_common.h"
#include "text.h"

namespace velmora {

char *Out::block_room(std::size_t size)
{
    if (!sink || size > block_size)
        return nullptr;
    if (!text.empty())
        flush();                        // what went through `text` goes first
    if (!block_)
        block_.reset(new char[block_size]);
    if (block_used_ + size > block_size)
        flush();
    return block_.get() + block_used_;
}

namespace {

struct CodeColumns {
    char t[1000][4];
    constexpr CodeColumns() : t()
    {
        for (int c = 0; c < 1000; c++) {
            t[c][0] = c >= 100 ? (char)('0' + c / 100) : ' ';
            t[c][1] = c >= 10 ? (char)('0' + c / 10 % 10) : ' ';
            t[c][2] = (char)('0' + c % 10);
            t[c][3] = '\n';
        }
    }
};
constexpr CodeColumns columns;

}  // namespace

const char (&Out::code_columns)[1000][4] = columns.t;

void Out::pair_slow(int code, std::string_view value)
{
    if (discard)
        return;
    // The code as "%3d" or "%d" writes it (codes are 0 to 1071), its line
    // end, the value and its line end, put together in the block or here,
    // and then appended at once: millions of groups are written, and
    // growing the text by each piece, or zero-filling it first, cost more
    // than the copying.
    char digits[16];
    const char *code_text = digits;
    std::size_t n, pad = 0, eol = crlf ? 2 : 1;
    if (code >= 0 && code < 1000) {
        n = padded ? 3 : code >= 100 ? 3 : code >= 10 ? 2 : 1;
        code_text = code_columns[code] + 3 - n;
    } else {
        n = (std::size_t)(std::to_chars(digits, digits + sizeof digits, code).ptr - digits);
        pad = padded && n < 3 ? 3 - n : 0;
    }
    std::size_t size = pad + n + eol + value.size() + eol;
    char local[256];
    // The block's room is looked at here first, without a call: the usual
    // case when there is a sink.
    char *start = sink && block_ && text.empty() && block_used_ + size <= block_size
                      ? block_.get() + block_used_
                      : block_room(size);
    if (start == nullptr && size > sizeof local) {
        flush();                        // what the block holds goes first
        text.append(pad, ' ');
        text.append(code_text, n);
        text.append(crlf ? "\r\n" : "\n");
        text.append(value);
        text.append(crlf ? "\r\n" : "\n");
        spill();
        return;
    }
    char *o = start != nullptr ? start : local;
    for (std::size_t i = 0; i < pad; i++)
        *o++ = ' ';
    for (std::size_t i = 0; i < n; i++)
        *o++ = code_text[i];
    if (crlf)
        *o++ = '\r';
    *o++ = '\n';
    if (!value.empty())
        std::memcpy(o, value.data(), value.size());
    o += value.size();
    if (crlf)
        *o++ = '\r';
    *o++ = '\n';
    if (start != nullptr) {
        block_used_ += size;
        return;
    }
    text.append(local, size);
    spill();
}

void Out::put(std::string_view s)
{
    if (discard)
        return;
    if (char *at = block_room(s.size())) {
        if (!s.empty())
            std::memcpy(at, s.data(), s.size());
        block_used_ += s.size();
        return;
    }
    if (sink) {
        flush();
        sink->put(s.data(), s.size());
        return;
    }
    text += s;
}

void Out::flush()
{
    if (!sink)
        return;
    if (!text.empty()) {
        sink->put(text.data(), text.size());
        text.clear();
    }
    if (block_used_ > 0) {
        sink->put(block_.get(), block_used_);
        block_used_ = 0;
    }
}

namespace {

const std::uint64_t pow10[20] = {
    1ULL, 10ULL, 100ULL, 1000ULL, 10000ULL, 100000ULL, 1000000ULL, 10000000ULL, 100000000ULL,
    1000000000ULL, 10000000000ULL, 100000000000ULL, 1000000000000ULL, 10000000000000ULL,
    100000000000000ULL, 1000000000000000ULL, 10000000000000000ULL, 100000000000000000ULL,
    1000000000000000000ULL, 10000000000000000000ULL};

// "00" to "99": digits go out two at a time.
struct DigitPairs {
    char t[200];
    constexpr DigitPairs() : t()
    {
        for (int i = 0; i < 100; i++) {
            t[2 * i] = (char)('0' + i / 10);
            t[2 * i + 1] = (char)('0' + i % 10);
        }
    }
};
constexpr DigitPairs digit_pairs;

// The `len` last decimal digits of `v`, zeros in front, at o[0] to o[len - 1]:
// eight at a time in 32 bits, each eight as two pairs of pairs.
inline void put_digits(char *o, std::uint64_t v, int len)
{
    while (len > 8) {
        std::uint32_t eight = (std::uint32_t)(v % 100000000);
        v /= 100000000;
        len -= 8;
        std::uint32_t hi = eight / 10000, lo = eight % 10000;
        std::memcpy(o + len, digit_pairs.t + 2 * (hi / 100), 2);
        std::memcpy(o + len + 2, digit_pairs.t + 2 * (hi % 100), 2);
        std::memcpy(o + len + 4, digit_pairs.t + 2 * (lo / 100), 2);
        std::memcpy(o + len + 6, digit_pairs.t + 2 * (lo % 100), 2);
    }
    std::uint32_t w = (std::uint32_t)v;   // below 10^8 now
    while (len >= 2) {
        len -= 2;
        std::memcpy(o + len, digit_pairs.t + 2 * (w % 100), 2);
        w /= 100;
    }
    if (len)
        o[0] = (char)('0' + w % 10);
}

// `v` in decimal digits at `o`, as to_chars writes it; returns the end.
inline char *put_integer(char *o, std::uint64_t v)
{
    int bits = 64 - __builtin_clzll(v | 1);
    int len = (bits * 1233 >> 12) + 1;   // 1233 / 4096 is about log10(2)
    if (len > 1 && v < pow10[len - 1])
        len--;
    put_digits(o, v, len);
    return o + len;
}

// llrint without the library call: to the nearest, ties to even, as the
// processor rounds by default.
inline long long round_to_integer(double x)
{
#ifdef __SSE2__
    return _mm_cvtsd_si64(_mm_set_sd(x));
#else
    return std::llrint(x);
#endif
}

}  // namespace

// A double is m * 2^k with m an integer of 53 bits.  For 2^-120 < |v| < 2^53
// the decimals are worked out in integers: the integer part is m >> -k, and
// the fraction f / 2^-k times 10^decimals, rounded to the nearest (half to
// even, as the library rounds the exact value), fits 128 bits.  The rest
// (zero, very small or large numbers, infinities) goes to to_chars.
char *fixed_chars(char *buf, double v, int decimals)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    int biased = (int)((bits >> 52) & 0x7ff);
    int shift = 1075 - biased;   // v = m * 2^-shift
    if (decimals < 0 || decimals > 16 || biased == 0 || shift < 0 || shift > 120)
        return std::to_chars(buf, buf + 398, v, std::chars_format::fixed, decimals).ptr;
    std::uint64_t m = (bits & ((1ULL << 52) - 1)) | (1ULL << 52);
    std::uint64_t whole = shift >= 64 ? 0 : m >> shift;
    unsigned __int128 fraction = shift >= 64 ? m : m & ((1ULL << shift) - 1);
    std::uint64_t part = 0;
    if (shift > 0) {
        unsigned __int128 scaled = fraction * pow10[decimals];
        unsigned __int128 below = scaled & ((((unsigned __int128)1) << shift) - 1);
        unsigned __int128 half = ((unsigned __int128)1) << (shift - 1);
        part = (std::uint64_t)(scaled >> shift);
        std::uint64_t last = decimals > 0 ? part : whole;   // the last digit kept, for a tie
        if (below > half || (below == half && (last & 1)))
            part++;
        if (part == pow10[decimals]) {
            part = 0;
            whole++;
        }
    }
    char *o = buf;
    if (bits >> 63)
        *o++ = '-';
    o = put_integer(o, whole);
    if (decimals > 0) {
        *o++ = '.';
        put_digits(o, part, decimals);
        o += decimals;
    }
    return o;
}

// A double of 1 to 10^15 that some decimal of at most 15 significant digits
// reads back to -- a coordinate read from a file, mostly -- is written from
// that decimal: two such decimals never read back to the same double (15
// digits are fewer than a double keeps), so it is the shortest text, the one
// to_chars gives.  The decimal is v rounded to 15 digits, m / 10^k with
// trailing zeros dropped; it reads back to v when m / 10^k, one division of
// exact doubles, is v.  Both the fixed and the exponent form of it are
// weighed as to_chars weighs them: with decimals, or up to five digits
// before the point, the fixed one is the shorter (or as short, which
// to_chars then takes).  Anything else goes to to_chars.
char *shortest_chars(char *buf, double v)
{
    static const double exact10[16] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    double a = std::fabs(v);
    if (a >= 1.0 && a < 1e15) {
        int whole_digits = 1;
        while (whole_digits < 15 && a >= exact10[whole_digits])
            whole_digits++;
        int k = 15 - whole_digits;
        std::uint64_t m = (std::uint64_t)round_to_integer(a * exact10[k]);
        // Trailing zeros off, while there are decimals: 8, 4, 2 and 1 at a
        // time (k is at most 14).
        if (k >= 8 && m % 100000000 == 0) {
            m /= 100000000;
            k -= 8;
        }
        if (k >= 4 && m % 10000 == 0) {
            m /= 10000;
            k -= 4;
        }
        if (k >= 2 && m % 100 == 0) {
            m /= 100;
            k -= 2;
        }
        if (k >= 1 && m % 10 == 0) {
            m /= 10;
            k -= 1;
        }
        if (m < 1000000000000000ULL && (double)m / exact10[k] == a && (k > 0 || whole_digits <= 5)) {
            char *o = buf;
            if (std::signbit(v))
                *o++ = '-';
            o = put_integer(o, m / pow10[k]);
            if (k > 0) {
                *o++ = '.';
                put_digits(o, m % pow10[k], k);
                o += k;
            }
            return o;
        }
    }
    return std::to_chars(buf, buf + 398, v).ptr;
}

// Reals: the shortest text that reads back to the same double, always with a
// point or an exponent ("1.0"), or a fixed number of decimals (the export).
Out::Recent *Out::recent_made(double v, std::uint64_t bits)
{
    if (!recent_)
        recent_.reset(new Recent[std::size_t(1) << recent_bits]);
    Recent &r = recent_[recent_slot(v)];
    char buf[400];   // room for any double in fixed notation, and ".0"
    char *end;
    if (decimals >= 0) {
        end = fixed_chars(buf, v, decimals);
    } else {
        end = shortest_chars(buf, v);   // as number_text writes it
        if (std::find_if(buf, end, [](char c) { return c == '.' || c == 'e'; }) == end) {
            *end++ = '.';
            *end++ = '0';
        }
    }
    std::size_t n = (std::size_t)(end - buf);
    if (n > sizeof r.text)
        return nullptr;
    r.bits = bits;
    r.decimals = (signed char)decimals;
    r.size = (unsigned char)n;
    std::memcpy(r.text, buf, sizeof r.text);   // a fixed size, copied without a call
    return &r;
}

void Out::num(int code, double v)
{
    if (discard)
        return;
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    if (Recent *r = recent_entry(v, bits)) {
        if (!pair_fast(code, r->text, r->size, sizeof r->text))
            pair_slow(code, std::string_view(r->text, r->size));
        return;
    }
    // Too long for an entry (a huge number with decimals): made here.
    char buf[400];
    char *end = decimals >= 0 ? fixed_chars(buf, v, decimals) : shortest_chars(buf, v);
    pair(code, std::string_view(buf, (std::size_t)(end - buf)));
}

void Out::points(int code, const Vec3 *p, int count)
{
    if (discard)
        return;
    // Anything but the usual group -- LF line ends, a sink with its block
    // going, codes below 1000 -- goes number by number.
    if (crlf || !sink || !block_ || !text.empty() || code < 0 || code + count + 19 >= 1000) {
        for (int k = 0; k < count; k++) {
            num(code + k, p[k].x);
            num(code + k + 10, p[k].y);
            num(code + k + 20, p[k].z);
        }
        return;
    }
    if (!recent_)
        recent_.reset(new Recent[std::size_t(1) << recent_bits]);
    const Recent *table = recent_.get();
    constexpr std::size_t most = 3 * (3 + 1 + sizeof(Recent::text) + 1);   // a point's three groups at most
    char *block = block_.get();
    std::size_t used = block_used_;
    // The width of the codes: the same for all of them, but for unpadded
    // codes that cross 10 or 100 (0 then: each its own).
    const int width = padded || code >= 100 ? 3 : code >= 10 && code + count + 19 < 100 ? 2 : 0;
    // One group: the code and its line feed as four bytes from the table,
    // the whole entry after them, then the value's line feed after its text
    // (what runs past is written over, or lies past the end of the block).
    auto group = [&](int c, double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        const Recent *r = &table[recent_slot(v)];
        if (r->bits != bits || r->decimals != decimals) {
            r = recent_made(v, bits);
            if (r == nullptr) {          // too long for an entry
                block_used_ = used;
                num(c, v);
                if (block_used_ + most > block_size)
                    flush();             // room again for the rest of the point
                used = block_used_;
                return;
            }
        }
        std::size_t n = width ? (std::size_t)width : c >= 100 ? 3 : c >= 10 ? 2 : 1;
        char *o = block + used;
        std::memcpy(o, code_columns[c] + 3 - n, 4);
        o += n + 1;
        std::memcpy(o, r->text, sizeof r->text);
        o[r->size] = '\n';
        used += n + r->size + 2;
    };
    for (int k = 0; k < count; k++) {
        if (used + most > block_size) {
            block_used_ = used;
            flush();
            used = 0;
        }
        group(code + k, p[k].x);
        group(code + k + 10, p[k].y);
        group(code + k + 20, p[k].z);
    }
    block_used_ = used;
}

std::string handle_text(std::uint64_t h)
{
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, h, 16);
    for (char *c = buf; c < r.ptr; c++)
        *c = (char)std::toupper((unsigned char)*c);   // as "%llX" writes it
    return std::string(buf, r.ptr);
}

std::string Form::take_handle() { return handle_text(next_handle++); }

bool parse_handle(std::string_view s, std::uint64_t &out)
{
    const char *b = s.data(), *e = b + s.size();
    while (b < e && *b == ' ')
        b++;
    while (e > b && e[-1] == ' ')
        e--;
    if (b == e)
        return false;
    auto r = std::from_chars(b, e, out, 16);
    return r.ec == std::errc() && r.ptr == e;
}

namespace {

// The subclass markers of a POLYLINE and of its vertices, by its flags.
void polyline_classes(const Entity &e, const char *&poly, const char *&vertex, int &vertex_flag)
{
    if (e.poly_flags & 16) {
        poly = "AcDbPolygonMesh"; vertex = "AcDbPolygonMeshVertex"; vertex_flag = 64;
    } else if (e.poly_flags & 64) {
        poly = "AcDbPolyFaceMesh"; vertex = "AcDbPolyFaceMeshVertex"; vertex_flag = 192;
    } else if (e.poly_flags & 8) {
        poly = "AcDb3dPolyline"; vertex = "AcDb3dPolylineVertex"; vertex_flag = 32;
    } else {
        poly = "AcDb2dPolyline"; vertex = "AcDb2dVertex"; vertex_flag = 0;
    }
}

// The groups every entity starts with: type, handle, owner, layer, colour
// and subclass markers, as the version has them.  Returns the handle given
// ("" when the file keeps none).
std::string entity_head(Out &o, const Entity &e, Form &f, const char *type, const std::string &owner,
                        const char *subclass, bool colour)
{
    std::string handle;
    o.pair(0, type);
    if (f.handles) {
        handle = f.take_handle();
        o.pair(5, handle);
    }
    if (f.r2000()) {
        if (!owner.empty())
            o.pair(330, owner);
        o.pair(100, "AcDbEntity");
    }
    o.pair(8, e.layer.empty() ? "0" : e.layer);
    if (colour && e.colour != 256)
        o.integer(62, e.colour);
    if (f.r2000() && subclass)
        o.pair(100, subclass);
    return handle;
}

// Point i of the entity; its last point (or 0,0,0) when it has fewer.
Vec3 corner(const Entity &e, std::size_t i)
{
    return i < e.pts.size() ? e.pts[i] : (e.pts.empty() ? Vec3{} : e.pts.back());
}

// A POLYLINE with its VERTEXes and SEQEND, owned by it from R2000 on.
void write_polyline(Out &o, const Entity &e, Form &f)
{
    const char *pclass, *vclass;
    int vflag;
    polyline_classes(e, pclass, vclass, vflag);
    std::string poly_handle = entity_head(o, e, f, "POLYLINE", f.model_space, pclass, true);
    o.integer(66, 1);
    o.point(10, Vec3{});
    o.integer(70, e.poly_flags);
    if (e.poly_flags & (16 | 64)) {
        o.integer(71, e.mesh_m);
        o.integer(72, e.mesh_n);
    }
    if (e.smooth_m || e.smooth_n) {
        o.integer(73, e.smooth_m);
        o.integer(74, e.smooth_n);
    }
    if (e.smooth_type)
        o.integer(75, e.smooth_type);
    for (size_t i = 0; i < e.pts.size(); i++) {
        int flags = i < e.vertex_flags.size() ? e.vertex_flags[i] : vflag;
        const char *vc = vclass;
        if ((e.poly_flags & 64) && (flags & 128) && !(flags & 64))
            vc = "AcDbFaceRecord";
        entity_head(o, e, f, "VERTEX", poly_handle, nullptr, true);
        if (f.r2000()) {
            if (!std::strcmp(vc, "AcDbFaceRecord")) {
                o.pair(100, vc);
            } else {
                o.pair(100, "AcDbVertex");
                o.pair(100, vc);
            }
        }
        o.point(10, e.pts[i]);
        o.integer(70, flags);
    }
    entity_head(o, e, f, "SEQEND", poly_handle, nullptr, false);
}

// A TEXT: one line of at most 250 characters (the limit of older versions);
// control characters, line breaks among them, become blanks.
void write_text(Out &o, const Entity &e, Form &f)
{
    const TextLabel &l = label_of(e);
    std::string t = l.text.substr(0, 250);
    for (auto &c : t)
        if ((unsigned char)c < 32)
            c = ' ';
    entity_head(o, e, f, "TEXT", f.model_space, "AcDbText", true);
    o.point(10, corner(e, 0));
    o.num(40, l.height);
    o.pair(1, t);
    if (l.angle != 0)
        o.num(50, l.angle);
    if (l.centred) {
        o.integer(72, 1);
        o.point(11, corner(e, 0));
    }
    if (f.r2000())
        o.pair(100, "AcDbText");
    if (l.centred)
        o.integer(73, 2);
}

}  // namespace

bool write_entity(Out &o, const Entity &e, Form &f)
{
    const DxfTypeNames &t = dxf_types();
    if (o.discard) {
        // A dry run only takes the handles the groups would: one for the
        // entity, and for a POLYLINE one for each VERTEX and its SEQEND.
        bool known = e.type == t.point || e.type == t.line || e.type == t.face || e.type == t.polyline ||
                     e.type == t.text;
        if (known && f.handles)
            f.next_handle += e.type == t.polyline ? e.pts.size() + 2 : 1;
        return known;
    }
    if (e.type == t.point) {
        entity_head(o, e, f, "POINT", f.model_space, "AcDbPoint", true);
        o.point(10, corner(e, 0));
    } else if (e.type == t.line) {
        entity_head(o, e, f, "LINE", f.model_space, "AcDbLine", true);
        const Vec3 ends[2] = {corner(e, 0), corner(e, 1)};
        o.points(10, ends, 2);
    } else if (e.type == t.face) {
        Vec3 c[4];
        if (e.pts.size() >= 4)
            std::copy(e.pts.begin(), e.pts.begin() + 4, c);
        else
            for (int k = 0; k < 4; k++)
                c[k] = corner(e, (size_t)k);
        for (const Vec3 &p : c) {
            o.prefetch(p.x);
            o.prefetch(p.y);
            o.prefetch(p.z);
        }
        entity_head(o, e, f, "3DFACE", f.model_space, "AcDbFace", true);
        o.points(10, c, 4);
        if (e.face_hidden)
            o.integer(70, e.face_hidden);
    } else if (e.type == t.polyline) {
        write_polyline(o, e, f);
    } else if (e.type == t.text) {
        write_text(o, e, f);
    } else {
        return false;
    }
    return true;
}

int layer_colour_in(const DxfGroups &raw)
{
    for (const auto &p : raw)
        if (p.code == 62) {
            long long c = 7;
            dxf_parse_int(p.value(), c);
            return (int)c;
        }
    return 7;
}

namespace {

// A layer read from the file: as read, with its colour as it is now.
void write_read_layer(Out &o, const Layer &l)
{
    bool patch = layer_colour_in(l.raw) != l.colour;
    bool has62 = std::any_of(l.raw.begin(), l.raw.end(), [](const DxfPair &p) { return p.code == 62; });
    bool done = false;
    for (const auto &p : l.raw) {
        if (patch && p.code == 62 && !done) {
            o.integer(62, l.colour);
            done = true;
            continue;
        }
        o.pair(p);
        if (patch && !has62 && p.code == 2 && !done) {
            o.integer(62, l.colour);
            done = true;
        }
    }
}

// A new layer, in the form of `model` (layer 0's record as read) when there is
// one: its name, colour and handle replaced, its flags cleared, and what
// belongs to layer 0 alone (reactors, extension dictionary, extended data)
// left out.
void write_new_layer(Out &o, const std::string &name, int colour, const Layer *model, Form &f,
                     const std::string &table_handle)
{
    if (model && !model->raw.empty()) {
        bool in_group = false, named = false, coloured = false;
        for (const auto &p : model->raw) {
            if (p.code == 102) {
                in_group = p.value().size() && p.value()[0] == '{';
                continue;
            }
            if (in_group || p.code == 360 || p.code >= 1000)
                continue;
            if (p.code == 5) {
                o.pair(5, f.take_handle());
            } else if (p.code == 2 && !named) {
                o.pair(2, name);
                named = true;
            } else if (p.code == 62 && !coloured) {
                o.integer(62, colour);
                coloured = true;
            } else if (p.code == 70) {
                o.integer(70, 0);
            } else {
                o.pair(p);
            }
            if (p.code == 2 && !coloured && !std::any_of(model->raw.begin(), model->raw.end(),
                                                         [](const DxfPair &q) { return q.code == 62; })) {
                o.integer(62, colour);
                coloured = true;
            }
        }
        return;
    }
    o.pair(0, "LAYER");
    if (f.r2000()) {
        o.pair(5, f.take_handle());
        if (!table_handle.empty())
            o.pair(330, table_handle);
        o.pair(100, "AcDbSymbolTableRecord");
        o.pair(100, "AcDbLayerTableRecord");
    } else if (f.handles) {
        o.pair(5, f.take_handle());
    }
    o.pair(2, name);
    o.integer(70, 0);
    o.integer(62, colour);
    o.pair(6, f.r2000() ? "Continuous" : "CONTINUOUS");
    if (f.r2000())
        o.integer(370, -3);
}

}  // namespace

void write_layers(Out &o, const Drawing &d, Form &f, size_t &count)
{
    const Layer *model = nullptr;
    for (const auto &l : d.layers)
        if (!l.raw.empty() && (!model || same_name(l.name, "0")))
            model = &l;
    std::vector<std::string> names;
    count = 0;
    for (const auto &l : d.layers) {
        if (!l.raw.empty())
            write_read_layer(o, l);
        else
            write_new_layer(o, l.name, l.colour, model, f, d.layout.layer_table);
        names.push_back(l.name);
        count++;
    }
    auto known = [&](const std::string &n) {
        return std::any_of(names.begin(), names.end(), [&](const std::string &m) { return same_name(m, n); });
    };
    if (!known("0")) {
        write_new_layer(o, "0", 7, model, f, d.layout.layer_table);
        names.push_back("0");
        count++;
    }
    for (const auto &e : d.entities) {
        if (e.erased || !e.raw.empty() || e.layer.empty() || known(e.layer))
            continue;
        write_new_layer(o, e.layer, 7, model, f, d.layout.layer_table);
        names.push_back(e.layer);
        count++;
    }
}

}  // namespace velmora
