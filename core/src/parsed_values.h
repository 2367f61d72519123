// The values a record's parameters become when an instance is read: one set of builders for
// the grammar's actions and for the direct reader of plain records, so that both make exactly
// the same objects.
#ifndef CCT_PARSED_VALUES_H
#define CCT_PARSED_VALUES_H

#include <cstddef>

#include "cct/lnklst.h"

class cct_Type;
class cct_Instance;
class cct_Scope;

using cct_ParameterList = cct_LinkList<cct_ListNode>;

namespace cct_parsed {

/// Deletes what reading made; instances belong to the file scope.
void ReleaseValue(cct_Type* value);
void ReleaseList(cct_ParameterList* list);
/// Releases the values of a list and its nodes; the list stays, empty.
void EmptyList(cct_ParameterList& list);
void Append(cct_ParameterList* list, cct_Type* value);

cct_Type* Star();
cct_Type* Integer(long v);
cct_Type* Real(double v);
cct_Type* Logical(long v);
/// The enumeration value of a lower-case text (which stays the caller's).
cct_Type* Enumeration(const char* text);
/// A STRING (or BINARY) value adopting a heap text.
cct_Type* String(char* text);
cct_Type* Binary(char* text);
/// The instance a name refers to, or a placeholder standing for it until it is read.
cct_Type* Reference(cct_Scope& scope, const char* name);
/// A list of raw reals, for an aggregate of REAL elements to take over directly.
cct_Type* RealList(const double* values, size_t count);
/// A list of the given values, which it takes over.
cct_Type* List(cct_Type* const* entries, size_t count);
/// The value of a typed parameter "KEYWORD(parameter)"; the parameter stays the caller's. May
/// throw (the typed value is then deleted).
cct_Type* Typed(const char* keyword, const cct_Type* parameter);

}  // namespace cct_parsed

#endif
