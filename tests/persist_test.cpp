// The settings record: exact bytes, round trips and damaged input.
#include <gtest/gtest.h>

#include <cstdint>
#include <ios>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "ravelin/RegularExpression.h"

using RegexClass::RegularExpression;
using R = RegularExpression;

namespace {

using namespace std::string_literals;

std::string Write(R& re) {
  std::ostringstream os;
  os << re;
  return os.str();
}

// Reads one record from `text` into `re`; returns the stream's state after it.
std::ios_base::iostate Read(const std::string& text, R& re) {
  std::istringstream is(text);
  is >> re;
  return is.rdstate();
}

bool Failed(std::ios_base::iostate state) { return (state & std::ios_base::failbit) != 0; }

// An object whose every persisted field differs from what the damaged
// records below hold, so a test can tell which fields a read replaced.
R Before() {
  R re;
  re.AddExpressionOption(R::Icase);
  re.AddMatchOption(R::MatchNotBol);
  re.SetDirectoryRecursion(true);
  re.SetMergeCopy(true);
  re.SetExpression("old-expr");
  re.SetStringToMatch("old-subject");
  re.SetFilesToMatch("old-files");
  re.SetFormatString("old-format");
  re.SetSaveExtension("old");
  return re;
}

std::set<R::Options> Options(R& re) {
  std::set<R::Options> out;
  for (int v = -128; v < 128; ++v) {
    if (re.IsExpressionOption(static_cast<R::Options>(v))) out.insert(static_cast<R::Options>(v));
  }
  return out;
}

std::set<R::Matches> Matches(R& re) {
  std::set<R::Matches> out;
  for (int v = -128; v < 128; ++v) {
    if (re.IsMatchOption(static_cast<R::Matches>(v))) out.insert(static_cast<R::Matches>(v));
  }
  return out;
}

// The strings in record order.
std::vector<std::string> Strings(const R& re) {
  return {re.GetExpression(), re.GetStringToMatch(), re.GetFilesToMatch(), re.GetFormatString(), re.GetSaveExtension()};
}

}  // namespace

TEST(SettingsRecord, StreamVersionIsOne) { EXPECT_EQ(R::StreamVersion, 1); }

TEST(SettingsRecord, WorkedExamplesByteForByte) {
  R defaults;
  const std::string first = Write(defaults);
  EXPECT_EQ(first, "1 6 0 1 2 8 12 15 1 0 0 0 0 0 0 0 0");
  EXPECT_EQ(first.size(), 35u);

  R second;
  second.ClearExpressionOptions();
  second.ClearMatchOptions();
  second.SetDirectoryRecursion(true);
  second.SetExpression("a b");
  second.SetFilesToMatch("*.txt");
  const std::string text = Write(second);
  EXPECT_EQ(text, "1 0 0 1 0 3 a b 0 5 *.txt 0 0");
  EXPECT_EQ(text.size(), 29u);

  // A non-empty last string ends the record; its blank comes before it.
  second.SetSaveExtension("bak");
  EXPECT_EQ(Write(second), "1 0 0 1 0 3 a b 0 5 *.txt 0 3 bak");

  // Each reads back into an object equal to the one written.
  for (const std::string& record : {first, text, Write(second)}) {
    R back = Before();
    EXPECT_FALSE(Failed(Read(record, back))) << record;
    EXPECT_EQ(Write(back), record);
    std::ostringstream constWriter;  // the same bytes from a const object
    constWriter << static_cast<const R&>(back);
    EXPECT_EQ(constWriter.str(), record);
  }
}

TEST(SettingsRecord, WriterUsesTheVersionOfTheMoment) {
  R re;
  R::StreamVersion = 7;
  const std::string text = Write(re);
  R::StreamVersion = 1;
  EXPECT_EQ(text.substr(0, 2), "7 ");
}

TEST(SettingsRecord, StringsRoundTripExactly) {
  const std::string big = [] {
    std::string s;
    for (int i = 0; i < 200000; ++i) s.push_back(static_cast<char>(i * 7));
    return s;
  }();
  const std::vector<std::string> cases = {
      "plain", " leading", "trailing ", "  ",           "a b\tc\nd\r\ne",    "\n", "nul\0inside"s,
      "\0"s,   "end\0"s,   "12 34",     "\xff\x80\x01", "1 6 0 1 2 8 12 15", big,
  };
  for (const std::string& s : cases) {
    R out;
    out.SetExpression(s);
    out.SetStringToMatch(s + "x");
    out.SetFilesToMatch(s);
    out.SetFormatString("y" + s);
    out.SetSaveExtension(s);
    const std::string record = Write(out);
    R in;
    EXPECT_FALSE(Failed(Read(record, in)));
    EXPECT_TRUE(in == out) << "case of size " << s.size();
    EXPECT_EQ(Strings(in), Strings(out));
    EXPECT_EQ(Write(in), record);
  }
}

