#include <cstring>
#include <ostream>
#include <string>

#include "cct/enumtype.h"
#include "cct/ascii.h"
#include "cct/errlog.h"
#include "cct/exchgfls.h"
#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/selecttype.h"

namespace {

constexpr const char* kModule = "cctype";

const char* OrEmpty(const char* text) { return text ? text : ""; }

// The answer for a listed type id by CompatibilityMode: the strict modes trust only schema ids.
int ByMode(bool schemaId) {
  switch (CompatibilityMode) {
    case 0: return schemaId ? 1 : 0;
    case 1: return schemaId ? 1 : -1;
    case 2: return 1;
    default: return 0;
  }
}

}  // namespace

void cct_DisposeGot(cct_Type* value) {
  if (!value) return;
  if (value->IsTemporary())
    delete value;
  else if (value->Kind() == cct_KIND_INSTANCE)
    value->Release();
}

cct_SelectType::~cct_SelectType() { ReleaseHeld(); }

bool cct_SelectType::HoldsText() const {
  // Unresolved enumeration literals keep their text as well as strings do.
  return heldKind_ == cct_KIND_STRING || heldKind_ == cct_KIND_BINARY ||
         (heldKind_ == cct_KIND_ENUMERATION && heldTypeId_ == 8);
}

void cct_SelectType::ReleaseHeld() {
  if (IsSet()) {
    if (heldKind_ == cct_KIND_INSTANCE && !(flags_ & cct_FLAG_VIA_ENTRY) && value_.p)
      HeldInstance()->Release();
    else if (HoldsText())
      cct_FreeText(value_.s);
  }
  value_.p = nullptr;
  heldKind_ = 0;
  heldTypeId_ = 0;
  flags_ &= static_cast<uint16_t>(~cct_FLAG_VIA_ENTRY);
}

void cct_SelectType::Unset() {
  ReleaseHeld();
  flags_ |= cct_FLAG_UNSET;
}

int cct_SelectType::TestCompatibility(const cct_Type* p) const {
  if (!p) return 0;
  const long* allowed = AllowedTypes();
  if (!allowed) return 1;
  const long kind = p->Kind();
  if (kind == cct_KIND_SELECT) return 1;
  if (kind == cct_KIND_PLACEHOLDER) {
    // Checked later, when the reference is resolved.
    switch (CompatibilityMode) {
      case 0: return 0;
      case 1: return -1;
      case 2: return 1;
      default: return 0;
    }
  }
  const long id = p->TypeID();
  for (const long* a = allowed; *a; ++a)
    if (*a == id) return ByMode(id >= 1000);
  if (TakesIntegerAsReal(p)) return ByMode(false);
  return 0;
}

bool cct_SelectType::TakesIntegerAsReal(const cct_Type* p) const {
  // Writers give whole numbers for reals; a select that has a REAL choice and no INTEGER one
  // takes them as that real.
  if (!p || p->Kind() != cct_KIND_INTEGER || p->TypeID() != kIntegerId) return false;
  const long* allowed = AllowedTypes();
  if (!allowed) return false;
  bool real = false;
  for (; *allowed; ++allowed) {
    if (*allowed == kIntegerId) return false;
    real = real || *allowed == kRealId;
  }
  return real;
}

void cct_SelectType::ProcessParameter(const cct_Type* p) {
  if (!p) {
    cct_errlog(cct_Error(cct_NULL_PARAMETER))
        << "(" << kModule << ") cct_SelectType::ProcessParameter (const cct_Type *)";
    return;
  }
  Set(p);
}

cct_Scope::Entry* cct_SelectType::GetEntry() const {
  return IsSet() && heldKind_ == cct_KIND_INSTANCE && (flags_ & cct_FLAG_VIA_ENTRY) ? HeldEntry()
                                                                                  : nullptr;
}

