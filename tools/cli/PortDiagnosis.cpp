#include "PortDiagnosis.h"

#include "PortName.h"

namespace kv37::cli {

std::string DescribeOpenFailure(const std::string& path, const OpenFailure& failure) {
  switch (failure.kind) {
    case OpenFailureKind::Missing:
      return "no such port: " + path + " does not exist";
    case OpenFailureKind::Permission:
      return "permission denied on " + path +
             "; add the user to the dialout group (sudo usermod -aG dialout $USER) and log in "
             "again";
    case OpenFailureKind::Busy:
      return "port busy: " + path + " is in use by another program";
    case OpenFailureKind::NotSerial:
      return path + " is not a serial port";
    case OpenFailureKind::Other:
      break;
  }
  return path + ": " + failure.detail;
}

std::string ExplainOpenFailure(const std::string& name, const std::string& componentError) {
  const std::string path = ResolvePortName(name);
  const OpenFailure failure = DiagnoseOpenFailure(path);
  const std::string fallback = FallbackPortName(name);
  // TComm tries the fallback only when the first path cannot be opened at all.
  if (failure.kind == OpenFailureKind::Missing && !fallback.empty()) {
    const OpenFailure second = DiagnoseOpenFailure(fallback);
    if (second.kind != OpenFailureKind::Missing) return DescribeOpenFailure(fallback, second);
    return "no such port: neither " + path + " nor " + fallback + " exists";
  }
  if (failure.kind == OpenFailureKind::Other && failure.detail.empty())
    return path + ": " + componentError;
  return DescribeOpenFailure(path, failure);
}

}  // namespace kv37::cli
