// drawing.h -- the drawing the host works on: entities, layers, current
// layer and colour, header variables, and whatever the DXF file held that the
// host does not model, kept so that it can be written back untouched.
//
// POINT, LINE, 3DFACE and POLYLINE (3D polylines and polygon meshes, with
// their VERTEX and SEQEND) are modelled; every other entity is carried as its
// raw groups.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>
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

// One DXF group: code and value text as they stood in the file.  The value
// is a view into the text of the file read (DxfSource), which the drawing
// and every copy of it keep: a large drawing is one buffer and positions
// into it, not a string per value.
struct DxfPair {
    const char *at = "";           // 16 bytes
    std::uint32_t size = 0;
    int code = 0;
    DxfPair() = default;
    DxfPair(int c, std::string_view v) : at(v.data()), size((std::uint32_t)v.size()), code(c) {}
    std::string_view value() const { return std::string_view(at, size); }
};

// A run of consecutive groups of the file read (an entity's, a layer
// record's), kept as the bytes of their lines: codes, values and line ends
// as they stood.  Walking it cuts the lines into groups again, which is
// cheap, so that a drawing of millions of entities keeps two pointers each
// rather than 16 bytes per group; a save of an unchanged entity copies the
// bytes.  Empty for what the session made.  The reader has checked every
// code and number in it.
struct DxfGroups {
    const char *first = nullptr, *last = nullptr;
    DxfGroups() = default;
    DxfGroups(const char *b, const char *e) : first(b), last(e) {}

    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = DxfPair;
        using difference_type = std::ptrdiff_t;
        using pointer = const DxfPair *;
        using reference = const DxfPair &;
        iterator(const char *at, const char *end) : at_(at), end_(end) { cut(); }
        const DxfPair &operator*() const { return pair_; }
        const DxfPair *operator->() const { return &pair_; }
        iterator &operator++()
        {
            at_ = next_;
            cut();
            return *this;
        }
        bool operator==(const iterator &o) const { return at_ == o.at_; }
        bool operator!=(const iterator &o) const { return at_ != o.at_; }
        const char *position() const { return at_; }   // where the group's code line begins

    private:
        const char *at_, *end_, *next_ = nullptr;
        DxfPair pair_;
        void cut();
    };
    iterator begin() const { return iterator(first, last); }
    iterator end() const { return iterator(last, last); }
    bool empty() const { return first == last; }
    std::string_view bytes() const { return std::string_view(first, (std::size_t)(last - first)); }
    // These walk the groups: for the odd look, not for loops.
    std::size_t size() const;
    DxfPair operator[](std::size_t i) const;
};

// What the reader keeps of a file: its text, which groups view, in memory
// of its own (dxf_read.cpp): mapped in large pages where the system allows,
// as touching a large drawing page by page is most of the time of an open.
struct DxfSource {
    std::string_view text;
    DxfSource() = default;
    DxfSource(const DxfSource &) = delete;
    DxfSource &operator=(const DxfSource &) = delete;
    ~DxfSource();
    char *memory = nullptr;
    std::size_t room = 0;
    // Room for at least `bytes` (the text kept); false when the system has
    // no memory to give.
    bool make_room(std::size_t bytes);
};

// A short name kept once for the whole program: an entity's type and its
// layer are 8 bytes in each of millions of entities rather than a string
// each.  Reads as a const std::string &; equal names are the same object.
class Name {
public:
    Name() : s_(intern(std::string_view())) {}
    Name(const std::string &s) : s_(intern(s)) {}
    Name(const char *s) : s_(intern(s)) {}
    Name(std::string_view s) : s_(intern(s)) {}
    operator const std::string &() const { return *s_; }
    operator std::string_view() const { return *s_; }
    const std::string &str() const { return *s_; }
    const char *c_str() const { return s_->c_str(); }
    std::size_t size() const { return s_->size(); }
    bool empty() const { return s_->empty(); }
    friend bool operator==(const Name &a, const Name &b) { return a.s_ == b.s_; }
    friend bool operator!=(const Name &a, const Name &b) { return a.s_ != b.s_; }
    friend bool operator==(const Name &a, const char *b) { return *a.s_ == b; }
    friend bool operator!=(const Name &a, const char *b) { return *a.s_ != b; }
    friend bool operator==(const Name &a, const std::string &b) { return *a.s_ == b; }
    friend bool operator!=(const Name &a, const std::string &b) { return *a.s_ != b; }
    friend bool operator==(const std::string &a, const Name &b) { return a == *b.s_; }
    friend bool operator!=(const std::string &a, const Name &b) { return a != *b.s_; }
    friend std::ostream &operator<<(std::ostream &o, const Name &n) { return o << *n.s_; }

private:
    const std::string *s_;
    static const std::string *intern(std::string_view s);
};

