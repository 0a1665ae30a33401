#pragma once

#include <string>

// The web service's answer to a failed call. Only the code is read by the system; Gossamy turns
// it into the message shown to the user.
struct WebError {
  std::string result;
  std::string code;
  std::string message;
};
