// Pieces shared by the operations on the subject string.
#ifndef RAVELIN_STRINGOPS_STRING_OPS_H
#define RAVELIN_STRINGOPS_STRING_OPS_H

#include <string>

#include "engine/engine.h"
#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace detail {

// Appends m, formatted by fmt in the engine's default (Perl-like) format
// syntax, to out. The character traits of e, and so the locale the
// expression was compiled with, drive \u \l \U \L; with e null the engine's
// plain traits do. A format the engine refuses appends nothing.
void AppendFormatted(const boost::cmatch& m, const std::string& fmt, const boost::regex* e, std::string& out);

// The match vector of an OnGrepping or OnMerging event, refilled in place for
// each match of one walk so that its strings keep their storage. Marks and
// prefix are as GetMatchingInformation gives them; the suffix entry has its
// position (or -1 when the match ends the subject) but no text: copying the
// rest of the subject at every match would make a walk quadratic.
class WalkVector {
 public:
  const REMatchInfo& Fill(const MatchView& view);

 private:
  REMatchInfo info_;
};

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_STRINGOPS_STRING_OPS_H
