// The published line properties of TComm and how they become a TDcb record.
#pragma once

#include <cstdint>

#include "CommTypes.h"

// Property values with the component's defaults. Plain data, no threads.
struct TCommProperties {
  uint32_t BaudRate = 9600;
  bool ParityCheck = false;
  bool Outx_CtsFlow = false;
  bool Outx_DsrFlow = false;
  TDtrControl DtrControl = TDtrControl::DtrEnable;
  bool DsrSensitivity = false;
  bool TxContinueOnXoff = true;
  bool Outx_XonXoffFlow = true;
  bool Inx_XonXoffFlow = true;
  bool ReplaceWhenParityError = false;
  bool IgnoreNullChar = false;
  TRtsControl RtsControl = TRtsControl::RtsEnable;
  uint16_t XonLimit = 500;
  uint16_t XoffLimit = 500;
  TByteSize ByteSize = TByteSize::_8;
  TParity Parity = TParity::None;
  TStopBits StopBits = TStopBits::_1;
  uint8_t XonChar = 0x11;
  uint8_t XoffChar = 0x13;
  uint8_t ReplacedChar = 0x00;
  uint32_t ReadIntervalTimeout = 100;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;
};

// Returns `current` with the rate, flags word, limits, character format and
// special characters replaced from `props`. The flags word is rebuilt from
// zero; every other field of `current` is kept.
TDcb BuildCommState(const TDcb& current, const TCommProperties& props);

// The five time-outs of `props`, in milliseconds.
TCommTimeouts BuildCommTimeouts(const TCommProperties& props);
