// The header entities FILE_DESCRIPTION, FILE_NAME and FILE_SCHEMA.
#include "cct/header.h"
#include "cct/schema.h"

#include <gtest/gtest.h>

#include <memory>



TEST(HeaderEntities, AnswerTheirIdentifiersAndLists) {
  file_description description;
  file_name name;
  file_schema schema;
  EXPECT_EQ(description.TypeID(), 3003);
  EXPECT_EQ(name.TypeID(), 3001);
  EXPECT_EQ(schema.TypeID(), 3002);
  EXPECT_STREQ(name.SupertypeNames()[0], "file_name");
  EXPECT_STREQ(name.SupertypeNames()[1], "");
  EXPECT_EQ(schema.SupertypeIds()[0], 3002);
  EXPECT_EQ(schema.SupertypeIds()[1], 0);
  EXPECT_EQ(description.AttributeCount(), 2);
  EXPECT_EQ(name.AttributeCount(), 7);
  EXPECT_EQ(schema.AttributeCount(), 1);
  EXPECT_EQ(name.FirstOwnAttribute(), 0);
}

TEST(HeaderEntities, FreshFileNameHasSevenUnsetMandatoryAttributes) {
  file_name name;
  for (long i = 0; i < 7; ++i) {
    ASSERT_NE(name.Attribute(i), nullptr);
    EXPECT_FALSE(name.Attribute(i)->IsSet()) << i;
    EXPECT_FALSE(name.Attribute(i)->IsOptional()) << i;
  }
  EXPECT_STREQ(name.AttributeName(2), "author");
  EXPECT_STREQ(name.AttributeName(6), "authorization");
  EXPECT_EQ(name.AttributeName(7), nullptr);
  EXPECT_EQ(name.Attribute(7), nullptr);
  EXPECT_EQ(name.Attribute(-1), nullptr);
  EXPECT_EQ(name.Attribute(2), &name.author);
}

TEST(HeaderEntities, TextListsHaveLowerBoundOne) {
  file_description description;
  file_name name;
  file_schema schema;
  for (const cct_AggregateType* list :
       {static_cast<cct_AggregateType*>(&description.description),
        static_cast<cct_AggregateType*>(&name.author), static_cast<cct_AggregateType*>(&name.organization),
        static_cast<cct_AggregateType*>(&schema.schema_identifiers)}) {
    const cct_BaseTypeDescriptor* d = list->BaseType();
    EXPECT_EQ(d->kind, cct_KIND_STRING);
    EXPECT_EQ(d->lowerBound, 1);
    EXPECT_EQ(d->upperBound, cct_BaseTypeDescriptor::kUnbounded);
    EXPECT_EQ(d->elementTypeId, 6);
  }
  EXPECT_EQ(description.description.BaseType()->elementTypeName, nullptr);
  EXPECT_STREQ(schema.schema_identifiers.BaseType()->elementTypeName, "schema_name");
  // Without an upper bound a list starts empty; the bound is checked when it is read.
  EXPECT_EQ(schema.schema_identifiers.Count(), 0u);
}

TEST(HeaderEntities, AreNotInTheSchemasTablesOrFactories) {
  RegisterTypeNames();
  RegisterEntityNames();
  for (const char* n : {"file_description", "file_name", "file_schema"}) {
    EXPECT_EQ(cct_LookupTypeId(EntityNameTable, n), 0) << n;
    EXPECT_EQ(cct_LookupTypeId(TypeNameTable, n), 0) << n;
  }
  EXPECT_EQ(std::unique_ptr<cct_Instance>(CreateEntity(3001)), nullptr);
  EXPECT_STREQ(std::unique_ptr<cct_Instance>(CreateEntity(3002))->TypeName(), "specification");
}
