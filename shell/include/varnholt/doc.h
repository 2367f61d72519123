// One open exchange file and its log: opening builds the exchange-file object and reads every
// instance, collecting every report in the document's log; saving writes a new exchange file.
#ifndef VARNHOLT_DOC_H
#define VARNHOLT_DOC_H

#include <ctime>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cct/errlog.h"

class cct_StepFile;
class cct_Scope;

class CDoc {
 public:
  CDoc();
  ~CDoc();
  CDoc(const CDoc&) = delete;
  CDoc& operator=(const CDoc&) = delete;

  /// Opens the file and reads every instance; false when it could not be opened (the log says
  /// why). An empty path does nothing.
  bool OnOpenDocument(const char* path);
  /// Writes the population to path with refreshed header values. The target is replaced only
  /// when the whole file was written and flushed to disk; false (and error 263 in the log)
  /// otherwise. A save that would hold fewer instance records than the document, or that comes
  /// after NoteUnwrittenSection, fails the same way: the target keeps what it held.
  bool OnSaveDocument(const std::string& path);
  /// Records that something read from the file (what names it, e.g. "the section ...") has no
  /// place in a saved file. Every save of this document then fails and names it, until the next
  /// open: a save must not silently drop what the user's file holds.
  void NoteUnwrittenSection(std::string what) { unwritten_.push_back(std::move(what)); }

  /// While it lives, every report of the core made on this thread writes into the document's
  /// log; then the reports go back to where they went before. Every command of a document runs
  /// inside one, so that each document's messages land in its own log, also when documents are
  /// opened on several threads at once.
  class LogRoute {
   public:
    explicit LogRoute(CDoc& doc) : scope_(doc.log_) {}
    LogRoute(const LogRoute&) = delete;
    LogRoute& operator=(const LogRoute&) = delete;

   private:
    cct_LogScope scope_;
  };

  /// Called now and then while a file opens with the share done, 0 to 100.
  using Progress = std::function<void(int percent)>;
  void SetProgress(Progress progress) { progress_ = std::move(progress); }

  std::string LogText() const { return log_.str(); }
  std::ostream& Log() { return log_; }
  cct_StepFile* StepFile() const { return file_.get(); }
  cct_Scope* Scope() const { return scope_; }
  const std::string& PathName() const { return path_; }

  /// The save time stamp: year-month-dayThour-minute-second in UTC without leading zeros.
  static std::string TimeStamp(std::time_t when);
  /// Now, or the instant SOURCE_DATE_EPOCH names, so that saved files can be compared.
  static std::time_t SaveTime();

 private:
  void StartLog();
  void Banner(const std::string& line);

  std::ostringstream log_;
  std::unique_ptr<cct_StepFile> file_;
  cct_Scope* scope_ = nullptr;
  std::string path_;
  Progress progress_;
  int percent_ = -1;
  std::vector<std::string> unwritten_;  // see NoteUnwrittenSection

  void Report(int percent);
};

#endif
