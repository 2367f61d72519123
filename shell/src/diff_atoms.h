// The comparison's view of a value: a flat sequence of atoms (simple values, references to
// scope entries, list brackets), so that two values compare by one loop whatever their form,
// reals within a tolerance and references through the pairing of their targets. Internal to
// the comparison (diff*.cpp).
#ifndef VARNHOLT_DIFF_ATOMS_H
#define VARNHOLT_DIFF_ATOMS_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cct/scope.h"

class cct_Instance;
class cct_Type;

namespace varnholt::diff_detail {

enum class Tag : uint8_t {
  Unset,    // $
  Integer,  // integer: the value
  Real,     // real
  Logical,  // integer: -1, 0, 1
  Boolean,
  Enum,     // text: the value's name
  String,
  Binary,
  Select,   // integer: the type id of what the select holds; its atoms follow
  Ref,      // ref: the entry of the instance referred to
  Name,     // text: a name referred to that the scope has no entry for
  Open,     // integer: the number of elements
  Close,
  Text,     // text kept as written (outside its references)
};

struct Atom {
  Tag tag;
  uint32_t element;  // the top-level list element it belongs to; kNoElement outside a list
  union {
    long long integer;
    double real;
    cct_Scope::Entry* ref;
  };
  uint32_t textAt = 0, textLength = 0;  // into Atoms::text
};

constexpr uint32_t kNoElement = 0xFFFFFFFFu;

/// The atoms of one attribute (or a kept record).
struct Atoms {
  std::vector<Atom> list;
  std::string text;
  /// Set when the value is a set one-dimensional list: its element count, and where each
  /// element's atoms start in `list` (one more entry: the closing bracket).
  bool isList = false;
  uint32_t count = 0;
  std::vector<uint32_t> starts;

  void Clear() {
    list.clear();
    text.clear();
    isList = false;
    count = 0;
    starts.clear();
  }
  std::string_view TextOf(const Atom& atom) const { return {text.data() + atom.textAt, atom.textLength}; }
};

/// The atoms of attribute `i` of the instance: of the text kept as written in its place if
/// there is one, else of its value.
void AttributeAtoms(const cct_Instance& instance, long i, Atoms& out);
/// The atoms of a text as it stands in a file (a kept record, a kept parameter): its
/// references, and the text around them.
void TextAtoms(cct_Scope* scope, std::string_view text, Atoms& out);

/// The text of attribute i as a save writes it ("$" when unset); of element k of its list
/// when k >= 0.
std::string AttributeText(const cct_Instance& instance, long i, long k = -1);

}  // namespace varnholt::diff_detail

#endif
