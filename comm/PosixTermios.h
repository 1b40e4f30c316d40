// How a TDcb record becomes POSIX terminal settings (Linux).
//
// Kept in the record but not put on the line, because Linux has no
// equivalent: DSR output flow (kOutxDsrFlow), DSR sensitivity, the XON/XOFF
// limits, continue-after-XOFF, DTR handshake (DTR is simply on) and RTS
// toggle (RTS is simply on). Bytes with a parity error read as NUL when
// parity checking is on. NUL discard is done by the receive thread.
#pragma once

#include <termios.h>

#include <cstdint>
#include <optional>

#include "CommTypes.h"

enum class TLineAction { Leave, On, Off };

struct TTermiosPlan {
  termios tio{};
  // Non-zero when the rate has no B-constant and must be set with
  // SetLineRates after tio has been applied.
  uint32_t customRate = 0;
  TLineAction dtr = TLineAction::Leave;
  TLineAction rts = TLineAction::Leave;
};

// Pure: `current` supplies the fields the record does not govern. Raw mode,
// receiver on, modem control lines ignored, no hang-up on close, reads never
// wait in the driver (VMIN = VTIME = 0). Empty when the record cannot be put
// on a line (rate 0, byte size outside 5..8, unknown parity or stop bits).
std::optional<TTermiosPlan> MapDcbToTermios(const TDcb& dcb, const termios& current);

// B-constant of a standard rate, or 0 when there is none.
speed_t BaudToSpeed(uint32_t rate);
// Rate of a B-constant, or 0.
uint32_t SpeedToBaud(speed_t speed);

// True when the line read back after applying `wanted` at `rate` bit/s holds
// what was asked: both directions within the 2 % a driver may round a rate
// by, and the same data bits, parity, stop bits and hardware flow. Pure.
bool SettingsHold(const termios& wanted, uint32_t rate, const termios& got, uint32_t gotInput,
                  uint32_t gotOutput);

// Sets any input and output rate through the kernel's arbitrary-rate
// interface (PosixBaudRate.cpp).
bool SetLineRates(int fd, uint32_t input, uint32_t output);
// Reads both rates in bits per second, standard or not.
bool ReadLineRates(int fd, uint32_t& input, uint32_t& output);
