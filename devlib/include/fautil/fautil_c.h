#ifndef FAUTIL_FAUTIL_C_H
#define FAUTIL_FAUTIL_C_H
/* The device data library for C and for any language with a C foreign
 * function interface (Python's ctypes, for one). Valid C99.
 *
 * One function per routine of the C++ interface (the other headers in
 * fautil/), named fautil_<Routine>, with the same behaviour: the C++ headers
 * describe each routine in full, and this header adds only what differs in C.
 * The lead-byte test routines, which pass C++ function pointers, are stood in
 * for by fautil_SetDecomposeCodePage.
 *
 * Common rules:
 * - Results: functions of C++ routines that return bool return 1 for true and
 *   0 for false. Those of routines without a result return 1 once done and 0
 *   when a pointer they need is null. Counts and codes (the parsers, the
 *   table checks) are returned as the C++ routine returns them.
 * - A null pointer where the function needs one is a failure result (0, or
 *   -1 for the text-to-memory parsers), never a crash. Outputs that are
 *   present may still be cleared first, where the C++ routine clears them
 *   before it looks at its input. Where the C++ routine gives null a meaning
 *   ("no list", "skip this buffer") the C function says so.
 * - No C++ exception leaves the library; running out of memory inside a
 *   function is a failure result.
 * - Memory belongs to the caller. Text is zero-terminated 8-bit text. Buffer
 *   sizes are in bytes and stated with each function; FAUTIL_TEXT_ROOM is
 *   enough for every operand, packed-code and link-string text.
 * - Line lists in are an array of `count` zero-terminated lines. Line lists
 *   out are a callback, called once per line in order with the caller's
 *   context pointer; the line is valid only during the call.
 * - Thread safety is the C++ routine's: all are thread-safe on distinct
 *   buffers except fautil_Randomize and fautil_SetDecomposeCodePage.
 */

#include <stdint.h>

#include "fautil/Export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Room of every text buffer below unless stated otherwise, terminator included. */
#define FAUTIL_TEXT_ROOM 32

/* Receives one line of a line list out. */
typedef void (*fautil_line_fn)(void* context, const char* line);

/* Receives `length` bytes of a tagged file in order; returns 1 when all were
 * written and 0 when not, which fails the writing function. */
typedef int32_t (*fautil_write_fn)(void* context, const uint8_t* data, uint32_t length);

/* The library's version as "major.minor.patch"; static storage. */
FAUTIL_API const char* fautil_Version(void);

/* ---- Operand text (OperandText.h) --------------------------------------- */

FAUTIL_API int32_t fautil_StrToType(const char* text, uint8_t* type, uint32_t* address);
/* buffer: FAUTIL_TEXT_ROOM bytes. */
FAUTIL_API int32_t fautil_TypeToStr(char* buffer, uint8_t type, uint32_t address);
/* buffer: FAUTIL_TEXT_ROOM bytes. */
FAUTIL_API int32_t fautil_StrNormalize(char* buffer, const char* text);
FAUTIL_API int32_t fautil_TypeToDType(uint8_t* type, uint32_t* address);
FAUTIL_API int32_t fautil_CheckTypeRange(uint8_t* type, uint32_t* address);

/* ---- Operand ranges (OperandRange.h) ------------------------------------ */

FAUTIL_API int32_t fautil_GetTableMaxSize(const char* start, int32_t areaSize);
FAUTIL_API int32_t fautil_CheckTableRange(const char* start, int32_t tableSize, int32_t areaSize);
/* Calls `line` with each operand of the list; a null `line` only checks it.
 * On failure the operands before the failing item have been passed on. */
FAUTIL_API int32_t fautil_RefStrRangeToStr(const char* list, fautil_line_fn line, void* context);
/* buffer: FAUTIL_TEXT_ROOM bytes; next: 1 for the next operand, 0 for the previous. */
FAUTIL_API int32_t fautil_GetNextRef(const char* text, char* buffer, int32_t next);

/* ---- Packed reference codes (PackedRef.h); buffers FAUTIL_TEXT_ROOM ----- */

FAUTIL_API int32_t fautil_DocRefToType(uint16_t code, uint8_t* type, uint32_t* address);
FAUTIL_API int32_t fautil_TypeToDocRef(uint8_t type, uint32_t address, uint16_t* code);
FAUTIL_API int32_t fautil_StrToDocRef(const char* text, uint16_t* code);
FAUTIL_API int32_t fautil_DocRefToStr(char* buffer, uint16_t code);

