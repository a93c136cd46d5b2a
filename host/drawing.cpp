// drawing.cpp -- the drawing's own bookkeeping: ids, layers, extents, and
// the grid of a polygon mesh.
#include "drawing.h"
#include "text.h"

#include <algorithm>
#include <new>
#include <unordered_set>

#include <sys/mman.h>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace velmora {

// The group whose code line begins at at_: the code line and the value line
// (each without its LF and the CRs before it), and where the next begins.
void DxfGroups::iterator::cut()
{
    if (at_ >= end_)
        return;
    auto line_end = [this](const char *from, const char *&after) {
        const void *nl = std::memchr(from, '\n', (std::size_t)(end_ - from));
        after = nl ? static_cast<const char *>(nl) + 1 : end_;
        const char *stop = nl ? static_cast<const char *>(nl) : end_;
        while (stop > from && stop[-1] == '\r')
            stop--;
        return stop;
    };
    const char *value;
    const char *code_end = line_end(at_, value);
    const char *b = at_;
    while (b < code_end && (*b == ' ' || *b == '\t' || *b == '+'))
        b++;
    int code = 0;
    std::from_chars(b, code_end, code);
    const char *value_end = value < end_ ? line_end(value, next_) : (next_ = end_);
    pair_ = DxfPair(code, std::string_view(value, (std::size_t)(value_end - value)));
}

#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_PLAIN_ENTITY_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_PLAIN_ENTITY_MEMORY 1
#endif
#endif

namespace {

// Pieces of up to 4 KiB in steps of 16 bytes, cut from the current block;
// a freed piece goes on the list of its size, linked through itself.
struct EntityPool {
    static constexpr std::size_t block = std::size_t(2) << 20, largest = 4096, step = 16;
    char *next = nullptr, *end = nullptr;
    void *freed[largest / step + 1] = {};
};

EntityPool &entity_pool()
{
    static EntityPool pool;
    return pool;
}

}  // namespace

const std::string *Name::intern(std::string_view s)
{
    static std::unordered_set<std::string> names;
    // The same few names come again and again (an entity's type, its layer,
    // and the empty type and layer "0" of each new entity): the last four
    // are looked at before the set.
    static const std::string *recent[4] = {};
    static unsigned next = 0;
    for (const std::string *r : recent)
        if (r && *r == s)
            return r;
    const std::string *n = &*names.emplace(s).first;
    recent[next++ % 4] = n;
    return n;
}

void *entity_memory(std::size_t bytes)
{
#ifdef VELMORA_PLAIN_ENTITY_MEMORY
    return ::operator new(bytes);
#else
    EntityPool &p = entity_pool();
    if (bytes == 0 || bytes > EntityPool::largest)
        return ::operator new(bytes);
    std::size_t k = (bytes + EntityPool::step - 1) / EntityPool::step;
    if (void *m = p.freed[k]) {
        p.freed[k] = *static_cast<void **>(m);
        return m;
    }
    bytes = k * EntityPool::step;
    if ((std::size_t)(p.end - p.next) < bytes) {
        void *m = mmap(nullptr, EntityPool::block, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED)
            throw std::bad_alloc();
        madvise(m, EntityPool::block, MADV_HUGEPAGE);
        p.next = static_cast<char *>(m);
        p.end = p.next + EntityPool::block;
    }
    void *m = p.next;
    p.next += bytes;
    return m;
#endif
}

void entity_memory_back(void *m, std::size_t bytes)
{
#ifdef VELMORA_PLAIN_ENTITY_MEMORY
    ::operator delete(m);
#else
    if (bytes == 0 || bytes > EntityPool::largest) {
        ::operator delete(m);
        return;
    }
    EntityPool &p = entity_pool();
    std::size_t k = (bytes + EntityPool::step - 1) / EntityPool::step;
    *static_cast<void **>(m) = p.freed[k];
    p.freed[k] = m;
#endif
}

bool DxfSource::make_room(std::size_t bytes)
{
    const std::size_t large = std::size_t(2) << 20;
    std::size_t more = (bytes + large - 1) / large * large;
    void *m = mmap(nullptr, more, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED)
        return false;
    madvise(m, more, MADV_HUGEPAGE);
    if (memory) {
        std::memcpy(m, memory, text.size());
        munmap(memory, room);
    }
    memory = static_cast<char *>(m);
    room = more;
    text = std::string_view(memory, text.size());
    return true;
}

DxfSource::~DxfSource()
{
    if (memory)
        munmap(memory, room);
}

