// The Python module `varnholt`: thin views over the same documents, values and log the desktop
// program and varnholt-cli use. Nothing of the population is copied into Python objects: an
// Instance is a handle (its document and the instance) made when asked for. A view keeps its
// document's state alive, so `varnholt.open(path).project` stays usable; closing the document
// frees the population, and every access first checks that it is still open.
#include <Python.h>
#include <pybind11/pybind11.h>
#include <pybind11/eval.h>
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cct/aggr.h"
#include "cct/enumtype.h"
#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/schema.h"
#include "cct/scope.h"
#include "cct/selecttype.h"
#include <sstream>

#include "cct/rawrecord.h"
#include "cct/stepfile.h"
#include "varnholt/diagnostics.h"
#include "varnholt/diff.h"
#include "varnholt/doc.h"
#include "varnholt/edit.h"
#include "varnholt/insertdialog.h"
#include "varnholt/feature_volume.h"
#include "varnholt/gcode.h"
#include "varnholt/model_read.h"
#include "varnholt/navigation.h"
#include "varnholt/program.h"
#include "varnholt/rules.h"
#include "varnholt/scene.h"
#include "varnholt/simulate.h"
#include "varnholt/table.h"

#include "python_side.h"

namespace py = pybind11;

namespace {

// Set once the interpreter ends: the process is about to go, so what is still open is left to it.
bool exiting = false;

// A document while it is open; gone when closed or when its Document is collected.
struct State {
  ~State() {
    // Freeing a population of millions of instances takes a third of a second that nobody
    // waits for at the end of a script; the command line leaves it to the end of the process too.
    if (exiting) static_cast<void>(doc.release());
  }
  std::unique_ptr<CDoc> doc;
  std::unique_ptr<varnholt::Navigator> navigator;  // made on the first question that needs it
  /// The last simulate()'s result, whose stock stock_mesh() meshes; it may be large, and goes
  /// with the document.
  std::shared_ptr<const varnholt::SimulateResult> simulation;
  cct_Scope& Scope() const { return *doc->Scope(); }
  varnholt::Navigator& Navigate() {
    if (!navigator) navigator = std::make_unique<varnholt::Navigator>(Scope());
    return *navigator;
  }
};

// The module's exceptions and LOGICAL's unknown, alive as long as the interpreter: kept as plain
// pointers, since a py::object would be released after the interpreter has ended.
PyObject* ClosedError = nullptr;
PyObject* OpenError = nullptr;
PyObject* Unknown = nullptr;
// The Python side of the views (Kept, List, the typed values), made from kPythonSide.
PyObject* Helpers = nullptr;

py::object Helper(const char* name) { return py::reinterpret_borrow<py::dict>(Helpers)[name]; }

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

class Instance;

const std::shared_ptr<State>& Alive(const std::shared_ptr<State>& state) {
  if (!state || !state->doc) {
    PyErr_SetString(ClosedError, "the document of this instance is closed");
    throw py::error_already_set();
  }
  return state;
}

class Instance {
 public:
  Instance(std::shared_ptr<State> state, cct_Instance* instance) : state_(std::move(state)), instance_(instance) {}

  cct_Instance& Get() const {
    Alive(state_);
    if (instance_->IsKilled()) {
      PyErr_SetString(ClosedError, "the instance has been deleted");
      throw py::error_already_set();
    }
    return *instance_;
  }
  long Id() const { return varnholt::NameNumber(Get().InstanceName()); }
  std::string Type() const {
    const char* name = Get().TypeName();
    return Lower(name ? name : "");
  }
  std::vector<std::string> Types() const {
    std::vector<std::string> out{Type()};
    if (const char* const* names = Get().SupertypeNames())
      for (; *names && **names; ++names) {
        std::string n = Lower(*names);
        if (n != out.front()) out.push_back(n);
      }
    return out;
  }
  long Line() const {
    const cct_Scope::Entry* entry = Get().GetEntry();
    return entry ? entry->line : 0;
  }
  std::vector<std::string> Attributes() const {
    cct_Instance& i = Get();
    std::vector<std::string> out;
    for (long k = 0; k < i.AttributeCount(); ++k) out.push_back(i.AttributeName(k) ? i.AttributeName(k) : "");
    return out;
  }
  py::object Item(const std::string& name) const;
  /// Stores a Python value into attribute `name`, or its element `element`, through the shell's
  /// edits; answers the value as it now reads. ValueError with the shell's message when refused.
  py::object Store(const std::string& name, long element, const py::handle& value) const;
  /// Unsets attribute `name` (or an element) as the editor's clear does.
  void Clear(const std::string& name, long element) const;
  /// Adds `value` as the new last element of list attribute `name`; answers it as it reads.
  py::object Append(const std::string& name, const py::handle& value) const;
  std::string Raw() const { return varnholt::RecordText(Get()); }
  /// A record the schema could not build, kept as read.
  const cct_RawInstance* KeptRecord() const { return dynamic_cast<const cct_RawInstance*>(&Get()); }
  py::list Parameters() const {
    py::list out;
    if (const cct_RawInstance* raw = KeptRecord())
      for (std::string_view p : cct_SplitParameters(raw->Record())) out.append(py::str(std::string(p)));
    return out;
  }
  /// The parameters a record gave after its last attribute, kept as written.
  py::list Extra() const {
    py::list out;
    if (const cct_AsWritten* kept = Get().AsWritten())
      for (const std::string& p : kept->extra) out.append(py::str(p));
    return out;
  }
  std::string Repr() const {
    cct_Instance& i = Get();
    std::string out = "<" + Type() + " #" + std::to_string(Id());
    for (long k = 0; k < i.AttributeCount(); ++k)
      if (const char* n = i.AttributeName(k); n && (!std::strcmp(n, "its_id") || !std::strcmp(n, "name"))) {
        const cct_Type* v = i.Attribute(k);
        if (v && v->IsSet() && v->Kind() == cct_KIND_STRING && v->GetString() && *v->GetString())
          out += std::string(" '") + v->GetString() + "'";
        break;
      }
    return out + ">";
  }
  bool Equals(const Instance& other) const { return instance_ == other.instance_ && state_ == other.state_; }
  std::size_t Hash() const { return std::hash<const void*>()(instance_); }
  const std::shared_ptr<State>& StateOf() const { return state_; }
  cct_Instance* Pointer() const { return instance_; }