// The points of an entity: up to four (a POINT's, a LINE's, a 3DFACE's) in
// the entity itself, more (a POLYLINE's) on the heap.  A drawing holds
// millions of faces, and a heap block of its own for each would cost an
// allocation and 40 bytes more per face.  Used as a std::vector<Vec3>.
class Points {
public:
    Points() = default;
    Points(std::initializer_list<Vec3> l) { assign(l.begin(), l.end()); }
    Points(const std::vector<Vec3> &v) { assign(v.begin(), v.end()); }
    Points(const Points &o) { assign(o.begin(), o.end()); }
    Points(Points &&o) noexcept { take(o); }
    Points &operator=(const Points &o)
    {
        if (this != &o)
            assign(o.begin(), o.end());
        return *this;
    }
    Points &operator=(Points &&o) noexcept
    {
        if (this != &o)
            take(o);
        return *this;
    }
    operator std::vector<Vec3>() const { return std::vector<Vec3>(begin(), end()); }

    // Iterators only: assign(6, 64) is a count and a value, as for a vector.
    template <class It, class = std::enable_if_t<!std::is_integral_v<It>>> void assign(It b, It e)
    {
        clear();
        for (; b != e; ++b)
            push_back(*b);
    }
    void push_back(const Vec3 &p)
    {
        if (size_ == room_)
            grow();
        data()[size_++] = p;
    }
    void pop_back() { size_--; }
    void clear() { size_ = 0; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Vec3 *data() { return on_heap() ? store_.heap : store_.inline_; }
    const Vec3 *data() const { return on_heap() ? store_.heap : store_.inline_; }
    Vec3 *begin() { return data(); }
    Vec3 *end() { return data() + size_; }
    const Vec3 *begin() const { return data(); }
    const Vec3 *end() const { return data() + size_; }
    Vec3 &operator[](std::size_t i) { return data()[i]; }
    const Vec3 &operator[](std::size_t i) const { return data()[i]; }
    Vec3 &front() { return data()[0]; }
    const Vec3 &front() const { return data()[0]; }
    Vec3 &back() { return data()[size_ - 1]; }
    const Vec3 &back() const { return data()[size_ - 1]; }

    ~Points() { release(); }

private:
    // Up to four points inside; beyond that (room_ > 4) the same bytes hold
    // the heap block's address: 104 bytes in all.
    union Store {
        Vec3 inline_[4];
        Vec3 *heap;
        Store() : heap(nullptr) {}
    } store_;
    std::uint32_t size_ = 0, room_ = 4;
    bool on_heap() const { return room_ > 4; }
    void grow();
    void take(Points &o);
    void release();
};

// The VERTEX flags of a POLYLINE, one per vertex: one heap block (count,
// room, then the flags) and a null pointer for the millions of entities that
// have none, 8 bytes in the entity rather than a vector's 24.  Used as a
// std::vector<int>.
class Flags {
public:
    Flags() = default;
    Flags(std::initializer_list<int> l) { assign(l.begin(), l.end()); }
    Flags(const Flags &o) { assign(o.begin(), o.end()); }
    Flags(Flags &&o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    ~Flags();
    Flags &operator=(const Flags &o)
    {
        if (this != &o)
            assign(o.begin(), o.end());
        return *this;
    }
    Flags &operator=(Flags &&o) noexcept
    {
        std::swap(p_, o.p_);
        return *this;
    }
    operator std::vector<int>() const { return std::vector<int>(begin(), end()); }

    // Iterators only: assign(6, 64) is a count and a value, as for a vector.
    template <class It, class = std::enable_if_t<!std::is_integral_v<It>>> void assign(It b, It e)
    {
        clear();
        for (; b != e; ++b)
            push_back(*b);
    }
    void assign(std::size_t n, int v)
    {
        clear();
        while (n-- > 0)
            push_back(v);
    }
    void push_back(int v);
    void clear()
    {
        if (p_)
            p_[0] = 0;
    }
    std::size_t size() const { return p_ ? (std::size_t)p_[0] : 0; }
    bool empty() const { return size() == 0; }
    const int *begin() const { return p_ ? p_ + 2 : nullptr; }
    const int *end() const { return p_ ? p_ + 2 + p_[0] : nullptr; }
    int operator[](std::size_t i) const { return p_[2 + i]; }
    friend bool operator==(const Flags &a, const Flags &b)
    {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }
    friend bool operator!=(const Flags &a, const Flags &b) { return !(a == b); }
    friend bool operator==(const Flags &a, const std::vector<int> &b)
    {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }
    friend bool operator==(const std::vector<int> &a, const Flags &b) { return b == a; }

private:
    int *p_ = nullptr;
};

// What a TEXT the session made says: the string, its height, its rotation
// in degrees, and whether pts[0] is its middle centre (72 = 1, 73 = 2) or
// the start of its baseline.
struct TextLabel {
    std::string text;
    double height = 0, angle = 0;
    bool centred = false;
};

struct Entity {
    // The fields are ordered to pack: a drawing holds millions of entities.
    Name type;                     // "POINT", "LINE", "3DFACE", "POLYLINE", or another type, upper case
    Name layer = "0";
    std::uint64_t id = 0;          // unique within the drawing, never reused; the sds_name of the entity
    int colour = 256;              // 62: 256 BYLAYER (also when absent), 0 BYBLOCK
    int face_hidden = 0;           // 3DFACE 70: bit 1 hides edge 1-2, 2 edge 2-3, 4 edge 3-4, 8 edge 4-1
    int poly_flags = 0;            // POLYLINE 70 (1 closed in M, 4 fitted, 8 3D polyline, 16 mesh, 32 closed in N)
    int mesh_m = 0, mesh_n = 0;    // POLYLINE 71, 72
    int smooth_m = 0, smooth_n = 0, smooth_type = 0;  // 73, 74, 75
    bool erased = false;

