#include "varnholt/edit.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>

#include "cct/cct.h"

namespace varnholt {

namespace {

const char* const kBooleanNames[] = {"false", "true"};
// Index i names the stored LOGICAL i - 1.
const char* const kLogicalNames[] = {"unknown", "false", "true"};

// Words for true and false that earlier versions read from labels; a value name wins over them.
struct Alias {
  const char* word;
  bool value;
};
const Alias kBooleanAliases[] = {{"yes", true}, {"y", true},     {"wahr", true},   {"w", true},
                                 {"ja", true},  {"no", false},  {"nein", false}, {"falsch", false}};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool StartsIgnoringCase(std::string_view name, std::string_view prefix) {
  return prefix.size() <= name.size() && SameIgnoringCase(name.substr(0, prefix.size()), prefix);
}

/// The index of the choice the text names: a whole name ignoring case, else a prefix that only
/// one name has ("R" for right). -1 when none or several match.
long MatchChoice(const std::vector<std::string>& choices, std::string_view text) {
  if (text.empty()) return -1;
  for (size_t i = 0; i < choices.size(); ++i)
    if (SameIgnoringCase(choices[i], text)) return static_cast<long>(i);
  long found = -1;
  for (size_t i = 0; i < choices.size(); ++i) {
    if (!StartsIgnoringCase(choices[i], text)) continue;
    if (found >= 0) return -1;
    found = static_cast<long>(i);
  }
  return found;
}

bool ReadInteger(std::string_view text, long& out) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return false;
  }
  if (text.empty()) return false;
  int32_t v = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  out = v;
  return true;
}

/// A decimal number: sign, digits with at most one point (a digit on at least one side), an
/// optional exponent. Nothing else, so that "inf", "0x10" or "1.5abc" are refused.
bool ReadReal(std::string_view text, bool decimalComma, double& out) {
  std::string s(text);
  if (decimalComma && s.find('.') == std::string::npos) {
    const size_t comma = s.find(',');
    if (comma != std::string::npos && s.find(',', comma + 1) == std::string::npos) s[comma] = '.';
  }
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t exponent = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++exponent;
    if (exponent == 0) return false;
  }
  if (i != s.size()) return false;
  double v = 0;
  // from_chars takes no leading '+'.
  const char* first = s.data() + (s[0] == '+' ? 1 : 0);
  auto [end, error] = std::from_chars(first, s.data() + s.size(), v);
  if (error != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return false;
  out = v;
  return true;
}

/// The value object of a slot: the attribute's own, or a fresh element object the caller
/// stores back and disposes of.
struct SlotValue {
  cct_Type* value = nullptr;
  cct_AggregateType_1d* aggregate = nullptr;
  bool owned = false;
  ~SlotValue() {
    if (owned) delete value;
  }
};

bool Resolve(const ValueSlot& slot, SlotValue& out) {
  if (!slot.instance || slot.attribute < 0 || slot.attribute >= slot.instance->AttributeCount())
    return false;
  cct_Type* value = slot.instance->Attribute(slot.attribute);
  if (!value) return false;
  if (slot.element < 0) {
    out.value = value;
    return true;
  }
  auto* aggregate = dynamic_cast<cct_AggregateType_1d*>(value);
  if (!aggregate || static_cast<unsigned long>(slot.element) >= aggregate->Count()) return false;
  out.aggregate = aggregate;
  out.value = aggregate->ElementObject(static_cast<unsigned long>(slot.element));
  out.owned = out.value && out.value->IsTemporary();
  return out.value != nullptr;
}

std::vector<std::string> Choices(const cct_Type& value) {
  std::vector<std::string> names;
  switch (value.Kind()) {
    case cct_KIND_BOOLEAN: names.assign(std::begin(kBooleanNames), std::end(kBooleanNames)); break;
    case cct_KIND_LOGICAL: names.assign(std::begin(kLogicalNames), std::end(kLogicalNames)); break;
    case cct_KIND_ENUMERATION: {
      const auto& e = static_cast<const cct_EnumType&>(value);
      for (long i = 0; i < e.ValueCount(); ++i)
        if (const char* name = e.ValueName(i)) names.emplace_back(name);
      break;
    }
    default: break;
  }
  return names;
}

