#include "cct/at.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "cct/errlog.h"
#include "support/capture.h"

namespace {

// Elements in these tests are 4-byte numbers written and read through the raw byte interface.
uint32_t At(const cct_NativeAggregate_1d& a, uint32_t i) {
  uint32_t v;
  std::memcpy(&v, a.Element(i), sizeof v);
  return v;
}

uint32_t At(const cct_NativeAggregate_2d& a, uint32_t i, uint32_t j) {
  uint32_t v;
  std::memcpy(&v, a.Element(i, j), sizeof v);
  return v;
}

void FillWithIndexPlusOne(cct_NativeAggregate_1d& a) {
  for (uint32_t i = 0; i < a.Count(); ++i) {
    uint32_t v = i + 1;
    a.SetElementBytes(&v, i);
  }
}

// Element (i, j) holds 10 * (i + 1) + j + 1, so every position is distinct and nonzero.
uint32_t Marker(uint32_t i, uint32_t j) { return 10 * (i + 1) + j + 1; }

void FillWithMarkers(cct_NativeAggregate_2d& a) {
  for (uint32_t i = 0; i < a.Rows(); ++i)
    for (uint32_t j = 0; j < a.Columns(); ++j) {
      uint32_t v = Marker(i, j);
      a.SetElementBytes(&v, i, j);
    }
}

const char kClip1d[] =
    "\nWarning: Aggregate bounds are violated: at\n   : cct_NativeAggregate_1d::CopyAggregate()"
    "\n   The source aggregate is larger than the destination aggregate."
    "\n   Clipping the source.";
const char kClip2d[] =
    "\nWarning: Aggregate bounds are violated: at : cct_NativeAggregate_2d::CopyAggregate()"
    "\n   The source aggregate is in at least one dimension larger than the"
    "\n   destination aggregate. Clipping the source.";

}  // namespace

TEST(NativeAggregate1d, FirstSizingGivesZeroedElementsSilently) {
  CerrCapture log;
  cct_NativeAggregate_1d a;
  EXPECT_EQ(a.Dimensions(), 1);
  a.SetDimensions(4, 3);
  uint32_t count = 0;
  EXPECT_EQ(a.GetDimensions(count), 4u);
  EXPECT_EQ(count, 3u);
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(At(a, i), 0u);
  EXPECT_EQ(log.Text(), "");
}

TEST(NativeAggregate1d, SizeAndCountMayArriveSeparately) {
  CerrCapture log;
  cct_NativeAggregate_1d a;
  a.SetDimensions(4, 0);
  EXPECT_EQ(a.Count(), 0u);
  a.SetDimensions(0, 2);
  EXPECT_EQ(a.SizeOfElement(), 4u);
  EXPECT_EQ(a.Count(), 2u);
  EXPECT_EQ(At(a, 1), 0u);
  EXPECT_EQ(log.Text(), "");
}

TEST(NativeAggregate1d, ResizingKeepsLeadingElements) {
  CerrCapture log;
  cct_NativeAggregate_1d a;
  a.SetDimensions(4, 3);
  FillWithIndexPlusOne(a);

  a.SetDimensions(0, 5);  // grow
  EXPECT_EQ(log.Take(), "");
  std::vector<uint32_t> grown;
  for (uint32_t i = 0; i < 5; ++i) grown.push_back(At(a, i));
  EXPECT_EQ(grown, (std::vector<uint32_t>{1, 2, 3, 0, 0}));

  a.SetDimensions(4, 5);  // unchanged dimensions: nothing moves
  EXPECT_EQ(log.Take(), "");
  EXPECT_EQ(At(a, 2), 3u);

  a.SetDimensions(4, 2);  // shrink: clipped with a warning
  EXPECT_EQ(log.Take(), kClip1d);
  EXPECT_EQ(a.Count(), 2u);
  EXPECT_EQ(At(a, 0), 1u);
  EXPECT_EQ(At(a, 1), 2u);
}

TEST(NativeAggregate1d, ChangedElementSizeDiscardsContentsWithWarning) {
  CerrCapture log;
  cct_NativeAggregate_1d a;
  a.SetDimensions(4, 3);
  FillWithIndexPlusOne(a);

  a.SetDimensions(8, 0);
  EXPECT_EQ(log.Text(),
            "\nWarning: Message: at : cct_NativeAggregate_1d::SetDimensions()"
            "\n   The new and the old element size differ. Old entries"
            "\n   are lost.");
  uint32_t count = 0;
  EXPECT_EQ(a.GetDimensions(count), 8u);
  EXPECT_EQ(count, 3u);
  const unsigned char zeros[8] = {};
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(std::memcmp(a.Element(i), zeros, 8), 0) << i;
}

