#include <cmath>

#include "node/node_instance.h"

namespace korv {

namespace {

// How far toLocal, read one way, takes P from oP: the largest coordinate
// difference.
double miss(const LWShadingGeometry &s, MatrixReading reading) {
  double w2o[9];
  world_to_object(s.toLocal, reading, w2o);
  double worst = 0.0;
  for (int i = 0; i < 3; ++i) {
    const double t = reading == MatrixReading::Rows ? s.toLocal[3][i] : s.toLocal[i][3];
    const double o = w2o[3 * i] * s.P[0] + w2o[3 * i + 1] * s.P[1] + w2o[3 * i + 2] * s.P[2] + t;
    const double d = std::fabs(o - s.oP[i]);
    // A difference that is not a number decides nothing.
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

MatrixReading decide_matrix_reading(const LWShadingGeometry &sample) {
  const double rows = miss(sample, MatrixReading::Rows);
  const double columns = miss(sample, MatrixReading::Columns);
  double scale = 1.0;
  for (int i = 0; i < 3; ++i) {
    scale = std::fmax(scale, std::fmax(std::fabs(sample.P[i]), std::fabs(sample.oP[i])));
  }
  // One reading must land on oP within rounding while the other misses it
  // by far more: a sample on the object's axis, or a symmetric matrix
  // without translation, tells nothing.
  const double near = 1e-9 * scale;
  const double far = 1e-6 * scale;
  if (rows <= near && columns > far) {
    return MatrixReading::Rows;
  }
  if (columns <= near && rows > far) {
    return MatrixReading::Columns;
  }
  return MatrixReading::Undecided;
}

void forget_matrix_readings(MatrixReadings &readings) {
  for (std::size_t i = 0; i < kMatrixSlots; ++i) {
    readings.reading[i].store(0, std::memory_order_relaxed);
    readings.object[i].store(nullptr, std::memory_order_relaxed);
  }
}

MatrixReading matrix_reading(MatrixReadings &readings, const LWShadingGeometry &sample) {
  // A symmetric linear part (an object that is not turned, or only
  // mirrored or scaled along its axes) reads the same both ways: nothing to
  // decide, and no decision to keep for a later, turned sample.
  const LWDMatrix4 &m = sample.toLocal;
  if (m[0][1] == m[1][0] && m[0][2] == m[2][0] && m[1][2] == m[2][1]) {
    return kDefaultMatrixReading;
  }
  const LWItemID object = sample.itemID;
  std::size_t free_slot = kMatrixSlots;
  for (std::size_t i = 0; i < kMatrixSlots; ++i) {
    const LWItemID held = readings.object[i].load(std::memory_order_acquire);
    if (held == object) {
      const int kept = readings.reading[i].load(std::memory_order_acquire);
      if (kept != 0) {
        return static_cast<MatrixReading>(kept);
      }
      break;
    }
    if (held == nullptr) {
      free_slot = i;
      break;
    }
  }
  const MatrixReading decided = decide_matrix_reading(sample);
  if (decided == MatrixReading::Undecided) {
    return kDefaultMatrixReading;
  }
  // Claim the first free slot for the object; another thread may take it
  // first, for this object or another, and then this sample's decision is
  // simply not kept.
  if (free_slot < kMatrixSlots) {
    LWItemID expected = nullptr;
    if (readings.object[free_slot].compare_exchange_strong(expected, object,
                                                           std::memory_order_acq_rel)) {
      readings.reading[free_slot].store(static_cast<int>(decided), std::memory_order_release);
    }
  }
  return decided;
}

}  // namespace korv
