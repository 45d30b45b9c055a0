#include <cmath>

#include "node/node_instance.h"

namespace korv {

namespace {

// Positions a host keeps in single precision are off by up to half a unit
// in the last place (2^-24 of their size); this allows about a hundred
// times that, so that rounding alone never tells a reading.
constexpr double kPositionNoise = 1.0e-5;

// How many times nearer to oP one reading must take P than the other. A
// pivot the matrix leaves out, or a deformation oP is taken before, moves
// oP by the same amount from both readings' points; only a sample where the
// readings part by several times that tells them apart.
constexpr double kClearRatio = 4.0;

double translation(const LWDMatrix4 &m, MatrixReading reading, int i) {
  return reading == MatrixReading::Rows ? m[3][i] : m[i][3];
}

bool is_zero_translation(const LWDMatrix4 &m, MatrixReading reading) {
  return translation(m, reading, 0) == 0.0 && translation(m, reading, 1) == 0.0 &&
         translation(m, reading, 2) == 0.0;
}

bool is_finite_translation(const LWDMatrix4 &m, MatrixReading reading) {
  return std::isfinite(translation(m, reading, 0)) && std::isfinite(translation(m, reading, 1)) &&
         std::isfinite(translation(m, reading, 2));
}

// The writing toLocal's own zeros show: its translation in one place and
// exact zeros in the other, so that its last row or column is (0, 0, 0, 1)
// one way round only. A matrix without a translation, or with numbers in
// both places, shows none.
MatrixReading reading_from_zeros(const LWDMatrix4 &m) {
  const bool no_row_move = is_zero_translation(m, MatrixReading::Rows);
  const bool no_column_move = is_zero_translation(m, MatrixReading::Columns);
  if (no_column_move && !no_row_move) {
    return MatrixReading::Rows;
  }
  if (no_row_move && !no_column_move) {
    return MatrixReading::Columns;
  }
  return MatrixReading::Undecided;
}

// How far toLocal, read one way, takes P from oP beyond the rounding of
// single-precision positions: the largest over the coordinates. The
// rounding is taken at the size of every term that makes the coordinate,
// so that a scaled object, or one far from the origin, is judged as one
// of unit size at the origin.
double miss(const LWShadingGeometry &s, MatrixReading reading) {
  double w2o[9];
  world_to_object(s.toLocal, reading, w2o);
  double worst = 0.0;
  for (int i = 0; i < 3; ++i) {
    const double t = translation(s.toLocal, reading, i);
    double mapped = t;
    double size = std::fabs(t) + std::fabs(s.oP[i]);
    for (int j = 0; j < 3; ++j) {
      const double term = w2o[3 * i + j] * s.P[j];
      mapped += term;
      size += std::fabs(term);
    }
    const double d = std::fabs(mapped - s.oP[i]) - kPositionNoise * size;
    // A difference that is not a number takes the reading out of the
    // running.
    if (!(d <= worst)) {
      worst = std::isnan(d) ? HUGE_VAL : d;
    }
  }
  return worst;
}

}  // namespace

void world_to_object(const LWDMatrix4 &to_local, MatrixReading reading, double out[9]) {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      // Column vectors: object[i] = sum_j m[i][j] world[j]; row vectors:
      // object[i] = sum_j world[j] m[j][i].
      out[3 * i + j] = reading == MatrixReading::Rows ? to_local[j][i] : to_local[i][j];
    }
  }
}

MatrixReading told_matrix_reading(const LWShadingGeometry &sample) {
  // A broken matrix tells nothing, whichever place it is broken in.
  if (!is_finite_translation(sample.toLocal, MatrixReading::Rows) ||
      !is_finite_translation(sample.toLocal, MatrixReading::Columns)) {
    return MatrixReading::Undecided;
  }
  const MatrixReading zeros = reading_from_zeros(sample.toLocal);
  if (zeros != MatrixReading::Undecided) {
    return zeros;
  }
  // A symmetric linear part without translation (an object that is not
  // turned) takes P to the same point both ways: nothing to tell, and
  // nothing to reckon for the samples of a still object.
  const LWDMatrix4 &m = sample.toLocal;
  if (m[0][1] == m[1][0] && m[0][2] == m[2][0] && m[1][2] == m[2][1]) {
    return MatrixReading::Undecided;
  }
  const double rows = miss(sample, MatrixReading::Rows);
  const double columns = miss(sample, MatrixReading::Columns);
  if (columns > 0.0 && columns > kClearRatio * rows) {
    return MatrixReading::Rows;
  }
  if (rows > 0.0 && rows > kClearRatio * columns) {
    return MatrixReading::Columns;
  }
  return MatrixReading::Undecided;
}

void forget_matrix_readings(MatrixReadings &readings) {
  readings.decided.store(0, std::memory_order_relaxed);
  readings.contradicting.store(0, std::memory_order_relaxed);
}

MatrixReading matrix_reading(MatrixReadings &readings, const LWShadingGeometry &sample,
                             bool &contradicts) {
  contradicts = false;
  const MatrixReading told = told_matrix_reading(sample);
  int kept = readings.decided.load(std::memory_order_acquire);
  if (kept == 0) {
    if (told == MatrixReading::Undecided) {
      return kDefaultMatrixReading;
    }
    // Another render thread may decide first; its decision then stands, and
    // this sample is judged against it.
    if (readings.decided.compare_exchange_strong(kept, static_cast<int>(told),
                                                 std::memory_order_acq_rel)) {
      return told;
    }
  }
  contradicts = told != MatrixReading::Undecided && static_cast<int>(told) != kept;
  return static_cast<MatrixReading>(kept);
}

}  // namespace korv
