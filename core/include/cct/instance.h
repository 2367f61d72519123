// Base of every entity instance: naming and registration, reference counting, taking a parsed
// parameter list into the attributes, checks, copying, removal and the instance's own line.
#ifndef CCT_INSTANCE_H
#define CCT_INSTANCE_H

#include <iosfwd>

#include "cct/cctype.h"
#include "cct/lnklst.h"
#include "cct/scope.h"

#include <string>

class cct_InputFile;

class cct_Instance : public cct_Type {
 public:
  cct_Instance();
  ~cct_Instance() override;

  // Slots 0 to 14 of the value root.
  int TestCompatibility(const cct_Type* other) const override;
  void Release() override;
  const char* TypeName() const override { return "INSTANCE"; }
  long TypeID() const override { return 200; }
  void ProcessParameter(const cct_Type* p) override;
  long Kind() const override;
  /// Writes a reference: "#" and the output name.
  void WriteP21(std::ostream& out) const override;
  int TestCorrectness(int mode) override;
  /// Copies attribute values matched by name from another instance.
  void Copy(const cct_Type* other) override;

  // Slots 15 to 21, answered by the generated entity classes.
  /// Ancestor names, own name last, closed by "".
  virtual const char* const* SupertypeNames() const { return nullptr; }
  virtual long AttributeCount() const { return 0; }
  /// The value object of attribute i (inherited attributes first); null past the last.
  virtual cct_Type* Attribute(long i) const;
  virtual long FirstOwnAttribute() const { return 0; }
  virtual const char* AttributeName(long i) const;
  /// Ancestor identifiers, own identifier last, closed by 0.
  virtual const long* SupertypeIds() const { return nullptr; }
  /// Prefix of the names a scope generates for unnamed instances of this class.
  virtual const char* NamePrefix() const { return nullptr; }

  const char* InstanceName() const;
  void InstanceName(const char* name);
  void ScopeEntry(cct_Scope::Entry* entry);
  cct_Scope::Entry* GetEntry() const { return IsRegistered() ? entry() : nullptr; }
  cct_Scope* GetScope() const;

  bool IsRegistered() const { return flags_ & cct_FLAG_VIA_ENTRY; }
  bool IsLocked() const { return flags_ & cct_FLAG_LOCKED; }
  bool IsKilled() const { return flags_ & cct_FLAG_KILLED; }
  void Lock() { flags_ |= cct_FLAG_LOCKED; }

  void AddReference() { ++refCount_; }
  void DropReference() { --refCount_; }
  long ReferenceCount() const { return refCount_; }

  bool HasSupertype(const char* entityName) const;
  bool HasSupertype(long typeId) const;

  /// Offers each parsed value to the attribute at its position.
  void ProcessAttributeList(const cct_LinkList<cct_ListNode>& list, const cct_InputFile& file);
  /// As ProcessAttributeList with a list of `count` missing values (nothing to offer), for
  /// values the reader has already given their attributes.
  void ProcessMissingAttributes(long count, const cct_InputFile& file);
  /// What the record gave beyond what the attributes took; null when it gave nothing more.
  const cct_AsWritten* AsWritten() const;
  /// The parameter kept as written in the place of attribute i; null when the attribute holds
  /// its own value.
  const std::string* AsWrittenText(long i) const;
  /// Keeps `text` as written in the place of attribute i, which is unset so that no value the
  /// file did not give is seen; false for an instance without a scope or no attribute i.
  bool KeepAsWritten(long i, std::string text);
  /// Forgets the text kept for attribute i; the attribute keeps what it holds now.
  void DropAsWritten(long i);
  /// The record of what is kept as written, made when `make` and there is none.
  cct_AsWritten* AsWrittenRecord(bool make);
  /// Number of attributes neither set nor OPTIONAL, each reported.
  long TestAllSet();
  /// True when the instance or one of its attribute values was changed.
  bool IsModified();
  void Kill();
  /// Writes "#name=TYPE(values);" and a newline; false (and nothing written) for an instance
  /// that no scope holds.
  virtual bool WriteP21Instance(std::ostream& os);

 private:
  /// How many attributes a record with parameters kept as written is written with; -1 for all.
  long WrittenAttributes(const cct_AsWritten& kept) const;
  /// Whether any attribute is written before the parameters after the last one.
  bool AttributeCountWritten(long end) const;
  /// Unsets the attribute at i when it is a LOGICAL, for a "$" read into it.
  void UnsetMissingLogical(long i);
  /// Warns when the attribute at i (after the last value given) is mandatory.
  void CheckAttributesAfter(long i, const cct_InputFile& file) const;
  cct_Scope::Entry* entry() const { return static_cast<cct_Scope::Entry*>(value_.p); }
  char* ownName() const { return static_cast<char*>(value_.p); }
  /// One level of the correctness test (mode 0 resets, otherwise checks).
  int CheckAttributes(int mode);
  /// Output name: the scope's translation of the instance name.
  const char* OutputName() const;

  // value_.p holds the own name while unregistered, the scope entry while registered.
  int32_t refCount_ = 0;
};

/// A reference as the parser reads it: the name of an instance of a scope, taken before it is
/// known whether (and as what) that instance exists. Only such a placeholder needs to know its
/// scope before it is registered, so only it carries one: every instance of a population is a
/// pointer smaller.
class cct_NamedReference : public cct_Instance {
 public:
  cct_NamedReference(cct_Scope* scope, const char* name);
  cct_Scope* NamedScope() const { return scope_; }

 private:
  cct_Scope* scope_;
};

#endif
