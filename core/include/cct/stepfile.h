// The exchange-file object: an input file with its three header entities, the index from
// instance names to their definitions, on-demand reading of single instances, and writing.
#ifndef CCT_STEPFILE_H
#define CCT_STEPFILE_H

#include <cstddef>
#include <exception>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "cct/exchgfls.h"
#include "cct/header.h"
#include "cct/lexer.h"

class cct_StepFile;
class cct_Type;
struct cct_SchemaBinding;
/// The direct reader's working storage, one per file (internal to the core).
struct cct_DirectBuffers;

class cct_StepFile : public cct_InputFile {
 public:

  explicit cct_StepFile(const char* path, StreamProvider first = nullptr,
                        StreamProvider second = nullptr);
  ~cct_StepFile() override;

  /// Runs one parse in the given mode; a parse that fails throws cct_GenericException (or the
  /// exception that stopped it) after the failure has been logged.
  int RunParser(long mode, cct_StepFile** out);
  void ReadHeader(cct_StepFile** out);
  void ScanFile() override;
  /// Called every so many definitions while ScanFile runs, with the file offset reached; lets a
  /// window show progress on a large file.
  using ScanProgress = void (*)(void* data, long offset);
  void SetScanProgress(ScanProgress progress, void* data) {
    scanProgress_ = progress;
    scanProgressData_ = data;
  }
  bool ScanForName(const char* name);
  cct_Instance* ReadInstanceAt(cct_Scope::Entry* entry);
  /// The instance of a name, read from the file when needed; null when the file has none.
  cct_Instance* ReadInstance(const char* name);
  void WriteP21(std::ostream& os) override;
  /// How many instance records the latest WriteP21 wrote.
  long WrittenInstances() const { return writtenInstances_; }

  /// Called after each entry ReadAll has read, with the entry and its position in the order.
  using AfterRead = std::function<void(cct_Scope::Entry* entry, size_t index)>;
  /// Reads the instance of every entry (of this file's scope) in the given order, as
  /// Scope().FindInstance(entry, 1) does, and calls afterEach (when set) after each. A second
  /// thread prepares the records in that order meanwhile; what is read and reported is the
  /// same as without it. The thread is stopped when ReadAll returns or throws. The entries
  /// must not change while it runs.
  void ReadAll(const cct_Scope::Order& order, const AfterRead& afterEach);

  file_description& FileDescription() { return fileDescription_; }
  file_name& FileName() { return fileName_; }
  file_schema& FileSchema() { return fileSchema_; }
  const file_description& FileDescription() const { return fileDescription_; }
  const file_name& FileName() const { return fileName_; }
  const file_schema& FileSchema() const { return fileSchema_; }

  // Parser support: the state the grammar's actions read and write.
  const char* CurrentName() const { return currentName_; }
  const char* RecordName() const override { return currentName_; }
  /// Takes ownership of a heap name (cct_CopyText), freeing the previous one.
  void AdoptCurrentName(char* name);
  /// Uses a name that outlives the read (a scope entry's) without copying it.
  void BorrowCurrentName(const char* name);
  void SetScannedPosition(const DefinitionPosition& position) { scanned_ = position; }
  /// Why a scan reported no name: the data section ended, or a record without a name was
  /// passed over (the scan goes on).
  enum ScanStop { kNoStop, kDataEnded, kRecordSkipped };
  void SetScanStop(ScanStop stop) { scanStop_ = stop; }

