// The settings record: fills touch only what they name, and the list line
// keeps its exact widths.
#include <gtest/gtest.h>

#include "settings/led_settings.h"

TEST(ListLine, PadsRowToTwoAndValuesToFourColumnsAndPrintsWideValuesWhole) {
  SequenceTable table;
  table.FillAll(128);
  table.FillRow(7, 0);
  table.SetCell(2, 0, 1000);
  table.SetCell(2, 1, -5);
  table.SetCell(2, 2, -2147483647 - 1);
  table.SetCell(2, 3, 7);
  std::vector<std::string> lines = ListLines(table);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "SEQ-  1. 1= 128, 2= 128, 3= 128, 4= 128");
  EXPECT_EQ(lines[2], "SEQ-  3. 1=1000, 2=  -5, 3=-2147483648, 4=   7");
  EXPECT_EQ(lines[7], "SEQ-  8. 1=   0, 2=   0, 3=   0, 4=   0");
}

TEST(SequenceTable, FillRowAndFillAllChangeOnlyWhatTheyName) {
  LedSettings settings;
  settings.comPort = 3;
  settings.numOfChannel = 9;
  settings.maxSq = 6;
  settings.seq.FillAll(7);
  settings.seq.FillRow(3, 255);
  for (int cell = 0; cell < 32; ++cell) EXPECT_EQ(settings.seq.cells[cell], cell / 4 == 3 ? 255 : 7);
  EXPECT_EQ(settings.seq.Row(3), (std::array<int32_t, 4>{255, 255, 255, 255}));
  EXPECT_EQ(settings.comPort, 3);
  EXPECT_EQ(settings.numOfChannel, 9);
  EXPECT_EQ(settings.maxSq, 6);
}

TEST(LedSettings, ProcessRecordIsOneZeroFilledInstance) {
  EXPECT_EQ(&TheLedSettings(), &TheLedSettings());
  EXPECT_EQ(TheLedSettings().maxSq, 0);
  for (int32_t cell : TheLedSettings().seq.cells) EXPECT_EQ(cell, 0);
}
