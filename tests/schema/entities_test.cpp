// The entity classes against the catalogue: identifiers, supertypes, attribute order, OPTIONAL
// marks, aggregate descriptors and the class-level lists.
#include "cct/schema.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

namespace cs = combined_schema;

namespace {

using InstancePtr = std::unique_ptr<cct_Instance>;

std::vector<std::string> AttributeNames(const cct_Instance& e) {
  std::vector<std::string> names;
  for (long i = 0; i < e.AttributeCount(); ++i) names.emplace_back(e.AttributeName(i));
  return names;
}

std::vector<std::string> Names(const char* const* list) {
  std::vector<std::string> out;
  for (; *list && **list; ++list) out.emplace_back(*list);
  return out;
}

std::vector<long> Ids(const long* list) {
  std::vector<long> out;
  for (; *list; ++list) out.push_back(*list);
  return out;
}

std::vector<long> IdsOf(std::initializer_list<const char*> names) {
  std::vector<long> out;
  for (const char* n : names) out.push_back(cct_LookupTypeId(EntityNameTable, n));
  return out;
}

const cs::EntityTable& Table(long id) { return *cs::FindEntityTable(id); }

class SchemaEntities : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTypeNames();
    RegisterEntityNames();
  }
  static InstancePtr Make(const char* name) { return InstancePtr(CreateEntityByName(name)); }
};

}  // namespace

TEST_F(SchemaEntities, IdentifiersAreDenseAndEveryFormCreatesTheEntity) {
  for (long i = 0; i < cs::kEntityCount; ++i) {
    const TypeIdEntry& entry = cs::EntityIdTable[i];
    const long id = 3002 + i;
    ASSERT_EQ(entry.id, id);
    ASSERT_STREQ(Table(id).name, entry.name);
    for (long form : {id, id - 1000, id - 3000}) {
      InstancePtr made(CreateEntity(form));
      ASSERT_NE(made, nullptr) << form;
      EXPECT_EQ(made->TypeID(), id);
      EXPECT_STREQ(made->TypeName(), entry.name);
    }
    InstancePtr byName(CreateEntityByName(entry.name));
    ASSERT_NE(byName, nullptr) << entry.name;
    EXPECT_EQ(byName->TypeID(), id);
    EXPECT_EQ(std::unique_ptr<cct_Type>(CreateType(id))->Kind(), cct_KIND_INSTANCE);
  }
  EXPECT_STREQ(cs::EntityIdTable[cs::kEntityCount].name, "NULLENTITY");
  EXPECT_STREQ(InstancePtr(CreateEntity(3423))->TypeName(), "plunge_toolaxis");
  EXPECT_EQ(InstancePtr(CreateEntity(3424)), nullptr);
  EXPECT_EQ(InstancePtr(CreateEntity(3001)), nullptr);
  EXPECT_EQ(cs::FindEntityTable(3001), nullptr);
  EXPECT_EQ(cs::FindEntityTable(3424), nullptr);
}

TEST_F(SchemaEntities, CatalogueHasItsShape) {
  int withoutSupertype = 0;
  std::vector<std::string> twoSupertypes;
  int withoutOwn = 0;
  int withoutAny = 0;
  std::set<long> referenced;
  for (long id = 3002; id < 3002 + cs::kEntityCount; ++id) {
    const cs::EntityTable& t = Table(id);
    const std::vector<long> supers = Ids(t.directSupertypeIds);
    withoutSupertype += supers.empty();
    if (supers.size() == 2) twoSupertypes.emplace_back(t.name);
    withoutOwn += t.attributeCount == t.inheritedAttributeCount;
    withoutAny += t.attributeCount == 0;
    InstancePtr e(CreateEntity(id));
    for (long i = 0; i < e->AttributeCount(); ++i)
      if (e->Attribute(i)->Kind() == cct_KIND_ENTITY_REFERENCE) referenced.insert(e->Attribute(i)->TypeID());
  }
  EXPECT_EQ(withoutSupertype, 79);
  EXPECT_EQ(twoSupertypes,
            (std::vector<std::string>{"touch_probing", "edge_loop", "bounded_pcurve",
                                      "topological_region", "face_surface", "edge_curve",
                                      "rapid_movement", "vertex_point", "poly_loop"}));
  EXPECT_EQ(withoutOwn, 125);
  EXPECT_EQ(withoutAny, 28);
  EXPECT_EQ(referenced.size(), 88u);
}

