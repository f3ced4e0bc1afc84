// The object itself: defaults, copying, assignment, equality, compilation
// state and error reporting through the public interface.
#include <gtest/gtest.h>

#include <memory>

#include "ravelin/RegularExpression.h"

using RegexClass::RegularExpression;
using R = RegularExpression;

namespace {

void NoteMatch(R&, const RegexClass::REMatchInfo&, unsigned, unsigned) {}

struct Target {
  int calls = 0;
  void OnMatch(R&, const RegexClass::REMatchInfo&, unsigned, unsigned) { ++calls; }
};

}  // namespace

TEST(Expression, DefaultObject) {
  R re;
  for (const std::string& s :
       {re.GetExpression(), re.GetStringToMatch(), re.GetFilesToMatch(), re.GetFormatString(), re.GetSaveExtension()}) {
    EXPECT_EQ(s, "");
  }
  EXPECT_FALSE(re.GetDirectoryRecursion());
  EXPECT_FALSE(re.GetMergeCopy());
  EXPECT_EQ(re.ParseExpression(), 1);  // empty expression
  EXPECT_EQ(re.GetExpressionError(), "");
  EXPECT_EQ(re.NumberOfSubexpressions(), 0u);
  EXPECT_TRUE(re.GetMatchingInformation().empty());
  EXPECT_EQ(re.GetChangeFilesErrors(), nullptr);
  re.ResetMatches();  // nothing held: nothing happens
}

TEST(Expression, EqualityComparesSettingsOnly) {
  R a, b;
  EXPECT_TRUE(a == b);
  b.SetStringToMatch("x");
  EXPECT_FALSE(a == b);
  b.SetStringToMatch("");
  b.SetLocale(std::locale::classic());
  b.SetOnMatching(&NoteMatch);
  b.SetExpression("");
  EXPECT_EQ(b.ParseExpression(), 1);
  EXPECT_TRUE(a == b);
  b.SetExpression("A");
  a.SetExpression("a");
  EXPECT_FALSE(a == b);  // byte-wise, case-sensitive
  a.SetExpression("A");
  a.SetDirectoryRecursion(true);
  EXPECT_FALSE(a == b);
}

TEST(Expression, CopyAndAssignment) {
  R original;
  original.SetExpression("a(b)(c)");
  original.SetFormatString("$1");
  original.SetMergeCopy(true);
  original.AddExpressionOption(R::Icase);
  original.AddMatchOption(R::MatchNotBol);
  original.SetOnMatching(&NoteMatch);
  Target target;
  original.SetOnSearchingClosure(R::OnSearchingClosure(&target, &Target::OnMatch));
  original.SetLocale(std::locale::classic());
  EXPECT_EQ(original.ParseExpression(), 0);

  R copy(original);
  EXPECT_TRUE(copy == original);
  EXPECT_EQ(copy.GetOnMatching(), &NoteMatch);
  EXPECT_TRUE(copy.GetOnSearchingClosure() == original.GetOnSearchingClosure());
  EXPECT_EQ(static_cast<const R&>(copy).NumberOfSubexpressions(), 2u);  // compiled state carried
  EXPECT_EQ(copy.GetLocale(), std::locale());                           // the copy has the global locale

  R target2;
  const std::locale before = target2.GetLocale();
  target2 = original;
  EXPECT_TRUE(target2 == original);
  EXPECT_EQ(target2.GetLocale(), before);                                  // assignment keeps the target's locale
  EXPECT_EQ(static_cast<const R&>(target2).NumberOfSubexpressions(), 2u);  // compiled state carried

  target2 = target2;  // self-assignment changes nothing
  EXPECT_TRUE(target2 == original);

  std::unique_ptr<R> owned(new R(original));
  owned.reset();  // deleting through the base type runs the whole destructor
}
