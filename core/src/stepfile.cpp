#include "cct/stepfile.h"

#include <cstring>
#include <ostream>

#include "cct/ascii.h"
#include "cct/cctype.h"
#include "cct/errlog.h"
#include "cct/instance.h"

int yyparse();
void cct_ClearParserLists();

cct_StepFile* cct_parserFile = nullptr;
bool cct_StepFile::parsing = false;
bool cct_StepFile::directReading = true;

namespace {

cct_Instance* Loader(const char* name, void* file) {
  return cct_ReadInstanceByName(name, static_cast<cct_StepFile*>(file));
}

// Puts a value back when the scope of a read ends, also when the read throws.
template <class T>
class Restore {
 public:
  Restore(T& variable, T value) : variable_(variable), saved_(variable) { variable_ = value; }
  ~Restore() { variable_ = saved_; }
  Restore(const Restore&) = delete;
  Restore& operator=(const Restore&) = delete;

 private:
  T& variable_;
  T saved_;
};

}  // namespace

cct_StepFile::cct_StepFile(const char* path, StreamProvider first, StreamProvider second)
    : cct_InputFile(path, first, second) {
  fileKind_ = kFileKindStep;
  scope_.SetLoader(&Loader, this);
  scope_.SetNamingMode(2);
}

cct_StepFile::~cct_StepFile() {
  StopReadAhead();
  if (cct_parserFile == this) cct_parserFile = nullptr;
  if (cct_currentInputFile == this) cct_currentInputFile = nullptr;
  if (ownsCurrentName_) cct_FreeText(currentName_);
  cct_FreeText(headerName_);
  cct_FreeText(headerTimeStamp_);
  cct_FreeText(headerAuthor_);
}

void cct_StepFile::AdoptCurrentName(char* name) {
  if (ownsCurrentName_) cct_FreeText(currentName_);
  currentName_ = name;
  ownsCurrentName_ = true;
}

void cct_StepFile::BorrowCurrentName(const char* name) {
  if (ownsCurrentName_) cct_FreeText(currentName_);
  currentName_ = const_cast<char*>(name);
  ownsCurrentName_ = false;
}

int cct_StepFile::RunParser(long mode, cct_StepFile** out) {
  Restore<int> savedMode(parseMode_, static_cast<int>(mode));
  Restore<cct_InputFile*> savedFile(cct_currentInputFile, this);
  Restore<cct_StepFile*> savedParserFile(cct_parserFile, this);
  if (out) *out = this;
  Restore<bool> running(parsing, true);
  pending_ = nullptr;
  cct_ResetLexer();
  int result = yyparse();
  cct_ClearParserLists();
  if (result != 0) {
    std::exception_ptr pending = pending_;
    pending_ = nullptr;
    if (pending) std::rethrow_exception(pending);
    throw cct_GenericException();
  }
  return result;
}

void cct_StepFile::ReadHeader(cct_StepFile** out) {
  RunParser(kEvaluate, out);
  cct_FreeText(headerName_);
  cct_FreeText(headerTimeStamp_);
  cct_FreeText(headerAuthor_);
  headerName_ = cct_CopyText(fileName_.name.IsSet() ? fileName_.name.Get() : nullptr);
  headerTimeStamp_ =
      cct_CopyText(fileName_.time_stamp.IsSet() ? fileName_.time_stamp.Get() : nullptr);
  headerAuthor_ = nullptr;
  if (fileName_.author.Count() > 0) {
    cct_Type* first = fileName_.author.ElementObject(0);
    if (first) headerAuthor_ = cct_CopyText(first->GetString());
    if (first && first->IsTemporary()) delete first;
  }
}

void cct_StepFile::EnterScanned() {
  cct_Scope::Entry* entry = scope_.ProvideEntry(currentName_);
  if (!entry) return;
  if (entry->fileOffset != 0) {
    // A name defined twice: the later definition is the one read, and the user hears of it.
    cct_errlog(cct_Warning(cct_NAME_IN_USE))
        << *this << "Instance #" << currentName_ << " is defined again in line " << scanned_.line
        << "; the definition in line " << entry->line << " is ignored.";
  }
  entry->fileOffset = scanned_.offset;
  entry->line = scanned_.line;
  entry->typeId = scanned_.typeId;
}

