// The three header entities of an exchange file: FILE_DESCRIPTION, FILE_NAME and FILE_SCHEMA.
// They are not part of the bound schema: no name table holds them and no factory makes them.
#ifndef CCT_HEADER_H
#define CCT_HEADER_H

#include "cct/aggr.h"
#include "cct/cctype.h"
#include "cct/instance.h"

/// Base of the three header classes: attributes answered from a static table of members.
class cct_HeaderEntity : public cct_Instance {
 public:
  const char* const* SupertypeNames() const override { return names_; }
  const long* SupertypeIds() const override { return ids_; }
  const char* TypeName() const override { return names_[0]; }
  long TypeID() const override { return ids_[0]; }
  long AttributeCount() const override { return count_; }
  cct_Type* Attribute(long i) const override;
  const char* AttributeName(long i) const override;

 protected:
  cct_HeaderEntity(const char* const* names, const long* ids, const char* const* attributeNames,
                   long count)
      : names_(names), ids_(ids), attributeNames_(attributeNames), count_(count) {}
  /// The value objects in attribute order; set by each class's constructor.
  void SetMembers(cct_Type* const* members) { members_ = members; }

 private:
  const char* const* names_;
  const long* ids_;
  const char* const* attributeNames_;
  long count_;
  cct_Type* const* members_ = nullptr;
};

class file_description : public cct_HeaderEntity {
 public:
  file_description();
  cct_AggregateType_1d description;
  cct_StringType implementation_level;

 private:
  cct_Type* members_[2];
};

class file_name : public cct_HeaderEntity {
 public:
  file_name();
  cct_StringType name;
  cct_StringType time_stamp;
  cct_AggregateType_1d author;
  cct_AggregateType_1d organization;
  cct_StringType preprocessor_version;
  cct_StringType originating_system;
  cct_StringType authorization;

 private:
  cct_Type* members_[7];
};

class file_schema : public cct_HeaderEntity {
 public:
  file_schema();
  cct_AggregateType_1d schema_identifiers;

 private:
  cct_Type* members_[1];
};

/// Makes a string list hold exactly the given texts.
void cct_SetStringList(cct_AggregateType_1d& list, const char* const* texts, unsigned long count);

#endif
