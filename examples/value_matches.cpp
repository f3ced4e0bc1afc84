// value_matches: every match of a pattern in a file as LINE:COLUMN:TEXT,
// first as values (FindAll), then through an event handler that is a
// capturing lambda; then the file with each match in brackets (Replace).
// Both lists are the same: the program says so by its exit status.
//
//   value_matches PATTERN FILE
//
// Shows: the value style (a pattern checked once, FindAll, MatchResult's
// views, Replace with a callable) beside the event style it matches.
#include <ravelin/RegularExpression.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: value_matches PATTERN FILE\n";
    return 2;
  }
  std::ifstream in(argv[2], std::ios::binary);
  if (!in) {
    std::cerr << "cannot read " << argv[2] << '\n';
    return 2;
  }
  std::ostringstream read;
  read << in.rdbuf();
  const std::string text = read.str();

  RegexClass::RegularExpression re(argv[1]);
  if (re.ParseExpression() != 0) {
    std::cerr << "bad pattern: " << re.GetExpressionError() << '\n';
    return 2;
  }

  // Values: views into text, nothing copied.
  std::vector<std::string> values;
  for (const RegexClass::MatchResult& m : re.FindAll(text)) {
    values.push_back(std::to_string(m.Line()) + ':' + std::to_string(m.Position(0) - m.LineStart()) + ':' +
                     std::string(m[0]));
  }
  for (const std::string& line : values) std::cout << line << '\n';

  // Events: the same matches, collected by a capturing lambda.
  RegexClass::RegularExpression events(re);
  std::vector<std::string> heard;
  events.SetStringToMatch(text);
  events.SetOnGrepping([&heard](RegexClass::RegularExpression&, const RegexClass::REMatchInfo& m, unsigned line,
                                unsigned lineStart, bool&) {
    heard.push_back(std::to_string(line) + ':' + std::to_string(m[0].position - lineStart) + ':' + m[0].text);
  });
  events.Grep();

  std::cout << re.Replace(text, [](const RegexClass::MatchResult& m) { return "[" + std::string(m[0]) + "]"; });
  return heard == values ? 0 : 1;
}
