#pragma once
// Umbrella header: the whole device data library.

#include "fautil/Types.h"
#include "fautil/OperandText.h"
#include "fautil/OperandRange.h"
#include "fautil/PackedRef.h"
#include "fautil/LinkString.h"
#include "fautil/NumberText.h"
#include "fautil/MemoryDump.h"
#include "fautil/Crc16.h"
#include "fautil/TaggedFile.h"
#include "fautil/Telephone.h"
#include "fautil/StringDecompose.h"
#include "fautil/LadderMask.h"
#include "fautil/ShiftKey.h"
