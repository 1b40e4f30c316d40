#include "CommSettings.h"

TDcb BuildCommState(const TDcb& current, const TCommProperties& props) {
  TDcb d = current;
  d.BaudRate = props.BaudRate;

  uint32_t f = dcb::kBinary;
  if (props.ParityCheck) f |= dcb::kParity;
  if (props.Outx_CtsFlow) f |= dcb::kOutxCtsFlow;
  if (props.Outx_DsrFlow) f |= dcb::kOutxDsrFlow;
  switch (props.DtrControl) {
    case TDtrControl::DtrEnable:
      f |= dcb::kDtrControlEnable;
      break;
    case TDtrControl::DtrDisable:
      break;
    case TDtrControl::DtrHandshake:
      f |= dcb::kDtrControlHandshake;
      break;
  }
  if (props.DsrSensitivity) f |= dcb::kDsrSensitivity;
  if (props.TxContinueOnXoff) f |= dcb::kTxContinueOnXoff;
  if (props.Outx_XonXoffFlow) f |= dcb::kOutX;
  if (props.Inx_XonXoffFlow) f |= dcb::kInX;
  if (props.ReplaceWhenParityError) f |= dcb::kErrorChar;
  if (props.IgnoreNullChar) f |= dcb::kNull;
  switch (props.RtsControl) {
    case TRtsControl::RtsEnable:
      f |= dcb::kRtsControlEnable;
      break;
    case TRtsControl::RtsDisable:
      break;
    case TRtsControl::RtsHandshake:
      f |= dcb::kRtsControlHandshake;
      break;
    case TRtsControl::RtsTransmissionAvailable:
      f |= dcb::kRtsControlToggle;
      break;
  }
  d.Flags = f;

  d.XonLim = props.XonLimit;
  d.XoffLim = props.XoffLimit;
  d.ByteSize = static_cast<uint8_t>(static_cast<unsigned>(props.ByteSize) + 5);
  d.Parity = static_cast<uint8_t>(props.Parity);
  d.StopBits = static_cast<uint8_t>(props.StopBits);
  d.XonChar = props.XonChar;
  d.XoffChar = props.XoffChar;
  d.ErrorChar = props.ReplacedChar;
  return d;
}

TCommTimeouts BuildCommTimeouts(const TCommProperties& props) {
  TCommTimeouts t;
  t.ReadIntervalTimeout = props.ReadIntervalTimeout;
  t.ReadTotalTimeoutMultiplier = props.ReadTotalTimeoutMultiplier;
  t.ReadTotalTimeoutConstant = props.ReadTotalTimeoutConstant;
  t.WriteTotalTimeoutMultiplier = props.WriteTotalTimeoutMultiplier;
  t.WriteTotalTimeoutConstant = props.WriteTotalTimeoutConstant;
  return t;
}
