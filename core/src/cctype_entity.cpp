#include <cstring>
#include <ostream>

#include "cct/entitytype.h"
#include "cct/errlog.h"
#include "cct/exchgfls.h"
#include "cct/instance.h"

namespace {

constexpr const char* kModule = "cctype";

const char* OrEmpty(const char* text) { return text ? text : ""; }

}  // namespace

cct_EntityType::cct_EntityType(const char* declaredName) : declaredName_(declaredName) {}

cct_EntityType::~cct_EntityType() {
  if (flags_ & cct_FLAG_OWNS_TEXT) cct_FreeText(const_cast<char*>(declaredName_));
  if (HeldDirectly()) Held()->Release();
}

void cct_EntityType::Drop() {
  if (HeldDirectly()) Held()->Release();
  value_.p = nullptr;
  flags_ |= cct_FLAG_UNSET;
  flags_ &= static_cast<uint16_t>(~cct_FLAG_VIA_ENTRY);
}

void cct_EntityType::HoldEntry(cct_Scope::Entry* entry) {
  value_.p = entry;
  flags_ |= cct_FLAG_VIA_ENTRY;
  flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
}

void cct_EntityType::SetDeclaredName(const char* text) {
  if (flags_ & cct_FLAG_OWNS_TEXT) cct_FreeText(const_cast<char*>(declaredName_));
  declaredName_ = cct_CopyText(text);
  if (text)
    flags_ |= cct_FLAG_OWNS_TEXT;
  else
    flags_ &= static_cast<uint16_t>(~cct_FLAG_OWNS_TEXT);
}

void cct_EntityType::Set(const cct_Type* v) {
  MarkModified();
  if (!v) {
    Drop();
    SetDeclaredName(nullptr);
    return;
  }
  switch (v->Kind()) {
    case cct_KIND_PLACEHOLDER: {
      const auto* placeholder = static_cast<const cct_Instance*>(v);
      RegisterForwardref(placeholder->InstanceName(), placeholder->GetScope());
      return;
    }
    case cct_KIND_ENTITY_REFERENCE: Copy(v); return;
    case cct_KIND_INSTANCE: {
      auto* instance = const_cast<cct_Instance*>(static_cast<const cct_Instance*>(v));
      if (instance == value_.p && HeldDirectly()) return;  // already held, keep its count
      Drop();
      if (instance->IsRegistered()) {
        HoldEntry(instance->GetEntry());
      } else {
        value_.p = instance;
        flags_ &= static_cast<uint16_t>(~(cct_FLAG_VIA_ENTRY | cct_FLAG_UNSET));
        instance->AddReference();
      }
      return;
    }
    default: Drop(); return;
  }
}

void cct_EntityType::RegisterForwardref(const char* name, cct_Scope* scope) {
  // Only the held value goes: the declared name of a typed parameter stays with it.
  Drop();
  if (!name || !scope) {
    cct_errlog(cct_Error(cct_NULL_PARAMETER)) << kModule << " : cct_EntityType::RegisterForwardref().";
    return;
  }
  cct_Scope::Entry* entry = scope->FindEntry(name, 0);
  if (!entry) entry = scope->ProvideEntry(name);
  HoldEntry(entry);
}

void cct_EntityType::ProcessParameter(const cct_Type* p) {
  if (!p) {
    cct_errlog(cct_Error(cct_NULL_PARAMETER))
        << "(" << kModule << ") cct_EntityType::ProcessParameter (const cct_Type *)";
    return;
  }
  Set(p);
}

void cct_EntityType::Copy(const cct_Type* p) {
  if (!p || p->Kind() != cct_KIND_ENTITY_REFERENCE) {
    Set(p);
    return;
  }
  const auto* other = static_cast<const cct_EntityType*>(p);
  if (other == this) return;
  MarkModified();
  if (cct_Scope::Entry* entry = other->GetEntry()) {
    Drop();
    HoldEntry(entry);
  } else {
    Set(other->GetDirect(1));
  }
}

cct_Instance* cct_EntityType::Get(int addReference) const {
  if (!IsSet()) return nullptr;
  if (!(flags_ & cct_FLAG_VIA_ENTRY)) {
    cct_Instance* held = Held();
    if (held && addReference) held->AddReference();
    return held;
  }
  cct_Scope::Entry* entry = HeldEntry();
  if (!entry) return nullptr;
  if (!entry->instance && entry->scope) entry->scope->FindEntry(entry->name, 1);
  if (entry->instance && addReference) entry->instance->AddReference();
  return entry->instance;
}

cct_Type* cct_EntityType::GetEntity() const { return Get(1); }

cct_Instance* cct_EntityType::GetDirect(int noReference) const {
  if (!HeldDirectly()) return nullptr;
  if (!noReference) Held()->AddReference();
  return Held();
}

