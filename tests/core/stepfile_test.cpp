#include "cct/stepfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cct/cct.h"
#include "cct/rawrecord.h"
#include "support/capture.h"
#include "support/temp_file.h"
#include "support/test_schema.h"

using test_schema::TestPath;

namespace {

const char* const kHeader =
    "ISO-10303-21;\n"
    "HEADER;\n"
    "FILE_DESCRIPTION(('a test'),'2;1');\n"
    "FILE_NAME('a.stp','2020-01-01',('me'),('org'),'pre','sys','auth');\n"
    "FILE_SCHEMA(('COMBINED_SCHEMA'));\n"
    "ENDSEC;\n"
    "DATA;\n";

std::string File(const std::string& data) {
  return std::string(kHeader) + data + "ENDSEC;\nEND-ISO-10303-21;\n";
}

std::string P21(const cct_Type& value) {
  std::ostringstream out;
  value.WriteP21(out);
  return out.str();
}

/// An exchange file on a temporary file, header read.
class Opened {
 public:
  explicit Opened(const std::string& content, bool scan = true) : temp_(content), file_(temp_.Path()) {
    file_.ReadHeader(nullptr);
    if (scan) file_.ScanFile();
  }
  cct_StepFile& operator*() { return file_; }
  cct_StepFile* operator->() { return &file_; }
  const char* Path() const { return temp_.Path(); }
  template <class T>
  T* Get(const char* name) {
    cct_Instance* instance = file_.Scope().FindInstance(name, 1);
    if (instance) instance->Release();
    return dynamic_cast<T*>(instance);
  }

 private:
  TempFile temp_;
  cct_StepFile file_;
};

class StepFile : public ::testing::Test {
 protected:
  void SetUp() override { test_schema::Use(); }
};

}  // namespace

TEST_F(StepFile, HeaderFillsTheThreeEntities) {
  CerrCapture log;
  Opened f(File(""));
  EXPECT_EQ(P21(f->FileDescription().description), "('a test')");
  EXPECT_STREQ(f->FileDescription().implementation_level.Get(), "2;1");
  EXPECT_STREQ(f->FileName().name.Get(), "a.stp");
  EXPECT_EQ(P21(f->FileName().author), "('me')");
  EXPECT_EQ(P21(f->FileSchema().schema_identifiers), "('COMBINED_SCHEMA')");
  EXPECT_STREQ(f->HeaderAuthor(), "me");
  EXPECT_EQ(log.Text(), "");
}

TEST_F(StepFile, HeaderInAnotherOrderAndAFourthEntity) {
  CerrCapture log;
  Opened f(
      "ISO-10303-21;\nHEADER;\nFILE_SCHEMA(('S'));\nFILE_NAME('n','t',('a'),('o'),'p','s','x');\n"
      "FILE_DESCRIPTION(('d'),'1');\nFILE_POPULATION('x');\nENDSEC;\nDATA;\nENDSEC;\n"
      "END-ISO-10303-21;\n");
  EXPECT_EQ(P21(f->FileSchema().schema_identifiers), "('S')");
  EXPECT_EQ(log.Text(), std::string("\nWarning: While reading STEP file: \"") + f.Path() +
                            "\", line 6:  \t\nCan't find expected header entity ''");
}

TEST_F(StepFile, HeaderWithTwoEntitiesIsASyntaxError) {
  CerrCapture log;
  TempFile temp(
      "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('d'),'1');\nFILE_NAME('n','t',('a'),('o'),'p','s',"
      "'x');\nENDSEC;\nDATA;\nENDSEC;\nEND-ISO-10303-21;\n");
  cct_StepFile file(temp.Path());
  EXPECT_THROW(file.ReadHeader(nullptr), cct_GenericException);
  EXPECT_EQ(log.Text(), std::string("\nError: While reading STEP file: \"") + temp.Path() +
                            "\", line 5:  Syntax error.");
}

TEST_F(StepFile, ScanIndexesNamesOffsetsLinesAndTypes) {
  std::string data = "#12=TEST_POINT('a(',(1.,2.,3.),$);\n#7=NO_SUCH_ENTITY(1);\n";
  Opened f(File(data));
  cct_Scope::Entry* twelve = f->Scope().FindEntry("12", 0);
  ASSERT_NE(twelve, nullptr);
  std::string content = File(data);
  EXPECT_EQ(twelve->fileOffset, static_cast<long>(content.find("#12=") + 4));
  EXPECT_EQ(twelve->line, 8);
  EXPECT_EQ(twelve->typeId, test_schema::kPoint);
  EXPECT_EQ(twelve->instance, nullptr);
  EXPECT_EQ(f->Scope().FindEntry("7", 0)->typeId, 0);
  EXPECT_TRUE(f->FullyIndexed());
  EXPECT_EQ(f->CurrentName(), nullptr);
}

