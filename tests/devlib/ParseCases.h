#pragma once
// Table-driven checks for the library's text-to-operand parsers.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace fautil::test {

struct Parse {
  const char* text;
  bool ok;
  uint8_t type = 0;
  uint32_t address = 0;
};

using ParseFn = bool (*)(const char*, uint8_t&, uint32_t&);

// Outputs start from sentinels so a parser that forgets to set them shows.
inline void ExpectParses(ParseFn parse, const std::vector<Parse>& cases) {
  for (const Parse& c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    uint8_t type = 0xEE;
    uint32_t address = 0xEEEEEEEE;
    ASSERT_EQ(parse(c.text, type, address), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(address, c.address);
  }
}

}  // namespace fautil::test
