#include "cct/factory.h"

#include <gtest/gtest.h>

#include <memory>

#include "cct/instance.h"
#include "support/test_schema.h"

TEST(Factory, BuiltInTypesNeedNoSchema) {
  const struct {
    long id;
    const char* name;
  } rows[] = {{2, "INTEGER"}, {3, "REAL"},   {4, "LOGICAL"},    {5, "BOOLEAN"},
              {6, "STRING"},  {7, "BINARY"}, {8, "ENUMERATION"}};
  for (const auto& row : rows) {
    std::unique_ptr<cct_Type> made(CreateType(row.id));
    ASSERT_NE(made, nullptr) << row.id;
    EXPECT_STREQ(made->TypeName(), row.name);
    EXPECT_FALSE(made->IsSet() && row.id != 4);
  }
  for (long id : {0L, 1L, 9L, 12L, 100L, 200L, 1068L, 2000L, -5L})
    EXPECT_EQ(std::unique_ptr<cct_Type>(CreateType(id)), nullptr) << id;
}

TEST(Factory, SchemaTypesAndEntitiesThroughTheBinding) {
  test_schema::Use();
  std::unique_ptr<cct_Type> length(CreateType(test_schema::kLength));
  ASSERT_NE(length, nullptr);
  EXPECT_STREQ(length->TypeName(), "length_measure");
  EXPECT_EQ(length->Kind(), cct_KIND_REAL);

  for (long id : {3900L, 2900L, 900L}) {
    std::unique_ptr<cct_Instance> point(CreateEntity(id));
    ASSERT_NE(point, nullptr) << id;
    EXPECT_EQ(point->TypeID(), 3900);
  }
  std::unique_ptr<cct_Type> viaType(CreateType(3900));
  ASSERT_NE(viaType, nullptr);
  EXPECT_EQ(viaType->Kind(), cct_KIND_INSTANCE);
  EXPECT_EQ(std::unique_ptr<cct_Instance>(CreateEntity(3001)), nullptr);
  EXPECT_EQ(std::unique_ptr<cct_Instance>(CreateEntity(0)), nullptr);
}

TEST(Factory, NamesAreExactAndFallThroughToEntities) {
  test_schema::Use();
  std::unique_ptr<cct_Type> length(CreateTypeByName("length_measure"));
  ASSERT_NE(length, nullptr);
  EXPECT_EQ(length->TypeID(), test_schema::kLength);
  std::unique_ptr<cct_Type> point(CreateTypeByName("test_point"));
  ASSERT_NE(point, nullptr);
  EXPECT_EQ(point->Kind(), cct_KIND_INSTANCE);
  EXPECT_EQ(std::unique_ptr<cct_Instance>(CreateEntityByName("TEST_POINT")), nullptr);
  EXPECT_EQ(std::unique_ptr<cct_Instance>(CreateEntityByName(nullptr)), nullptr);
  EXPECT_EQ(std::unique_ptr<cct_Type>(CreateTypeByName("NULLTYPE")), nullptr);
  EXPECT_EQ(std::unique_ptr<cct_Instance>(CreateEntityByName("NULLENTITY")), nullptr);
  EXPECT_EQ(cct_LookupTypeId(EntityNameTable, "test_count"), test_schema::kCount);
  EXPECT_EQ(cct_LookupTypeId(EntityNameTable, "nothing"), 0);
  EXPECT_EQ(cct_LookupTypeId(TypeNameTable, "side"), test_schema::kSide);
  EXPECT_STREQ(SchemaName(), "combined_schema");
}
