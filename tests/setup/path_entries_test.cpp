// The installer's PATH entry: added once at the end, taken out exactly, and
// every other byte of the value left as it was, however long it is.
#include "setup/path_entries.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/row_names.h"

namespace {

const std::string kFolder = "C:\\Users\\Ana\\AppData\\Local\\Programs\\Dimlet";

struct AddRow {
  const char* name;
  std::string path;
  std::optional<std::string> expected;
};
void PrintTo(const AddRow& row, std::ostream* os) { *os << row.name; }

const AddRow kAdds[] = {
    {"appended after the last entry", "C:\\Windows;C:\\Tools", "C:\\Windows;C:\\Tools;" + kFolder},
    {"an empty PATH gets the folder alone", "", kFolder},
    {"a PATH ending in a separator gets no second one", "C:\\Tools;", "C:\\Tools;" + kFolder},
    {"already there in another case", "C:\\Tools;c:\\users\\ana\\appdata\\local\\programs\\dimlet", std::nullopt},
    {"already there with a trailing backslash", kFolder + "\\;C:\\Tools", std::nullopt},
    {"a longer folder with the same start is another folder", kFolder + "2", kFolder + "2;" + kFolder},
    {"variables and empty entries kept as written", "%SystemRoot%;;\"C:\\A;B\"",
     "%SystemRoot%;;\"C:\\A;B\";" + kFolder},
};

class PathAdd : public testing::TestWithParam<AddRow> {};

TEST_P(PathAdd, GivesTheValueExpected) {
  EXPECT_EQ(setup::WithFolder(GetParam().path, kFolder), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, PathAdd, testing::ValuesIn(kAdds), testsupport::RowName{});

struct RemoveRow {
  const char* name;
  std::string path;
  std::optional<std::string> expected;
};
void PrintTo(const RemoveRow& row, std::ostream* os) { *os << row.name; }

const RemoveRow kRemoves[] = {
    {"the last entry with its separator", "C:\\Windows;" + kFolder, "C:\\Windows"},
    {"the only entry leaves an empty value", kFolder, ""},
    {"the first entry with the separator after it", kFolder + ";C:\\Tools", "C:\\Tools"},
    {"a middle entry leaves its neighbours joined once", "C:\\A;" + kFolder + ";C:\\B", "C:\\A;C:\\B"},
    {"only the last of two", kFolder + ";C:\\A;" + kFolder, kFolder + ";C:\\A"},
    {"an entry in another case is the operator's", "C:\\A;C:\\USERS\\ANA\\APPDATA\\LOCAL\\PROGRAMS\\DIMLET",
     std::nullopt},
    {"a longer folder with the same start stays", "C:\\A;" + kFolder + "2", std::nullopt},
    {"empty entries elsewhere kept", "C:\\A;;" + kFolder + ";;C:\\B", "C:\\A;;;C:\\B"},
};

class PathRemove : public testing::TestWithParam<RemoveRow> {};

TEST_P(PathRemove, GivesTheValueExpected) {
  EXPECT_EQ(setup::WithoutEntry(GetParam().path, kFolder), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, PathRemove, testing::ValuesIn(kRemoves), testsupport::RowName{});

// Longer than the installer's own strings (1024): nothing is cut, and the
// value after an install and an uninstall is the value before.
TEST(PathEntries, LongPathComesBackWhole) {
  std::string path;
  for (int i = 0; path.size() < 2000; ++i) path += "C:\\Tools\\Folder" + std::to_string(i) + ";";
  path.pop_back();
  const std::optional<std::string> added = setup::WithFolder(path, kFolder);
  ASSERT_TRUE(added);
  EXPECT_EQ(*added, path + ";" + kFolder);
  EXPECT_EQ(setup::WithoutEntry(*added, kFolder), path);
}

}  // namespace
