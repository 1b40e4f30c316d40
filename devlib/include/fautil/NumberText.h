#pragma once

#include "fautil/Types.h"

namespace fautil {}  // namespace fautil
