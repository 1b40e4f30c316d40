#pragma once
// Operand ranges: register tables, reference lists and stepping through
// operands. Texts are parsed with StrToType and written with TypeToStr
// (OperandText.h), so the same notation and the same validation apply.
//
// Texts are zero-terminated and owned by the caller; a null text is treated
// as invalid. Output buffers hold at least 32 bytes. No routine allocates
// memory the caller must free, throws, prints or keeps state; all may run on
// any thread at the same time.

#include <cstdint>

#include "fautil/Types.h"

namespace fautil {

// Register tables live in R0-R3839, R5000-R8071 and D0-D4095. When
// `areaSize` is positive, R5000 to R(4999 + areaSize) is an area of its own
// (a table starting there must end there); otherwise R5000-R8071 is one area.
// An area size above the 3072 registers of that block counts as the block.

// Largest number of registers a table starting at `start` may hold; 0 when
// the start text is invalid or cannot start a table.
FAUTIL_API int GetTableMaxSize(const char* start, int areaSize);

// 0 when a table of `tableSize` registers from `start` fits its area, -1 when
// the start text is invalid, -2 when the table runs past its area. Operands
// that cannot hold a table give 0.
FAUTIL_API int CheckTableRange(const char* start, int tableSize, int areaSize);

// Expands a reference list ("X0-X3,Y5\nWX0~WX32") into single operand texts
// appended to `result` (null: the list is only checked). Items are separated
// by commas and line feeds; a range joins two operands of one kind with '-' or
// '~'. Texts of 1024 characters or more, and item ends of 32 characters or
// more, fail. On failure the items appended before the failing one stay.
FAUTIL_API bool RefStrRangeToStr(const char* list, TStrings* result);

// Writes the operand after (`next` true) or before `text` into `buffer`,
// wrapping round within the operand's area. Fails, leaving the buffer
// untouched, for invalid text and for operands without a stepping ring
// (constants, F registers, DF pairs, TR, SO, FO, indexed registers).
FAUTIL_API bool GetNextRef(const char* text, char* buffer, bool next);

}  // namespace fautil
