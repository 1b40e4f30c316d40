#include "LineEvents.h"

TLineChange DiffLineSnapshot(const TLineSnapshot& before, const TLineSnapshot& after) {
  TLineChange c;
  if (after.bufOverrun != before.bufOverrun) c.errors |= line_error::kRxOver;
  if (after.overrun != before.overrun) c.errors |= line_error::kOverrun;
  if (after.parity != before.parity) c.errors |= line_error::kRxParity;
  if (after.frame != before.frame) c.errors |= line_error::kFrame;
  if (after.brk != before.brk) c.errors |= line_error::kBreak;
  if (after.dcd != before.dcd) c.modemEvents |= modem_event::kCarrierDetect;
  if (after.rng != before.rng) c.modemEvents |= modem_event::kRing;
  return c;
}
