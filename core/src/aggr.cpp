#include "cct/aggr.h"

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "cct/entitytype.h"
#include "cct/enumtype.h"
#include "cct/errlog.h"
#include "cct/exchgfls.h"
#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/scope.h"
#include "cct/selecttype.h"

#include "aggr_support.h"

using namespace cct_aggr;

const cct_BaseTypeDescriptor cct_DefaultDescriptor1d = {0, 0, cct_BaseTypeDescriptor::kUnbounded,
                                                        nullptr, 0};
const cct_BaseTypeDescriptor cct_DefaultDescriptor2d[2] = {
    {11, 0, cct_BaseTypeDescriptor::kUnbounded, nullptr, 0},
    {0, 0, cct_BaseTypeDescriptor::kUnbounded, nullptr, 0}};

uint32_t cct_ElementSize(long kind) {
  switch (kind) {
    case cct_KIND_REAL: return sizeof(double);
    case cct_KIND_LOGICAL:
    case cct_KIND_BOOLEAN: return 1;
    case cct_KIND_NONE:
    case cct_KIND_STRING:
    case cct_KIND_BINARY:
    case cct_KIND_SELECT:
    case cct_KIND_ENTITY_REFERENCE: return sizeof(void*);
    default: return 4;
  }
}

// ---- cct_AggregateType -----------------------------------------------------------------------

const cct_BaseTypeDescriptor* cct_AggregateType::ElementDescriptor() const {
  return Dimensions() == 2 ? Descriptor() + 1 : Descriptor();
}

int cct_AggregateType::TestCompatibility(const cct_Type* p) const {
  if (!p) {
    cct_errlog(cct_Error(cct_NULL_PARAMETER))
        << kModule << "\n   : cct_AggregateType::TestCompatibility(const cct_Type *).";
    return 0;
  }
  if (IsAggregateKind(p->Kind()) && CompatibilityMode == 2) return 1;
  const cct_BaseTypeDescriptor* d = ElementDescriptor();
  const long ek = d->kind;
  const long eid = d->elementTypeId;
  int n = 0;
  int k = 0;
  if (ek == 0) {
    k = 1;
  } else if ((ek >= 5 && ek <= 10) || ek == cct_KIND_BOOLEAN) {
    n = p->TypeID() == eid;
    k = p->Kind() == ek;
    // Writers put integers into lists of reals ("(0,1,-2)"): a whole number is a real too, as
    // for a single REAL attribute.
    if (ek == cct_KIND_REAL && p->Kind() == cct_KIND_INTEGER) k = 1;
  } else if (ek == cct_KIND_SELECT) {
    n = k = 1;
  } else if (ek == cct_KIND_ENTITY_REFERENCE) {
    switch (p->Kind()) {
      case cct_KIND_PLACEHOLDER: k = 1; break;
      case cct_KIND_INSTANCE: n = k = static_cast<const cct_Instance*>(p)->HasSupertype(eid); break;
      case cct_KIND_ENTITY_REFERENCE:
        cct_errlog(cct_Error(cct_MESSAGE)) << "(" << kModule << ") "
                                           << "cct_AggregateType::TestCompatibility() "
                                           << "called whith EntityType.";
        break;
      default: break;
    }
  }
  switch (CompatibilityMode) {
    case 0: return n && k ? 1 : 0;
    case 1: return k ? (n ? 1 : -1) : 0;
    case 2: return k ? 1 : 0;
    default: return 0;
  }
}

