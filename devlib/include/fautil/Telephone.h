#pragma once
// Telephone numbers packed as 4-bit codes into six 16-bit registers.
// Code j sits in register j / 4, bits 4*(j % 4) .. 4*(j % 4)+3: the first
// character in bits 0-3 of register 0. Codes: 0-9 digits, 0xA comma, 0xB '#',
// 0xC '*', 0xE end of number; the empty number is register 0 = 0x000F.
// Pure functions: thread-safe, no allocation.

#include "fautil/Types.h"

namespace fautil {

inline constexpr int kTelephoneRegisters = 6;
inline constexpr int kTelephoneMaxDigits = 23;  // the end code needs the 24th place
inline constexpr int kTelephoneTextSize = kTelephoneMaxDigits + 1;

// Packs `text` (digits, ',', 'A' (upper case only, stored as a comma), '#',
// '*') into `regs[0..5]`. False for any other character, for 24 or more
// characters and for a null argument; `regs` is then left untouched.
FAUTIL_API bool TelphoneToReg(const char* text, uint16_t* regs);

// Unpacks `regs[0..5]` into `text`, which must hold kTelephoneTextSize bytes.
// False for the codes 0xD and 0xF (so also for the empty number), for a block
// without an end code and for a null argument; `text` is then left untouched.
FAUTIL_API bool RegToTelphone(const uint16_t* regs, char* text);

}  // namespace fautil