void cct_SelectType::ResolveEnumerationLiteral(const char* text) {
  const char* chosen = nullptr;
  std::string chosenName;
  if (const long* allowed = AllowedTypes()) {
    for (; *allowed; ++allowed) {
      if (*allowed < 1000 || *allowed > 2999) continue;
      cct_Type* probe = CreateType(*allowed);
      auto* enumeration = probe && probe->Kind() == cct_KIND_ENUMERATION
                              ? static_cast<cct_EnumType*>(probe)
                              : nullptr;
      if (enumeration) {
        for (long j = 0; j < enumeration->ValueCount(); ++j) {
          const char* name = enumeration->ValueName(j);
          if (!name || std::strcmp(name, text) != 0) continue;
          if (!chosen) {
            chosenName = OrEmpty(enumeration->TypeName());
            chosen = chosenName.c_str();
            heldTypeId_ = static_cast<int32_t>(*allowed);
            value_.i = static_cast<int32_t>(j);
          } else {
            cct_errlog(cct_Warning(cct_PROGRAM_BUG))
                << " : Ambiguous enumeration entry"
                << " for select type " << OrEmpty(TypeName()) << " '." << text << ".'. Taking "
                << "enumeration type '" << chosen << "' as select entry.";
          }
          break;
        }
      }
      delete probe;
    }
  }
  if (!chosen) value_.s = cct_CopyText(text);  // held type id stays 8: the text is kept
}

void cct_SelectType::Set(const cct_Type* v) {
  MarkModified();
  if (v == this) return;
  if (v && IsSet() && heldKind_ == cct_KIND_INSTANCE && v == value_.p) return;  // already held
  // Refused before the held value is given back, so that it stays.
  if (v && v->Kind() == cct_KIND_REAL && !cct_StorableReal(v->GetReal())) return;
  ReleaseHeld();
  flags_ &= static_cast<uint16_t>(~cct_FLAG_BARE_LITERAL);
  if (!v) {
    flags_ |= cct_FLAG_UNSET;
    return;
  }
  if (TestCompatibility(v) == 0) {
    Set(nullptr);
    cct_errlog(cct_Error(cct_TEST_COMPATIBILITY_FAILED)) << kModule << " : cct_SelectType::Set().";
    return;
  }
  if (TakesIntegerAsReal(v)) {
    heldTypeId_ = kRealId;
    heldKind_ = cct_KIND_REAL;
    flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
    value_.d = static_cast<double>(v->GetInteger());
    return;
  }
  const long kind = v->Kind();
  if (kind == cct_KIND_SELECT) {
    // A nested select is flattened: this one holds the value the inner one holds.
    cct_Type* inner = static_cast<const cct_SelectType*>(v)->Get(0, 1);
    Set(inner);
    cct_DisposeGot(inner);
    return;
  }
  heldTypeId_ = static_cast<int32_t>(v->TypeID());
  heldKind_ = static_cast<int32_t>(kind);
  flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
  switch (kind) {
    case cct_KIND_INTEGER:
    case cct_KIND_BOOLEAN: value_.i = static_cast<int32_t>(v->GetInteger()); break;
    case cct_KIND_REAL: value_.d = v->GetReal(); break;
    case cct_KIND_LOGICAL: {
      const auto* logical = dynamic_cast<const cct_LogicalType*>(v);
      value_.i = static_cast<int32_t>(logical ? logical->Get() : v->GetInteger());
      break;
    }
    case cct_KIND_ENUMERATION: {
      if (heldTypeId_ != 8) {
        value_.i = static_cast<int32_t>(v->GetInteger());
      } else if (const char* text = v->GetString()) {
        ResolveEnumerationLiteral(text);
        flags_ |= cct_FLAG_BARE_LITERAL;
      } else {
        Unset();  // an unset untyped literal has nothing to hold
      }
      break;
    }
    case cct_KIND_STRING:
    case cct_KIND_BINARY: value_.s = cct_CopyText(OrEmpty(v->GetString())); break;
    case cct_KIND_PLACEHOLDER: {
      const auto* placeholder = static_cast<const cct_Instance*>(v);
      const char* name = placeholder->InstanceName();
      cct_Scope* scope = placeholder->GetScope();
      if (!name || !scope) {
        cct_errlog(cct_Error(cct_PROGRAM_BUG)) << kModule << " : cct_SelectType::Set()."
                                               << "\n   Incomplete forwardref.";
        Set(nullptr);
        return;
      }
      cct_Scope::Entry* entry = scope->FindEntry(name, 0);
      if (!entry) entry = scope->ProvideEntry(name);
      value_.p = entry;
      flags_ |= cct_FLAG_VIA_ENTRY;
      heldKind_ = cct_KIND_INSTANCE;
      break;
    }
    case cct_KIND_INSTANCE: {
      auto* instance = const_cast<cct_Instance*>(static_cast<const cct_Instance*>(v));
      if (instance->IsRegistered()) {
        value_.p = instance->GetEntry();
        flags_ |= cct_FLAG_VIA_ENTRY;
      } else {
        value_.p = instance;
        instance->AddReference();
      }
      break;
    }
    default: {
      const long id = heldTypeId_;
      heldKind_ = 0;
      cct_errlog(cct_Error(cct_PROGRAM_BUG)) << kModule << " : cct_SelectType::Set()."
                                             << "\n   Unsupported type. TypeID = " << id;
      Set(nullptr);
      return;
    }
  }
}

