// Progress reporting of a long export step. The scene exporter shows it in its progress
// window; tests and tools may pass null.
#pragma once

namespace vorlan::zef {

class ExportProgress {
 public:
  virtual ~ExportProgress() = default;
  // Node text and operation text (null leaves a text unchanged) and the first bar's
  // position (-1 leaves it).
  virtual void SetStep(const char* node, const char* operation, int barPos) = 0;
  // Second bar: range minimum (-1 keeps the range), range maximum and position.
  virtual void SetBar2(int rangeMin, int rangeMax, int pos) = 0;
};

}  // namespace vorlan::zef
