// The global log: category headers, the file position, continuation texts, the fixed message
// layouts and the exception classes.
#include "cct/errlog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <type_traits>

#include "cct/exchgfls.h"
#include "support/capture.h"

namespace {

std::string Report(int code, const char* text) {
  CerrCapture capture;
  cct_errlog(code) << text;
  return capture.Text();
}

// A small file on disk for the position operation; removed with its folder afterwards.
class TempStepFile {
 public:
  explicit TempStepFile(const std::string& name) {
    dir_ = std::filesystem::temp_directory_path() /
           ("varnholt_errlog_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / name).string();
    std::ofstream(path_) << "ISO-10303-21;\nEND-ISO-10303-21;\n";
  }
  ~TempStepFile() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  const std::string& Path() const { return path_; }

 private:
  std::filesystem::path dir_;
  std::string path_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Code operation

TEST(ErrorLogHeader, WarningStartsOnNewLineWithCategory) {
  EXPECT_EQ(Report(19, "x"), "\nWarning: Aggregate bounds are violated: x");
}

TEST(ErrorLogHeader, ErrorStartsOnNewLineWithCategory) {
  EXPECT_EQ(Report(257, "x"), "\nError: Program bug: x");
}

// Each category's report, byte for byte, under its named code: the reports are read back from
// logs (the rule check's diagnostics, users' scripts), so a changed text is a changed report.
TEST(ErrorLogHeader, EachCategoryWritesItsFixedText) {
  struct Case {
    int code;
    const char* report;
  };
  const Case cases[] = {
      {cct_Error(cct_PROGRAM_BUG), "\nError: Program bug: t"},
      {cct_Warning(cct_NAME_IN_USE), "\nWarning: Name of instance is already in use: t"},
      {cct_Error(cct_TEST_COMPATIBILITY_FAILED), "\nError: TestCompatibility() failed: t"},
      {cct_Warning(cct_READ_MEMORY_VECTOR), "\nWarning: Read request on memory vector: t"},
      {cct_Error(cct_INDEX_OUT_OF_BOUNDS),
       "\nError: Requested read operation on index out of bounds: t"},
      {cct_Error(cct_VIRTUAL_UNDEFINED),
       "\nError: Virtual function undefined for this object's class: t"},
      {cct_Error(cct_IO_ERROR), "\nError: Input/Output error: t"},
      {cct_Warning(cct_READING_STEP_FILE), "\nWarning: While reading STEP file: t"},
      {cct_Error(cct_READING_STEP_FILE), "\nError: While reading STEP file: t"},
      {cct_Warning(cct_READING_MORAVEL_FILE), "\nWarning: While reading Moravel file: t"},
      {cct_Error(cct_NULL_PARAMETER), "\nError: Function called with NULL in parameter: t"},
      {cct_Warning(cct_INVALID_ENUM_ASSIGNMENT), "\nWarning: Invalid assignment to EnumType: t"},
      {cct_Warning(cct_UNSET_MANDATORY), "\nWarning: Unset non OPTIONAL attribute: t"},
      {cct_Error(cct_THIS_IS_NULL), "\nError: Function called with this == NULL: t"},
      {cct_Error(cct_AGGREGATE_CANNOT_HANDLE), "\nError: AggregateType can not handle: t"},
      {cct_Warning(cct_MESSAGE), "\nWarning: Message: t"},
      {cct_Warning(cct_UNIMPLEMENTED), "\nWarning: Unimplemented function called: t"},
      {cct_Error(cct_ALIGNMENT_ERROR),
       "\nError: Alignment error while writing to memory vector: t"},
      {cct_Warning(cct_AGGREGATE_OVERFLOW),
       "\nWarning: AggregateType overflow --- ignoring new entry: t"},
      {cct_Error(cct_BOUNDS_VIOLATED), "\nError: Aggregate bounds are violated: t"},
      {cct_Error(cct_CORRECTNESS_FAILED), "\nError: Correctness test failed : t"},
      {cct_Error(cct_WRONG_DATA_FORMAT), "\nError: Wrong data format. : t"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(Report(c.code, "t"), c.report);
  }
}

// A category's warning and error share its text, and it is the text the log's readers look up
// by number: each is the header without its kind, and no two categories share one.
TEST(ErrorLogHeader, WarningAndErrorOfACategoryShareTheTextReadersLookUp) {
  std::set<std::string> seen;
  for (int n = cct_PROGRAM_BUG; n <= cct_WRONG_DATA_FORMAT; ++n) {
    SCOPED_TRACE(n);
    const std::string warning = Report(cct_Warning(n), "t");
    const std::string error = Report(cct_Error(n), "t");
    ASSERT_EQ(warning.rfind("\nWarning: ", 0), 0u) << warning;
    ASSERT_EQ(error.rfind("\nError: ", 0), 0u) << error;
    const std::string text = warning.substr(std::strlen("\nWarning: "));
    EXPECT_EQ(error.substr(std::strlen("\nError: ")), text);
    EXPECT_EQ(text, std::string(cct_ErrorLog::CategoryText(n)) + ": t");
    EXPECT_GT(std::strlen(cct_ErrorLog::CategoryText(n)), 0u);
    EXPECT_TRUE(seen.insert(text).second) << "shared by two categories: " << text;
  }
  EXPECT_STREQ(cct_ErrorLog::CategoryText(cct_CONTINUE), "");
  EXPECT_STREQ(cct_ErrorLog::CategoryText(cct_WRONG_DATA_FORMAT + 1), "");
  EXPECT_STREQ(cct_ErrorLog::CategoryText(-1), "");
}

TEST(ErrorLogHeader, TrailingBlankOfCategoriesTwentyAndTwentyOneStandsBeforeColon) {
  EXPECT_EQ(Report(276, "x"), "\nError: Correctness test failed : x");
  EXPECT_EQ(Report(277, "x"), "\nError: Wrong data format. : x");
  EXPECT_EQ(Report(20, "x"), "\nWarning: Correctness test failed : x");
  EXPECT_EQ(Report(21, "x"), "\nWarning: Wrong data format. : x");
}

TEST(ErrorLogHeader, NegativeCodesAreTakenByMagnitude) {
  EXPECT_EQ(Report(-19, "x"), "\nWarning: Aggregate bounds are violated: x");
  EXPECT_EQ(Report(-1, "x"), "\nWarning: Program bug: x");
  EXPECT_EQ(Report(-257, "x"), "\nError: Program bug: x");
  EXPECT_EQ(Report(-277, "x"), "\nError: Wrong data format. : x");
}

TEST(ErrorLogHeader, CodesOutsideBothRangesContinueWithoutLineEnd) {
  for (int code : {0, 22, 100, 255, 256, 278, 1000, -22, -100, -256, -278, INT_MAX, INT_MIN}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(Report(code, "x"), "x");
  }
}

TEST(ErrorLogHeader, HeaderAloneWritesNoTextAfterColon) {
  CerrCapture capture;
  cct_errlog(263);
  EXPECT_EQ(capture.Take(), "\nError: Input/Output error: ");
  cct_errlog(0);
  EXPECT_EQ(capture.Take(), "");
}

TEST(ErrorLogHeader, ConsecutiveReportsAreSeparatedOnlyByNextHeader) {
  CerrCapture capture;
  cct_errlog(2) << "first";
  cct_errlog(0) << " more";
  cct_errlog(259) << "second";
  EXPECT_EQ(capture.Text(),
            "\nWarning: Name of instance is already in use: first more"
            "\nError: TestCompatibility() failed: second");
}

// ---------------------------------------------------------------------------------------------
// Position and text operations

TEST(ErrorLogPosition, WritesQuotedFileNameLineAndTwoBlanks) {
  TempStepFile file("a.stp");
  cct_InputFile input(file.Path().c_str());
  input.SetLine(12);
  CerrCapture capture;
  cct_errlog(264) << input << "Syntax error.";
  EXPECT_EQ(capture.Text(), "\nError: While reading STEP file: \"" + file.Path() +
                                "\", line 12:  Syntax error.");
}

TEST(ErrorLogPosition, UsesTheFileNameAsSetAndTheCurrentLine) {
  TempStepFile file("b.stp");
  cct_InputFile input(file.Path().c_str());
  input.SetName("a.stp");
  input.SetLine(12);
  CerrCapture capture;
  cct_errlog(264) << input << "Syntax error.";
  EXPECT_EQ(capture.Take(), "\nError: While reading STEP file: \"a.stp\", line 12:  Syntax error.");

  input.SetLine(3041);
  cct_errlog(257) << input << " --- instance '" << "#7" << "' is corrupted.";
  EXPECT_EQ(capture.Take(),
            "\nError: Program bug: \"a.stp\", line 3041:   --- instance '#7' is corrupted.");
}

TEST(ErrorLogPosition, ContinuationCodeWithPositionHasNoHeader) {
  TempStepFile file("c.stp");
  cct_InputFile input(file.Path().c_str());
  input.SetName("c.stp");
  input.SetLine(1);
  CerrCapture capture;
  cct_errlog(0) << input << "tail";
  EXPECT_EQ(capture.Text(), "\"c.stp\", line 1:  tail");
}

TEST(ErrorLogText, LaterInsertionsGoStraightToTheStream) {
  CerrCapture capture;
  cct_errlog(0) << "n=" << 42 << ", r=" << 1.5 << ", l=" << -7L << ' ' << std::string("s");
  EXPECT_EQ(capture.Text(), "n=42, r=1.5, l=-7 s");
}

TEST(ErrorLogText, TextOperationAnswersTheErrorStream) {
  CerrCapture capture;
  std::ostream& os = cct_errlog(0) << "";
  EXPECT_EQ(&os, &std::cerr);
}

TEST(ErrorLogText, FreshLineTextsKeepTheirLeadingLineEnd) {
  CerrCapture capture;
  cct_errlog(276) << "\n--- cct_EntityType is unset";
  EXPECT_EQ(capture.Text(), "\nError: Correctness test failed : \n--- cct_EntityType is unset");
}

TEST(ErrorLogLifecycle, DestroyedLogWritesTwoLineEnds) {
  CerrCapture capture;
  { cct_ErrorLog log; }
  EXPECT_EQ(capture.Text(), "\n\n");
}

TEST(ErrorLogLifecycle, LogKeepsNoHistory) {
  {
    CerrCapture first;
    cct_errlog(257) << "gone";
  }
  CerrCapture second;
  cct_errlog(0) << "fresh";
  EXPECT_EQ(second.Text(), "fresh");
}

// ---------------------------------------------------------------------------------------------
// cct_ReportMessage

namespace {

std::string Message(int kind, const char* text, long line) {
  CerrCapture capture;
  cct_ReportMessage(kind, text, line);
  return capture.Text();
}

}  // namespace

TEST(ReportMessage, EveryKindHasItsLayout) {
  struct Case {
    int kind;
    const char* expected;
  };
  const Case cases[] = {
      {0, "Error in STEP file line 7: Token T expected\n"},
      {1, "Early EOF in STEP file\n"},
      {2, "Unknown entity \"T\" referenced in STEP file line 7.\n"},
      {3, "Error in Header - Entity \"T\" expected. Line 7.\n"},
      {4, "Unknown type \"T\" referenced in STEP file line 7.\n"},
      {5, "Instance \"T\" redeclared in STEP file line. 7.\nRedeclaration skipped.\n"},
      {6, "Too many parameters for Instance type \"T\" in STEP file line 7.\n"},
      {7, "Wrong parameter for attribute is of type \"T\" in STEP file line 7.\n"},
      {8, "Sorry, the type T is not implemented. STEP file line 7.\n"},
      {9, "The enumeration value \"T\" in STEP file line7 is not member of the allowed set of "
          "values for this type.\n"},
      {10, "Wrong selection entry for selection type T in STEP file line 7.\n"},
      {11, "Wrong enumeration entry for enumeration type T in STEP file line 7.\n"},
      {12, "Not enough attributes for attribute type T in STEP file line 7.\n"},
      {13, "The assigned Instance for attribute type T in STEP file line 7 is none of the allowed "
           "types.\n"},
      {14, "Reference to not existing instance \"T\" in STEP file line 7.\n"},
      {15, "BUG! There is a bug detected in/by function T.\n"},
      {16, "Aggregate overflow for \"T\" in STEP file line 7.\n"},
      {17, "Access to aggregate \"T\"is out of aggregate bounds. (Line 7 ).\n"},
      {18, "The attribute \"T\" in STEP file line 7 is not OPTIONAL.\n"},
      {19, "Can not open file \"T\" --- aborting.\n"},
      {20, "Can not find instance \"T\" --- aborting.\n"},
      {21, "Error in MoravelFile: \nT in Line 7\n"},
      {22, "Error: The compatibility test for assignments failed. Assignment to T Line 7\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    EXPECT_EQ(Message(c.kind, "T", 7), c.expected);
  }
}

TEST(ReportMessage, BugKindNamesTheFunction) {
  EXPECT_EQ(Message(15, "f", 0), "BUG! There is a bug detected in/by function f.\n");
  // The line is not part of this layout.
  EXPECT_EQ(Message(15, "f", 123), "BUG! There is a bug detected in/by function f.\n");
}

TEST(ReportMessage, UnknownKindsUseTheGenericLayout) {
  EXPECT_EQ(Message(99, "t", 3), "ERROR! t -- Nr. 3\n");
  EXPECT_EQ(Message(23, "t", 3), "ERROR! t -- Nr. 3\n");
  EXPECT_EQ(Message(-1, "t", -4), "ERROR! t -- Nr. -4\n");
}

TEST(ReportMessage, CompatibilityKindWithoutTextOmitsAssignment) {
  EXPECT_EQ(Message(22, nullptr, 12),
            "Error: The compatibility test for assignments failed. Line 12\n");
}

TEST(ReportMessage, LineIsWrittenInDecimal) {
  EXPECT_EQ(Message(0, ";", 1234567L), "Error in STEP file line 1234567: Token ; expected\n");
  EXPECT_EQ(Message(14, "#15", 2000000000L),
            "Reference to not existing instance \"#15\" in STEP file line 2000000000.\n");
}

TEST(ReportMessage, NoCategoryHeaderIsWritten) {
  CerrCapture capture;
  cct_errlog(257) << "head";
  cct_ReportMessage(1, "", 0);
  EXPECT_EQ(capture.Text(), "\nError: Program bug: headEarly EOF in STEP file\n");
}

// ---------------------------------------------------------------------------------------------
// cct_ReportText

TEST(ReportText, JoinsTextsWithBlanksAndAppendsNonZeroNumber) {
  CerrCapture capture;
  cct_ReportText(0, "a", "b");
  EXPECT_EQ(capture.Take(), "a b");
  cct_ReportText(7, "a", "b");
  EXPECT_EQ(capture.Take(), "a b7");
  cct_ReportText(-12, "a");
  EXPECT_EQ(capture.Take(), "a-12");
  cct_ReportText(5, "a", "b", "c", "d", "e");
  EXPECT_EQ(capture.Take(), "a b c d e5");
}

TEST(ReportText, NullTextsAreSkipped) {
  CerrCapture capture;
  cct_ReportText(0, "a", nullptr, "c", nullptr, "e");
  EXPECT_EQ(capture.Take(), "a c e");
  cct_ReportText(0, nullptr, "b");
  EXPECT_EQ(capture.Take(), " b");
  cct_ReportText(3, nullptr);
  EXPECT_EQ(capture.Take(), "3");
  cct_ReportText(0, nullptr);
  EXPECT_EQ(capture.Take(), "");
}

// ---------------------------------------------------------------------------------------------
// Exceptions

TEST(Exceptions, NullDereferenceIsAGenericException) {
  static_assert(std::is_base_of<cct_GenericException, cct_NullPointerDereferenceException>::value,
                "an unset reference is one kind of abandoned operation");
  static_assert(!std::is_base_of<cct_NullPointerDereferenceException, cct_GenericException>::value,
                "the generic exception is the root");
  EXPECT_THROW(throw cct_NullPointerDereferenceException(), cct_GenericException);
  EXPECT_THROW(throw cct_NullPointerDereferenceException(), cct_NullPointerDereferenceException);
}

TEST(Exceptions, GenericExceptionIsNotANullDereference) {
  bool caughtAsNull = false;
  bool caughtAsGeneric = false;
  try {
    throw cct_GenericException();
  } catch (const cct_NullPointerDereferenceException&) {
    caughtAsNull = true;
  } catch (const cct_GenericException&) {
    caughtAsGeneric = true;
  }
  EXPECT_FALSE(caughtAsNull);
  EXPECT_TRUE(caughtAsGeneric);
}

TEST(Exceptions, InputFileThatCannotBeOpenedIsReportedAndThrows) {
  CerrCapture capture;
  EXPECT_THROW(cct_InputFile(nullptr), cct_GenericException);
  EXPECT_EQ(capture.Take().rfind("\nError: Input/Output error: ", 0), 0u);
}
