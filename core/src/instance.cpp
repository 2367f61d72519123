#include "cct/instance.h"

#include <cstring>
#include <utility>
#include <vector>
#include <ostream>

#include "cct/ascii.h"
#include "cct/errlog.h"
#include "cct/exchgfls.h"

namespace {

constexpr const char* kModule = "instance";

std::ostream& ProgramBug() {
  return cct_errlog(cct_Error(cct_PROGRAM_BUG)) << "(" << kModule << ") ";
}

const char* OrEmpty(const char* text) { return text ? text : ""; }

}  // namespace

cct_Instance::cct_Instance() = default;

cct_Instance::~cct_Instance() {
  if (!IsRegistered()) cct_FreeText(ownName());
}

const char* cct_Instance::InstanceName() const {
  if (IsRegistered()) return entry() ? entry()->name : nullptr;
  return ownName();
}

void cct_Instance::InstanceName(const char* name) {
  if (!name) {
    cct_errlog(cct_Warning(cct_NULL_PARAMETER))
        << "(instance)cct_Instance::InstanceName(const char *name)";
    throw cct_GenericException();
  }
  if (IsRegistered()) {
    ProgramBug() << "cct_Instance::InstanceName()"
                 << "\n--- The instance is already registered under the name"
                 << "\n    '" << OrEmpty(InstanceName()) << "'. The desired new name is"
                 << "\n    '" << name << "'.";
    return;
  }
  char* copy = cct_CopyText(name);
  cct_FreeText(ownName());
  value_.p = copy;
  flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
}

void cct_Instance::ScopeEntry(cct_Scope::Entry* entry) {
  if (!entry) {
    // The entry keeps its name; the instance is simply no longer bound to it.
    value_.p = nullptr;
    flags_ &= static_cast<uint16_t>(~(cct_FLAG_VIA_ENTRY | cct_FLAG_UNSET));
    return;
  }
  if (IsRegistered()) {
    ProgramBug() << "cct_Instance::ScopeEntry(cct_Scope::Entry)"
                 << "\n--- The Instance '" << OrEmpty(InstanceName()) << "' has"
                 << "\n    already been registered.";
    return;
  }
  cct_FreeText(ownName());
  value_.p = entry;
  flags_ |= cct_FLAG_VIA_ENTRY;
  flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
}

cct_Scope* cct_Instance::GetScope() const {
  if (IsRegistered()) return entry() ? entry()->scope : nullptr;
  if (flags_ & cct_FLAG_NAMED_REFERENCE) return static_cast<const cct_NamedReference*>(this)->NamedScope();
  return nullptr;
}

cct_NamedReference::cct_NamedReference(cct_Scope* scope, const char* name) : scope_(scope) {
  InstanceName(name);
  SetFlags(cct_FLAG_PLACEHOLDER | cct_FLAG_NAMED_REFERENCE);
}

void cct_Instance::Release() {
  if (refCount_ == 0) return;
  if (--refCount_ != 0) return;
  if (!IsRegistered()) {
    delete this;
    return;
  }
  if (!(flags_ & cct_FLAG_RELEASED) && !IsModified()) flags_ |= cct_FLAG_RELEASED;
}

bool cct_Instance::IsModified() {
  if (flags_ & cct_FLAG_MODIFIED) return true;
  for (long i = 0; i < AttributeCount(); ++i) {
    const cct_Type* value = Attribute(i);
    if (value && value->IsModified()) {
      flags_ |= cct_FLAG_MODIFIED;
      return true;
    }
  }
  return false;
}

long cct_Instance::Kind() const {
  return (flags_ & cct_FLAG_PLACEHOLDER) ? cct_KIND_PLACEHOLDER : cct_KIND_INSTANCE;
}

cct_Type* cct_Instance::Attribute(long) const { return nullptr; }

const char* cct_Instance::AttributeName(long) const { return nullptr; }

bool cct_Instance::HasSupertype(const char* entityName) const {
  const char* const* names = SupertypeNames();
  if (!names || !entityName) return false;
  for (; *names && **names; ++names)
    if (std::strcmp(*names, entityName) == 0) return true;
  return false;
}

bool cct_Instance::HasSupertype(long typeId) const {
  const long* ids = SupertypeIds();
  if (!ids) return false;
  for (; *ids; ++ids)
    if (*ids == typeId) return true;
  return false;
}

