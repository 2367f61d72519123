// What the checks stand on, against the plain answers: the instances of a type in creation order
// however few of them the context kept, the progress told as the check goes, and the referrers
// of a backward walk as the reference index gives them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/references.h"
#include "cct/schema.h"
#include "cct/scope.h"
#include "checks.h"
#include "referrers.h"
#include "support/temp_file.h"
#include "varnholt/doc.h"
#include "varnholt/navigation.h"
#include "varnholt/rules.h"

using varnholt::rules::CheckContext;
using varnholt::rules::Referrers;

namespace {

std::string FileText(const std::string& records) {
  return "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\n"
         "FILE_NAME('case.stp','2026-01-01T00:00:00',(''),(''),'','','');\n"
         "FILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n" +
         records + "ENDSEC;\nEND-ISO-10303-21;\n";
}

// Points in runs of directions, a polyline over every point, and around them a small program
// whose second workingstep no workplan of the project holds.
std::string ManyPoints(int points) {
  std::string records, names;
  for (int i = 0; i < points; ++i) {
    const int n = 1000 + i;
    records += "#" + std::to_string(n) + "=CARTESIAN_POINT('',(" + std::to_string(i) + ".0,0.0,1.0));\n";
    if (i % 1000 == 999) records += "#" + std::to_string(100000 + i) + "=DIRECTION('',(0.0,0.0,1.0));\n";
    names += (i ? ",#" : "#") + std::to_string(n);
  }
  return records + "#1=PROJECT('p',#2,(),$,$,$);\n#2=WORKPLAN('main',(#3),$,$,$);\n"
                   "#3=MACHINING_WORKINGSTEP('ws',$,$,$,$);\n#4=WORKPLAN('other',(#5),$,$,$);\n"
                   "#5=MACHINING_WORKINGSTEP('lost',$,$,$,$);\n#6=POLYLINE('',(" + names + "));\n";
}

class Context : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTypeNames();
    RegisterEntityNames();
  }
  void Open(const std::string& records) {
    file_ = std::make_unique<TempFile>(FileText(records));
    ASSERT_TRUE(doc_.OnOpenDocument(file_->Path()));
  }
  cct_Scope& Scope() { return *doc_.Scope(); }
  // Every live instance of the entity in creation order, by a plain walk.
  std::vector<const cct_Instance*> Walked(const std::string& entity) {
    std::vector<const cct_Instance*> all;
    cct_Scope::ListCursor cursor;
    for (cct_Scope::Entry* e = Scope().ListFirst(cursor); e; e = Scope().ListNext(cursor))
      if (e->instance && !e->instance->IsKilled() && varnholt::IsOfType(*e->instance, entity)) all.push_back(e->instance);
    return all;
  }

  std::unique_ptr<TempFile> file_;
  CDoc doc_;
};

}  // namespace

// A type of many instances that no rule is about is not kept, and yet every check that asks gets
// all of them in creation order, mixed with the kept ones where an entity covers both.
TEST_F(Context, TypesNotKeptAreFoundAgainInCreationOrder) {
  Open(ManyPoints(9000));
  const CheckContext context(Scope(), [](const cct_Instance& first) { return first.HasSupertype("direction"); });
  EXPECT_EQ(context.Count(), Walked("representation_item").size() + Walked("project").size() +
                                 Walked("workplan").size() + Walked("machining_workingstep").size());
  const auto& points = context.Types().at(Walked("cartesian_point").front()->TypeID());
  EXPECT_EQ(points.count, 9000u);
  EXPECT_FALSE(points.kept);
  EXPECT_TRUE(points.instances.empty());
  EXPECT_EQ(context.OfType("cartesian_point"), Walked("cartesian_point"));
  EXPECT_EQ(context.OfType("geometric_representation_item"), Walked("geometric_representation_item"));
  EXPECT_EQ(context.OfType("direction").size(), 9u);
  EXPECT_EQ(context.OfType("workplan"), Walked("workplan"));
  // The places count every instance of the file.
  std::vector<long> types;
  for (const auto& [type, of] : context.Types()) types.push_back(type);
  const std::vector<CheckContext::Placed> all = context.InstancesOf(types);
  ASSERT_EQ(all.size(), context.Count());
  for (size_t k = 0; k < all.size(); ++k) EXPECT_EQ(all[k].place, k);
}

