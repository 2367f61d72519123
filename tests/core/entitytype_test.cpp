#include "cct/entitytype.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "cct/exchgfls.h"
#include "cct/instance.h"
#include "support/capture.h"
#include "support/temp_file.h"
#include "support/test_schema.h"

namespace {

std::string P21(const cct_Type& value) {
  std::ostringstream out;
  value.WriteP21(out);
  return out.str();
}

/// A placeholder the parser makes for "#name" in a scope.
struct Placeholder {
  Placeholder(const char* name, cct_Scope* scope) : instance(scope, name) {}
  cct_NamedReference instance;
};

/// Reads names on demand like the exchange file does: listed names become test points.
struct Loader {
  std::map<std::string, long> types;
  static cct_Instance* Load(const char* name, void* data) {
    auto* self = static_cast<Loader*>(data);
    auto it = self->types.find(name);
    return it == self->types.end() ? nullptr : CreateEntity(it->second);
  }
};

}  // namespace

TEST(EntityReference, ForwardReferenceResolvedAfterReading) {
  test_schema::Use();
  cct_Scope scope;
  Loader loader;
  scope.SetLoader(&Loader::Load, &loader);
  test_schema::PointReference ref;
  Placeholder nine("9", &scope);
  ASSERT_NE(ref.TestCompatibility(&nine.instance), 0);
  ref.ProcessParameter(&nine.instance);
  EXPECT_TRUE(ref.IsSet());
  ASSERT_NE(ref.GetEntry(), nullptr);
  EXPECT_EQ(ref.GetEntry()->instance, nullptr);  // nothing read yet
  EXPECT_STREQ(ref.Name(), "9");
  EXPECT_EQ(ref.Scope(), &scope);
  EXPECT_EQ(P21(ref), "#9");

  loader.types["9"] = test_schema::kPoint;
  cct_Instance* nineRead = ref.Get(0);
  ASSERT_NE(nineRead, nullptr);
  EXPECT_EQ(nineRead, scope.FindEntry("9", 0)->instance);
  EXPECT_EQ(nineRead->ReferenceCount(), 0);
  EXPECT_EQ(ref->TypeID(), test_schema::kPoint);

  scope.UpdateTranslationTable();
  EXPECT_EQ(P21(ref), "#9");
}

TEST(EntityReference, MissingTargetIsReportedAndDereferenceThrows) {
  test_schema::Use();
  CerrCapture log;
  TempFile temp("ISO-10303-21;\n");
  cct_InputFile file(temp.Path());
  test_schema::PointReference ref;
  ref.RegisterForwardref("99", &file.Scope());
  EXPECT_EQ(ref.Get(1), nullptr);
  EXPECT_EQ(ref.TestCorrectness(1), 0);
  EXPECT_EQ(log.Take(), std::string("\nError: Correctness test failed : for cct_EntityType "
                                    "test_point. Could not find instance99. The instance was "
                                    "searched for in file ") +
                            temp.Path() + ".");
  ref.TestCorrectness(0);
  EXPECT_THROW(ref.operator->(), cct_NullPointerDereferenceException);
  EXPECT_EQ(log.Take(),
            "\nError: Program bug: (ccType)cct_EntityType::operator ->\n--- cct_EntityType is "
            "unset");
  EXPECT_EQ(P21(ref), "#99");  // written back unchanged

  test_schema::PointReference unset;
  EXPECT_THROW(unset.operator->(), cct_GenericException);
  EXPECT_EQ(P21(unset), "$");
}

TEST(EntityReference, WrongTypeFailsAndSubtypePasses) {
  test_schema::Use();
  CerrCapture log;
  cct_Scope scope;
  auto* count = new TestCount;
  scope.RegisterName("5", count);
  test_schema::PointReference ref;
  ref.RegisterForwardref("5", &scope);
  EXPECT_EQ(ref.TestCorrectness(1), 0);
  EXPECT_EQ(log.Take(),
            "\nError: Correctness test failed : for cct_EntityType test_point. Incompatible entry 5 "
            "of type test_count.");
  ref.TestCorrectness(0);

  auto* point = new TestPoint;  // a test_point answers its own id among its supertype ids
  scope.RegisterName("6", point);
  point->name.Set("p");
  point->x.Set(0);
  point->y.Set(0);
  ref.RegisterForwardref("6", &scope);
  EXPECT_EQ(ref.TestCorrectness(1), 1);
  EXPECT_EQ(log.Take(), "");
  ref.TestCorrectness(0);
  EXPECT_EQ(point->ReferenceCount(), 0);
  EXPECT_FALSE(point->Flags() & cct_FLAG_VISITED);
}

