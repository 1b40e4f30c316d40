#pragma once
// Memory dumps and text-to-memory parsing: byte and word arrays as fixed-column
// hexadecimal dump lines, and bytes read back from hexadecimal lines (dump
// lines included) or from item lines with decimal, H-suffixed hexadecimal and
// quoted-string items.
//
// Byte dump line, 76 characters, 16 bytes:
//   ":00000010  41 42 ... 7F                                 AB...\0"
//   column 0 ':', 1-8 index of the line's first byte (8 hex digits), 9-10
//   spaces, byte k at 11+3k (2 digits and a space), 59 a space, 60-75 one
//   character per byte: itself when printable (0x20-0x7E), '.' otherwise.
// Word dump line, 70 characters, 8 words: index of the first word at 1-8, word
// k at 11+5k (4 digits and a space), 51-53 spaces, 54-69 two characters per
// word (high byte, then low byte).
// Cells and characters past the end of a short last line are spaces; every
// line keeps its full width.
//
// Common rules for every routine here:
// - Lists, arrays and buffers belong to the caller. Lengths, counts and limits
//   are numbers of elements (bytes for the parsers); negative ones count as 0,
//   and so does the limit or room of a null buffer.
// - Nothing is allocated beyond the lines appended to the list, nothing is
//   thrown, nothing is printed, no state is kept: every routine may run on any
//   thread on distinct lists and buffers.
// - The parsers never write past `limit` (or `room`) bytes. They return -1 on
//   the first bad token; the bytes stored before it stay in the buffer.

#include <cstddef>
#include <cstdint>

#include "fautil/Types.h"

namespace fautil {

// Longest line the parsers accept, in characters; a longer line is an error.
inline constexpr std::size_t kMaxTextLine = 1023;

// Append the dump lines of `length` bytes or `count` words to `lines` (never
// cleared). Nothing is appended for an empty or null array. Always true.
FAUTIL_API bool MemDump(TStrings* lines, const uint8_t* data, int32_t length);
FAUTIL_API bool WordMemDump(TStrings* lines, const uint16_t* data, int32_t count);

// Reads hexadecimal lines into `buffer` and returns the number of bytes stored
// (at most `limit`), 0 for a null list, or -1.
// - Empty lines and lines starting with ';' are skipped.
// - Tokens are separated by runs of ',', ' ', '\n' and '\r'. Each token is 1 or
//   2 hex digits of either case; anything else gives -1.
// - On a line starting with ':' (a dump line) only tokens of exactly 2
//   characters are read, so the index field and the 4-digit cells of word
//   dumps are skipped. On a line with the exact columns of MemDump or
//   WordMemDump the character column is not read either, so any dump reads
//   back as the bytes it shows (and a word dump as nothing).
// - Parsing stops as soon as `limit` bytes are stored (at the first valid
//   token when there is no room at all).
// - A line longer than kMaxTextLine gives -1.
FAUTIL_API int32_t TextToMem(const TStrings* lines, uint8_t* buffer, int32_t limit);

// Converts one item into bytes at `buffer`, of which `room` are available:
// - 1 to 3 decimal digits: one byte, the value modulo 256 ("256" gives 0);
// - 1 or 2 hex digits (either case) and a final 'H' or 'h': one byte ("FFH");
// - 'text': one byte per character, '' inside stands for one apostrophe.
// Returns the number of bytes stored (0 for ''), 0 for text that is not an
// item (longer than 3 characters without a leading apostrophe, or a character
// that cannot start or continue a number), and -1 for a malformed item (null
// or empty, an unterminated or badly closed string, hex digits without the
// suffix) or one that does not fit into `room`.
FAUTIL_API int32_t UStrToMem(const char* item, uint8_t* buffer, int32_t room);

// Reads item lines (see UStrToMem) into `buffer` and returns the number of
// bytes stored (at most `limit`), 0 for a null list, or -1.
// - Empty lines are skipped; there are no comment lines.
// - Items are separated by '\r', ' ' and ',' outside quotes (not by '\n').
// - An item that is not valid (UStrToMem result 0 or less) gives -1.
// - An item is never split: parsing stops before one that would not fit into
//   `limit`, and as soon as `limit` bytes are stored.
// - A line longer than kMaxTextLine gives -1.
FAUTIL_API int32_t UTextToMem(const TStrings* lines, uint8_t* buffer, int32_t limit);

}  // namespace fautil
