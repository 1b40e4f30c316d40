#pragma once
// Splits a text into a first part of at most 8 bytes (9 when a double-byte
// character would otherwise be cut) and the rest, preferring a break after a
// space. Double-byte characters follow the process locale's character set
// when it is Shift_JIS (932), GBK (936), EUC-KR/UHC (949) or Big5 (950); in
// any other character set no byte starts a double-byte character.

#include "fautil/Types.h"

namespace fautil {

inline constexpr int kDecomposeFirstSize = 10;  // first-part buffer: 9 bytes + terminator

// Tells whether a byte starts a double-byte character.
using LeadByteTest = bool (*)(uint8_t byte);

// The test for a Windows code page number: 932, 936, 949 or 950 give their
// lead-byte ranges, any other number a test that is never true.
FAUTIL_API LeadByteTest LeadByteTestForCodePage(int codePage);

// The double-byte code page named by a locale name such as "ja_JP.SJIS",
// "zh_CN.GBK", "ko_KR.eucKR", "zh_TW.Big5" or "Japanese_Japan.932"; 0 when
// the name is null or names no double-byte code page.
FAUTIL_API int DoubleByteCodePageOfLocale(const char* localeName);

// Replaces the locale-derived test used by DecomposeStr for the whole
// process; null goes back to the locale. For tests and for callers whose
// text is in a code page other than the locale's. Thread-safe.
FAUTIL_API void SetLeadByteTest(LeadByteTest test);

// The test DecomposeStr uses now: the one set, or else the one of the current
// LC_CTYPE locale (read on every call).
FAUTIL_API LeadByteTest CurrentLeadByteTest();

// Writes the first part (at most 9 bytes, terminated) to `first`, which must
// hold kDecomposeFirstSize bytes, and the rest (terminated) to `rest`, which
// must hold the whole rest (strlen(text) + 1 bytes always do). A null text
// counts as empty; a null output buffer is skipped. Always true.
FAUTIL_API bool DecomposeStr(const char* text, char* first, char* rest);

}  // namespace fautil
