#pragma once
// Umbrella header: the whole device data library.

#include "fautil/Crc16.h"
#include "fautil/LadderMask.h"
#include "fautil/LinkString.h"
#include "fautil/MemoryDump.h"
#include "fautil/NumberText.h"
#include "fautil/OperandRange.h"
#include "fautil/OperandText.h"
#include "fautil/PackedRef.h"
#include "fautil/ShiftKey.h"
#include "fautil/StringDecompose.h"
#include "fautil/TaggedFile.h"
#include "fautil/Telephone.h"
#include "fautil/Types.h"
