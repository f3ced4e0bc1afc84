// Lazy, remembered compilation and its results.
#include <gtest/gtest.h>

#include "ravelin/RegularExpression.h"

using RegexClass::RegularExpression;
using R = RegularExpression;

TEST(Compile, LazyAndRemembered) {
  R re;
  re.SetExpression("a(b)(c)");
  const R& view = re;
  EXPECT_EQ(view.NumberOfSubexpressions(), 0u);  // not compiled yet
  EXPECT_EQ(re.NumberOfSubexpressions(), 2u);    // compiles
  EXPECT_EQ(view.NumberOfSubexpressions(), 2u);
  EXPECT_EQ(re.ParseExpression(), 0);
}

TEST(Compile, FailureIsRememberedUntilAChange) {
  R re;
  re.SetExpression("a(b");
  EXPECT_EQ(re.GetExpressionError(), "");  // nothing compiled yet
  const unsigned char code = re.ParseExpression();
  EXPECT_NE(code, 0);
  EXPECT_EQ(re.ParseExpression(), code);
  const std::string message = re.GetExpressionError();
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(re.NumberOfSubexpressions(), 0u);

  R copy(re);  // the copy is in the same failed state
  EXPECT_EQ(copy.ParseExpression(), code);
  EXPECT_EQ(copy.GetExpressionError(), message);

  re.AddExpressionOption(R::Basic);  // parentheses are plain characters now
  EXPECT_EQ(re.ParseExpression(), 0);
  EXPECT_EQ(re.GetExpressionError(), "");
}

TEST(Compile, OddExpressions) {
  R re;
  re.SetExpression(std::string("\0abc", 4));  // not empty: the engine gets an empty range
  EXPECT_EQ(re.ParseExpression(), 0);         // Perl syntax accepts the empty pattern
  re.AddExpressionOption(R::Basic);
  EXPECT_NE(re.ParseExpression(), 0);  // basic syntax does not
  EXPECT_FALSE(re.GetExpressionError().empty());

  R odd;
  odd.AddExpressionOption(R::BkVbar);  // not expressible without BkParens
  odd.SetExpression("a");
  EXPECT_EQ(odd.ParseExpression(), R::UnsupportedOptions);
  EXPECT_NE(odd.GetExpressionError().find("cannot be expressed"), std::string::npos);

  R cleared;
  cleared.SetExpression("(");
  cleared.ClearExpressionOptions();  // clearing alone does not recompile
  EXPECT_NE(cleared.ParseExpression(), 0);
  cleared.SetExpression("(");
  EXPECT_NE(cleared.ParseExpression(), 0);
}

TEST(Compile, LocaleTakesEffectAtTheNextCompilation) {
  R re;
  re.SetExpression("a");
  EXPECT_EQ(re.ParseExpression(), 0);
  re.SetLocale(std::locale::classic());
  EXPECT_EQ(re.ParseExpression(), 0);  // still the old compilation: nothing to tell apart, but no error
  re.SetExpression("a");
  EXPECT_EQ(re.ParseExpression(), 0);
  EXPECT_EQ(re.ConvertREXResult(0x1234), 0x34);
}

// Each named result code, from a pattern that gives it.
TEST(Compile, ResultCodes) {
  using P = R::ParseResult;
  struct Row {
    R::Options option;  // added to the defaults; Normal: none
    std::string pattern;
    P code;
  };
  const Row rows[] = {
      {R::Normal, "a(b)", P::Ok},
      {R::Normal, "", P::EmptyExpression},
      {R::Normal, "(?(?=a)b|c|d)", P::BadPattern},
      {R::Normal, "[[.foo.]]", P::BadCollatingElement},
      {R::Normal, "[[:foo:]]", P::BadClassName},
      {R::Normal, "a\\", P::BadEscape},
      {R::Normal, "(a)\\2", P::BadBackReference},
      {R::Normal, "[a", P::UnmatchedBracket},
      {R::Normal, "(a", P::UnmatchedParenthesis},
      {R::Normal, "a)", P::UnmatchedParenthesis},
      {R::Basic, "a\\{1", P::UnmatchedBrace},
      {R::Normal, "a{2,1}", P::BadRepeatRange},
      {R::Normal, "[\\d-z]", P::BadRange},
      {R::Normal, "*a", P::BadRepeat},
      {R::Normal, "a++\\Q\\E*", P::BadRepeat},  // refused before the engine sees it
      {R::Basic, std::string("\0a", 2), P::EmptyPart},
      {R::Normal, std::string(500, '(') + "a" + std::string(500, ')'), P::TooComplex},
      {R::Normal, "(?X)", P::BadPerlExtension},
      {R::BkVbar, "a", P::UnsupportedOptions},
  };
  for (const Row& row : rows) {
    R re;
    if (row.option != R::Normal) re.AddExpressionOption(row.option);
    re.SetExpression(row.pattern);
    const unsigned char code = re.ParseExpression();
    EXPECT_EQ(code, static_cast<unsigned char>(row.code)) << row.pattern.substr(0, 20);
    EXPECT_EQ(re.GetExpressionError().empty(), code == 0 || row.code == P::EmptyExpression)
        << row.pattern.substr(0, 20);
  }
  EXPECT_EQ(static_cast<unsigned char>(P::UnsupportedOptions), R::UnsupportedOptions);
}