int cct_AggregateType::PreProcessEntity(const cct_Type* v, void** out) {
  if (!v) {
    cct_errlog(cct_Error(cct_NULL_PARAMETER))
        << kModule << "\n   : cct_AggregateType::PreProcessEntity().";
    return 0;
  }
  // Being set is not enough to have elements: a list read as "()" is set but holds none, and must
  // still take either form.
  const bool hasElements = IsSet() && referenceFormFixed_;
  const bool viaEntries = flags_ & cct_FLAG_VIA_ENTRY;
  // The first reference stored fixes the form of all of them.
  auto choose = [&](int answer) {
    if (hasElements) {
      if ((answer == 2) != viaEntries) return 0;
    } else if (answer == 2) {
      flags_ |= cct_FLAG_VIA_ENTRY;
    } else {
      flags_ &= static_cast<uint16_t>(~cct_FLAG_VIA_ENTRY);
    }
    return answer;
  };
  switch (v->Kind()) {
    case cct_KIND_INSTANCE: {
      auto* instance = const_cast<cct_Instance*>(static_cast<const cct_Instance*>(v));
      if (instance->IsRegistered()) {
        *out = instance->GetEntry();
        return choose(2);
      }
      *out = instance;
      return choose(1);
    }
    case cct_KIND_ENTITY_REFERENCE: {
      const auto* reference = static_cast<const cct_EntityType*>(v);
      if (!reference->IsSet()) return 0;
      if (cct_Scope::Entry* entry = reference->GetEntry()) {
        *out = entry;
        return choose(2);
      }
      *out = reference->GetDirect(1);
      return choose(1);
    }
    case cct_KIND_PLACEHOLDER: {
      if (choose(2) == 0) return 0;
      const auto* placeholder = static_cast<const cct_Instance*>(v);
      if (placeholder->IsRegistered()) {
        *out = placeholder->GetEntry();
        return *out ? 2 : 0;
      }
      const char* name = placeholder->InstanceName();
      cct_Scope* scope = placeholder->GetScope();
      if (!name || !scope) return 0;
      cct_Scope::Entry* entry = scope->FindEntry(name, 0);
      *out = entry ? entry : scope->ProvideEntry(name);
      return 2;
    }
    default: return 0;
  }
}

cct_Instance* cct_AggregateType::ElementInstance(const void* element) const {
  cct_Instance* instance = nullptr;
  if (flags_ & cct_FLAG_VIA_ENTRY) {
    auto* entry = Read<cct_Scope::Entry*>(element);
    if (!entry) return nullptr;
    if (!entry->instance && entry->scope) entry->scope->FindEntry(entry->name, 1);
    instance = entry->instance;
  } else {
    instance = Read<cct_Instance*>(element);
  }
  if (instance) instance->AddReference();
  return instance;
}

cct_Type* cct_AggregateType::MakeElementObject(const void* element,
                                               const cct_BaseTypeDescriptor* d) const {
  const long kind = d->kind;
  const long id = d->elementTypeId;
  auto make = [&](cct_Type* fallback) -> cct_Type* {
    if (id == 0) return fallback;
    delete fallback;
    return CreateType(id);
  };
  cct_Type* object = nullptr;
  switch (kind) {
    case cct_KIND_NONE:
    case cct_KIND_SELECT: return Read<cct_Type*>(element);
    case cct_KIND_ENTITY_REFERENCE: {
      if (!(flags_ & cct_FLAG_VIA_ENTRY)) return Read<cct_Instance*>(element);
      auto* entry = Read<cct_Scope::Entry*>(element);
      if (!entry) return nullptr;
      if (entry->instance) return entry->instance;
      auto* placeholder = new cct_Instance;
      placeholder->ScopeEntry(entry);
      placeholder->SetFlags(cct_FLAG_PLACEHOLDER | cct_FLAG_TEMPORARY);
      return placeholder;
    }
    case cct_KIND_INTEGER:
      if (auto* v = dynamic_cast<cct_IntegerType*>(object = make(new cct_IntegerType)))
        v->Set(Read<int32_t>(element));
      break;
    case cct_KIND_REAL:
      if (auto* v = dynamic_cast<cct_RealType*>(object = make(new cct_RealType)))
        v->Set(Read<double>(element));
      break;
    case cct_KIND_LOGICAL:
      if (auto* v = dynamic_cast<cct_LogicalType*>(object = make(new cct_LogicalType)))
        v->SetFromLong(Read<int8_t>(element));
      break;
    case cct_KIND_BOOLEAN:
      if (auto* v = dynamic_cast<cct_BooleanType*>(object = make(new cct_BooleanType)))
        v->SetFromLong(Read<int8_t>(element));
      break;
    case cct_KIND_STRING:
    case cct_KIND_BINARY: {
      cct_Type* plain = kind == cct_KIND_STRING ? new cct_StringType : new cct_BinaryType;
      if (auto* v = dynamic_cast<cct_StringType*>(object = make(plain)))
        v->Set(Read<const char*>(element));
      break;
    }
    case cct_KIND_ENUMERATION:
      if (auto* v = dynamic_cast<cct_EnumType*>(object = CreateType(id)))
        v->SetByIndex(Read<int32_t>(element));
      break;
    default: return nullptr;
  }
  if (!object) return nullptr;
  object->SetFlags(cct_FLAG_TEMPORARY);
  return object;
}

