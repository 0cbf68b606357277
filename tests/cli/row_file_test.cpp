// The row file reader on texts as people and other programs write them.
#include <gtest/gtest.h>

#include "cli/printable.h"
#include "cli/row_file.h"

namespace {

struct SoundCase {
  const char* name;
  std::string text;
  bool hasUnitColumn;
  std::vector<std::array<int32_t, 6>> rows;  // unit (-1 without the column), sequence, ch1..ch4
};

TEST(RowFile, ReadsFilesAsTheyComeFromEditorsAndSpreadsheets) {
  const SoundCase cases[] = {
      {"plain", "unit,sequence,ch1,ch2,ch3,ch4\n0,1,0,128,255,7\n", true, {{0, 1, 0, 128, 255, 7}}},
      {"CR LF line ends and no final line end", "unit,sequence,ch1,ch2,ch3,ch4\r\n7,8,1,2,3,4", true,
       {{7, 8, 1, 2, 3, 4}}},
      {"byte order mark, capital header, blanks around values",
       "\xEF\xBB\xBFUnit, Sequence ,CH1,CH2,CH3,CH4\n 1 , 2 , 3 , 4 , 5 , 6 \n", true, {{1, 2, 3, 4, 5, 6}}},
      {"comments before the header, whole-line and after a row",
       "# saved by hand\n\n# another\nsequence,ch1,ch2,ch3,ch4\n2,9,9,9,9  # warm white\n", false,
       {{-1, 2, 9, 9, 9, 9}}},
      {"CR line ends alone, as old editors write them", "unit,sequence,ch1,ch2,ch3,ch4\r7,8,1,2,3,4\r\r1,1,0,0,0,0",
       true, {{7, 8, 1, 2, 3, 4}, {1, 1, 0, 0, 0, 0}}},
      {"same sequence for two units", "unit,sequence,ch1,ch2,ch3,ch4\n1,1,0,0,0,0\n2,1,0,0,0,0\n", true,
       {{1, 1, 0, 0, 0, 0}, {2, 1, 0, 0, 0, 0}}},
      {"columns in another order: line after unit, the label amid them, channels backwards",
       "unit,LINE,label,sequence,ch4,ch3,ch2,ch1\n3,Com 2,\"Bar, 3\",2,4,3,2,1\n", true, {{3, 2, 1, 2, 3, 4}}},
      {"a spreadsheet's empty rows below the data", "unit,sequence,ch1,ch2,ch3,ch4\r\n3,1,0,0,0,0\r\n,,,,,\r\n , ,,,,\r\n",
       true, {{3, 1, 0, 0, 0, 0}}},
  };
  for (const SoundCase& c : cases) {
    SCOPED_TRACE(c.name);
    const RowFile file = ReadRowFile(c.text);
    ASSERT_TRUE(file.problems.empty()) << file.problems.front().line << ": " << file.problems.front().what;
    EXPECT_EQ(file.hasUnitColumn, c.hasUnitColumn);
    ASSERT_EQ(file.rows.size(), c.rows.size());
    for (size_t i = 0; i < c.rows.size(); ++i) {
      const FileRow& row = file.rows[i];
      EXPECT_EQ((std::array<int32_t, 6>{row.unit, row.sequence, row.channels[0], row.channels[1], row.channels[2],
                                        row.channels[3]}),
                c.rows[i]);
    }
  }
}

struct BadCase {
  const char* name;
  std::string text;
  int line;
  std::string what;
};

TEST(RowFile, NamesTheLineAndWhatIsWrongAndYieldsNoRows) {
  const BadCase cases[] = {
      {"empty file", "", 0,
       "no header line unit,sequence,ch1,ch2,ch3,ch4 (line and label may be added, unit left out, in any order)"},
      {"header only", "sequence,ch1,ch2,ch3,ch4\n# nothing yet\n", 0, "holds no rows"},
      {"a number too long for any integer", "sequence,ch1,ch2,ch3,ch4\n1,99999999999999999999999,0,0,0\n", 2,
       "ch1: \"99999999999999999999999\" is outside 0-255"},
      {"empty value", "sequence,ch1,ch2,ch3,ch4\n1,,0,0,0\n", 2, "ch1 is empty"},
      {"plus sign", "sequence,ch1,ch2,ch3,ch4\n1,+5,0,0,0\n", 2, "ch1: \"+5\" is not a number"},
      {"semicolons from a spreadsheet", "sequence;ch1;ch2;ch3;ch4\n", 1,
       "the first line must be the header unit,sequence,ch1,ch2,ch3,ch4 (line and label may be added, unit left out, "
       "in any order)"},
      {"a column twice, two missing and one no reader knows", "unit,sequence,ch1,ch2,colour,Unit\n", 1,
       "\"colour\" is no column, unit is named twice, ch3 and ch4 are missing; the header is "
       "unit,sequence,ch1,ch2,ch3,ch4 (line and label may be added, unit left out, in any order)"},
      {"a label without the unit it names", "sequence,ch1,ch2,ch3,ch4,label\n", 1,
       "a label column needs the unit column; the header is unit,sequence,ch1,ch2,ch3,ch4 (line and label may be "
       "added, unit left out, in any order)"},
      {"row twice without a unit column", "sequence,ch1,ch2,ch3,ch4\n4,0,0,0,0\n4,1,1,1,1\n", 3,
       "sequence 4 is given twice (first on line 2)"},
      {"a NUL byte inside a value", std::string("sequence,ch1,ch2,ch3,ch4\n1,0\0,0,0,0\n", 36), 2,
       "ch1: \"0\\x00\" is not a number"},
      {"a terminal's escape sequence is shown, not acted on", "sequence,ch1,ch2,ch3,ch4\n1,\x1b]0;owned\x07,0,0,0\n", 2,
       "ch1: \"\\x1b]0;owned\\x07\" is not a number"},
      {"a line that is neither Com entry nor path", "line,unit,sequence,ch1,ch2,ch3,ch4\nCom 9,1,1,0,0,0,0\n", 2,
       "line: \"Com 9\" is neither \"Com 1\"..\"Com 4\" nor a device path"},
      {"same row of one unit on one line, the line spelled twice",
       "line,unit,sequence,ch1,ch2,ch3,ch4\nCom 2,1,1,0,0,0,0\ncom2,1,1,5,5,5,5\n", 3,
       "Com 2, unit 1, sequence 1 is given twice (first on line 2)"},
      {"two labels for one unit",
       "line,unit,sequence,ch1,ch2,ch3,ch4,label\nCom 1,3,1,0,0,0,0,Bar 3\nCom 2,3,1,0,0,0,0,Bar 4\n"
       "Com 1,3,2,0,0,0,0,Bar 4\n",
       4, "Com 1, unit 3 is labelled \"Bar 4\" here but \"Bar 3\" on line 2; every row of a unit carries its one label"},
      {"a quote left open", "unit,sequence,ch1,ch2,ch3,ch4,label\n1,1,0,0,0,0,\"Bar, left\n", 2,
       "a quote is not closed before the end of the line"},
      {"text after a closing quote", "unit,sequence,ch1,ch2,ch3,ch4,label\n1,1,0,0,0,0,\"Bar\" 3\n", 2,
       "text follows a closing quote before the comma: \"3\""},
      {"a label that reads right to left from its middle",
       "unit,sequence,ch1,ch2,ch3,ch4,label\n1,1,0,0,0,0,Bar \u202e3 raB\n", 2,
       "label: \"Bar \\u202e3 raB\" holds a control that reorders the text around it (U+061C, U+200E, U+200F, U+202A-U+202E, U+2028, U+2029, U+2066-U+2069)"},
      {"a site's name that would retitle the terminal", "# site: Ev\x1b]0;x\x07\nunit,sequence,ch1,ch2,ch3,ch4\n", 1,
       "site: \"Ev\\x1b]0;x\\x07\" is not UTF-8 text (it holds control bytes or bytes outside UTF-8)"},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.name);
    const RowFile file = ReadRowFile(c.text);
    ASSERT_EQ(file.problems.size(), 1u);
    EXPECT_EQ(file.problems[0].line, c.line);
    EXPECT_EQ(file.problems[0].what, c.what);
    EXPECT_TRUE(file.rows.empty());
  }
}