 private:
  long AttributeIndex(const std::string& name) const;
  std::shared_ptr<State> state_;
  cct_Instance* instance_;
};

cct_Instance* Usable(cct_Instance* i) { return i && i->Kind() == cct_KIND_INSTANCE && !i->IsKilled() ? i : nullptr; }

py::object Text(const char* text) {
  if (!text) return py::none();
  PyObject* s = PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(std::strlen(text)), "replace");
  if (!s) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(s);
}

py::object Namespace(const py::dict& fields) { return py::module_::import("types").attr("SimpleNamespace")(**fields); }

// A message of the log or of the rule check, with the fields of check --format json.
py::object Message(bool error, long category, const std::string& text, long line, long instance,
                   const std::string& attribute, const std::string& rule) {
  auto number = [](long n) { return n ? py::object(py::int_(n)) : py::none(); };
  py::dict d;
  d["severity"] = error ? "error" : "warning";
  d["category"] = category;
  d["text"] = Text(text.c_str());
  d["line"] = number(line);
  d["instance"] = number(instance);
  d["attribute"] = attribute.empty() ? py::none() : py::object(py::str(attribute));
  d["rule"] = rule.empty() ? py::none() : py::object(py::str(rule));
  return Namespace(d);
}

py::object Convert(const std::shared_ptr<State>& state, const cct_Type* value, int depth = 0);

py::object Reference(const std::shared_ptr<State>& state, cct_Instance* instance) {
  instance = Usable(instance);
  if (!instance) return py::none();
  return py::cast(Instance(state, instance));
}

// A value as Python holds it: unset None, LOGICAL unknown varnholt.Unknown, enumerations their
// value's name, lists as lists, references as Instance, a select as what it holds.
py::object Convert(const std::shared_ptr<State>& state, const cct_Type* value, int depth) {
  if (!value || !value->IsSet() || depth > 16) return py::none();
  switch (value->Kind()) {
    case cct_KIND_INTEGER: return py::int_(value->GetInteger());
    case cct_KIND_REAL: return py::float_(value->GetReal());
    case cct_KIND_BOOLEAN: return py::bool_(value->GetInteger() != 0);
    case cct_KIND_LOGICAL: {
      const long v = static_cast<const cct_LogicalType*>(value)->Get();
      return v < 0 ? py::reinterpret_borrow<py::object>(Unknown) : py::object(py::bool_(v > 0));
    }
    case cct_KIND_STRING:
    case cct_KIND_BINARY: return Text(value->GetString());
    case cct_KIND_ENUMERATION: {
      py::object name = Text(value->GetString());
      if (name.is_none()) return name;
      return py::str(Lower(py::cast<std::string>(name)));
    }
    case cct_KIND_ENTITY_REFERENCE:
      return Reference(state, static_cast<const cct_EntityType*>(value)->Get(0));
    case cct_KIND_INSTANCE: return Reference(state, const_cast<cct_Instance*>(static_cast<const cct_Instance*>(value)));
    case cct_KIND_SELECT: {
      const auto* select = static_cast<const cct_SelectType*>(value);
      cct_Type* held = select->Get(0, 0);
      if (!held) return py::none();
      py::object out = Convert(state, held, depth + 1);
      // A simple value in a select is written with its type's name: varnholt.typed() gives it.
      if (held->Kind() != cct_KIND_INSTANCE && held->Kind() != cct_KIND_ENTITY_REFERENCE && held->TypeName())
        out = Helper("_typed_value")(out, Lower(held->TypeName()));
      if (held->IsTemporary()) delete held;
      return out;
    }
    case cct_KIND_AGGREGATE: {
      const auto* aggregate = static_cast<const cct_AggregateType*>(value);
      py::list out;
      if (aggregate->Dimensions() == 1) {
        const auto* list = static_cast<const cct_AggregateType_1d*>(aggregate);
        for (uint32_t i = 0; i < list->Count(); ++i) {
          cct_Type* element = list->ElementObject(i);
          out.append(Convert(state, element, depth + 1));
          if (element && element->IsTemporary()) delete element;
        }
      } else {
        const auto* table = static_cast<const cct_AggregateType_2d*>(aggregate);
        for (uint32_t i = 0; i < table->Rows(); ++i) {
          py::list row;
          for (uint32_t j = 0; j < table->RowLength(i); ++j) {
            cct_Type* element = table->ElementObject(i, j);
            row.append(Convert(state, element, depth + 1));
            if (element && element->IsTemporary()) delete element;
          }
          out.append(row);
        }
      }
      return out;
    }
    default: return py::none();
  }
}

