// Fuzz target: the bytes are a sequence of edits (set a simple value, clear it, insert an
// element or a reference, undo the last edit) applied through the shell's edit functions to one
// of the samples, as the desktop's undo stack applies them. The edited document is saved and
// the save opened again: every slot an edit touched must show there exactly what it showed
// before the save, and every instance an edit touched must be written as the same record. A
// value the edit functions accept must also be taken back by them unchanged.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "cct/aggr.h"
#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/schema.h"
#include "fuzz_support.h"
#include "cct/scope.h"
#include "varnholt/doc.h"
#include "varnholt/edit.h"
#include "varnholt/insertdialog.h"
#include "varnholt/navigation.h"

namespace {

const char* const kSamples[] = {"milling_project.stp", "mill_turn_project.stp",
                                "toolpath_project.stp"};

// The input read from the front; past its end every read gives 0.
struct Bytes {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  bool More() const { return at < size; }
  uint8_t Byte() { return at < size ? data[at++] : 0; }
  uint32_t Number(int bytes) {
    uint32_t n = 0;
    for (int i = 0; i < bytes; ++i) n = n << 8 | Byte();
    return n;
  }
  std::string Text(size_t length) {
    std::string text;
    while (length-- > 0 && More()) text += static_cast<char>(Byte());
    return text;
  }
};

[[noreturn]] void Finding(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::abort();
}

bool Same(const varnholt::SlotEditor& a, const varnholt::SlotEditor& b) {
  return a.form == b.form && a.text == b.text && a.set == b.set && a.choices == b.choices &&
         a.asWritten == b.asWritten && a.keptText == b.keptText;
}

std::string Shown(const varnholt::SlotEditor& e) {
  return "form " + std::to_string(static_cast<int>(e.form)) + (e.set ? " set" : " unset") +
         " text \"" + e.text + "\"" + (e.asWritten ? " kept \"" + e.keptText + "\"" : "");
}

// A slot by instance name, so that it can be found again in the reopened document.
struct Place {
  std::string name;
  long attribute;
  long element;
  bool operator<(const Place& o) const {
    return std::tie(name, attribute, element) < std::tie(o.name, o.attribute, o.element);
  }
};

// Every slot a value editor or an insert can address: each attribute, and each element of a
// list of one dimension.
std::vector<varnholt::ValueSlot> Slots(cct_Scope& scope) {
  std::vector<varnholt::ValueSlot> slots;
  for (cct_Scope::Entry* entry : scope.EntriesInNameOrder()) {
    cct_Instance* instance = entry->instance;
    if (!instance || instance->Kind() != cct_KIND_INSTANCE) continue;
    for (long a = 0; a < instance->AttributeCount(); ++a) {
      cct_Type* value = instance->Attribute(a);
      if (!value) continue;
      slots.push_back({instance, a, -1});
      if (auto* list = dynamic_cast<cct_AggregateType_1d*>(value))
        for (uint32_t e = 0; e < list->Count(); ++e) slots.push_back({instance, a, long(e)});
    }
  }
  return slots;
}

// Text for a set: one of the slot's choices, a number of its kind, or bytes of the input as
// they come (which the edit must refuse or store exactly).
std::string TextFor(const varnholt::SlotEditor& editor, Bytes& in) {
  const uint8_t how = in.Byte();
  switch (how % 4) {
    case 0:
      if (!editor.choices.empty()) return editor.choices[in.Byte() % editor.choices.size()];
      break;
    case 1:
      if (editor.form == varnholt::ValueForm::Integer)
        return std::to_string(static_cast<int32_t>(in.Number(4)));
      if (editor.form == varnholt::ValueForm::Real) {
        const uint64_t bits = uint64_t{in.Number(4)} << 32 | in.Number(4);
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return varnholt::ExactReal(v);
      }
      break;
    case 2:
      return std::to_string(static_cast<int16_t>(in.Number(2))) + "." +
             std::to_string(in.Number(2));
    default:
      break;
  }
  return in.Text(in.Byte() % 24);
}

struct Undo {
  bool insert = false;
  varnholt::ValueSlot slot;  // a set or clear: the slot and what it showed before
  varnholt::SlotEditor before;
  varnholt::InsertResult done;  // an insert
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::Initialize();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = fuzz::OwnFolder("varnholt-edit-fuzz");
  Bytes in{data, size};
  const std::string sample = std::string(VARNHOLT_SOURCE_DIR) + "/samples/" +
                             kSamples[in.Byte() % (sizeof kSamples / sizeof kSamples[0])];
  CDoc doc;
  if (!doc.OnOpenDocument(sample.c_str())) Finding("the sample does not open: " + sample);
  cct_Scope& scope = *doc.Scope();
  std::vector<varnholt::ValueSlot> slots = Slots(scope);
  std::set<Place> touched;
  std::set<std::string> records;  // names of instances an edit touched
  std::vector<Undo> undo;
  std::vector<cct_Instance*> made;  // new instances that no insert took: deleted at the end