TEST(RowFile, LineColumnNamesEachRowsLineAndTheSameUnitMayBeOnTwoLines) {
  const RowFile file = ReadRowFile(
      "line,unit,sequence,ch1,ch2,ch3,ch4\nCOM 2,1,1,0,0,0,0\n/dev/ttyUSB5,1,1,0,0,0,0\ncom 2,2,1,0,0,0,0\n");
  ASSERT_TRUE(file.problems.empty()) << file.problems.front().what;
  EXPECT_EQ(file.lineNames, (std::vector<std::string>{"Com 2", "/dev/ttyUSB5"}));
  ASSERT_EQ(file.rows.size(), 3u);
  EXPECT_EQ(file.rows[1].lineName, 1);
  EXPECT_EQ(file.rows[2].lineName, 0);
  EXPECT_EQ(ReadRowFile(RowFileText(file.rows, true, &file.lineNames)).rows.size(), 3u);
}

TEST(RowFile, LabelsWithCommasQuotesAndAnyLettersSurviveAWriteAndARead) {
  const std::string label = "B\xC3\xBChne links, \"Zug\" #3 \xE2\x80\x94 \xE8\x88\x9E\xE5\x8F\xB0";  // Bühne ... — 舞台
  const RowFile file = ReadRowFile(
      "# site: Theater am Ring\n# company:  Licht & Ton GmbH\n# technician: Ana Lopes\n"
      "line,unit,sequence,ch1,ch2,ch3,ch4,label\n"
      "Com 1,2,1,0,0,0,0,\"B\xC3\xBChne links, \"\"Zug\"\" #3 \xE2\x80\x94 \xE8\x88\x9E\xE5\x8F\xB0\"  # stage\n"
      "Com 1,2,2,9,9,9,9, \"B\xC3\xBChne links, \"\"Zug\"\" #3 \xE2\x80\x94 \xE8\x88\x9E\xE5\x8F\xB0\"\n"
      "Com 1,5,1,1,1,1,1,\n");
  ASSERT_TRUE(file.problems.empty()) << file.problems.front().line << ": " << file.problems.front().what;
  EXPECT_EQ(file.site, "Theater am Ring");
  EXPECT_EQ(file.company, "Licht & Ton GmbH");
  EXPECT_EQ(file.technician, "Ana Lopes");
  ASSERT_EQ(file.rows.size(), 3u);
  EXPECT_EQ(file.rows[0].label, label);
  EXPECT_EQ(file.rows[1].label, label);
  EXPECT_EQ(file.rows[1].channels[3], 9);
  EXPECT_EQ(file.rows[2].label, "");
  const RowFile again = ReadRowFile(RowFileText(file.rows, true, &file.lineNames));
  ASSERT_TRUE(again.problems.empty()) << again.problems.front().what;
  ASSERT_EQ(again.rows.size(), 3u);
  EXPECT_EQ(again.rows[0].label, label);
  EXPECT_EQ(again.rows[2].label, "");
}

