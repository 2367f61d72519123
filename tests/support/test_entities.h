// Small hand-written entity classes for testing the schema-independent core: they answer the
// attribute operations the way the generated schema classes do.
#ifndef VARNHOLT_TEST_ENTITIES_H
#define VARNHOLT_TEST_ENTITIES_H

#include "cct/cctype.h"
#include "cct/instance.h"

/// An entity "point" with attributes name (STRING), x (REAL), y (REAL), and an OPTIONAL label.
class TestPoint : public cct_Instance {
 public:
  TestPoint() { label.SetFlags(cct_FLAG_OPTIONAL); }
  const char* TypeName() const override { return "test_point"; }
  long TypeID() const override { return 3900; }
  const char* const* SupertypeNames() const override {
    static const char* const names[] = {"test_item", "test_point", ""};
    return names;
  }
  const long* SupertypeIds() const override {
    static const long ids[] = {3899, 3900, 0};
    return ids;
  }
  long AttributeCount() const override { return 4; }
  cct_Type* Attribute(long i) const override {
    auto* self = const_cast<TestPoint*>(this);
    switch (i) {
      case 0: return &self->name;
      case 1: return &self->x;
      case 2: return &self->y;
      case 3: return &self->label;
      default: return nullptr;
    }
  }
  const char* AttributeName(long i) const override {
    static const char* const names[] = {"name", "x", "y", "label"};
    return i >= 0 && i < 4 ? names[i] : nullptr;
  }

  cct_StringType name;
  cct_RealType x;
  cct_RealType y;
  cct_StringType label;
};

/// An entity "test_count" with an OPTIONAL comment followed by a mandatory count: a list that
/// stops before the comment must not complain about the count.
class TestCount : public cct_Instance {
 public:
  TestCount() { comment.SetFlags(cct_FLAG_OPTIONAL); }
  const char* TypeName() const override { return "test_count"; }
  long TypeID() const override { return 3901; }
  const char* const* SupertypeNames() const override {
    static const char* const names[] = {"test_count", ""};
    return names;
  }
  const long* SupertypeIds() const override {
    static const long ids[] = {3901, 0};
    return ids;
  }
  long AttributeCount() const override { return 3; }
  cct_Type* Attribute(long i) const override {
    auto* self = const_cast<TestCount*>(this);
    switch (i) {
      case 0: return &self->name;
      case 1: return &self->comment;
      case 2: return &self->count;
      default: return nullptr;
    }
  }
  const char* AttributeName(long i) const override {
    static const char* const names[] = {"name", "comment", "count"};
    return i >= 0 && i < 3 ? names[i] : nullptr;
  }

  cct_StringType name;
  cct_StringType comment;
  cct_IntegerType count;
};

/// An entity without attributes.
class TestEmpty : public cct_Instance {
 public:
  const char* TypeName() const override { return "test_empty"; }
  long TypeID() const override { return 3902; }
  const char* NamePrefix() const override { return prefix; }
  const char* prefix = nullptr;
};

#endif
