#pragma once
// Packed reference codes: an operand type code and address (OperandText.h)
// packed into one unsigned 16-bit code. Five families:
//   DocRef   bits, 16-bit groups, D and R registers
//   DRef     bit operands only, including TR, SO, FO and "no operand"
//   RRef     registers, groups and indexed R as a byte-offset map
//   RegRef   decoder and encoder use different layouts above 0x0400
//   FlashReg R and D registers as plain numbers (R by number, D + 10000)
//
// Decoders (…ToType) write the type code and address, then apply
// CheckTypeRange, which may reject the pair and may recode the type by block;
// after a failure the outputs carry no meaning. Encoders (TypeTo…) add the
// family's base in 16-bit arithmetic without range-checking the address, and
// write the code only on success; they fail for type codes the family does
// not encode. Text wrappers go through StrToType/TypeToStr; output buffers
// hold at least 32 bytes and a null text or buffer fails.
//
// Round trips: a T or C register encodes in DocRef and DRef like the bit of
// the same number and decodes as that bit (0x26, 0x27). RegRef codes made by
// TypeToRegRef for S, M, R, D, T, C and 32-bit C operands do not decode by
// RegRefToType to the same operand; stored codes rely on both layouts.
//
// No routine allocates, throws, prints or keeps state; all are thread-safe.

#include <cstdint>

#include "fautil/Types.h"

namespace fautil {

FAUTIL_API bool DocRefToType(uint16_t code, uint8_t& type, uint32_t& address);
FAUTIL_API bool TypeToDocRef(uint8_t type, uint32_t address, uint16_t& code);
FAUTIL_API bool StrToDocRef(const char* text, uint16_t& code);
FAUTIL_API bool DocRefToStr(char* buffer, uint16_t code);

FAUTIL_API bool DRefToType(uint16_t code, uint8_t& type, uint32_t& address);
// Encodes X, Y, S, M, T and C operands; TR, SO, FO and "no operand" decode
// but do not encode.
FAUTIL_API bool TypeToDRef(uint8_t type, uint32_t address, uint16_t& code);
FAUTIL_API bool StrToDRef(const char* text, uint16_t& code);
FAUTIL_API bool DRefToStr(char* buffer, uint16_t code);

FAUTIL_API bool RRefToType(uint16_t code, uint8_t& type, uint32_t& address);
// Encodes T, C, R and D registers and the 16-bit groups; constants, bits,
// indexed registers and register pairs fail.
FAUTIL_API bool TypeToRRef(uint8_t type, uint32_t address, uint16_t& code);
FAUTIL_API bool StrToRRef(const char* text, uint16_t& code);
FAUTIL_API bool RRefToStr(char* buffer, uint16_t code);

FAUTIL_API bool RegRefToType(uint16_t code, uint8_t& type, uint32_t& address);
// Also accepts the codes 0x34 and 0x35, placed with the T and C bits.
FAUTIL_API bool TypeToRegRef(uint8_t type, uint32_t address, uint16_t& code);

// R0-R3839, R4000-R4165 (V and Z included), R5000-R8071, and D0-D4095 as
// 10000-14095. The code is written only on success.
FAUTIL_API bool FlashRegStrToRef(const char* text, uint16_t& code);
// Writes "R%d" (also for R4164 and R4165) or "D%d" (also for D4080-D4089).
FAUTIL_API bool FlashRegRefToStr(char* buffer, uint16_t code);

}  // namespace fautil
