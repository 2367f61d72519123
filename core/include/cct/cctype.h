// Root of every value class (and of cct_Instance) and the six simple value classes:
// INTEGER, REAL, LOGICAL, BOOLEAN, STRING and BINARY.
#ifndef CCT_CCTYPE_H
#define CCT_CCTYPE_H

#include <cstddef>
#include <cstdint>
#include <iosfwd>

#include "cct/pool.h"

class cct_Type;

/// Flag bits of the 16-bit word every value and instance carries.
enum cct_Flag : uint16_t {
  cct_FLAG_OPTIONAL = 0x0001,
  cct_FLAG_TEMPORARY = 0x0002,
  cct_FLAG_NO_VALUE = 0x0004,     // the parser's "*" parameter; skipped by the checks
  cct_FLAG_VIA_ENTRY = 0x0008,    // held through a scope entry; for instances: registered
  cct_FLAG_PLACEHOLDER = 0x0010,  // reference placeholder made by the parser
  cct_FLAG_OWNS_TEXT = 0x0020,    // entity reference owns its declared name; instances: killed
  cct_FLAG_KILLED = 0x0020,
  cct_FLAG_LOCKED = 0x0040,
  cct_FLAG_UNSET = 0x0080,
  cct_FLAG_VISITED = 0x0100,
  cct_FLAG_RELEASED = 0x0200,
  cct_FLAG_MODIFIED = 0x0400,
  cct_FLAG_NAMED_REFERENCE = 0x0800,  // an unregistered cct_NamedReference
  // A value: holds the parameter the file gave as text (its instance's scope keeps it), since
  // the binding refused it. An instance: its scope keeps parameters of its record as written.
  cct_FLAG_AS_WRITTEN = 0x1000,
  // A select: holds an enumeration literal the file gave without its type, written back so.
  cct_FLAG_BARE_LITERAL = 0x2000,
};

/// Representation codes answered by Kind(); unlike TypeID they are never overridden by schema
/// subclasses.
enum cct_KindCode : long {
  cct_KIND_NONE = 0,
  cct_KIND_PLACEHOLDER = 1,
  cct_KIND_INSTANCE = 4,
  cct_KIND_INTEGER = 5,
  cct_KIND_REAL = 6,
  cct_KIND_LOGICAL = 7,
  cct_KIND_ENUMERATION = 8,
  cct_KIND_STRING = 9,
  cct_KIND_BINARY = 10,
  cct_KIND_AGGREGATE = 11,
  cct_KIND_SELECT = 16,
  cct_KIND_BOOLEAN = 17,
  cct_KIND_ENTITY_REFERENCE = 18,
};

/// While on, every setter marks the object it changes as modified. On for the whole program.
struct cct_ChangeTrackingSwitch {
  int flag = 1;
  explicit operator bool() const { return flag != 0; }
};
extern cct_ChangeTrackingSwitch ChangeTracking;

/// 2 in this program: parameters are matched by kind and names are ignored. 0 and 1 are stricter.
/// Identifier ranges: the schema's defined types are 1001 on, its entities 3001 on (3000 + n, n
/// below 1000; room is left up to 4096 for tables indexed by n).
constexpr long cct_TYPE_ID_BASE = 1000;
constexpr long cct_ENTITY_ID_BASE = 3000;
constexpr long cct_ENTITY_ID_ROOM = 4096;

extern thread_local int CompatibilityMode;

/// Sets CompatibilityMode while it lives and puts the previous mode back on every path,
/// exceptions included. Every read, check and save that needs a mode sets it this way; the mode
/// belongs to the thread, so files read on two threads do not disturb each other.
class cct_CompatibilityScope {
 public:
  explicit cct_CompatibilityScope(int mode) : saved_(CompatibilityMode) { CompatibilityMode = mode; }
  ~cct_CompatibilityScope() { CompatibilityMode = saved_; }
  cct_CompatibilityScope(const cct_CompatibilityScope&) = delete;
  cct_CompatibilityScope& operator=(const cct_CompatibilityScope&) = delete;

 private:
  int saved_;
};

/// Combines a name-test result n and a kind-test result k by CompatibilityMode.
int CombineCompatibility(int n, int k);

/// Heap texts owned by value objects.
char* cct_CopyText(const char* text);
void cct_FreeText(char* text);

/// Root of the value classes. The virtual operations are declared in their fixed slot order.
class __cct_Type {
 public:
  CCT_POOLED_CLASS
  __cct_Type() = default;
  __cct_Type(const __cct_Type&) = delete;
  __cct_Type& operator=(const __cct_Type&) = delete;

  /// 0 incompatible, 1 or -1 compatible.
  virtual int TestCompatibility(const cct_Type* p) const;
  virtual ~__cct_Type() = default;
  virtual void Unset();
  virtual void Release();
  virtual const char* TypeName() const;
  virtual long TypeID() const;
  virtual void ProcessParameter(const cct_Type* p);
  virtual long Kind() const;
  virtual void WriteP21(std::ostream& out) const = 0;
  /// 1 = correct.
  virtual int TestCorrectness(int check);
  virtual long GetInteger() const;
  virtual double GetReal() const;
  virtual const char* GetString() const;
  virtual cct_Type* GetEntity() const;
  virtual void Copy(const cct_Type* p) = 0;

