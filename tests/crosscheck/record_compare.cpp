#include "tests/crosscheck/record_compare.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <vector>

namespace korv::crosscheck {

namespace {

struct CaseLines {
  std::vector<std::string> a, b;
};

// The case label at the start of a line, {"case":"LABEL",...}.
std::string case_of(const std::string &line) {
  static const char prefix[] = "{\"case\":\"";
  if (line.compare(0, sizeof prefix - 1, prefix) != 0) {
    return "(malformed)";
  }
  const std::size_t end = line.find('"', sizeof prefix - 1);
  return end == std::string::npos ? "(malformed)"
                                  : line.substr(sizeof prefix - 1, end - (sizeof prefix - 1));
}

bool read_lines(const std::string &path, std::vector<std::string> &order,
                std::map<std::string, CaseLines> &cases, bool first) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::printf("cannot read %s\n", path.c_str());
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (line.empty()) {
      continue;
    }
    const std::string label = case_of(line);
    auto [it, added] = cases.try_emplace(label);
    if (added) {
      order.push_back(label);
    }
    (first ? it->second.a : it->second.b).push_back(line);
  }
  return true;
}

bool decode(const std::string &hex, double &value) {
  if (hex.size() != 18 || hex.compare(0, 2, "0x") != 0) {
    return false;
  }
  std::uint64_t u = 0;
  for (std::size_t i = 2; i < hex.size(); ++i) {
    const char c = hex[i];
    const int digit = c >= '0' && c <= '9' ? c - '0' : (c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1);
    if (digit < 0) {
      return false;
    }
    u = (u << 4) | std::uint64_t(digit);
  }
  std::memcpy(&value, &u, sizeof value);
  return true;
}

struct CaseResult {
  bool ok = true;
  std::string first_difference;
  long within_tolerance = 0;
  std::string tolerance_example;
  double worst_relative = 0;
};

void mismatch(CaseResult &result, const std::string &what) {
  if (result.ok) {
    result.first_difference = what;
  }
  result.ok = false;
}

// Compares two records of one case field by field.
void compare_records(const std::string &text_a, const std::string &text_b, CaseResult &result) {
  const auto a = nlohmann::json::parse(text_a, nullptr, false);
  const auto b = nlohmann::json::parse(text_b, nullptr, false);
  if (a.is_discarded() || b.is_discarded() || !a.is_object() || !b.is_object()) {
    mismatch(result, "unreadable record: " + text_a.substr(0, 80));
    return;
  }
  // "sample 17", "edge 4", "point 9": the record's kind and number.
  const std::string what = a.value("what", std::string("?"));
  const std::string where = what + " " + (a.contains(what) ? a[what].dump() : std::string());
  if (a.size() != b.size()) {
    mismatch(result, where + ": different fields");
    return;
  }
  for (const auto &[field, value_a] : a.items()) {
    if (!b.contains(field)) {
      mismatch(result, where + ": " + field + " missing");
      continue;
    }
    const auto &value_b = b[field];
    if (value_a == value_b) {
      continue;
    }
    // Vectors are compared element by element, scalars as themselves.
    const auto list_a = value_a.is_array() ? value_a : nlohmann::json::array({value_a});
    const auto list_b = value_b.is_array() ? value_b : nlohmann::json::array({value_b});
    if (list_a.size() != list_b.size()) {
      mismatch(result, where + ": " + field + " " + value_a.dump() + " vs " + value_b.dump());
      continue;
    }
    for (std::size_t i = 0; i < list_a.size(); ++i) {
      if (list_a[i] == list_b[i]) {
        continue;
      }
      double relative = 0;
      if (list_a[i].is_string() && list_b[i].is_string() &&
          values_agree(field, list_a[i].get<std::string>(), list_b[i].get<std::string>(),
                       relative)) {
        if (result.within_tolerance++ == 0) {
          result.tolerance_example = where + " " + field;
        }
        result.worst_relative = std::fmax(result.worst_relative, relative);
        continue;
      }
      mismatch(result, where + ": " + field + " " + list_a[i].dump() + " vs " + list_b[i].dump());
    }
  }
}

}  // namespace

bool is_exp_derived_field(const std::string &field) {
  static const char *const fields[] = {"luminous",     "diffuse",      "specular",  "mirror",
                                       "transparency", "translucency", "bumpHeight"};
  for (const char *f : fields) {
    if (field == f) {
      return true;
    }
  }
  return false;
}

bool values_agree(const std::string &field, const std::string &a, const std::string &b,
                  double &relative) {
  double x = 0, y = 0;
  relative = 0;
  if (!decode(a, x) || !decode(b, y)) {
    return false;
  }
  if (std::memcmp(&x, &y, sizeof x) == 0) {
    return true;
  }
  if (!is_exp_derived_field(field) || !std::isfinite(x) || !std::isfinite(y)) {
    return false;
  }
  const double scale = std::fmax(std::fabs(x), std::fabs(y));
  relative = std::fabs(x - y) / scale;
  return relative <= kExpRelativeTolerance;
}

int compare_files(const std::string &path_a, const std::string &path_b) {
  std::vector<std::string> order;
  std::map<std::string, CaseLines> cases;
  if (!read_lines(path_a, order, cases, true) || !read_lines(path_b, order, cases, false)) {
    std::printf("0 passed, 1 failed\n");
    return 1;
  }
  int passed = 0, failed = 0;
  for (const std::string &label : order) {
    const CaseLines &lines = cases[label];
    CaseResult result;
    if (lines.a.empty() || lines.b.empty()) {
      mismatch(result, std::string("only in ") + (lines.a.empty() ? path_b : path_a));
    } else if (lines.a.size() != lines.b.size()) {
      mismatch(result,
               std::to_string(lines.a.size()) + " records vs " + std::to_string(lines.b.size()));
    }
    for (std::size_t i = 0; result.ok && i < lines.a.size(); ++i) {
      if (lines.a[i] != lines.b[i]) {
        compare_records(lines.a[i], lines.b[i], result);
      }
    }
    if (result.ok) {
      ++passed;
      std::printf("PASS %s (%zu records", label.c_str(), lines.a.size());
      if (result.within_tolerance == 0) {
        std::printf(", bit for bit");
      } else {
        std::printf(
            ", bit for bit but %ld exp-derived values within %.0e relative (largest %.3g, first: "
            "%s)",
            result.within_tolerance, kExpRelativeTolerance, result.worst_relative,
            result.tolerance_example.c_str());
      }
      std::printf(")\n");
    } else {
      ++failed;
      std::printf("FAIL %s: %s\n", label.c_str(), result.first_difference.c_str());
    }
  }
  if (order.empty()) {
    std::printf("no records in %s or %s\n", path_a.c_str(), path_b.c_str());
    failed = 1;
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}

}  // namespace korv::crosscheck
