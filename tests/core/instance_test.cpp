#include "cct/instance.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "cct/errlog.h"
#include "cct/exchgfls.h"
#include "support/capture.h"
#include "support/temp_file.h"
#include "support/test_entities.h"

namespace {

/// A parsed parameter list that owns its values, as the reader hands it over.
class ParameterList {
 public:
  ~ParameterList() {
    for (cct_ListNode* n = list.FirstNode(); n; n = n->NextNode())
      delete static_cast<cct_Type*>(n->Data());
  }
  ParameterList& Str(const char* s) {
    auto* v = new cct_StringType;
    v->Set(s);
    return Add(v);
  }
  ParameterList& Real(double d) {
    auto* v = new cct_RealType;
    v->Set(d);
    return Add(v);
  }
  ParameterList& Int(long i) {
    auto* v = new cct_IntegerType;
    v->Set(i);
    return Add(v);
  }
  ParameterList& Star() {
    auto* v = new cct_IntegerType;
    v->SetFlags(cct_FLAG_NO_VALUE);
    return Add(v);
  }
  ParameterList& Add(cct_Type* v) {
    list.Append(new cct_ListNode(v));
    return *this;
  }
  cct_LinkList<cct_ListNode> list;
};

/// A value that refers to another instance and follows it in the correctness test.
class TestLink : public cct_Type {
 public:
  void WriteP21(std::ostream& out) const override { out << "#link"; }
  void Copy(const cct_Type*) override {}
  void Point(cct_Instance* t) {
    target = t;
    SetSet(true);
  }
  int TestCorrectness(int check) override {
    if (check == 0) {
      ClearFlags(cct_FLAG_VISITED);
      if (target) target->TestCorrectness(0);
      return 1;
    }
    SetFlags(cct_FLAG_VISITED);
    ++visits;
    if (target && !(target->Flags() & cct_FLAG_VISITED)) target->TestCorrectness(1);
    return 1;
  }
  cct_Instance* target = nullptr;
  int visits = 0;
};

class TestNode : public cct_Instance {
 public:
  const char* TypeName() const override { return "test_node"; }
  long AttributeCount() const override { return 1; }
  cct_Type* Attribute(long i) const override {
    return i == 0 ? const_cast<TestLink*>(&next) : nullptr;
  }
  const char* AttributeName(long i) const override { return i == 0 ? "next" : nullptr; }
  TestLink next;
};

std::string Line(cct_Instance& instance) {
  std::ostringstream out;
  instance.WriteP21Instance(out);
  return out.str();
}

class InstanceWithFile : public ::testing::Test {
 protected:
  TempFile temp{"ISO-10303-21;\n", ".stp"};
  cct_InputFile file{temp.Path()};
  std::string Where() const { return std::string("\"") + temp.Path() + "\", line 1:  "; }
};

}  // namespace

TEST(Instance, NamingBeforeRegistration) {
  TestPoint p;
  EXPECT_EQ(p.InstanceName(), nullptr);
  EXPECT_FALSE(p.IsSet());
  p.InstanceName("x");
  EXPECT_STREQ(p.InstanceName(), "x");
  EXPECT_TRUE(p.IsSet());
  p.InstanceName("y");
  EXPECT_STREQ(p.InstanceName(), "y");
}

TEST(Instance, NullNameIsReportedAndThrows) {
  CerrCapture log;
  TestPoint p;
  EXPECT_THROW(p.InstanceName(nullptr), cct_GenericException);
  EXPECT_EQ(log.Text(),
            "\nWarning: Function called with NULL in parameter: "
            "(instance)cct_Instance::InstanceName(const char *name)");
}

TEST(Instance, RegisteredInstanceKeepsItsNameAndEntry) {
  CerrCapture log;
  cct_Scope scope;
  auto* p = new TestPoint;
  scope.RegisterName("7", p);
  p->InstanceName("8");
  EXPECT_STREQ(p->InstanceName(), "7");
  EXPECT_EQ(log.Take(),
            "\nError: Program bug: (instance) cct_Instance::InstanceName()"
            "\n--- The instance is already registered under the name\n    '7'. The desired new "
            "name is\n    '8'.");
  cct_Scope::Entry other;
  p->ScopeEntry(&other);
  EXPECT_EQ(p->GetEntry(), scope.FindEntry("7", 0));
  EXPECT_EQ(log.Take(),
            "\nError: Program bug: (instance) cct_Instance::ScopeEntry(cct_Scope::Entry)"
            "\n--- The Instance '7' has\n    already been registered.");
}

