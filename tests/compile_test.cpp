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
