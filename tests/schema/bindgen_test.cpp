// The binding generator's reading of the data file and the lists it derives.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "schema_model.h"

namespace {

struct Loaded {
  bindgen::Schema schema;
  std::vector<std::string> errors;
  bool ok = false;
};

Loaded Load(const std::string& text) {
  Loaded l;
  std::istringstream in(text);
  l.ok = l.schema.Read(in, l.errors) && l.schema.Resolve(l.errors);
  return l;
}

std::string FirstError(const std::string& text) {
  Loaded l = Load(text);
  EXPECT_FALSE(l.ok);
  return l.errors.empty() ? "" : l.errors.front();
}

std::vector<std::string> Names(const std::vector<const bindgen::Entity*>& list) {
  std::vector<std::string> out;
  for (const bindgen::Entity* e : list) out.push_back(e->name);
  return out;
}

// A diamond: d has the supertypes b and c, both subtypes of a.
const char* const kDiamond = R"(schema s
type 1001 length REAL
enumeration 1002 side left right
select 1003 inner b length
select 1004 outer inner side
select 1005 alias : inner
entity 3002 a
entity 3003 b : a
  x: OPTIONAL length
entity 3004 c : a
  ys: [1:?] OF [2:3] OF REAL
entity 3005 d : b c
  parts: [0:?] OF b
)";

}  // namespace

TEST(Bindgen, DiamondListsEachAncestorAndAttributeOnce) {
  Loaded l = Load(kDiamond);
  ASSERT_TRUE(l.ok) << (l.errors.empty() ? "" : l.errors.front());
  const bindgen::Entity& d = *l.schema.FindEntity("d");
  EXPECT_EQ(Names(d.ancestry), (std::vector<std::string>{"a", "b", "c", "d"}));
  std::vector<std::string> attributes;
  for (const bindgen::Attribute* a : d.attributes) attributes.push_back(a->name);
  EXPECT_EQ(attributes, (std::vector<std::string>{"x", "ys", "parts"}));
  EXPECT_EQ(d.inheritedCount, 2u);
  // d is reached through b first and listed there only.
  EXPECT_EQ(l.schema.FindEntity("a")->allowedIds, (std::vector<long>{3005, 3003, 3004, 3002}));
  const bindgen::Attribute& ys = *l.schema.FindEntity("c")->attributes.back();
  EXPECT_EQ(ys.type.dimensions, 2);
  EXPECT_EQ(ys.type.outer.upper, bindgen::kUnbounded);
  EXPECT_EQ(ys.type.inner.lower, 2);
  EXPECT_TRUE(l.schema.FindEntity("b")->own[0].optional);
  EXPECT_EQ(l.schema.FindEntity("a")->attributes.size(), 0u);
}

TEST(Bindgen, SubtypeOrderChangesTheVisitingOrder) {
  Loaded l = Load(R"(schema s
entity 3002 a
  subtype-order c b
entity 3003 b : a
entity 3004 c : a
)");
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.schema.FindEntity("a")->allowedIds, (std::vector<long>{3004, 3003, 3002}));
}

TEST(Bindgen, SelectListsFollowTheAlternativeRule) {
  Loaded l = Load(kDiamond);
  ASSERT_TRUE(l.ok);
  // inner: entity b (its subtypes in post-order, then b), a REAL-based type with 3.
  EXPECT_EQ(l.schema.FindType("inner")->allowedTypes, (std::vector<long>{3005, 3003, 1001, 3}));
  // outer: a select alternative brings its own id, its list and 9; an enumeration its id and 8.
  EXPECT_EQ(l.schema.FindType("outer")->allowedTypes,
            (std::vector<long>{1003, 3005, 3003, 1001, 3, 9, 1002, 8}));
  EXPECT_EQ(l.schema.FindType("alias")->allowedTypes, l.schema.FindType("inner")->allowedTypes);
}

TEST(Bindgen, ElementRepresentation) {
  Loaded l = Load(kDiamond);
  ASSERT_TRUE(l.ok);
  const bindgen::ElementInfo real = l.schema.Element("REAL");
  EXPECT_EQ(real.kind, 6);
  EXPECT_EQ(real.typeId, 3);
  EXPECT_TRUE(real.typeName.empty());
  const bindgen::ElementInfo length = l.schema.Element("length");
  EXPECT_EQ(length.kind, 6);
  EXPECT_EQ(length.typeId, 1001);
  EXPECT_EQ(length.aggregateClass, "::s::RealAggregate");
  EXPECT_EQ(l.schema.Element("side").kind, 8);
  EXPECT_EQ(l.schema.Element("outer").aggregateClass, "::s::SelectAggregate");
  EXPECT_EQ(l.schema.Element("b").valueClass, "::s::b_Reference");
  EXPECT_EQ(Names(l.schema.AggregatedEntities()), (std::vector<std::string>{"b"}));
  EXPECT_TRUE(l.schema.ReferencedEntities().empty());
}

TEST(Bindgen, TranscriptionFaultsAreRejected) {
  EXPECT_EQ(FirstError("schema s\nentity 3003 a\n"),
            "line 2: entity identifiers must run densely from 3002");
  EXPECT_EQ(FirstError("schema s\ntype 1002 t REAL\n"),
            "line 2: type identifiers must run densely from 1001");
  EXPECT_EQ(FirstError("schema s\nentity 3002 a : z\n"), "line 2: a: unknown supertype z");
  EXPECT_EQ(FirstError("schema s\nentity 3002 a : b\nentity 3003 b : a\n"),
            "line 2: a: the supertype graph has a cycle");
  EXPECT_EQ(FirstError("schema s\nentity 3002 a\n  subtype-order b\nentity 3003 b\n"),
            "line 2: a: subtype-order must list the direct subtypes once each");
  EXPECT_EQ(FirstError("schema s\nentity 3002 a\n  n: STRING\nentity 3003 b : a\nentity 3004 c : a\n"
                       "entity 3005 d : b c\n"),
            "line 6: d: attribute n reached twice");
  EXPECT_EQ(FirstError("schema s\nentity 3002 a\n  n: thing\n"), "line 3: unknown type thing");
  EXPECT_EQ(FirstError("schema s\nentity 3002 a\n  n: [1:?] OF BOOLEAN\n"),
            "line 3: no aggregate class for elements of type BOOLEAN");
  EXPECT_EQ(FirstError("schema s\nentity 3002 a\n  n [1:?] OF REAL\n"), "line 3: malformed attribute");
  EXPECT_EQ(FirstError("schema s\nentity 3002 a\n  n: [3:1] OF REAL\n"), "line 3: malformed attribute");
  EXPECT_EQ(FirstError("schema s\nselect 1001 p q\nselect 1002 q p\n"),
            "line 2: p: selects refer to each other in a cycle");
  EXPECT_EQ(FirstError("schema s\ntype 1001 t REAL\nentity 3002 t\n"), "line 3: duplicate name t");
  EXPECT_EQ(FirstError("entity 3002 a\n"), "the data file names no schema");
}
