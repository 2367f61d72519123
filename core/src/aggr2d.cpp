#include "cct/aggr.h"

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "cct/entitytype.h"
#include "cct/enumtype.h"
#include "cct/errlog.h"
#include "cct/exchgfls.h"
#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/scope.h"
#include "cct/selecttype.h"

#include "aggr_support.h"

using namespace cct_aggr;

// ---- cct_AggregateType_2d --------------------------------------------------------------------

cct_AggregateType_2d::cct_AggregateType_2d(const cct_BaseTypeDescriptor* d) {
  SetDescriptor(cct_DefaultDescriptor2d);
  BaseType(d ? d : cct_DefaultDescriptor2d);
}

cct_AggregateType_2d::~cct_AggregateType_2d() {
  ReleaseAll();
  DropRowLengths();
}

void cct_AggregateType_2d::ReleaseAll() {
  ReleaseElements(Storage(), static_cast<size_t>(Rows()) * Columns(), SizeOfElement());
}

void cct_AggregateType_2d::DropRowLengths() {
  delete[] rowLengths_;
  rowLengths_ = nullptr;
}

namespace {
/// Room for the lengths of `rows` rows, the count first.
uint32_t* NewRowLengths(uint32_t rows) {
  auto* lengths = new uint32_t[static_cast<size_t>(rows) + 1];
  lengths[0] = rows;
  return lengths;
}
}  // namespace

uint32_t cct_AggregateType_2d::RowLength(uint32_t i) const {
  if (!rowLengths_ || i >= rowLengths_[0]) return Columns();
  return std::min(rowLengths_[i + 1], Columns());
}

void cct_AggregateType_2d::Reach(unsigned long i, unsigned long j) {
  if (rowLengths_ && i < rowLengths_[0] && j >= rowLengths_[i + 1])
    rowLengths_[i + 1] = static_cast<uint32_t>(j + 1);
}

void cct_AggregateType_2d::BaseType(const cct_BaseTypeDescriptor* d) {
  if (!d) {
    cct_errlog(cct_Error(cct_NULL_PARAMETER)) << kModule << " : cct_AggregateType_2d::BaseType().";
    return;
  }
  if (!IsAggregateKind(d[0].kind)) {
    cct_errlog(cct_Error(cct_PROGRAM_BUG))
        << "(" << kModule << ") "
        << "cct_AggregateType_2d::BaseType(cct_BaseTypeDescriptor *) --- "
        << "The BaseTypeDescriptor is not suitable for 2-dim aggregates.";
    return;
  }
  SetDescriptor(d);
  if (d[0].IsBounded() && d[1].IsBounded())
    SetDimensions(static_cast<unsigned long>(d[0].lowerBound > 0 ? d[0].lowerBound : 0),
                  static_cast<unsigned long>(d[1].lowerBound > 0 ? d[1].lowerBound : 0));
}

int cct_AggregateType_2d::SetDimensions(unsigned long rows, unsigned long columns) {
  const uint32_t size = SizeOfElement() ? SizeOfElement() : cct_ElementSize(Descriptor()[1].kind);
  if (rows == Rows() && columns == Columns()) return 1;
  if (static_cast<long long>(rows) > static_cast<long long>(Descriptor()[0].upperBound) + 1 ||
      static_cast<long long>(columns) > static_cast<long long>(Descriptor()[1].upperBound) + 1) {
    cct_errlog(cct_Error(cct_BOUNDS_VIOLATED))
        << kModule << "\n--- : cct_AggregateType_2d::SetDimensions().";
    return 0;
  }
  // Elements that fall off (zero keeps an extent) give back what they own first.
  const uint32_t keepRows = rows ? static_cast<uint32_t>(rows) : Rows();
  const uint32_t keepColumns = columns ? static_cast<uint32_t>(columns) : Columns();
  for (uint32_t i = 0; SizeOfElement() && i < Rows(); ++i)
    for (uint32_t j = 0; j < Columns(); ++j)
      if (i >= keepRows || j >= keepColumns) ReleaseElement(Element(i, j), SizeOfElement());
  const uint32_t oldRows = rowLengths_ ? rowLengths_[0] : 0;
  cct_NativeAggregate_2d::SetDimensions(size, static_cast<uint32_t>(rows),
                                        static_cast<uint32_t>(columns));
  if (rowLengths_) {
    // The rows read shorter stay so (as far as they still fit); rows the program adds are full.
    uint32_t* lengths = NewRowLengths(Rows());
    for (uint32_t i = 0; i < Rows(); ++i)
      lengths[i + 1] = i < oldRows ? RowLength(i) : Columns();
    delete[] rowLengths_;
    rowLengths_ = lengths;
  }
  return 1;
}