void Points::grow()
{
    std::uint32_t room = room_ * 2;
    Vec3 *more = new Vec3[room];
    std::copy(begin(), end(), more);
    release();
    store_.heap = more;
    room_ = room;
}

void Points::release()
{
    if (on_heap())
        delete[] store_.heap;
    store_.heap = nullptr;
    room_ = 4;
}

void Points::take(Points &o)
{
    release();
    size_ = o.size_;
    if (o.on_heap()) {
        store_.heap = o.store_.heap;
        room_ = o.room_;
        o.store_.heap = nullptr;
        o.room_ = 4;
    } else {
        std::copy(o.store_.inline_, o.store_.inline_ + size_, store_.inline_);
    }
    o.size_ = 0;
}

Flags::~Flags()
{
    std::free(p_);
}

void Flags::push_back(int v)
{
    int count = p_ ? p_[0] : 0, room = p_ ? p_[1] : 0;
    if (count == room) {
        room = room ? room * 2 : 4;
        int *more = static_cast<int *>(std::realloc(p_, (2 + (std::size_t)room) * sizeof(int)));
        if (!more)
            throw std::bad_alloc();
        p_ = more;
        p_[0] = count;
        p_[1] = room;
    }
    p_[2 + count] = v;
    p_[0] = count + 1;
}

std::size_t DxfGroups::size() const
{
    std::size_t n = 0;
    for (auto it = begin(); it != end(); ++it)
        n++;
    return n;
}

DxfPair DxfGroups::operator[](std::size_t i) const
{
    auto it = begin();
    while (i-- > 0)
        ++it;
    return *it;
}

Entity &Drawing::add(Entity e)
{
    e.id = next_id++;
    entities.push_back(std::move(e));
    return entities.back();
}

Entity *Drawing::find(std::uint64_t id)
{
    // Ids grow with the position, and mostly by one: the entity is then
    // where its id says; else a binary search finds it.
    if (!entities.empty() && id >= entities.front().id) {
        std::uint64_t at = id - entities.front().id;
        if (at < entities.size() && entities[at].id == id)
            return &entities[at];
    }
    auto it = std::lower_bound(entities.begin(), entities.end(), id,
                               [](const Entity &e, std::uint64_t v) { return e.id < v; });
    return (it != entities.end() && it->id == id) ? &*it : nullptr;
}

const Entity *Drawing::find(std::uint64_t id) const
{
    return const_cast<Drawing *>(this)->find(id);
}

Layer *Drawing::layer(const std::string &name)
{
    for (auto &l : layers)
        if (same_name(l.name, name))
            return &l;
    return nullptr;
}

Layer &Drawing::make_layer(const std::string &name)
{
    if (Layer *l = layer(name))
        return *l;
    Layer l;
    l.name = name;
    layers.push_back(l);
    return layers.back();
}

void Extents::add(const Vec3 &p)
{
    if (empty) {
        lo = hi = p;
        empty = false;
        return;
    }
    lo.x = std::min(lo.x, p.x); lo.y = std::min(lo.y, p.y); lo.z = std::min(lo.z, p.z);
    hi.x = std::max(hi.x, p.x); hi.y = std::max(hi.y, p.y); hi.z = std::max(hi.z, p.z);
}

void Extents::add(const Entity &e)
{
    for (const auto &p : e.pts)
        add(p);
}

void Drawing::extents(Vec3 &lo, Vec3 &hi) const
{
    Extents box;
    for (const auto &e : entities)
        if (!e.erased)
            box.add(e);
    lo = box.lo;
    hi = box.hi;
}

const TextLabel &label_of(const Entity &e)
{
    static const TextLabel none;
    return e.label ? *e.label : none;
}

bool mesh_grid(const Entity &e, std::vector<Vec3> &grid, int &m, int &n)
{
    std::vector<Vec3> control, fitted;
    for (size_t i = 0; i < e.pts.size(); i++) {
        int f = i < e.vertex_flags.size() ? e.vertex_flags[i] : 64;
        ((f & 8) ? fitted : control).push_back(e.pts[i]);
    }
    if ((e.poly_flags & 4) && e.smooth_m > 0 && e.smooth_n > 0 &&
        fitted.size() == (size_t)e.smooth_m * (size_t)e.smooth_n) {
        grid = fitted;
        m = e.smooth_m;
        n = e.smooth_n;
        return true;
    }
    if (e.mesh_m > 0 && e.mesh_n > 0 && control.size() == (size_t)e.mesh_m * (size_t)e.mesh_n) {
        grid = control;
        m = e.mesh_m;
        n = e.mesh_n;
        return true;
    }
    return false;
}

}  // namespace velmora
