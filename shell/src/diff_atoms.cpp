#include "diff_atoms.h"

#include <cstring>

#include "cct/aggr.h"
#include "cct/entitytype.h"
#include "cct/instance.h"
#include "cct/selecttype.h"
#include "varnholt/valuetext.h"

namespace varnholt::diff_detail {

namespace {

class Emitter {
 public:
  explicit Emitter(Atoms& out) : out_(out) {}

  void Value(const cct_Type* v) {
    if (!v) return Push(Tag::Unset);
    const long kind = v->Kind();
    if (kind == cct_KIND_INSTANCE || kind == cct_KIND_PLACEHOLDER) {
      const auto* instance = static_cast<const cct_Instance*>(v);
      if (cct_Scope::Entry* entry = instance->GetEntry()) return Ref(entry);
      return Text(Tag::Name, instance->InstanceName());
    }
    if (!v->IsSet()) return Push(Tag::Unset);
    switch (kind) {
      case cct_KIND_INTEGER: return Integer(Tag::Integer, v->GetInteger());
      case cct_KIND_REAL: return Real(v->GetReal());
      case cct_KIND_LOGICAL: return Integer(Tag::Logical, v->GetInteger());
      case cct_KIND_BOOLEAN: return Integer(Tag::Boolean, v->GetInteger());
      case cct_KIND_ENUMERATION: return Text(Tag::Enum, v->GetString());
      case cct_KIND_STRING: return Text(Tag::String, v->GetString());
      case cct_KIND_BINARY: return Text(Tag::Binary, v->GetString());
      case cct_KIND_ENTITY_REFERENCE: {
        const auto* reference = static_cast<const cct_EntityType*>(v);
        if (cct_Scope::Entry* entry = reference->GetEntry()) return Ref(entry);
        if (cct_Instance* held = reference->GetDirect(1))
          if (cct_Scope::Entry* entry = held->GetEntry()) return Ref(entry);
        return Text(Tag::Name, reference->Name());
      }
      case cct_KIND_SELECT: {
        const auto* select = static_cast<const cct_SelectType*>(v);
        if (cct_Scope::Entry* entry = select->GetEntry()) return Ref(entry);
        Integer(Tag::Select, select->HeldTypeId());
        cct_Type* held = select->Get(0, 0);
        Value(held);
        if (held && held->IsTemporary()) delete held;
        return;
      }
      case cct_KIND_AGGREGATE: return List(*static_cast<const cct_AggregateType*>(v), false);
      default: return Text(Tag::Text, SavedText(*v).c_str());
    }
  }

  /// An attribute's value: a set list of it marks its elements.
  void TopValue(const cct_Type* v) {
    if (v && v->IsSet() && v->Kind() == cct_KIND_AGGREGATE)
      return List(*static_cast<const cct_AggregateType*>(v), true);
    Value(v);
  }

  void Push(Tag tag) {
    Atom atom{};
    atom.tag = tag;
    atom.element = element_;
    atom.integer = 0;
    out_.list.push_back(atom);
  }
  void Integer(Tag tag, long long value) {
    Push(tag);
    out_.list.back().integer = value;
  }
  void Real(double value) {
    Push(Tag::Real);
    out_.list.back().real = value;
  }
  void Ref(cct_Scope::Entry* entry) {
    Push(Tag::Ref);
    out_.list.back().ref = entry;
  }
  void Text(Tag tag, const char* text) { Text(tag, std::string_view(text ? text : "")); }
  void Text(Tag tag, std::string_view text) {
    Push(tag);
    Atom& atom = out_.list.back();
    atom.textAt = static_cast<uint32_t>(out_.text.size());
    atom.textLength = static_cast<uint32_t>(text.size());
    out_.text.append(text);
  }

 private:
  void List(const cct_AggregateType& list, bool top) {
    const cct_BaseTypeDescriptor* d = list.ElementDescriptor();
    if (list.Dimensions() == 1) {
      const auto& one = static_cast<const cct_AggregateType_1d&>(list);
      const uint32_t count = one.Count();
      Integer(Tag::Open, count);
      if (top) {
        out_.isList = true;
        out_.count = count;
        out_.starts.reserve(count + 1);
      }
      for (uint32_t i = 0; i < count; ++i) {
        if (top) {
          element_ = i;
          out_.starts.push_back(static_cast<uint32_t>(out_.list.size()));
        }
        Element(list, one.Element(i), d, one.SizeOfElement());
      }
      if (top) {
        element_ = kNoElement;
        out_.starts.push_back(static_cast<uint32_t>(out_.list.size()));
      }
      Push(Tag::Close);
      return;
    }
    const auto& two = static_cast<const cct_AggregateType_2d&>(list);
    Integer(Tag::Open, two.Rows());
    for (uint32_t i = 0; i < two.Rows(); ++i) {
      Integer(Tag::Open, two.RowLength(i));
      for (uint32_t j = 0; j < two.RowLength(i); ++j)
        Element(list, two.Element(i, j), d, two.SizeOfElement());
      Push(Tag::Close);
    }
    Push(Tag::Close);
  }