void cct_AggregateType_2d::ResizeForReading(uint32_t rows, uint32_t columns) {
  if (IsSet()) {
    ReleaseAll();
    referenceFormFixed_ = false;
  }
  DropRowLengths();
  if (rows == Rows() && columns == Columns() && (rows == 0 || columns == 0 || Storage())) return;
  const uint32_t size = SizeOfElement() ? SizeOfElement() : cct_ElementSize(Descriptor()[1].kind);
  // Nothing held is kept, and shrinking the native array would report the clipping. (Rows of
  // no elements leave the array without storage: rows x 0.)
  Clear();
  if (rows) cct_NativeAggregate_2d::SetDimensions(size, rows, columns);
}

void cct_AggregateType_2d::SetElement(const void* raw, unsigned long i, unsigned long j) {
  if (!RawStorable(raw)) return;
  void* element = Element(static_cast<uint32_t>(i), static_cast<uint32_t>(j));
  ReleaseElement(element, SizeOfElement());
  StoreRaw(element, raw, SizeOfElement());
  Reach(i, j);
}

void cct_AggregateType_2d::SetType(const cct_Type* v, unsigned long i, unsigned long j) {
  // The two-dimensional report names no function.
  StoreFrom(v, Element(static_cast<uint32_t>(i), static_cast<uint32_t>(j)), "",
            "\n   : cct_AggregateType_2d::SetType().");
  Reach(i, j);
}

void cct_AggregateType_2d::_SetEntity(const cct_Type* v, unsigned long i, unsigned long j) {
  void* element = Element(static_cast<uint32_t>(i), static_cast<uint32_t>(j));
  unsigned char bytes[sizeof(double)] = {};
  const bool ok = EntityBytes(v, bytes);
  ReleaseElement(element, SizeOfElement());
  if (ok) StoreRaw(element, bytes, SizeOfElement());
  Reach(i, j);
}

cct_Type* cct_AggregateType_2d::ElementObject(unsigned long i, unsigned long j) const {
  return MakeElementObject(Element(static_cast<uint32_t>(i), static_cast<uint32_t>(j)),
                           ElementDescriptor());
}

void cct_AggregateType_2d::Unset() {
  ReleaseAll();
  Clear();
  DropRowLengths();
  referenceFormFixed_ = false;
  flags_ |= cct_FLAG_UNSET;
}