// Every slot of every entity: the value object exists, sits where the table says, is fresh, and
// its OPTIONAL mark, kind and descriptor are consistent with the catalogue's types.
TEST_F(SchemaEntities, EveryAttributeValueObjectIsSoundAndFresh) {
  for (long id = 3002; id < 3002 + cs::kEntityCount; ++id) {
    const cs::EntityTable& t = Table(id);
    InstancePtr e(CreateEntity(id));
    ASSERT_EQ(e->AttributeCount(), t.attributeCount);
    EXPECT_EQ(e->FirstOwnAttribute(),
              t.attributeCount > t.inheritedAttributeCount ? t.inheritedAttributeCount : 0);
    std::set<const cct_Type*> seen;
    for (long i = 0; i < t.attributeCount; ++i) {
      SCOPED_TRACE(std::string(t.name) + "::" + t.attributeNames[i]);
      cct_Type* value = e->Attribute(i);
      ASSERT_NE(value, nullptr);
      ASSERT_TRUE(seen.insert(value).second);
      ASSERT_STREQ(e->AttributeName(i), t.attributeNames[i]);
      EXPECT_EQ(value->IsOptional(), t.slots[i].optional == 1);
      EXPECT_FALSE(value->IsModified());
      const long kind = value->Kind();
      if (kind != cct_KIND_LOGICAL) {
        EXPECT_FALSE(value->IsSet());
      }
      EXPECT_EQ(t.slots[i].descriptor != nullptr, kind == cct_KIND_AGGREGATE);
      if (kind == cct_KIND_ENTITY_REFERENCE) {
        auto* ref = static_cast<cct_EntityType*>(value);
        const cs::EntityTable* target = cs::FindEntityTable(ref->TypeID());
        ASSERT_NE(target, nullptr);
        EXPECT_STREQ(ref->TypeName(), target->name);
        EXPECT_EQ(ref->AllowedTypes(), target->allowedEntityIds);
      } else if (kind == cct_KIND_AGGREGATE) {
        auto* aggregate = static_cast<cct_AggregateType*>(value);
        EXPECT_EQ(aggregate->BaseType(), t.slots[i].descriptor);
        const cct_BaseTypeDescriptor* d = aggregate->ElementDescriptor();
        if (d->kind == cct_KIND_ENTITY_REFERENCE) {
          ASSERT_NE(cs::FindEntityTable(d->elementTypeId), nullptr);
          EXPECT_STREQ(cs::FindEntityTable(d->elementTypeId)->name, d->elementTypeName);
        } else if (d->elementTypeName) {
          std::unique_ptr<cct_Type> element(CreateTypeByName(d->elementTypeName));
          ASSERT_NE(element, nullptr);
          EXPECT_EQ(element->TypeID(), d->elementTypeId);
          if (d->kind != cct_KIND_SELECT) {
            EXPECT_EQ(element->Kind(), d->kind);
          }
        } else {
          EXPECT_EQ(std::unique_ptr<cct_Type>(CreateType(d->elementTypeId))->Kind(), d->kind);
        }
      }
    }
    EXPECT_EQ(e->Attribute(t.attributeCount), nullptr);
    EXPECT_EQ(e->Attribute(-1), nullptr);
    EXPECT_EQ(e->AttributeName(t.attributeCount), nullptr);
    EXPECT_EQ(e->AttributeName(-1), nullptr);
  }
}

