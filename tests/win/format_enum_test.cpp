// The format enumerator's edges: counts of 0, 1 and more than are left, Skip past the end,
// Clone keeping the position, Reset.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include "transfer/format_enum.h"

namespace {

FORMATETC Format(UINT cf) {
  return FORMATETC{static_cast<CLIPFORMAT>(cf), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

class FormatEnumTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FORMATETC formats[3] = {Format(101), Format(102), Format(103)};
    e_ = CreateFormatEnumerator(formats, 3);
    ASSERT_NE(e_, nullptr);
  }
  void TearDown() override {
    if (e_) {
      EXPECT_EQ(e_->Release(), 0u);
    }
  }
  IEnumFORMATETC* e_ = nullptr;
};

}  // namespace

TEST_F(FormatEnumTest, NextTable) {
  struct Step {
    ULONG n;
    bool withFetched;
    HRESULT result;
    ULONG fetched;
    UINT first;  // format of the first record copied, 0 for none
  };
  const Step steps[] = {
      {0, true, S_FALSE, 0, 0},    // nothing asked
      {2, false, S_FALSE, 0, 0},   // more than one without a count
      {1, false, S_OK, 1, 101},    // one without a count is fine
      {1, true, S_OK, 1, 102},
      {5, true, S_FALSE, 1, 103},  // more than left: what is left
      {1, true, S_FALSE, 0, 0},    // at the end
  };
  for (const Step& s : steps) {
    FORMATETC out[5] = {};
    ULONG fetched = 77;
    HRESULT r = e_->Next(s.n, out, s.withFetched ? &fetched : nullptr);
    EXPECT_EQ(r, s.result) << "n=" << s.n;
    if (s.withFetched) {
      EXPECT_EQ(fetched, s.fetched) << "n=" << s.n;
    }
    EXPECT_EQ(out[0].cfFormat, s.first) << "n=" << s.n;
  }
  ULONG fetched = 0;
  EXPECT_EQ(e_->Next(1, nullptr, &fetched), S_FALSE);
}

TEST_F(FormatEnumTest, NextExactlyWhatIsLeftIsOk) {
  FORMATETC out[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(e_->Next(3, out, &fetched), S_OK);
  EXPECT_EQ(fetched, 3u);
  EXPECT_EQ(out[2].cfFormat, 103);
}

TEST_F(FormatEnumTest, SkipTable) {
  EXPECT_EQ(e_->Skip(0), S_OK);
  EXPECT_EQ(e_->Skip(2), S_OK);
  EXPECT_EQ(e_->Skip(1), S_OK);   // exactly to the end
  EXPECT_EQ(e_->Skip(1), S_FALSE);
  EXPECT_EQ(e_->Reset(), S_OK);
  EXPECT_EQ(e_->Skip(4), S_FALSE);  // past the end stops at the end
  FORMATETC out = {};
  EXPECT_EQ(e_->Next(1, &out, nullptr), S_FALSE);
  EXPECT_EQ(e_->Reset(), S_OK);
  EXPECT_EQ(e_->Skip(0xFFFFFFFFu), S_FALSE);  // no wrap-around of the position
  EXPECT_EQ(e_->Next(1, &out, nullptr), S_FALSE);
}

TEST_F(FormatEnumTest, CloneKeepsPositionAndItsOwnCopy) {
  ASSERT_EQ(e_->Skip(1), S_OK);
  IEnumFORMATETC* clone = nullptr;
  ASSERT_EQ(e_->Clone(&clone), S_OK);
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(e_->Clone(nullptr), E_POINTER);
  FORMATETC out = {};
  ASSERT_EQ(clone->Next(1, &out, nullptr), S_OK);
  EXPECT_EQ(out.cfFormat, 102);
  // The original did not move with the clone, and outlives it.
  EXPECT_EQ(clone->Release(), 0u);
  ASSERT_EQ(e_->Next(1, &out, nullptr), S_OK);
  EXPECT_EQ(out.cfFormat, 102);
  ASSERT_EQ(e_->Skip(5), S_FALSE);
  ASSERT_EQ(e_->Clone(&clone), S_OK);
  EXPECT_EQ(clone->Next(1, &out, nullptr), S_FALSE);  // a clone at the end is at the end
  EXPECT_EQ(clone->Reset(), S_OK);
  EXPECT_EQ(clone->Next(1, &out, nullptr), S_OK);
  EXPECT_EQ(out.cfFormat, 101);
  clone->Release();
}

TEST_F(FormatEnumTest, QueryInterfaceFromTheTable) {
  IUnknown* unknown = nullptr;
  ASSERT_EQ(e_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  IEnumFORMATETC* again = nullptr;
  ASSERT_EQ(e_->QueryInterface(IID_IEnumFORMATETC, reinterpret_cast<void**>(&again)), S_OK);
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(e_->QueryInterface(IID_IDataObject, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(unknown->Release(), 2u);
  EXPECT_EQ(again->Release(), 1u);
}

TEST(FormatEnumEmptyTest, AnEmptyListIsAtItsEnd) {
  IEnumFORMATETC* e = CreateFormatEnumerator(nullptr, 0);
  ASSERT_NE(e, nullptr);
  FORMATETC out = {};
  ULONG fetched = 9;
  EXPECT_EQ(e->Next(1, &out, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(e->Skip(0), S_OK);
  EXPECT_EQ(e->Skip(1), S_FALSE);
  EXPECT_EQ(e->Release(), 0u);
}
