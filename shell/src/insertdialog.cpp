#include "varnholt/insertdialog.h"

#include <algorithm>
#include <memory>

#include "cct/cct.h"

namespace varnholt {

InsertDialogData::InsertDialogData(cct_Instance* p, long index) : parent(p), attributeIndex(index) {
  if (!parent) {
    attributeText = "Invalid Attribute";
    return;
  }
  idText = parent->InstanceName() ? parent->InstanceName() : "";
  typeText = parent->TypeName() ? parent->TypeName() : "";
  if (index >= 0 && index < parent->AttributeCount()) {
    const char* name = parent->AttributeName(index);
    attributeText = name ? name : "";
    const cct_Type* value = parent->Attribute(index);
    admissibleId = value ? value->TypeID() : 0;
    // An aggregate answers the plain aggregate identifier; its elements say what fits.
    if (const auto* aggregate = dynamic_cast<const cct_AggregateType*>(value)) {
      const cct_BaseTypeDescriptor* d = aggregate->ElementDescriptor();
      admissibleId = d->kind == cct_KIND_ENTITY_REFERENCE && d->elementTypeId > cct_ENTITY_ID_BASE
                         ? d->elementTypeId
                         : kAnyEntity;
    }
  } else {
    attributeText = "Invalid Attribute";
    admissibleId = 0;
  }
}

void InsertDialogData::FillExisting(cct_Scope& scope) {
  existing.assign(1, std::string());
  std::vector<const char*> names;
  cct_Scope::NameCursor cursor;
  for (const char* name = scope.FirstName(cursor); name; name = scope.NextName(cursor))
    names.push_back(name);
  for (const char* name : names) {
    cct_Instance* instance = scope.FindInstance(name, 1);
    if (!instance) continue;
    if (instance->HasSupertype(admissibleId))
      existing.push_back(std::string("#") + name + " " + instance->TypeName());
    instance->Release();
  }
  existingChoice = existing.front();
}

void InsertDialogData::FillNew() {
  created.clear();
  for (long id = 3002;; ++id) {
    std::unique_ptr<cct_Instance> probe(CreateEntity(id));
    if (!probe) break;
    if (admissibleId == kAnyEntity || probe->HasSupertype(admissibleId))
      created.push_back(probe->TypeName());
  }
  std::sort(created.begin(), created.end());
  newChoice = created.empty() ? std::string() : created.front();
}

std::string InsertDialogData::ChosenName() const {
  if (existingChoice.empty() || existingChoice[0] != '#') return std::string();
  size_t blank = existingChoice.find(' ');
  if (blank == std::string::npos) return std::string();
  return existingChoice.substr(1, blank - 1);
}

}  // namespace varnholt
