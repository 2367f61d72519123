// What a record gives that the binding does not take into an attribute: a parameter it refused
// (wrong kind, a list element or select value it cannot hold, an enumeration value the type
// lacks), parameters after the entity's last attribute, and the count of a record that ends
// before its last attribute. They are the user's data all the same: kept as read (tokens
// unchanged, as kept records hold theirs) and written back in their places.
#ifndef CCT_ASWRITTEN_H
#define CCT_ASWRITTEN_H

#include <string>
#include <vector>

struct cct_AsWritten {
  struct Parameter {
    long attribute;
    std::string text;
  };
  /// Texts kept in the place of attributes, by attribute.
  std::vector<Parameter> refused;
  /// Parameters after the last attribute, in their order.
  std::vector<std::string> extra;
  /// The number of parameters of a record that ended before its last attribute; -1 otherwise.
  long given = -1;

  /// The text kept for an attribute; null when it holds its own value.
  const std::string* Text(long attribute) const {
    for (const Parameter& p : refused)
      if (p.attribute == attribute) return &p.text;
    return nullptr;
  }
  void Keep(long attribute, std::string text) {
    for (Parameter& p : refused)
      if (p.attribute == attribute) {
        p.text = std::move(text);
        return;
      }
    refused.push_back(Parameter{attribute, std::move(text)});
  }
  void Drop(long attribute) {
    for (size_t i = 0; i < refused.size(); ++i)
      if (refused[i].attribute == attribute) {
        refused.erase(refused.begin() + static_cast<long>(i));
        return;
      }
  }
  bool Empty() const { return refused.empty() && extra.empty() && given < 0; }
};

#endif