ValueForm FormOf(const cct_Type& value) {
  switch (value.Kind()) {
    case cct_KIND_INTEGER: return ValueForm::Integer;
    case cct_KIND_REAL: return ValueForm::Real;
    case cct_KIND_STRING: return ValueForm::String;
    case cct_KIND_BOOLEAN:
    case cct_KIND_LOGICAL: return ValueForm::Choice;
    case cct_KIND_ENUMERATION:
      return static_cast<const cct_EnumType&>(value).ValueCount() > 0 ? ValueForm::Choice
                                                                       : ValueForm::None;
    default: return ValueForm::None;
  }
}

std::string StoredText(const cct_Type& value) {
  if (!value.IsSet()) return std::string();
  switch (value.Kind()) {
    case cct_KIND_INTEGER: return std::to_string(value.GetInteger());
    case cct_KIND_REAL: return ExactReal(value.GetReal());
    case cct_KIND_STRING:
    case cct_KIND_ENUMERATION: {
      const char* text = value.GetString();
      return text ? text : "";
    }
    case cct_KIND_BOOLEAN: return kBooleanNames[value.GetInteger() ? 1 : 0];
    case cct_KIND_LOGICAL: {
      const long v = static_cast<const cct_LogicalType&>(value).Get();
      return kLogicalNames[v < 0 ? 0 : (v > 0 ? 2 : 1)];
    }
    default: return std::string();
  }
}

std::string Expected(const cct_Type& value) {
  switch (value.Kind()) {
    case cct_KIND_INTEGER: return "a whole number from -2147483648 to 2147483647";
    case cct_KIND_REAL: return "a decimal number such as 1500, -0.125 or 1.5e-3";
    default: {
      std::string list;
      for (const std::string& name : Choices(value)) list += (list.empty() ? "" : ", ") + name;
      return "one of " + list;
    }
  }
}

EditOutcome Refuse(const ValueSlot& slot, const cct_Type& value, std::string_view text,
                   const std::string& why) {
  EditOutcome outcome;
  outcome.status = EditOutcome::kRefused;
  outcome.message = SlotName(slot) + ": \"" + std::string(text) + "\" is not taken (" + value.TypeName() +
                    ": " + why + "); the value stays as it was";
  cct_errlog(cct_Error(cct_WRONG_DATA_FORMAT)) << outcome.message.c_str();
  return outcome;
}

EditOutcome Refuse(const ValueSlot& slot, const std::string& why) {
  EditOutcome outcome;
  outcome.status = EditOutcome::kRefused;
  outcome.message = SlotName(slot) + ": " + why;
  cct_errlog(cct_Error(cct_WRONG_DATA_FORMAT)) << outcome.message.c_str();
  return outcome;
}

// Stores an element object back into its aggregate; the attribute's own value needs nothing.
void StoreBack(const ValueSlot& slot, SlotValue& target) {
  if (target.aggregate)
    target.aggregate->SetType(target.value, static_cast<unsigned long>(slot.element));
}

/// A type a select admits that is typed rather than inserted: a defined type or simple value.
struct SelectChoice {
  long id;
  std::string name;
};

std::vector<SelectChoice> SimpleChoices(const cct_SelectType& select) {
  std::vector<SelectChoice> choices;
  const long* ids = select.AllowedTypes();
  for (; ids && *ids; ++ids) {
    if (*ids >= 3000) continue;  // entities are inserted, not typed
    std::unique_ptr<cct_Type> probe(CreateType(*ids));
    if (probe && FormOf(*probe) != ValueForm::None && probe->TypeName())
      choices.push_back(SelectChoice{*ids, probe->TypeName()});
  }
  return choices;
}

std::string ChoiceList(const std::vector<SelectChoice>& choices) {
  std::string list;
  for (const SelectChoice& choice : choices) list += (list.empty() ? "" : ", ") + choice.name;
  return list;
}

bool HoldsValue(const cct_SelectType& select) {
  return select.IsSet() && select.HeldKind() != cct_KIND_INSTANCE;
}

/// A select that holds a simple value is edited as that value; an unset one as its only simple
/// type, or as text that names the type ("PARAMETER_VALUE(270.)").
SlotEditor DescribeSelect(const cct_SelectType& select, bool listSet) {
  SlotEditor editor;
  if (select.IsSet() && !HoldsValue(select)) return editor;
  if (HoldsValue(select)) {
    cct_Type* held = select.Get(0, 0);
    if (held && FormOf(*held) != ValueForm::None) {
      editor.form = FormOf(*held);
      editor.set = listSet;
      if (listSet) editor.text = StoredText(*held);
      editor.choices = Choices(*held);
    }
    cct_DisposeGot(held);
    return editor;
  }
  const std::vector<SelectChoice> choices = SimpleChoices(select);
  if (choices.size() == 1) {
    std::unique_ptr<cct_Type> probe(CreateType(choices[0].id));
    editor.form = FormOf(*probe);
    editor.choices = Choices(*probe);
  } else if (!choices.empty()) {
    editor.form = ValueForm::String;
  }
  return editor;
}

}  // namespace