    // Geometry of the modelled types (world coordinates):
    //   POINT: 1 point; LINE: 2; 3DFACE: 4 corners (a three-sided face repeats the third);
    //   POLYLINE: its vertices in file order.
    Points pts;
    Flags vertex_flags;            // VERTEX 70, one per point of a POLYLINE
    // A TEXT the session made (TEXTs read from a file stay raw); held apart,
    // as few entities are TEXTs.  Copies of the entity share it, so it is
    // replaced, never changed.
    std::shared_ptr<const TextLabel> label;

    // For entities read from a file: the groups as read, from the entity's
    // own "0 TYPE" pair on (for a POLYLINE the whole run with its VERTEXes and
    // SEQEND, for an INSERT its ATTRIBs and SEQEND), in the source of the
    // drawing it was read into.  Empty for entities the session made; those
    // are written from the fields above.
    DxfGroups raw;
    // Its handle (5) as read: a view into the file's text like raw; empty
    // for what the session made, which is given one when saved.
    std::string_view handle;
};

// Memory for the drawing's entities: 2 MiB blocks mapped for large pages,
// handed out in pieces, and kept for the next entities when freed (never
// given back to the system).  A drawing of millions of entities then costs
// no allocation of its own per entity, and a page fault per 2 MiB rather
// than per 4 KiB.  The sanitizer build takes the plain allocator, which
// sees the bounds of every piece.
void *entity_memory(std::size_t bytes);
void entity_memory_back(void *p, std::size_t bytes);
template <class T>
struct EntityAllocator {
    using value_type = T;
    EntityAllocator() = default;
    template <class U> EntityAllocator(const EntityAllocator<U> &) {}
    T *allocate(std::size_t n) { return static_cast<T *>(entity_memory(n * sizeof(T))); }
    void deallocate(T *p, std::size_t n) { entity_memory_back(p, n * sizeof(T)); }
    template <class U> bool operator==(const EntityAllocator<U> &) const { return true; }
    template <class U> bool operator!=(const EntityAllocator<U> &) const { return false; }
};

// The label of a TEXT the session made; an empty one for any other entity.
const TextLabel &label_of(const Entity &e);

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
    DxfGroups raw;                 // as read; empty for a layer made in the session
};

// Where the reader found the parts a save has to touch, so that everything
// else is written back exactly as it stood.
struct DxfLayout {
    static constexpr std::size_t none = static_cast<std::size_t>(-1);
    bool from_file = false;            // false: a new drawing, saved as a complete R12 file
    bool code_padded = true;           // group codes right-aligned in three columns ("  0")
    bool had_header = false;           // the file had a HEADER section
    bool bom = false;                  // the file began with a UTF-8 byte order mark
    // Every line of the file stands as a save writes it (codes padded or not
    // as code_padded says, one LF or CR LF line end as crlf says), so that a
    // save copies the bytes of an entity read rather than its groups.
    bool verbatim = false;
    std::size_t layer_records_at = none;  // index in before_entities where the LAYER records stood
    std::size_t layer_count_at = none;    // index in before_entities of the LAYER table's 70
    std::size_t layers_read = 0;
    std::string model_space;           // handle of the *Model_Space block record (R2000 and later)
    std::string layer_table;           // handle of the LAYER table
};

struct Drawing {
    std::string version = "AC1009";            // $ACADVER of the file read
    std::string name;                          // file name read, without folder and extension
    // Drawing order.  A deque: a triangulation adds millions of entities,
    // and a vector would copy them all at every doubling and keep up to
    // twice their room.  Its blocks come from entity_memory.
    std::deque<Entity, EntityAllocator<Entity>> entities;
    std::vector<Layer> layers;
    std::string current_layer = "0";           // $CLAYER
    int current_colour = 256;                  // $CECOLOR
    std::uint64_t next_id = 1;

    // The file read, which raw groups view; shared by copies of the drawing.
    std::shared_ptr<const DxfSource> source;
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
// The drawing as DXF text in the version it was read in (R12 for a new one),
// streamed into `out` (files.h), or as one string.
struct ByteSink;
void write_dxf(const Drawing &d, ByteSink &out);
std::string dxf_text(const Drawing &d);
// The "dxfout" export: an R12 file with the given entities and `decimals`
// places after the point (ENTITIES section only, as the host's own export does).
void write_dxfout(const Drawing &d, const std::vector<std::uint64_t> &ids,
                  const std::string &path, int decimals);

}  // namespace velmora
