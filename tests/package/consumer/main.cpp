// A program outside the tree that uses the installed library.
#include <ravelin/RegularExpression.h>

#include <cstdio>

int main() {
  RegexClass::RegularExpression re;
  re.SetExpression("a(b)(c)");
  if (re.ParseExpression() != 0 || re.NumberOfSubexpressions() != 2) {
    std::puts("unexpected compilation result");
    return 1;
  }
  std::puts("ok");
  return 0;
}
