// The edits of a document's simple values, one function per kind of change (set, clear, add an
// element), and the rules of what typed input each value kind accepts. The desktop program's
// editors and undo stack and the command line's `edit` both go through here, so that both accept
// and store exactly the same.
#ifndef VARNHOLT_EDIT_H
#define VARNHOLT_EDIT_H

#include <string>
#include <string_view>
#include <vector>

class cct_Instance;
class cct_Scope;
class cct_Type;

namespace varnholt {

/// A simple value of the population: attribute `attribute` of `instance`, or element `element`
/// (from 0) of that aggregate attribute.
struct ValueSlot {
  cct_Instance* instance = nullptr;
  long attribute = -1;
  long element = -1;  // -1: the attribute itself
};

/// The form an editor of a slot takes.
enum class ValueForm { None, Integer, Real, String, Choice };

struct SlotEditor {
  ValueForm form = ValueForm::None;
  /// The exact stored value in the form the input rules read back to the same value; empty
  /// when unset.
  std::string text;
  bool set = false;
  /// The value names of a choice, in the schema's order.
  std::vector<std::string> choices;
  /// The attribute holds a parameter of the file kept as written (the binding refused it):
  /// `keptText`. An edit replaces it with a valid value, a clear with "$".
  bool asWritten = false;
  std::string keptText;
};

struct EditOutcome {
  enum Status { kChanged, kUnchanged, kRefused };
  Status status = kUnchanged;
  /// Why an edit was refused, or what a clear warned about; names instance and attribute.
  std::string message;
  bool Refused() const { return status == kRefused; }
};

struct InputRules {
  /// The desktop accepts its locale's decimal comma ("0,125"); files and scripts never do.
  bool decimalComma = false;
};

/// The editor a slot gets; form None for what cannot be edited as text.
SlotEditor DescribeSlot(const ValueSlot& slot);
/// Stores the typed text, read strictly by the slot's kind. Text equal to the stored value (or
/// empty for an unset value) changes nothing. A refusal leaves the value as it was and is
/// reported to the log (error "Wrong data format").
EditOutcome SetValue(const ValueSlot& slot, std::string_view text, InputRules rules = {});
/// Makes the value unset ($). Allowed for a non-OPTIONAL attribute too, with a warning in the
/// log: the file is the user's. A list element can be unset only where its kind holds "no value".
EditOutcome ClearValue(const ValueSlot& slot);
/// Brings a slot back to a state DescribeSlot gave (an undo or redo): a kept parameter, a value
/// or "$".
void RestoreSlot(const ValueSlot& slot, const SlotEditor& state);
/// What an insert did, so that it can be taken back.
struct InsertResult {
  bool done = false;
  long element = -1;                // the element added to an aggregate, or -1
  cct_Instance* previous = nullptr;  // what a reference attribute referred to before
  bool wasSet = false;               // whether the aggregate or reference was set before
  cct_Instance* chosen = nullptr;    // what was inserted (for a redo)
  bool registeredHere = false;       // `chosen` was new and registered by this insert
  std::string asWritten;             // the parameter kept as written that the insert replaced
};
/// The insert command: a reference attribute refers to `chosen` from now on; an aggregate of
/// instances gets it as a new last element; an aggregate of INTEGER, REAL or STRING elements
/// gets a new last element (0, 0. or no text, exactly what a save writes) and `chosen` is
/// ignored. A chosen instance without scope is registered in `scope` under a generated name.
InsertResult InsertValue(cct_Scope& scope, cct_Instance& instance, long attribute,
                         cct_Instance* chosen);
/// Takes an insert back: the previous reference, or the aggregate without its new element. An
/// instance the insert registered stays registered.
void RevertInsert(cct_Instance& instance, long attribute, const InsertResult& done);

/// "#12 machining_workingstep.its_feature" (with "[3]" for element 2): how messages name a slot.
std::string SlotName(const ValueSlot& slot);
/// The slot "#N.attribute" or "#N.attribute[i]" (i from 1, attribute named as the tree shows
/// it) names in the scope, read with load. False with a message for the user in `error` when the
/// path is malformed or names no instance, attribute or element.
bool FindSlot(cct_Scope& scope, std::string_view path, ValueSlot& slot, std::string& error);

/// The shortest text that reads back to exactly v ("15006.0374915216", "0.5", "1e+300").
std::string ExactReal(double v);

}  // namespace varnholt

#endif
