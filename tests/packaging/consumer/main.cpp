// Parses and prints one operand through the installed library.
#include <fautil/OperandText.h>

#include <cstdio>

int main() {
  uint8_t type = 0;
  uint32_t address = 0;
  char text[32] = {};
  if (!fautil::StrToType("X10", type, address) || !fautil::TypeToStr(text, type, address)) {
    std::puts("fautil: X10 not understood");
    return 1;
  }
  std::printf("fautil: X10 -> type %u address %u -> %s\n", unsigned{type}, unsigned{address}, text);
  return 0;
}