TEST(SettingsRecord, OptionSetsAndFlagsRoundTrip) {
  R out;
  out.ClearExpressionOptions();
  for (int v : {-128, -1, 3, 11, 40, 127}) out.AddExpressionOption(static_cast<R::Options>(v));
  out.ClearMatchOptions();
  for (int v : {-5, 1, 7, 11, 99}) out.AddMatchOption(static_cast<R::Matches>(v));
  out.SetMergeCopy(true);
  const std::string record = Write(out);
  EXPECT_EQ(record.substr(0, 43), "1 6 -128 -1 3 11 40 127 5 -5 1 7 11 99 0 1 ");
  R in;
  EXPECT_FALSE(Failed(Read(record, in)));
  EXPECT_EQ(Options(in), Options(out));
  EXPECT_EQ(Matches(in), Matches(out));
  EXPECT_FALSE(in.GetDirectoryRecursion());
  EXPECT_TRUE(in.GetMergeCopy());
}

TEST(SettingsRecord, SetsAreRestoredWithoutTheCombinationRules) {
  // Basic without its parts: AddExpressionOption would complete it.
  R in;
  EXPECT_FALSE(Failed(Read("1 1 13 1 0 0 0 0 0 0 0 0", in)));
  EXPECT_EQ(Options(in), (std::set<R::Options>{R::Basic}));
}

TEST(SettingsRecord, SeveralRecordsNeedWhiteSpaceBetweenThem) {
  R a = Before();
  R b;
  b.SetExpression("second");
  std::istringstream apart(Write(a) + "\n" + Write(b));
  R x, y;
  apart >> x >> y;
  EXPECT_FALSE(apart.fail());
  EXPECT_TRUE(x == a);
  EXPECT_TRUE(y == b);

  // Without white space the final length "0" of the first record and the
  // version "1" of the second read as one length, 01.
  R c;
  std::istringstream glued(Write(c) + Write(b));
  R first;
  glued >> first;
  EXPECT_EQ(first.GetSaveExtension(), "6");
}

TEST(SettingsRecord, DamagedRecords) {
  struct Case {
    const char* name;
    std::string text;
    bool failed;
    std::set<R::Options> options;  // expected expression options
    std::vector<std::string> strings;
  };
  const std::set<R::Options> oldOptions = [] {
    R re = Before();
    return Options(re);
  }();
  const std::vector<std::string> oldStrings = Strings(Before());
  const auto strings = [&](std::vector<std::string> head) {
    for (std::size_t i = head.size(); i < oldStrings.size(); ++i) head.push_back(oldStrings[i]);
    return head;
  };
  const std::vector<Case> cases = {
      {"empty stream", "", true, oldOptions, oldStrings},
      {"only blanks", "  \n ", true, oldOptions, oldStrings},
      {"version only", "1 ", true, {}, oldStrings},
      {"inside the option list", "1 6 0 1 2", true, {R::EscapeInLists, R::CharClasses, R::Intervals}, oldStrings},
      {"count too large for its type", "1 99999999999 0", true, {}, oldStrings},
      {"huge count, few elements",
       "1 2147483647 1 2 3",
       true,
       {R::CharClasses, R::Intervals, R::LimitedOps},
       oldStrings},
      {"negative counts", "1 -3 -2 0 0 0 0 0 0 0", false, {}, {"", "", "", "", ""}},
      {"repeated and cut elements",
       "1 5 5 5 267 -129 1000 0 0 0 0 0 0 0 0",
       false,
       {R::BkPlusQm, R::Icase, static_cast<R::Options>(127), static_cast<R::Options>(-24)},
       {"", "", "", "", ""}},
      {"element beyond 32 bits", "1 1 4294967296 0 0 0 0 0 0 0 0", true, {}, oldStrings},
      {"flag not 0 or 1", "1 0 0 2 0 0 0 0 0 0", true, {}, oldStrings},
      {"string cut short", "1 0 0 0 0 10 abc", true, {}, strings({"abc"})},
      {"length beyond memory", "1 0 0 0 0 1099511627776 abc", true, {}, strings({"abc"})},
      {"largest length", "1 0 0 0 0 18446744073709551615 abc", true, {}, strings({"abc"})},
      {"negative length wraps to a huge one", "1 0 0 0 0 -1 abc", true, {}, strings({"abc"})},
      {"length too large for its type", "1 0 0 0 0 99999999999999999999 abc", true, {}, oldStrings},
      {"no separator at the end", "1 0 0 0 0 0", true, {}, oldStrings},
      {"no bytes behind the separator", "1 0 0 0 0 4 ", true, {}, strings({""})},
      {"tab as separator", "1 0 0 0 0 3\tabc 0 0 0 0", false, {}, {"abc", "", "", "", ""}},
      {"any byte as separator", "1 0 0 0 0 3xabc 0 0 0 1xz", false, {}, {"abc", "", "", "", "z"}},
      {"two blanks after a length", "1 0 0 0 0 3  abc 0 0 0 0", true, {}, strings({" ab"})},
      {"version 2", "2 1 11 0 0 0 1 a 0 0 0 0", false, {R::Icase}, {"a", "", "", "", ""}},
      {"version -7", "-7 0 0 0 0 0 0 0 0 0", false, {}, {"", "", "", "", ""}},
      {"last string cut short", "1 0 0 0 0 0 0 0 0 5 ab", true, {}, {"", "", "", "", "ab"}},
  };
  for (const Case& c : cases) {
    R re = Before();
    const std::ios_base::iostate state = Read(c.text, re);
    EXPECT_EQ(Failed(state), c.failed) << c.name;
    EXPECT_EQ(Options(re), c.options) << c.name;
    EXPECT_EQ(Strings(re), c.strings) << c.name;
  }
}

