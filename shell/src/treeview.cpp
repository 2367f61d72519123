#include "varnholt/treeview.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <sstream>

#include "cct/cct.h"
#include "varnholt/doc.h"
#include "varnholt/insertdialog.h"

namespace varnholt {

namespace {

const char* const kOptionalUnset = "Optional Value not set";
const char* const kMandatoryUnset = "!!Value not set!!";

// atoi and atof as the labels are read, but independent of the process locale: a German desktop
// locale must not turn "2.5" into 2.
long ReadInteger(const char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  if (*text == '+') ++text;
  long v = 0;
  std::from_chars(text, text + std::strlen(text), v);
  return v;
}

double ReadReal(const char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  if (*text == '+') ++text;
  double v = 0;
  std::from_chars(text, text + std::strlen(text), v);
  return v;
}

long NumberOf(const char* name) { return name ? std::atol(name) : 0; }

bool IsSimpleKind(long kind) {
  return kind == cct_KIND_INTEGER || kind == cct_KIND_REAL || kind == cct_KIND_ENUMERATION ||
         kind == cct_KIND_STRING || kind == cct_KIND_BOOLEAN;
}

bool Hidden(const cct_Instance& instance) {
  return instance.HasSupertype(CStpTreeView::kTurningWorkingstepId) ||
         instance.HasSupertype(CStpTreeView::kTurningOperationId);
}

std::string ElementLabel(const char* attribute, long position, const std::string& value) {
  return std::string(attribute ? attribute : "") + " [" + std::to_string(position) + "]: " + value;
}

}  // namespace

std::string CStpTreeView::InstanceLabel(const cct_Instance& instance) {
  const char* name = instance.InstanceName();
  return std::string("#") + (name ? name : "") + "=" + (instance.TypeName() ? instance.TypeName() : "");
}

std::string CStpTreeView::ValueText(const cct_Type& value) {
  switch (value.Kind()) {
    case cct_KIND_STRING:
    case cct_KIND_ENUMERATION: {
      const char* text = value.GetString();
      return text ? text : "";
    }
    case cct_KIND_INTEGER: return std::to_string(value.GetInteger());
    case cct_KIND_REAL: {
      std::ostringstream out;
      out.imbue(std::locale::classic());
      out << std::showpoint;
      out.precision(4);
      out << value.GetReal();
      return out.str();
    }
    case cct_KIND_BOOLEAN: return value.GetInteger() ? "true" : "false";
    default: return std::string("Type: ") + (value.TypeName() ? value.TypeName() : "") + " not known";
  }
}

std::string CStpTreeView::AttributeLabel(const cct_Instance& instance, long i) {
  const cct_Type* value = instance.Attribute(i);
  std::string label = instance.AttributeName(i) ? instance.AttributeName(i) : "";
  if (!value) return label;
  const long kind = value->Kind();
  if (kind == cct_KIND_ENTITY_REFERENCE || kind == cct_KIND_AGGREGATE) return label;
  label += ": ";
  if (IsSimpleKind(kind) && !value->IsSet())
    return label + (value->IsOptional() ? kOptionalUnset : kMandatoryUnset);
  return label + ValueText(*value);
}

cct_Scope* CStpTreeView::Scope() const { return doc_ ? doc_->Scope() : nullptr; }

void CStpTreeView::FillTree() {
  tree_.DeleteAllItems();
  pending_.clear();
  cct_Scope* scope = Scope();
  if (!scope) return;
  cct_Scope::ListCursor cursor;
  for (cct_Scope::Entry* e = scope->ListFirst(cursor); e; e = scope->ListNext(cursor)) {
    if (e->instance && e->instance->Kind() == cct_KIND_INSTANCE &&
        e->instance->TypeID() == kProjectId) {
      InsertInstance(e->instance, nullptr);
      return;
    }
  }
}

TreeItem CStpTreeView::InsertInstance(cct_Instance* instance, TreeItem parent, TreeItem after,
                                      int image, long) {
  path_.clear();
  return Insert(instance, parent, after, image, 0);
}

bool CStpTreeView::OnPath(TreeItem parent, long number, const cct_Instance* instance) const {
  for (const cct_Instance* on : path_)
    if (on == instance) return true;
  // Items built earlier (a deferred expansion) know their ancestors only through the tree.
  if (number == 0) return false;
  for (TreeItem item = parent; item; item = tree_.Parent(item))
    if (tree_.IsBold(item) && tree_.ItemData(item) == number) return true;
  return false;
}

TreeItem CStpTreeView::Insert(cct_Instance* instance, TreeItem parent, TreeItem after, int image,
                              int depth) {
  if (!instance || !Scope() || Hidden(*instance)) return nullptr;
  const long number = NumberOf(instance->InstanceName());
  const bool cycle = OnPath(parent, number, instance);
  TreeItem item = tree_.InsertItem(InstanceLabel(*instance), image, number, parent, after);
  tree_.SetBold(item, true);
  // An instance met again on its own path is shown without children, so a cycle ends here.
  if (cycle || depth >= kMaxDepth) return item;
  if (deferred_) {
    pending_[item] = instance->InstanceName() ? instance->InstanceName() : "";
    return item;
  }
  path_.push_back(instance);
  FillAttributes(instance, item, depth);
  path_.pop_back();
  return item;
}

void CStpTreeView::ExpandItem(TreeItem item) {
  auto it = pending_.find(item);
  if (it == pending_.end()) return;
  std::string name = it->second;
  pending_.erase(it);
  cct_Scope* scope = Scope();
  cct_Scope::Entry* entry = scope ? scope->FindEntry(name.c_str(), 0) : nullptr;
  if (!entry || !entry->instance) return;
  path_.clear();
  FillAttributes(entry->instance, item, 0);
}

void CStpTreeView::FillAttributes(cct_Instance* instance, TreeItem item, int depth) {
  cct_Scope* scope = Scope();
  const long count = instance->AttributeCount();
  for (long i = 0; i < count; ++i) {
    cct_Type* value = instance->Attribute(i);
    if (!value) continue;
    const long kind = value->Kind();
    // Every attribute gets an item, also of a kind the view does not show: an edited label is
    // mapped to its attribute by its position among its siblings.
    TreeItem attribute = tree_.InsertItem(AttributeLabel(*instance, i), 0, 0, item, nullptr);
    if (kind == cct_KIND_ENTITY_REFERENCE) {
      auto* reference = static_cast<cct_EntityType*>(value);
      if (reference->IsSet()) Insert(reference->Get(0), attribute, nullptr, 0, depth + 1);
    } else if (kind == cct_KIND_AGGREGATE) {
      auto* aggregate = dynamic_cast<cct_AggregateType_1d*>(value);
      if (!aggregate) continue;
      const long elementKind = aggregate->ElementDescriptor()->kind;
      const char* name = instance->AttributeName(i);
      for (uint32_t j = 0; j < aggregate->Count(); ++j) {
        cct_Type* element = aggregate->ElementObject(j);
        if (elementKind == cct_KIND_INSTANCE || elementKind == cct_KIND_ENTITY_REFERENCE ||
            elementKind == cct_KIND_SELECT) {
          cct_Type* target = element;
          if (elementKind == cct_KIND_SELECT && element)
            target = static_cast<cct_SelectType*>(element)->HeldKind() == cct_KIND_INSTANCE
                         ? static_cast<cct_SelectType*>(element)->Get(0, 0)
                         : nullptr;
          if (target && target->Kind() == cct_KIND_INSTANCE && scope) {
            auto* found = scope->FindInstance(static_cast<cct_Instance*>(target)->InstanceName(), 1);
            if (found) {
              Insert(found, attribute, nullptr, 0, depth + 1);
              found->Release();
            }
          }
        } else {
          std::string text;
          if (!element)
            text = "Type not known";
          else if (!aggregate->IsSet())
            text = aggregate->IsOptional() ? kOptionalUnset : kMandatoryUnset;
          else if (IsSimpleKind(element->Kind()))
            text = ValueText(*element);
          else
            text = "Type not known";
          tree_.InsertItem(ElementLabel(name, j + 1, text), 0, 0, attribute, nullptr);
        }
        if (element && element->IsTemporary()) delete element;
      }
    }
  }
}

cct_Instance* CStpTreeView::InstanceOf(long number, int load) const {
  cct_Scope* scope = Scope();
  if (!scope || number == 0) return nullptr;
  cct_Instance* instance = scope->FindInstance(number, load);
  if (instance) instance->Release();
  return instance;
}

long CStpTreeView::PositionOf(TreeItem item) const {
  std::vector<TreeItem> siblings = tree_.Children(tree_.Parent(item));
  for (size_t i = 0; i < siblings.size(); ++i)
    if (siblings[i] == item) return static_cast<long>(i);
  return -1;
}

bool CStpTreeView::OnEndLabelEdit(TreeItem item, const char* text) {
  if (!text || !item || !Scope()) return false;
  if (tree_.ItemData(item) != 0 || tree_.IsBold(item)) return false;  // instance items
  TreeItem parent = tree_.Parent(item);
  cct_Instance* instance = InstanceOf(tree_.ItemData(parent), 1);
  const bool attributeItem = instance != nullptr;
  if (!instance) instance = InstanceOf(tree_.ItemData(tree_.Parent(parent)), 1);
  if (!instance) return false;

  const long attributeIndex = attributeItem ? PositionOf(item) : PositionOf(parent);
  if (attributeIndex < 0 || attributeIndex >= instance->AttributeCount()) return false;
  cct_Type* value = instance->Attribute(attributeIndex);
  const char* name = instance->AttributeName(attributeIndex);
  if (!value) return false;

  if (attributeItem) {
    switch (value->Kind()) {
      case cct_KIND_STRING: static_cast<cct_StringType*>(value)->Set(text); break;
      case cct_KIND_INTEGER: static_cast<cct_IntegerType*>(value)->Set(ReadInteger(text)); break;
      case cct_KIND_REAL: static_cast<cct_RealType*>(value)->Set(ReadReal(text)); break;
      case cct_KIND_ENUMERATION: {
        if (value->TypeID() != kHandId) return false;
        auto* hand = static_cast<cct_EnumType*>(value);
        if (std::strpbrk(text, "lL"))
          hand->SetByName("left");
        else if (std::strpbrk(text, "rR"))
          hand->SetByName("right");
        else
          hand->SetByName("neutral");
        break;
      }
      default: return false;
    }
    tree_.SetItemText(item, std::string(name ? name : "") + ": " + text);
    return true;
  }

  auto* aggregate = dynamic_cast<cct_AggregateType_1d*>(value);
  const long position = PositionOf(item);
  if (!aggregate || position < 0 || static_cast<uint32_t>(position) >= aggregate->Count())
    return false;
  switch (aggregate->ElementDescriptor()->kind) {
    case cct_KIND_INTEGER: {
      cct_IntegerType v;
      v.Set(ReadInteger(text));
      aggregate->SetType(&v, static_cast<unsigned long>(position));
      break;
    }
    case cct_KIND_REAL: {
      cct_RealType v;
      v.Set(ReadReal(text));
      aggregate->SetType(&v, static_cast<unsigned long>(position));
      break;
    }
    case cct_KIND_BOOLEAN: {
      cct_BooleanType v;
      v.Set(std::strpbrk(text, "yYwW") ? 1 : 0);
      aggregate->SetType(&v, static_cast<unsigned long>(position));
      break;
    }
    case cct_KIND_STRING: {
      cct_StringType v;
      v.Set(text);
      aggregate->SetType(&v, static_cast<unsigned long>(position));
      break;
    }
    default: return false;
  }
  tree_.SetItemText(item, ElementLabel(name, position + 1, text));
  return true;
}

cct_Instance* CStpTreeView::Choose(InsertDialogData& data, const InsertChooser& chooser) {
  cct_Scope* scope = Scope();
  data.FillExisting(*scope);
  data.FillNew();
  if (!chooser || !chooser(data)) return nullptr;
  std::string chosen = data.ChosenName();
  if (!chosen.empty()) {
    cct_Instance* instance = scope->FindInstance(chosen.c_str(), 1);
    if (instance) instance->Release();
    return instance;
  }
  if (data.newChoice.empty()) return nullptr;
  return CreateEntityByName(data.newChoice.c_str());
}

bool CStpTreeView::OnDoubleClick(TreeItem item, const InsertChooser& chooser) {
  cct_Scope* scope = Scope();
  if (!item || !scope || tree_.ItemData(item) != 0 || tree_.IsBold(item)) return false;
  TreeItem parent = tree_.Parent(item);
  if (!parent || tree_.ItemData(parent) == 0) return false;
  cct_Instance* instance = InstanceOf(tree_.ItemData(parent), 0);
  if (!instance) return false;
  const long index = PositionOf(item);
  if (index < 0 || index >= instance->AttributeCount()) return false;
  cct_Type* value = instance->Attribute(index);
  if (!value) return false;

  auto registered = [&](cct_Instance* chosen) {
    if (!chosen->GetScope()) scope->RegisterName(nullptr, chosen);
    return chosen;
  };

  const long kind = value->Kind();
  if (kind == cct_KIND_INSTANCE || kind == cct_KIND_ENTITY_REFERENCE) {
    InsertDialogData data(instance, index);
    cct_Instance* chosen = Choose(data, chooser);
    if (!chosen) return false;
    std::vector<TreeItem> children = tree_.Children(item);
    if (!children.empty()) {
      ForgetSubtree(children.front());
      tree_.DeleteItem(children.front());
    }
    registered(chosen);
    if (kind == cct_KIND_ENTITY_REFERENCE) static_cast<cct_EntityType*>(value)->Set(chosen);
    path_.clear();
    Insert(chosen, item, nullptr, 0, 0);
    return true;
  }
  if (kind != cct_KIND_AGGREGATE) return false;
  auto* aggregate = dynamic_cast<cct_AggregateType_1d*>(value);
  if (!aggregate) return false;
  const long elementKind = aggregate->ElementDescriptor()->kind;
  const uint32_t count = aggregate->Count();
  if (elementKind == cct_KIND_INSTANCE || elementKind == cct_KIND_ENTITY_REFERENCE ||
      elementKind == cct_KIND_SELECT) {
    InsertDialogData data(instance, index);
    cct_Instance* chosen = Choose(data, chooser);
    if (!chosen) return false;
    registered(chosen);
    if (!aggregate->SetDimensions(count + 1)) return false;
    aggregate->SetType(chosen, count);
    path_.clear();
    Insert(chosen, item, nullptr, 0, 0);
    return true;
  }
  if (elementKind == cct_KIND_INTEGER || elementKind == cct_KIND_REAL ||
      elementKind == cct_KIND_STRING) {
    if (!aggregate->SetDimensions(count + 1)) return false;
    aggregate->SetElement(nullptr, count);
    tree_.InsertItem(ElementLabel(instance->AttributeName(index), count + 1, "empty"), 0, 0, item,
                     nullptr);
    return true;
  }
  return false;
}

void CStpTreeView::ForgetSubtree(TreeItem item) {
  // A deleted item's address may be reused by the control for a new item, which must not
  // inherit the old one's unbuilt children.
  std::vector<TreeItem> stack{item};
  while (!stack.empty()) {
    TreeItem top = stack.back();
    stack.pop_back();
    pending_.erase(top);
    for (TreeItem child : tree_.Children(top)) stack.push_back(child);
  }
}

void CStpTreeView::ApplyItemHeight(const std::string& text) {
  long height = ReadInteger(text.c_str());
  tree_.SetItemHeight(height < 1 ? -1 : static_cast<int>(height));
}

}  // namespace varnholt
