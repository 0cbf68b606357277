// Names for the rows of a parameterised test: the row's own `name` text made
// into a test name ("unit answers two bytes" -> "UnitAnswersTwoBytes"), so
// that a failing row is reported by what it catches.
#pragma once

#include <cctype>
#include <string>

#include <gtest/gtest.h>

namespace testsupport {

inline std::string TestNameOf(const std::string& text) {
  std::string name;
  bool upper = true;
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
      upper = false;
    } else {
      upper = true;
    }
  }
  return name;
}

// For INSTANTIATE_TEST_SUITE_P(..., testing::ValuesIn(rows), RowName{}).
struct RowName {
  template <class Row>
  std::string operator()(const testing::TestParamInfo<Row>& info) const {
    return TestNameOf(info.param.name);
  }
};

}  // namespace testsupport
