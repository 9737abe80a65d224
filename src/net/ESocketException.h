#pragma once

#include <stdexcept>
#include <string>

namespace orvane {

// Raised by the socket layer when a failure has no OnError handler to go to.
class ESocketException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace orvane
