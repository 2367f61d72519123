// The rule notation's parser: a condition's text into the tree the evaluator walks. Comparisons
// chain (a < b <= c), quantifiers bind a name, and every name that is not bound is an
// attribute of SELF.
#include "expr_node.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace varnholt::rules {

namespace {

class Parser {
 public:
  explicit Parser(const std::string& text, std::vector<std::string>& attributes)
      : s_(text), attributes_(attributes) {
    Next();
  }

  std::unique_ptr<Node> Whole() {
    auto node = Implication();
    if (!token_.empty()) Fail("unexpected '" + token_ + "'");
    return node;
  }

 private:
  const std::string& s_;
  std::vector<std::string>& attributes_;
  size_t pos_ = 0;
  std::string token_;  // "" at the end
  bool word_ = false, number_ = false, string_ = false;
  std::vector<std::string> bound_;

  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error(what + " at column " + std::to_string(pos_) + " of: " + s_);
  }

  void Next() {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    word_ = number_ = string_ = false;
    token_.clear();
    if (pos_ >= s_.size()) return;
    const char c = s_[pos_];
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      size_t end = pos_;
      while (end < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[end])) || s_[end] == '_')) ++end;
      token_ = s_.substr(pos_, end - pos_);
      pos_ = end;
      word_ = true;
      return;
    }
    if (std::isdigit(static_cast<unsigned char>(c))) {
      size_t end = pos_;
      while (end < s_.size() &&
             (std::isdigit(static_cast<unsigned char>(s_[end])) ||
              (s_[end] == '.' && !(end + 1 < s_.size() && s_[end + 1] == '.')) ||
              ((s_[end] == 'e' || s_[end] == 'E') && end + 1 < s_.size() &&
               (std::isdigit(static_cast<unsigned char>(s_[end + 1])) || s_[end + 1] == '-'))))
        end += (s_[end] == 'e' || s_[end] == 'E') ? 2 : 1;
      token_ = s_.substr(pos_, end - pos_);
      pos_ = end;
      number_ = true;
      return;
    }
    if (c == '\'') {
      const size_t end = s_.find('\'', pos_ + 1);
      if (end == std::string::npos) Fail("unclosed string");
      token_ = s_.substr(pos_ + 1, end - pos_ - 1);
      pos_ = end + 1;
      string_ = true;
      return;
    }
    static const char* const pairs[] = {"->", "==", "!=", "<=", ">=", ".."};
    for (const char* p : pairs)
      if (s_.compare(pos_, 2, p) == 0) {
        token_ = p;
        pos_ += 2;
        return;
      }
    if (!std::strchr("()[]{},:.\\#*/+-=<>", c)) Fail(std::string("unknown character '") + c + "'");
    token_ = std::string(1, c);
    ++pos_;
  }

  bool Is(const char* t) const { return !string_ && token_ == t; }
  void Expect(const char* t) {
    if (!Is(t)) Fail(std::string("expected '") + t + "'");
    Next();
  }
  std::string Word() {
    if (!word_) Fail("expected a name");
    std::string w = token_;
    Next();
    return w;
  }

  static std::unique_ptr<Node> Make(Node::Op op) {
    auto n = std::make_unique<Node>();
    n->op = op;
    return n;
  }
  static std::unique_ptr<Node> Make(Node::Op op, std::unique_ptr<Node> a, std::unique_ptr<Node> b = nullptr) {
    auto n = Make(op);
    n->kids.push_back(std::move(a));
    if (b) n->kids.push_back(std::move(b));
    return n;
  }

  std::unique_ptr<Node> Implication() {
    auto left = Disjunction();
    if (Is("->")) {
      Next();
      return Make(Node::Implies, std::move(left), Implication());
    }
    return left;
  }
  std::unique_ptr<Node> Disjunction() {
    auto left = Exclusive();
    while (Is("or")) {
      Next();
      left = Make(Node::Or, std::move(left), Exclusive());
    }
    return left;
  }
  std::unique_ptr<Node> Exclusive() {
    auto left = Conjunction();
    while (Is("xor")) {
      Next();
      left = Make(Node::Xor, std::move(left), Conjunction());
    }
    return left;
  }
  std::unique_ptr<Node> Conjunction() {
    auto left = Negation();
    while (Is("and")) {
      Next();
      left = Make(Node::And, std::move(left), Negation());
    }
    return left;
  }
  std::unique_ptr<Node> Negation() {
    if (Is("not")) {
      Next();
      return Make(Node::Not, Negation());
    }
    return Comparison();
  }
  bool ComparisonOp(Node::Op& op) const {
    if (string_) return false;
    static const std::pair<const char*, Node::Op> ops[] = {{"=", Node::Eq},  {"!=", Node::Ne}, {"<", Node::Lt},
                                                           {"<=", Node::Le}, {">", Node::Gt},  {">=", Node::Ge},
                                                           {"==", Node::Same}};
    for (const auto& o : ops)
      if (token_ == o.first) {
        op = o.second;
        return true;
      }
    return false;
  }
  // a < b <= c reads as (a < b) and (b <= c), the way ranges of values are written.
  std::unique_ptr<Node> Comparison() {
    auto left = Sum();
    Node::Op op;
    if (!ComparisonOp(op)) return left;
    Next();
    auto middle = Sum();
    Node::Op second;
    if (!ComparisonOp(second)) return Make(op, std::move(left), std::move(middle));
    Next();
    auto right = Sum();
    auto copy = Clone(*middle);
    return Make(Node::And, Make(op, std::move(left), std::move(middle)), Make(second, std::move(copy), std::move(right)));
  }
  static std::unique_ptr<Node> Clone(const Node& n) {
    auto c = std::make_unique<Node>();
    c->op = n.op;
    c->number = n.number;
    c->text = n.text;
    c->label = n.label;
    c->filtered = n.filtered;
    for (const auto& k : n.kids) c->kids.push_back(Clone(*k));
    return c;
  }
  std::unique_ptr<Node> Sum() {
    auto left = Product();
    while (Is("+") || Is("-")) {
      const Node::Op op = Is("+") ? Node::Add : Node::Sub;
      Next();
      left = Make(op, std::move(left), Product());
    }
    return left;
  }
  std::unique_ptr<Node> Product() {
    auto left = Unary();
    while (Is("*") || Is("/")) {
      const Node::Op op = Is("*") ? Node::Mul : Node::Div;
      Next();
      left = Make(op, std::move(left), Unary());
    }
    return left;
  }
  std::unique_ptr<Node> Unary() {
    if (Is("-")) {
      Next();
      return Make(Node::Negate, Unary());
    }
    if (Is("#")) {
      Next();
      return Make(Node::Size, Unary());
    }
    return Postfix(Primary());
  }
  std::unique_ptr<Node> Postfix(std::unique_ptr<Node> base) {
    for (;;) {
      if (Is(".")) {
        Next();
        auto n = Make(Node::Attribute, std::move(base));
        n->text = Word();
        if (!n->kids[0]->label.empty()) n->label = n->kids[0]->label + "." + n->text;
        base = std::move(n);
      } else if (Is("\\")) {
        Next();
        auto n = Make(Node::As, std::move(base));
        n->text = Word();
        if (!n->kids[0]->label.empty()) n->label = n->kids[0]->label + "\\" + n->text;
        base = std::move(n);
      } else if (Is("[")) {
        Next();
        auto n = Make(Node::Index, std::move(base), Implication());
        Expect("]");
        if (!n->kids[0]->label.empty() && n->kids[1]->op == Node::Number)
          n->label = n->kids[0]->label + "[" + std::to_string(static_cast<long>(n->kids[1]->number)) + "]";
        base = std::move(n);
      } else {
        return base;
      }
    }
  }
  std::unique_ptr<Node> Primary() {
    if (number_) {
      auto n = Make(Node::Number);
      n->number = std::strtod(token_.c_str(), nullptr);
      Next();
      return n;
    }
    if (string_) {
      auto n = Make(Node::String);
      n->text = token_;
      Next();
      return n;
    }
    if (Is("(")) {
      Next();
      auto n = Implication();
      Expect(")");
      return n;
    }
    if (Is("{")) {
      Next();
      auto n = Make(Node::TypeList);
      for (;;) {
        auto name = Make(Node::String);
        name->text = Word();
        n->kids.push_back(std::move(name));
        if (!Is(",")) break;
        Next();
      }
      Expect("}");
      return n;
    }
    const std::string word = Word();
    if (word == "SELF" || word == "self") return Make(Node::Self);
    if (Is("(")) {
      Next();
      if (word == "count" || word == "all") {
        auto n = Make(word == "count" ? Node::Count : Node::All);
        n->text = Word();
        Expect("in");
        n->kids.push_back(Implication());
        if (Is("..")) {  // a range of whole numbers: k in 2..#list
          Next();
          auto range = Make(Node::Range, std::move(n->kids.back()), Sum());
          n->kids.back() = std::move(range);
        }
        bound_.push_back(n->text);
        if (Is(",")) {
          Next();
          n->kids.push_back(Implication());
          n->filtered = true;
        }
        Expect(":");
        n->kids.push_back(Implication());
        bound_.pop_back();
        Expect(")");
        return n;
      }
      static const char* const functions[] = {"ex",    "is",    "types",          "dim",        "nvl",
                                              "abs",   "leap_year", "days_in_month", "cross_magnitude",
                                              "bspline_ok", "kindof", "start", "end", "unique"};
      bool known = false;
      for (const char* f : functions) known = known || word == f;
      if (!known) Fail("unknown function " + word);
      auto n = Make(Node::Call);
      n->text = word;
      if (word == "is") {
        n->kids.push_back(Implication());
        Expect(",");
        auto type = Make(Node::String);
        type->text = Word();
        n->kids.push_back(std::move(type));
      } else {
        for (;;) {
          n->kids.push_back(Implication());
          if (!Is(",")) break;
          Next();
        }
      }
      Expect(")");
      return n;
    }
    auto n = Make(Node::Name);
    n->text = word;
    bool isBound = false;
    for (const std::string& b : bound_) isBound = isBound || b == word;
    if (!isBound) {
      n->label = word;
      bool seen = false;
      for (const std::string& a : attributes_) seen = seen || a == word;
      if (!seen) attributes_.push_back(word);
    }
    return n;
  }
};

}  // namespace

std::unique_ptr<Node> ParseCondition(const std::string& text, std::vector<std::string>& attributes) {
  return Parser(text, attributes).Whole();
}

}  // namespace varnholt::rules
