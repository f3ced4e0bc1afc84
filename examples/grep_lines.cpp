// grep_lines: prints every match of a pattern in a file as LINE:COLUMN:TEXT,
// and stops after a given number of matches.
//
//   grep_lines PATTERN FILE [LIMIT]
//
// Shows: SetStringToMatch, an OnGrepping handler (a plain function), the
// go-on flag, and the error text of a pattern that does not compile.
#include <ravelin/RegularExpression.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

using RegexClass::RegularExpression;
using RegexClass::REMatchInfo;

namespace {

unsigned long limit = 0;  // 0: no limit
unsigned long shown = 0;

// Called once per match, in subject order. m[0] is the whole match, then one
// entry per sub-expression, then the text before and after the match.
void OnGrepping(RegularExpression& re, const REMatchInfo& m, unsigned line, unsigned lineStart, bool& goOn) {
  (void)re;
  std::cout << line << ':' << (m[0].position - lineStart) << ':' << m[0].text << '\n';
  if (limit != 0 && ++shown == limit) goOn = false;  // Grep stops after this match
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: grep_lines PATTERN FILE [LIMIT]\n";
    return 2;
  }
  if (argc > 3) limit = std::strtoul(argv[3], nullptr, 10);

  std::ifstream in(argv[2], std::ios::binary);
  if (!in) {
    std::cerr << "cannot read " << argv[2] << '\n';
    return 2;
  }
  std::ostringstream text;
  text << in.rdbuf();

  RegularExpression re;
  re.SetExpression(argv[1]);
  // Errors are values: compile now to report a bad pattern clearly. (Grep
  // would compile on its own and simply find nothing.)
  if (re.ParseExpression() != 0) {
    std::cerr << "bad pattern: " << re.GetExpressionError() << '\n';
    return 2;
  }
  re.SetStringToMatch(text.str());
  re.SetOnGrepping(OnGrepping);
  const unsigned n = re.Grep();  // matches reported, the last one included
  std::cerr << n << " match(es)\n";
  return n > 0 ? 0 : 1;
}