  {
    CDoc::LogRoute route(doc);
    for (int steps = 0; in.More() && steps < 64; ++steps) {
      const uint8_t op = in.Byte();
      if (op % 4 == 3) {  // undo
        if (undo.empty()) continue;
        const Undo last = undo.back();
        undo.pop_back();
        if (last.insert)
          varnholt::RevertInsert(*last.slot.instance, last.slot.attribute, last.done);
        else
          varnholt::RestoreSlot(last.slot, last.before);
        if (!Same(varnholt::DescribeSlot(last.slot), last.before))
          Finding("an undo does not bring back " + varnholt::SlotName(last.slot) + ": " +
                  Shown(last.before) + " / " + Shown(varnholt::DescribeSlot(last.slot)));
        continue;
      }
      const varnholt::ValueSlot slot = slots[in.Number(2) % slots.size()];
      const varnholt::SlotEditor before = varnholt::DescribeSlot(slot);
      touched.insert({slot.instance->InstanceName(), slot.attribute, slot.element});
      records.insert(slot.instance->InstanceName());
      // As in the desktop, only simple values and list elements are set or cleared; a list
      // or a reference changes by inserts.
      if (op % 4 != 2 && before.form == varnholt::ValueForm::None) continue;
      if (op % 4 == 0) {  // set
        const std::string text = TextFor(before, in);
        const varnholt::EditOutcome outcome = varnholt::SetValue(slot, text);
        const varnholt::SlotEditor after = varnholt::DescribeSlot(slot);
        if (outcome.Refused() || outcome.status == varnholt::EditOutcome::kUnchanged) {
          if (!Same(before, after))
            Finding("an edit that changed nothing changed " + varnholt::SlotName(slot) + " (\"" +
                    text + "\"): " + Shown(before) + " / " + Shown(after));
          continue;
        }
        // What the editor shows of a value is read back to that very value.
        if (after.form != varnholt::ValueForm::None && after.set &&
            varnholt::SetValue(slot, after.text).status != varnholt::EditOutcome::kUnchanged)
          Finding("the shown value of " + varnholt::SlotName(slot) + " (\"" + text +
                  "\") does not read back: " + Shown(after));
        undo.push_back({false, slot, before, {}});
      } else if (op % 4 == 1) {  // clear
        const varnholt::EditOutcome outcome = varnholt::ClearValue(slot);
        if (outcome.Refused()) continue;
        undo.push_back({false, slot, before, {}});
      } else {  // insert: an existing instance the attribute admits, or a new one
        if (slot.element >= 0) continue;
        varnholt::InsertDialogData dialog(slot.instance, slot.attribute);
        dialog.FillExisting(scope);
        dialog.FillNew();
        cct_Instance* chosen = nullptr;
        const uint8_t pick = in.Byte();
        if (pick % 2 == 0 && dialog.existing.size() > 1) {
          dialog.existingChoice = dialog.existing[1 + in.Number(2) % (dialog.existing.size() - 1)];
          const std::string name = dialog.ChosenName();
          chosen = scope.FindInstance(name.c_str(), 1);
          if (chosen) chosen->Release();
          if (chosen && chosen->IsKilled()) chosen = nullptr;  // not offered: undone
        } else if (!dialog.created.empty()) {
          chosen = CreateEntityByName(dialog.created[in.Number(2) % dialog.created.size()].c_str());
        }
        const varnholt::InsertResult done =
            varnholt::InsertValue(scope, *slot.instance, slot.attribute, chosen);
        // A new instance the insert did not register (it failed, or the list holds simple
        // values and ignores it) is still the caller's.
        if (chosen && !chosen->GetScope()) made.push_back(chosen);
        if (!done.done) continue;
        if (done.element >= 0) {
          slots.push_back({slot.instance, slot.attribute, done.element});
          touched.insert({slot.instance->InstanceName(), slot.attribute, done.element});
        }
        if (chosen && chosen->InstanceName()) records.insert(chosen->InstanceName());
        undo.push_back({true, slot, before, done});
      }
    }
  }

  // What the edited document shows, then what its save shows once opened again.
  std::map<Place, varnholt::SlotEditor> shown;
  std::map<std::string, std::string> written;  // "" for an instance an undo withdrew
  {
    CDoc::LogRoute route(doc);
    for (const Place& p : touched) {
      cct_Instance* instance = scope.FindInstance(p.name.c_str(), 0);
      if (!instance) Finding("an edited instance went: #" + p.name);
      instance->Release();
      shown[p] = varnholt::DescribeSlot({instance, p.attribute, p.element});
    }
    for (const std::string& name : records) {
      cct_Instance* instance = scope.FindInstance(name.c_str(), 0);
      if (instance) instance->Release();
      written[name] = instance && !instance->IsKilled() ? varnholt::RecordText(*instance) : "";
    }
  }
  const std::string path = folder + "/edited.stp";
  if (!doc.OnSaveDocument(path)) Finding("the edited document does not save:\n" + doc.LogText());
  CDoc again;
  if (!again.OnOpenDocument(path.c_str()))
    Finding("the saved document does not open again:\n" + again.LogText());
  CDoc::LogRoute route(again);
  // Every instance was read by the open: names are looked up without loading, so that the name
  // of an instance an undo withdrew is not reported missing.
  for (const auto& [p, before] : shown) {
    cct_Instance* instance = again.Scope()->FindInstance(p.name.c_str(), 0);
    if (!instance) Finding("#" + p.name + " is not in the saved file");
    instance->Release();
    const varnholt::ValueSlot slot{instance, p.attribute, p.element};
    const varnholt::SlotEditor after = varnholt::DescribeSlot(slot);
    if (!Same(before, after))
      Finding(varnholt::SlotName(slot) + " shows " + Shown(before) + " before the save and " +
              Shown(after) + " after it");
  }
  for (const auto& [name, record] : written) {
    cct_Scope::Entry* entry = again.Scope()->FindEntry(name.c_str(), 0);
    cct_Instance* instance = entry ? entry->instance : nullptr;
    const std::string now =
        instance && instance->Kind() == cct_KIND_INSTANCE ? varnholt::RecordText(*instance) : "";
    if (now != record)
      Finding("#" + name + " was \"" + record + "\" before the save and is \"" + now +
              "\" after it");
  }
  for (cct_Instance* instance : made) delete instance;
  return 0;
}
