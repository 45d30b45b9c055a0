// Checks of korv-host's numeric options that say what is wanted. CLI11's own
// range checks let NaN through (every comparison with it is false) and, for
// a word where a number belongs, quote a range of 309-digit numbers.
#pragma once

#include <CLI/CLI.hpp>

namespace korv::tools {

// --turn, in degrees: ten turns either way is more than any view needs, and
// a bound keeps the sine and cosine of the angle meaningful.
inline constexpr double kMaxTurn = 3600.0;

// A finite number from low to high.
CLI::Validator finite_between(double low, double high);

// A whole number from low to high; meaning, when given, follows the range
// ("0: one per core").
CLI::Validator whole_between(long low, long high, const std::string &meaning = "");

}  // namespace korv::tools