void cct_AggregateType::ReleaseElement(void* element, uint32_t size) {
  switch (ElementDescriptor()->kind) {
    case cct_KIND_STRING:
    case cct_KIND_BINARY: cct_FreeText(Read<char*>(element)); break;
    case cct_KIND_SELECT: delete Read<cct_Type*>(element); break;
    case cct_KIND_ENTITY_REFERENCE:
      if (!(flags_ & cct_FLAG_VIA_ENTRY))
        if (auto* instance = Read<cct_Instance*>(element)) instance->Release();
      break;
    default: break;
  }
  std::memset(element, 0, size);
}

void cct_AggregateType::StoreRaw(void* element, const void* bytes, uint32_t size) {
  MarkModified();
  if (bytes)
    std::memcpy(element, bytes, size);
  else
    std::memset(element, 0, size);
  flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
}

void cct_AggregateType::StoreFrom(const cct_Type* v, void* element, const char* function,
                                  const char* where) {
  const uint32_t size = ElementSize();
  if (!v) {
    ReleaseElement(element, size);
    return;
  }
  if (TestCompatibility(v) == 0) {
    ReportIncompatible(v, function);
    ReleaseElement(element, size);
    return;
  }
  // Refused before the element is given back, so that it keeps its value.
  if (ElementDescriptor()->kind == cct_KIND_REAL && !cct_StorableReal(v->GetReal())) return;
  unsigned char bytes[sizeof(double)] = {};
  const bool ok = ElementBytes(v, bytes, where);
  ReleaseElement(element, size);
  if (ok) StoreRaw(element, bytes, size);
}

bool cct_AggregateType::RawStorable(const void* raw) const {
  if (!raw || ElementDescriptor()->kind != cct_KIND_REAL) return true;
  double v;
  std::memcpy(&v, raw, sizeof v);
  return cct_StorableReal(v);
}

void cct_AggregateType::ReportIncompatible(const cct_Type* v, const char* function) const {
  cct_errlog(cct_Error(cct_TEST_COMPATIBILITY_FAILED))
      << "(" << kModule << ") " << function << " Can not insert a " << OrEmpty(v->TypeName())
      << " into an aggregate that expects " << OrEmpty(ElementDescriptor()->elementTypeName)
      << ".";
}

bool cct_AggregateType::EntityBytes(const cct_Type* v, unsigned char* bytes) {
  void* target = nullptr;
  switch (PreProcessEntity(v, &target)) {
    case 1:
      static_cast<cct_Instance*>(target)->AddReference();
      Write(bytes, target);
      referenceFormFixed_ = true;
      return true;
    case 2:
      Write(bytes, target);
      referenceFormFixed_ = true;
      return true;
    default:
      cct_errlog(cct_Error(cct_PROGRAM_BUG))
          << kModule
          << (Dimensions() == 2 ? "   : cct_AggregateType_2d::_SetEntity()."
                                : "   : cct_AggregateType_1d::_SetEntity().");
      return false;
  }
}