cct_Scope::Entry* cct_EntityType::GetEntry() const {
  return IsSet() && (flags_ & cct_FLAG_VIA_ENTRY) ? HeldEntry() : nullptr;
}

const char* cct_EntityType::Name() const {
  if (!IsSet() || !value_.p) return nullptr;
  if (flags_ & cct_FLAG_VIA_ENTRY) return HeldEntry()->name;
  return Held()->InstanceName();
}

cct_Scope* cct_EntityType::Scope() const {
  if (!IsSet() || !value_.p) return nullptr;
  if (flags_ & cct_FLAG_VIA_ENTRY) return HeldEntry()->scope;
  return Held()->GetScope();
}

cct_Instance* cct_EntityType::operator->() const {
  cct_Instance* target = Get(0);
  if (!target) {
    cct_errlog(cct_Error(cct_PROGRAM_BUG)) << "(ccType)cct_EntityType::operator ->"
                                           << "\n--- cct_EntityType is unset";
    throw cct_NullPointerDereferenceException();
  }
  return target;
}

void cct_EntityType::Unset() { Drop(); }

int cct_EntityType::TestCompatibility(const cct_Type* p) const {
  int n = TestNameCompatibilty(p);
  if (n == -1) return 0;
  int k = 0;
  switch (p->Kind()) {
    case cct_KIND_PLACEHOLDER: k = 2; break;
    case cct_KIND_INSTANCE:
      k = static_cast<const cct_Instance*>(p)->HasSupertype(TypeName()) ? 1 : 0;
      break;
    case cct_KIND_ENTITY_REFERENCE: {
      const auto* other = static_cast<const cct_EntityType*>(p);
      const char* name = other->Name();
      if (!name) {
        k = 2;
      } else if (std::strcmp(OrEmpty(TypeName()), OrEmpty(other->TypeName())) == 0 ||
                 TypeID() == other->TypeID()) {
        k = 1;
      } else if (cct_Scope* scope = other->Scope(); scope && scope->Exists(name)) {
        // Judge the instance itself; looked up without taking a reference count.
        return TestCompatibility(scope->FindEntry(name, 0)->instance);
      } else {
        k = 2;
      }
      break;
    }
    default: k = 0; break;
  }
  return CombineCompatibility(n, k);
}

int cct_EntityType::TestCorrectness(int check) {
  if (check == 0) {
    flags_ &= static_cast<uint16_t>(~cct_FLAG_VISITED);
    if (cct_Instance* target = IsSet() ? Get(0) : nullptr) target->TestCorrectness(0);
    return 1;
  }
  flags_ |= cct_FLAG_VISITED;
  if (!IsSet()) return 1;
  cct_Instance* target = Get(0);
  if (!target) {
    cct_errlog(cct_Error(cct_CORRECTNESS_FAILED))
        << "for cct_EntityType " << OrEmpty(TypeName()) << ". Could not find instance"
        << OrEmpty(Name()) << ".";
    cct_Scope* scope = Scope();
    if (scope && scope->InputFile())
      cct_errlog(cct_CONTINUE) << " The instance was searched for in file "
                               << OrEmpty(scope->InputFile()->Name()) << ".";
    return 0;
  }
  if (!target->HasSupertype(TypeID())) {
    cct_errlog(cct_Error(cct_CORRECTNESS_FAILED))
        << "for cct_EntityType " << OrEmpty(TypeName()) << ". Incompatible entry "
        << OrEmpty(Name()) << " of type " << OrEmpty(target->TypeName()) << ".";
    return 0;
  }
  if (target->Flags() & cct_FLAG_VISITED) return 1;
  if (!target->TestCorrectness(1)) {
    cct_errlog(cct_CONTINUE) << "\nThe instance is referenced by an cct_EntityType ("
                             << OrEmpty(TypeName()) << ").";
    return 0;
  }
  return 1;
}

void cct_EntityType::WriteP21(std::ostream& out) const {
  if (!IsSet()) {
    out << '$';
    return;
  }
  if (cct_Scope::Entry* entry = GetEntry()) {
    out << '#' << OrEmpty(entry->scope ? entry->scope->TranslateName(entry->name) : entry->name);
    return;
  }
  // An instance held directly may have been registered since it was stored (an inserted
  // instance, say); then it has a name and the reference is written instead of being lost.
  if (HeldDirectly() && Held()->IsRegistered()) {
    Held()->WriteP21(out);
    return;
  }
  cct_errlog(cct_Error(cct_PROGRAM_BUG)) << kModule << " : cct_EntityType::WriteP21()."
                                         << "\n   Can't write STEP data for unregistered instance.";
}