// Inherited attributes come first, supertype by supertype; ancestors precede descendants.
TEST_F(SchemaEntities, ListsFollowTheSupertypeGraph) {
  for (long id = 3002; id < 3002 + cs::kEntityCount; ++id) {
    const cs::EntityTable& t = Table(id);
    std::vector<std::string> expected;
    for (long super : Ids(t.directSupertypeIds)) {
      const cs::EntityTable& s = Table(super);
      expected.insert(expected.end(), s.attributeNames, s.attributeNames + s.attributeCount);
    }
    ASSERT_EQ(static_cast<long>(expected.size()), t.inheritedAttributeCount) << t.name;
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), t.attributeNames)) << t.name;

    const std::vector<long> ancestry = Ids(t.supertypeIds);
    ASSERT_EQ(ancestry.size(), Names(t.supertypeNames).size());
    ASSERT_EQ(ancestry.back(), id);
    for (size_t i = 0; i < ancestry.size(); ++i) {
      EXPECT_STREQ(t.supertypeNames[i], Table(ancestry[i]).name);
      for (long older : Ids(Table(ancestry[i]).supertypeIds))  // its own ancestors come earlier
        EXPECT_LE(std::find(ancestry.begin(), ancestry.end(), older) - ancestry.begin(),
                  static_cast<long>(i)) << t.name;
    }

    // Allowed ids: exactly the entities that have this one as ancestor, each after its subtypes.
    const std::vector<long> allowed = Ids(t.allowedEntityIds);
    ASSERT_EQ(allowed.back(), id);
    std::set<long> descendants;
    for (long other = 3002; other < 3002 + cs::kEntityCount; ++other) {
      const std::vector<long> a = Ids(Table(other).supertypeIds);
      if (std::find(a.begin(), a.end(), id) != a.end()) descendants.insert(other);
    }
    EXPECT_EQ(std::set<long>(allowed.begin(), allowed.end()), descendants) << t.name;
    EXPECT_EQ(allowed.size(), descendants.size()) << t.name;
  }
}

TEST_F(SchemaEntities, AncestorAndSubtypeListsOfTheDocumentedExamples) {
  InstancePtr faceSurface = Make("face_surface");
  EXPECT_EQ(Names(faceSurface->SupertypeNames()),
            (std::vector<std::string>{"representation_item", "topological_representation_item",
                                      "face", "geometric_representation_item", "face_surface"}));
  EXPECT_TRUE(faceSurface->HasSupertype("geometric_representation_item"));
  EXPECT_TRUE(faceSurface->HasSupertype("representation_item"));
  EXPECT_FALSE(faceSurface->HasSupertype("edge"));

  EXPECT_EQ(Ids(cs::tool_direction::AllowedEntityIds()),
            IdsOf({"two_axes", "three_axes", "three_axes_tilted_tool", "five_axes_const_tilt_yaw",
                   "five_axes_var_tilt_yaw", "tool_direction_for_milling", "tool_direction"}));
}

TEST_F(SchemaEntities, AttributeOrderInTheDocumentedEdgeCases) {
  InstancePtr boring = Make("boring");
  EXPECT_EQ(boring->AttributeCount(), 17);
  EXPECT_EQ(boring->FirstOwnAttribute(), 0);
  EXPECT_EQ(Ids(boring->SupertypeIds()), (std::vector<long>{3003, 3004, 3005, 3006, 3007, 3008}));
  InstancePtr boringOperation = Make("boring_operation");
  EXPECT_EQ(boringOperation->FirstOwnAttribute(), 14);
  EXPECT_EQ(AttributeNames(*boring), AttributeNames(*boringOperation));

  InstancePtr milling = Make("milling_machining_operation");
  EXPECT_EQ(milling->FirstOwnAttribute(), 8);
  EXPECT_STREQ(milling->AttributeName(8), "overcut_length");

  EXPECT_EQ(AttributeNames(*Make("edge_curve")),
            (std::vector<std::string>{"name", "edge_start", "edge_end", "edge_geometry", "same_sense"}));
  EXPECT_EQ(AttributeNames(*Make("bounded_pcurve")),
            (std::vector<std::string>{"basis_surface", "reference_to_curve", "name"}));
  EXPECT_EQ(AttributeNames(*Make("poly_loop")), (std::vector<std::string>{"polygon"}));
  for (const char* name : {"founded_item", "hole_bottom_condition", "tool_body", "representation_item"})
    EXPECT_EQ(Make(name)->AttributeCount(), 0) << name;
}

