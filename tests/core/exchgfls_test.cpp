// The input file under the lexer: reading bytes and counting lines, the push-back buffer,
// seeking (also across the read buffer), the stack of saved positions, and opening failures;
// and the page cache behind the small reads after a seek.
#include "cct/exchgfls.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

#include "cct/errlog.h"
#include "page_cache.h"
#include "support/capture.h"
#include "support/temp_file.h"

namespace {

// A temporary file and an input file open on it.
struct Opened {
  explicit Opened(const std::string& content) : temp(content), file(temp.Path()) {}
  TempFile temp;
  cct_InputFile file;
};

std::string ReadRest(cct_InputFile& f) {
  std::string s;
  for (int c; (c = f.GetChar()) != 0;) s.push_back(static_cast<char>(c));
  return s;
}

std::string ProgramBug(const std::string& text) { return "\nError: Program bug: " + text; }

// ---- opening ---------------------------------------------------------------------------------

TEST(InputFileOpen, StartsIdleAtLineOneWithItsName) {
  Opened o("X");
  EXPECT_STREQ(o.file.Name(), o.temp.Path());
  EXPECT_NE(o.file.Name(), o.temp.Path()) << "the name is a copy";
  EXPECT_EQ(o.file.Line(), 1);
  EXPECT_EQ(o.file.ParseMode(), cct_InputFile::kIdleParseMode);
  EXPECT_EQ(o.file.FileKind(), 0);
  EXPECT_FALSE(o.file.FullyIndexed());
  EXPECT_EQ(o.file.Scope().InputFile(), &o.file);
  EXPECT_EQ(o.file.Tell(), 0);
  o.file.SetName("other.stp");
  EXPECT_STREQ(o.file.Name(), "other.stp");
}

TEST(InputFileOpen, MissingNameIsAnInputOutputError) {
  CerrCapture log;
  EXPECT_THROW(cct_InputFile file(nullptr), cct_GenericException);
  EXPECT_EQ(log.Text(), "\nError: Input/Output error: Missing filename for input file");
}

TEST(InputFileOpen, MissingFileNamesTheFile) {
  std::string path;
  {
    TempFile gone;
    path = gone.Path();
  }
  CerrCapture log;
  EXPECT_THROW(cct_InputFile file(path.c_str()), cct_GenericException);
  EXPECT_EQ(log.Text(), "\nError: Input/Output error: Can't open input file '" + path + "'.");
}

// Stream providers: they see the address of the name and may replace it.
std::string gProvidedPath;
int gSecondCalls = 0;
std::FILE* ProvideFirst(const char** name) {
  *name = "first.stp";
  return std::fopen(gProvidedPath.c_str(), "rb");
}
std::FILE* ProvideSecond(const char** name) {
  ++gSecondCalls;
  *name = "second.stp";
  return std::fopen(gProvidedPath.c_str(), "rb");
}
std::FILE* ProvideNothing(const char**) { return nullptr; }

TEST(InputFileOpen, StreamProviders) {
  TempFile data("AB");
  gProvidedPath = data.Path();
  const char* missing = "/nonexistent-varnholt-dir/x.stp";
  CerrCapture log;
  gSecondCalls = 0;
  {
    cct_InputFile file(nullptr, ProvideFirst, ProvideSecond);  // the first wins, name or not
    EXPECT_STREQ(file.Name(), "first.stp");
    EXPECT_EQ(ReadRest(file), "AB");
  }
  {
    cct_InputFile file(data.Path(), ProvideNothing, ProvideSecond);  // a file that opens
    EXPECT_STREQ(file.Name(), data.Path());
  }
  EXPECT_EQ(gSecondCalls, 0);
  {
    cct_InputFile file(nullptr, ProvideNothing, ProvideSecond);  // no name is no error here
    EXPECT_STREQ(file.Name(), "second.stp");
  }
  {
    cct_InputFile file(missing, nullptr, ProvideSecond);  // the fallback for a failed open
    EXPECT_STREQ(file.Name(), "second.stp");
    EXPECT_EQ(ReadRest(file), "AB");
  }
  EXPECT_EQ(gSecondCalls, 2);
  EXPECT_EQ(log.Take(), "");
  EXPECT_THROW(cct_InputFile(missing, nullptr, ProvideNothing), cct_GenericException);
  EXPECT_EQ(log.Take(), "\nError: Input/Output error: Can't open input file '" +
                            std::string(missing) + "'.");
  EXPECT_THROW(cct_InputFile(nullptr, nullptr, ProvideNothing), cct_GenericException);
  EXPECT_EQ(log.Take(), "\nError: Input/Output error: Can't open input file ''.");
}

TEST(InputFileOpen, BaseClassOperationsOnlyReport) {
  Opened o("");
  CerrCapture log;
  o.file.Kill(nullptr);
  EXPECT_EQ(log.Take(), "\nWarning: Unimplemented function called: cct_InputFile::Kill()");
  o.file.ScanFile();
  EXPECT_EQ(log.Take(),
            "\nError: Virtual function undefined for this object's class: (exchgfls) "
            "cct_InputFile::ScanFile (ostream &)");
  std::ostringstream out;
  o.file.WriteP21(out);
  EXPECT_EQ(log.Take(),
            "\nError: Virtual function undefined for this object's class: (exchgfls) "
            "cct_InputFile::WriteP21 (ostream &)");
  EXPECT_EQ(out.str(), "");
}

// ---- reading ---------------------------------------------------------------------------------

TEST(InputFileRead, CharactersAndLines) {
  Opened o("A\nB");
  EXPECT_EQ(o.file.GetChar(), 65);
  EXPECT_EQ(o.file.Line(), 1);
  EXPECT_EQ(o.file.GetChar(), 10);
  EXPECT_EQ(o.file.Line(), 2);
  EXPECT_EQ(o.file.GetChar(), 66);
  EXPECT_EQ(o.file.GetChar(), 0);
  EXPECT_EQ(o.file.GetChar(), 0) << "stays at the end";
  EXPECT_EQ(o.file.Line(), 2);
  EXPECT_EQ(o.file.Tell(), 3);
}

TEST(InputFileRead, BytesAreUnsignedAndCarriageReturnsDoNotCountLines) {
  Opened o(std::string("\xff\x80\r\r\n", 5));
  EXPECT_EQ(o.file.GetChar(), 255);
  EXPECT_EQ(o.file.GetChar(), 128);
  EXPECT_EQ(o.file.GetChar(), '\r');
  EXPECT_EQ(o.file.GetChar(), '\r');
  EXPECT_EQ(o.file.Line(), 1);
  EXPECT_EQ(o.file.GetChar(), '\n');
  EXPECT_EQ(o.file.Line(), 2);
}

TEST(InputFileRead, NulByteLooksLikeTheEnd) {
  Opened o(std::string("A\0B", 3));
  EXPECT_EQ(o.file.GetChar(), 'A');
  EXPECT_EQ(o.file.GetChar(), 0);
  Opened empty("");
  EXPECT_EQ(empty.file.GetChar(), 0);
  EXPECT_EQ(empty.file.Tell(), 0);
}

// ---- pushing back ------------------------------------------------------------------------------

TEST(InputFileUnput, LastInFirstOutBeforeTheStream) {
  Opened o("XYZ");
  EXPECT_EQ(o.file.GetChar(), 'X');
  o.file.Unput('b');
  o.file.Unput('a');
  EXPECT_EQ(o.file.Tell(), 1) << "pushed-back characters do not move the offset";
  EXPECT_EQ(ReadRest(o.file), "abYZ");
}

TEST(InputFileUnput, ZeroIsIgnored) {
  Opened o("Q");
  o.file.Unput('x');
  o.file.Unput(0);
  o.file.Unput(0);
  EXPECT_EQ(ReadRest(o.file), "xQ");
  // Nothing pushed back at all: the end stays the end.
  o.file.Unput(0);
  EXPECT_EQ(o.file.GetChar(), 0);
}

TEST(InputFileUnput, LineFeedReadAgainCountsOnce) {
  Opened o("A\nB");
  o.file.GetChar();
  EXPECT_EQ(o.file.GetChar(), '\n');
  EXPECT_EQ(o.file.Line(), 2);
  o.file.Unput('\n');
  EXPECT_EQ(o.file.GetChar(), '\n');
  EXPECT_EQ(o.file.Line(), 2);
  EXPECT_EQ(o.file.GetChar(), 'B');
}

TEST(InputFileUnput, HundredFitTheHundredAndFirstIsFatal) {
  Opened o("\n\nEND");
  o.file.GetChar();
  o.file.GetChar();  // line 3, so the position in the message is visible
  for (int i = 0; i < 100; ++i) o.file.Unput('0' + i % 10);
  CerrCapture log;
  EXPECT_NO_THROW(o.file.Unput(0)) << "a zero takes no place";
  EXPECT_THROW(o.file.Unput('!'), cct_GenericException);
  EXPECT_EQ(log.Text(), ProgramBug("\"" + std::string(o.temp.Path()) +
                                   "\", line 3:  (exchgfls)cct_InputFile::Unput"
                                   "\n\tOverflow of the unput buffer for the lex parser"));
  // The hundred pushed back characters are intact.
  std::string expected;
  for (int i = 99; i >= 0; --i) expected.push_back(static_cast<char>('0' + i % 10));
  EXPECT_EQ(ReadRest(o.file), expected + "END");
}

// ---- seeking and saved positions ---------------------------------------------------------------

TEST(InputFileSeek, DiscardsPushBackAndKeepsTheLine) {
  Opened o("AB\nCD\nEF");
  EXPECT_EQ(ReadRest(o.file).size(), 8u);
  EXPECT_EQ(o.file.Line(), 3);
  o.file.Unput('z');
  o.file.Seek(3);
  EXPECT_EQ(o.file.Tell(), 3);
  EXPECT_EQ(o.file.Line(), 3);
  EXPECT_EQ(ReadRest(o.file), "CD\nEF");
  EXPECT_EQ(o.file.Line(), 4) << "the caller restores the line; reading on counts from it";
  o.file.Seek(0);
  EXPECT_EQ(o.file.GetChar(), 'A');
}

TEST(InputFileSeek, AcrossALargeFile) {
  // Larger than any plausible read buffer, with a recognisable byte at every offset.
  std::string content;
  for (int i = 0; i < 200000; ++i) content.push_back(static_cast<char>('A' + (i * 7) % 26));
  Opened o(content);
  auto at = [&](long offset) { return static_cast<unsigned char>(content[offset]); };

  for (long i = 0; i < 70000; ++i) ASSERT_EQ(o.file.GetChar(), at(i)) << "offset " << i;
  EXPECT_EQ(o.file.Tell(), 70000);
  o.file.Seek(10);
  EXPECT_EQ(o.file.GetChar(), at(10));
  o.file.Seek(150000);
  EXPECT_EQ(o.file.Tell(), 150000);
  EXPECT_EQ(o.file.GetChar(), at(150000));
  o.file.Seek(65535);
  for (long i = 65535; i < 65540; ++i) EXPECT_EQ(o.file.GetChar(), at(i)) << "offset " << i;
  EXPECT_EQ(o.file.Tell(), 65540);

  // Read to the end, then come back.
  o.file.Seek(199998);
  EXPECT_EQ(ReadRest(o.file), content.substr(199998));
  EXPECT_EQ(o.file.Tell(), 200000);
  o.file.Seek(131072);
  EXPECT_EQ(o.file.GetChar(), at(131072));
  o.file.Seek(200000);
  EXPECT_EQ(o.file.GetChar(), 0);
  o.file.Seek(1);
  EXPECT_EQ(o.file.GetChar(), at(1));

  // A saved position far away survives reading elsewhere.
  o.file.Seek(100000);
  o.file.SaveFilePosition();
  o.file.Seek(5);
  o.file.GetChar();
  o.file.RestoreFilePosition();
  EXPECT_EQ(o.file.Tell(), 100000);
  EXPECT_EQ(o.file.GetChar(), at(100000));
}

TEST(InputFileSavedPosition, RestoreReturnsToCharacterAndLine) {
  Opened o("ab\ncd\nef\ngh");
  o.file.GetChar();
  o.file.GetChar();
  o.file.SaveFilePosition();  // before the first line feed, line 1
  EXPECT_EQ(ReadRest(o.file).substr(0, 1), "\n");
  o.file.Seek(4);
  for (int i = 0; i < 4; ++i) o.file.GetChar();  // "d\nef" -- over two lines in all
  o.file.Unput('f');
  o.file.RestoreFilePosition();
  EXPECT_EQ(o.file.Line(), 1);
  EXPECT_EQ(o.file.GetChar(), '\n');
  EXPECT_EQ(o.file.Line(), 2);
  EXPECT_EQ(ReadRest(o.file), "cd\nef\ngh");
}

TEST(InputFileSavedPosition, PushedBackCharactersAndParseModeAreSaved) {
  Opened o("ABC\nDEF\nGHI");
  o.file.GetChar();
  o.file.GetChar();
  o.file.Unput('B');
  o.file.Unput('A');
  o.file.SetParseMode(cct_InputFile::kScanAll);
  o.file.SaveFilePosition();

  o.file.SetParseMode(cct_InputFile::kEvaluate);
  EXPECT_EQ(o.file.GetChar(), 'A');
  o.file.Seek(8);
  o.file.SetLine(3);
  o.file.Unput('x');
  o.file.RestoreFilePosition();

  EXPECT_EQ(o.file.ParseMode(), cct_InputFile::kScanAll);
  EXPECT_EQ(o.file.Line(), 1);
  EXPECT_EQ(o.file.Tell(), 2);
  EXPECT_EQ(ReadRest(o.file), "ABC\nDEF\nGHI");
}

TEST(InputFileSavedPosition, SavesNest) {
  Opened o("0123456789");
  o.file.GetChar();
  o.file.SaveFilePosition();  // at 1
  o.file.Seek(4);
  o.file.Unput('q');
  o.file.SetParseMode(cct_InputFile::kEvaluate);
  o.file.SaveFilePosition();  // at 4 with q pushed back
  o.file.Seek(8);
  o.file.SetParseMode(cct_InputFile::kScanToName);
  o.file.SaveFilePosition();  // at 8
  o.file.Seek(2);

  o.file.RestoreFilePosition();
  EXPECT_EQ(o.file.GetChar(), '8');
  EXPECT_EQ(o.file.ParseMode(), cct_InputFile::kScanToName);
  o.file.RestoreFilePosition();
  EXPECT_EQ(o.file.GetChar(), 'q');
  EXPECT_EQ(o.file.GetChar(), '4');
  EXPECT_EQ(o.file.ParseMode(), cct_InputFile::kEvaluate);
  o.file.RestoreFilePosition();
  EXPECT_EQ(o.file.GetChar(), '1');
  EXPECT_EQ(o.file.ParseMode(), cct_InputFile::kIdleParseMode);
  // Positions never restored go with the file (the sanitizer build checks for leaks).
  o.file.Unput('x');
  o.file.SaveFilePosition();
}

TEST(InputFileSavedPosition, RestoreWithNothingSavedOnlyReports) {
  Opened o("ab\ncd");
  o.file.GetChar();
  o.file.GetChar();
  o.file.GetChar();
  o.file.Unput('z');
  o.file.SetParseMode(cct_InputFile::kEvaluate);
  CerrCapture log;
  o.file.RestoreFilePosition();
  EXPECT_EQ(log.Text(), ProgramBug("(exchgfls)cct_InputFile::RestoreFilePosition()"
                                   "\t\nAlready at top of FileStatusStack"));
  EXPECT_EQ(o.file.Line(), 2);
  EXPECT_EQ(o.file.ParseMode(), cct_InputFile::kEvaluate);
  EXPECT_EQ(ReadRest(o.file), "zcd");
}

// The cache must answer every read exactly as pread does: at page ends (served from the spill of
// the page before), at and past the end of the file, and after its pages were pushed out by
// reads all over a file larger than the cache.
TEST(PageCache, AnswersAsPreadDoes) {
  for (const size_t size : {size_t{3 * 4096 + 700}, size_t{1500 * 4096 + 3}}) {
    std::string content(size, '\0');
    uint64_t state = 0x2545F4914F6CDD1Dull ^ size;
    for (char& c : content) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      c = static_cast<char>(state);
    }
    TempFile temp(content);
    const int fd = open(temp.Path(), O_RDONLY);
    ASSERT_GE(fd, 0);
    cct_PageCache cache;
    auto same = [&](long offset, size_t want) {
      char expected[cct_PageCache::kSpill];
      const ssize_t n = pread(fd, expected, want, offset);
      const char* bytes = nullptr;
      const ssize_t got = cache.Find(fd, offset, want, bytes);
      ASSERT_EQ(got, n) << "offset " << offset << " want " << want;
      if (n > 0) {
        EXPECT_EQ(std::string(bytes, static_cast<size_t>(n)),
                  std::string(expected, static_cast<size_t>(n)));
      }
      char copy[cct_PageCache::kSpill];
      EXPECT_EQ(cache.Read(fd, offset, copy, want), n);
    };
    const long last = static_cast<long>(size);
    for (long offset : {0L, 1L, 4095L, 4096L, 4096L - 512, 4096L - 511, 8191L, last - 700, last - 512,
                        last - 1, last, last + 5})
      for (size_t want : {size_t{1}, size_t{100}, size_t{512}}) same(offset, want);
    for (int k = 0; k < 20000; ++k) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      same(static_cast<long>(state % (size + 1)), 1 + state % 512);
    }
    close(fd);
  }
}

}  // namespace