std::string ExactReal(double v) {
  char text[64];
  auto [end, error] = std::to_chars(text, text + sizeof text, v);
  return error == std::errc() ? std::string(text, end) : std::string();
}

std::string SlotName(const ValueSlot& slot) {
  std::string name = "#";
  if (!slot.instance) return name;
  if (const char* n = slot.instance->InstanceName()) name += n;
  name += ' ';
  if (const char* type = slot.instance->TypeName()) name += type;
  if (slot.attribute >= 0 && slot.attribute < slot.instance->AttributeCount()) {
    name += '.';
    if (const char* a = slot.instance->AttributeName(slot.attribute)) name += a;
  }
  if (slot.element >= 0) name += "[" + std::to_string(slot.element + 1) + "]";
  return name;
}

SlotEditor DescribeSlot(const ValueSlot& slot) {
  SlotEditor editor;
  SlotValue target;
  if (!Resolve(slot, target)) return editor;
  if (slot.element < 0)
    if (const std::string* text = slot.instance->AsWrittenText(slot.attribute)) {
      editor.asWritten = true;
      editor.keptText = *text;
    }
  if (target.value->Kind() == cct_KIND_SELECT) {
    SlotEditor select = DescribeSelect(static_cast<const cct_SelectType&>(*target.value),
                                       !target.aggregate || target.aggregate->IsSet());
    select.asWritten = editor.asWritten;
    select.keptText = editor.keptText;
    return select;
  }
  editor.form = FormOf(*target.value);
  if (editor.form == ValueForm::None) return editor;
  // An element of an unset list has no value yet (a save writes the list as $); typing one
  // sets the list.
  editor.set = target.value->IsSet() && (!target.aggregate || target.aggregate->IsSet());
  if (!editor.set) {
    editor.choices = Choices(*target.value);
    return editor;
  }
  editor.text = StoredText(*target.value);
  editor.choices = Choices(*target.value);
  return editor;
}

namespace {

/// Reads the text strictly by the value's kind and stores it into `value`; unchanged when the
/// value already holds it (`same` says whether its present value counts).
EditOutcome Store(const ValueSlot& slot, cct_Type& value, std::string_view typed,
                  std::string_view text, InputRules rules, bool same) {
  switch (value.Kind()) {
    case cct_KIND_INTEGER: {
      long v = 0;
      if (!ReadInteger(text, v)) return Refuse(slot, value, typed, Expected(value));
      if (same && value.GetInteger() == v) return EditOutcome{};
      static_cast<cct_IntegerType&>(value).Set(v);
      break;
    }
    case cct_KIND_REAL: {
      double v = 0;
      if (!ReadReal(text, rules.decimalComma, v)) return Refuse(slot, value, typed, Expected(value));
      const double old = value.GetReal();
      if (same && std::memcmp(&old, &v, sizeof v) == 0) return EditOutcome{};
      static_cast<cct_RealType&>(value).Set(v);
      break;
    }
    case cct_KIND_STRING: {
      const std::string wanted(text);
      if (same && value.GetString() && wanted == value.GetString()) return EditOutcome{};
      static_cast<cct_StringType&>(value).Set(wanted.c_str());
      break;
    }
    default: {
      const std::vector<std::string> choices = Choices(value);
      long index = MatchChoice(choices, text);
      if (index < 0 && value.Kind() == cct_KIND_BOOLEAN)
        for (const Alias& alias : kBooleanAliases)
          if (SameIgnoringCase(alias.word, text)) index = alias.value ? 1 : 0;
      if (index < 0) return Refuse(slot, value, typed, Expected(value));
      if (same && StoredText(value) == choices[static_cast<size_t>(index)]) return EditOutcome{};
      if (value.Kind() == cct_KIND_BOOLEAN)
        static_cast<cct_BooleanType&>(value).Set(index);
      else if (value.Kind() == cct_KIND_LOGICAL)
        static_cast<cct_LogicalType&>(value).Set(index - 1);
      else
        static_cast<cct_EnumType&>(value).SetByIndex(index);
      break;
    }
  }
  return EditOutcome{EditOutcome::kChanged, std::string()};
}

/// Stores typed text into a select: "TYPE(value)" names one of its simple types, a bare value
/// keeps the type it holds (or takes its only simple type); the value is read strictly by the
/// kind of that type.
EditOutcome SetSelectValue(const ValueSlot& slot, cct_SelectType& select, std::string_view typed,
                           InputRules rules) {
  if (select.IsSet() && !HoldsValue(select))
    return Refuse(slot, "references are changed with the insert command");
  std::string_view text = Trim(typed);
  if (text.empty()) return EditOutcome{};
  const std::vector<SelectChoice> choices = SimpleChoices(select);
  long id = 0;
  const size_t open = text.find('(');
  if (open != std::string_view::npos && open > 0 && text.back() == ')') {
    const std::string_view name = Trim(text.substr(0, open));
    for (const SelectChoice& choice : choices)
      if (SameIgnoringCase(choice.name, name)) id = choice.id;
    if (id == 0)
      return Refuse(slot, "\"" + std::string(typed) + "\" is not taken (" + std::string(name) +
                              " is not one of " + ChoiceList(choices) + "); the value stays as it was");
    text = Trim(text.substr(open + 1, text.size() - open - 2));
  } else if (HoldsValue(select)) {
    id = select.HeldTypeId();
  } else if (choices.size() == 1) {
    id = choices[0].id;
  } else {
    return Refuse(slot, "\"" + std::string(typed) + "\" is not taken (name its type, as in " +
                            (choices.empty() ? std::string("TYPE") : choices[0].name) +
                            "(value), one of " + ChoiceList(choices) + "); the value stays as it was");
  }
  const bool sameType = HoldsValue(select) && id == select.HeldTypeId();
  cct_Type* value = sameType ? select.Get(0, 0) : CreateType(id);
  if (!value) return Refuse(slot, "its type cannot be made");
  EditOutcome outcome = Store(slot, *value, typed, text, rules, sameType);
  if (outcome.status == EditOutcome::kChanged) select.Set(value);
  if (sameType)
    cct_DisposeGot(value);
  else
    delete value;
  return outcome;
}

}  // namespace