long Instance::AttributeIndex(const std::string& name) const {
  cct_Instance& i = Get();
  for (long k = 0; k < i.AttributeCount(); ++k)
    if (const char* n = i.AttributeName(k); n && name == n) return k;
  throw py::key_error("'" + Type() + "' has no attribute '" + name + "'");
}

// A parameter the attribute could not take is Kept (its text); a list is a List, whose elements
// can be set through it.
py::object Instance::Item(const std::string& name) const {
  const long k = AttributeIndex(name);
  cct_Instance& i = *instance_;
  if (const std::string* kept = i.AsWrittenText(k)) return Helper("Kept")(*kept);
  py::object value = Convert(state_, i.Attribute(k));
  if (py::isinstance<py::list>(value)) return Helper("List")(value, py::cast(*this), name);
  return value;
}

namespace {

// The text the shell's strict input rules read back to the Python value; empty when none does.
std::string InputText(const py::handle& value, bool select) {
  std::string text;
  if (value.ptr() == Unknown) {
    text = "UNKNOWN";
  } else if (py::isinstance<py::bool_>(value)) {
    text = value.cast<bool>() ? "TRUE" : "FALSE";
  } else if (py::isinstance<py::int_>(value)) {
    text = py::str(value).cast<std::string>();
  } else if (py::isinstance<py::float_>(value)) {
    text = varnholt::ExactReal(value.cast<double>());
    // A float stays a real: 12.0 is not taken where an integer is wanted, as "12.0" is not.
    if (text.find_first_of(".ein") == std::string::npos) text += ".0";
  } else if (py::isinstance<py::str>(value)) {
    text = value.cast<std::string>();
  } else if (py::hasattr(value, "text") && value.get_type().is(Helper("Kept"))) {
    text = value.attr("text").cast<std::string>();
  } else {
    throw py::type_error(std::string("a value of the file is an int, float, str, bool, varnholt.Unknown, ") +
                         "None or an Instance, not " + py::str(value.get_type().attr("__name__")).cast<std::string>());
  }
  const py::object type = py::getattr(value, "_varnholt_type", py::none());
  if (select && !type.is_none()) text = type.cast<std::string>() + "(" + text + ")";
  return text;
}

bool HoldsSelect(const cct_Instance& instance, long attribute) {
  const cct_Type* value = instance.Attribute(attribute);
  if (!value) return false;
  if (value->Kind() == cct_KIND_SELECT) return true;
  const auto* aggregate = dynamic_cast<const cct_AggregateType*>(value);
  return aggregate && aggregate->ElementDescriptor()->kind == cct_KIND_SELECT;
}

void Refused(const varnholt::EditOutcome& outcome) {
  if (outcome.Refused()) throw py::value_error(outcome.message);
  // Clearing a mandatory value is allowed, with the warning the desktop gives.
  if (!outcome.message.empty() && PyErr_WarnEx(PyExc_UserWarning, outcome.message.c_str(), 1) < 0)
    throw py::error_already_set();
}

}  // namespace