void cct_AggregateType_2d::ProcessParameter(const cct_Type* p) {
  const cct_AggregateType_1d* outer = ListParameter(p, "cct_AggregateType_2d::ProcessParameter()");
  if (!outer) return;
  const uint32_t rows = outer->Count();
  // Every row as given: the native array is as wide as the longest row, and where the rows
  // differ in length each row's own length is kept beside it, so that it is written back as it
  // was read. An element that is no list (reported below) or missing stands for a full row of
  // zeroes, as before.
  constexpr uint32_t kNoList = 0xFFFFFFFFu;
  std::vector<uint32_t> lengths(rows);
  uint32_t columns = 0;
  for (uint32_t i = 0; i < rows; ++i) {
    cct_Type* row = outer->ElementObject(i);
    const cct_AggregateType_1d* rowList = row ? RowList(row) : nullptr;
    lengths[i] = rowList ? rowList->Count() : kNoList;
    if (rowList) columns = std::max(columns, rowList->Count());
    DisposeElementObject(row);
  }
  bool ragged = false;
  for (uint32_t& length : lengths) {
    if (length == kNoList) length = columns;
    ragged = ragged || length != columns;
  }
  ReportCount(rows, Descriptor()[0], "row", 0);
  ResizeForReading(rows, columns);
  if (ragged) {
    rowLengths_ = NewRowLengths(rows);
    std::copy(lengths.begin(), lengths.end(), rowLengths_ + 1);
  }
  for (uint32_t i = 0; i < rows; ++i) {
    cct_Type* row = outer->ElementObject(i);
    if (!row) continue;
    const cct_AggregateType* rowAggregate = AsAggregate(row);
    const auto* rowList = dynamic_cast<const cct_AggregateType_1d*>(rowAggregate);
    if (!rowAggregate) {
      cct_errlog(cct_Error(cct_AGGREGATE_CANNOT_HANDLE)) << OrEmpty(row->TypeName()) << ".";
    } else if (!rowList || rowAggregate->Dimensions() != 1) {
      cct_errlog(cct_Error(cct_PROGRAM_BUG))
          << kModule << "\n--- : cct_AggregateType_2d::ProcessParameter()"
          << "\n    The contents of the first aggregate must be"
          << "\n    1-dim aggregates too.";
    } else {
      ReportCount(rowList->Count(), Descriptor()[1], "element", i + 1);
      for (uint32_t j = 0; j < rowList->Count(); ++j) {
        cct_Type* e = rowList->ElementObject(j);
        if (!e) continue;
        SetType(e, i, j);
        DisposeElementObject(e);
      }
    }
    DisposeElementObject(row);
  }
  flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
}

void cct_AggregateType_2d::Copy(const cct_Type* p) {
  const cct_AggregateType* source = AsAggregate(p);
  if (source && source->Dimensions() == 2)
    _Copy(p);
  else
    ProcessParameter(p);
}

void cct_AggregateType_2d::_Copy(const cct_Type* p) {
  const auto* source = dynamic_cast<const cct_AggregateType_2d*>(AsAggregate(p));
  if (!source || source == this) return;
  if ((source->Rows() > Rows() || source->Columns() > Columns()) &&
      !SetDimensions(std::max(source->Rows(), Rows()), std::max(source->Columns(), Columns()))) {
    cct_errlog(cct_Error(cct_BOUNDS_VIOLATED))
        << "(" << kModule << ") " << "cct_AggregateType_2d::_Copy()";
    return;
  }
  for (uint32_t i = 0; i < source->Rows(); ++i) {
    for (uint32_t j = 0; j < source->Columns(); ++j) {
      cct_Type* e = source->ElementObject(i, j);
      SetType(e, i, j);
      DisposeElementObject(e);
    }
  }
  // A copy of the same shape has the source's rows; in a larger one the rows are full.
  DropRowLengths();
  if (source->rowLengths_ && Rows() == source->Rows() && Columns() == source->Columns()) {
    rowLengths_ = NewRowLengths(Rows());
    for (uint32_t i = 0; i < Rows(); ++i) rowLengths_[i + 1] = source->RowLength(i);
  }
  if (source->IsSet()) flags_ &= static_cast<uint16_t>(~cct_FLAG_UNSET);
}

int cct_AggregateType_2d::TestCorrectness(int check) {
  return TestElements(check, Storage(), Rows(), Columns(), SizeOfElement(), rowLengths_);
}

void cct_AggregateType_2d::WriteP21(std::ostream& out) const {
  if (!IsSet()) {
    out << '$';
    return;
  }
  out << '(';
  for (uint32_t i = 0; i < Rows(); ++i) {
    if (i) out << ',';
    out << '(';
    for (uint32_t j = 0; j < RowLength(i); ++j) {
      if (j) out << ',';
      cct_Type* e = ElementObject(i, j);
      if (e)
        e->WriteP21(out);
      else
        out << '$';
      DisposeElementObject(e);
    }
    out << ')';
  }
  out << ')';
}
