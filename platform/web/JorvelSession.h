#pragma once

#include <string>

namespace jorvel {

// The token of the current session, empty when nobody is logged in.
std::string SessionToken();

}  // namespace jorvel