int cct_Instance::TestCompatibility(const cct_Type* other) const {
  int n = TestNameCompatibilty(other);
  if (n == -1) return 0;
  int k = 0;
  switch (other->Kind()) {
    case cct_KIND_PLACEHOLDER: k = 2; break;
    case cct_KIND_ENTITY_REFERENCE: {
      // Judge the instance the reference designates; the reference is resolved for that.
      cct_Type* target = other->GetEntity();
      if (!target) return 0;
      int result = TestCompatibility(target);
      static_cast<cct_Instance*>(target)->DropReference();
      return result;
    }
    case cct_KIND_INSTANCE:
      k = static_cast<const cct_Instance*>(other)->HasSupertype(TypeName()) ? 1 : 0;
      break;
    default: k = 0; break;
  }
  return CombineCompatibility(n, k);
}

void cct_Instance::ProcessParameter(const cct_Type*) {
  cct_ReportText(0,
                 "(instance)cct_Instance::ProcessParameter(...) --- this function is not "
                 "implemented\n");
}

void cct_Instance::ProcessAttributeList(const cct_LinkList<cct_ListNode>& list,
                                        const cct_InputFile& file) {
  cct_InputFile::Misfits& misfits = file.RecordMisfits();
  misfits.taken = list.Count();
  long i = 0;
  for (cct_ListNode* node = list.FirstNode(); node; node = node->NextNode(), ++i) {
    const cct_Type* value = static_cast<const cct_Type*>(node->Data());
    if (!value) {
      UnsetMissingLogical(i);
      continue;
    }
    if (value->Flags() & cct_FLAG_NO_VALUE) {
      // "*": the value is derived in this entity. The attribute remembers it, so that a save
      // writes "*" again rather than "$", which would say something else.
      if (cct_Type* attribute = Attribute(i)) attribute->SetFlags(cct_FLAG_NO_VALUE);
      continue;
    }
    cct_Type* attribute = Attribute(i);
    if (!attribute) {
      cct_errlog(cct_Warning(cct_READING_STEP_FILE))
          << file << "Too many parameters for entity " << OrEmpty(TypeName()) << ".";
      misfits.extraFrom = i;
      return;
    }
    if (attribute->TestCompatibility(value)) {
      // A value the attribute takes only in part (a list with an element of the wrong kind, an
      // enumeration value the type lacks) is reported while it is taken; such a report, and not
      // one of a list's count (which keeps what was given), makes the parameter refused.
      const long reports = cct_errlog.Reports();
      const long notices = misfits.notices;
      misfits.taking = this;
      misfits.attribute = i;
      attribute->ProcessParameter(value);
      misfits.taking = nullptr;
      if (cct_errlog.Reports() - reports > misfits.notices - notices) misfits.refused.push_back(i);
    } else {
      cct_errlog(cct_Error(cct_TEST_COMPATIBILITY_FAILED))
          << file << "for entity " << OrEmpty(TypeName()) << "::" << OrEmpty(AttributeName(i))
          << " := " << OrEmpty(value->TypeName()) << ".";
      misfits.refused.push_back(i);
    }
  }
  if (Attribute(i)) misfits.given = i;
  CheckAttributesAfter(i, file);
}

void cct_Instance::ProcessMissingAttributes(long count, const cct_InputFile& file) {
  // The reader has already unset the LOGICALs among them that were "$".
  const long end = count;
  file.RecordMisfits().taken = count;
  if (Attribute(end)) file.RecordMisfits().given = end;
  CheckAttributesAfter(end, file);
}

cct_AsWritten* cct_Instance::AsWrittenRecord(bool make) {
  cct_Scope* scope = Kind() == cct_KIND_INSTANCE ? GetScope() : nullptr;
  if (!scope) return nullptr;
  if (flags_ & cct_FLAG_AS_WRITTEN) return scope->AsWritten(this);
  if (!make) return nullptr;
  flags_ |= cct_FLAG_AS_WRITTEN;
  return &scope->ProvideAsWritten(this, true);
}

const cct_AsWritten* cct_Instance::AsWritten() const {
  return const_cast<cct_Instance*>(this)->AsWrittenRecord(false);
}

const std::string* cct_Instance::AsWrittenText(long i) const {
  const cct_Type* value = Attribute(i);
  if (!value || !(value->Flags() & cct_FLAG_AS_WRITTEN)) return nullptr;
  const cct_AsWritten* kept = AsWritten();
  return kept ? kept->Text(i) : nullptr;
}

bool cct_Instance::KeepAsWritten(long i, std::string text) {
  cct_Type* value = Attribute(i);
  cct_AsWritten* kept = value ? AsWrittenRecord(true) : nullptr;
  if (!kept) return false;
  // What the binding made of the parameter in part (a list's other elements, an old value) is
  // no value of the file's: the attribute is unset and the text stands in its place.
  if (value->IsSet()) value->Unset();
  value->SetFlags(cct_FLAG_AS_WRITTEN);
  kept->Keep(i, std::move(text));
  return true;
}