  bool IsSet() const { return !(flags_ & cct_FLAG_UNSET); }
  void SetSet(bool set);
  bool IsTemporary() const { return flags_ & cct_FLAG_TEMPORARY; }
  bool IsOptional() const { return flags_ & cct_FLAG_OPTIONAL; }
  bool IsModified() const { return flags_ & cct_FLAG_MODIFIED; }
  uint16_t Flags() const { return flags_; }
  void SetFlags(uint16_t bits) { flags_ |= bits; }
  void ClearFlags(uint16_t bits) { flags_ &= static_cast<uint16_t>(~bits); }
  bool HasFlags(uint16_t bits) const { return (flags_ & bits) == bits; }

  /// 1 names compatible, 0 not, -1 null argument.
  int TestNameCompatibilty(const cct_Type* p) const;

 protected:
  /// Kind test of the root: own kind 0 gives 2, equal kinds 1, otherwise 0.
  int KindTest(const cct_Type* p) const;
  /// The common rule: name test, then the given kind result combined by CompatibilityMode.
  int Combine(const cct_Type* p, int kindResult) const;
  /// Sets the modified bit while ChangeTracking is on.
  void MarkModified() {
    if (ChangeTracking) flags_ |= cct_FLAG_MODIFIED;
  }
  void ConversionError(const char* requested) const;

  // The pointer comes first: empty braces initialise only the first member, and it has to
  // cover all eight bytes (a 32-bit first member left the upper half undefined).
  union Value {
    void* p;
    int32_t i;
    double d;
    char* s;
  } value_{};
  uint16_t flags_ = cct_FLAG_UNSET;
};

class cct_Type : public __cct_Type {
 public:
  ~cct_Type() override = default;
};

class cct_IntegerType : public cct_Type {
 public:
  const char* TypeName() const override { return "INTEGER"; }
  long TypeID() const override { return 2; }
  long Kind() const override { return cct_KIND_INTEGER; }
  void WriteP21(std::ostream& out) const override;
  long GetInteger() const override { return value_.i; }
  double GetReal() const override { return value_.i; }
  void Copy(const cct_Type* p) override;

  void Set(long v);
  long Get() const { return value_.i; }
};

class cct_RealType : public cct_Type {
 public:
  int TestCompatibility(const cct_Type* p) const override;
  const char* TypeName() const override { return "REAL"; }
  long TypeID() const override { return 3; }
  void ProcessParameter(const cct_Type* p) override;
  long Kind() const override { return cct_KIND_REAL; }
  void WriteP21(std::ostream& out) const override;
  double GetReal() const override { return value_.d; }
  void Copy(const cct_Type* p) override;

  void Set(double v);
  double Get() const { return value_.d; }
};

class cct_LogicalType : public cct_Type {
 public:
  /// A new LOGICAL is set to unknown.
  cct_LogicalType();
  int TestCompatibility(const cct_Type* p) const override;
  const char* TypeName() const override { return "LOGICAL"; }
  long TypeID() const override { return 4; }
  long Kind() const override { return cct_KIND_LOGICAL; }
  void WriteP21(std::ostream& out) const override;
  long GetInteger() const override { return value_.i; }
  void Copy(const cct_Type* p) override;

  /// Stores -1 (unknown), 0 (false) or 1 (true).
  void Set(long v);
  void SetFromLong(long v) { Set(LongToLogical(v)); }
  /// -1 when unset.
  long Get() const;
  static long LongToLogical(long v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }
};

class cct_BooleanType : public cct_Type {
 public:
  int TestCompatibility(const cct_Type* p) const override;
  const char* TypeName() const override { return "BOOLEAN"; }
  long TypeID() const override { return 5; }
  long Kind() const override { return cct_KIND_BOOLEAN; }
  void WriteP21(std::ostream& out) const override;
  long GetInteger() const override { return value_.i; }
  void Copy(const cct_Type* p) override;

  void Set(long v);
  void SetFromLong(long v) { Set(LongToBoolean(v)); }
  long Get() const { return value_.i; }
  /// Negative values are a program bug: reported, answered as false.
  static long LongToBoolean(long v);
};

/// Tag for the STRING setter that adopts a heap text made by cct_CopyText.
struct cct_AdoptText {};

class cct_StringType : public cct_Type {
 public:
  cct_StringType() = default;
  ~cct_StringType() override;
  void Unset() override;
  const char* TypeName() const override { return "STRING"; }
  long TypeID() const override { return 6; }
  void ProcessParameter(const cct_Type* p) override;
  long Kind() const override { return cct_KIND_STRING; }
  void WriteP21(std::ostream& out) const override;
  const char* GetString() const override { return value_.s; }
  void Copy(const cct_Type* p) override;

  /// Stores a copy; null unsets.
  void Set(const char* text);
  /// Stores the heap text itself; null unsets.
  void Set(char* text, cct_AdoptText);
  const char* Get() const { return value_.s; }

 protected:
  void FreeText();
};

class cct_BinaryType : public cct_StringType {
 public:
  const char* TypeName() const override { return "BINARY"; }
  long TypeID() const override { return 7; }
  long Kind() const override { return cct_KIND_BINARY; }
  void WriteP21(std::ostream& out) const override;
};

/// True for a finite REAL. For an infinity or NaN, which no exchange file can carry (a written
/// "inf." or "nan." makes the file unreadable), reports that it is not stored and answers false;
/// every store of a REAL asks first and then leaves the old value.
bool cct_StorableReal(double v);

/// Writes a REAL the way exchange files carry it: "%.10f", with a point always present.
void cct_WriteReal(std::ostream& out, double v);
/// The same text into a buffer of at least 400 characters; answers the length.
size_t cct_FormatReal(char* text, double v);

#endif
