#include "cct/at.h"

#include <algorithm>
#include <cstring>
#include <ostream>

#include "cct/errlog.h"
#include "cct/pool.h"

namespace {

constexpr const char* kModule = "at";

}  // namespace

// ---------------------------------------------------------------------------------------------
// cct_NativeAggregate

cct_NativeAggregate::Block::~Block() { cct_PoolFree(data_, bytes_); }

bool cct_NativeAggregate::TakeElementSize(uint32_t size) {
  if (size == 0 || size == elementSize_) return false;
  elementSize_ = size;
  return true;
}

cct_NativeAggregate::Block cct_NativeAggregate::ReplaceStorage(std::size_t elements,
                                                               std::size_t oldBytes) {
  // Sized in size_t: extents times element size can exceed 32 bits.
  const std::size_t bytes = elements * elementSize_;
  auto* fresh = static_cast<unsigned char*>(cct_PoolAllocate(bytes));
  std::memset(fresh, 0, bytes);
  Block old(storage_, oldBytes);
  storage_ = fresh;
  return old;
}

void cct_NativeAggregate::ReleaseStorage(std::size_t bytes) {
  cct_PoolFree(storage_, bytes);
  storage_ = nullptr;
  elementSize_ = 0;
}

// ---------------------------------------------------------------------------------------------
// cct_NativeAggregate_1d

uint32_t cct_NativeAggregate_1d::GetDimensions(uint32_t& count) const {
  count = count_;
  return SizeOfElement();
}

void cct_NativeAggregate_1d::SetDimensions(uint32_t elementSize, uint32_t count) {
  const uint32_t oldSize = SizeOfElement();
  const uint32_t oldCount = count_;

  bool changed = TakeElementSize(elementSize);
  if (count != 0 && count != count_) {
    count_ = count;
    changed = true;
  }
  // Until both the size and the count are known there is nothing to allocate.
  if (!changed || SizeOfElement() == 0 || count_ == 0) return;

  Block old = ReplaceStorage(count_, static_cast<std::size_t>(oldSize) * oldCount);
  if (!old) return;  // first allocation: nothing to carry over

  if (SizeOfElement() != oldSize) {
    // Elements of another size cannot be reinterpreted; the fresh block stays zeroed.
    cct_errlog(cct_Warning(cct_MESSAGE)) << kModule << " : cct_NativeAggregate_1d::SetDimensions()"
                                         << "\n   The new and the old element size differ. Old entries"
                                         << "\n   are lost.";
    return;
  }
  CopyAggregate(old.get(), oldCount);
}

void* cct_NativeAggregate_1d::Element(uint32_t i) {
  return const_cast<void*>(static_cast<const cct_NativeAggregate_1d*>(this)->Element(i));
}

const void* cct_NativeAggregate_1d::Element(uint32_t i) const {
  if (i >= count_) {
    // An empty array prints its bound as count - 1 in unsigned arithmetic, i.e. 4294967295.
    cct_errlog(cct_Error(cct_BOUNDS_VIOLATED))
        << kModule << "\n   1 dimensional array with bounds <" << static_cast<uint32_t>(count_ - 1u)
        << ">."
        << "\n   access error with index <" << i << ">.";
    throw cct_GenericException();
  }
  if (!Storage()) return nullptr;  // count known, element size not yet
  return Storage() + static_cast<std::size_t>(i) * SizeOfElement();
}

void cct_NativeAggregate_1d::SetElementBytes(const void* source, uint32_t i) {
  void* element = Element(i);
  if (!element) return;
  if (source)
    std::memcpy(element, source, SizeOfElement());
  else
    std::memset(element, 0, SizeOfElement());
}

void cct_NativeAggregate_1d::Clear() {
  ReleaseStorage(static_cast<std::size_t>(SizeOfElement()) * count_);
  count_ = 0;
}

void cct_NativeAggregate_1d::CopyAggregate(const void* source, uint32_t n) {
  if (!source || n == 0) return;
  if (n > count_) {
    cct_errlog(cct_Warning(cct_BOUNDS_VIOLATED))
        << kModule << "\n   : cct_NativeAggregate_1d::CopyAggregate()"
        << "\n   The source aggregate is larger than the destination aggregate."
        << "\n   Clipping the source.";
  }
  const uint32_t elements = std::min(n, count_);
  if (elements == 0 || !Storage()) return;
  std::memcpy(Storage(), source, static_cast<std::size_t>(elements) * SizeOfElement());
}