FAUTIL_API int32_t fautil_DRefToType(uint16_t code, uint8_t* type, uint32_t* address);
FAUTIL_API int32_t fautil_TypeToDRef(uint8_t type, uint32_t address, uint16_t* code);
FAUTIL_API int32_t fautil_StrToDRef(const char* text, uint16_t* code);
FAUTIL_API int32_t fautil_DRefToStr(char* buffer, uint16_t code);

FAUTIL_API int32_t fautil_RRefToType(uint16_t code, uint8_t* type, uint32_t* address);
FAUTIL_API int32_t fautil_TypeToRRef(uint8_t type, uint32_t address, uint16_t* code);
FAUTIL_API int32_t fautil_StrToRRef(const char* text, uint16_t* code);
FAUTIL_API int32_t fautil_RRefToStr(char* buffer, uint16_t code);

FAUTIL_API int32_t fautil_RegRefToType(uint16_t code, uint8_t* type, uint32_t* address);
FAUTIL_API int32_t fautil_TypeToRegRef(uint8_t type, uint32_t address, uint16_t* code);

FAUTIL_API int32_t fautil_FlashRegStrToRef(const char* text, uint16_t* code);
FAUTIL_API int32_t fautil_FlashRegRefToStr(char* buffer, uint16_t code);

/* ---- Link strings and link modes (LinkString.h) ------------------------- */

FAUTIL_API int32_t fautil_LinkStrToType(const char* text, uint8_t* type, uint32_t* address);
/* buffer: FAUTIL_TEXT_ROOM bytes. */
FAUTIL_API int32_t fautil_TypeToLinkStrVer(char* buffer, uint8_t type, uint32_t address,
                                           uint16_t version);
/* Changes the zero-terminated `text` in place. */
FAUTIL_API int32_t fautil_LinkStrV40ChgOnOff(char* text);
FAUTIL_API int32_t fautil_ULinkStrToType(const char* text, uint8_t* type, uint32_t* address);
/* buffer: FAUTIL_TEXT_ROOM bytes. */
FAUTIL_API int32_t fautil_TypeToULinkStr(char* buffer, uint8_t type, uint32_t address);
/* 0xFF when there is none. */
FAUTIL_API uint8_t fautil_TypeToLinkMode(uint8_t type);
FAUTIL_API uint8_t fautil_LinkModeToType(uint8_t mode);

/* ---- Number and byte-string text (NumberText.h) ------------------------- */

/* Sizes of the formatted-number buffers, terminator included. */
#define FAUTIL_WORD_FMT_ROOM 18
#define FAUTIL_DWORD_FMT_ROOM 34
/* Cells of the point table. */
#define FAUTIL_POINT_CELL_COUNT 4066

/* Format selectors of fautil_WordToFmtStr and fautil_DWordToFmtStr. */
enum {
  FAUTIL_FMT_SIGNED = 0,
  FAUTIL_FMT_BINARY = 1,
  FAUTIL_FMT_HEX = 2,
  FAUTIL_FMT_CHARS = 3,
  FAUTIL_FMT_UNSIGNED = 4,
  FAUTIL_FMT_FLOAT = 5
};

FAUTIL_API uint8_t fautil_StrToChar(char c);
/* Read exactly 2, 4 or 8 characters at `text`. */
FAUTIL_API int32_t fautil_StrToByte(const char* text, uint8_t* value);
FAUTIL_API int32_t fautil_StrToWord(const char* text, uint16_t* value);
FAUTIL_API int32_t fautil_StrToDWord(const char* text, uint32_t* value);
FAUTIL_API int32_t fautil_StrToHex(const char* text, uint8_t* value);
/* `text` holds 2 * count or 4 * count characters; `mem` holds count elements. */
FAUTIL_API int32_t fautil_StrToBMem(const char* text, uint8_t* mem, uint16_t count);
FAUTIL_API int32_t fautil_StrToWMem(const char* text, uint16_t* mem, uint16_t count);
/* Write 2 or 4 characters, no terminator. */
FAUTIL_API int32_t fautil_ByteToStr(char* buffer, uint8_t value);
FAUTIL_API int32_t fautil_WordToStr(char* buffer, uint16_t value);
/* buffer: 2 * count + 1 or 4 * count + 1 bytes; `mem` may be null when count
 * is 0, which writes the empty text. */
