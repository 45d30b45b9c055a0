#include "host/json_failure.h"

#include <algorithm>

namespace korv::host {

namespace {

bool number_char(char c) {
  return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
}

// The line of the first place text holds number as a whole token, or 0.
std::size_t line_of(const std::string &text, const std::string &number) {
  for (std::size_t at = text.find(number); at != std::string::npos;
       at = text.find(number, at + 1)) {
    const std::size_t end = at + number.size();
    if ((at == 0 || !number_char(text[at - 1])) &&
        (end == text.size() || !number_char(text[end]))) {
      return 1 + std::size_t(std::count(text.begin(), text.begin() + std::ptrdiff_t(at), '\n'));
    }
  }
  return 0;
}

}  // namespace

std::string json_failure(const nlohmann::json::exception &e, const std::string &text, bool lines) {
  std::string what = e.what();
  if (const auto end = what.find("] ");
      what.rfind("[json.exception", 0) == 0 && end != std::string::npos) {
    what.erase(0, end + 2);
  }
  // "number overflow parsing '1e400'"
  const std::string overflow = "number overflow parsing '";
  if (what.rfind(overflow, 0) != 0 || what.back() != '\'') {
    return what;
  }
  const std::string number = what.substr(overflow.size(), what.size() - overflow.size() - 1);
  const std::size_t line = lines ? line_of(text, number) : 0;
  return "number " + number + " does not fit a double" +
         (line > 0 ? " (line " + std::to_string(line) + ")" : "");
}

}  // namespace korv::host
