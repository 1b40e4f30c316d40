/* A C99 caller of the device data library: one routine of every family
 * through the C header, as a configuration tool written in C would call them.
 * Exits 0 when every answer is the expected one, else names the first wrong. */

#include <stdio.h>
#include <string.h>

#include "fautil/fautil_c.h"

static int failures = 0;

static void expect(int ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "wrong: %s\n", what);
    ++failures;
  }
}

struct collected {
  int count;
  char last[128];
};

static void collect(void* context, const char* line) {
  struct collected* c = (struct collected*)context;
  ++c->count;
  strncpy(c->last, line, sizeof c->last - 1);
  c->last[sizeof c->last - 1] = '\0';
}

struct sink {
  uint8_t bytes[512];
  uint32_t used;
};

static int32_t into_sink(void* context, const uint8_t* data, uint32_t length) {
  struct sink* s = (struct sink*)context;
  if (s->used + length > sizeof s->bytes) return 0;
  memcpy(s->bytes + s->used, data, length);
  s->used += length;
  return 1;
}

int main(void) {
  char text[FAUTIL_TEXT_ROOM];
  uint8_t type = 0;
  uint32_t address = 0;
  uint16_t code = 0;

  /* Operand text */
  expect(fautil_StrToType("WM16", &type, &address) && type == 0x32 && address == 16,
         "StrToType WM16");
  expect(!fautil_StrToType("X256", &type, &address), "StrToType X256 fails");
  expect(!fautil_StrToType("X0", NULL, &address), "StrToType with a null output fails");

  /* Operand ranges */
  {
    struct collected c = {0, ""};
    expect(fautil_RefStrRangeToStr("X0-X3,Y5", collect, &c) && c.count == 5 &&
               strcmp(c.last, "Y5") == 0,
           "RefStrRangeToStr");
  }

  /* Packed reference codes */
  expect(
      fautil_StrToDocRef("Y0", &code) && fautil_DocRefToStr(text, code) && strcmp(text, "Y0") == 0,
      "DocRef round trip");

  /* Link strings */
  expect(fautil_TypeToLinkStrVer(text, 0x20, 12, 0x0300) && strcmp(text, "X0012") == 0,
         "TypeToLinkStrVer");

  /* Number text */
  {
    char fmt[FAUTIL_WORD_FMT_ROOM];
    expect(fautil_WordToFmtStr(fmt, 0xFFFF, FAUTIL_FMT_SIGNED) && strcmp(fmt, "-1") == 0,
           "WordToFmtStr");
  }

  /* Memory dumps */
  {
    const char* lines[] = {"41 42", "; a comment", "0a"};
    uint8_t bytes[8];
    struct collected c = {0, ""};
    const uint8_t data[3] = {0x41, 0x42, 0x7F};
    expect(fautil_TextToMem(lines, 3, bytes, sizeof bytes) == 3 && bytes[2] == 0x0A, "TextToMem");
    expect(fautil_MemDump(data, 3, collect, &c) && c.count == 1 && strlen(c.last) == 76, "MemDump");
  }

  /* CRC-16 and the tagged file */
  {
    struct sink s;
    const uint8_t check[] = "123456789";
    s.used = 0;
    expect(fautil_CRC16(check, 9, 0xFFFF) == 0x4B37, "CRC16");
    expect(fautil_FD2WriteFileTag(into_sink, &s, FAUTIL_FILE_FORMAT_VERSION) &&
               s.used == FAUTIL_FILE_TAG_SIZE &&
               fautil_FD2CheckFileTag(s.bytes, FAUTIL_FILE_FORMAT_VERSION),
           "file tag written and checked");
  }

  /* Telephone registers and decomposition */
  {
    uint16_t regs[FAUTIL_TELEPHONE_REGISTERS];
    char number[FAUTIL_TELEPHONE_TEXT_SIZE];
    char first[FAUTIL_DECOMPOSE_FIRST_SIZE];
    char rest[32];
    expect(fautil_TelphoneToReg("0123#*", regs) && fautil_RegToTelphone(regs, number) &&
               strcmp(number, "0123#*") == 0,
           "telephone round trip");
    expect(fautil_DecomposeStr("ABCDE FGHIJK", first, rest) && strcmp(first, "ABCDE ") == 0 &&
               strcmp(rest, "FGHIJK") == 0,
           "DecomposeStr");
  }

  /* Ladder masking and the shift key */
  {
    static uint8_t ladder[FAUTIL_LADDER_SIZE];
    const uint8_t members[] = {FAUTIL_SS_SHIFT, FAUTIL_SS_DOUBLE};
    uint16_t mask = 0;
    ladder[0] = 0x55;
    expect(fautil_LadderMask(ladder) && ladder[0] != 0x55, "LadderMask");
    expect(fautil_ShiftKey(members, 2, &mask) && mask == 0x41, "ShiftKey");
  }

  printf("fautil %s from C99: %s\n", fautil_Version(), failures == 0 ? "ok" : "FAILED");
  return failures == 0 ? 0 : 1;
}
