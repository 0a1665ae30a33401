#pragma once

// The toolbar's number fields: a text read as a number, clamped to a range and written back.

#include <string>

// Reads text as an integer (integer = true) or a decimal number; text that does not read as a
// number counts as 0. Clamps to [low, high] and formats the result with "%d", or "%.1f" for
// decimals.
std::string ClampField(const std::string& text, bool integer, double low, double high);
