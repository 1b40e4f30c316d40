#pragma once
// Operand text: the written notation of a device operand ("X7", "WM16", "DR10",
// "V", "P5", "1FH", "'AB'", "1.5E3") and the pair it stands for, an 8-bit
// operand type code and a 32-bit operand address.
//
// Common rules for every routine here:
// - Texts are zero-terminated 8-bit strings owned by the caller. A null text
//   pointer is treated as an invalid text.
// - Output text buffers belong to the caller and must hold at least 32 bytes;
//   a null buffer makes the call fail without writing.
// - Nothing is allocated, nothing is thrown, nothing is printed, no state is
//   kept: every routine may run on any thread at the same time as any other.
// - Failure is a false result only.
//
// Type codes and the addresses CheckTypeRange accepts:
//   0x00       integer constant    any value (negatives in two's complement)
//   0x02       real constant       no text form; address = integer part
//   0x20, 0x21 X, Y                0-255
//   0x22       TR                  not checked
//   0x23, 0x24 M (0x24 from M1912) 0-2001
//   0x25       S                   0-999
//   0x26, 0x40 T bit, T register   0-255
//   0x27, 0x41 C bit, C register   0-255 (200-255 recoded to 0x66)
//   0x66       32-bit C register   0-255
//   0x28, 0x29 SO, FO              not checked
//   0x2A       no operand          not checked; written as empty text
//   0x30-0x33  WX WY WM WS         multiples of 8 up to 240, 240, 1896, 984
//   0x60-0x63  DWX DWY DWM DWS     multiples of 8 up to 224, 224, 1880, 968
//   0x42-0x46  R by block          R0-R3839, R3840-R3903, R3904-R3967,
//                                  R3968-R4167 (V = R4164, Z = R4165),
//                                  R5000-R8071
//   0x47       D                   0-4095 (P0-P9 are D4080-D4089)
//   0x48       F                   0-8191
//   0x4E, 0x4F R indexed by V, Z   0-4167, 5000-8071 (written, never parsed)
//   0x67       DR register pair    0-8070 but 3839, 3903, 3967, 4167-4999
//   0x68, 0x69 DD, DF pairs        0-4094, 0-8190
// T and C bits share the text of the registers, so text never yields 0x26
// or 0x27; those come from packed codes and link strings.

#include <cstdint>

#include "fautil/Types.h"

namespace fautil {

// Parses operand text. Letters may be either case; no white space is allowed.
// An empty (or null) text fails and leaves `type` and `address` untouched;
// otherwise both are cleared first and, after a failure, hold whatever the
// parse reached. Operands and integer constants are validated (and their code
// recoded by block) with CheckTypeRange; real constants (code 0x02) are only
// range-tested against the single-precision limit.
FAUTIL_API bool StrToType(const char* text, uint8_t& type, uint32_t& address);

// Writes the canonical text of the pair into `buffer` (at most 14 characters
// and the terminator). The address is written as a signed 32-bit number and
// is not range-checked. A code without a text form (0x02 included) writes "?"
// and fails.
FAUTIL_API bool TypeToStr(char* buffer, uint8_t type, uint32_t address);

// StrToType followed by TypeToStr: canonical upper-case text without leading
// zeros. When the parse fails the buffer is untouched; when the parsed code has
// no text form (a real constant) the buffer holds "?". Fails in both cases.
FAUTIL_API bool StrNormalize(char* buffer, const char* text);

// Reserved conversion: leaves both values unchanged and returns true.
FAUTIL_API bool TypeToDType(uint8_t& type, uint32_t& address);

// Accepts the pair when the address is valid for the code and rewrites the
// code by address block (M 0x23/0x24, C 200-255 to 0x66, R 0x42-0x46). The
// address is never written. Rejects unknown codes and the real constant 0x02.
FAUTIL_API bool CheckTypeRange(uint8_t& type, uint32_t& address);

}  // namespace fautil