py::object Instance::Store(const std::string& name, long element, const py::handle& value) const {
  const long k = AttributeIndex(name);
  cct_Instance& i = *instance_;
  CDoc::LogRoute route(*state_->doc);
  const varnholt::ValueSlot slot{&i, k, element};
  if (value.is_none()) {
    Refused(varnholt::ClearValue(slot));
  } else if (py::isinstance<Instance>(value)) {
    const Instance& chosen = value.cast<const Instance&>();
    chosen.Get();
    const varnholt::InsertDialogData admissible(&i, k);
    const cct_Type* attribute = i.Attribute(k);
    if (element >= 0 || !attribute || attribute->Kind() != cct_KIND_ENTITY_REFERENCE)
      throw py::value_error(varnholt::SlotName(slot) + ": references in lists and selects are added with append");
    if (chosen.StateOf() != state_)
      throw py::value_error(varnholt::SlotName(slot) + ": the instance belongs to another document");
    if (!chosen.Pointer()->HasSupertype(admissible.admissibleId))
      throw py::value_error(varnholt::SlotName(slot) + ": " + chosen.Type() + " is not taken here; the value stays as it was");
    if (!varnholt::InsertValue(state_->Scope(), i, k, chosen.Pointer()).done)
      throw py::value_error(varnholt::SlotName(slot) + ": the reference cannot be set");
  } else if (py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value)) {
    // A whole list is set element by element, and all or nothing: a refused element brings the
    // ones set before it back.
    const cct_Type* attribute = i.Attribute(k);
    const auto* list = dynamic_cast<const cct_AggregateType_1d*>(attribute);
    const py::sequence items = py::reinterpret_borrow<py::sequence>(value);
    if (element >= 0 || !list)
      throw py::type_error(varnholt::SlotName(slot) + " is not a list");
    if (!list->IsSet() || list->Count() != items.size())
      throw py::value_error(varnholt::SlotName(slot) + " has " + std::to_string(list->IsSet() ? list->Count() : 0) +
                            " elements, not " + std::to_string(items.size()) + ": set them one by one or append");
    std::vector<varnholt::SlotEditor> before;
    for (size_t e = 0; e < items.size(); ++e) before.push_back(varnholt::DescribeSlot({&i, k, static_cast<long>(e)}));
    for (size_t e = 0; e < items.size(); ++e) {
      const varnholt::ValueSlot one{&i, k, static_cast<long>(e)};
      const varnholt::EditOutcome outcome = varnholt::SetValue(one, InputText(items[e], HoldsSelect(i, k)));
      if (outcome.Refused()) {
        for (size_t r = 0; r < e; ++r) varnholt::RestoreSlot({&i, k, static_cast<long>(r)}, before[r]);
        throw py::value_error(outcome.message);
      }
    }
  } else {
    Refused(varnholt::SetValue(slot, InputText(value, HoldsSelect(i, k))));
  }
  if (element < 0) return Item(name);
  py::list now = Item(name);
  return now[static_cast<size_t>(element)];
}

void Instance::Clear(const std::string& name, long element) const { Store(name, element, py::none()); }

py::object Instance::Append(const std::string& name, const py::handle& value) const {
  const long k = AttributeIndex(name);
  cct_Instance& i = *instance_;
  CDoc::LogRoute route(*state_->doc);
  const varnholt::ValueSlot slot{&i, k, -1};
  cct_Instance* chosen = nullptr;
  if (py::isinstance<Instance>(value)) {
    const Instance& other = value.cast<const Instance&>();
    other.Get();
    if (other.StateOf() != state_)
      throw py::value_error(varnholt::SlotName(slot) + ": the instance belongs to another document");
    const varnholt::InsertDialogData admissible(&i, k);
    if (admissible.admissibleId != varnholt::InsertDialogData::kAnyEntity &&
        !other.Pointer()->HasSupertype(admissible.admissibleId))
      throw py::value_error(varnholt::SlotName(slot) + ": " + other.Type() + " is not taken here; the value stays as it was");
    chosen = other.Pointer();
  }
  const std::string text = chosen ? std::string() : InputText(value, HoldsSelect(i, k));
  const varnholt::InsertResult inserted = varnholt::InsertValue(state_->Scope(), i, k, chosen);
  if (!inserted.done || inserted.element < 0)
    throw py::value_error(varnholt::SlotName(slot) + ": " +
                          (chosen ? "takes no such instance" : "takes no such element") + "; the value stays as it was");
  if (!chosen) {
    const varnholt::EditOutcome outcome = varnholt::SetValue({&i, k, inserted.element}, text);
    if (outcome.Refused()) {
      varnholt::RevertInsert(i, k, inserted);
      throw py::value_error(outcome.message);
    }
  }
  py::list now = Item(name);
  return now[static_cast<size_t>(inserted.element)];
}

class Document {
 public:
  explicit Document(std::shared_ptr<State> state) : state_(std::move(state)) {}

  State& Open() const {
    if (!state_ || !state_->doc) {
      PyErr_SetString(ClosedError, "the document is closed");
      throw py::error_already_set();
    }
    return *state_;
  }
  // The population goes now; views of it raise ClosedError from here on.
  void Close() {
    if (!state_) return;
    state_->doc.reset();
    state_->simulation.reset();
  }
  long Length() const {
    long n = 0;
    cct_Scope::ListCursor cursor;
    for (cct_Scope::Entry* e = Open().Scope().ListFirst(cursor); e; e = Open().Scope().ListNext(cursor))
      if (e->instance && !e->instance->IsKilled()) ++n;
    return n;
  }
  Instance At(long number) const {
    cct_Scope::Entry* entry = Open().Scope().FindEntry(std::to_string(number).c_str(), 1);
    cct_Instance* instance = entry ? Usable(entry->instance) : nullptr;
    if (!instance) throw py::key_error("#" + std::to_string(number));
    return Instance(state_, instance);
  }
  // Every instance (of the entity or its subtypes where given), in the order of the file.
  py::list Instances(const std::string& type) const {
    py::list out;
    cct_Scope& scope = Open().Scope();
    cct_Scope::ListCursor cursor;
    for (cct_Scope::Entry* e = scope.ListFirst(cursor); e; e = scope.ListNext(cursor)) {
      cct_Instance* instance = Usable(e->instance);
      if (instance && (type.empty() || varnholt::IsOfType(*instance, type))) out.append(Instance(state_, instance));
    }
    return out;
  }
  py::object Project() const {
    py::list projects = Instances("project");
    if (projects.empty()) return py::none();
    return projects[0];
  }
  std::string LogText() const { return Open().doc->LogText(); }

