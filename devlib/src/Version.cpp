#include "fautil/Types.h"

namespace fautil {

const char* Version() {
  return "1.0.1";
}

}  // namespace fautil
