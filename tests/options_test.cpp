// Option sets, their combination rules and flag words.
#include <gtest/gtest.h>

#include "ravelin/RegularExpression.h"

using RegexClass::RegularExpression;
using R = RegularExpression;

TEST(OptionSets, DefaultsGiveNormalWord) {
  R re;
  EXPECT_TRUE(re.IsExpressionOption(R::Normal));
  EXPECT_TRUE(re.IsMatchOption(R::MatchDefault));
  EXPECT_EQ(re.GetFlagOptions(), 0x4107u);
  EXPECT_EQ(re.GetMatchFlags(), 0u);
}

TEST(OptionSets, CombinationsFollowTheirParts) {
  struct Case {
    const char* name;
    void (*apply)(R&);
    unsigned word;
  };
  const Case cases[] = {
      {"icase", [](R& r) { r.AddExpressionOption(R::Icase); }, 0x6107},
      {"basic", [](R& r) { r.AddExpressionOption(R::Basic); }, 0x1CE},
      {"extended", [](R& r) { r.AddExpressionOption(R::Extended); }, 0x106},
      {"basic then normal",
       [](R& r) {
         r.AddExpressionOption(R::Basic);
         r.AddExpressionOption(R::Normal);
       },
       0x4107},
      {"parts make extended then normal",
       [](R& r) {
         r.ClearExpressionOptions();
         r.AddExpressionOption(R::CharClasses);
         r.AddExpressionOption(R::Intervals);
         r.AddExpressionOption(R::BkRefs);
         EXPECT_TRUE(r.IsExpressionOption(R::Extended));
         r.AddExpressionOption(R::EscapeInLists);
         r.AddExpressionOption(R::NoCollate);
         EXPECT_FALSE(r.IsExpressionOption(R::Extended));
       },
       0x4107},
      {"delete bkrefs", [](R& r) { r.DeleteExpressionOption(R::BkRefs); }, 0x4007},
      {"delete normal", [](R& r) { r.DeleteExpressionOption(R::Normal); }, 0},
      {"value above the table",
       [](R& r) {
         r.ClearExpressionOptions();
         r.AddExpressionOption(static_cast<R::Options>(40));
         EXPECT_TRUE(r.IsExpressionOption(static_cast<R::Options>(40)));
       },
       0},
  };
  for (const Case& c : cases) {
    R re;
    c.apply(re);
    EXPECT_EQ(re.GetFlagOptions(), c.word) << c.name;
    EXPECT_EQ(static_cast<const R&>(re).GetFlagOptions(), c.word) << c.name;
  }
  R basic;
  basic.AddExpressionOption(R::Basic);
  EXPECT_FALSE(basic.IsExpressionOption(R::Normal));
  EXPECT_FALSE(basic.IsExpressionOption(R::NoCollate));
  EXPECT_FALSE(basic.IsExpressionOption(R::EscapeInLists));
}

TEST(OptionSets, MatchDefaultAndRestrictionsDisplaceEachOther) {
  R re;
  re.AddMatchOption(R::MatchNotBol);
  EXPECT_FALSE(re.IsMatchOption(R::MatchDefault));
  EXPECT_EQ(re.GetMatchFlags(), 0x1u);
  re.DeleteMatchOption(R::MatchNotBol);
  EXPECT_TRUE(re.IsMatchOption(R::MatchDefault));

  re.AddMatchOption(R::MatchAny);
  EXPECT_TRUE(re.IsMatchOption(R::MatchDefault));
  EXPECT_EQ(re.GetMatchFlags(), 0x400u);
  EXPECT_EQ(static_cast<const R&>(re).GetMatchFlags(), 0x400u);

  R empty;
  empty.DeleteMatchOption(R::MatchDefault);
  EXPECT_FALSE(empty.IsMatchOption(R::MatchDefault));
  empty.AddMatchOption(R::MatchNotEol);
  empty.AddMatchOption(R::MatchDefault);
  EXPECT_FALSE(empty.IsMatchOption(R::MatchNotEol));
  empty.ClearMatchOptions();
  EXPECT_EQ(empty.GetMatchFlags(), 0u);
  EXPECT_FALSE(empty.IsMatchOption(R::MatchDefault));
}