TEST_F(StepFile, DefinitionsOnOneLineAreAllIndexed) {
  Opened f(File("#1=TEST_EMPTY();#2=TEST_EMPTY();\n#3=TEST_EMPTY();"));
  EXPECT_EQ(f->Scope().EntryCount(), 3);
  EXPECT_NE(f.Get<TestEmpty>("2"), nullptr);
}

TEST_F(StepFile, EvaluatedParametersFillAttributes) {
  CerrCapture log;
  Opened f(File("#1=TEST_COUNT('x',*,$);\n#2=TEST_POINT('p',1,2.5,$);\n"));
  auto* count = f.Get<TestCount>("1");
  ASSERT_NE(count, nullptr);
  EXPECT_STREQ(count->name.Get(), "x");
  EXPECT_FALSE(count->comment.IsSet());
  auto* point = f.Get<TestPoint>("2");
  ASSERT_NE(point, nullptr);
  EXPECT_EQ(point->x.Get(), 1.0);
  EXPECT_EQ(point->y.Get(), 2.5);
  EXPECT_NE(log.Text().find("test_count::count in instance 1"), std::string::npos);
}

TEST_F(StepFile, RecordsTheBindingCannotBuildAreKeptAsWritten) {
  const struct {
    const char* record;   // right-hand side of #7 as the file has it
    const char* typeName;  // what the tree shows
    const char* written;  // the line a save writes
    const char* log;      // the report reading gives, unchanged
  } cases[] = {
      {"NO_SUCH_ENTITY(1, 'a  b',\n  .X., #8 /* note */ , 1.5E-3)", "no_such_entity",
       "#7=NO_SUCH_ENTITY(1,'a  b',.X.,#8,1.5E-3);\n",
       "\", line 9:  \n   The entity 'no_such_entity' is not defined\n   in the underlying "
       "EXPRESS schema."},
      {"!MY_THING(1,(2,3))", "!my_thing", "#7=!MY_THING(1,(2,3));\n",
       "\n   UserDefinedKeywords are not yet implemented."},
      {"( TEST_EMPTY()\nTEST_POINT('a;)',1.,2.,$) )", "(test_empty test_point)",
       "#7=(TEST_EMPTY()TEST_POINT('a;)',1.,2.,$));\n",
       "\n\tExternally mapped instances not implemented yet"},
      {"UNKNOWN_TYPED(LENGTH_MEASURE(2.), 'it''s')", "unknown_typed",
       "#7=UNKNOWN_TYPED(LENGTH_MEASURE(2.),'it''s');\n", "is not defined"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    CerrCapture log;
    Opened f(File(std::string("#7=") + c.record + ";\n#8=TEST_EMPTY();\n"));
    auto* raw = f.Get<cct_RawInstance>("7");
    ASSERT_NE(raw, nullptr) << log.Text();
    EXPECT_STREQ(raw->TypeName(), c.typeName);
    EXPECT_NE(log.Text().find(c.log), std::string::npos) << log.Text();
    EXPECT_EQ(log.Text().find("can not find instance"), std::string::npos) << log.Text();
    std::ostringstream out;
    f->WriteP21(out);
    EXPECT_NE(out.str().find(std::string("DATA;\n") + c.written + "#8=TEST_EMPTY();\n"),
              std::string::npos)
        << out.str();
  }
}

TEST_F(StepFile, ForwardAndBackwardReferences) {
  CerrCapture log;
  Opened f(File("#1=TEST_PATH('p',(#2,#3),(1.,2.),$,$,#3);\n#2=TEST_POINT('a',0.,0.,$);\n"
                "#3=TEST_POINT('b',1.,1.,$);\n"));
  auto* path = f.Get<TestPath>("1");
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(P21(path->points), "(#2,#3)");
  EXPECT_EQ(path->start.Get(0), f->Scope().FindEntry("3", 0)->instance);
  EXPECT_EQ(path->TestCorrectness(1), 1);
  path->TestCorrectness(0);
  EXPECT_EQ(log.Text(), "");

  // Read after its targets: the reference is the instance itself, held through its entry.
  auto* b = f.Get<TestPoint>("3");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->ReferenceCount(), 0);
}