void cct_Instance::DropAsWritten(long i) {
  cct_Type* value = Attribute(i);
  if (!value || !(value->Flags() & cct_FLAG_AS_WRITTEN)) return;
  value->ClearFlags(cct_FLAG_AS_WRITTEN);
  if (cct_AsWritten* kept = AsWrittenRecord(false)) kept->Drop(i);
}

void cct_Instance::UnsetMissingLogical(long i) {
  // A new LOGICAL is unknown, which a save writes as ".U."; "$" in the file says unset.
  cct_Type* attribute = Attribute(i);
  if (attribute && attribute->Kind() == cct_KIND_LOGICAL) attribute->Unset();
}

void cct_Instance::CheckAttributesAfter(long i, const cct_InputFile& file) const {
  const cct_Type* next = Attribute(i);
  if (next && !next->IsOptional()) {
    cct_errlog(cct_Warning(cct_READING_STEP_FILE))
        << file << "Not enough attributes for entity " << OrEmpty(TypeName()) << ".";
  }
}

long cct_Instance::TestAllSet() {
  long count = 0;
  const char* name = InstanceName();
  for (long i = 0;; ++i) {
    const cct_Type* value = Attribute(i);
    if (!value) break;
    // A parameter kept as written is no missing value: its type report said what is wrong.
    if (value->IsSet() || value->IsOptional() || (value->Flags() & cct_FLAG_AS_WRITTEN)) continue;
    ++count;
    std::ostream& os = cct_errlog(cct_Warning(cct_UNSET_MANDATORY))
                       << (name ? " (" : "( ") << OrEmpty(value->TypeName()) << ")\n"
                       << OrEmpty(TypeName()) << "::" << OrEmpty(AttributeName(i))
                       << " in instance";
    if (name)
      os << " " << name;
    else
      os << ".";
  }
  return count;
}

namespace {

// ", defined in file F in line L" when the instance is registered in a scope that reads a file.
bool WriteDefinitionPlace(std::ostream& os, const cct_Instance& instance) {
  cct_Scope::Entry* entry = instance.GetEntry();
  cct_Scope* scope = instance.GetScope();
  if (!entry || !scope || !scope->InputFile()) return false;
  os << ", defined in file " << OrEmpty(scope->InputFile()->Name()) << " in line " << entry->line;
  return true;
}

}  // namespace

namespace {

// The correctness test follows references depth first. Beyond this depth an instance is put
// aside and checked once the outermost call has finished, so that a long chain of references
// cannot exhaust the stack.
constexpr int kMaxCorrectnessDepth = 2000;
// Per thread: each thread checks its own file's instances.
thread_local int correctnessDepth = 0;
thread_local std::vector<std::pair<cct_Instance*, int>> deferredChecks;

}  // namespace

int cct_Instance::TestCorrectness(int mode) {
  if (correctnessDepth >= kMaxCorrectnessDepth) {
    deferredChecks.emplace_back(this, mode);
    return 1;
  }
  struct Level {
    Level() { ++correctnessDepth; }
    ~Level() { --correctnessDepth; }
  };
  int result;
  {
    Level level;
    result = CheckAttributes(mode);
  }
  if (correctnessDepth == 0) {
    while (!deferredChecks.empty()) {
      auto [instance, deferredMode] = deferredChecks.back();
      deferredChecks.pop_back();
      Level level;
      instance->CheckAttributes(deferredMode);
    }
  }
  return result;
}

int cct_Instance::CheckAttributes(int mode) {
  if (mode == 0) {
    if (!(flags_ & cct_FLAG_VISITED)) return 1;
    flags_ &= static_cast<uint16_t>(~cct_FLAG_VISITED);
    for (long i = 0;; ++i) {
      cct_Type* value = Attribute(i);
      if (!value) break;
      if ((value->Flags() & cct_FLAG_VISITED) && !(value->Flags() & cct_FLAG_NO_VALUE))
        value->TestCorrectness(0);
    }
    DropReference();
    return 1;
  }
  if (flags_ & cct_FLAG_VISITED) return 1;
  flags_ |= cct_FLAG_VISITED;
  AddReference();
  const char* name = OrEmpty(InstanceName());
  for (long i = 0;; ++i) {
    cct_Type* value = Attribute(i);
    if (!value) break;
    if (value->Flags() & (cct_FLAG_NO_VALUE | cct_FLAG_VISITED)) continue;
    if (value->IsSet()) {
      if (value->TestCorrectness(1) == 0) {
        cct_errlog(cct_CONTINUE) << " In instance " << name;
        std::ostream& os = cct_errlog(cct_CONTINUE) << "";
        if (WriteDefinitionPlace(os, *this)) os << ".";
        cct_errlog(cct_CONTINUE) << " Attribute Name is " << OrEmpty(AttributeName(i)) << ".";
      }
    } else if (!value->IsOptional() && !(value->Flags() & cct_FLAG_AS_WRITTEN)) {
      cct_errlog(cct_Error(cct_CORRECTNESS_FAILED)) << "In instance " << name;
      // The attribute is named even when the instance comes from no file, so that the
      // report always says which value is missing.
      std::ostream& os = cct_errlog(cct_CONTINUE) << "";
      WriteDefinitionPlace(os, *this);
      os << ". The attribute " << OrEmpty(AttributeName(i)) << " is not OPTIONAL and not set.";
    }
  }
  return 1;
}

