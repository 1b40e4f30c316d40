// The kernel's termios2 interface cannot share a translation unit with
// <termios.h>, so arbitrary rates live here on their own.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

bool SetLineRates(int fd, uint32_t input, uint32_t output) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = input;
  t.c_ospeed = output;
  return ioctl(fd, TCSETS2, &t) == 0;
}

bool ReadLineRates(int fd, uint32_t& input, uint32_t& output) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return false;
  input = t.c_ispeed;
  output = t.c_ospeed;
  return true;
}