bool cct_AggregateType::ElementBytes(const cct_Type* v, unsigned char* bytes, const char* where) {
  const cct_BaseTypeDescriptor* d = ElementDescriptor();
  switch (d->kind) {
    case cct_KIND_NONE: Write(bytes, v); return true;
    case cct_KIND_INTEGER: Write(bytes, static_cast<int32_t>(v->GetInteger())); return true;
    case cct_KIND_BOOLEAN: Write(bytes, static_cast<int8_t>(v->GetInteger() != 0)); return true;
    case cct_KIND_REAL: Write(bytes, v->GetReal()); return true;
    case cct_KIND_LOGICAL: {
      const auto* logical = dynamic_cast<const cct_LogicalType*>(v);
      Write(bytes, static_cast<int8_t>(logical ? logical->Get() : v->GetInteger()));
      return true;
    }
    case cct_KIND_ENUMERATION: {
      const auto* enumeration = dynamic_cast<const cct_EnumType*>(v);
      int32_t index = -1;
      if (enumeration && enumeration->ValueCount() != 0) {
        index = static_cast<int32_t>(enumeration->GetInteger());
      } else {
        // An untyped literal: resolved against the element's enumeration.
        cct_Type* made = CreateType(d->elementTypeId);
        if (auto* typed = dynamic_cast<cct_EnumType*>(made)) {
          typed->SetByName(v->GetString());
          index = static_cast<int32_t>(typed->GetInteger());
        }
        delete made;
      }
      Write(bytes, index);
      return true;
    }
    case cct_KIND_STRING:
    case cct_KIND_BINARY: Write(bytes, cct_CopyText(OrEmpty(v->GetString()))); return true;
    case cct_KIND_SELECT: {
      cct_Type* made = CreateType(d->elementTypeId);
      auto* select = dynamic_cast<cct_SelectType*>(made);
      if (!select) {
        delete made;
        select = new cct_SelectType;
      }
      select->Set(v);
      Write(bytes, static_cast<cct_Type*>(select));
      return true;
    }
    case cct_KIND_ENTITY_REFERENCE: return EntityBytes(v, bytes);
    default:
      cct_errlog(cct_Error(cct_PROGRAM_BUG)) << kModule << where;
      return false;
  }
}

void cct_AggregateType::ReleaseElements(unsigned char* storage, size_t count, uint32_t size) {
  if (!storage || size == 0) return;
  const long kind = ElementDescriptor()->kind;
  if (kind == cct_KIND_INTEGER || kind == cct_KIND_REAL || kind == cct_KIND_LOGICAL ||
      kind == cct_KIND_BOOLEAN || kind == cct_KIND_ENUMERATION) {
    // Plain values own nothing: giving them back is zeroing them.
    std::memset(storage, 0, count * size);
    return;
  }
  for (size_t k = 0; k < count; ++k) {
    unsigned char* element = storage + k * size;
    if (kind == cct_KIND_NONE) {
      // The parser's lists own the parameter objects they were given; instances are the
      // scope's.
      auto* object = Read<cct_Type*>(element);
      if (object && object->Kind() != cct_KIND_INSTANCE) delete object;
      std::memset(element, 0, size);
    } else {
      ReleaseElement(element, size);
    }
  }
}