TEST(Instance, ReleaseCountsReferences) {
  cct_Scope scope;
  auto* registered = new TestPoint;
  scope.RegisterName("1", registered);
  registered->AddReference();
  registered->Release();
  EXPECT_TRUE(registered->Flags() & cct_FLAG_RELEASED);
  EXPECT_EQ(scope.FindEntry("1", 0)->instance, registered);  // the scope still owns it

  // An unregistered instance deletes itself; the sanitizer build sees a leak or a double free.
  auto* loose = new TestPoint;
  loose->AddReference();
  loose->AddReference();
  loose->Release();
  EXPECT_EQ(loose->ReferenceCount(), 1);
  loose->Release();

  TestPoint local;
  local.Release();  // count already zero: nothing happens
  EXPECT_EQ(local.ReferenceCount(), 0);
}

TEST(Instance, ModifiedInstanceIsNotMarkedReleased) {
  cct_Scope scope;
  auto* p = new TestPoint;
  scope.RegisterName("1", p);
  p->x.Set(1.0);
  p->AddReference();
  p->Release();
  EXPECT_TRUE(p->IsModified());
  EXPECT_FALSE(p->Flags() & cct_FLAG_RELEASED);
}

TEST(Instance, SupertypesByNameAndId) {
  TestPoint p;
  EXPECT_TRUE(p.HasSupertype("test_item"));
  EXPECT_TRUE(p.HasSupertype("test_point"));
  EXPECT_FALSE(p.HasSupertype("TEST_POINT"));
  EXPECT_FALSE(p.HasSupertype(""));
  EXPECT_TRUE(p.HasSupertype(3899L));
  EXPECT_FALSE(p.HasSupertype(3901L));
  cct_Instance bare;
  EXPECT_FALSE(bare.HasSupertype("INSTANCE"));
}

TEST(Instance, CompatibilityWithInstancesAndPlaceholders) {
  TestPoint p;
  TestCount c;
  cct_Instance placeholder;
  placeholder.SetFlags(cct_FLAG_PLACEHOLDER);
  EXPECT_EQ(placeholder.Kind(), 1);
  EXPECT_EQ(p.TestCompatibility(&placeholder), -1);
  EXPECT_EQ(p.TestCompatibility(&c), 0);
  TestPoint q;
  EXPECT_EQ(p.TestCompatibility(&q), -1);
  cct_IntegerType i;
  EXPECT_EQ(p.TestCompatibility(&i), 0);
}

TEST_F(InstanceWithFile, ParameterListFillsAttributesInOrder) {
  CerrCapture log;
  TestPoint p;
  ParameterList params;
  params.Str("origin").Real(1.5).Int(2).Str("lbl");
  p.ProcessAttributeList(params.list, file);
  EXPECT_EQ(log.Text(), "");
  EXPECT_STREQ(p.name.Get(), "origin");
  EXPECT_EQ(p.x.Get(), 1.5);
  EXPECT_EQ(p.y.Get(), 2.0);
  EXPECT_STREQ(p.label.Get(), "lbl");
}

TEST_F(InstanceWithFile, TooManyParametersKeepsEarlierAttributes) {
  CerrCapture log;
  TestPoint p;
  ParameterList params;
  params.Str("a").Real(1).Real(2).Str("l").Int(9);
  p.ProcessAttributeList(params.list, file);
  EXPECT_EQ(log.Text(),
            "\nWarning: While reading STEP file: " + Where() + "Too many parameters for entity "
            "test_point.");
  EXPECT_EQ(p.y.Get(), 2.0);
  EXPECT_STREQ(p.label.Get(), "l");
}

TEST_F(InstanceWithFile, NotEnoughParametersOnlyForAMandatoryNextAttribute) {
  CerrCapture log;
  TestPoint p;
  ParameterList params;
  params.Str("a").Real(1);
  p.ProcessAttributeList(params.list, file);
  EXPECT_EQ(log.Take(),
            "\nWarning: While reading STEP file: " + Where() + "Not enough attributes for entity "
            "test_point.");

  TestCount c;  // the list stops before the OPTIONAL comment; the later count is not looked at
  ParameterList one;
  one.Str("n");
  c.ProcessAttributeList(one.list, file);
  EXPECT_EQ(log.Take(), "");
}

TEST_F(InstanceWithFile, IncompatibleValueIsReportedAndTheWalkGoesOn) {
  CerrCapture log;
  TestPoint p;
  ParameterList params;
  params.Str("a").Str("wrong").Real(3);
  p.ProcessAttributeList(params.list, file);
  EXPECT_EQ(log.Take(),
            "\nError: TestCompatibility() failed: " + Where() + "for entity test_point::x := "
            "STRING.");
  EXPECT_FALSE(p.x.IsSet());
  EXPECT_EQ(p.y.Get(), 3.0);
}

