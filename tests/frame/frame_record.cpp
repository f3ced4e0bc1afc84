// Writes or reads one settings record, so that a record written through one
// library can be read through the other. Built once per library.
//
//   frame_record write <file>   writes the record of a known object
//   frame_record read <file>    reads a record and checks it is that object
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "ravelin/RegularExpression.h"

using RegexClass::RegularExpression;
using R = RegularExpression;

namespace {

using namespace std::string_literals;

// Every persisted field away from its default, with the bytes that are
// easiest to lose: blanks at both ends, line breaks, NUL, high bytes.
void Fill(R& re) {
  re.ClearExpressionOptions();
  for (int v : {-128, 0, 11, 15, 40, 127}) re.AddExpressionOption(static_cast<R::Options>(v));
  re.ClearMatchOptions();
  for (int v : {-3, 2, 7, 11}) re.AddMatchOption(static_cast<R::Matches>(v));
  re.SetDirectoryRecursion(true);
  re.SetMergeCopy(true);
  re.SetExpression(" (a|b)\\s+\0x "s);
  re.SetStringToMatch("line one\nline\ttwo\r\n");
  re.SetFilesToMatch("dir with blanks/*.txt");
  re.SetFormatString("\xff\x80$1\0"s);
  re.SetSaveExtension(" bak\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "write") != 0 && std::strcmp(argv[1], "read") != 0)) {
    std::fprintf(stderr, "usage: %s write|read <file>\n", argv[0]);
    return 2;
  }
  if (R::StreamVersion != 1) {
    std::fprintf(stderr, "StreamVersion is %d\n", static_cast<int>(R::StreamVersion));
    return 1;
  }
  R expected;
  Fill(expected);
  if (std::strcmp(argv[1], "write") == 0) {
    std::ofstream out(argv[2], std::ios::binary);
    out << expected;
    out.close();
    return out.fail() ? 1 : 0;
  }
  std::ifstream in(argv[2], std::ios::binary);
  R got;
  in >> got;
  if (in.fail()) {
    std::fprintf(stderr, "reading %s failed\n", argv[2]);
    return 1;
  }
  if (!(got == expected)) {
    std::fprintf(stderr, "the record read differs from the one written\n");
    return 1;
  }
  return 0;
}