// ---------------------------------------------------------------------------------------------
// cct_NativeAggregate_2d

uint32_t cct_NativeAggregate_2d::GetDimensions(uint32_t& rows, uint32_t& columns) const {
  rows = rows_;
  columns = columns_;
  return SizeOfElement();
}

void cct_NativeAggregate_2d::SetDimensions(uint32_t elementSize, uint32_t rows, uint32_t columns) {
  const uint32_t oldSize = SizeOfElement();
  const uint32_t oldRows = rows_;
  const uint32_t oldColumns = columns_;

  bool changed = TakeElementSize(elementSize);
  if (rows != 0 && rows != rows_) {
    rows_ = rows;
    changed = true;
  }
  if (columns != 0 && columns != columns_) {
    columns_ = columns;
    changed = true;
  }
  if (!changed || SizeOfElement() == 0 || rows_ == 0 || columns_ == 0) return;

  Block old = ReplaceStorage(static_cast<std::size_t>(rows_) * columns_,
                             static_cast<std::size_t>(oldSize) * oldRows * oldColumns);
  if (!old) return;

  if (SizeOfElement() != oldSize) {
    cct_errlog(cct_Warning(cct_MESSAGE)) << kModule << " : cct_NativeAggregate_2d::SetDimensions()"
                                         << "\n   The new and the old element sizes differ. Old entries"
                                         << "\n   are lost.";
    return;
  }
  CopyAggregate(old.get(), oldRows, oldColumns);
}

void* cct_NativeAggregate_2d::Element(uint32_t i, uint32_t j) {
  return const_cast<void*>(static_cast<const cct_NativeAggregate_2d*>(this)->Element(i, j));
}

const void* cct_NativeAggregate_2d::Element(uint32_t i, uint32_t j) const {
  if (i >= rows_ || j >= columns_) {
    cct_errlog(cct_Error(cct_BOUNDS_VIOLATED))
        << kModule << "\n   2 dimensional array with bounds <" << static_cast<uint32_t>(rows_ - 1u)
        << ", " << static_cast<uint32_t>(columns_ - 1u) << ">."
        << "\n   access error with indices <" << i << ", " << j << ">.";
    throw cct_GenericException();
  }
  if (!Storage()) return nullptr;
  return Storage() + (static_cast<std::size_t>(i) * columns_ + j) * SizeOfElement();
}

void cct_NativeAggregate_2d::SetElementBytes(const void* source, uint32_t i, uint32_t j) {
  void* element = Element(i, j);
  if (!element) return;
  if (source)
    std::memcpy(element, source, SizeOfElement());
  else
    std::memset(element, 0, SizeOfElement());
}

void cct_NativeAggregate_2d::Clear() {
  ReleaseStorage(static_cast<std::size_t>(SizeOfElement()) * rows_ * columns_);
  rows_ = 0;
  columns_ = 0;
}

void cct_NativeAggregate_2d::CopyAggregate(const void* source, uint32_t r, uint32_t c) {
  if (!source || r == 0 || c == 0) return;
  if (r > rows_ || c > columns_) {
    cct_errlog(cct_Warning(cct_BOUNDS_VIOLATED))
        << kModule << " : cct_NativeAggregate_2d::CopyAggregate()"
        << "\n   The source aggregate is in at least one dimension larger than the"
        << "\n   destination aggregate. Clipping the source.";
  }
  const uint32_t copyRows = std::min(r, rows_);
  const uint32_t copyColumns = std::min(c, columns_);
  if (copyRows == 0 || copyColumns == 0 || !Storage()) return;

  const std::size_t size = SizeOfElement();
  const auto* from = static_cast<const unsigned char*>(source);
  for (uint32_t i = 0; i < copyRows; ++i) {
    std::memcpy(Storage() + static_cast<std::size_t>(i) * columns_ * size,
                from + static_cast<std::size_t>(i) * c * size, copyColumns * size);
  }
}
