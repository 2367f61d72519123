#include "cct/references.h"

#include <string>

#include "cct/aggr.h"
#include "cct/entitytype.h"
#include "cct/instance.h"
#include "cct/rawrecord.h"
#include "cct/selecttype.h"

namespace {

using Visit = std::function<void(const cct_ReferenceSite&)>;

void Site(cct_Instance& from, long attribute, const cct_Type* holder, cct_Scope::Entry* entry,
          const Visit& visit) {
  if (entry) visit(cct_ReferenceSite{&from, attribute, holder, entry, entry->name});
}

// The entry an element object of a list designates: a select held through an entry, or an
// instance or placeholder bound to one.
void Element(cct_Instance& from, long attribute, const cct_AggregateType& list,
             const void* element, const Visit& visit) {
  cct_Type* object = list.MakeElementObject(element, list.ElementDescriptor());
  if (!object) return;
  const long kind = object->Kind();
  if (kind == cct_KIND_SELECT) {
    Site(from, attribute, object, static_cast<cct_SelectType*>(object)->GetEntry(), visit);
  } else if (kind == cct_KIND_INSTANCE || kind == cct_KIND_PLACEHOLDER) {
    Site(from, attribute, &list, static_cast<cct_Instance*>(object)->GetEntry(), visit);
  }
  if (object->IsTemporary()) delete object;
}

void List(cct_Instance& from, long attribute, cct_AggregateType& list, const Visit& visit) {
  const long kind = list.ElementDescriptor()->kind;
  if (kind != cct_KIND_ENTITY_REFERENCE && kind != cct_KIND_SELECT && kind != cct_KIND_NONE)
    return;
  if (list.Dimensions() == 1) {
    auto& one = static_cast<cct_AggregateType_1d&>(list);
    for (uint32_t i = 0; i < one.Count(); ++i) Element(from, attribute, list, one.Element(i), visit);
  } else {
    auto& two = static_cast<cct_AggregateType_2d&>(list);
    for (uint32_t i = 0; i < two.Rows(); ++i)
      for (uint32_t j = 0; j < two.Columns(); ++j)
        Element(from, attribute, list, two.Element(i, j), visit);
  }
}

}  // namespace

void cct_ForEachReference(cct_Instance& instance, const Visit& visit) {
  if (auto* raw = dynamic_cast<cct_RawInstance*>(&instance)) {
    cct_Scope* scope = instance.GetScope();
    raw->ForEachReference([&](std::string_view name) {
      const std::string text(name);
      cct_Scope::Entry* entry = scope ? scope->FindEntry(text.c_str(), 0) : nullptr;
      if (entry)
        Site(instance, -1, nullptr, entry, visit);
      else
        visit(cct_ReferenceSite{&instance, -1, nullptr, nullptr, text.c_str()});
    });
    return;
  }
  for (long i = 0;; ++i) {
    cct_Type* value = instance.Attribute(i);
    if (!value) break;
    if (!value->IsSet()) continue;
    switch (value->Kind()) {
      case cct_KIND_ENTITY_REFERENCE:
        Site(instance, i, value, static_cast<cct_EntityType*>(value)->GetEntry(), visit);
        break;
      case cct_KIND_SELECT:
        Site(instance, i, value, static_cast<cct_SelectType*>(value)->GetEntry(), visit);
        break;
      case cct_KIND_AGGREGATE: List(instance, i, *static_cast<cct_AggregateType*>(value), visit);
        break;
      default: break;
    }
  }
}
