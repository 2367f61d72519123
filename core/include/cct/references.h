// Who refers to whom: every reference an instance holds, in its attributes, in the selects and
// lists it holds, or in the text of a record kept as read.
#ifndef CCT_REFERENCES_H
#define CCT_REFERENCES_H

#include <functional>

#include "cct/scope.h"

class cct_Instance;
class cct_Type;

/// One reference held by an instance.
struct cct_ReferenceSite {
  cct_Instance* from;
  /// Index of the attribute that holds it; -1 in a record kept as read (no attributes).
  long attribute;
  /// The value that decides which instances are admitted: the attribute, the select element of
  /// a list, or null where nothing is known about the type (records kept as read, lists of
  /// any value).
  const cct_Type* holder;
  /// The scope entry of the name referred to; null when the scope has none.
  cct_Scope::Entry* to;
  /// The name referred to.
  const char* name;
};

/// Calls `visit` with every reference `instance` holds through a scope entry, attribute by
/// attribute, in element order.
void cct_ForEachReference(cct_Instance& instance,
                          const std::function<void(const cct_ReferenceSite&)>& visit);

#endif