  // Saves as varnholt-cli convert does; the target keeps what it held when the save fails.
  void Save(const std::string& path) const {
    State& state = Open();
    const size_t before = state.doc->LogText().size();
    bool saved = false;
    {
      py::gil_scoped_release release;
      saved = state.doc->OnSaveDocument(path);
    }
    if (!saved) {
      const std::string log = state.doc->LogText();
      PyErr_SetString(PyExc_OSError,
                      ("\"" + path + "\" could not be saved\n" + log.substr(std::min(before, log.size()))).c_str());
      throw py::error_already_set();
    }
  }

  // The three header entities as one namespace of their attributes.
  py::object Header() const {
    py::dict d;
    if (cct_StepFile* file = Open().doc->StepFile()) {
      const cct_Instance* entities[] = {&file->FileDescription(), &file->FileName(), &file->FileSchema()};
      for (const cct_Instance* e : entities)
        for (long k = 0; k < e->AttributeCount(); ++k)
          if (const char* n = e->AttributeName(k)) d[py::str(n)] = Convert(state_, e->Attribute(k));
    }
    return Namespace(d);
  }

  // (instance, attribute, index) for every reference to the instance; index 0 for a single value.
  py::list Refs(const Instance& target) const {
    py::list out;
    State& state = Open();
    const char* name = target.Get().InstanceName();
    if (!name) return out;
    for (const varnholt::Referrer& r : state.Navigate().ReferencesTo(name)) {
      cct_Scope::Entry* entry = state.Scope().FindEntry(r.name.c_str(), 1);
      cct_Instance* from = entry ? Usable(entry->instance) : nullptr;
      if (from) out.append(py::make_tuple(Instance(state_, from), r.attributeName, r.element));
    }
    return out;
  }

  py::list Find(const std::string& type, const std::string& text, bool unreached) const {
    varnholt::FindQuery query;
    query.type = type;
    query.text = text;
    query.unreached = unreached;
    py::list out;
    for (cct_Instance* i : Open().Navigate().Find(query))
      if (Usable(i)) out.append(Instance(state_, i));
    return out;
  }

  // What differs from `other`, matched by structure as varnholt-cli diff matches.
  py::list Diff(const Document& other, double tolerance) const {
    if (tolerance < 0 || tolerance != tolerance) throw py::value_error("the tolerance is a number of at least 0");
    varnholt::DiffOptions options;
    options.tolerance = tolerance;
    const std::vector<varnholt::Difference> differences = varnholt::Compare(Open().Scope(), other.Open().Scope(), options);
    py::list out;
    auto number = [](long n) { return n ? py::object(py::int_(n)) : py::none(); };
    for (const varnholt::Difference& d : differences) {
      py::dict e;
      e["kind"] = varnholt::KindName(d.kind);
      e["path"] = Text(d.path.c_str());
      e["attribute"] = d.attribute.empty() ? py::none() : Text(d.attribute.c_str());
      e["old"] = d.hasOld ? Text(d.oldText.c_str()) : py::none();
      e["new"] = d.hasNew ? Text(d.newText.c_str()) : py::none();
      e["instance_a"] = number(d.instanceA);
      e["instance_b"] = number(d.instanceB);
      out.append(Namespace(e));
    }
    return out;
  }

  // The table of an entity as varnholt-cli table writes it: a dictionary per row, its cells' text.
  py::list Table(const std::string& entity, bool exact) const {
    varnholt::EntityTable table;
    std::string why;
    if (!table.Build(Open().Scope(), entity, exact, why)) throw py::value_error(why);
    std::vector<py::str> header;
    for (const std::string& h : table.Header()) header.emplace_back(h);
    py::list out;
    varnholt::TableRow row;
    for (size_t r = 0; r < table.RowCount(); ++r) {
      table.Row(r, row);
      py::dict d;
      for (size_t c = 0; c < header.size() && c < row.cells.size(); ++c) {
        const std::string cell(row.CellText(c));
        d[header[c]] = Text(cell.c_str());
      }
      out.append(d);
    }
    return out;
  }

  // The rule findings as the log's messages are given.
  py::list CheckRules() const {
    const varnholt::rules::Report report = varnholt::rules::Check(Open().Scope());
    py::list out;
    for (const varnholt::rules::Finding& f : report.findings) {
      out.append(Message(f.severity == varnholt::rules::Severity::Error, 0, varnholt::rules::FindingText(f), f.line,
                         f.instance, f.attribute, f.rule));
    }
    return out;
  }

  varnholt::Program Program(const py::object& units) const {
    varnholt::ProgramOptions options;
    if (!units.is_none()) {
      options.unitsGiven = varnholt::ParseUnits(py::cast<std::string>(units), options.units);
      if (!options.unitsGiven) throw py::value_error("units are 'si' or 'shop'");
    }
    CDoc::LogRoute route(*Open().doc);
    return varnholt::BuildProgram(Open().Scope(), options);
  }