EditOutcome SetValue(const ValueSlot& slot, std::string_view typed, InputRules rules) {
  SlotValue target;
  if (!Resolve(slot, target)) return Refuse(slot, "no such attribute or element");
  cct_Type& value = *target.value;
  if (value.Kind() == cct_KIND_SELECT) {
    EditOutcome outcome = SetSelectValue(slot, static_cast<cct_SelectType&>(value), typed, rules);
    if (outcome.status != EditOutcome::kChanged) return outcome;
    if (target.owned) StoreBack(slot, target);
    if (target.aggregate && !target.aggregate->IsSet()) target.aggregate->SetSet(true);
    slot.instance->DropAsWritten(slot.attribute);
    return outcome;
  }
  const ValueForm form = FormOf(value);
  if (form == ValueForm::None)
    return Refuse(slot, std::string("a value of type ") + value.TypeName() +
                            " cannot be edited as text");
  // Strings are stored as typed, blanks included; every other form ignores surrounding blanks.
  const std::string_view text = form == ValueForm::String ? typed : Trim(typed);
  // Confirming the editor as it opened, or leaving an unset value empty, is no edit.
  const bool listUnset = target.aggregate && !target.aggregate->IsSet();
  if (text.empty() && (!value.IsSet() || listUnset)) return EditOutcome{};
  EditOutcome outcome = Store(slot, value, typed, text, rules, value.IsSet() && !listUnset);
  if (outcome.status != EditOutcome::kChanged) return outcome;
  StoreBack(slot, target);
  if (listUnset) target.aggregate->SetSet(true);
  // The value now stands where the file's refused parameter stood.
  slot.instance->DropAsWritten(slot.attribute);
  return outcome;
}

