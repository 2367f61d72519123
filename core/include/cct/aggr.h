// LIST, SET, BAG and ARRAY values. An aggregate keeps raw element values in a native array and
// describes them with a static descriptor (element kind, bounds, element type); elements leave
// as value objects made per element, which is also how the aggregate writes itself.
#ifndef CCT_AGGR_H
#define CCT_AGGR_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cct/at.h"
#include "cct/cctype.h"
#include "cct/scope.h"

class cct_Instance;

/// Static description of an aggregate attribute's elements. Bounds are element counts.
struct cct_BaseTypeDescriptor {
  int32_t kind;  // Kind code of the elements; 11..15 in the outer entry of a 2d aggregate
  int32_t lowerBound;
  int32_t upperBound;  // kUnbounded for "?"
  const char* elementTypeName;
  int32_t elementTypeId;

  static constexpr int32_t kUnbounded = 2147483647;
  bool IsBounded() const { return upperBound != kUnbounded; }
};

/// Descriptors of aggregates made without one (the parser's lists).
extern const cct_BaseTypeDescriptor cct_DefaultDescriptor1d;
extern const cct_BaseTypeDescriptor cct_DefaultDescriptor2d[2];

/// Bytes of one raw element of a kind. Pointers take their native size.
uint32_t cct_ElementSize(long kind);

class cct_AggregateType : public cct_Type {
 public:
  int TestCompatibility(const cct_Type* p) const override;
  const char* TypeName() const override { return "AGGREGATE"; }
  long TypeID() const override { return 100; }
  long Kind() const override { return cct_KIND_AGGREGATE; }
  virtual void BaseType(const cct_BaseTypeDescriptor* d) = 0;
  virtual long Dimensions() const = 0;

  const cct_BaseTypeDescriptor* BaseType() const { return Descriptor(); }
  /// The descriptor of one element: the last entry of the descriptor.
  const cct_BaseTypeDescriptor* ElementDescriptor() const;

  /// Decides how a reference element is held: 0 refused, 1 out is the instance, 2 out is the
  /// scope entry. All reference elements of one aggregate share the form chosen first.
  int PreProcessEntity(const cct_Type* v, void** out);
  /// The instance of a reference element, counted and read on demand; null when none.
  cct_Instance* ElementInstance(const void* element) const;
  /// The scope entry a reference element names, when the list holds its references through
  /// entries; null otherwise and for an empty element.
  cct_Scope::Entry* ElementEntry(const void* element) const {
    if (!(flags_ & cct_FLAG_VIA_ENTRY)) return nullptr;
    cct_Scope::Entry* entry;
    std::memcpy(&entry, element, sizeof entry);
    return entry;
  }
  /// A value object for a raw element: temporary (flag 0x0002) when made for the caller.
  cct_Type* MakeElementObject(const void* element, const cct_BaseTypeDescriptor* d) const;

 protected:
  /// The raw store every element kind goes through.
  void StoreRaw(void* element, const void* bytes, uint32_t size);
  /// Gives back what an element owns (a text, a select, a counted instance) and zeroes it.
  void ReleaseElement(void* element, uint32_t size);
  /// Kind and type-specific part of SetType: fills `bytes` (element size) from v. Answers false
  /// when the element must stay zero.
  bool ElementBytes(const cct_Type* v, unsigned char* bytes, const char* where);
  /// The reference part: the instance (counted) or the scope entry v designates; reports and
  /// answers false when PreProcessEntity refuses v.
  bool EntityBytes(const cct_Type* v, unsigned char* bytes);
  void ReportIncompatible(const cct_Type* v, const char* function) const;
  /// False (reported) when raw bytes for a REAL element hold an infinity or NaN.
  bool RawStorable(const void* raw) const;
  /// SetType for one element: null zeroes it, an incompatible value is reported and zeroes it.
  void StoreFrom(const cct_Type* v, void* element, const char* function, const char* where);
  /// Bytes of one element of this aggregate's storage.
  virtual uint32_t ElementSize() const = 0;
  /// Gives back what every element owns; a parser list also destroys its parameter objects.
  void ReleaseElements(unsigned char* storage, size_t count, uint32_t size);
  /// The correctness test of reference elements, row by row; columns is 0 for one dimension.
  /// rowLengths, where given, tells how many elements each row holds (laid out as
  /// cct_AggregateType_2d keeps them).
  int TestElements(int check, unsigned char* storage, uint32_t rows, uint32_t columns,
                   uint32_t size, const uint32_t* rowLengths = nullptr);

  /// A reference has been stored since construction or Unset, so flag 0x0008 is binding.
  /// (Declared first, it fits beside the flags of the value root.)
  bool referenceFormFixed_ = false;
  // The descriptor is kept where simple values keep their value, which aggregates do not use:
  // every aggregate attribute of a population is a pointer smaller.
  const cct_BaseTypeDescriptor* Descriptor() const {
    return static_cast<const cct_BaseTypeDescriptor*>(value_.p);
  }
  void SetDescriptor(const cct_BaseTypeDescriptor* d) {
    value_.p = const_cast<cct_BaseTypeDescriptor*>(d);
  }
};

