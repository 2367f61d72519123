// A tiny schema binding for testing the schema-independent value types: three enumerations, a
// REAL-based measure, a select, a typed reference and the test entities of test_entities.h.
#ifndef VARNHOLT_TEST_SCHEMA_H
#define VARNHOLT_TEST_SCHEMA_H

#include "cct/aggr.h"
#include "cct/entitytype.h"
#include "cct/enumtype.h"
#include "cct/factory.h"
#include "cct/selecttype.h"
#include "support/test_entities.h"

namespace test_schema {

enum Id : long {
  kSide = 1001,         // left, right, neutral
  kSwitchState = 1002,  // on, off
  kPower = 1003,        // on, high
  kLength = 1004,       // REAL-based
  kShape = 1005,        // select: length, side, switch_state, power, test_point, untyped ENUMERATION
  kLabel = 1006,        // STRING-based
  kPoint = 3900,
  kCount = 3901,
  kEmpty = 3902,
  kPath = 3903,
};

template <long ID>
class Enumeration : public cct_EnumType {
 public:
  Enumeration(const char* name, const char* const* values, long count)
      : name_(name), values_(values), count_(count) {}
  const char* TypeName() const override { return name_; }
  long TypeID() const override { return ID; }
  const char* ValueName(long i) const override { return i >= 0 && i < count_ ? values_[i] : nullptr; }
  long ValueCount() const override { return count_; }

 private:
  const char* name_;
  const char* const* values_;
  long count_;
};

inline const char* const kSideValues[] = {"left", "right", "neutral"};
inline const char* const kSwitchValues[] = {"on", "off"};
inline const char* const kPowerValues[] = {"on", "high"};

class Side : public Enumeration<kSide> {
 public:
  Side() : Enumeration("side", kSideValues, 3) {}
};
class SwitchState : public Enumeration<kSwitchState> {
 public:
  SwitchState() : Enumeration("switch_state", kSwitchValues, 2) {}
};
class Power : public Enumeration<kPower> {
 public:
  Power() : Enumeration("power", kPowerValues, 2) {}
};

class Length : public cct_RealType {
 public:
  const char* TypeName() const override { return "length_measure"; }
  long TypeID() const override { return kLength; }
};

class Label : public cct_StringType {
 public:
  const char* TypeName() const override { return "label"; }
  long TypeID() const override { return kLabel; }
};

class Shape : public cct_SelectType {
 public:
  const char* TypeName() const override { return "shape"; }
  long TypeID() const override { return kShape; }
  const long* AllowedTypes() const override {
    static const long ids[] = {kLength, kSide, kSwitchState, kPower, kPoint, 8, kLabel, 0};
    return ids;
  }
};

/// A reference to a test_point, as the generated typed references are.
class PointReference : public cct_EntityType {
 public:
  PointReference() : cct_EntityType("test_point") {}
  const char* TypeName() const override { return "test_point"; }
  long TypeID() const override { return kPoint; }
  const long* AllowedTypes() const override {
    static const long ids[] = {kPoint, 0};
    return ids;
  }
};

inline constexpr cct_BaseTypeDescriptor kPointList = {cct_KIND_ENTITY_REFERENCE, 0,
                                                     cct_BaseTypeDescriptor::kUnbounded,
                                                     "test_point", kPoint};
inline constexpr cct_BaseTypeDescriptor kRealList = {cct_KIND_REAL, 0,
                                                    cct_BaseTypeDescriptor::kUnbounded, nullptr, 3};
inline constexpr cct_BaseTypeDescriptor kRealMatrix[2] = {
    {14, 0, cct_BaseTypeDescriptor::kUnbounded, nullptr, 0},
    {cct_KIND_REAL, 0, cct_BaseTypeDescriptor::kUnbounded, nullptr, 3}};

/// An entity "test_path": name, points (list of test_point), values (list of REAL), an OPTIONAL
/// shape select, an OPTIONAL matrix (list of lists of REAL) and an OPTIONAL reference.
class TestPath : public cct_Instance {
 public:
  TestPath() : points(&kPointList), values(&kRealList), matrix(kRealMatrix) {
    shape.SetFlags(cct_FLAG_OPTIONAL);
    matrix.SetFlags(cct_FLAG_OPTIONAL);
    start.SetFlags(cct_FLAG_OPTIONAL);
  }
  const char* TypeName() const override { return "test_path"; }
  long TypeID() const override { return kPath; }
  const char* const* SupertypeNames() const override {
    static const char* const names[] = {"test_path", ""};
    return names;
  }
  const long* SupertypeIds() const override {
    static const long ids[] = {kPath, 0};
    return ids;
  }
  long AttributeCount() const override { return 6; }
  cct_Type* Attribute(long i) const override {
    auto* self = const_cast<TestPath*>(this);
    cct_Type* const all[] = {&self->name, &self->points, &self->values,
                             &self->shape, &self->matrix, &self->start};
    return i >= 0 && i < 6 ? all[i] : nullptr;
  }
  const char* AttributeName(long i) const override {
    static const char* const names[] = {"name", "points", "values", "shape", "matrix", "start"};
    return i >= 0 && i < 6 ? names[i] : nullptr;
  }

  cct_StringType name;
  cct_AggregateType_1d points;
  cct_AggregateType_1d values;
  Shape shape;
  cct_AggregateType_2d matrix;
  PointReference start;
};

inline cct_Type* CreateTestType(long id) {
  switch (id) {
    case kSide: return new Side;
    case kSwitchState: return new SwitchState;
    case kPower: return new Power;
    case kLength: return new Length;
    case kShape: return new Shape;
    case kLabel: return new Label;
    default: return nullptr;
  }
}

inline cct_Instance* CreateTestEntity(long id) {
  switch (id) {
    case kPoint: return new TestPoint;
    case kCount: return new TestCount;
    case kEmpty: return new TestEmpty;
    case kPath: return new TestPath;
    default: return nullptr;
  }
}

inline const TypeIdEntry kTypes[] = {{"side", kSide},     {"switch_state", kSwitchState},
                                     {"power", kPower},   {"length_measure", kLength},
                                     {"shape", kShape},   {"label", kLabel},
                                     {"NULLTYPE", 0}};
inline const TypeIdEntry kEntities[] = {
    {"test_point", kPoint}, {"test_count", kCount}, {"test_empty", kEmpty},
    {"test_path", kPath},   {"NULLENTITY", 0}};

inline const cct_SchemaBinding kBinding = {kTypes, kEntities, &CreateTestType, &CreateTestEntity};

/// Installs the test binding and fills the name tables (once per process).
inline void Use() {
  static const bool registered = [] {
    cct_SetSchemaBinding(&kBinding);
    RegisterTypeNames();
    RegisterEntityNames();
    return true;
  }();
  (void)registered;
}

}  // namespace test_schema

#endif
