#include "parsed_values.h"

#include "cct/aggr.h"
#include "cct/cctype.h"
#include "cct/entitytype.h"
#include "cct/enumtype.h"
#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/scope.h"

namespace cct_parsed {

void ReleaseValue(cct_Type* value) {
  if (value && value->Kind() != cct_KIND_INSTANCE) delete value;
}

void ReleaseList(cct_ParameterList* list) {
  if (!list) return;
  EmptyList(*list);
  delete list;
}

void EmptyList(cct_ParameterList& list) {
  for (cct_ListNode* n = list.FirstNode(); n; n = n->NextNode())
    ReleaseValue(static_cast<cct_Type*>(n->Data()));
  list.DeleteAll();
}

void Append(cct_ParameterList* list, cct_Type* value) { list->Append(new cct_ListNode(value)); }

cct_Type* Star() {
  auto* star = new cct_IntegerType;
  star->SetFlags(cct_FLAG_NO_VALUE);
  return star;
}

cct_Type* Integer(long v) {
  auto* value = new cct_IntegerType;
  value->Set(v);
  return value;
}

cct_Type* Real(double v) {
  auto* value = new cct_RealType;
  value->Set(v);
  return value;
}

cct_Type* Logical(long v) {
  auto* value = new cct_LogicalType;
  value->Set(v);
  return value;
}

cct_Type* Enumeration(const char* text) {
  auto* value = new cct_EnumType;
  value->SetByName(text);
  return value;
}

cct_Type* String(char* text) {
  auto* value = new cct_StringType;
  value->Set(text, cct_AdoptText{});
  return value;
}

cct_Type* Binary(char* text) {
  auto* value = new cct_BinaryType;
  value->Set(text, cct_AdoptText{});
  return value;
}

cct_Type* Reference(cct_Scope& scope, const char* name) {
  // Always a placeholder, also when the instance has been read: every reference is then taken
  // the same way whatever the order of reading, kept as the file gives it, and judged once the
  // whole file is read.
  return new cct_NamedReference(&scope, name);
}

cct_Type* RealList(const double* values, size_t count) {
  static const cct_BaseTypeDescriptor kReals = {cct_KIND_REAL, 0, cct_BaseTypeDescriptor::kUnbounded,
                                                "REAL", 0};
  auto* list = new cct_AggregateType_1d(&kReals);
  if (count == 0) return list;
  list->SetDimensions(count);
  // Fresh REAL elements own nothing: each is stored as SetElement would, without its release.
  for (size_t i = 0; i < count; ++i) list->SetElementBytes(&values[i], static_cast<uint32_t>(i));
  list->SetSet(true);
  if (ChangeTracking) list->SetFlags(cct_FLAG_MODIFIED);
  return list;
}

cct_Type* List(cct_Type* const* entries, size_t count) {
  auto* list = new cct_AggregateType_1d;
  if (count == 0) return list;
  list->SetDimensions(count);
  for (size_t i = 0; i < count; ++i) list->SetType(entries[i], i);
  return list;
}

cct_Type* Typed(const char* keyword, const cct_Type* parameter) {
  cct_Type* typed = CreateTypeByName(keyword);
  if (typed && typed->Kind() == cct_KIND_INSTANCE) {
    // An entity keyword is no type: kept as a named reference like any unknown one.
    delete typed;
    typed = nullptr;
  }
  if (!typed) {
    auto* reference = new cct_EntityType;
    reference->SetDeclaredName(keyword);
    typed = reference;
  }
  try {
    typed->ProcessParameter(parameter);
  } catch (...) {
    delete typed;
    throw;
  }
  return typed;
}

}  // namespace cct_parsed
