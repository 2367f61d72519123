#include "cct/header.h"

namespace {

// Lists of strings, at least one, no upper bound.
constexpr cct_BaseTypeDescriptor kStringList = {cct_KIND_STRING, 1, cct_BaseTypeDescriptor::kUnbounded,
                                                nullptr, 6};
constexpr cct_BaseTypeDescriptor kSchemaNameList = {
    cct_KIND_STRING, 1, cct_BaseTypeDescriptor::kUnbounded, "schema_name", 6};

const char* const kDescriptionNames[] = {"file_description", ""};
const long kDescriptionIds[] = {3003, 0};
const char* const kDescriptionAttributes[] = {"description", "implementation_level", nullptr};

const char* const kFileNameNames[] = {"file_name", ""};
const long kFileNameIds[] = {3001, 0};
const char* const kFileNameAttributes[] = {"name",         "time_stamp",           "author",
                                           "organization", "preprocessor_version", "originating_system",
                                           "authorization", nullptr};

const char* const kSchemaNames[] = {"file_schema", ""};
const long kSchemaIds[] = {3002, 0};
const char* const kSchemaAttributes[] = {"schema_identifiers", nullptr};

}  // namespace

cct_Type* cct_HeaderEntity::Attribute(long i) const {
  return i >= 0 && i < count_ && members_ ? members_[i] : nullptr;
}

const char* cct_HeaderEntity::AttributeName(long i) const {
  return i >= 0 && i < count_ ? attributeNames_[i] : nullptr;
}

file_description::file_description()
    : cct_HeaderEntity(kDescriptionNames, kDescriptionIds, kDescriptionAttributes, 2),
      description(&kStringList),
      members_{&description, &implementation_level} {
  SetMembers(members_);
}

file_name::file_name()
    : cct_HeaderEntity(kFileNameNames, kFileNameIds, kFileNameAttributes, 7),
      author(&kStringList),
      organization(&kStringList),
      members_{&name,         &time_stamp,           &author,        &organization,
               &preprocessor_version, &originating_system, &authorization} {
  SetMembers(members_);
}

file_schema::file_schema()
    : cct_HeaderEntity(kSchemaNames, kSchemaIds, kSchemaAttributes, 1),
      schema_identifiers(&kSchemaNameList),
      members_{&schema_identifiers} {
  SetMembers(members_);
}

void cct_SetStringList(cct_AggregateType_1d& list, const char* const* texts, unsigned long count) {
  list.Unset();
  list.SetDimensions(count);
  cct_StringType text;
  for (unsigned long i = 0; i < count; ++i) {
    text.Set(texts[i]);
    list.SetType(&text, i);
  }
}