EditOutcome ClearValue(const ValueSlot& slot) {
  SlotValue target;
  if (!Resolve(slot, target)) return Refuse(slot, "no such attribute or element");
  if (target.aggregate) {
    // Numbers, truth values and enumeration values of a list are stored without room for "no
    // value"; only a text element can be missing.
    if (target.value->Kind() != cct_KIND_STRING)
      return Refuse(slot, std::string("an element of type ") + target.value->TypeName() +
                              " cannot be unset; only the whole list can");
    if (!target.value->IsSet()) return EditOutcome{};
    static_cast<cct_StringType*>(target.value)->Set(nullptr);
    StoreBack(slot, target);
    return EditOutcome{EditOutcome::kChanged, std::string()};
  }
  cct_Type& value = *target.value;
  // A parameter kept as written is given up: the attribute is "$" from now on.
  const bool kept = slot.instance->AsWrittenText(slot.attribute) != nullptr;
  if (kept) {
    slot.instance->DropAsWritten(slot.attribute);
  } else {
    if (!value.IsSet()) return EditOutcome{};
    if (value.Kind() == cct_KIND_ENTITY_REFERENCE || value.Kind() == cct_KIND_SELECT)
      return Refuse(slot, "references are changed with the insert command");
  }
  value.Unset();
  EditOutcome outcome{EditOutcome::kChanged, std::string()};
  if (!value.IsOptional()) {
    outcome.message = SlotName(slot) + " is not OPTIONAL and is now unset ($)";
    cct_errlog(cct_Warning(cct_UNSET_MANDATORY)) << outcome.message.c_str();
  }
  return outcome;
}

void RestoreSlot(const ValueSlot& slot, const SlotEditor& state) {
  if (state.asWritten) {
    if (slot.instance) slot.instance->KeepAsWritten(slot.attribute, state.keptText);
  } else if (state.set && state.form == ValueForm::String && state.text.empty()) {
    // An empty string is a value, but SetValue takes empty text for an unset value as no edit:
    // the undo of a clear of '' must store it itself.
    SlotValue target;
    if (!Resolve(slot, target) || target.value->Kind() != cct_KIND_STRING) return;
    static_cast<cct_StringType&>(*target.value).Set("");
    StoreBack(slot, target);
  } else if (state.set) {
    SetValue(slot, state.text);
  } else {
    ClearValue(slot);
  }
}

namespace {

/// Whether element i of the list holds a value (an incompatible one leaves it empty).
bool ElementIsSet(const cct_AggregateType_1d& list, uint32_t i) {
  cct_Type* element = list.ElementObject(i);
  const bool set = element && element->IsSet();
  if (element && element->IsTemporary()) delete element;
  return set;
}

}  // namespace

InsertResult InsertValue(cct_Scope& scope, cct_Instance& instance, long attribute,
                         cct_Instance* chosen) {
  InsertResult result;
  result.chosen = chosen;
  if (attribute < 0 || attribute >= instance.AttributeCount()) return result;
  cct_Type* value = instance.Attribute(attribute);
  if (!value) return result;
  if (const std::string* text = instance.AsWrittenText(attribute)) result.asWritten = *text;
  // What the insert gives stands where a refused parameter stood; an undo brings it back.
  auto done = [&] {
    result.done = true;
    if (!result.asWritten.empty()) instance.DropAsWritten(attribute);
  };
  auto registered = [&] {
    if (!chosen->GetScope()) {
      scope.RegisterName(nullptr, chosen);
      result.registeredHere = true;
    } else if (chosen->IsKilled()) {
      // A redo: the instance an undo withdrew is part of the population again.
      chosen->ClearFlags(cct_FLAG_KILLED);
      result.registeredHere = true;
    }
  };
  const long kind = value->Kind();
  if (kind == cct_KIND_ENTITY_REFERENCE || kind == cct_KIND_INSTANCE) {
    if (!chosen) return result;
    registered();
    if (kind == cct_KIND_ENTITY_REFERENCE) {
      auto* reference = static_cast<cct_EntityType*>(value);
      result.wasSet = reference->IsSet();
      result.previous = reference->IsSet() ? reference->Get(0) : nullptr;
      reference->Set(chosen);
    }
    done();
    return result;
  }
  auto* aggregate = dynamic_cast<cct_AggregateType_1d*>(value);
  if (!aggregate) return result;
  const long elementKind = aggregate->ElementDescriptor()->kind;
  const uint32_t count = aggregate->Count();
  const bool references = elementKind == cct_KIND_INSTANCE ||
                          elementKind == cct_KIND_ENTITY_REFERENCE || elementKind == cct_KIND_SELECT;
  const bool simple = elementKind == cct_KIND_INTEGER || elementKind == cct_KIND_REAL ||
                      elementKind == cct_KIND_STRING;
  if ((!references && !simple) || (references && !chosen)) return result;
  if (references) registered();
  // An unset list gains its first element: from now on it is set, as a save writes it.
  const bool wasSet = aggregate->IsSet();
  result.wasSet = wasSet;
  if (!aggregate->SetDimensions(count + 1)) return result;
  if (references)
    aggregate->SetType(chosen, count);
  else
    aggregate->SetElement(nullptr, count);
  if (elementKind == cct_KIND_SELECT && !ElementIsSet(*aggregate, count)) {
    // The list's select admits no instance of that type (SetType has said so in the log): the
    // list stays as it was, rather than gaining an empty element a save would write as "$",
    // and an instance registered for the insert leaves the population again.
    if (count == 0) {
      aggregate->Unset();
      if (wasSet) aggregate->SetSet(true);
    } else {
      aggregate->SetDimensions(count);
    }
    if (result.registeredHere) chosen->SetFlags(cct_FLAG_KILLED);
    return result;
  }
  if (!wasSet) aggregate->SetSet(true);
  done();
  result.element = static_cast<long>(count);
  return result;
}