namespace {

template <class T>
T* Made(cct_Type* object) {
  T* typed = dynamic_cast<T*>(object);
  if (!typed) delete object;
  return typed;
}

}  // namespace

cct_Type* cct_SelectType::Get(int makePlaceholder, int addReference) const {
  if (!IsSet()) return nullptr;
  if (heldKind_ == cct_KIND_INSTANCE && (flags_ & cct_FLAG_VIA_ENTRY)) {
    cct_Scope::Entry* entry = HeldEntry();
    cct_Instance* instance = entry->instance;
    if (!instance) {
      if (makePlaceholder) {
        instance = new cct_Instance;
        instance->SetFlags(cct_FLAG_PLACEHOLDER | cct_FLAG_TEMPORARY);
        instance->ScopeEntry(entry);
      } else if (entry->scope) {
        entry->scope->FindEntry(entry->name, 1);
        instance = entry->instance;
      }
    }
    if (addReference && instance) instance->AddReference();
    return instance;
  }
  if (heldKind_ == cct_KIND_INSTANCE) {
    if (!value_.p && makePlaceholder) {
      cct_errlog(cct_Warning(cct_PROGRAM_BUG)) << kModule << " : cct_SelectType::Get()"
                                               << "\n   Can not return forwardref.";
      return nullptr;
    }
    if (addReference && value_.p) HeldInstance()->AddReference();
    return HeldInstance();
  }
  cct_Type* made = nullptr;
  switch (heldKind_) {
    case cct_KIND_INTEGER:
      if (auto* v = Made<cct_IntegerType>(CreateType(heldTypeId_))) v->Set(value_.i), made = v;
      break;
    case cct_KIND_REAL:
      if (auto* v = Made<cct_RealType>(CreateType(heldTypeId_))) v->Set(value_.d), made = v;
      break;
    case cct_KIND_LOGICAL:
      if (auto* v = Made<cct_LogicalType>(CreateType(heldTypeId_))) v->SetFromLong(value_.i), made = v;
      break;
    case cct_KIND_BOOLEAN:
      if (auto* v = Made<cct_BooleanType>(CreateType(heldTypeId_))) v->SetFromLong(value_.i), made = v;
      break;
    case cct_KIND_STRING:
    case cct_KIND_BINARY:
      if (auto* v = Made<cct_StringType>(CreateType(heldTypeId_))) v->Set(value_.s), made = v;
      break;
    case cct_KIND_ENUMERATION:
      if (auto* v = Made<cct_EnumType>(CreateType(heldTypeId_))) {
        if (heldTypeId_ == 8)
          v->SetByName(value_.s);
        else
          v->SetByIndex(value_.i);
        made = v;
      }
      break;
    case cct_KIND_SELECT:
      cct_errlog(cct_Error(cct_PROGRAM_BUG)) << kModule << " : cct_SelectType::Set()"
                                             << "\n   Nested selects.";
      return nullptr;
    default:
      cct_errlog(cct_Error(cct_PROGRAM_BUG)) << kModule << " : cct_SelectType::Set()."
                                             << "\n   Unsupported type. TypeID = " << heldTypeId_;
      return nullptr;
  }
  if (made) made->SetFlags(cct_FLAG_TEMPORARY);
  return made;
}