  /// Sections other than HEADER and DATA, exactly as read (from their keyword to the semicolon
  /// after their ENDSEC): anchors and references before the data, signatures after it.
  const std::vector<std::string>& SectionsBeforeData() const { return sectionsBefore_; }
  const std::vector<std::string>& SectionsAfterData() const { return sectionsAfter_; }
  /// The parameters of the DATA line ("('name',('schema'))"), empty for a plain "DATA;".
  const std::string& DataParameters() const { return dataParameters_; }
  /// Names a reference may use without a definition in the data section: those the
  /// REFERENCE sections define.
  bool DefinedOutsideData(const char* name) const;
  /// Reports every reference of every instance read that leads nowhere (a name the file never
  /// defines) or to an instance its attribute does not admit, at the line of the referring
  /// record. The references stay as the file gives them. Answers the number of reports.
  long CheckReferences();
  /// Warns about each FILE_SCHEMA name that is not an ISO 14649 schema; answers their number.
  long CheckSchemaNames();
  /// Notes that a missing instance has been reported, so that looking it up again (as a save
  /// does) does not report it once more.
  void NoteReportedMissing(const char* name);
  const DefinitionPosition& ScannedPosition() const { return scanned_; }
  cct_Instance* CurrentInstance() const { return currentInstance_; }
  void SetCurrentInstance(cct_Instance* instance) { currentInstance_ = instance; }
  /// The end of every named record, however it was read: the instance made of it is registered
  /// under the current name and becomes the current instance. One whose name another instance
  /// holds is dropped (and so is one left without a name by a throw, before the throw goes on).
  void EnterRecord(cct_Instance* instance);
  /// Reported for a record whose keyword (lower case) the schema does not define.
  void ReportUndefinedEntity(const char* keyword);
  /// The lists of the record being parsed, innermost last, each with the entries read so far:
  /// they wait here until the list closes, so a long list is stored with one allocation
  /// instead of one per entry.
  std::vector<std::vector<cct_Type*>>& ParserLists() { return parserLists_; }
  /// The header entity the parse expects next ("file_description", ...), for its message.
  const char*& ExpectedHeader() { return expectedHeader_; }
  /// Frees the entries of lists left open by a parse that stopped.
  void ClearParserLists();
  /// Remembers an exception that stopped a parse, to be rethrown when the parse has unwound.
  void SetPendingException(std::exception_ptr e) { pending_ = e; }
  static bool Parsing() { return parsing; }
  /// Whether plain records are read directly (on by default); off, the parser reads every
  /// record. Both must give the same instances, log and output: tests and the fuzzer compare.
  static void SetDirectReading(bool on) { directReading = on; }
  static bool DirectReading() { return directReading; }

  /// Texts taken from the header when it is read: name, time stamp and first author.
  const char* HeaderName() const { return headerName_; }
  const char* HeaderTimeStamp() const { return headerTimeStamp_; }
  const char* HeaderAuthor() const { return headerAuthor_; }

 private:
  /// While it lives, the parser's actions and the lexer work on this file in the given mode;
  /// then what was there before comes back. Every read of a record, by the parser or
  /// directly, happens inside one.
  class ParseScope {
   public:
    ParseScope(cct_StepFile& file, int mode);
    ~ParseScope();
    ParseScope(const ParseScope&) = delete;
    ParseScope& operator=(const ParseScope&) = delete;