FAUTIL_API int32_t fautil_BMemToStr(char* buffer, const uint8_t* mem, uint16_t count);
FAUTIL_API int32_t fautil_WMemToStr(char* buffer, const uint16_t* mem, uint16_t count);
/* `cells` holds the cells from `firstIndex` up to 16 of them, or to the end of
 * the point table when that comes first; RegBinToDWord reads exactly 32. */
FAUTIL_API int32_t fautil_RegBinToWord(const uint16_t* cells, uint16_t firstIndex, uint16_t* value);
FAUTIL_API int32_t fautil_RegDisToWord(const uint16_t* cells, uint16_t firstIndex, uint16_t* value);
FAUTIL_API int32_t fautil_RegBinToDWord(const uint16_t* cells, uint32_t* value);
FAUTIL_API int32_t fautil_WordToRegBin(uint16_t* cells, uint16_t value, uint16_t firstIndex);
FAUTIL_API int32_t fautil_WordToRegDis(uint16_t* cells, uint16_t value, uint16_t firstIndex);
/* buffer: FAUTIL_WORD_FMT_ROOM or FAUTIL_DWORD_FMT_ROOM bytes. */
FAUTIL_API int32_t fautil_WordToFmtStr(char* buffer, uint16_t value, uint16_t format);
FAUTIL_API int32_t fautil_DWordToFmtStr(char* buffer, uint32_t value, uint16_t format);

/* ---- Memory dumps and text to memory (MemoryDump.h) --------------------- */

/* Longest line the parsers accept, in characters. */
#define FAUTIL_MAX_TEXT_LINE 1023

/* Call `line` with each dump line (76 or 70 characters); a null `line` fails. */
FAUTIL_API int32_t fautil_MemDump(const uint8_t* data, int32_t length, fautil_line_fn line,
                                  void* context);
FAUTIL_API int32_t fautil_WordMemDump(const uint16_t* data, int32_t count, fautil_line_fn line,
                                      void* context);
/* `lines` holds `count` lines (may be null when count is 0); a null line
 * fails with -1. `buffer` holds `limit` bytes. Bytes stored, or -1. */
FAUTIL_API int32_t fautil_TextToMem(const char* const* lines, int32_t count, uint8_t* buffer,
                                    int32_t limit);
FAUTIL_API int32_t fautil_UStrToMem(const char* item, uint8_t* buffer, int32_t room);
FAUTIL_API int32_t fautil_UTextToMem(const char* const* lines, int32_t count, uint8_t* buffer,
                                     int32_t limit);

/* ---- CRC-16 and the tagged data file (Crc16.h, TaggedFile.h) ------------ */

#define FAUTIL_FILE_FORMAT_VERSION 11121
#define FAUTIL_FILE_TAG_SIZE 256
#define FAUTIL_NODE_CRC_FLAG 0x80000000u
#define FAUTIL_END_NODE_WORD 0x00FFFFFFu
/* Room for the longest text fautil_FD2NodeGetAnsiString can return (65535
 * characters of a field without its zero) and a terminator: a buffer of this
 * size never fails for room. */
#define FAUTIL_MAX_ANSI_STRING_ROOM 65536

/* A null `data` counts as zero bytes and gives `init`, as in C++. */
FAUTIL_API uint16_t fautil_CRC16(const uint8_t* data, uint32_t length, uint16_t init);

/* The stream of C++ becomes `write` and its `context`. */
FAUTIL_API int32_t fautil_FD2WriteFileTag(fautil_write_fn write, void* context, uint16_t version);
/* `tag`: the FAUTIL_FILE_TAG_SIZE bytes at the start of a file, as read. */
FAUTIL_API int32_t fautil_FD2CheckFileTag(const uint8_t* tag, uint16_t version);
/* The node word, its data length and the data (may be null when length is 0). */
FAUTIL_API int32_t fautil_FD2WriteNodeEx(fautil_write_fn write, void* context, uint32_t node,
                                         uint32_t length, const uint8_t* data);
FAUTIL_API int32_t fautil_FD2WriteEOF(fautil_write_fn write, void* context);
FAUTIL_API int32_t fautil_FD2CheckNodeEx(uint32_t node, uint32_t length, const uint8_t* data);

/* Node field packers and unpackers. Unlike C++ they also take the `size` of
 * `data` in bytes and fail, touching nothing, for a field that would not fit
 * inside it; the cursor is a byte offset into `data`, advanced on success. */
FAUTIL_API int32_t fautil_FD2NodeSetByte(uint8_t* data, uint32_t size, int32_t* cursor,
                                         uint8_t value);