int cct_AggregateType::TestElements(int check, unsigned char* storage, uint32_t rows,
                                    uint32_t columns, uint32_t size,
                                    const uint32_t* rowLengths) {
  const cct_BaseTypeDescriptor* d = ElementDescriptor();
  if (check == 0)
    flags_ &= static_cast<uint16_t>(~cct_FLAG_VISITED);
  else
    flags_ |= cct_FLAG_VISITED;
  if (d->kind != cct_KIND_ENTITY_REFERENCE || !IsSet() || !storage || size == 0) return 1;
  const bool twoDim = columns != 0;
  const uint32_t perRow = twoDim ? columns : 1;
  int ok = 1;
  for (uint32_t i = 0; i < rows; ++i) {
    // A row read shorter than the others has no elements past its end, so none is missing.
    const uint32_t used =
        rowLengths && i < rowLengths[0] ? std::min(rowLengths[i + 1], perRow) : perRow;
    for (uint32_t j = 0; j < used; ++j) {
      cct_Instance* instance =
          ElementInstance(storage + (static_cast<size_t>(i) * perRow + j) * size);
      if (check == 0) {
        if (instance && (instance->Flags() & cct_FLAG_VISITED)) instance->TestCorrectness(0);
        if (instance) instance->Release();
        continue;
      }
      const char* kindText = twoDim ? "2d-Aggregate " : "1d-Aggregate ";
      if (!instance) {
        std::ostream& os = cct_errlog(cct_Error(cct_CORRECTNESS_FAILED))
                           << "No entry in " << kindText << OrEmpty(TypeName()) << " on index [" << i;
        if (twoDim) os << "] [" << j;
        os << "].";
        ok = 0;
        continue;
      }
      if (!instance->HasSupertype(static_cast<long>(d->elementTypeId))) {
        std::ostream& os = cct_errlog(cct_Error(cct_CORRECTNESS_FAILED))
                           << "Wrong entry in " << kindText << OrEmpty(TypeName()) << " on index [";
        if (twoDim)
          os << i << "][ " << j;
        else
          os << " " << i;
        os << "].";
        ok = 0;
      }
      if (!(instance->Flags() & cct_FLAG_VISITED)) instance->TestCorrectness(1);
      instance->Release();
    }
  }
  return check == 0 ? 1 : ok;
}

// ---- cct_AggregateType_1d --------------------------------------------------------------------

cct_AggregateType_1d::cct_AggregateType_1d(const cct_BaseTypeDescriptor* d) {
  SetDescriptor(&cct_DefaultDescriptor1d);
  BaseType(d ? d : &cct_DefaultDescriptor1d);
}

cct_AggregateType_1d::~cct_AggregateType_1d() { ReleaseAll(); }

void cct_AggregateType_1d::ReleaseAll() { ReleaseElements(Storage(), Count(), SizeOfElement()); }

void cct_AggregateType_1d::BaseType(const cct_BaseTypeDescriptor* d) {
  if (!d) {
    cct_errlog(cct_Error(cct_NULL_PARAMETER)) << kModule << " : cct_AggregateType_1d::BaseType().";
    return;
  }
  SetDescriptor(d);
  SetDimensions(d->IsBounded() && d->lowerBound > 0 ? static_cast<unsigned long>(d->lowerBound)
                                                     : 0UL);
}

int cct_AggregateType_1d::SetDimensions(unsigned long n) {
  const uint32_t size = SizeOfElement() ? SizeOfElement() : cct_ElementSize(Descriptor()->kind);
  // A zero count keeps the array as it is, as the native array does; only Unset empties it.
  if (n == Count() || n == 0) return 1;
  if (static_cast<long long>(n) > static_cast<long long>(Descriptor()->upperBound) + 1) {
    cct_errlog(cct_Error(cct_BOUNDS_VIOLATED))
        << kModule << "\n--- : cct_AggregateType_1d::SetDimensions().";
    return 0;
  }
  // Elements that fall off the end give back what they own first.
  for (unsigned long i = n; SizeOfElement() && i < Count(); ++i)
    ReleaseElement(Element(static_cast<uint32_t>(i)), SizeOfElement());
  cct_NativeAggregate_1d::SetDimensions(size, static_cast<uint32_t>(n));
  return 1;
}

void cct_AggregateType_1d::SetElement(const void* raw, unsigned long i) {
  if (!RawStorable(raw)) return;
  void* element = Element(static_cast<uint32_t>(i));
  ReleaseElement(element, SizeOfElement());
  StoreRaw(element, raw, SizeOfElement());
}

