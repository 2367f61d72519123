// The lexical rules read the same through a window of the buffer as through a file with
// push-back, and a window that ends inside a form is never taken for the form's end.
#include "scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using cct_scan::Outcome;

// A file as the lexer sees one: characters, 0 at the end, a stack of pushed-back ones.
struct TextFile {
  std::string text;
  size_t pos = 0;
  std::vector<int> unput;
  int GetChar() {
    if (!unput.empty()) {
      const int c = unput.back();
      unput.pop_back();
      return c;
    }
    return pos < text.size() ? static_cast<unsigned char>(text[pos++]) : 0;
  }
  void Unput(int c) {
    if (c != 0) unput.push_back(c);
  }
  size_t Consumed() const { return pos - unput.size(); }
};

enum class Form { kLayout, kComment, kString, kParameters };

template <class Reader>
Outcome Pass(Form form, Reader& in) {
  int depth = 1;
  switch (form) {
    case Form::kLayout: return cct_scan::PassLayout(in);
    case Form::kComment: return cct_scan::PassComment(in);
    case Form::kString: return cct_scan::PassString(in);
    case Form::kParameters: return cct_scan::PassParameters(in, depth);
  }
  return Outcome::kShort;
}

TEST(Scanner, FormsPassedOverWholeReadAlikeInWindowAndFile) {
  // Each text is what follows the form's opening ("/*", "'", "(") and ends in "X", which
  // must be the next character read.
  struct Case {
    Form form;
    std::string text;
    Outcome outcome;
    size_t consumed;  // characters before "X"
    int lines;
  };
  const Case cases[] = {
      {Form::kLayout, " \t\r\n/* c */\nX", Outcome::kDone, 12, 2},
      {Form::kLayout, "/X", Outcome::kDone, 0, 0},  // a slash that starts no comment stays
      {Form::kComment, " a ** b */X", Outcome::kDone, 10, 0},
      {Form::kComment, "\n*/X", Outcome::kDone, 3, 1},
      {Form::kString, "it''s'X", Outcome::kDone, 6, 0},
      {Form::kString, "a\\S\\'b'X", Outcome::kDone, 7, 0},  // "\S\'" does not end it
      {Form::kString, "a\\\\'X", Outcome::kDone, 4, 0},     // nor does the "'" after "\\"
      {Form::kString, "wrapped\nline'X", Outcome::kDone, 13, 1},
      {Form::kParameters, "1,(2,'))'),/* ) */#3)X", Outcome::kDone, 21, 0},
      {Form::kParameters, "'a\\S\\')',\n(()))X", Outcome::kDone, 15, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    cct_scan::WindowReader window{c.text.data(), c.text.data() + c.text.size()};
    EXPECT_EQ(Pass(c.form, window), c.outcome);
    EXPECT_EQ(static_cast<size_t>(window.p - c.text.data()), c.consumed);
    EXPECT_EQ(window.lines, c.lines);

    TextFile file{c.text, 0, {}};
    auto reader = cct_scan::ReadFrom(file);
    EXPECT_EQ(Pass(c.form, reader), c.outcome);
    EXPECT_EQ(file.Consumed(), c.consumed);
    EXPECT_EQ(file.GetChar(), static_cast<unsigned char>(c.text[c.consumed]));

    // Every window that stops before the form is complete says so, whatever it has seen.
    for (size_t cut = 0; cut < c.consumed; ++cut) {
      cct_scan::WindowReader part{c.text.data(), c.text.data() + cut};
      EXPECT_EQ(Pass(c.form, part), Outcome::kShort) << "cut at " << cut;
    }
  }
}

TEST(Scanner, NulEndsTheInputInAWindowAndInAFile) {
  for (const std::string& text : {std::string("ab\0cd*/", 7), std::string("'ab\0c'", 6)}) {
    cct_scan::WindowReader window{text.data(), text.data() + text.size()};
    const Form form = text[0] == '\'' ? Form::kParameters : Form::kComment;
    EXPECT_EQ(Pass(form, window), Outcome::kEnded);
  }
}

TEST(Scanner, NumbersReadAlikeInWindowAndFile) {
  struct Texts {
    std::string keep, found;
    void Keep(char c) { keep += c; }
    void Found(char c) { found += c; }
  };
  struct Case {
    std::string text;  // followed by ","
    cct_scan::NumberEnd end;
    std::string keep;
    bool real, odd, quick;
    double value;
  };
  const Case cases[] = {
      {"12", cct_scan::NumberEnd::kNumber, "12", false, false, true, 12},
      {"-1.25", cct_scan::NumberEnd::kNumber, "-1.25", true, false, true, -1.25},
      {"1.5E-3", cct_scan::NumberEnd::kNumber, "1.5E-3", true, false, true, 0.0015},
      {"2.E+2", cct_scan::NumberEnd::kNumber, "2.E+2", true, false, false, 0},  // decimals < 0
      {"1E3", cct_scan::NumberEnd::kNumber, "1.E3", true, true, false, 0},
      {".05", cct_scan::NumberEnd::kNumber, "0.05", true, true, true, 0.05},
      {"- 0.5", cct_scan::NumberEnd::kNumber, "-0.5", true, true, true, -0.5},
      {"1.5f", cct_scan::NumberEnd::kNumber, "1.5", true, true, true, 1.5},
      {"1.E", cct_scan::NumberEnd::kNumber, "1.", true, false, true, 1},  // "E" is given back
      {"1234567890.123456", cct_scan::NumberEnd::kNumber, "1234567890.123456", true, false, false, 0},
      // The powers of ten that are exact doubles end at 1e22: the largest divisor taken, and
      // one decimal more (by the digits or by the exponent) leaves the value to the full rule.
      {"0.0000000000000000000001", cct_scan::NumberEnd::kNumber, "0.0000000000000000000001", true,
       false, true, 1e-22},
      {"0.00000000000000000000001", cct_scan::NumberEnd::kNumber, "0.00000000000000000000001",
       true, false, false, 0},
      {"3.E-22", cct_scan::NumberEnd::kNumber, "3.E-22", true, false, true, 3e-22},
      {"-3.E-23", cct_scan::NumberEnd::kNumber, "-3.E-23", true, false, false, 0},
      {"0.5E-22", cct_scan::NumberEnd::kNumber, "0.5E-22", true, false, false, 0},
      {"-", cct_scan::NumberEnd::kLoneSign, "-", false, false, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string text = c.text + ",";
    const size_t length = c.text.size() - (c.text.back() == 'E');  // "1.E" gives its E back
    cct_scan::WindowReader window{text.data() + 1, text.data() + text.size()};
    Texts inWindow;
    cct_scan::NumberForm n;
    ASSERT_EQ(cct_scan::ReadNumber(window, text[0], inWindow, n), c.end);
    if (c.end != cct_scan::NumberEnd::kNumber) {
      EXPECT_EQ(window.p, text.data() + 1);  // everything after the sign is given back
      continue;
    }
    EXPECT_EQ(static_cast<size_t>(window.p - text.data()), length);
    EXPECT_EQ(inWindow.keep, c.keep);
    EXPECT_EQ(n.real, c.real);
    EXPECT_EQ(n.odd, c.odd);
    double v = 0;
    if (c.real) {
      EXPECT_EQ(cct_scan::QuickReal(n, text[0] == '-', v), c.quick);
      if (c.quick) {
        EXPECT_EQ(v, c.value);
      }
    }

    TextFile file{text.substr(1), 0, {}};
    auto reader = cct_scan::ReadFrom(file);
    Texts inFile;
    cct_scan::NumberForm m;
    ASSERT_EQ(cct_scan::ReadNumber(reader, text[0], inFile, m), c.end);
    EXPECT_EQ(inFile.keep, c.keep);
    EXPECT_EQ(inFile.found, inWindow.found);
    EXPECT_EQ(file.Consumed() + 1, length);

    for (size_t cut = 1; cut < length; ++cut) {
      cct_scan::WindowReader part{text.data() + 1, text.data() + cut};
      Texts ignored;
      cct_scan::NumberForm k;
      EXPECT_EQ(cct_scan::ReadNumber(part, text[0], ignored, k), cct_scan::NumberEnd::kShort)
          << "cut at " << cut;
    }
  }
}

}  // namespace
