// Untyped arrays of fixed-size raw elements with range-checked access. The aggregate values keep
// their elements in these arrays, and the parser reads its parameter lists through them; what the
// bytes of an element mean is entirely the owner's business.
//
// The aggregate values derive from these classes alongside cct_Type, so the classes stay small:
// one owned heap block, the element size and the extents, nothing else.
#ifndef CCT_AT_H
#define CCT_AT_H

#include <cstddef>
#include <cstdint>

/// Common part of the one- and two-dimensional arrays: the storage and the element size.
/// Storage exists exactly when the element size and every extent are nonzero; new storage is
/// always zero-filled.
class cct_NativeAggregate {
 public:
  cct_NativeAggregate() = default;
  cct_NativeAggregate(const cct_NativeAggregate&) = delete;
  cct_NativeAggregate& operator=(const cct_NativeAggregate&) = delete;

  /// Bytes per element; 0 while not yet known.
  uint32_t SizeOfElement() const { return elementSize_; }

 protected:
  // Not polymorphic: a table pointer here would cost every aggregate value eight bytes, and
  // arrays are never deleted through this class. The storage is released by the classes below,
  // which know its extent.
  ~cct_NativeAggregate() = default;

  /// An owned block of storage that knows its size (storage comes from the pool, which takes
  /// the size back).
  class Block {
   public:
    Block() = default;
    Block(unsigned char* data, std::size_t bytes) : data_(data), bytes_(bytes) {}
    Block(Block&& other) noexcept : data_(other.data_), bytes_(other.bytes_) { other.data_ = nullptr; }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    Block& operator=(Block&&) = delete;
    ~Block();
    unsigned char* get() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }

   private:
    unsigned char* data_ = nullptr;
    std::size_t bytes_ = 0;
  };

  unsigned char* Storage() const { return storage_; }
  /// Takes a nonzero size that differs from the current one; answers whether it did.
  bool TakeElementSize(uint32_t size);
  /// Installs a fresh zero-filled block for `elements` elements of the current size and hands
  /// back the previous block of `oldBytes` (empty if there was none) so the caller can carry
  /// its contents over.
  Block ReplaceStorage(std::size_t elements, std::size_t oldBytes);
  /// Frees the storage of `bytes` and forgets the element size.
  void ReleaseStorage(std::size_t bytes);

 private:
  unsigned char* storage_ = nullptr;
  uint32_t elementSize_ = 0;
};

/// A row of `Count()` elements.
class cct_NativeAggregate_1d : public cct_NativeAggregate {
 public:
  /// 1. Returns long like the aggregate values' own Dimensions().
  long Dimensions() const { return 1; }

  uint32_t Count() const { return count_; }
  /// Answers the element size; the count goes to `count`.
  uint32_t GetDimensions(uint32_t& count) const;

  /// Resizes, keeping the leading elements that still fit. A zero argument keeps the current
  /// value, so an array never shrinks to nothing here (only Clear empties it). A changed element
  /// size discards the old contents, with a warning.
  void SetDimensions(uint32_t elementSize, uint32_t count);

  /// The element's bytes; logs and throws cct_GenericException when i is outside the array.
  void* Element(uint32_t i);
  const void* Element(uint32_t i) const;

  /// Copies one element's worth of bytes from source into element i; null zeroes the element.
  void SetElementBytes(const void* source, uint32_t i);

  /// Frees the storage; count and element size become 0.
  void Clear();

  ~cct_NativeAggregate_1d() { ReleaseStorage(static_cast<std::size_t>(SizeOfElement()) * count_); }
  cct_NativeAggregate_1d() = default;
  cct_NativeAggregate_1d(const cct_NativeAggregate_1d&) = delete;
  cct_NativeAggregate_1d& operator=(const cct_NativeAggregate_1d&) = delete;

  /// Copies the first elements of a raw block of n elements of this array's element size,
  /// clipping (with a warning) what does not fit. The block must not be this array's own.
  void CopyAggregate(const void* source, uint32_t n);

 private:
  uint32_t count_ = 0;
};

/// A matrix of `Rows()` × `Columns()` elements, stored row by row.
class cct_NativeAggregate_2d : public cct_NativeAggregate {
 public:
  long Dimensions() const { return 2; }

  uint32_t Rows() const { return rows_; }
  uint32_t Columns() const { return columns_; }
  /// Answers the element size; the extents go to `rows` and `columns`.
  uint32_t GetDimensions(uint32_t& rows, uint32_t& columns) const;

  /// Resizes, keeping every old row's leading elements that still fit at the start of its new
  /// row. Zero arguments keep the current values; a changed element size discards the contents.
  void SetDimensions(uint32_t elementSize, uint32_t rows, uint32_t columns);

  /// The bytes of element (i, j); logs and throws cct_GenericException outside the extents.
  void* Element(uint32_t i, uint32_t j);
  const void* Element(uint32_t i, uint32_t j) const;

  /// Copies one element's worth of bytes from source into element (i, j); null zeroes it.
  void SetElementBytes(const void* source, uint32_t i, uint32_t j);

  /// Frees the storage; the extents and the element size become 0.
  void Clear();

  ~cct_NativeAggregate_2d() {
    ReleaseStorage(static_cast<std::size_t>(SizeOfElement()) * rows_ * columns_);
  }
  cct_NativeAggregate_2d() = default;
  cct_NativeAggregate_2d(const cct_NativeAggregate_2d&) = delete;
  cct_NativeAggregate_2d& operator=(const cct_NativeAggregate_2d&) = delete;

  /// Copies a raw r × c block (row by row, this array's element size) into the top-left corner,
  /// clipping (with a warning) what does not fit. The block must not be this array's own.
  void CopyAggregate(const void* source, uint32_t r, uint32_t c);

 private:
  uint32_t rows_ = 0;
  uint32_t columns_ = 0;
};

#endif
