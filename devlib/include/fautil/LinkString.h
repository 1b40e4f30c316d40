#pragma once
// Link strings, U-link strings and link modes: three further notations of the
// operand type code and address pair (OperandText.h).
//
// Link string: a five-character item ("X0012", "TR005", "CD200") or two items
// separated by one space; version 4.0 (0x0400) and later write a group or
// register number in hexadecimal after an area character ("4000C", ";0005
// 80000"). U-link string: a prefixed decimal form ("RT0005", "DR00010").
// Link mode: 0-13 names an operand family; 0xFF is none.
//
// Link strings and U-link strings are read in upper case only. Output buffers
// hold at least 32 bytes; a null text or buffer fails. No routine allocates,
// throws, prints or keeps state; all are thread-safe.

#include <cstdint>

#include "fautil/Types.h"

namespace fautil {

// Reads exactly the first five characters (so the first item of a two-item
// string) and validates with CheckTypeRange, which may recode the type code.
// Both outputs are cleared first and may hold partial values after a failure.
FAUTIL_API bool LinkStrToType(const char* text, uint8_t& type, uint32_t& address);

// Writes the link string of the pair for the peer's `version`: the version-4
// form from 0x0400, else the decimal form (without D registers below 0x0300).
// The address is not range-checked. Fails, writing nothing, for type codes the
// chosen form does not have.
FAUTIL_API bool TypeToLinkStrVer(char* buffer, uint8_t type, uint32_t address, uint16_t version);

// Turns the version-4 X, Y, S and M group forms ('4'-'7') into their
// alternative forms ('0'-'3') in place; anything else is left unchanged.
FAUTIL_API void LinkStrV40ChgOnOff(char* text);

// Reads one whole U-link item. No range check and no recoding; a bare prefix
// gives address 0. Addresses that do not fit 32 bits fail. Both outputs are
// cleared first and may hold partial values after a failure.
FAUTIL_API bool ULinkStrToType(const char* text, uint8_t& type, uint32_t& address);

// Writes the U-link string of the pair (two items for T and C registers).
// Fails, writing nothing, for type codes without a U-link form.
FAUTIL_API bool TypeToULinkStr(char* buffer, uint8_t type, uint32_t address);

// Link mode of a type code, 0xFF when it has none.
FAUTIL_API uint8_t TypeToLinkMode(uint8_t type);

// Type code of a link mode, 0xFF for modes above 13.
FAUTIL_API uint8_t LinkModeToType(uint8_t mode);

}  // namespace fautil
