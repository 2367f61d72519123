// What the two aggregate sources share: element access by kind, the shapes of parsed list
// parameters, and the report of a count outside the bounds. Internal to the core.
#ifndef CCT_AGGR_SUPPORT_H
#define CCT_AGGR_SUPPORT_H

#include <cstdint>
#include <cstring>
#include <string>

#include "cct/aggr.h"
#include "cct/instance.h"

namespace cct_aggr {

constexpr const char* kModule = "aggr";

inline const char* OrEmpty(const char* text) { return text ? text : ""; }

inline bool IsAggregateKind(long kind) { return kind >= 11 && kind <= 15; }

template <class T>
T Read(const void* element) {
  T value;
  std::memcpy(&value, element, sizeof value);
  return value;
}

template <class T>
void Write(unsigned char* bytes, T value) {
  std::memcpy(bytes, &value, sizeof value);
}

/// The aggregate behind a parameter, or null when p is not one of ours.
inline const cct_AggregateType* AsAggregate(const cct_Type* p) {
  if (!p) return nullptr;
  const long kind = p->Kind();
  // Only aggregate values answer the aggregate kind itself; that case needs no search.
  if (kind == cct_KIND_AGGREGATE) return static_cast<const cct_AggregateType*>(p);
  return IsAggregateKind(kind) ? dynamic_cast<const cct_AggregateType*>(p) : nullptr;
}

/// A parsed list handed to ProcessParameter; anything else is reported and refused.
inline const cct_AggregateType_1d* ListParameter(const cct_Type* p, const char* function) {
  const cct_AggregateType* source = AsAggregate(p);
  if (!source) {
    cct_errlog(cct_Error(cct_AGGREGATE_CANNOT_HANDLE)) << OrEmpty(p ? p->TypeName() : nullptr) << ".";
    return nullptr;
  }
  // The one-dimensional aggregate values are all cct_AggregateType_1d.
  const auto* list =
      source->Dimensions() == 1 ? static_cast<const cct_AggregateType_1d*>(source) : nullptr;
  if (!list) {
    cct_errlog(cct_Error(cct_PROGRAM_BUG))
        << kModule << "\n--- : " << function
        << "\n    The parameter must be an 1-dimensional AggregateType.";
    return nullptr;
  }
  return list;
}

inline void DisposeElementObject(cct_Type* object) {
  if (object && object->IsTemporary()) delete object;
}

/// The row a parsed list of lists holds at some place, or null when that is not a list.
inline const cct_AggregateType_1d* RowList(const cct_Type* row) {
  const cct_AggregateType* aggregate = AsAggregate(row);
  if (!aggregate || aggregate->Dimensions() != 1) return nullptr;
  return dynamic_cast<const cct_AggregateType_1d*>(aggregate);
}

inline bool CountWithinBounds(uint32_t count, const cct_BaseTypeDescriptor& d) {
  if (d.lowerBound > 0 && count < static_cast<uint32_t>(d.lowerBound)) return false;
  return !d.IsBounded() || d.upperBound < 0 ||
         static_cast<long long>(count) <= static_cast<long long>(d.upperBound);
}

/// "1 is" or "3 are".
inline std::string CountIs(long long n) { return std::to_string(n) + (n == 1 ? " is" : " are"); }

/// A list read as a whole keeps every element it was given, so that a file is written back as
/// it was read; a count its bounds do not allow is only told, at the line of the file being
/// read. `unit` names what is counted; a nonzero `row` says which row of a list of lists it is.
inline void ReportCount(uint32_t count, const cct_BaseTypeDescriptor& d, const char* unit, uint32_t row) {
  if (CountWithinBounds(count, d)) return;
  const long long lower = d.lowerBound > 0 ? d.lowerBound : 0;
  // The list is named by its instance and attribute where a record is being read.
  std::string list = "the list";
  if (cct_currentInputFile) {
    cct_InputFile::Misfits& misfits = cct_currentInputFile->RecordMisfits();
    ++misfits.notices;
    const char* instance = cct_currentInputFile->RecordName();
    const char* attribute = misfits.taking ? misfits.taking->AttributeName(misfits.attribute) : nullptr;
    if (instance && attribute) list += std::string(" ") + attribute + " of instance #" + instance;
  }
  std::string text = row ? "Row " + std::to_string(row) + " of " + list + " has "
                         : "T" + list.substr(1) + " has ";
  text += std::to_string(count) + " " + unit + (count == 1 ? "" : "s") + "; ";
  if (!d.IsBounded())
    text += "at least " + CountIs(lower);
  else if (lower == d.upperBound)
    text += CountIs(lower);
  else if (lower == 0)
    text += "at most " + CountIs(d.upperBound);
  else
    text += std::to_string(lower) + " to " + std::to_string(d.upperBound) + " are";
  text += " expected.";
  if (cct_currentInputFile)
    cct_errlog(cct_Warning(cct_READING_STEP_FILE)) << *cct_currentInputFile << text.c_str();
  else
    cct_errlog(cct_Warning(cct_BOUNDS_VIOLATED)) << kModule << " : " << text;
}

}  // namespace cct_aggr

#endif