void RevertInsert(cct_Instance& instance, long attribute, const InsertResult& done) {
  if (!done.done || attribute < 0 || attribute >= instance.AttributeCount()) return;
  struct KeepAgain {
    cct_Instance& instance;
    long attribute;
    const std::string& text;
    ~KeepAgain() {
      if (!text.empty()) instance.KeepAsWritten(attribute, text);
    }
  } keepAgain{instance, attribute, done.asWritten};
  // An instance the insert created leaves the population with it: withdrawn (the scope keeps
  // it for a redo), it is neither saved nor found.
  if (done.registeredHere && done.chosen) done.chosen->SetFlags(cct_FLAG_KILLED);
  cct_Type* value = instance.Attribute(attribute);
  if (!value) return;
  if (value->Kind() == cct_KIND_ENTITY_REFERENCE) {
    auto* reference = static_cast<cct_EntityType*>(value);
    if (done.previous)
      reference->Set(done.previous);
    else
      reference->Unset();
    return;
  }
  auto* aggregate = dynamic_cast<cct_AggregateType_1d*>(value);
  if (!aggregate || done.element < 0 || aggregate->Count() != static_cast<uint32_t>(done.element) + 1)
    return;
  if (done.element == 0) {
    // The list held nothing before; an array cannot shrink to nothing, only be emptied.
    aggregate->Unset();
    if (done.wasSet) aggregate->SetSet(true);
    return;
  }
  aggregate->SetElement(nullptr, static_cast<unsigned long>(done.element));
  aggregate->SetDimensions(static_cast<unsigned long>(done.element));
}

bool FindSlot(cct_Scope& scope, std::string_view path, ValueSlot& slot, std::string& error) {
  const std::string quoted = "\"" + std::string(path) + "\"";
  const size_t dot = path.find('.');
  if (path.size() < 4 || path[0] != '#' || dot == std::string_view::npos || dot < 2) {
    error = quoted + " names no value; expected #N.attribute or #N.attribute[i]";
    return false;
  }
  const std::string number(path.substr(1, dot - 1));
  std::string_view attribute = path.substr(dot + 1);
  long element = -1;
  const size_t open = attribute.find('[');
  if (open != std::string_view::npos) {
    std::string_view index = attribute.substr(open + 1);
    long position = 0;
    if (index.empty() || index.back() != ']' ||
        !ReadInteger(index.substr(0, index.size() - 1), position) || position < 1) {
      error = quoted + ": elements are counted from 1, as in [1]";
      return false;
    }
    element = position - 1;
    attribute = attribute.substr(0, open);
  }
  cct_Instance* instance = scope.FindInstance(number.c_str(), 1);
  if (!instance) {
    error = quoted + ": there is no instance #" + number;
    return false;
  }
  instance->Release();
  slot = ValueSlot{instance, -1, -1};
  long index = -1;
  for (long i = 0; i < instance->AttributeCount(); ++i) {
    const char* name = instance->AttributeName(i);
    if (name && attribute == name) index = i;
  }
  if (index < 0) {
    error = SlotName(slot) + " has no attribute \"" + std::string(attribute) + "\"";
    return false;
  }
  slot.attribute = index;
  if (element >= 0) {
    auto* aggregate = dynamic_cast<cct_AggregateType_1d*>(instance->Attribute(index));
    const unsigned long count = aggregate ? aggregate->Count() : 0;
    if (!aggregate || static_cast<unsigned long>(element) >= count) {
      error = SlotName(slot) + " has no element " + std::to_string(element + 1) + " (it holds " +
              std::to_string(count) + ")";
      return false;
    }
  }
  slot.element = element;
  return true;
}

}  // namespace varnholt
