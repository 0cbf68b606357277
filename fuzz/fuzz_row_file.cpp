// Feeds any bytes to the row file reader. It must not crash, must yield rows
// only when it found no problem, keep every value in its range, and read its
// own output of those rows back to the same rows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "cli/row_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const RowFile file = ReadRowFile(text);
  if (!file.problems.empty() && !file.rows.empty()) std::abort();
  for (const FileProblem& problem : file.problems) {
    if (problem.line < 0 || problem.what.empty()) std::abort();
  }
  for (const FileRow& row : file.rows) {
    if (row.sequence < 1 || row.sequence > 8) std::abort();
    if (file.hasUnitColumn ? (row.unit < 0 || row.unit > 7) : row.unit != -1) std::abort();
    if (file.hasLineColumn ? (row.lineName < 0 || static_cast<size_t>(row.lineName) >= file.lineNames.size())
                           : row.lineName != -1) {
      std::abort();
    }
    for (int32_t value : row.channels) {
      if (value < 0 || value > 255) std::abort();
    }
  }
  if (file.problems.empty()) {
    const RowFile again =
        ReadRowFile(RowFileText(file.rows, file.hasUnitColumn, file.hasLineColumn ? &file.lineNames : nullptr));
    if (!again.problems.empty() || again.rows.size() != file.rows.size()) std::abort();
    for (size_t i = 0; i < file.rows.size(); ++i) {
      if (again.rows[i].lineName != file.rows[i].lineName || again.rows[i].unit != file.rows[i].unit || again.rows[i].sequence != file.rows[i].sequence ||
          again.rows[i].channels != file.rows[i].channels || again.rows[i].label != file.rows[i].label) {
        std::abort();
      }
    }
  }
  return 0;
}
