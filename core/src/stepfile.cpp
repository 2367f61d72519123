#include "cct/stepfile.h"

#include <algorithm>
#include <cstring>
#include <ostream>

#include "cct/ascii.h"
#include "cct/cctype.h"
#include "cct/errlog.h"
#include "cct/instance.h"
#include "cct/rawrecord.h"
#include "cct/references.h"
#include "parsed_values.h"

int yyparse(cct_StepFile* file);

thread_local bool cct_StepFile::parsing = false;
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
  scope_.SetNamingMode(cct_Scope::kNumberedNames);
}

cct_StepFile::~cct_StepFile() {
  StopReadAhead();
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

cct_StepFile::ParseScope::ParseScope(cct_StepFile& file, int mode)
    : file_(file), mode_(file.parseMode_), input_(cct_currentInputFile), parsing_(parsing) {
  file.parseMode_ = mode;
  cct_currentInputFile = &file;
  parsing = true;
}

cct_StepFile::ParseScope::~ParseScope() {
  file_.parseMode_ = mode_;
  cct_currentInputFile = input_;
  parsing = parsing_;
}

void cct_StepFile::EnterRecord(cct_Instance* instance) {
  try {
    scope_.RegisterName(currentName_, instance);
  } catch (...) {
    if (instance && !instance->IsRegistered()) delete instance;
    throw;
  }
  if (instance && !instance->IsRegistered()) {
    // The name was locked by another instance: this one has no owner.
    delete instance;
    instance = nullptr;
  }
  AdoptCurrentName(nullptr);
  currentInstance_ = instance;
}

void cct_StepFile::ReportUndefinedEntity(const char* keyword) {
  cct_errlog(cct_Error(cct_PROGRAM_BUG)) << *this << "\n   The entity '" << keyword
                                         << "' is not defined"
                                         << "\n   in the underlying EXPRESS schema.";
}

int cct_StepFile::RunParser(long mode, cct_StepFile** out) {
  ParseScope scope(*this, static_cast<int>(mode));
  if (out) *out = this;
  pending_ = nullptr;
  cct_ResetLexer(*this);
  int result = yyparse(this);
  ClearParserLists();
  if (result != 0) {
    std::exception_ptr pending = pending_;
    pending_ = nullptr;
    if (pending) std::rethrow_exception(pending);
    throw cct_GenericException();
  }
  return result;
}

void cct_StepFile::ClearParserLists() {
  for (auto& list : parserLists_)
    for (cct_Type* value : list) cct_parsed::ReleaseValue(value);
  parserLists_.clear();
}

void cct_StepFile::Fail(const char* text) {
  cct_errlog(cct_Error(cct_READING_STEP_FILE)) << *this << text;
  throw cct_GenericException();
}

void cct_StepFile::ReadSectionsBeforeData() {
  for (;;) {
    cct_SkipBlanks(*this);
    const std::string word = cct_ReadWord(*this);
    if (word == "ANCHOR" || word == "REFERENCE") {
      std::string text;
      if (!cct_ReadRawSection(*this, word, text)) Fail("Syntax error.");
      if (word == "REFERENCE") {
        // "#12=<uri>;": such names are defined, outside the data section.
        for (size_t at = text.find('#'); at != std::string::npos; at = text.find('#', at + 1)) {
          size_t end = at + 1;
          while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
          size_t eq = end;
          while (eq < text.size() && std::strchr(" \t\r\n", text[eq])) ++eq;
          if (end > at + 1 && eq < text.size() && text[eq] == '=')
            externalNames_.insert(text.substr(at + 1, end - at - 1));
        }
      }
      sectionsBefore_.push_back(std::move(text));
      continue;
    }
    if (word != "DATA") Fail("Syntax error.");
    cct_SkipBlanks(*this);
    int c = GetChar();
    if (c == '(') {
      // Parameters of the section (its name and schema): kept as read.
      Unput(c);
      dataParameters_ = cct_ReadRawRecord(*this);
      return;
    }
    if (c != ';') Fail("Syntax error.");
    return;
  }
}

void cct_StepFile::ReadSectionsAfterData() {
  for (;;) {
    cct_SkipBlanks(*this);
    const std::string word = cct_ReadWord(*this);
    if (word == "SIGNATURE") {
      std::string text;
      if (!cct_ReadRawSection(*this, word, text)) Fail("Syntax error.");
      sectionsAfter_.push_back(std::move(text));
      continue;
    }
    if (word == "DATA")
      Fail("A second DATA section begins here; only files with one DATA section can be read.");
    if (word != "END-ISO-10303-21") Fail("Syntax error.");
    cct_SkipBlanks(*this);
    if (GetChar() != ';') Fail("Syntax error.");
    return;
  }
}

bool cct_StepFile::DefinedOutsideData(const char* name) const {
  return name && externalNames_.count(name) != 0;
}

void cct_StepFile::NoteReportedMissing(const char* name) {
  if (name) reportedMissing_.insert(name);
}

namespace {

// The schemas of ISO 14649 (general data, milling, turning, their tools, the other processes)
// and the combined one. A name may carry an object identifier after it ("{ 1 0 14649 10 }").
bool IsStepNcSchema(const std::string& text) {
  static const char* const kNames[] = {
      "combined_schema",          "machining_schema",         "milling_schema",
      "turning_schema",           "milling_tool_schema",      "milling_tools_schema",
      "milling_machine_tool_schema", "milling_machine_tools_schema", "turning_tool_schema",
      "turning_tools_schema",     "turning_machine_tool_schema", "turning_machine_tools_schema",
      "wire_edm_schema",          "sink_edm_schema",          "sinking_edm_schema",
      "inspection_schema",        "process_data_schema",      "iso14649_schema"};
  std::string name;
  for (char c : text) {
    if (c == ' ' || c == '{' || c == '\t') break;
    name += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  for (const char* known : kNames)
    if (name == known) return true;
  return text.find("14649") != std::string::npos;
}

}  // namespace

long cct_StepFile::CheckSchemaNames() {
  long reports = 0;
  cct_AggregateType_1d& names = fileSchema_.schema_identifiers;
  for (unsigned long i = 0; i < names.Count(); ++i) {
    cct_Type* name = names.ElementObject(i);
    const char* text = name ? name->GetString() : nullptr;
    if (text && !IsStepNcSchema(text)) {
      ++reports;
      cct_errlog(cct_Warning(cct_READING_STEP_FILE))
          << "The file schema '" << text << "' is not an ISO 14649 schema; its records are "
          << "read as far as the combined schema knows them, and the others are kept as they "
          << "are.";
    }
    if (name && name->IsTemporary()) delete name;
  }
  return reports;
}

long cct_StepFile::CheckReferences() {
  cct_ReferenceCheck check(*this);
  for (cct_Scope::Entry* entry : scope_.EntriesInNameOrder()) check.Collect(entry);
  return check.Report();
}

void cct_StepFile::ReadHeader(cct_StepFile** out) {
  RunParser(kEvaluate, out);
  ReadSectionsBeforeData();
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
    scanStop_ = kNoStop;
    const bool ahead = TakeScannedAhead();
    if (!ahead) {
      if (!FastScan()) RunParser(kScanAll, nullptr);
      if (currentName_) StartScanAhead();
    }
    if (!currentName_) {
      if (scanStop_ == kRecordSkipped) continue;
      if (scanStop_ == kDataEnded) ReadSectionsAfterData();
      break;
    }
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
    scanStop_ = kNoStop;
    if (!FastScan()) RunParser(kScanToName, nullptr);
    if (!currentName_) {
      if (scanStop_ == kRecordSkipped) continue;
      if (scanStop_ == kDataEnded) ReadSectionsAfterData();
      break;
    }
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
  misfits_.Clear();
  bool direct;
  {
    Restore<cct_Scope::Entry*> reading(readingEntry_, entry);
    direct = FastEvaluate();
  }
  if (!direct) RunParser(kEvaluate, nullptr);
  if (currentInstance_ && misfits_.Any() && entry->instance == currentInstance_)
    KeepMisfits(entry, *currentInstance_);
  misfits_.Clear();
  if (currentInstance_) currentInstance_->TestAllSet();
  if (!entry->instance) KeepRawRecord(entry);
  currentInstance_ = entry->instance;
  return currentInstance_;
}

void cct_StepFile::KeepRawRecord(cct_Scope::Entry* entry) {
  // The record has been read and reported on; what the binding could not build is kept as
  // text, so that references to it resolve and a save gives it back.
  const int32_t line = line_;
  Seek(entry->fileOffset);
  std::string record = cct_ReadRawRecord(*this);
  line_ = line;
  if (record.empty()) return;
  auto* raw = new cct_RawInstance(std::move(record));
  scope_.RegisterName(entry->name, raw);
  if (!raw->IsRegistered()) delete raw;
}

void cct_StepFile::KeepMisfits(cct_Scope::Entry* entry, cct_Instance& instance) {
  // The record is read once more, as a kept record is, to take the parameters as written.
  const int32_t line = line_;
  Seek(entry->fileOffset);
  const std::string record = cct_ReadRawRecord(*this);
  line_ = line;
  const std::vector<std::string_view> parameters = cct_SplitParameters(record);
  const auto count = static_cast<long>(parameters.size());
  if (misfits_.taken >= 0 && misfits_.taken != count) {
    // The reader offered a different number of parameters than the text holds (it passed over
    // something that is no parameter): its values may stand in other places than the text's.
    // The text is kept parameter by parameter in its own places, else every save would shift
    // them once more and lose the last.
    long attributes = 0;
    while (instance.Attribute(attributes)) ++attributes;
    misfits_.refused.clear();
    for (long i = 0; i < count && i < attributes; ++i) misfits_.refused.push_back(i);
    misfits_.extraFrom = count > attributes ? attributes : -1;
    misfits_.given = count < attributes ? count : -1;
  }
  for (long i : misfits_.refused)
    if (i < count) instance.KeepAsWritten(i, std::string(parameters[static_cast<size_t>(i)]));
  if (misfits_.extraFrom >= 0 && misfits_.extraFrom < count) {
    cct_AsWritten* kept = instance.AsWrittenRecord(true);
    for (long i = misfits_.extraFrom; kept && i < count; ++i)
      kept->extra.emplace_back(parameters[static_cast<size_t>(i)]);
  }
  if (misfits_.given >= 0) {
    if (cct_AsWritten* kept = instance.AsWrittenRecord(true)) kept->given = misfits_.given;
    // Every attribute the record leaves out is named, OPTIONAL ones too: the record is written
    // back as short as it is.
    std::string names;
    for (long i = misfits_.given; instance.Attribute(i); ++i) {
      if (!names.empty()) names += ", ";
      names += instance.AttributeName(i) ? instance.AttributeName(i) : "";
    }
    const int32_t here = line_;
    line_ = entry->line;
    cct_errlog(cct_Warning(cct_READING_STEP_FILE))
        << *this << "The record of instance #" << entry->name << " ends after " << misfits_.given
        << (misfits_.given == 1 ? " parameter" : " parameters") << "; not given: " << names.c_str()
        << ".";
    line_ = here;
  }
}

cct_Instance* cct_StepFile::ReadInstance(const char* name) {
  // The parser is not re-entrant: a reference followed while a parse runs stays unresolved.
  if (parsing || !name) return nullptr;
  cct_CompatibilityScope mode(2);
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
  os << "ENDSEC;" << std::endl;
  for (const std::string& section : sectionsBefore_) os << section << std::endl;
  os << "DATA" << dataParameters_ << ';' << std::endl;
  std::string after;
  for (const std::string& section : sectionsAfter_) after += section + "\n";
  writtenInstances_ = scope_.WriteP21(os, 0, 0, after.c_str());
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
    // A name reported once (when the file was checked) or defined outside the data section is
    // not reported again each time it is looked up.
    if (!cct_StepFile::Parsing() && !file->DefinedOutsideData(name) &&
        file->reportedMissing_.count(name) == 0)
      cct_errlog(cct_Error(cct_PROGRAM_BUG)) << *file << " --- can not find instance '" << name
                                             << "'.";
    return nullptr;
  }
  return instance;
}
