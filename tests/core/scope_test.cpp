#include "cct/scope.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cct/errlog.h"
#include "cct/exchgfls.h"
#include "cct/instance.h"
#include "support/capture.h"
#include "support/temp_file.h"
#include "support/test_entities.h"

namespace {

std::vector<std::string> CreationOrder(const cct_Scope& scope) {
  std::vector<std::string> names;
  cct_Scope::ListCursor cursor;
  for (cct_Scope::Entry* e = scope.ListFirst(cursor); e; e = scope.ListNext(cursor))
    names.push_back(e->name);
  return names;
}

std::vector<std::string> NameOrder(const cct_Scope& scope) {
  std::vector<std::string> names;
  cct_Scope::NameCursor cursor;
  for (const char* n = scope.FirstName(cursor); n; n = scope.NextName(cursor)) names.push_back(n);
  return names;
}

/// Loader that builds a TestEmpty for names listed as present and counts its calls.
struct FakeFile {
  std::map<std::string, bool> present;
  int calls = 0;
  static cct_Instance* Load(const char* name, void* data) {
    auto* self = static_cast<FakeFile*>(data);
    ++self->calls;
    return self->present.count(name) ? new TestEmpty : nullptr;
  }
};

std::string Write(cct_Scope& scope, int sorted, int translate) {
  std::ostringstream out;
  scope.WriteP21(out, sorted, translate);
  return out.str();
}

const char* const kDefaultHeaderEnd = "ENDSEC;\nDATA;\n";

std::string DataSection(const std::string& file) {
  size_t start = file.find(kDefaultHeaderEnd);
  return start == std::string::npos ? file : file.substr(start + std::string(kDefaultHeaderEnd).size());
}

}  // namespace

TEST(ScopeNaming, GeneratedNamesFollowTheCounter) {
  cct_Scope scope;
  auto* a = new TestEmpty;
  auto* b = new TestEmpty;
  auto* c = new TestEmpty;
  EXPECT_STREQ(scope.RegisterName(nullptr, a)->name, "ent1");
  EXPECT_STREQ(scope.RegisterName("x", b)->name, "x");
  EXPECT_STREQ(scope.RegisterName(nullptr, c)->name, "ent3");
  EXPECT_STREQ(c->InstanceName(), "ent3");

  cct_Scope plain;
  plain.SetNamingMode(cct_Scope::kNumberedNames);
  for (const char* expected : {"1", "2", "3"})
    EXPECT_STREQ(plain.RegisterName(nullptr, new TestEmpty)->name, expected);

  cct_Scope prefixed;
  auto* p = new TestEmpty;
  p->prefix = "wp";
  EXPECT_STREQ(prefixed.RegisterName(nullptr, p)->name, "wp1");
}

TEST(ScopeNaming, GeneratedNameSkipsNamesInUse) {
  CerrCapture log;
  cct_Scope scope;
  scope.SetNamingMode(cct_Scope::kNumberedNames);
  auto* three = new TestEmpty;
  scope.RegisterName("3", three);
  scope.ProvideEntry("4");  // indexed but not yet read: its name is taken too
  auto* a = new TestEmpty;
  auto* b = new TestEmpty;
  EXPECT_STREQ(scope.RegisterName(nullptr, a)->name, "5");
  EXPECT_STREQ(scope.RegisterName(nullptr, b)->name, "6");
  EXPECT_EQ(scope.FindEntry("3", 0)->instance, three);
  EXPECT_EQ(log.Text(), "");

  cct_Scope named;
  named.RegisterName("ent1", new TestEmpty);
  EXPECT_STREQ(named.RegisterName(nullptr, new TestEmpty)->name, "ent2");
  EXPECT_STREQ(named.RegisterName("ent4", new TestEmpty)->name, "ent4");
  EXPECT_STREQ(named.RegisterName(nullptr, new TestEmpty)->name, "ent5");
}

TEST(ScopeNaming, ReplacingAnInstanceUnderItsName) {
  CerrCapture log;
  cct_Scope scope;
  auto* first = new TestEmpty;
  auto* second = new TestEmpty;
  scope.RegisterName("7", first);
  scope.RegisterName("7", second);
  EXPECT_EQ(log.Take(), "\nWarning: Name of instance is already in use: \"7\" -- old entry deleted.");
  EXPECT_EQ(scope.FindEntry("7", 0)->instance, second);
  EXPECT_TRUE(first->IsKilled());
  EXPECT_EQ(scope.EntryCount(), 1);

  scope.RegisterName("7", second);  // the same instance again changes nothing
  EXPECT_EQ(log.Take(), "");

  second->Lock();
  auto* third = new TestEmpty;
  scope.RegisterName("7", third);
  EXPECT_EQ(log.Take(),
            "\nWarning: Name of instance is already in use: \"7\" -- old instance is locked, new "
            "entry ignored.");
  EXPECT_EQ(scope.FindEntry("7", 0)->instance, second);
  EXPECT_FALSE(third->IsRegistered());
  delete third;
}