TEST_F(StepFile, ListsNestedListsAndTypedParameters) {
  CerrCapture log;
  Opened f(File("#1=TEST_PATH('p',(),(1.,2.,3.),LENGTH_MEASURE(2.5),((1.,2.),(3.)),$);\n"
                "#2=TEST_PATH('q',(),(),UNKNOWN_TYPE(#1),$,$);\n"));
  auto* path = f.Get<TestPath>("1");
  ASSERT_NE(path, nullptr);
  EXPECT_TRUE(path->points.IsSet());  // "()" is a value
  EXPECT_EQ(P21(path->points), "()");
  EXPECT_EQ(P21(path->values), "(1.0000000000,2.0000000000,3.0000000000)");
  EXPECT_EQ(P21(path->shape), "LENGTH_MEASURE(2.5000000000)");
  EXPECT_EQ(path->shape.HeldTypeId(), test_schema::kLength);
  // Each row keeps its own length: a short row is not padded with zero elements.
  EXPECT_EQ(P21(path->matrix), "((1.0000000000,2.0000000000),(3.0000000000))");
  EXPECT_EQ(f.Get<TestPath>("2")->shape.IsSet(), false);
}

TEST_F(StepFile, MissingSemicolonEndsTheReadWithASyntaxError) {
  CerrCapture log;
  TempFile temp(File("#1=TEST_EMPTY()\n#2=TEST_EMPTY();\n"));
  cct_StepFile file(temp.Path());
  file.ReadHeader(nullptr);
  EXPECT_THROW(file.ScanFile(), cct_GenericException);
  EXPECT_NE(log.Text().find("Syntax error."), std::string::npos);
}

TEST_F(StepFile, EmptyDataSectionWritesTheBareLayout) {
  Opened f(File(""));
  EXPECT_EQ(f->Scope().EntryCount(), 0);
  std::ostringstream out;
  f->WriteP21(out);
  EXPECT_EQ(out.str(),
            "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('a test'),'2;1');\n"
            "FILE_NAME('a.stp','2020-01-01',('me'),('org'),'pre','sys','auth');\n"
            "FILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\nENDSEC;\nEND-ISO-10303-21;\n");
}

TEST_F(StepFile, NamesAreReadOnDemandWithoutAFullScan) {
  CerrCapture log;
  Opened f(File("#1=TEST_POINT('a',0.,0.,$);\n#2=TEST_PATH('p',(#1,#3),(),$,$,$);\n"
                "#3=TEST_POINT('b',1.,1.,$);\n"),
           false);
  cct_Instance* path = f->ReadInstance("2");
  ASSERT_NE(path, nullptr);
  EXPECT_FALSE(f->FullyIndexed());
  EXPECT_EQ(f->Scope().FindEntry("3", 0)->fileOffset, 0);  // not scanned yet
  EXPECT_NE(f.Get<TestPoint>("3"), nullptr);                 // scans on
  EXPECT_EQ(f->ReadInstance("99"), nullptr);
  EXPECT_TRUE(f->FullyIndexed());
}

TEST_F(StepFile, NameDefinedTwiceIsReportedAndTheLaterOneRead) {
  CerrCapture log;
  Opened f(File("#1=TEST_POINT('first',0.,0.,$);\n#1=TEST_POINT('second',0.,0.,$);\n"));
  EXPECT_NE(log.Text().find("Instance #1 is defined again in line 9; the definition in line 8 "
                            "is ignored."),
            std::string::npos)
      << log.Text();
  EXPECT_STREQ(f.Get<TestPoint>("1")->name.Get(), "second");
}

TEST_F(StepFile, MissingFileAndLoaderWithoutName) {
  CerrCapture log;
  EXPECT_THROW(cct_StepFile("/nonexistent/file.stp"), cct_GenericException);
  EXPECT_EQ(log.Take(), "\nError: Input/Output error: Can't open input file '/nonexistent/file.stp'.");
  Opened f(File(""));
  EXPECT_EQ(cct_ReadInstanceByName(nullptr, &*f), nullptr);
  EXPECT_EQ(log.Take(),
            "\nWarning: Function called with NULL in parameter: cct_ReadInstanceByName : "
            "Parameter aliasname");
}

namespace {

const char* const kListRecords =
    "#1=TEST_PATH('p',(#2,#3),(1.,2.,3),LENGTH_MEASURE(2.5),((1.,2.),(3.)),#3);\n"
    "#2=TEST_POINT('a',0.,0.,$);\n"
    "#3=TEST_POINT('b''c',1.,1.,$);\n"
    "#4=TEST_PATH('q',(#3),(4.,5.),$,((6.),(7.,8.,9.)),#2);\n";

std::string Written(cct_StepFile& file) {
  std::ostringstream out;
  file.WriteP21(out);
  return out.str();
}

std::string WrittenAfterReadingAlone(const std::string& content) {
  Opened f(content);
  for (cct_Scope::Entry* entry : f->Scope().EntriesInNameOrder())
    if (cct_Instance* instance = f->Scope().FindInstance(entry, 1)) instance->Release();
  return Written(*f);
}

}  // namespace

