// The rule notation: a condition parsed once into a tree, and its evaluation over one instance
// in three-valued logic. Only reads the model.
#ifndef VARNHOLT_RULES_EXPR_H
#define VARNHOLT_RULES_EXPR_H

#include <memory>
#include <string>
#include <utility>
#include <vector>

class cct_Instance;
class cct_Type;

namespace varnholt::rules {

/// TRUE, FALSE or UNKNOWN.
enum class Logic { False, True, Unknown };

/// What an expression gives: nothing (indeterminate), a logical, a number, a text (strings and
/// enumeration values), an instance, a list, or a set of type names (a TYPEOF).
struct Value {
  enum Kind { Indeterminate, Logical, Number, Text, Instance, List, Types } kind = Indeterminate;
  Logic logic = Logic::Unknown;
  double number = 0;
  std::string text;
  const cct_Instance* instance = nullptr;
  std::vector<Value> list;  // the members, or for Types the names asked about
  bool integer = false;     // a number read from an INTEGER

  static Value Of(Logic l) { Value v; v.kind = Logical; v.logic = l; return v; }
  static Value Of(double n) { Value v; v.kind = Number; v.number = n; return v; }
};

/// A value of the model as the evaluator sees it (references and selects resolved, lists
/// with their members, unset values indeterminate).
Value FromModel(const cct_Type* value, int depth = 0);
/// Attribute `name` of the instance (inherited ones included); null when it has none.
const cct_Type* AttributeNamed(const cct_Instance& instance, const std::string& name);
/// A value written for a person: 12.5, 'text', #12, (1, 2), ?.
std::string Show(const Value& value);

struct Node;

/// A parsed condition. Parse errors are thrown as std::runtime_error naming the place.
class Condition {
 public:
  explicit Condition(const std::string& text);
  ~Condition();
  Condition(Condition&&) noexcept;
  Condition& operator=(Condition&&) noexcept;

  /// The condition on `self` (an instance, or a number for a type rule). `found` receives the
  /// attribute paths of SELF the condition read, with what they held, in first-read order.
  Logic Evaluate(const Value& self, std::vector<std::pair<std::string, std::string>>* found = nullptr) const;
  /// The attributes of SELF the condition names directly, in order of first mention.
  const std::vector<std::string>& Attributes() const { return attributes_; }

 private:
  std::unique_ptr<Node> root_;
  std::vector<std::string> attributes_;
};

}  // namespace varnholt::rules

#endif
