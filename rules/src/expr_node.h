// The parsed form of a condition in the rule notation, shared by its parser (expr_parse.cpp)
// and its evaluator (expr.cpp). Internal to the rules.
#ifndef VARNHOLT_RULES_EXPR_NODE_H
#define VARNHOLT_RULES_EXPR_NODE_H

#include <memory>
#include <string>
#include <vector>

namespace varnholt::rules {

constexpr int kMaxDepth = 64;  // nesting of the expression and of the model walk

struct Node {
  enum Op {
    Number, String, Self, Name, Attribute, As, Index, Negate, Size, Not,
    And, Or, Xor, Implies, Add, Sub, Mul, Div, Eq, Ne, Lt, Le, Gt, Ge, Same,
    Call, Count, All, TypeList, Range
  } op;
  double number = 0;
  std::string text;      // names, strings, the function's name, the bound variable
  std::string label;     // for an attribute path of SELF: how it is written
  std::vector<std::unique_ptr<Node>> kids;  // operands; quantifiers: collection, [filter], predicate
  bool filtered = false;
};

/// The tree of a condition; the attributes of SELF it names directly are added to
/// `attributes` in order of first mention. Errors are thrown as std::runtime_error naming the
/// place.
std::unique_ptr<Node> ParseCondition(const std::string& text, std::vector<std::string>& attributes);

}  // namespace varnholt::rules

#endif
