// The INI text model: untouched text comes back byte for byte, lookups ignore
// case, and setting a key changes only its value or adds one line.
#include <gtest/gtest.h>

#include <random>

#include "settings/ini_document.h"

TEST(IniDocument, UntouchedTextComesBackByteForByte) {
  std::vector<std::string> texts = {"", "[A]\nk=1", "[A]\r\nk=1\r\n\r\n; c\r\n", "[A]\nk=1\r\nj=2\n",
                                    "[A]\rk=1\r", std::string("[A]\nk=\0\0x\n\0", 10),
                                    "  [ A ]  \n  k  =  1  \n", "[A\nk=1\n"};
  std::mt19937 random(1234);
  for (int round = 0; round < 200; ++round) {
    std::string text(random() % 400, '\0');
    for (char& c : text) c = static_cast<char>(random() % 8 ? random() : "[]=\n\r;# "[random() % 9]);
    texts.push_back(text);
  }
  for (const std::string& text : texts) EXPECT_EQ(CIniDocument(text).Text(), text);
}

TEST(IniDocument, LookupIgnoresCaseAndFindsOnlyKeysOfTheExactSection) {
  CIniDocument ini(
      "k=top\n[Settings]\nk=1\n[LED]\nk=2\n[settings\\led]\n;k=comment\n  K \t=  a=b  \r\n");
  EXPECT_EQ(ini.Value("Settings\\LED", "k"), "a=b");
  EXPECT_EQ(ini.Value("Other", "k"), std::nullopt);
}

TEST(IniDocument, SetReplacesOnlyTheValueOfTheFirstOccurrence) {
  CIniDocument ini("[a]\r\n  K =  1  \r\nk=2\r\n");
  ini.Set("A", "k", "-2147483648");
  EXPECT_EQ(ini.Text(), "[a]\r\n  K =  -2147483648  \r\nk=2\r\n");
}

// Many keys at once must find and change exactly what one key at a time
// would: first occurrences across the section's blocks, names in any case,
// stray '[' lines, other sections' keys, new keys in order after the first block.
TEST(IniDocument, ManyKeysAtOnceAgreeWithOneKeyAtATime) {
  const std::vector<std::string> texts = {
      "",
      "[A]\nk=1\n\n; about B\n[B]\nx=1\nk=9\n[a]\n  K =  2 \ny=3\n[A\nz=4\n",
      "x=0\r\n[ a ]\r\nY=5\r\ny=6\r\n[B]\r\nj=7\r\n",
      "[B]\nk=1\n",
  };
  const std::vector<std::vector<std::string_view>> keyLists = {
      {"k", "j", "Y", "z", "new", "K", "x"}, {"new", "; not a key", "k", "[B]", " padded ", "k=v", "last"}};
  for (const std::string& text : texts) {
    for (const std::vector<std::string_view>& keys : keyLists) {
      SCOPED_TRACE(text);
      const CIniDocument read(text);
      const std::vector<std::optional<std::string_view>> values = read.Values("A", keys);
      ASSERT_EQ(values.size(), keys.size());
      for (size_t k = 0; k < keys.size(); ++k) EXPECT_EQ(values[k], read.Value("A", keys[k])) << keys[k];

      CIniDocument oneByOne(text);
      CIniDocument atOnce(text);
      std::vector<std::pair<std::string_view, std::string>> changes;
      for (size_t k = 0; k < keys.size(); ++k) {
        changes.emplace_back(keys[k], std::string(k + 1, static_cast<char>('a' + k)));
        oneByOne.Set("A", keys[k], changes.back().second);
      }
      atOnce.SetAll("A", changes);
      EXPECT_EQ(atOnce.Text(), oneByOne.Text());
      EXPECT_EQ(atOnce.Changed(), oneByOne.Changed());
    }
  }
  // A section whose header would not read back as itself.
  CIniDocument oneByOne("[A]\n");
  CIniDocument atOnce("[A]\n");
  oneByOne.Set("x\ny", "k", "1");
  oneByOne.Set("x\ny", "j", "2");
  atOnce.SetAll("x\ny", {{"k", "1"}, {"j", "2"}});
  EXPECT_EQ(atOnce.Text(), oneByOne.Text());
}

TEST(IniDocument, NewKeyGoesAfterTheSectionsLastEntryNotIntoTheNext) {
  CIniDocument ini("[A]\nk=1\n\n; about B\n[B]\nx=1\n[C]\n[A]\ny=2\n");
  ini.Set("A", "j", "2");
  ini.Set("C", "i", "3");
  EXPECT_EQ(ini.Text(), "[A]\nk=1\nj=2\n\n; about B\n[B]\nx=1\n[C]\ni=3\n[A]\ny=2\n");
}

