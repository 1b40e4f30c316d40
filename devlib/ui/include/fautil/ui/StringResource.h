#pragma once
// The program's string resources by number: a small table the program
// registers once at start-up. GUI thread only.

#include <QHash>
#include <QString>
#include <cstdint>

namespace fautil {

// At most this many characters of a resource are used.
inline constexpr int kStringResourceMaxLength = 1023;

using StringTable = QHash<int32_t, QString>;

// Replaces the whole table (copied).
void RegisterStringTable(const StringTable& table);

// The text of resource `id`, cut to kStringResourceMaxLength characters;
// empty for an unknown id.
QString LoadStr(int32_t id);

}  // namespace fautil