void cct_AggregateType_1d::SetType(const cct_Type* v, unsigned long i) {
  StoreFrom(v, Element(static_cast<uint32_t>(i)), "cct_AggregateType_1d::SetType() ---",
            "\n   : cct_AggregateType_1d::SetType().");
}

void cct_AggregateType_1d::SetEnumElement(const cct_Type* v, unsigned long i) { SetType(v, i); }
void cct_AggregateType_1d::SetSelectElement(const cct_Type* v, unsigned long i) { SetType(v, i); }
// References skip the element test of SetType: an entity reference value is a legal source here
// (it hands over its entry or instance), and PreProcessEntity does all the judging.
void cct_AggregateType_1d::_SetEntity(const cct_Type* v, unsigned long i) {
  void* element = Element(static_cast<uint32_t>(i));
  unsigned char bytes[sizeof(double)] = {};
  const bool ok = EntityBytes(v, bytes);
  ReleaseElement(element, SizeOfElement());
  if (ok) StoreRaw(element, bytes, SizeOfElement());
}

void cct_AggregateType_1d::SetTextElement(char* heapText, unsigned long i) {
  SetElement(&heapText, i);
}

cct_Type* cct_AggregateType_1d::ElementObject(unsigned long i) const {
  return MakeElementObject(Element(static_cast<uint32_t>(i)), ElementDescriptor());
}

void cct_AggregateType_1d::Unset() {
  ReleaseAll();
  Clear();
  referenceFormFixed_ = false;
  flags_ |= cct_FLAG_UNSET;
}

void cct_AggregateType_1d::ResizeForReading(uint32_t n) {
  if (IsSet()) {
    ReleaseAll();
    referenceFormFixed_ = false;
  }
  if (n == Count() && (n == 0 || Storage())) return;
  const uint32_t size = SizeOfElement() ? SizeOfElement() : cct_ElementSize(Descriptor()->kind);
  // Nothing held is kept, and shrinking the native array would report the clipping.
  if (n < Count()) Clear();
  if (n) cct_NativeAggregate_1d::SetDimensions(size, n);
}

void cct_AggregateType_1d::ProcessParameter(const cct_Type* p) {
  const cct_AggregateType_1d* list = ListParameter(p, "cct_AggregateType_1d::ProcessParameter()");
  if (!list || list == this) return;
  // Exactly the given elements, neither padded to the lower bound nor refused past the upper
  // one: a file must be written back as it was read, even where it breaks its schema.
  ReportCount(list->Count(), *ElementDescriptor(), "element", 0);
  ResizeForReading(list->Count());
  if (list->ElementDescriptor()->kind == cct_KIND_REAL && ElementDescriptor()->kind == cct_KIND_REAL &&
      list->SizeOfElement() == sizeof(double) && SizeOfElement() == sizeof(double) &&
      CompatibilityMode == 2) {
    // Raw reals into REAL elements (a point's coordinates): exactly what SetType does with each
    // element's REAL object, without making the objects.
    for (uint32_t i = 0; i < list->Count(); ++i) StoreRaw(Element(i), list->Element(i), sizeof(double));
  } else {
    for (uint32_t i = 0; i < list->Count(); ++i) {
      cct_Type* e = list->ElementObject(i);
      if (!e) continue;
      SetType(e, i);
      DisposeElementObject(e);
    }
  }
  // A list read as "()" is a value too: the attribute is set, not missing.
  flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
}

bool cct_AggregateType_1d::TakeReals(const double* values, uint32_t count) {
  if (count == 0 || CompatibilityMode != 2 || ElementDescriptor()->kind != cct_KIND_REAL) return false;
  // Eight-byte elements, or none yet (then the count is set here with eight-byte elements).
  const bool sized = SizeOfElement() == sizeof(double) ||
                     (SizeOfElement() == 0 && Count() == 0 && cct_ElementSize(cct_KIND_REAL) == sizeof(double));
  // A count outside the bounds is reported by ProcessParameter, in the order of the record.
  if (!sized || !CountWithinBounds(count, *ElementDescriptor())) return false;
  ResizeForReading(count);
  for (uint32_t i = 0; i < count; ++i) StoreRaw(Element(i), &values[i], sizeof(double));
  flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
  return true;
}