class cct_AggregateType_1d : public cct_AggregateType, public cct_NativeAggregate_1d {
 public:
  explicit cct_AggregateType_1d(const cct_BaseTypeDescriptor* d = nullptr);
  ~cct_AggregateType_1d() override;

  using cct_AggregateType::BaseType;
  void BaseType(const cct_BaseTypeDescriptor* d) override;
  long Dimensions() const override { return 1; }
  uint32_t ElementSize() const override { return SizeOfElement(); }
  void Unset() override;
  /// Takes a parsed list as the whole value: exactly its elements, however many the bounds
  /// allow; a count outside them is reported as a warning (at the current input file's line
  /// while a file is read) and kept.
  void ProcessParameter(const cct_Type* p) override;
  /// Takes raw reals as ProcessParameter takes a REAL list value holding them, where that can
  /// neither fail nor report: REAL elements of eight bytes, compatibility mode 2 and a count
  /// within the bounds. False, with nothing done, otherwise.
  bool TakeReals(const double* values, uint32_t count);
  /// Takes the instances of scope entries as ProcessParameter takes a list value of the
  /// references the reader makes for them (the entry's instance, or a placeholder while it has
  /// none), where that can neither fail nor report: an unset aggregate of entity references in
  /// compatibility mode 2, a count within the bounds, and each entry either without an instance
  /// or with a registered instance the aggregate accepts. False, with nothing done, otherwise.
  bool TakeEntries(cct_Scope::Entry* const* entries, uint32_t count);
  void WriteP21(std::ostream& out) const override;
  int TestCorrectness(int check) override;
  void Copy(const cct_Type* p) override { ProcessParameter(p); }

  /// Resizes within the upper bound plus one; answers 1 done, 0 refused.
  int SetDimensions(unsigned long n);
  using cct_NativeAggregate_1d::SetDimensions;
  /// Stores element i from a value object; null zeroes it.
  void SetType(const cct_Type* v, unsigned long i);
  void SetElement(const void* raw, unsigned long i);
  void SetEnumElement(const cct_Type* v, unsigned long i);
  void SetTextElement(char* heapText, unsigned long i);
  void SetSelectElement(const cct_Type* v, unsigned long i);
  void _SetEntity(const cct_Type* v, unsigned long i);
  cct_Type* ElementObject(unsigned long i) const;

 private:
  void ReleaseAll();
  /// Makes room for exactly n elements of a value read as a whole: what the aggregate held
  /// before is given back, and no bound is checked.
  void ResizeForReading(uint32_t n);
};

class cct_AggregateType_2d : public cct_AggregateType, public cct_NativeAggregate_2d {
 public:
  explicit cct_AggregateType_2d(const cct_BaseTypeDescriptor* d = nullptr);
  ~cct_AggregateType_2d() override;

  using cct_AggregateType::BaseType;
  void BaseType(const cct_BaseTypeDescriptor* d) override;
  long Dimensions() const override { return 2; }
  uint32_t ElementSize() const override { return SizeOfElement(); }
  void Unset() override;
  /// Takes a parsed list of lists as the whole value: exactly its rows, each with exactly its
  /// own elements; counts outside the bounds are reported as warnings and kept.
  void ProcessParameter(const cct_Type* p) override;
  void WriteP21(std::ostream& out) const override;
  int TestCorrectness(int check) override;
  void Copy(const cct_Type* p) override;
  void _Copy(const cct_Type* p);

  /// The number of elements row i holds: Columns() unless the rows were read with lengths of
  /// their own.
  uint32_t RowLength(uint32_t i) const;

  /// Resizes within the upper bounds plus one; answers 1 done, 0 refused. Every row then holds
  /// Columns() elements.
  int SetDimensions(unsigned long rows, unsigned long columns);
  using cct_NativeAggregate_2d::SetDimensions;
  void SetType(const cct_Type* v, unsigned long i, unsigned long j);
  void SetElement(const void* raw, unsigned long i, unsigned long j);
  void _SetEntity(const cct_Type* v, unsigned long i, unsigned long j);
  cct_Type* ElementObject(unsigned long i, unsigned long j) const;

 private:
  void ReleaseAll();
  /// Makes room for exactly rows x columns elements of a value read as a whole: what the
  /// aggregate held before is given back, no bound is checked and every row is full.
  void ResizeForReading(uint32_t rows, uint32_t columns);
  /// An element stored at (i, j) belongs to row i, which grows up to it if it was shorter.
  void Reach(unsigned long i, unsigned long j);
  void DropRowLengths();

  /// Where the rows were read with different lengths: the number of rows it describes, then
  /// the length of each; null when every row holds Columns() elements. (The array itself is
  /// rectangular: a shorter row's missing elements stay zero and are neither written nor
  /// checked. The count guards against the native array being resized underneath.)
  uint32_t* rowLengths_ = nullptr;
};

#endif