// The where rules, then the type rules, tell their share every 4096 instances of the file
// (looked at or not), the C++ checks each 90; a progress that says stop stops the check.
TEST_F(Context, ProgressComesEvery4096InstancesAndStops) {
  Open(ManyPoints(13000));
  const size_t count = CheckContext(Scope()).Count();
  std::vector<int> told;
  const varnholt::rules::Report report = varnholt::rules::Check(Scope(), [&](int percent) {
    told.push_back(percent);
    return true;
  });
  EXPECT_FALSE(report.cancelled);
  std::vector<int> expected;
  for (int from : {0, 45})
    for (size_t m = 4096; m <= count; m += 4096)
      expected.push_back(from + static_cast<int>(45 * static_cast<double>(m) / count));
  ASSERT_GE(told.size(), expected.size());
  EXPECT_EQ(std::vector<int>(told.begin(), told.begin() + static_cast<long>(expected.size())), expected);
  EXPECT_TRUE(std::all_of(told.begin() + static_cast<long>(expected.size()), told.end(), [](int p) { return p == 90; }));

  int asked = 0;
  const varnholt::rules::Report stopped = varnholt::rules::Check(Scope(), [&](int) { return ++asked < 2; });
  EXPECT_TRUE(stopped.cancelled);
  EXPECT_EQ(asked, 2);
  EXPECT_LT(stopped.findings.size(), report.findings.size());  // the lost workingstep is not told
}

// For the starts and for every instance that holds references, the referrers are those of the
// index, so a walk backwards goes the same way; a file whose instances are not all of the type
// the reader noted gets none, and the check then asks the index.
TEST_F(Context, ReferrersAreTheIndexs) {
  Open(ManyPoints(6000) + "#7=TOOLPATH_LIST((#8));#8=CUTTER_LOCATION_TRAJECTORY(.T.,.CONTACT.,$,$,$,$,#6,$,$);"
                          "#9=WORKPLAN('again',(#5,#3,#5),$,$,$);\n");
  const CheckContext context(Scope());
  ASSERT_TRUE(context.TypesAsNoted());
  std::vector<const cct_Scope::Entry*> starts;
  for (const char* name : {"3", "5", "1000"}) starts.push_back(Scope().FindEntry(name, 0));
  const auto referrers = Referrers::Make(Scope(), starts, context.TypesAsNoted());
  ASSERT_TRUE(referrers);
  varnholt::Navigator navigator(Scope());
  auto fromIndex = [&](const cct_Scope::Entry* entry) {
    std::vector<const cct_Scope::Entry*> from;
    for (const cct_ReferenceIndex::Reference& r : navigator.Index().To(entry)) from.push_back(r.from);
    return from;
  };
  size_t asked = 0;
  cct_Scope::ListCursor cursor;
  for (cct_Scope::Entry* e = Scope().ListFirst(cursor); e; e = Scope().ListNext(cursor)) {
    const bool holds = e->instance && !e->instance->HasSupertype("cartesian_point") && !e->instance->HasSupertype("direction");
    if (!holds && std::find(starts.begin(), starts.end(), e) == starts.end()) continue;
    EXPECT_EQ(referrers->To(e), fromIndex(e)) << "#" << e->name;
    ++asked;
  }
  EXPECT_EQ(asked, 10u);  // #1 to #9 and the point
  EXPECT_EQ(referrers->To(Scope().FindEntry("5", 0)).size(), 3u);  // #4 once, #9 twice
  EXPECT_FALSE(Referrers::Make(Scope(), starts, false));
}