void cct_SelectType::WriteP21(std::ostream& out) const {
  if (!IsSet()) {
    out << '$';
    return;
  }
  cct_Type* value = Get(0, 1);
  if (value) {
    // A value of a defined type of the schema is written with its type ("PARAMETER_VALUE(1.)",
    // "SPEED_NAME(.RAPID.)"), as an exchange file gives a select's simple value: bare, a
    // number would be read back as a plain number, which says less and which not every select
    // takes. Only an enumeration literal the file itself gave bare stays bare, as written.
    const bool typed = heldTypeId_ >= cct_TYPE_ID_BASE && heldTypeId_ < cct_ENTITY_ID_BASE &&
                       heldKind_ != cct_KIND_INSTANCE &&
                       !(heldKind_ == cct_KIND_ENUMERATION && (flags_ & cct_FLAG_BARE_LITERAL));
    if (typed) {
      for (const char* c = OrEmpty(value->TypeName()); *c; ++c) out.put(cct_AsciiUpper(*c));
      out.put('(');
    }
    value->WriteP21(out);
    if (typed) out.put(')');
    cct_DisposeGot(value);
    return;
  }
  // A name that never got an instance is written back as it was read.
  if (cct_Scope::Entry* entry = GetEntry())
    out << '#' << OrEmpty(entry->scope ? entry->scope->TranslateName(entry->name) : entry->name);
}

int cct_SelectType::TestCorrectness(int check) {
  if (check == 0) {
    flags_ &= static_cast<uint16_t>(~cct_FLAG_VISITED);
    if (IsSet() && heldKind_ == cct_KIND_INSTANCE) {
      cct_Instance* instance =
          (flags_ & cct_FLAG_VIA_ENTRY) ? HeldEntry()->instance : HeldInstance();
      if (instance) instance->TestCorrectness(0);
    }
    return 1;
  }
  flags_ |= cct_FLAG_VISITED;
  if (!IsSet() || heldKind_ != cct_KIND_INSTANCE) return 1;
  if (flags_ & cct_FLAG_VIA_ENTRY) {
    cct_Scope::Entry* entry = HeldEntry();
    if (!entry->instance && entry->scope) entry->scope->FindEntry(entry->name, 1);
    cct_Instance* instance = entry->instance;
    if (!instance) {
      cct_errlog(cct_Error(cct_CORRECTNESS_FAILED))
          << "for SelectType " << OrEmpty(TypeName()) << ". Instance " << OrEmpty(entry->name)
          << " not found";
      cct_InputFile* file = entry->scope ? entry->scope->InputFile() : nullptr;
      if (file)
        cct_errlog(cct_CONTINUE) << " in file " << OrEmpty(file->Name()) << ".";
      else
        cct_errlog(cct_CONTINUE) << ".";
      return 0;
    }
    if (!(instance->Flags() & cct_FLAG_VISITED) && !instance->TestCorrectness(1)) {
      cct_errlog(cct_CONTINUE) << "\nThe instance was part of a "
                               << "cct_SelectType " << OrEmpty(TypeName()) << ".";
      return 0;
    }
    return 1;
  }
  cct_Instance* instance = HeldInstance();
  if (instance && !(instance->Flags() & cct_FLAG_VISITED) && !instance->TestCorrectness(1)) {
    cct_errlog(cct_Error(cct_CORRECTNESS_FAILED))
        << "for SelectType " << OrEmpty(TypeName()) << ", unregistered instance failed check.";
    return 0;
  }
  return 1;
}