TEST_F(SchemaEntities, AggregateDescriptorsCarryKindBoundsAndElementType) {
  auto expectDescriptor = [](const cct_Type* value, cct_BaseTypeDescriptor expected) {
    ASSERT_EQ(value->Kind(), cct_KIND_AGGREGATE);
    const cct_BaseTypeDescriptor* d = static_cast<const cct_AggregateType*>(value)->BaseType();
    EXPECT_EQ(d->kind, expected.kind);
    EXPECT_EQ(d->lowerBound, expected.lowerBound);
    EXPECT_EQ(d->upperBound, expected.upperBound);
    EXPECT_STREQ(d->elementTypeName, expected.elementTypeName);
    EXPECT_EQ(d->elementTypeId, expected.elementTypeId);
  };
  constexpr int32_t kOpen = cct_BaseTypeDescriptor::kUnbounded;

  cs::cartesian_point point;
  EXPECT_EQ(point.AttributeCount(), 2);
  EXPECT_EQ(point.Attribute(1), &point.coordinates);
  expectDescriptor(&point.coordinates, {cct_KIND_REAL, 1, 3, "length_measure", 1064});

  cs::poly_loop loop;
  expectDescriptor(&loop.polygon, {cct_KIND_ENTITY_REFERENCE, 3, kOpen, "cartesian_point", 3364});
  cs::trimmed_curve trimmed;
  expectDescriptor(&trimmed.trim_1, {cct_KIND_SELECT, 1, 2, "trimming_select", 1044});
  expectDescriptor(&trimmed.trim_2, {cct_KIND_SELECT, 1, 2, "trimming_select", 1044});

  // Bare base types have no element type name; their identifier is the base type's.
  InstancePtr knots = Make("b_spline_curve_with_knots");
  expectDescriptor(knots->Attribute(knots->FirstOwnAttribute()), {cct_KIND_INTEGER, 2, kOpen, nullptr, 2});

  // Two-dimensional: the outer entry (kind 14, no element type), then the element's record.
  cs::b_spline_surface surface;
  const cct_BaseTypeDescriptor* d = surface.control_points_list.BaseType();
  EXPECT_EQ(d[0].kind, 14);
  EXPECT_EQ(d[0].lowerBound, 2);
  EXPECT_EQ(d[0].elementTypeName, nullptr);
  EXPECT_EQ(d[1].kind, cct_KIND_ENTITY_REFERENCE);
  EXPECT_STREQ(d[1].elementTypeName, "cartesian_point");
  EXPECT_EQ(surface.control_points_list.Dimensions(), 2);
}

TEST_F(SchemaEntities, FreshSpecificationIsPreparedByItsConstructor) {
  cs::specification made;
  const cct_BaseTypeDescriptor* d = made.constraint.BaseType();
  EXPECT_EQ(d->kind, cct_KIND_ENTITY_REFERENCE);
  EXPECT_EQ(d->lowerBound, 0);
  EXPECT_EQ(d->upperBound, cct_BaseTypeDescriptor::kUnbounded);
  EXPECT_STREQ(d->elementTypeName, "specification_usage_constraint");
  EXPECT_EQ(made.constraint.Count(), 0u);
  EXPECT_FALSE(made.specification_id.IsOptional());
  EXPECT_TRUE(made.specification_description.IsOptional());
  EXPECT_TRUE(made.specification_class.IsOptional());
}

TEST_F(SchemaEntities, AttributeClassesFollowTheSupertypes) {
  static_assert(std::is_base_of_v<cs::workingstep_Attributes, cs::touch_probing_Attributes>);
  static_assert(std::is_base_of_v<cs::operation_Attributes, cs::touch_probing_Attributes>);
  static_assert(!std::is_base_of_v<cs::workingstep, cs::touch_probing>);
  static_assert(std::is_base_of_v<cct_Instance, cs::touch_probing>);
  cs::touch_probing probe;
  const cs::operation_Attributes& asOperation = probe;
  EXPECT_STREQ(asOperation.SchemaName(), "combined_schema");
  // The inherited value objects are the supertype parts' members.
  EXPECT_EQ(probe.Attribute(0), &probe.its_id);
  EXPECT_EQ(probe.Attribute(probe.AttributeCount() - 1), &probe.measured_offset);
}