TEST(ScopeNaming, InstanceRegisteredElsewhereIsNotTakenTwice) {
  CerrCapture log;
  cct_Scope scope;
  auto* p = new TestEmpty;
  scope.RegisterName("1", p);
  scope.RegisterName("2", p);
  EXPECT_NE(log.Text().find("already been registered."), std::string::npos);
  EXPECT_EQ(scope.FindEntry("2", 0)->instance, nullptr);
  EXPECT_STREQ(p->InstanceName(), "1");
}

TEST(ScopeEntries, NullNameIsReported) {
  CerrCapture log;
  cct_Scope scope;
  EXPECT_EQ(scope.ProvideEntry(nullptr), nullptr);
  EXPECT_EQ(log.Text(),
            "\nError: Function called with NULL in parameter: scope : cct_Scope::RegisterName()");
}

TEST(ScopeEntries, SecondBlockAndCreationOrder) {
  cct_Scope scope;
  std::vector<std::string> expected;
  for (int i = 1; i <= 1001; ++i) {
    std::string name = "n" + std::to_string(i);
    scope.ProvideEntry(name.c_str());
    expected.push_back(name);
  }
  EXPECT_EQ(scope.EntryCount(), 1001);
  EXPECT_EQ(CreationOrder(scope), expected);
  EXPECT_EQ(scope.ProvideEntry("n5"), scope.FindEntry("n5", 0));
  EXPECT_EQ(scope.EntryCount(), 1001);
}

TEST(ScopeEntries, NameIterationFollowsTheHashTable) {
  cct_Scope scope;
  for (const char* n : {"10", "2", "ent1", "1"}) scope.ProvideEntry(n);
  cct_HashTable reference(cct_Scope::kNameTableSizeHint);
  for (const char* n : {"10", "2", "ent1", "1"}) reference.Insert(n, nullptr);
  std::vector<std::string> expected;
  cct_HashTable::Cursor cursor;
  for (auto* e = reference.First(cursor); e; e = reference.Next(cursor)) expected.push_back(e->key);
  EXPECT_EQ(NameOrder(scope), expected);
}

TEST(ScopeEntries, NameOrderMatchesAGrowingHashTableAndLookupsFindEveryName) {
  // From 786,432 names on the table grows bucket by bucket; the scope lists its names in the
  // order the grown table would. Dense and sparse numbers, a leading zero, and other names.
  std::vector<std::string> names;
  for (long i = 1; i <= 800000; ++i) names.push_back(std::to_string(i));
  for (const char* n : {"ent7", "0", "007", "999999999", "1000000000", "x", "12345678901"})
    names.push_back(n);
  for (long i = 0; i < 2000; ++i) names.push_back(std::to_string(5000000 + 7919 * i));
  cct_Scope scope;
  cct_HashTable reference(cct_Scope::kNameTableSizeHint);
  for (const std::string& n : names) {
    scope.ProvideEntry(n.c_str());
    reference.Insert(n.c_str(), nullptr);
  }
  ASSERT_GT(reference.BucketCount(), cct_Scope::kNameTableSizeHint);
  std::vector<std::string> expected;
  cct_HashTable::Cursor cursor;
  for (auto* e = reference.First(cursor); e; e = reference.Next(cursor)) expected.push_back(e->key);
  EXPECT_TRUE(NameOrder(scope) == expected);
  for (const std::string& n : names) {
    cct_Scope::Entry* e = scope.FindEntry(n.c_str(), 0);
    ASSERT_TRUE(e && e->name == n) << n;
  }
  for (const char* n : {"800001", "08", "", "ent8", "5000001"}) EXPECT_FALSE(scope.FindEntry(n, 0)) << n;
}

TEST(ScopeLookup, FindWithLoadCallsTheLoaderOnce) {
  cct_Scope scope;
  FakeFile file;
  file.present["5"] = true;
  scope.SetLoader(&FakeFile::Load, &file);
  scope.ProvideEntry("5");
  EXPECT_FALSE(scope.Exists("5"));
  EXPECT_EQ(scope.FindEntry("5", 0)->instance, nullptr);

  cct_Instance* five = scope.FindInstance(5L, 1);
  ASSERT_NE(five, nullptr);
  EXPECT_EQ(five->ReferenceCount(), 1);
  EXPECT_STREQ(five->InstanceName(), "5");
  EXPECT_EQ(scope.FindInstance("5", 1), five);
  EXPECT_EQ(file.calls, 1);
  EXPECT_EQ(five->ReferenceCount(), 2);
  EXPECT_TRUE(scope.Exists("5"));

  EXPECT_EQ(scope.FindInstance(0L, 1), nullptr);
  EXPECT_EQ(scope.FindInstance("6", 1), nullptr);
  EXPECT_EQ(file.calls, 2);
  EXPECT_EQ(scope.FindInstance("6", 0), nullptr);
  EXPECT_EQ(file.calls, 2);
}

