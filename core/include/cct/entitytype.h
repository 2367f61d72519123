// A reference to another instance. References in an exchange file are names that may point
// forward, so a reference normally holds the scope entry of the name and finds the instance
// through it (reading it on demand); an unregistered instance is held directly, counted.
#ifndef CCT_ENTITYTYPE_H
#define CCT_ENTITYTYPE_H

#include "cct/cctype.h"
#include "cct/scope.h"

class cct_Instance;

class cct_EntityType : public cct_Type {
 public:
  /// The declared name is kept as given (not copied): schema subclasses pass their entity name.
  explicit cct_EntityType(const char* declaredName = nullptr);
  ~cct_EntityType() override;

  int TestCompatibility(const cct_Type* p) const override;
  void Unset() override;
  const char* TypeName() const override { return "ENTITYTYPE"; }
  long TypeID() const override { return 12; }
  void ProcessParameter(const cct_Type* p) override;
  long Kind() const override { return cct_KIND_ENTITY_REFERENCE; }
  /// "#" and the output name of the referenced name.
  void WriteP21(std::ostream& out) const override;
  int TestCorrectness(int check) override;
  /// The referenced instance with a reference count taken.
  cct_Type* GetEntity() const override;
  void Copy(const cct_Type* p) override;
  /// Admissible entity ids, 0-terminated; null admits any.
  virtual const long* AllowedTypes() const { return nullptr; }

  void Set(const cct_Type* v);
  /// Holds the scope entry of a name without reading anything.
  void RegisterForwardref(const char* name, cct_Scope* scope);
  /// The referenced instance (read on demand), or null.
  cct_Instance* Get(int addReference) const;
  /// The directly held instance, or null when unset or held through an entry.
  cct_Instance* GetDirect(int noReference) const;
  cct_Scope::Entry* GetEntry() const;
  const char* Name() const;
  cct_Scope* Scope() const;
  void SetDeclaredName(const char* text);
  const char* DeclaredName() const { return declaredName_; }
  /// Guarded dereference: an unset or unresolvable reference is reported and throws
  /// cct_NullPointerDereferenceException.
  cct_Instance* operator->() const;

 private:
  bool HeldDirectly() const { return IsSet() && !(flags_ & cct_FLAG_VIA_ENTRY) && value_.p; }
  cct_Instance* Held() const { return static_cast<cct_Instance*>(value_.p); }
  cct_Scope::Entry* HeldEntry() const { return static_cast<cct_Scope::Entry*>(value_.p); }
  /// Lets go of what is held (a direct instance is released) and becomes unset.
  void Drop();
  void HoldEntry(cct_Scope::Entry* entry);

  const char* declaredName_;
};

#endif