TEST_F(InstanceWithFile, StarAndNullParametersAreSkipped) {
  CerrCapture log;
  TestPoint p;
  ParameterList params;
  params.Str("a").Star().Real(3);
  params.list.Append(new cct_ListNode(nullptr));
  p.ProcessAttributeList(params.list, file);
  EXPECT_FALSE(p.x.IsSet());
  EXPECT_EQ(p.y.Get(), 3.0);
  EXPECT_EQ(log.Text(), "");
}

TEST(Instance, TestAllSetCountsAndReportsUnsetMandatoryAttributes) {
  CerrCapture log;
  TestPoint p;
  p.name.Set("n");
  EXPECT_EQ(p.TestAllSet(), 2);
  EXPECT_EQ(log.Take(),
            "\nWarning: Unset non OPTIONAL attribute: ( REAL)\ntest_point::x in instance."
            "\nWarning: Unset non OPTIONAL attribute: ( REAL)\ntest_point::y in instance.");
  p.InstanceName("12");
  p.x.Set(0.0);
  EXPECT_EQ(p.TestAllSet(), 1);
  EXPECT_EQ(log.Take(),
            "\nWarning: Unset non OPTIONAL attribute:  (REAL)\ntest_point::y in instance 12");
}

TEST(Instance, CorrectnessOfMutualReferencesEndsAndResets) {
  cct_Scope scope;
  auto* a = new TestNode;
  auto* b = new TestNode;
  scope.RegisterName("1", a);
  scope.RegisterName("2", b);
  a->next.Point(b);
  b->next.Point(a);
  EXPECT_EQ(a->TestCorrectness(1), 1);
  EXPECT_EQ(a->next.visits, 1);
  EXPECT_EQ(b->next.visits, 1);
  EXPECT_EQ(a->ReferenceCount(), 1);
  EXPECT_EQ(b->ReferenceCount(), 1);
  a->TestCorrectness(0);
  for (cct_Instance* i : {static_cast<cct_Instance*>(a), static_cast<cct_Instance*>(b)}) {
    EXPECT_FALSE(i->Flags() & cct_FLAG_VISITED);
    EXPECT_EQ(i->ReferenceCount(), 0);
  }
  EXPECT_FALSE(a->next.Flags() & cct_FLAG_VISITED);
}

TEST(Instance, CorrectnessReportsUnsetMandatoryAttributes) {
  CerrCapture log;
  cct_Scope scope;
  auto* p = new TestPoint;
  scope.RegisterName("4", p);
  p->name.Set("n");
  p->x.Set(1);
  EXPECT_EQ(p->TestCorrectness(1), 1);
  EXPECT_EQ(log.Take(),
            "\nError: Correctness test failed : In instance 4. The attribute y is not OPTIONAL "
            "and not set.");
  p->TestCorrectness(0);
}

TEST_F(InstanceWithFile, CorrectnessNamesTheFileAndLine) {
  CerrCapture log;
  auto* p = new TestPoint;
  cct_Scope::Entry* entry = file.Scope().RegisterName("4", p);
  entry->line = 17;
  p->name.Set("n");
  p->y.Set(1);
  p->TestCorrectness(1);
  EXPECT_EQ(log.Take(), std::string("\nError: Correctness test failed : In instance 4, defined in "
                                    "file ") +
                            temp.Path() +
                            " in line 17. The attribute x is not OPTIONAL and not set.");
  p->TestCorrectness(0);
}

TEST(Instance, CopyMatchesAttributesByName) {
  TestPoint source, target;
  source.name.Set("s");
  source.x.Set(4);
  target.name.Set("t");
  target.y.Set(9);
  target.Copy(&source);
  EXPECT_STREQ(target.name.Get(), "s");
  EXPECT_EQ(target.x.Get(), 4.0);
  EXPECT_FALSE(target.y.IsSet());  // unset in the source
  EXPECT_EQ(target.InstanceName(), nullptr);

  TestCount count;  // shares only "name", at another position
  count.name.Set("c");
  TestPoint other;
  other.Copy(&count);
  EXPECT_STREQ(other.name.Get(), "c");
}

TEST(Instance, CopyBetweenUnrelatedEntitiesIsReported) {
  CerrCapture log;
  TestPoint p;
  TestNode n;
  p.Copy(&n);
  EXPECT_EQ(log.Text(),
            "\nError: Program bug: (instance) cct_Instance::Copy().--- The instances are not "
            "compatible.");
}