FAUTIL_API int32_t fautil_FD2NodeSetWord(uint8_t* data, uint32_t size, int32_t* cursor,
                                         uint16_t value);
FAUTIL_API int32_t fautil_FD2NodeSetDWord(uint8_t* data, uint32_t size, int32_t* cursor,
                                          uint32_t value);
/* `value` is zero-terminated, at most 65534 characters. */
FAUTIL_API int32_t fautil_FD2NodeSetAnsiString(uint8_t* data, uint32_t size, int32_t* cursor,
                                               const char* value);
FAUTIL_API int32_t fautil_FD2NodeSetCRC16(uint8_t* data, uint32_t size, int32_t* cursor);
FAUTIL_API int32_t fautil_FD2NodeGetByte(const uint8_t* data, uint32_t size, int32_t* cursor,
                                         uint8_t* value);
FAUTIL_API int32_t fautil_FD2NodeGetWord(const uint8_t* data, uint32_t size, int32_t* cursor,
                                         uint16_t* value);
FAUTIL_API int32_t fautil_FD2NodeGetDWord(const uint8_t* data, uint32_t size, int32_t* cursor,
                                          uint32_t* value);
/* Writes the text, terminated, into `buffer` of `room` bytes; fails without
 * advancing when it does not fit (FAUTIL_MAX_ANSI_STRING_ROOM always does). */
FAUTIL_API int32_t fautil_FD2NodeGetAnsiString(const uint8_t* data, uint32_t size, int32_t* cursor,
                                               char* buffer, uint32_t room);

/* ---- Telephone registers and string decomposition ----------------------- */

#define FAUTIL_TELEPHONE_REGISTERS 6
#define FAUTIL_TELEPHONE_TEXT_SIZE 24
#define FAUTIL_DECOMPOSE_FIRST_SIZE 10

/* regs: FAUTIL_TELEPHONE_REGISTERS registers. */
FAUTIL_API int32_t fautil_TelphoneToReg(const char* text, uint16_t* regs);
/* text: FAUTIL_TELEPHONE_TEXT_SIZE bytes. */
FAUTIL_API int32_t fautil_RegToTelphone(const uint16_t* regs, char* text);
/* first: FAUTIL_DECOMPOSE_FIRST_SIZE bytes; rest: strlen(text) + 1 bytes.
 * A null `text` fails; a null `first` or `rest` is skipped, as in C++. */
FAUTIL_API int32_t fautil_DecomposeStr(const char* text, char* first, char* rest);
/* Makes fautil_DecomposeStr, for the whole process, treat text as in the
 * Windows code page `codePage` (932, 936, 949 or 950 have double-byte
 * characters, other numbers none); 0 goes back to the LC_CTYPE locale. Not
 * thread-safe with fautil_DecomposeStr calls running. Always 1. */
FAUTIL_API int32_t fautil_SetDecomposeCodePage(int32_t codePage);
/* The double-byte code page a locale name ("ja_JP.SJIS") names, 0 for none
 * or for a null name. */
FAUTIL_API int32_t fautil_DoubleByteCodePageOfLocale(const char* localeName);

/* ---- Ladder masking and small routines (LadderMask.h, ShiftKey.h) ------- */

#define FAUTIL_LADDER_SIZE 0x8000
#define FAUTIL_LADDER_KEY_OFFSET 0x7F00

/* buffer: FAUTIL_LADDER_SIZE bytes, changed in place. */
FAUTIL_API int32_t fautil_LadderMask(uint8_t* buffer);
FAUTIL_API int32_t fautil_LadderUnMask(uint8_t* buffer);
/* Seeds the C library's rand() with the time in seconds, as in C++. */
FAUTIL_API int32_t fautil_Randomize(uint8_t* buffer, int32_t count);

/* Members of the shift state. */
enum {
  FAUTIL_SS_SHIFT = 0,
  FAUTIL_SS_ALT = 1,
  FAUTIL_SS_CTRL = 2,
  FAUTIL_SS_LEFT = 3,
  FAUTIL_SS_RIGHT = 4,
  FAUTIL_SS_MIDDLE = 5,
  FAUTIL_SS_DOUBLE = 6
};

/* The mask of the set of `count` members at `members` (repeats allowed).
 * Fails for a member above FAUTIL_SS_DOUBLE. `members` may be null when
 * count is 0. */
FAUTIL_API int32_t fautil_ShiftKey(const uint8_t* members, uint32_t count, uint16_t* mask);

#ifdef __cplusplus
}
#endif

#endif /* FAUTIL_FAUTIL_C_H */