  // The usual element kinds straight from storage (a file's coordinates and point lists
  // would otherwise make an object per element); the rest through the element's object.
  void Element(const cct_AggregateType& list, const void* raw, const cct_BaseTypeDescriptor* d,
               uint32_t size) {
    switch (d->kind) {
      case cct_KIND_REAL:
        if (size == sizeof(double)) {
          double v;
          std::memcpy(&v, raw, sizeof v);
          return Real(v);
        }
        break;
      case cct_KIND_INTEGER:
        if (size == sizeof(int32_t)) {
          int32_t v;
          std::memcpy(&v, raw, sizeof v);
          return Integer(Tag::Integer, v);
        }
        break;
      case cct_KIND_ENTITY_REFERENCE:
        if (list.Flags() & cct_FLAG_VIA_ENTRY) {
          cct_Scope::Entry* entry = list.ElementEntry(raw);
          return entry ? Ref(entry) : Push(Tag::Unset);
        }
        break;
      default: break;
    }
    cct_Type* object = list.MakeElementObject(raw, d);
    Value(object);
    if (object && object->IsTemporary()) delete object;
  }

  Atoms& out_;
  uint32_t element_ = kNoElement;
};

bool NameCharacter(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

}  // namespace

void TextAtoms(cct_Scope* scope, std::string_view text, Atoms& out) {
  Emitter emit(out);
  std::string piece;
  auto flush = [&] {
    if (!piece.empty()) emit.Text(Tag::Text, std::string_view(piece));
    piece.clear();
  };
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '\'') {
      // A string is copied whole, "#" and all, its doubled quotes with it.
      size_t end = i + 1;
      while (end < text.size()) {
        if (text[end] == '\'') {
          if (end + 1 < text.size() && text[end + 1] == '\'') {
            end += 2;
            continue;
          }
          break;
        }
        ++end;
      }
      const size_t stop = end < text.size() ? end + 1 : end;
      piece.append(text.substr(i, stop - i));
      i = stop;
      continue;
    }
    if (c == '#' && i + 1 < text.size() && NameCharacter(text[i + 1])) {
      size_t end = i + 1;
      while (end < text.size() && NameCharacter(text[end])) ++end;
      flush();
      const std::string name(text.substr(i + 1, end - i - 1));
      cct_Scope::Entry* entry = scope ? scope->FindEntry(name.c_str(), 0) : nullptr;
      if (entry)
        emit.Ref(entry);
      else
        emit.Text(Tag::Name, std::string_view(name));
      i = end;
      continue;
    }
    piece += c;
    ++i;
  }
  flush();
}

void AttributeAtoms(const cct_Instance& instance, long i, Atoms& out) {
  out.Clear();
  if (instance.Flags() & cct_FLAG_AS_WRITTEN)
    if (const std::string* kept = instance.AsWrittenText(i)) {
      TextAtoms(instance.GetScope(), *kept, out);
      return;
    }
  Emitter(out).TopValue(instance.Attribute(i));
}

std::string AttributeText(const cct_Instance& instance, long i, long k) {
  if (instance.Flags() & cct_FLAG_AS_WRITTEN)
    if (const std::string* kept = instance.AsWrittenText(i)) return *kept;
  const cct_Type* value = instance.Attribute(i);
  if (!value) return "$";
  if (k < 0 || value->Kind() != cct_KIND_AGGREGATE) return SavedText(*value);
  const auto* list = dynamic_cast<const cct_AggregateType_1d*>(value);
  if (!list || static_cast<unsigned long>(k) >= list->Count()) return SavedText(*value);
  cct_Type* element = list->ElementObject(static_cast<unsigned long>(k));
  const std::string text = element ? SavedText(*element) : std::string("$");
  if (element && element->IsTemporary()) delete element;
  return text;
}

}  // namespace varnholt::diff_detail
