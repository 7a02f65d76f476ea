// The component helpers the iCalendar files share.

#include "interchange/ZvICalParts.h"

namespace zv {

namespace {

// The parts of a component of one kind, collected first: the library walks them with one
// iterator per component, which a removal or a nested walk would disturb.
template <class T, class Kind>
std::vector<T*> partsOf(icalcomponent* c, Kind kind, T* (*first)(icalcomponent*, Kind),
                        T* (*next)(icalcomponent*, Kind))
{
    std::vector<T*> found;
    for (T* part = first(c, kind); part; part = next(c, kind))
        found.push_back(part);
    return found;
}

} // namespace

std::vector<icalproperty*> propertiesOf(icalcomponent* c, icalproperty_kind kind)
{
    return partsOf(c, kind, icalcomponent_get_first_property, icalcomponent_get_next_property);
}

std::vector<icalcomponent*> componentsOf(icalcomponent* c, icalcomponent_kind kind)
{
    return partsOf(c, kind, icalcomponent_get_first_component, icalcomponent_get_next_component);
}

icalproperty* firstOf(icalcomponent* c, icalproperty_kind kind)
{
    return icalcomponent_get_first_property(c, kind);
}

void removeProperty(icalcomponent* c, icalproperty* p)
{
    icalcomponent_remove_property(c, p);
    icalproperty_free(p);
}

void removeAll(icalcomponent* c, icalproperty_kind kind)
{
    for (icalproperty* p : propertiesOf(c, kind))
        removeProperty(c, p);
}

// Replaces every property of the kind with `p` (none when null).
void putProperty(icalcomponent* c, icalproperty_kind kind, icalproperty* p)
{
    removeAll(c, kind);
    if (p) icalcomponent_add_property(c, p);
}

} // namespace zv