TEST(NativeAggregate1d, AccessOutsideTheCountIsFatal) {
  CerrCapture log;
  cct_NativeAggregate_1d a;
  a.SetDimensions(4, 3);
  EXPECT_THROW(a.Element(3), cct_GenericException);
  EXPECT_EQ(log.Take(),
            "\nError: Aggregate bounds are violated: at"
            "\n   1 dimensional array with bounds <2>."
            "\n   access error with index <3>.");
  uint32_t v = 7;
  EXPECT_THROW(a.SetElementBytes(&v, 3), cct_GenericException);
  log.Take();

  // An empty array has no valid index; its bound prints as 0 - 1 in unsigned 32-bit arithmetic.
  cct_NativeAggregate_1d empty;
  EXPECT_THROW(empty.Element(0), cct_GenericException);
  EXPECT_EQ(log.Take(),
            "\nError: Aggregate bounds are violated: at"
            "\n   1 dimensional array with bounds <4294967295>."
            "\n   access error with index <0>.");
}

TEST(NativeAggregate1d, SetElementBytesWithoutSourceZeroes) {
  cct_NativeAggregate_1d a;
  a.SetDimensions(4, 3);
  FillWithIndexPlusOne(a);
  a.SetElementBytes(nullptr, 1);
  EXPECT_EQ(At(a, 0), 1u);
  EXPECT_EQ(At(a, 1), 0u);
  EXPECT_EQ(At(a, 2), 3u);
}

TEST(NativeAggregate1d, CopyAggregateClipsToTheCount) {
  CerrCapture log;
  cct_NativeAggregate_1d a;
  a.SetDimensions(4, 3);
  FillWithIndexPlusOne(a);

  const uint32_t small[] = {70, 80};
  a.CopyAggregate(small, 2);
  EXPECT_EQ(log.Take(), "");
  EXPECT_EQ(At(a, 0), 70u);
  EXPECT_EQ(At(a, 1), 80u);
  EXPECT_EQ(At(a, 2), 3u);  // beyond the source: untouched

  const uint32_t large[] = {11, 12, 13, 14, 15};
  a.CopyAggregate(large, 5);
  EXPECT_EQ(log.Take(), kClip1d);
  EXPECT_EQ(At(a, 2), 13u);

  a.CopyAggregate(nullptr, 5);
  EXPECT_EQ(log.Take(), "");
  EXPECT_EQ(At(a, 0), 11u);
}

TEST(NativeAggregate1d, ClearEmptiesAndNextSizingStartsAfresh) {
  CerrCapture log;
  cct_NativeAggregate_1d a;
  a.SetDimensions(4, 3);
  FillWithIndexPlusOne(a);
  a.Clear();
  uint32_t count = 99;
  EXPECT_EQ(a.GetDimensions(count), 0u);
  EXPECT_EQ(count, 0u);

  // A different size and count after Clear is a first sizing: no size-change or clipping report.
  a.SetDimensions(8, 2);
  EXPECT_EQ(log.Text(), "");
  const unsigned char zeros[8] = {};
  EXPECT_EQ(std::memcmp(a.Element(0), zeros, 8), 0);
  EXPECT_EQ(std::memcmp(a.Element(1), zeros, 8), 0);
}

TEST(NativeAggregate2d, ElementsAreStoredRowByRow) {
  cct_NativeAggregate_2d a;
  EXPECT_EQ(a.Dimensions(), 2);
  a.SetDimensions(4, 2, 3);
  uint32_t rows = 0, columns = 0;
  EXPECT_EQ(a.GetDimensions(rows, columns), 4u);
  EXPECT_EQ(rows, 2u);
  EXPECT_EQ(columns, 3u);
  const auto* base = static_cast<const unsigned char*>(a.Element(0, 0));
  EXPECT_EQ(a.Element(1, 2), base + (1 * 3 + 2) * 4);
  EXPECT_EQ(a.Element(0, 2), base + 2 * 4);
  EXPECT_EQ(At(a, 1, 2), 0u);
}