TEST(IniDocument, NewSectionIsAppendedInTheTextsUsualLineEnd) {
  CIniDocument lf("[Ports]\nCom 1=/dev/ttyS0");
  lf.Set("Settings\\LED", "Max SQ", "8");
  EXPECT_EQ(lf.Text(), "[Ports]\nCom 1=/dev/ttyS0\n\n[Settings\\LED]\nMax SQ=8\n");
  CIniDocument crlf("[A]\r\nk=1\r\nj=2\r\n");
  crlf.Set("B", "m", "4");
  EXPECT_EQ(crlf.Text(), "[A]\r\nk=1\r\nj=2\r\n\r\n[B]\r\nm=4\r\n");
  CIniDocument empty("");
  empty.Set("S", "k", "1");
  EXPECT_EQ(empty.Text(), "[S]\nk=1\n");
}

TEST(IniDocument, LastLineEndingInLoneCarriageReturnIsCompletedBeforeAnAddedLine) {
  CIniDocument ini("[A]\nk=1\r");
  ini.Set("A", "j", "2");
  CIniDocument reread(ini.Text());
  EXPECT_EQ(reread.Value("A", "k"), "1");
  EXPECT_EQ(reread.Value("A", "j"), "2");
}

// Files as editors save them: a byte order mark in front, or lines ended by a
// carriage return alone. Each row sets one key and expects only its value to change.
TEST(IniDocument, ByteOrderMarkAndLoneCarriageReturnsAreReadAndKept) {
  struct Row {
    const char* fault;
    std::string text;
    std::string key;
    std::string expectedValue;
    std::string afterSet;  // the text after Set(key, "7")
  };
  const std::string bom = "\xEF\xBB\xBF";
  const Row rows[] = {
      {"mark hides the section", bom + "[Settings\\LED]\r\nMax SQ=5\r\n", "Max SQ", "5",
       bom + "[Settings\\LED]\r\nMax SQ=7\r\n"},
      {"mark dropped on writing a new key", bom + "[Settings\\LED]\nMax SQ=5\n", "New", "",
       bom + "[Settings\\LED]\nMax SQ=5\nNew=7\n"},
      {"mark alone gets a line end before the section", bom, "New", "", bom + "[Settings\\LED]\nNew=7\n"},
      {"lone CR lines read as one line", "[Settings\\LED]\rMax SQ=5\rSEQ 0\\CH 0=9\r", "SEQ 0\\CH 0", "9",
       "[Settings\\LED]\rMax SQ=5\rSEQ 0\\CH 0=7\r"},
      {"lone CR file gets CR lines", "[Settings\\LED]\rMax SQ=5\r", "New", "",
       "[Settings\\LED]\rMax SQ=5\rNew=7\r"},
      {"CR CR LF hides the value", "[Settings\\LED]\r\r\nMax SQ=40\r\r\n", "Max SQ", "40",
       "[Settings\\LED]\r\r\nMax SQ=7\r\r\n"},
      {"CR before a blank LF line joins them", "[Settings\\LED]\rk=1\r\n\n[B]\r", "New", "",
       "[Settings\\LED]\rk=1\r\nNew=7\r\n\n[B]\r"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    CIniDocument ini(row.text);
    EXPECT_EQ(ini.Text(), row.text);
    EXPECT_EQ(ini.Value("Settings\\LED", row.key).value_or(""), row.expectedValue);
    ini.Set("Settings\\LED", row.key, "7");
    EXPECT_EQ(ini.Text(), row.afterSet);
    EXPECT_TRUE(ini.Changed());
  }
}

TEST(IniDocument, SettingTheSameValueChangesNothing) {
  CIniDocument ini("[A]\nk = 5 \n");
  ini.Set("a", "K", "5");
  EXPECT_FALSE(ini.Changed());
  EXPECT_EQ(ini.Text(), "[A]\nk = 5 \n");
}

// Millions of lines: every line is kept, and a key set after them lands in
// the right place with the lines after it still found.
TEST(IniDocument, ManyLinesKeepEveryByteAndKeysBeyondThem) {
  std::string text = "[A]\n" + std::string(3'000'000, '\n') + "k=1\n" + std::string(1'000'000, '\r') +
                     "[B]\nk=2\n" + std::string(1'000'000, '=') + "\n";
  CIniDocument ini(text);
  EXPECT_EQ(ini.Text(), text);
  EXPECT_EQ(ini.Value("A", "k"), "1");
  EXPECT_EQ(ini.Value("B", "k"), "2");
  ini.Set("A", "k", "100");
  ini.Set("A", "j", "3");
  ini.Set("B", "k", "4");
  EXPECT_EQ(ini.Value("A", "k"), "100");
  EXPECT_EQ(ini.Value("A", "j"), "3");
  EXPECT_EQ(ini.Value("B", "k"), "4");
  EXPECT_EQ(ini.Text().size(), text.size() + 2 + 4);
}
