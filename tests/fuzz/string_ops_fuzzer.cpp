// libFuzzer target for the string operations. An input is
//
//   option set (2 bytes, little-endian: bit n = Options value n)
//   match set  (2 bytes, little-endian: bit n = Matches value n)
//   switches   (1 byte: bit 0 mergeCopy)
//   expression NUL format NUL subject
//
// (a missing NUL leaves the later fields empty). The expression is compiled
// under that option set and Match, MatchAll, Search, Grep (calling Format at
// every match) and Merge run over the subject under the match set. Nothing
// may crash or leave the library as an exception (std::bad_alloc aside), and:
//   - every entry of a reported match vector is the run of the subject its
//     position names;
//   - Grep returns the number of matches it reported;
//   - when no search gave up: a Match is found by Search too, Search finds a
//     match exactly when Grep does (in a subject that is not empty), and
//     Merge with the format "$&" and mergeCopy set gives the subject back
//     unchanged.
//   - with the prefilter forced on for every subject, Grep reports the same
//     matches (every entry) and Merge writes the same text as with the
//     engine alone, unless a search gave up.
// The engine's own complexity limit bounds the time of each search; subjects
// are kept short so that the limit is reached quickly.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include <vector>

#include "prefilter/prefilter.h"
#include "ravelin/RegularExpression.h"

using RegexClass::REMatchInfo;
using RegexClass::RegularExpression;

namespace {

constexpr std::size_t kMaxExpression = 256;
constexpr std::size_t kMaxSubject = 2048;

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "string_ops_fuzzer: %s\n", what);
    std::abort();
  }
}

// Splits off the bytes up to the next NUL (or the end).
std::string Field(const char*& p, const char* end) {
  const char* start = p;
  while (p != end && *p != '\0') ++p;
  std::string field(start, p);
  if (p != end) ++p;
  return field;
}

void CheckVector(const REMatchInfo& m, const std::string& subject, bool suffixHasText) {
  Require(!m.empty(), "empty match vector");
  const std::size_t checked = suffixHasText ? m.size() : m.size() - 1;
  for (std::size_t i = 0; i < checked; ++i) {
    if (m[i].position < 0) {
      Require(m[i].text.empty(), "text in an entry that did not take part");
      continue;
    }
    const auto pos = static_cast<std::size_t>(m[i].position);
    Require(pos <= subject.size() && m[i].text.size() <= subject.size() - pos, "entry outside the subject");
    Require(subject.compare(pos, m[i].text.size(), m[i].text) == 0, "entry text is not the subject's");
  }
}

bool Same(const std::vector<REMatchInfo>& a, const std::vector<REMatchInfo>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].size() != b[i].size()) return false;
    for (std::size_t k = 0; k < a[i].size(); ++k) {
      if (a[i][k].position != b[i][k].position || a[i][k].text != b[i][k].text) return false;
    }
  }
  return true;
}

struct Run {
  std::string subject;
  unsigned events = 0;
  std::string formatted;
  std::vector<REMatchInfo> vectors;  // every Grep vector, when recording
  bool record = false;

  void OnMatch(RegularExpression& re, const REMatchInfo& m, unsigned, unsigned) {
    CheckVector(m, subject, true);
    re.Format(formatted);
  }
  void OnGrep(RegularExpression& re, const REMatchInfo& m, unsigned, unsigned, bool&) {
    ++events;
    CheckVector(m, subject, true);
    if (record) vectors.push_back(m);
    re.Format(formatted);
    // The full vector, suffix text included, is there on request.
    CheckVector(re.GetMatchingInformation(), subject, true);
  }
};