TEST(Instance, WriteP21InstanceLine) {
  CerrCapture log;
  cct_Scope scope;
  auto* empty = new TestEmpty;
  scope.RegisterName("3", empty);
  EXPECT_EQ(Line(*empty), "#3=TEST_EMPTY();\n");

  auto* p = new TestPoint;
  scope.RegisterName("10", p);
  p->x.Set(3);
  p->name.Set("it's");
  EXPECT_EQ(Line(*p), "#10=TEST_POINT('it''s',3.0000000000,$,$);\n");
  EXPECT_NE(log.Take().find("test_point::y in instance 10"), std::string::npos);

  std::ostringstream ref;
  p->WriteP21(ref);
  EXPECT_EQ(ref.str(), "#10");
}

TEST(Instance, UnregisteredInstanceCannotBeWritten) {
  CerrCapture log;
  TestPoint p;
  std::ostringstream out;
  p.WriteP21(out);
  p.WriteP21Instance(out);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(log.Text(),
            "\nError: Program bug: (instance) cct_Instance::WriteP21()"
            "\n   Can't write STEP data for unregistered instance."
            "\nError: Program bug: (instance) cct_Instance::WriteP21Instance()"
            "\n   Can't write STEP data for unregistered instance.");
}

TEST(Instance, ProcessParameterIsNotSupported) {
  CerrCapture log;
  TestPoint p;
  cct_IntegerType i;
  p.ProcessParameter(&i);
  EXPECT_EQ(log.Text(),
            "(instance)cct_Instance::ProcessParameter(...) --- this function is not implemented\n");
}

TEST(Instance, KillWithoutScopeDeletesAndInScopeMarks) {
  auto* loose = new TestPoint;
  loose->Kill();  // deleted; the sanitizer build would see a leak otherwise

  cct_Scope scope;
  auto* p = new TestPoint;
  scope.RegisterName("1", p);
  p->Kill();
  EXPECT_TRUE(p->IsKilled());
  EXPECT_EQ(scope.FindEntry("1", 0)->instance, p);
}

TEST(Instance, StartsWithoutNameWhateverTheMemoryHeld) {
  // The value storage must be cleared in full: a destructor freed a stale name pointer when only
  // its lower half was zeroed.
  alignas(TestPoint) unsigned char buffer[sizeof(TestPoint)];
  std::memset(buffer, 0xAB, sizeof buffer);
  auto* point = new (buffer) TestPoint;
  EXPECT_EQ(point->InstanceName(), nullptr);
  EXPECT_EQ(point->GetScope(), nullptr);
  point->~TestPoint();  // must not free anything
}

TEST(Instance, CorrectnessOfALongChainNeedsNoDeepRecursion) {
  // 300,000 instances each referring to the next: followed depth first this would need far more
  // stack than a thread has.
  cct_Scope scope;
  const int n = 300000;
  std::vector<TestNode*> nodes;
  for (int i = 0; i < n; ++i) {
    nodes.push_back(new TestNode);
    scope.RegisterName(nullptr, nodes.back());
  }
  for (int i = 0; i + 1 < n; ++i) nodes[i]->next.Point(nodes[i + 1]);
  EXPECT_EQ(nodes.front()->TestCorrectness(1), 1);
  for (TestNode* node : {nodes.front(), nodes[n / 2], nodes.back()})
    EXPECT_TRUE(node->Flags() & cct_FLAG_VISITED);
  nodes.front()->TestCorrectness(0);
  for (TestNode* node : {nodes.front(), nodes[n / 2], nodes.back()}) {
    EXPECT_FALSE(node->Flags() & cct_FLAG_VISITED);
    EXPECT_EQ(node->ReferenceCount(), 0);
  }
}

TEST(Instance, OnlyAReferencePlaceholderKnowsItsScopeBeforeRegistration) {
  // Instances carry no scope of their own: registered ones answer their entry's, a placeholder
  // for "#name" its own, anything else none.
  cct_Scope scope;
  cct_NamedReference reference(&scope, "12");
  EXPECT_EQ(reference.GetScope(), &scope);
  EXPECT_STREQ(reference.InstanceName(), "12");
  EXPECT_EQ(reference.Kind(), cct_KIND_PLACEHOLDER);
  TestPoint loose;
  loose.InstanceName("13");
  EXPECT_EQ(loose.GetScope(), nullptr);
  auto* registered = new TestPoint;
  scope.RegisterName("14", registered);
  EXPECT_EQ(registered->GetScope(), &scope);
}
