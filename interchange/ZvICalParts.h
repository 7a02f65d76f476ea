#pragma once

// What the iCalendar files of this layer share: the time arithmetic (defined in
// ZvICalTime.cpp) and the walking and editing of a component's properties (ZvICalParts.cpp).
// Not for the layers above: they go through interchange/ZvICalendar.h.

#include <QtGlobal>
#include <libical/ical.h>
#include <optional>
#include <vector>

class QDate;

namespace zv {

// ---- Times ------------------------------------------------------------------------------

constexpr qint64 kSecondsPerDay = 86400;
constexpr qint64 kUnixEpochJulianDay = 2440588;

qint64 floorDiv(qint64 a, qint64 b);
std::optional<qint64> secondsOf(const icaltimetype& t);
icalproperty* timeProperty(icalproperty_kind kind, qint64 utcSeconds);
icalproperty* dateProperty(icalproperty_kind kind, const QDate& date);
qint64 durationSeconds(const icaldurationtype& d);

// ---- Component helpers ------------------------------------------------------------------

std::vector<icalproperty*> propertiesOf(icalcomponent* c, icalproperty_kind kind);
std::vector<icalcomponent*> componentsOf(icalcomponent* c, icalcomponent_kind kind);
icalproperty* firstOf(icalcomponent* c, icalproperty_kind kind);
void removeProperty(icalcomponent* c, icalproperty* p);
void removeAll(icalcomponent* c, icalproperty_kind kind);
void putProperty(icalcomponent* c, icalproperty_kind kind, icalproperty* p);

} // namespace zv
