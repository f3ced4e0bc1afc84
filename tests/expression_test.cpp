// The object itself: defaults, copying, assignment, equality, compilation
// state and error reporting through the public interface.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

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

  static_assert(std::is_nothrow_move_constructible<R>::value && std::is_nothrow_move_assignable<R>::value,
                "moves do not throw");
  R source(original);
  R taken(std::move(source));  // as the copy
  EXPECT_TRUE(taken == original);
  EXPECT_EQ(taken.GetLocale(), std::locale());
  EXPECT_EQ(static_cast<const R&>(taken).NumberOfSubexpressions(), 2u);
  R moveTarget;
  moveTarget.SetLocale(std::locale::classic());
  moveTarget = std::move(taken);
  EXPECT_TRUE(moveTarget == original);
  EXPECT_EQ(moveTarget.GetLocale(), std::locale::classic());  // as the assignment: keeps its locale

  std::unique_ptr<R> owned(new R(original));
  owned.reset();  // deleting through the base type runs the whole destructor
}

// Every string setter from a std::string, a view (NUL bytes and all, not
// reaching past its end), a C string and a null C string.
TEST(Expression, StringSettersTakeViewsAndCStrings) {
  struct Setter {
    void (R::*fromString)(const std::string&);
    void (R::*fromView)(std::string_view);
    void (R::*fromCString)(const char*);
    std::string (R::*get)() const;
  };
  const Setter setters[] = {
      {&R::SetExpression, &R::SetExpression, &R::SetExpression, &R::GetExpression},
      {&R::SetStringToMatch, &R::SetStringToMatch, &R::SetStringToMatch, &R::GetStringToMatch},
      {&R::SetFilesToMatch, &R::SetFilesToMatch, &R::SetFilesToMatch, &R::GetFilesToMatch},
      {&R::SetFormatString, &R::SetFormatString, &R::SetFormatString, &R::GetFormatString},
      {&R::SetSaveExtension, &R::SetSaveExtension, &R::SetSaveExtension, &R::GetSaveExtension},
  };
  const std::string withNul("a\0b|tail", 8);
  for (const Setter& s : setters) {
    R re;
    (re.*s.fromString)(std::string("x"));
    EXPECT_EQ((re.*s.get)(), "x");
    (re.*s.fromView)(std::string_view(withNul).substr(0, 3));
    EXPECT_EQ((re.*s.get)(), std::string("a\0b", 3));
    (re.*s.fromCString)("c-string");
    EXPECT_EQ((re.*s.get)(), "c-string");
    (re.*s.fromCString)(nullptr);
    EXPECT_EQ((re.*s.get)(), "");
  }
  // The overloads resolve from each kind of argument, and a view marks the
  // compiled form stale as a string does.
  R re;
  const char* cString = "(a)";
  char buffer[] = "(a)(b)";
  re.SetExpression(cString);
  EXPECT_EQ(re.NumberOfSubexpressions(), 1u);
  re.SetExpression(buffer);
  EXPECT_EQ(re.NumberOfSubexpressions(), 2u);
  re.SetExpression(std::string_view("(a)(b)(c)"));
  EXPECT_EQ(re.NumberOfSubexpressions(), 3u);
  re.SetExpression("(a)");
  EXPECT_EQ(re.NumberOfSubexpressions(), 1u);
  re.SetExpression(std::string("(a)(b)"));
  EXPECT_EQ(re.NumberOfSubexpressions(), 2u);
}
