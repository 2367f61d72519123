// The Python module `varnholt`: thin views over the same documents, values and log the desktop
// program and varnholt-cli use. Nothing of the population is copied into Python objects: an
// Instance is a handle (its document and the instance) made when asked for. A view keeps its
// document's state alive, so `varnholt.open(path).project` stays usable; closing the document
// frees the population, and every access first checks that it is still open.
#include <Python.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

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
#include "varnholt/diagnostics.h"
#include "varnholt/doc.h"
#include "varnholt/navigation.h"

namespace py = pybind11;

namespace {

// A document while it is open; gone when closed or when its Document is collected.
struct State {
  std::unique_ptr<CDoc> doc;
  cct_Scope& Scope() const { return *doc->Scope(); }
};

// The module's exceptions and LOGICAL's unknown, alive as long as the interpreter: kept as plain
// pointers, since a py::object would be released after the interpreter has ended.
PyObject* ClosedError = nullptr;
PyObject* OpenError = nullptr;
PyObject* Unknown = nullptr;

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
    std::string out = name ? name : "";
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
  }
  std::vector<std::string> Types() const {
    std::vector<std::string> out{Type()};
    if (const char* const* names = Get().SupertypeNames())
      for (; *names && **names; ++names) {
        std::string n = *names;
        for (char& c : n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
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
  std::string Raw() const { return varnholt::RecordText(Get()); }
  std::string Repr() const {
    cct_Instance& i = Get();
    std::string out = "<" + Type() + " #" + std::to_string(Id());
    for (long k = 0; k < i.AttributeCount(); ++k)
      if (const char* n = i.AttributeName(k); n && (!std::strcmp(n, "its_id") || !std::strcmp(n, "name"))) {
        const cct_Type* v = i.Attribute(k);
        if (v && v->IsSet() && v->Kind() == cct_KIND_STRING && v->GetString())
          out += std::string(" '") + v->GetString() + "'";
        break;
      }
    return out + ">";
  }
  bool Equals(const Instance& other) const { return instance_ == other.instance_ && state_ == other.state_; }
  std::size_t Hash() const { return std::hash<const void*>()(instance_); }
  const std::shared_ptr<State>& StateOf() const { return state_; }

 private:
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
      std::string text = py::cast<std::string>(name);
      for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return py::str(text);
    }
    case cct_KIND_ENTITY_REFERENCE:
      return Reference(state, static_cast<const cct_EntityType*>(value)->Get(0));
    case cct_KIND_INSTANCE: return Reference(state, const_cast<cct_Instance*>(static_cast<const cct_Instance*>(value)));
    case cct_KIND_SELECT: {
      const auto* select = static_cast<const cct_SelectType*>(value);
      cct_Type* held = select->Get(0, 0);
      if (!held) return py::none();
      py::object out = Convert(state, held, depth + 1);
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

py::object Instance::Item(const std::string& name) const {
  cct_Instance& i = Get();
  for (long k = 0; k < i.AttributeCount(); ++k)
    if (const char* n = i.AttributeName(k); n && name == n) return Convert(state_, i.Attribute(k));
  throw py::key_error("'" + Type() + "' has no attribute '" + name + "'");
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
    if (state_) state_->doc.reset();
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
  py::list Log() const {
    py::list out;
    for (const varnholt::Message& m : varnholt::ParseLog(LogText())) {
      py::dict d;
      d["severity"] = m.error ? "error" : "warning";
      d["category"] = m.category;
      d["text"] = Text(m.text.c_str());
      d["line"] = m.line ? py::object(py::int_(m.line)) : py::none();
      d["instance"] = m.instance ? py::object(py::int_(m.instance)) : py::none();
      d["attribute"] = m.attribute.empty() ? py::none() : py::object(py::str(m.attribute));
      d["rule"] = m.rule.empty() ? py::none() : py::object(py::str(m.rule));
      out.append(py::module_::import("types").attr("SimpleNamespace")(**d));
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

  py::class_<Instance>(m, "Instance")
      .def_property_readonly("id", &Instance::Id)
      .def_property_readonly("type", &Instance::Type)
      .def_property_readonly("types", &Instance::Types)
      .def_property_readonly("line", &Instance::Line)
      .def_property_readonly("raw", &Instance::Raw)
      .def("attributes", &Instance::Attributes)
      .def("__getitem__", &Instance::Item)
      .def("__getattr__", [](const Instance& i, const std::string& name) {
        try {
          return i.Item(name);
        } catch (const py::key_error&) {
          throw py::attribute_error("'" + i.Type() + "' has no attribute '" + name + "'");
        }
      })
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
      .def("close", &Document::Close)
      .def("__enter__", [](Document& d) -> Document& { return d; }, py::return_value_policy::reference)
      .def("__exit__", [](Document& d, py::args) { d.Close(); })
      .def("__iter__", [](const Document& d) { return d.Instances("").attr("__iter__")(); });

  m.def("open", &OpenDocument, py::arg("path"), "Opens an exchange file as the desktop program does.");
}
