#include "SerialDevice.h"

TDcb TSerialDevice::GetState() const {
  std::lock_guard lock(fMutex);
  return fState;
}

bool TSerialDevice::SetState(const TDcb& state) {
  // Applied and stored under one lock so concurrent readers never see a
  // record the line does not have.
  std::lock_guard lock(fMutex);
  // The line already holds it: a network port would wait for its server's
  // answers again for nothing.
  if (fApplied && state == fState) return true;
  if (!ApplyState(state)) return false;
  fState = state;
  fApplied = true;
  return true;
}

TCommTimeouts TSerialDevice::GetTimeouts() const {
  std::lock_guard lock(fMutex);
  return fTimeouts;
}

void TSerialDevice::SetTimeouts(const TCommTimeouts& timeouts) {
  std::lock_guard lock(fMutex);
  fTimeouts = timeouts;
}

void TSerialDevice::InitState(const TDcb& state) {
  std::lock_guard lock(fMutex);
  fState = state;
}
