// Every match option, alone, through the prefilter: the walk asks whether it
// knows the flags before it starts, and that question must itself be well
// defined (found by fuzzing: the complement of a flag set taken as a flag
// set), and the answers must be the engine's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/engine.h"
#include "prefilter/prefilter.h"
#include "walker/match_walker.h"

namespace {

using RegexClass::detail::MatchWalker;
using RegexClass::detail::PrefilterMode;

std::vector<std::ptrdiff_t> Starts(const std::string& text, const boost::regex& e, boost::match_flag_type flags) {
  std::vector<std::ptrdiff_t> out;
  MatchWalker walker(text.data(), text.data() + text.size(), e, flags);
  while (walker.Next()) out.push_back(walker.Match()[0].first - text.data());
  return out;
}

TEST(PrefilterFlags, EachMatchOptionGivesTheEnginesAnswers) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += i % 7 == 0 ? "an ERROR here\n" : "quiet line\n";
  const boost::regex e("ERROR|here\\n");
  const PrefilterMode before = RegexClass::detail::GetPrefilterMode();
  for (unsigned bit = 0; bit < 13; ++bit) {
    const auto flags = static_cast<boost::match_flag_type>(1u << bit);
    RegexClass::detail::SetPrefilterMode(PrefilterMode::Off);
    const std::vector<std::ptrdiff_t> plain = Starts(text, e, flags);
    RegexClass::detail::SetPrefilterMode(PrefilterMode::Always);
    EXPECT_EQ(Starts(text, e, flags), plain) << "flag bit " << bit;
  }
  RegexClass::detail::SetPrefilterMode(before);
}

}  // namespace
