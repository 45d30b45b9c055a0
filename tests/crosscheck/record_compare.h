// Comparison of two record dumps of korv-records, case by case.
#pragma once

#include <string>

namespace korv::crosscheck {

// Fields that hold exp(-d / out_width) after an evaluation: the C runtimes'
// exp may differ in the last place, so these agree when within this relative
// difference. Every other value must match bit for bit.
inline constexpr double kExpRelativeTolerance = 1e-15;
bool is_exp_derived_field(const std::string &field);

// True when the two hex-encoded doubles are equal, or within the tolerance
// for an exp-derived field; relative receives their relative difference.
bool values_agree(const std::string &field, const std::string &a, const std::string &b,
                  double &relative);

// Prints one PASS or FAIL line per case of a, then "N passed, N failed".
// Returns 0 when every case agrees and both files hold the same cases.
int compare_files(const std::string &path_a, const std::string &path_b);

}  // namespace korv::crosscheck
