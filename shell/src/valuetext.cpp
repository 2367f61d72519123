#include "varnholt/valuetext.h"

#include <locale>
#include <sstream>

#include "cct/cct.h"

namespace varnholt {

namespace {

RealDisplay realDisplay = RealDisplay::FourDigits;

/// The value object of a slot; an element object made for the question is the caller's to
/// dispose of (`owned`).
cct_Type* SlotValue(const ValueSlot& slot, bool& owned, bool& inUnsetList) {
  owned = false;
  inUnsetList = false;
  if (!slot.instance || slot.attribute < 0 || slot.attribute >= slot.instance->AttributeCount())
    return nullptr;
  cct_Type* value = slot.instance->Attribute(slot.attribute);
  if (!value || slot.element < 0) return value;
  auto* aggregate = dynamic_cast<cct_AggregateType_1d*>(value);
  if (!aggregate || static_cast<unsigned long>(slot.element) >= aggregate->Count()) return nullptr;
  inUnsetList = !aggregate->IsSet();
  cct_Type* element = aggregate->ElementObject(static_cast<unsigned long>(slot.element));
  owned = element && element->IsTemporary();
  return element;
}

/// Runs `text` on the slot's value and disposes of a made element object.
template <typename Text>
std::string OfSlot(const ValueSlot& slot, Text text) {
  bool owned = false, inUnsetList = false;
  cct_Type* value = SlotValue(slot, owned, inUnsetList);
  if (!value) return std::string();
  // An unset list is written as "$" as a whole; its elements have nothing of their own.
  std::string result = inUnsetList ? std::string("$") : text(*value);
  if (owned) delete value;
  return result;
}

}  // namespace

void SetRealDisplay(RealDisplay display) { realDisplay = display; }

RealDisplay CurrentRealDisplay() { return realDisplay; }

std::string ShownReal(double v, RealDisplay display) {
  if (display == RealDisplay::Exact) return ExactReal(v);
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << std::showpoint;
  out.precision(4);
  out << v;
  return out.str();
}

std::string SavedText(const cct_Type& value) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  value.WriteP21(out);
  return out.str();
}

std::string CopyText(const ValueSlot& slot) {
  return OfSlot(slot, [](const cct_Type& value) {
    if (value.Kind() == cct_KIND_STRING && value.IsSet()) {
      const char* text = value.GetString();
      return std::string(text ? text : "");
    }
    return SavedText(value);
  });
}

std::string ExactText(const ValueSlot& slot) {
  const SlotEditor editor = DescribeSlot(slot);
  if (editor.form != ValueForm::None) return editor.set ? editor.text : std::string("$");
  // What the editor does not take (a select's value, a reference) is shown as a save writes it.
  return CopyText(slot);
}

}  // namespace varnholt
