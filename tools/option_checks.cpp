#include "tools/option_checks.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace korv::tools {

namespace {

// The shortest text of a bound: "3600", "0.5".
std::string bound(double value) {
  std::string text = std::to_string(value);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') {
    text.pop_back();
  }
  return text;
}

}  // namespace

CLI::Validator finite_between(double low, double high) {
  const std::string wanted = "a number from " + bound(low) + " to " + bound(high);
  return CLI::Validator(
      [=](std::string &text) -> std::string {
        char *end = nullptr;
        const double value = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
        if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) ||
            value < low || value > high) {
          return "wants " + wanted + ", not '" + text + "'";
        }
        return "";
      },
      wanted);
}

CLI::Validator whole_between(long low, long high, const std::string &meaning) {
  const std::string wanted = "a whole number from " + std::to_string(low) + " to " +
                             std::to_string(high) + (meaning.empty() ? "" : " (" + meaning + ")");
  return CLI::Validator(
      [=](std::string &text) -> std::string {
        long value = 0;
        const char *end = text.data() + text.size();
        const auto [ptr, ec] = std::from_chars(text.data(), end, value);
        if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high) {
          return "wants " + wanted + ", not '" + text + "'";
        }
        return "";
      },
      wanted);
}

}  // namespace korv::tools
