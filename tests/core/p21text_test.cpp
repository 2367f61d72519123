// Strings beyond ASCII: the directives decoded on reading, made again on writing, what stays as
// it was, what is reported, and that a file is a fixed point from its second save on.
#include "cct/p21text.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cct/cct.h"
#include "cct/stepfile.h"
#include "support/capture.h"
#include "support/temp_file.h"
#include "support/test_schema.h"

namespace {

std::string Decoded(const std::string& body, std::vector<std::string>* problems = nullptr) {
  return cct_DecodeP21Text(body, problems);
}

std::string Written(const std::string& text) {
  std::ostringstream out;
  cct_WriteP21Text(out, text);
  return out.str();
}

struct Row {
  const char* in;
  const char* out;
};

}  // namespace

TEST(P21TextRead, EachDirectiveDecodesToUtf8) {
  const Row rows[] = {
      {"C\\S\\assio", "C\u00e1ssio"},
      {"\\S\\''\\S\\\\\\", "\u00a7\u00dc"},  // apostrophe and backslash come doubled after \S\ too
      {"\\X\\E4\\X\\e4\\X\\41", "\u00e4\u00e4A"},
      {"\\PB\\\\S\\9\\X\\C5", "\u0161\u0139"},         // ISO 8859-2
      {"\\PO\\\\X\\A4\\PA\\\\X\\A4", "\u20ac\u00a4"},  // ISO 8859-15, back to part 1
      {"Fr\\X2\\00E4\\X0\\sen", "Fr\u00e4sen"},
      {"\\X2\\03B103b2\\X0\\|\\X2\\\\X0\\|", "\u03b1\u03b2||"},
      {"\\X2\\D83DDE00\\X0\\", "\U0001F600"},  // a surrogate pair
      {"\\X4\\0001F600000020AC\\X0\\", "\U0001F600\u20ac"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> problems;
    EXPECT_EQ(Decoded(row.in, &problems), row.out) << row.in;
    EXPECT_TRUE(problems.empty()) << row.in << ": " << problems.front();
  }
  // Every string starts in ISO 8859-1 again.
  EXPECT_EQ(Decoded("\\S\\9"), "\u00b9");
}

TEST(P21TextRead, EverythingElseStaysAsBefore) {
  const Row rows[] = {
      {"it''s", "it's"},
      {"a\\\\b", "a\\b"},
      {"x\\\\N\\\\y\\\\f\\\\", "xy"},
      {"\\\\X2\\\\00E4\\\\X0\\\\", "\\X2\\00E4\\X0\\"},  // a doubled backslash starts nothing
      {"C:\\tmp \\N\\ \\X3\\ \\P1\\ \\x\\41 \\X0\\", "C:\\tmp \\N\\ \\X3\\ \\P1\\ \\x\\41 \\X0\\"},
      {"raw \xe4 \xc3\xa4 \xff", "raw \xe4 \xc3\xa4 \xff"},
      {"\xc3\\X\\E4", "\xc3\xc3\xa4"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> problems;
    EXPECT_EQ(Decoded(row.in, &problems), row.out) << row.in;
    EXPECT_TRUE(problems.empty()) << row.in;
  }
}

TEST(P21TextRead, ProblemsAreReportedAndNothingIsLost) {
  const struct {
    const char* in;
    const char* out;
    const char* problem;
  } rows[] = {
      {"a\\X2\\00E\\X0\\b", "a\\X2\\00E\\X0\\b",
       "Malformed directive \\X2\\00E\\X0\\ in a string (the number of hex digits is no "
       "multiple of 4); kept as written"},
      {"\\X4\\0000E4\\X0\\", "\\X4\\0000E4\\X0\\",
       "Malformed directive \\X4\\0000E4\\X0\\ in a string (the number of hex digits is no "
       "multiple of 8); kept as written"},
      {"\\X2\\00E4\\X\\E4", "\\X2\\00E4\u00e4",
       "Malformed directive \\X2\\00E4 in a string (no \\X0\\ ends it); kept as written"},
      {"\\X2\\D800\\X0\\", "\\X2\\D800\\X0\\",
       "Malformed directive \\X2\\D800\\X0\\ in a string (U+D800 is no valid character); kept "
       "as written"},
      {"\\X4\\00110000\\X0\\", "\\X4\\00110000\\X0\\",
       "Malformed directive \\X4\\00110000\\X0\\ in a string (U+110000 is no valid character); "
       "kept as written"},
      {"\\X2\\0000\\X0\\", "\\X2\\0000\\X0\\",
       "Malformed directive \\X2\\0000\\X0\\ in a string (U+0000 is no valid character); kept as "
       "written"},
      {"\\X\\4G", "\\X\\4G",
       "Malformed directive \\X\\ in a string (two hex digits must follow); kept as written"},
      {"\\X\\00", "\\X\\00",
       "Malformed directive \\X\\00 in a string (U+0000 is no valid character); kept as written"},
      {"ab\\S\\", "ab\\S\\",
       "Malformed directive \\S\\ in a string (a printable character must follow); kept as "
       "written"},
      {"\\PZ\\\\S\\a", "\u00e1",
       "Directive \\PZ\\ selects ISO 8859-26, which is not known; read as ISO 8859-1"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> problems;
    EXPECT_EQ(Decoded(row.in, &problems), row.out) << row.in;
    EXPECT_EQ(problems, std::vector<std::string>{row.problem}) << row.in;
  }
}

TEST(P21TextWrite, OnlyPrintableAsciiGoesOutAsItIs) {
  const Row rows[] = {
      {"plain ASCII; (#1) /* x */", "plain ASCII; (#1) /* x */"},
      {"it's a\\b", "it''s a\\\\b"},
      {"Planfl\u00e4che", "Planfl\\X2\\00E4\\X0\\che"},
      {"\u00e4\u20ac\u03b1 \u00e4", "\\X2\\00E420AC03B1\\X0\\ \\X2\\00E4\\X0\\"},
      {"\u00e4\U0001F600\U0001F601\u00e4",
       "\\X2\\00E4\\X0\\\\X4\\0001F6000001F601\\X0\\\\X2\\00E4\\X0\\"},
      {"tab\there\n\x7f", "tab\\X\\09here\\X\\0A\\X\\7F"},
      // Doubled, the first backslash would make a pair that reading drops.
      {"\\N\\ \\f\\", "\\X\\5CN\\\\ \\X\\5Cf\\\\"},
      // No valid UTF-8: a lone byte, a cut sequence, an overlong form, an encoded surrogate.
      {"\xe4-\xe2\x82-\xc0\xaf-\xed\xa0\x80", "\xe4-\xe2\x82-\xc0\xaf-\xed\xa0\x80"},
      {"\xff\u00e4", "\xff\\X2\\00E4\\X0\\"},
  };
  for (const Row& row : rows) EXPECT_EQ(Written(row.in), row.out) << row.in;
}

TEST(P21Text, WhatIsWrittenReadsBackUnchanged) {
  std::mt19937 random(21);
  const std::string pieces[] = {"a",     "'",         "\\",       "\\X2\\",     "\\X0\\",
                                "\\S\\", "\u00e4",    "\u20ac",   "\U0001F600", "\xe4",
                                "\xc3",  "\xa4",      "\xf0\x9f", "\t",         "\x7f",
                                "00E4",  "\\\\N\\\\", "\\N\\",    "F"};
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    for (int n = static_cast<int>(random() % 8); n > 0; --n)
      text += pieces[random() % (sizeof pieces / sizeof pieces[0])];
    std::vector<std::string> problems;
    ASSERT_EQ(Decoded(Written(text), &problems), text) << Written(text);
    ASSERT_TRUE(problems.empty()) << Written(text);
  }
}

TEST(P21TextFile, RoundTripIsAFixedPointFromTheSecondSave) {
  test_schema::Use();
  const std::string original =
      "ISO-10303-21;\nHEADER;\n"
      "FILE_DESCRIPTION(('C\\S\\assio'),'2;1');\n"
      "FILE_NAME('Fr\\X2\\00E4\\X0\\sen','2020-01-01',('\\PB\\\\S\\9'),('org'),'\\X\\E4',"
      "'sys','auth');\n"
      "FILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n"
      "#1=TEST_POINT('\\X4\\0001F600\\X0\\ \\PO\\\\X\\A4 it''s a\\\\b',1,2.5,$);\n"
      "#2=TEST_POINT('raw \xe4 \\X2\\0041\\X0\\',1,2.5,$);\n"
      "ENDSEC;\nEND-ISO-10303-21;\n";
  const char* const texts[] = {"\U0001F600 \u20ac it's a\\b", "raw \xe4 A"};

  std::string saved[3];
  std::string input = original;
  for (std::string& out : saved) {
    CerrCapture log;
    TempFile temp(input);
    cct_StepFile file(temp.Path());
    file.ReadHeader(nullptr);
    file.ScanFile();
    EXPECT_STREQ(file.FileName().name.Get(), "Fr\u00e4sen");
    EXPECT_STREQ(file.HeaderAuthor(), "\u0161");
    for (int i = 0; i < 2; ++i) {
      cct_Instance* point = file.Scope().FindInstance(std::to_string(i + 1).c_str(), 1);
      ASSERT_NE(point, nullptr);
      EXPECT_STREQ(point->Attribute(0)->GetString(), texts[i]);
    }
    std::ostringstream written;
    file.WriteP21(written);
    out = written.str();
    EXPECT_EQ(log.Text(), "");
    input = out;
  }
  EXPECT_NE(saved[0].find("FILE_DESCRIPTION(('C\\X2\\00E1\\X0\\ssio'),'2;1');"), std::string::npos)
      << saved[0];
  EXPECT_NE(saved[0].find("('\\X4\\0001F600\\X0\\ \\X2\\20AC\\X0\\ it''s a\\\\b',"),
            std::string::npos)
      << saved[0];
  EXPECT_EQ(saved[1], saved[0]);
  EXPECT_EQ(saved[2], saved[1]);
}

TEST(P21TextFile, ProblemsNameTheFileAndLine) {
  test_schema::Use();
  TempFile temp(
      "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('d'),'2;1');\n"
      "FILE_NAME('n','t',('a'),('o'),'p','s','x');\nFILE_SCHEMA(('S'));\nENDSEC;\nDATA;\n"
      "#1=TEST_POINT('x\\X2\\00E4',1,2.5,$);\nENDSEC;\nEND-ISO-10303-21;\n");
  CerrCapture log;
  cct_StepFile file(temp.Path());
  file.ReadHeader(nullptr);
  file.ScanFile();
  cct_Instance* point = file.Scope().FindInstance("1", 1);
  ASSERT_NE(point, nullptr);
  EXPECT_STREQ(point->Attribute(0)->GetString(), "x\\X2\\00E4");
  EXPECT_EQ(log.Text(), "\nWarning: While reading STEP file: \"" + std::string(temp.Path()) +
                            "\", line 8:  Malformed directive \\X2\\00E4 in a string (no \\X0\\ "
                            "ends it); kept as written");
}