TEST(NativeAggregate2d, GrowthKeepsEachRowAtTheStartOfItsNewRow) {
  CerrCapture log;
  cct_NativeAggregate_2d a;
  a.SetDimensions(4, 2, 3);
  FillWithMarkers(a);
  a.SetDimensions(0, 3, 4);
  EXPECT_EQ(log.Text(), "");
  for (uint32_t i = 0; i < 3; ++i)
    for (uint32_t j = 0; j < 4; ++j) {
      uint32_t expected = (i < 2 && j < 3) ? Marker(i, j) : 0;
      EXPECT_EQ(At(a, i, j), expected) << i << "," << j;
    }
}

TEST(NativeAggregate2d, ShrinkingEitherExtentWarnsAndKeepsTheTopLeft) {
  CerrCapture log;
  cct_NativeAggregate_2d a;
  a.SetDimensions(4, 3, 4);
  FillWithMarkers(a);
  a.SetDimensions(0, 4, 2);  // more rows but fewer columns still clips
  EXPECT_EQ(log.Take(), kClip2d);
  for (uint32_t i = 0; i < 4; ++i)
    for (uint32_t j = 0; j < 2; ++j)
      EXPECT_EQ(At(a, i, j), i < 3 ? Marker(i, j) : 0u) << i << "," << j;
}

TEST(NativeAggregate2d, ChangedElementSizeDiscardsContentsWithWarning) {
  CerrCapture log;
  cct_NativeAggregate_2d a;
  a.SetDimensions(4, 2, 2);
  FillWithMarkers(a);
  a.SetDimensions(8, 0, 0);
  EXPECT_EQ(log.Text(),
            "\nWarning: Message: at : cct_NativeAggregate_2d::SetDimensions()"
            "\n   The new and the old element sizes differ. Old entries"
            "\n   are lost.");
  EXPECT_EQ(a.Rows(), 2u);
  EXPECT_EQ(a.Columns(), 2u);
  const unsigned char zeros[8] = {};
  EXPECT_EQ(std::memcmp(a.Element(1, 1), zeros, 8), 0);
}

TEST(NativeAggregate2d, AccessOutsideEitherExtentIsFatal) {
  CerrCapture log;
  cct_NativeAggregate_2d a;
  a.SetDimensions(4, 2, 3);
  EXPECT_THROW(a.Element(2, 0), cct_GenericException);
  EXPECT_EQ(log.Take(),
            "\nError: Aggregate bounds are violated: at"
            "\n   2 dimensional array with bounds <1, 2>."
            "\n   access error with indices <2, 0>.");
  EXPECT_THROW(a.SetElementBytes(nullptr, 0, 3), cct_GenericException);
  EXPECT_EQ(log.Take(),
            "\nError: Aggregate bounds are violated: at"
            "\n   2 dimensional array with bounds <1, 2>."
            "\n   access error with indices <0, 3>.");

  cct_NativeAggregate_2d empty;
  EXPECT_THROW(empty.Element(0, 0), cct_GenericException);
  EXPECT_EQ(log.Take(),
            "\nError: Aggregate bounds are violated: at"
            "\n   2 dimensional array with bounds <4294967295, 4294967295>."
            "\n   access error with indices <0, 0>.");
}

TEST(NativeAggregate2d, CopyAggregateReadsSourceRowsOfItsOwnWidth) {
  CerrCapture log;
  cct_NativeAggregate_2d a;
  a.SetDimensions(4, 2, 3);
  // A 2 x 2 source: its second row starts at element 2, not at element 3.
  const uint32_t source[] = {1, 2, 3, 4};
  a.CopyAggregate(source, 2, 2);
  EXPECT_EQ(log.Text(), "");
  EXPECT_EQ(At(a, 0, 0), 1u);
  EXPECT_EQ(At(a, 0, 1), 2u);
  EXPECT_EQ(At(a, 0, 2), 0u);
  EXPECT_EQ(At(a, 1, 0), 3u);
  EXPECT_EQ(At(a, 1, 1), 4u);
  EXPECT_EQ(At(a, 1, 2), 0u);
}

TEST(NativeAggregate2d, ClearEmptiesAndNextSizingStartsAfresh) {
  CerrCapture log;
  cct_NativeAggregate_2d a;
  a.SetDimensions(4, 2, 3);
  FillWithMarkers(a);
  a.Clear();
  uint32_t rows = 9, columns = 9;
  EXPECT_EQ(a.GetDimensions(rows, columns), 0u);
  EXPECT_EQ(rows, 0u);
  EXPECT_EQ(columns, 0u);
  a.SetDimensions(8, 1, 1);
  EXPECT_EQ(log.Text(), "");
  const unsigned char zeros[8] = {};
  EXPECT_EQ(std::memcmp(a.Element(0, 0), zeros, 8), 0);
}