void cct_Instance::Copy(const cct_Type* otherValue) {
  const cct_Instance* other = dynamic_cast<const cct_Instance*>(otherValue);
  auto incompatible = [] {
    ProgramBug() << "cct_Instance::Copy()."
                 << "--- The instances are not compatible.";
  };
  if (!other) {
    incompatible();
    return;
  }
  long mine = 0;
  long theirs = 0;
  bool matched = false;
  while (cct_Type* target = Attribute(mine)) {
    cct_Type* source = other->Attribute(theirs);
    if (!source) {
      if (!matched) {
        incompatible();
        return;
      }
      matched = false;
      theirs = 0;
      continue;
    }
    const char* a = AttributeName(mine);
    const char* b = other->AttributeName(theirs);
    if (a && b && std::strcmp(a, b) == 0) {
      if (source->IsSet())
        target->Copy(source);
      else
        target->Unset();
      matched = true;
      ++mine;
    }
    ++theirs;
  }
}

void cct_Instance::Kill() {
  cct_Scope* scope = GetScope();
  if (!scope) {
    delete this;
    return;
  }
  if (Kind() != cct_KIND_INSTANCE) return;
  flags_ |= cct_FLAG_KILLED;
  if (cct_InputFile* file = scope->InputFile()) file->Kill(this);
}

const char* cct_Instance::OutputName() const {
  const char* name = InstanceName();
  cct_Scope* scope = GetScope();
  return scope ? scope->TranslateName(name) : name;
}

void cct_Instance::WriteP21(std::ostream& out) const {
  if (!IsRegistered()) {
    ProgramBug() << "cct_Instance::WriteP21()"
                 << "\n   Can't write STEP data for unregistered instance.";
    return;
  }
  out << '#' << OrEmpty(OutputName());
}

bool cct_Instance::WriteP21Instance(std::ostream& os) {
  if (!IsRegistered()) {
    ProgramBug() << "cct_Instance::WriteP21Instance()"
                 << "\n   Can't write STEP data for unregistered instance.";
    return false;
  }
  TestAllSet();
  // "#name=TYPE(" goes out in one piece.
  char head[256];
  size_t n = 0;
  head[n++] = '#';
  const char* parts[2] = {OrEmpty(OutputName()), OrEmpty(TypeName())};
  for (int part = 0; part < 2; ++part) {
    for (const char* c = parts[part]; *c; ++c) {
      if (n >= sizeof head - 2) {
        os.write(head, static_cast<std::streamsize>(n));
        n = 0;
      }
      head[n++] = part ? cct_AsciiUpper(*c) : *c;
    }
    head[n++] = part ? '(' : '=';
  }
  os.write(head, static_cast<std::streamsize>(n));
  const cct_AsWritten* kept = AsWritten();
  const long end = kept ? WrittenAttributes(*kept) : -1;
  for (long i = 0; end < 0 || i < end; ++i) {
    const cct_Type* value = Attribute(i);
    if (!value) break;
    if (i) os.put(',');
    const std::string* text = kept && (value->Flags() & cct_FLAG_AS_WRITTEN) ? kept->Text(i) : nullptr;
    if (text)
      os << *text;
    else if (!value->IsSet() && (value->Flags() & cct_FLAG_NO_VALUE))
      os.put('*');
    else
      value->WriteP21(os);
  }
  if (kept)
    for (size_t k = 0; k < kept->extra.size(); ++k) {
      if (k || AttributeCountWritten(end)) os.put(',');
      os << kept->extra[k];
    }
  os.write(");\n", 3);
  return true;
}

long cct_Instance::WrittenAttributes(const cct_AsWritten& kept) const {
  // A record that ended early is written as long as it was, unless an edit has since given one
  // of the attributes it left out a value.
  if (kept.given < 0) return -1;
  long end = kept.given;
  for (long i = end; const cct_Type* value = Attribute(i); ++i)
    if (value->IsSet() || (value->Flags() & (cct_FLAG_AS_WRITTEN | cct_FLAG_NO_VALUE))) end = i + 1;
  return end;
}

bool cct_Instance::AttributeCountWritten(long end) const {
  return end < 0 ? Attribute(0) != nullptr : end > 0;
}