TEST(ScopeLookup, ParentIsSearchedButNeverLoads) {
  cct_Scope parent;
  FakeFile file;
  file.present["p"] = true;
  parent.SetLoader(&FakeFile::Load, &file);
  auto* inParent = new TestEmpty;
  parent.RegisterName("q", inParent);
  parent.ProvideEntry("p");
  cct_Scope child(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &parent);
  EXPECT_EQ(child.FindEntry("q", 0)->instance, inParent);
  EXPECT_TRUE(child.Exists("q"));
  EXPECT_FALSE(child.Exists("p"));
  EXPECT_EQ(child.FindEntry("p", 0), parent.FindEntry("p", 0));
  EXPECT_EQ(file.calls, 0);
}

TEST(ScopeTranslation, KeepsShortNumbersAndRenumbersTheRest) {
  cct_Scope scope;
  for (const char* n : {"7", "12", "ent1"}) scope.ProvideEntry(n);
  EXPECT_STREQ(scope.TranslateName("ent1"), "ent1");  // no table yet
  scope.UpdateTranslationTable();
  EXPECT_STREQ(scope.TranslateName("7"), "7");
  EXPECT_STREQ(scope.TranslateName("12"), "12");
  EXPECT_STREQ(scope.TranslateName("ent1"), "13");
  EXPECT_EQ(scope.TranslateName(nullptr), nullptr);
  EXPECT_STREQ(scope.TranslateName("unknown"), "unknown");
}

TEST(ScopeTranslation, NewNumbersFollowNameTableOrderAboveTheHighest) {
  cct_Scope scope;
  for (const char* n : {"a", "b", "c", "123456789", "20x"}) scope.ProvideEntry(n);
  scope.UpdateTranslationTable();
  // 123456789 has nine digits and is renumbered as well; the highest leading number is that one.
  std::vector<std::string> order = NameOrder(scope);
  long next = 123456790;
  for (const std::string& name : order)
    EXPECT_EQ(scope.TranslateName(name.c_str()), std::to_string(next++)) << name;
}

TEST(ScopeTranslation, OverflowIsReportedAndKeepsOldNames) {
  CerrCapture log;
  cct_Scope scope;
  scope.ProvideEntry("999999999");
  scope.ProvideEntry("x");
  scope.UpdateTranslationTable();
  EXPECT_EQ(log.Text(),
            "\nError: Program bug: (scope)cct_Scope::UpdateTranslationTable() ---The 'highest' "
            "name of an instance exceeds 999999999. Please rename your instances.");
  EXPECT_STREQ(scope.TranslateName("x"), "x");
  EXPECT_STREQ(scope.TranslateName("999999999"), "999999999");
}

TEST(ScopeWriting, SortedOrdersNumerically) {
  CerrCapture log;
  cct_Scope scope;
  for (const char* n : {"10", "2", "1"}) scope.RegisterName(n, new TestEmpty);
  EXPECT_EQ(DataSection(Write(scope, 1, 0)),
            "#1=TEST_EMPTY();\n#2=TEST_EMPTY();\n#10=TEST_EMPTY();\nENDSEC;\nEND-ISO-10303-21;\n");
  EXPECT_EQ(scope.FindEntry("1", 0)->instance->ReferenceCount(), 0);
}

TEST(ScopeWriting, TranslatedSortedWritesNewNumbers) {
  cct_Scope scope;
  for (const char* n : {"b", "3", "a"}) scope.RegisterName(n, new TestEmpty);
  std::string data = DataSection(Write(scope, 1, 1));
  std::string a = scope.TranslateName("a"), b = scope.TranslateName("b");
  std::string first = a < b ? a : b, second = a < b ? b : a;
  EXPECT_EQ(data, "#3=TEST_EMPTY();\n#" + first + "=TEST_EMPTY();\n#" + second +
                      "=TEST_EMPTY();\nENDSEC;\nEND-ISO-10303-21;\n");
}