void FuzzOne(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return;
  const unsigned optionSet = data[0] | (data[1] << 8);
  const unsigned matchSet = data[2] | (data[3] << 8);
  const bool mergeCopy = (data[4] & 1) != 0;
  const char* p = reinterpret_cast<const char*>(data + 5);
  const char* end = reinterpret_cast<const char*>(data + size);
  const std::string expression = Field(p, end);
  const std::string format = Field(p, end);
  Run run;
  run.subject.assign(p, end);
  if (expression.size() > kMaxExpression || run.subject.size() > kMaxSubject) return;

  RegularExpression re;
  re.ClearExpressionOptions();
  for (int o = RegularExpression::EscapeInLists; o <= RegularExpression::Normal; ++o) {
    if ((optionSet >> o) & 1) re.AddExpressionOption(static_cast<RegularExpression::Options>(o));
  }
  for (int m = RegularExpression::MatchNotBol; m <= RegularExpression::MatchContinuous; ++m) {
    if ((matchSet >> m) & 1) re.AddMatchOption(static_cast<RegularExpression::Matches>(m));
  }
  re.SetExpression(expression);
  re.SetFormatString(format);
  re.SetStringToMatch(run.subject);
  re.SetMergeCopy(mergeCopy);
  re.SetOnMatchingClosure(RegularExpression::OnMatchingClosure(&run, &Run::OnMatch));
  re.SetOnSearchingClosure(RegularExpression::OnSearchingClosure(&run, &Run::OnMatch));
  re.SetOnGreppingClosure(RegularExpression::OnGreppingClosure(&run, &Run::OnGrep));

  const bool compiled = re.ParseExpression() == 0;
  Require(compiled || re.NumberOfSubexpressions() == 0, "sub-expressions of a failed compilation");
  // An empty expression fails with code 1 before the engine sees it: no message.
  Require(compiled ? re.GetExpressionError().empty() : (expression.empty() || !re.GetExpressionError().empty()),
          "error message and result code disagree");

  bool gaveUp = false;
  const bool matched = re.Match();
  gaveUp = gaveUp || !re.GetLastSearchError().empty();
  re.MatchAll();
  const bool searched = re.Search();
  gaveUp = gaveUp || !re.GetLastSearchError().empty();
  re.ResetMatches();
  const unsigned grepped = re.Grep();
  gaveUp = gaveUp || !re.GetLastSearchError().empty();
  Require(grepped == run.events, "Grep's count is not the number of matches reported");
  std::string merged;
  re.Merge(merged);

  if (compiled && !gaveUp) {
    Require(!matched || searched, "Match found what Search did not");
    // Grep counts nothing in an empty subject, where Search may find an
    // empty match.
    if (!run.subject.empty()) Require(searched == (grepped > 0), "Search and Grep disagree");
  }

  // The prefilter changes nothing: the same walk with it forced on for any
  // subject, and with the engine alone.
  if (compiled) {
    using RegexClass::detail::PrefilterMode;
    const PrefilterMode before = RegexClass::detail::GetPrefilterMode();
    std::vector<REMatchInfo> walks[2];
    std::string merges[2];
    bool plainGaveUp = false;
    const PrefilterMode modes[2] = {PrefilterMode::Off, PrefilterMode::Always};
    for (int k = 0; k < 2; ++k) {
      RegexClass::detail::SetPrefilterMode(modes[k]);
      RegularExpression again(re);
      again.SetStringToMatch(run.subject);
      Run other;
      other.subject = run.subject;
      other.record = true;
      again.SetOnGreppingClosure(RegularExpression::OnGreppingClosure(&other, &Run::OnGrep));
      again.SetOnMergingClosure(RegularExpression::OnMergingClosure());
      again.Grep();
      plainGaveUp = plainGaveUp || !again.GetLastSearchError().empty();
      again.Merge(merges[k]);
      plainGaveUp = plainGaveUp || !again.GetLastSearchError().empty();
      walks[k] = std::move(other.vectors);
    }
    RegexClass::detail::SetPrefilterMode(before);
    if (!plainGaveUp) {
      Require(Same(walks[0], walks[1]), "the prefilter changed what Grep reports");
      Require(merges[0] == merges[1], "the prefilter changed what Merge writes");
    }
  }

  // Every match replaced by itself.
  RegularExpression same(re);
  same.SetFormatString("$&");
  same.SetMergeCopy(true);
  same.SetOnMergingClosure(RegularExpression::OnMergingClosure());
  same.Merge(merged);
  if (compiled && !run.subject.empty() && same.GetLastSearchError().empty()) {
    Require(merged == run.subject, "Merge with $& changed the subject");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    FuzzOne(data, size);
  } catch (const std::bad_alloc&) {
    // Allowed out of every operation.
  } catch (...) {
    Require(false, "an exception left the library");
  }
  return 0;
}
