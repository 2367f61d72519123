// The binding plugged into the core's factories and name tables.
#include "cct/schema.h"

#include <gtest/gtest.h>

#include <memory>

// No name table is filled yet in this test program's first test: including the header installs
// the binding only.
TEST(SchemaBinding, IncludingTheHeaderInstallsTheBinding) {
  EXPECT_EQ(cct_GetSchemaBinding(), &combined_schema::kBinding);
  std::unique_ptr<cct_Type> parameter(CreateType(1001));
  ASSERT_NE(parameter, nullptr);
  EXPECT_STREQ(parameter->TypeName(), "parameter_value");
  EXPECT_EQ(parameter->Kind(), cct_KIND_REAL);
  EXPECT_EQ(std::unique_ptr<cct_Instance>(CreateEntityByName("machining_operation")), nullptr);
}

TEST(SchemaBinding, IdentifierFormsAndUnknownIdentifiers) {
  for (long id : {3004L, 2004L, 4L}) {
    std::unique_ptr<cct_Instance> op(CreateEntity(id));
    ASSERT_NE(op, nullptr) << id;
    EXPECT_STREQ(op->TypeName(), "machining_operation");
  }
  EXPECT_EQ(std::unique_ptr<cct_Type>(CreateType(3004))->TypeID(), 3004);
  for (long id : {1068L, 9L, 12L, 100L, 200L, 1000L})
    EXPECT_EQ(std::unique_ptr<cct_Type>(CreateType(id)), nullptr) << id;
  EXPECT_EQ(std::unique_ptr<cct_Instance>(CreateEntity(3424)), nullptr);
}

TEST(SchemaBinding, NameTablesAfterRegistration) {
  EXPECT_EQ(RegisterTypeNames()->KeyCount(), 67);
  EXPECT_EQ(RegisterEntityNames()->KeyCount(), 422);
  EXPECT_EQ(RegisterEntityNames()->KeyCount(), 422);  // a second registration adds nothing

  std::unique_ptr<cct_Type> length(CreateTypeByName("length_measure"));
  ASSERT_NE(length, nullptr);
  EXPECT_EQ(length->TypeID(), 1064);
  std::unique_ptr<cct_Type> point(CreateTypeByName("cartesian_point"));
  ASSERT_NE(point, nullptr);
  EXPECT_EQ(point->Kind(), cct_KIND_INSTANCE);
  EXPECT_EQ(std::unique_ptr<cct_Instance>(CreateEntityByName("MACHINING_OPERATION")), nullptr);
  EXPECT_EQ(std::unique_ptr<cct_Type>(CreateTypeByName("NULLTYPE")), nullptr);
  EXPECT_EQ(std::unique_ptr<cct_Instance>(CreateEntityByName("NULLENTITY")), nullptr);
  EXPECT_EQ(cct_LookupTypeId(EntityNameTable, "plunge_toolaxis"), 3423);
  EXPECT_EQ(cct_LookupTypeId(TypeNameTable, "list_of_reversible_topology_item"), 1067);
}
