// drawing.cpp -- the drawing's own bookkeeping: ids, layers, extents.
#include "drawing.h"
#include "dxf_common.h"

#include <algorithm>

namespace velmora {

Entity &Drawing::add(Entity e)
{
    e.id = next_id++;
    entities.push_back(std::move(e));
    return entities.back();
}

Entity *Drawing::find(std::uint64_t id)
{
    // Ids grow with the position, so a binary search finds them.
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
        if (dxf_same_name(l.name, name))
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

void Drawing::extents(Vec3 &lo, Vec3 &hi) const
{
    bool any = false;
    for (const auto &e : entities) {
        if (e.erased)
            continue;
        for (const auto &p : e.pts) {
            if (!any) {
                lo = hi = p;
                any = true;
                continue;
            }
            lo.x = std::min(lo.x, p.x); lo.y = std::min(lo.y, p.y); lo.z = std::min(lo.z, p.z);
            hi.x = std::max(hi.x, p.x); hi.y = std::max(hi.y, p.y); hi.z = std::max(hi.z, p.z);
        }
    }
    if (!any)
        lo = hi = Vec3{};
}

}  // namespace velmora
