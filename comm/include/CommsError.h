// The one exception type of the serial component.
#pragma once

#include <stdexcept>

// Raised only by TComm::StartComm; carries a fixed message text and no number.
class ECommsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