TEST(RowFile, AHugeBadFileListsAFewDozenProblemsAndCountsTheRest) {
  std::string text = "sequence,ch1,ch2,ch3,ch4\n1" + std::string(1'000'000, ',') + "\n";
  for (int i = 0; i < 5000; ++i) text += "1,x,0,0,0\n";
  const RowFile file = ReadRowFile(text);
  EXPECT_EQ(file.problems.size(), kListedProblems);
  EXPECT_EQ(file.problems.size() + file.unlistedProblems, 5001u);
  EXPECT_EQ(file.problems[0].what, "an extra column: 1000001 values where the header has 5 (sequence,ch1,ch2,ch3,ch4)");
}

TEST(RowFile, WrittenRowsReadBackUnchanged) {
  for (bool withUnit : {true, false}) {
    std::vector<FileRow> rows;
    for (int s = 1; s <= 8; ++s) rows.push_back({0, -1, withUnit ? s % 8 : -1, s, {0, s, 255 - s, 255}, {}});
    const RowFile file = ReadRowFile(RowFileText(rows, withUnit));
    ASSERT_TRUE(file.problems.empty());
    EXPECT_EQ(file.hasUnitColumn, withUnit);
    ASSERT_EQ(file.rows.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(file.rows[i].unit, rows[i].unit);
      EXPECT_EQ(file.rows[i].sequence, rows[i].sequence);
      EXPECT_EQ(file.rows[i].channels, rows[i].channels);
    }
  }
}

}  // namespace

namespace {

TEST(Printable, EscapesControlsAndStrayBytesButKeepsCharacters) {
  const struct {
    const char* name;
    std::string text;
    std::string shown;
  } cases[] = {
      {"C0 controls and DEL", "a\x1b[31m\x07\x7f", "a\\x1b[31m\\x07\\x7f"},
      {"an em dash (0x80, 0x94 inside it) and a euro sign kept", "held \xe2\x80\x94 \xe2\x82\xac",
       "held \xe2\x80\x94 \xe2\x82\xac"},
      {"a C1 control, in UTF-8 and alone", "\xc2\x9b" "1m \x9b", "\\xc2\\x9b1m \\x9b"},
      {"a character cut short at the end", "x\xe2\x80", "x\\xe2\\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(Printable(c.text), c.shown) << c.name;
}

}  // namespace