  // The program read only: per workingstep its feature, operation and tool, feed and spindle
  // speed and the moves as `varnholt-cli scene --format json` gives them.
  py::object ProgramView(const py::object& units) const {
    const varnholt::Program program = Program(units);
    const py::object record = Helper("Record");
    const py::object loads = py::module_::import("json").attr("loads");
    auto instance = [&](const std::string& name) -> py::object {
      if (name.size() < 2) return py::none();
      try {
        return py::cast(At(std::stol(name.substr(1))));
      } catch (const std::exception&) {
        return py::none();
      }
    };
    auto number = [](double v) { return std::isfinite(v) ? py::object(py::float_(v)) : py::none(); };
    static const char* hands[] = {nullptr, "right", "left", "neutral"};
    py::list steps;
    for (const varnholt::ProgramStep& step : program.steps) {
      py::dict d;
      d["instance"] = instance(step.name);
      d["its_id"] = step.label;
      d["feature"] = step.feature.empty() ? py::none()
                                          : record(**py::dict(py::arg("instance") = instance(step.feature),
                                                              py::arg("type") = step.featureType));
      d["operation"] = step.operation.empty() ? py::none()
                                              : record(**py::dict(py::arg("instance") = instance(step.operation),
                                                                  py::arg("type") = step.operationType));
      if (step.tool.name.empty()) {
        d["tool"] = py::none();
      } else {
        const char* hand = hands[static_cast<int>(step.tool.hand)];
        d["tool"] = record(**py::dict(
            py::arg("instance") = instance(step.tool.name), py::arg("its_id") = step.tool.id,
            py::arg("diameter") = number(step.tool.diameter > 0 ? step.tool.diameter : NAN),
            py::arg("corner_radius") = number(step.tool.hasCornerRadius ? step.tool.cornerRadius : NAN),
            py::arg("teeth") = step.tool.teeth > 0 ? py::object(py::int_(step.tool.teeth)) : py::none(),
            py::arg("hand") = hand ? py::object(py::str(hand)) : py::none()));
      }
      // The feed of its first cutting move that has one.
      double feed = NAN;
      for (const varnholt::Move& move : step.moves)
        if ((move.kind == varnholt::MoveKind::Feed || move.kind == varnholt::MoveKind::Arc) && std::isfinite(move.feed)) {
          feed = move.feed;
          break;
        }
      d["feed"] = number(feed);
      d["spindle"] = number(step.spindle);
      std::ostringstream moves;
      moves << "[";
      for (size_t i = 0; i < step.moves.size(); ++i) {
        if (i) moves << ",";
        varnholt::WriteMoveJson(step.moves[i], moves);
      }
      moves << "]";
      d["moves"] = py::tuple(loads(moves.str()));
      d["reason"] = step.reason.empty() ? py::none() : py::object(py::str(step.reason));
      steps.append(record(**d));
    }
    return record(**py::dict(py::arg("workingsteps") = py::tuple(steps),
                             py::arg("units") = varnholt::UnitName(program.units.system)));
  }

  // The program as G-code; ValueError naming what cannot be written unless partial output is
  // asked, and the workingsteps of implausible feeds or speeds unless they are accepted.
  std::string Gcode(const std::string& dialect, bool allowPartial, const py::object& units,
                    bool acceptImplausible) const {
    varnholt::GcodeOptions options;
    if (dialect == "fanuc") options.dialect = varnholt::Dialect::Fanuc;
    else if (dialect != "linuxcnc") throw py::value_error("the dialect is 'linuxcnc' or 'fanuc'");
    options.allowPartial = allowPartial;
    options.acceptImplausible = acceptImplausible;
    const varnholt::GcodeResult result = varnholt::WriteGcode(Program(units), options);
    if (!result.ok) {
      std::string why;
      if (!allowPartial)
        for (const std::string& p : result.problems) why += "\n" + p;
      if (!acceptImplausible)
        for (const std::string& p : result.implausible) why += "\nimplausible: " + p;
      throw py::value_error("the program cannot be written:" + why);
    }
    return result.text;
  }

  // The machining time as `varnholt-cli time --format json` gives it.
  py::object MachiningTime(double rapid, double toolChange, const py::object& units) const {
    std::ostringstream json;
    varnholt::WriteTimeJson(varnholt::MachiningTime(Program(units), rapid, toolChange), json);
    return py::module_::import("json").attr("loads")(json.str());
  }

