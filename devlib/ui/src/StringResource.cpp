#include "fautil/ui/StringResource.h"

namespace fautil {
namespace {

StringTable& Table() {
  static StringTable table;
  return table;
}

}  // namespace

void RegisterStringTable(const StringTable& table) {
  Table() = table;
}

QString LoadStr(int32_t id) {
  return Table().value(id).left(kStringResourceMaxLength);
}

}  // namespace fautil