bool cct_AggregateType_1d::TakeEntries(cct_Scope::Entry* const* entries, uint32_t count) {
  if (count == 0 || CompatibilityMode != 2 || IsSet() ||
      ElementDescriptor()->kind != cct_KIND_ENTITY_REFERENCE || (SizeOfElement() == 0 && Count() != 0))
    return false;
  if (!CountWithinBounds(count, *ElementDescriptor())) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const cct_Instance* instance = entries[i]->instance;
    if (instance && (instance->Kind() != cct_KIND_INSTANCE || !instance->IsRegistered() ||
                     TestCompatibility(instance) == 0))
      return false;
  }
  // What ProcessParameter then does, element by element through SetType: each reference is
  // stored as the scope entry of its instance (a placeholder's is the entry of its name), which
  // fixes the form of all of them.
  ResizeForReading(count);
  flags_ |= cct_FLAG_VIA_ENTRY;
  for (uint32_t i = 0; i < count; ++i) {
    const cct_Instance* instance = entries[i]->instance;
    cct_Scope::Entry* entry = instance ? instance->GetEntry() : entries[i];
    void* element = Element(i);
    std::memset(element, 0, SizeOfElement());
    StoreRaw(element, &entry, SizeOfElement());
  }
  referenceFormFixed_ = true;
  flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
  return true;
}

int cct_AggregateType_1d::TestCorrectness(int check) {
  return TestElements(check, Storage(), Count(), 0, SizeOfElement());
}

namespace {
// Whether the elements of a REAL aggregate are written by the plain REAL rule: true when the
// element type's objects are REAL values (no value class writes a REAL differently). Answered
// once per element type, since finding out makes an object.
bool WritesAsPlainReal(long id) {
  if (id == 0) return true;
  thread_local std::vector<signed char> known;  // per thread: files are saved on several
  if (id < 0 || id > 100000) return false;
  if (known.size() <= static_cast<size_t>(id)) known.resize(static_cast<size_t>(id) + 1, -1);
  signed char& answer = known[static_cast<size_t>(id)];
  if (answer < 0) {
    cct_Type* probe = CreateType(id);
    answer = dynamic_cast<cct_RealType*>(probe) != nullptr;
    delete probe;
  }
  return answer == 1;
}
}  // namespace

void cct_AggregateType_1d::WriteP21(std::ostream& out) const {
  // An unset aggregate is written as missing, like every unset value: written as "()" it would
  // turn an omitted OPTIONAL list into an empty one, which its lower bound may not even allow.
  if (!IsSet()) {
    out << '$';
    return;
  }
  const cct_BaseTypeDescriptor* d = ElementDescriptor();
  if (d->kind == cct_KIND_REAL && SizeOfElement() == sizeof(double) &&
      WritesAsPlainReal(d->elementTypeId)) {
    // Points and directions: the whole list goes out in one piece, with no element objects.
    char text[2048];
    size_t n = 0;
    text[n++] = '(';
    for (uint32_t i = 0; i < Count(); ++i) {
      if (n > sizeof text - 402) {
        out.write(text, static_cast<std::streamsize>(n));
        n = 0;
      }
      if (i) text[n++] = ',';
      double v;
      std::memcpy(&v, Element(i), sizeof v);
      n += cct_FormatReal(text + n, v);
    }
    text[n++] = ')';
    out.write(text, static_cast<std::streamsize>(n));
    return;
  }
  out << '(';
  for (uint32_t i = 0; i < Count(); ++i) {
    if (i) out << ',';
    cct_Type* e = ElementObject(i);
    if (e)
      e->WriteP21(out);
    else
      out << '$';
    DisposeElementObject(e);
  }
  out << ')';
}