TEST(EntityReference, CompatibilityByKind) {
  test_schema::Use();
  cct_Scope scope;
  test_schema::PointReference ref;
  TestPoint point;
  TestCount count;
  EXPECT_EQ(ref.TestCompatibility(&point), -1);
  EXPECT_EQ(ref.TestCompatibility(&count), 0);
  Placeholder p("1", &scope);
  EXPECT_EQ(ref.TestCompatibility(&p.instance), -1);
  cct_IntegerType i;
  EXPECT_EQ(ref.TestCompatibility(&i), 0);

  // An untyped reference to a name: judged by the instance behind it when it exists.
  cct_EntityType untyped;
  EXPECT_EQ(ref.TestCompatibility(&untyped), -1);  // unset: decided later
  auto* registered = new TestCount;
  scope.RegisterName("7", registered);
  untyped.RegisterForwardref("7", &scope);
  EXPECT_EQ(ref.TestCompatibility(&untyped), 0);
  EXPECT_EQ(registered->ReferenceCount(), 0);
  untyped.RegisterForwardref("8", &scope);
  EXPECT_EQ(ref.TestCompatibility(&untyped), -1);
}

TEST(EntityReference, DirectlyHeldInstancesAreCounted) {
  test_schema::Use();
  auto* loose = new TestPoint;
  loose->AddReference();  // the test's own hold
  {
    test_schema::PointReference ref;
    ref.Set(loose);
    EXPECT_EQ(loose->ReferenceCount(), 2);
    EXPECT_EQ(ref.GetDirect(1), loose);
    EXPECT_EQ(ref.GetEntry(), nullptr);
    test_schema::PointReference copy;
    copy.Copy(&ref);
    EXPECT_EQ(loose->ReferenceCount(), 3);
    copy.Unset();
    EXPECT_EQ(loose->ReferenceCount(), 2);
    EXPECT_FALSE(copy.IsSet());
  }
  EXPECT_EQ(loose->ReferenceCount(), 1);
  loose->Release();  // deletes it
}

TEST(EntityReference, UnregisteredTargetCannotBeWrittenUntilRegistered) {
  test_schema::Use();
  CerrCapture log;
  cct_Scope scope;
  auto* point = new TestPoint;
  test_schema::PointReference ref;
  ref.Set(point);
  EXPECT_EQ(P21(ref), "");
  EXPECT_EQ(log.Take(),
            "\nError: Program bug: cctype : cct_EntityType::WriteP21().\n   Can't write STEP data "
            "for unregistered instance.");
  scope.RegisterName("12", point);
  EXPECT_EQ(P21(ref), "#12");
  ref.Unset();
}

TEST(EntityReference, CopiesShareTheEntry) {
  test_schema::Use();
  cct_Scope scope;
  test_schema::PointReference a, b;
  a.RegisterForwardref("3", &scope);
  b.Copy(&a);
  EXPECT_EQ(a.GetEntry(), b.GetEntry());
  EXPECT_EQ(P21(b), "#3");
  auto* three = new TestPoint;
  scope.RegisterName("3", three);
  EXPECT_EQ(a.Get(0), three);
  EXPECT_EQ(b.Get(0), three);
}

TEST(EntityReference, NullArgumentsAreReported) {
  CerrCapture log;
  cct_EntityType ref;
  ref.RegisterForwardref(nullptr, nullptr);
  EXPECT_FALSE(ref.IsSet());
  EXPECT_EQ(log.Take(),
            "\nError: Function called with NULL in parameter: cctype : "
            "cct_EntityType::RegisterForwardref().");
  ref.ProcessParameter(nullptr);
  EXPECT_EQ(log.Take(),
            "\nError: Function called with NULL in parameter: (cctype) "
            "cct_EntityType::ProcessParameter (const cct_Type *)");
}

TEST(EntityReference, DeclaredNameIsOwnedOnlyWhenSet) {
  cct_EntityType typed("keyword");
  EXPECT_STREQ(typed.DeclaredName(), "keyword");
  typed.SetDeclaredName("other");
  EXPECT_STREQ(typed.DeclaredName(), "other");
  cct_Scope scope;
  typed.RegisterForwardref("1", &scope);
  EXPECT_STREQ(typed.DeclaredName(), "other");  // a forward reference keeps the keyword
}