  // The program run on the workpiece's stock, as `varnholt-cli simulate --format json` gives it;
  // the stock it leaves is kept for stock_mesh(). ValueError where nothing can be simulated.
  py::object Simulate(const py::object& resolution, const py::object& until) const {
    State& state = Open();
    varnholt::SimulateOptions options;
    if (!resolution.is_none()) {
      const double r = py::cast<double>(resolution);
      if (!std::isfinite(r) || r < 0.001 || r > 100) throw py::value_error("the resolution is a length in mm from 0.001 to 100");
      options.resolution = r;
    }
    if (py::isinstance<py::int_>(until)) options.until = "#" + std::to_string(py::cast<long>(until));
    else if (!until.is_none()) options.until = py::cast<std::string>(until);
    options.volumes = [](const varnholt::Model& model, int index, std::string& why) {
      return varnholt::MakeFeatureVolume(model, index, why);
    };
    auto result = std::make_shared<varnholt::SimulateResult>();
    {
      CDoc::LogRoute route(*state.doc);
      const varnholt::Model model = varnholt::ReadModel(state.Scope());
      const varnholt::Program program = varnholt::BuildProgram(model);
      if (!program.hasProject) throw py::value_error("the file has no project: nothing is machined");
      const varnholt::GcodeResult gcode = varnholt::WriteGcode(program, varnholt::SimulationGcodeOptions());
      // The stock is cut without the population's objects: other Python threads go on meanwhile.
      py::gil_scoped_release release;
      *result = varnholt::Simulate(model, program, gcode, options);
    }
    if (!result->ok) throw py::value_error(result->error);
    if (!options.until.empty())
      for (const std::string& note : result->notes)
        if (note.rfind("no workingstep ", 0) == 0) throw py::value_error(note);
    state.simulation = result;
    std::ostringstream json;
    varnholt::WriteSimulateJson(*result, json);
    return py::module_::import("json").attr("loads")(json.str());
  }

  // The last simulation's stock as (vertices, triangles): float64 (n, 3) in the workpiece's
  // system, as the STL has them, and int64 (m, 3), each triangle's corners counter-clockwise
  // seen from outside.
  py::tuple StockMesh() const {
    const State& state = Open();
    if (!state.simulation) throw py::value_error("nothing has been simulated: call simulate() first");
    varnholt::StockTriangles mesh;
    std::string why;
    {
      py::gil_scoped_release release;
      if (!varnholt::StockMesh(*state.simulation, mesh, why)) mesh.triangles.clear();
    }
    if (!why.empty()) throw py::value_error(why);
    py::array_t<double> vertices({static_cast<py::ssize_t>(mesh.vertices.size()), py::ssize_t(3)});
    auto v = vertices.mutable_unchecked<2>();
    for (size_t i = 0; i < mesh.vertices.size(); ++i) {
      const py::ssize_t r = static_cast<py::ssize_t>(i);
      v(r, 0) = mesh.vertices[i].x;
      v(r, 1) = mesh.vertices[i].y;
      v(r, 2) = mesh.vertices[i].z;
    }
    py::array_t<int64_t> triangles({static_cast<py::ssize_t>(mesh.triangles.size()), py::ssize_t(3)});
    auto t = triangles.mutable_unchecked<2>();
    for (size_t i = 0; i < mesh.triangles.size(); ++i)
      for (py::ssize_t k = 0; k < 3; ++k) t(static_cast<py::ssize_t>(i), k) = mesh.triangles[i][static_cast<size_t>(k)];
    return py::make_tuple(vertices, triangles);
  }

  // The placed scene: each path with its points as an (n, 3) numpy array where numpy is there.
  py::list Scene() const {
    varnholt::Scene scene;
    {
      CDoc::LogRoute route(*Open().doc);
      scene = varnholt::BuildScene(Open().Scope());
    }
    static const char* kinds[] = {"workpiece", "feature", "marker", "toolpath", "security_plane", "generated", "rapid"};
    py::object numpy = py::none();
    try {
      numpy = py::module_::import("numpy");
    } catch (const py::error_already_set&) {
      PyErr_Clear();
    }
    py::list out;
    for (const varnholt::ScenePath& path : scene.paths) {
      py::list points;
      for (const varnholt::Vec3& p : path.points) points.append(py::make_tuple(p.x, p.y, p.z));
      py::dict d;
      d["kind"] = kinds[static_cast<int>(path.kind)];
      d["source"] = path.source;
      d["workingstep"] = path.workingstep >= 0 && static_cast<size_t>(path.workingstep) < scene.workingsteps.size()
                             ? py::object(py::str(scene.workingsteps[static_cast<size_t>(path.workingstep)].name))
                             : py::none();
      d["closed"] = path.closed;
      d["points"] = numpy.is_none() ? py::object(points) : numpy.attr("array")(points, "float64").attr("reshape")(-1, 3);
      out.append(Namespace(d));
    }
    return out;
  }
  py::list Log() const {
    py::list out;
    for (const varnholt::Message& m : varnholt::ParseLog(LogText())) {
      out.append(Message(m.error, m.category, m.text, m.line, m.instance, m.attribute, m.rule));
    }
    return out;
  }

 private:
  std::shared_ptr<State> state_;
};

Document OpenDocument(const std::string& path) {
  auto state = std::make_shared<State>();
  state->doc = std::make_unique<CDoc>();
  bool opened = false;
  {
    // Reading a large file takes a while: other Python threads go on meanwhile.
    py::gil_scoped_release release;
    opened = state->doc->OnOpenDocument(path.c_str());
  }
  if (!opened) {
    const std::string log = state->doc->LogText();
    PyErr_SetString(OpenError, ("\"" + path + "\" could not be opened\n" + log).c_str());
    throw py::error_already_set();
  }
  return Document(state);
}

}  // namespace