TEST(SettingsRecord, FailedFlagKeepsItsValue) {
  R re = Before();
  EXPECT_TRUE(Failed(Read("1 0 0 x", re)));
  EXPECT_TRUE(re.GetDirectoryRecursion());
  EXPECT_TRUE(re.GetMergeCopy());
  EXPECT_EQ(Matches(re), (std::set<R::Matches>{}));
  re = Before();
  EXPECT_TRUE(Failed(Read("1 0 0 0 x", re)));
  EXPECT_FALSE(re.GetDirectoryRecursion());
  EXPECT_TRUE(re.GetMergeCopy());
}

TEST(SettingsRecord, ExceptionsEnabledStreamThrowsAfterTheFieldsBefore) {
  R re = Before();
  std::istringstream is("1 0 0 1 0 3 a b 0 5 ab");
  is.exceptions(std::ios_base::failbit | std::ios_base::badbit);
  EXPECT_THROW(is >> re, std::ios_base::failure);
  EXPECT_TRUE(Options(re).empty());
  EXPECT_EQ(Strings(re), (std::vector<std::string>{"a b", "", "ab", "old-format", "old"}));

  R set = Before();
  std::istringstream inList("1 3 11 12");
  inList.exceptions(std::ios_base::failbit);
  EXPECT_THROW(inList >> set, std::ios_base::failure);
  EXPECT_EQ(Options(set), (std::set<R::Options>{R::Icase, R::NoCollate}));
  EXPECT_TRUE(set.IsMatchOption(R::MatchNotBol));

  // A whole record reaches the end of the stream but does not fail it.
  R whole;
  std::istringstream complete(Write(whole));
  complete.exceptions(std::ios_base::failbit | std::ios_base::badbit);
  EXPECT_NO_THROW(complete >> whole);
}

namespace {

// Takes `room` bytes, then refuses every further one.
class ShortBuffer : public std::streambuf {
 public:
  explicit ShortBuffer(int room) : room_(room) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    return room_-- > 0 ? c : traits_type::eof();
  }

 private:
  int room_;
};

}  // namespace

TEST(SettingsRecord, WriterLetsTheStreamThrow) {
  R re;
  ShortBuffer buffer(10);
  std::ostream os(&buffer);
  os.exceptions(std::ios_base::badbit);
  EXPECT_THROW(os << re, std::ios_base::failure);
}

TEST(SettingsRecord, ReadExpressionIsCompiledAtItsNextUse) {
  R re;
  re.SetExpression("(a)(b)");
  ASSERT_EQ(re.NumberOfSubexpressions(), 2u);
  R source;
  source.SetExpression("(x)");
  EXPECT_FALSE(Failed(Read(Write(source), re)));
  EXPECT_EQ(static_cast<const R&>(re).NumberOfSubexpressions(), 0u) << "still the old compilation";
  EXPECT_EQ(re.ParseExpression(), 0u);
  EXPECT_EQ(re.NumberOfSubexpressions(), 1u);

  // Also when the stream throws after the expression was replaced.
  R thrown;
  thrown.SetExpression("(a)(b)");
  ASSERT_EQ(thrown.NumberOfSubexpressions(), 2u);
  std::istringstream is("1 0 0 0 0 3 (x) 5 ab");
  is.exceptions(std::ios_base::failbit);
  EXPECT_THROW(is >> thrown, std::ios_base::failure);
  EXPECT_EQ(thrown.NumberOfSubexpressions(), 1u);
}

TEST(SettingsRecord, ReadingLeavesTheRestOfTheObjectAlone) {
  R re;
  re.SetOnMatching([](R&, const RegexClass::REMatchInfo&, unsigned, unsigned) {});
  const std::locale classic = std::locale::classic();
  re.SetLocale(classic);
  EXPECT_FALSE(Failed(Read("1 0 0 0 0 0 0 0 0 0", re)));
  EXPECT_NE(re.GetOnMatching(), nullptr);
  EXPECT_TRUE(re.GetLocale() == classic);
}