TEST(ScopeWriting, UnsortedLoadsAndFollowsNameTableOrder) {
  cct_Scope scope;
  FakeFile file;
  for (const char* n : {"1", "2", "30", "4"}) {
    file.present[n] = true;
    scope.ProvideEntry(n);
  }
  scope.ProvideEntry("99");  // a name never defined: nothing is written for it
  scope.SetLoader(&FakeFile::Load, &file);
  std::string expected;
  for (const std::string& n : NameOrder(scope))
    if (n != "99") expected += "#" + n + "=TEST_EMPTY();\n";
  EXPECT_EQ(DataSection(Write(scope, 0, 0)), expected + "ENDSEC;\nEND-ISO-10303-21;\n");
}

TEST(ScopeWriting, UnsortedSkipsPlaceholders) {
  cct_Scope scope;
  auto* placeholder = new TestEmpty;
  placeholder->SetFlags(cct_FLAG_PLACEHOLDER);
  scope.RegisterName("1", placeholder);
  scope.RegisterName("2", new TestEmpty);
  EXPECT_EQ(DataSection(Write(scope, 0, 0)), "#2=TEST_EMPTY();\nENDSEC;\nEND-ISO-10303-21;\n");
}

TEST(ScopeWriting, SortedReportsNamesWithoutInstance) {
  CerrCapture log;
  cct_Scope scope;
  scope.ProvideEntry("5");
  Write(scope, 1, 0);
  EXPECT_EQ(log.Text(), "\nError: Program bug: (scope) cct_Scope::WriteP21().");
}

TEST(ScopeWriting, EmptyScopeWritesTheDefaultHeader) {
  cct_Scope scope("out.stp", "2003-8-18T9-5-0", nullptr, "Ann", "a 'test'", nullptr);
  EXPECT_EQ(Write(scope, 0, 0),
            "ISO-10303-21;\nHEADER;\n"
            "FILE_DESCRIPTION(('a ''test'''),'1');\n"
            "FILE_NAME('out.stp','2003-8-18T9-5-0',('Ann'),(''),'Moravel parser package','','');\n"
            "FILE_SCHEMA(('combined_schema'));\n"
            "ENDSEC;\nDATA;\nENDSEC;\nEND-ISO-10303-21;\n");
}

TEST(ScopeWriting, ScopeOfAnExchangeFileWritesNoHeaderOfItsOwn) {
  // A plain input file is not an exchange file of kind 1, so its scope still writes the header.
  TempFile temp("ISO-10303-21;\n");
  cct_InputFile file(temp.Path());
  EXPECT_EQ(file.Scope().InputFile(), &file);
  std::ostringstream out;
  file.Scope().WriteP21(out, 0, 0);
  EXPECT_EQ(out.str().rfind("ISO-10303-21;\nHEADER;\n", 0), 0u);
}

TEST(ScopeIndex, EveryNameFindsItsOwnEntryAcrossBlocksAndOrders) {
  // Numbered names are indexed by creation ordinal into the entry blocks: names in a scrambled
  // order, sparse ones beyond the dense index and other names must each find their own entry,
  // and the name order taken as a snapshot must list exactly what NameOrder lists, also after
  // the scope has grown since.
  cct_Scope scope;
  std::vector<std::string> names;
  for (long i = 0; i < 2500; ++i) names.push_back(std::to_string((i * 7919) % 2503 + 1));
  names.push_back("99999999");  // far beyond the dense numbers: not in the number index
  names.push_back("p12");       // no number at all
  std::map<std::string, cct_Scope::Entry*> made;
  for (const std::string& name : names) made[name] = scope.ProvideEntry(name.c_str());
  for (const auto& [name, entry] : made) {
    ASSERT_NE(entry, nullptr) << name;
    EXPECT_EQ(scope.FindEntry(name.c_str(), 0), entry) << name;
    EXPECT_STREQ(entry->name, name.c_str());
  }
  EXPECT_EQ(scope.FindEntry("2504", 0), nullptr);

  const cct_Scope::Order order = scope.EntryOrderByName();
  const std::vector<cct_Scope::Entry*> listed = scope.EntriesInNameOrder();
  ASSERT_EQ(order.size(), listed.size());
  for (size_t i = 0; i < order.size(); ++i) ASSERT_EQ(order[i], listed[i]) << i;
  for (long i = 0; i < 1500; ++i) scope.ProvideEntry(("q" + std::to_string(i)).c_str());
  for (size_t i = 0; i < order.size(); ++i) ASSERT_EQ(order[i], listed[i]) << i;
  const std::vector<cct_Scope::Entry*> some{listed[3], listed[0], listed[2600 % listed.size()]};
  const cct_Scope::Order chosen = scope.EntryOrder(some);
  ASSERT_EQ(chosen.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(chosen[i], some[i]);
}