PYBIND11_MODULE(varnholt, m) {
  m.doc() = "ISO 14649 (STEP-NC) exchange files: read, check and inspect them as the desktop program does";
  RegisterTypeNames();
  RegisterEntityNames();
  OpenError = PyErr_NewException("varnholt.OpenError", PyExc_OSError, nullptr);
  ClosedError = PyErr_NewException("varnholt.ClosedError", PyExc_RuntimeError, nullptr);
  m.attr("OpenError") = py::reinterpret_borrow<py::object>(OpenError);
  m.attr("ClosedError") = py::reinterpret_borrow<py::object>(ClosedError);
  // LOGICAL's third value.
  Unknown = py::module_::import("types").attr("SimpleNamespace")().release().ptr();
  m.attr("Unknown") = py::reinterpret_borrow<py::object>(Unknown);

  // What is plain Python (the kept text, the list that writes through, the typed values).
  py::dict helpers;
  helpers["__name__"] = "varnholt";
  py::exec(kPythonSide, helpers);
  Helpers = helpers.release().ptr();
  for (const char* name : {"Kept", "List", "typed", "Record"}) m.attr(name) = Helper(name);

  py::class_<Instance>(m, "Instance")
      .def_property_readonly("id", &Instance::Id)
      .def_property_readonly("type", &Instance::Type)
      .def_property_readonly("types", &Instance::Types)
      .def_property_readonly("line", &Instance::Line)
      .def_property_readonly("raw", &Instance::Raw)
      .def_property_readonly("kept", [](const Instance& i) { return i.KeptRecord() != nullptr; })
      .def_property_readonly("parameters", &Instance::Parameters)
      .def_property_readonly("extra", &Instance::Extra)
      .def("attributes", &Instance::Attributes)
      .def("__getitem__", &Instance::Item)
      .def("__getattr__", [](const Instance& i, const std::string& name) {
        try {
          return i.Item(name);
        } catch (const py::key_error&) {
          throw py::attribute_error("'" + i.Type() + "' has no attribute '" + name + "'");
        }
      })
      .def("__setitem__", [](const Instance& i, const std::string& name, const py::object& v) { i.Store(name, -1, v); })
      .def("__delitem__", [](const Instance& i, const std::string& name) { i.Clear(name, -1); })
      .def("__setattr__", [](const Instance& i, const std::string& name, const py::object& v) {
        try {
          i.Store(name, -1, v);
        } catch (const py::key_error&) {
          throw py::attribute_error("'" + i.Type() + "' has no attribute '" + name + "'");
        }
      })
      .def("__delattr__", [](const Instance& i, const std::string& name) {
        try {
          i.Clear(name, -1);
        } catch (const py::key_error&) {
          throw py::attribute_error("'" + i.Type() + "' has no attribute '" + name + "'");
        }
      })
      .def("_set_element", [](const Instance& i, const std::string& name, long element, const py::object& v) {
        return i.Store(name, element, v);
      })
      .def("_append", &Instance::Append)
      .def("__repr__", &Instance::Repr)
      .def("__eq__", &Instance::Equals)
      .def("__hash__", &Instance::Hash);

  py::class_<Document>(m, "Document")
      .def("__len__", &Document::Length)
      .def("__getitem__", &Document::At)
      .def("instances", [](const Document& d) { return d.Instances(""); })
      .def("by_type", &Document::Instances, py::arg("type"))
      .def_property_readonly("project", &Document::Project)
      .def_property_readonly("log", &Document::Log)
      .def_property_readonly("log_text", &Document::LogText)
      .def_property_readonly("header", &Document::Header)
      .def("refs", &Document::Refs, py::arg("instance"))
      .def("find", &Document::Find, py::arg("type") = "", py::arg("text") = "", py::arg("unreached") = false)
      .def("check_rules", &Document::CheckRules)
      .def("diff", &Document::Diff, py::arg("other"), py::arg("tolerance") = 0.0)
      .def("table", &Document::Table, py::arg("type"), py::arg("exact") = false)
      .def("gcode", &Document::Gcode, py::arg("dialect") = "linuxcnc", py::arg("allow_partial") = false,
           py::arg("units") = py::none(), py::arg("accept_implausible") = false)
      .def("machining_time", &Document::MachiningTime, py::arg("rapid") = 5000.0, py::arg("tool_change") = 5.0,
           py::arg("units") = py::none())
      .def("scene", &Document::Scene)
      .def("program", &Document::ProgramView, py::arg("units") = py::none())
      .def("simulate", &Document::Simulate, py::arg("resolution") = py::none(), py::arg("until") = py::none())
      .def("stock_mesh", &Document::StockMesh)
      .def("save", &Document::Save, py::arg("path"))
      .def("close", &Document::Close)
      .def("__enter__", [](Document& d) -> Document& { return d; }, py::return_value_policy::reference)
      .def("__exit__", [](Document& d, py::args) { d.Close(); })
      .def("__iter__", [](const Document& d) { return d.Instances("").attr("__iter__")(); });

  py::module_::import("atexit").attr("register")(py::cpp_function([] { exiting = true; }));
  m.def("open", &OpenDocument, py::arg("path"), "Opens an exchange file as the desktop program does.");
}