void cct_StepFile::ScanFile() {
  if (fullyIndexed_) return;
  // A thread that scans ahead ends with the scan, also when the scan fails.
  struct Finish {
    cct_StepFile* file;
    ~Finish() { file->scanAhead_.reset(); }
  } finish{this};
  for (unsigned long count = 1;; ++count) {
    AdoptCurrentName(nullptr);
    const bool ahead = TakeScannedAhead();
    if (!ahead) {
      if (!FastScan()) RunParser(kScanAll, nullptr);
      if (currentName_) StartScanAhead();
    }
    if (!currentName_) break;
    EnterScanned();
    if (scanProgress_ && count % 4096 == 0)
      scanProgress_(scanProgressData_, ahead ? scanAheadOffset_ : Tell());
  }
  fullyIndexed_ = true;
}

bool cct_StepFile::ScanForName(const char* name) {
  if (fullyIndexed_ || !name) return false;
  for (;;) {
    AdoptCurrentName(nullptr);
    if (!FastScan()) RunParser(kScanToName, nullptr);
    if (!currentName_) break;
    EnterScanned();
    if (std::strcmp(currentName_, name) == 0) return true;
  }
  fullyIndexed_ = true;
  return false;
}

cct_Instance* cct_StepFile::ReadInstanceAt(cct_Scope::Entry* entry) {
  if (!entry) return nullptr;
  Seek(entry->fileOffset);
  SetLine(entry->line);
  BorrowCurrentName(entry->name);
  currentInstance_ = nullptr;
  bool direct;
  {
    Restore<cct_Scope::Entry*> reading(readingEntry_, entry);
    direct = FastEvaluate();
  }
  if (!direct) RunParser(kEvaluate, nullptr);
  if (currentInstance_) currentInstance_->TestAllSet();
  currentInstance_ = entry->instance;
  return currentInstance_;
}

cct_Instance* cct_StepFile::ReadInstance(const char* name) {
  // The parser is not re-entrant: a reference followed while a parse runs stays unresolved.
  if (parsing || !name) return nullptr;
  Restore<int> mode(CompatibilityMode, 2);
  cct_Scope::Entry* entry = scope_.FindEntry(name, 0);
  if (entry && entry->fileOffset != 0) {
    SaveFilePosition();
    struct Pop {
      cct_StepFile* file;
      ~Pop() { file->RestoreFilePosition(); }
    } pop{this};
    return ReadInstanceAt(entry);
  }
  if (!ScanForName(name)) return nullptr;
  return ReadInstanceAt(scope_.ProvideEntry(name));
}

void cct_StepFile::WriteHeaderEntity(std::ostream& os, cct_Instance& entity) {
  for (const char* c = entity.TypeName(); *c; ++c)
    os << cct_AsciiUpper(*c);
  os << '(';
  for (long i = 0;; ++i) {
    cct_Type* value = entity.Attribute(i);
    if (!value) break;
    if (i) os << ',';
    value->WriteP21(os);
  }
  os << ");" << std::endl;
}

void cct_StepFile::WriteP21(std::ostream& os) {
  os << "ISO-10303-21;" << std::endl << "HEADER;" << std::endl;
  WriteHeaderEntity(os, fileDescription_);
  WriteHeaderEntity(os, fileName_);
  WriteHeaderEntity(os, fileSchema_);
  os << "ENDSEC;" << std::endl << "DATA;" << std::endl;
  writtenInstances_ = scope_.WriteP21(os, 0, 0);
}

cct_Instance* cct_ReadInstanceByName(const char* name, cct_StepFile* file) {
  if (!name) {
    cct_errlog(cct_Warning(cct_NULL_PARAMETER)) << "cct_ReadInstanceByName : Parameter aliasname";
    return nullptr;
  }
  if (!file) return nullptr;
  cct_Instance* instance = file->ReadInstance(name);
  if (instance && instance->Kind() != cct_KIND_INSTANCE) {
    cct_errlog(cct_Error(cct_PROGRAM_BUG)) << *file << " --- instance '" << name
                                           << "' is corrupted.";
    throw cct_GenericException();
  }
  if (!instance) {
    if (!cct_StepFile::Parsing())
      cct_errlog(cct_Error(cct_PROGRAM_BUG)) << *file << " --- can not find instance '" << name
                                             << "'.";
    return nullptr;
  }
  return instance;
}
