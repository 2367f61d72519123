// The global diagnostics log and the two exception classes of the core.
#ifndef CCT_ERRLOG_H
#define CCT_ERRLOG_H

#include <ostream>


/// Report codes: 1..21 are warnings, 257..277 errors, anything else continues the previous report.
enum cct_ErrorCode : int {
  cct_CONTINUE = 0,
  cct_PROGRAM_BUG = 1,
  cct_NAME_IN_USE = 2,
  cct_TEST_COMPATIBILITY_FAILED = 3,
  cct_READ_MEMORY_VECTOR = 4,
  cct_INDEX_OUT_OF_BOUNDS = 5,
  cct_VIRTUAL_UNDEFINED = 6,
  cct_IO_ERROR = 7,
  cct_READING_STEP_FILE = 8,
  cct_READING_MORAVEL_FILE = 9,
  cct_NULL_PARAMETER = 10,
  cct_INVALID_ENUM_ASSIGNMENT = 11,
  cct_UNSET_MANDATORY = 12,
  cct_THIS_IS_NULL = 13,
  cct_AGGREGATE_CANNOT_HANDLE = 14,
  cct_MESSAGE = 15,
  cct_UNIMPLEMENTED = 16,
  cct_ALIGNMENT_ERROR = 17,
  cct_AGGREGATE_OVERFLOW = 18,
  cct_BOUNDS_VIOLATED = 19,
  cct_CORRECTNESS_FAILED = 20,
  cct_WRONG_DATA_FORMAT = 21,
};

/// Warning code n of the category table.
constexpr int cct_Warning(int n) { return n; }
/// Error code of category n.
constexpr int cct_Error(int n) { return 256 + n; }

/// The process-wide log. A report is one expression:
///   cct_errlog(code) [<< inputFile] << "text" << more...;
/// Headers start on a new line; reports never end with a line end of their own.
class cct_ErrorLog {
 public:
  cct_ErrorLog();
  ~cct_ErrorLog();
  cct_ErrorLog(const cct_ErrorLog&) = delete;
  cct_ErrorLog& operator=(const cct_ErrorLog&) = delete;

  /// Writes the header of a warning or an error; other codes write nothing.
  cct_ErrorLog& operator()(int code);

  /// The stream this thread's reports go to: the one a cct_LogScope of this thread chose, else
  /// the process's (std::cerr unless SetStream chose another).
  std::ostream& Stream() const { return threadStream_ ? *threadStream_ : *stream_; }
  /// The process's stream; null restores std::cerr.
  void SetStream(std::ostream* stream);

  /// How many warnings and errors this thread has reported so far.
  long Reports() const { return threadReports_; }

  /// Category text n (0..21); the empty text outside that range.
  static const char* CategoryText(int n);

 private:
  friend class cct_LogScope;
  std::ostream* stream_;
  // Each thread reports into the stream it chose: a document read on one thread and another
  // document read on a second thread each get their own reports.
  static thread_local std::ostream* threadStream_;
  static thread_local long threadReports_;
};

/// While it lives, every report made on this thread goes to `stream`; then the stream chosen
/// before comes back, on every path. A document's commands each run inside one, so that its
/// reports land in its own log whatever other threads are reading.
class cct_LogScope {
 public:
  explicit cct_LogScope(std::ostream& stream) : previous_(cct_ErrorLog::threadStream_) {
    cct_ErrorLog::threadStream_ = &stream;
  }
  ~cct_LogScope() { cct_ErrorLog::threadStream_ = previous_; }
  cct_LogScope(const cct_LogScope&) = delete;
  cct_LogScope& operator=(const cct_LogScope&) = delete;

 private:
  std::ostream* previous_;
};

/// Writes the text; everything streamed afterwards goes straight to the underlying stream.
std::ostream& operator<<(cct_ErrorLog& log, const char* text);

extern cct_ErrorLog cct_errlog;

/// One message of a fixed layout chosen by kind, without a category header.
void cct_ReportMessage(int kind, const char* text, long line);
/// t1 as plain text, then " t2" .. " t5" for the non-null ones, then the number unless it is 0.
void cct_ReportText(long number, const char* t1, const char* t2 = nullptr, const char* t3 = nullptr,
                    const char* t4 = nullptr, const char* t5 = nullptr);

/// Thrown right after a fatal report has been logged; carries nothing else.
class cct_GenericException {
 public:
  virtual ~cct_GenericException() = default;
};

/// Thrown when an unset entity reference is dereferenced.
class cct_NullPointerDereferenceException : public cct_GenericException {};

#endif