TEST_F(StepFile, ReadAllReadsEachEntryInTheGivenOrderBeforeItsCallback) {
  CerrCapture log;
  Opened f(File(kListRecords));
  std::vector<cct_Scope::Entry*> order = f->Scope().EntriesInNameOrder();
  std::reverse(order.begin(), order.end());
  std::vector<std::string> seen;
  f->ReadAll(f->Scope().EntryOrder(order), [&](cct_Scope::Entry* entry, size_t index) {
    EXPECT_EQ(entry, order[index]);
    EXPECT_NE(entry->instance, nullptr) << entry->name;
    seen.push_back(entry->name);
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"4", "3", "2", "1"}));
  EXPECT_EQ(Written(*f), WrittenAfterReadingAlone(File(kListRecords)));
  EXPECT_EQ(log.Text(), "");
}

TEST_F(StepFile, TwoFilesReadInTurnKeepTheirOwnRecords) {
  // Each file keeps its own reading buffers: records of one read between those of the other
  // change nothing in either.
  CerrCapture log;
  const std::string other = File(
      "#1=TEST_PATH('x',(#2),(9.,8.,7.,6.,5.),$,((1.),(2.),(3.)),#2);\n"
      "#2=TEST_POINT('y',5.,6.,$);\n#3=TEST_POINT('z',7.,8.,$);\n");
  Opened a(File(kListRecords));
  Opened b(other);
  const std::vector<cct_Scope::Entry*> inB = b->Scope().EntriesInNameOrder();
  a->ReadAll(a->Scope().EntryOrderByName(), [&](cct_Scope::Entry*, size_t index) {
    if (index < inB.size()) b->ReadAll(b->Scope().EntryOrder({inB[index]}), nullptr);
  });
  EXPECT_EQ(Written(*a), WrittenAfterReadingAlone(File(kListRecords)));
  EXPECT_EQ(Written(*b), WrittenAfterReadingAlone(other));
}

TEST_F(StepFile, ReadAllPassesOnWhatStopsItAndCanBeRunAgain) {
  CerrCapture log;
  Opened f(File(kListRecords));
  const cct_Scope::Order order = f->Scope().EntryOrderByName();
  size_t calls = 0;
  EXPECT_THROW(f->ReadAll(order,
                          [&](cct_Scope::Entry*, size_t index) {
                            ++calls;
                            if (index == 1) throw std::runtime_error("stop");
                          }),
               std::runtime_error);
  EXPECT_EQ(calls, 2u);
  EXPECT_EQ(order[2]->instance, nullptr);
  f->ReadAll(order, nullptr);
  EXPECT_EQ(Written(*f), WrittenAfterReadingAlone(File(kListRecords)));
}

TEST_F(StepFile, ReadAllOverManyEntryBlocksInAnyOrder) {
  // The order is held as creation ordinals into the entry blocks, which the read-ahead thread
  // reads too: over several blocks, in name order and reversed, every record is read and the
  // file written as when each is read alone. References to names never defined add entries
  // while the order is read; it must not notice.
  std::string data;
  for (int i = 1; i <= 2600; ++i)
    data += "#" + std::to_string(i) + "=TEST_POINT('p" + std::to_string(i) + "'," +
            std::to_string(i) + ".,0.,$);\n";
  data += "#9000=TEST_PATH('q',(#1,#7001,#7002),(1.),$,((1.)),#7003);\n";
  const std::string content = File(data);
  const std::string alone = WrittenAfterReadingAlone(content);
  for (bool reversed : {false, true}) {
    SCOPED_TRACE(reversed);
    CerrCapture log;
    Opened f(content);
    std::vector<cct_Scope::Entry*> entries = f->Scope().EntriesInNameOrder();
    if (reversed) std::reverse(entries.begin(), entries.end());
    const cct_Scope::Order order =
        reversed ? f->Scope().EntryOrder(entries) : f->Scope().EntryOrderByName();
    size_t seen = 0;
    f->ReadAll(order, [&](cct_Scope::Entry* entry, size_t index) {
      EXPECT_EQ(entry, entries[index]);
      EXPECT_NE(entry->instance, nullptr) << entry->name;
      ++seen;
    });
    EXPECT_EQ(seen, 2601u);
    EXPECT_EQ(Written(*f), alone);
  }
}