   private:
    cct_StepFile& file_;
    int mode_;
    cct_InputFile* input_;
    bool parsing_;
  };
  /// Indexes one definition of the usual form straight from the read buffer, exactly as the
  /// parser's scan would; false (nothing consumed) for anything else, which the parser reads.
  bool FastScan();
  /// Makes a definition found by the direct scan the current one, as the parser's scan would.
  void TakeDefinition(const char* name, size_t nameLength, long typeId, long equalsOffset,
                      int32_t equalsLine);
  /// Reads one plain single-line record at the reading position straight from the read buffer,
  /// making what the parser's evaluation would; false (nothing consumed) for anything else.
  bool FastEvaluate();
  /// The entity identifier of an upper-case keyword (0 when unknown), as the parser looks up
  /// its lower-case form.
  long KeywordTypeId(const char* keyword, size_t length);
  void EnterScanned();
  /// After the header: the anchor and reference sections, then the DATA line.
  void ReadSectionsBeforeData();
  /// After the data section: signature sections, then END-ISO-10303-21.
  void ReadSectionsAfterData();
  /// Logs a syntax error at the reading position and ends the read.
  [[noreturn]] void Fail(const char* text);
  /// Registers the record of an entry that reading could not build as a raw instance.
  void KeepRawRecord(cct_Scope::Entry* entry);
  /// Keeps, as written, what the record of an entry gave that its instance's attributes did
  /// not take (the misfits noted while it was read).
  void KeepMisfits(cct_Scope::Entry* entry, cct_Instance& instance);
  class ScanAhead;
  struct EndScanAhead {
    void operator()(ScanAhead* scanAhead) const;
  };
  /// Takes the next definition the scan-ahead thread found; false when there is no thread or it
  /// has stopped (the reading position is then where it stopped).
  bool TakeScannedAhead();
  /// Starts a scan-ahead thread at the reading position when that is worth it.
  void StartScanAhead();
  class ReadAhead;
  struct EndReadAhead {
    void operator()(ReadAhead* readAhead) const;
  };
  /// Prepares, on a second thread, the records of these entries in this order: the order in
  /// which they are about to be read. Each read then finds its record already fetched and split
  /// into tokens; what it reads and reports is the same. The entries and the vector must stay
  /// until StopReadAhead (or the destruction of the file).
  void StartReadAhead(const cct_Scope::Order& order);
  void StopReadAhead();
  struct EndDirectBuffers {
    void operator()(cct_DirectBuffers* buffers) const;
  };
  void WriteHeaderEntity(std::ostream& os, cct_Instance& entity);

  file_description fileDescription_;
  file_name fileName_;
  file_schema fileSchema_;
  char* currentName_ = nullptr;
  bool ownsCurrentName_ = true;
  char scanName_[32];  // the name of the definition the direct scan just read
  DefinitionPosition scanned_{0, 0, 0, 0};
  ScanStop scanStop_ = kNoStop;
  std::vector<std::string> sectionsBefore_;
  std::vector<std::string> sectionsAfter_;
  std::string dataParameters_;
  std::unordered_set<std::string> externalNames_;
  std::unordered_set<std::string> reportedMissing_;
  cct_Instance* currentInstance_ = nullptr;
  std::exception_ptr pending_;
  char* headerName_ = nullptr;
  char* headerTimeStamp_ = nullptr;
  char* headerAuthor_ = nullptr;
  struct {
    char keyword[64];
    size_t length = 0;
    long id = 0;
    const cct_SchemaBinding* binding = nullptr;
    long names = -1;
  } lastEntity_;
  std::unique_ptr<ReadAhead, EndReadAhead> readAhead_;
  std::unique_ptr<ScanAhead, EndScanAhead> scanAhead_;
  std::unique_ptr<cct_DirectBuffers, EndDirectBuffers> direct_;  // made at the first direct read
  int scanAheadRuns_ = 0;
  size_t scanAheadTaken_ = 0;  // definitions taken from the last thread that stopped
  long scanAheadOffset_ = 0;   // past the last definition taken from the thread
  cct_Scope::Entry* readingEntry_ = nullptr;  // the entry whose record is being read
  ScanProgress scanProgress_ = nullptr;
  void* scanProgressData_ = nullptr;
  long writtenInstances_ = 0;
  std::vector<std::vector<cct_Type*>> parserLists_;
  const char* expectedHeader_ = "";
  // Whether a parse runs on this thread: the parser is not re-entrant, so a reference followed
  // meanwhile stays unresolved. Each thread reads its own file.
  static thread_local bool parsing;
  static bool directReading;
  friend cct_Instance* cct_ReadInstanceByName(const char* name, cct_StepFile* file);
};

/// The loader through which a file scope reads an instance on demand.
cct_Instance* cct_ReadInstanceByName(const char* name, cct_StepFile* file);

#endif
