// The settings record: the option sets, the two switches and the five
// strings of an object, as plain text.
//
// Layout (a blank is one 0x20 byte):
//   version ' ' n ' ' (option ' ')*n m ' ' (option ' ')*m recursion ' ' copy ' '
//   then expression, stringToMatch, filesToMatch, formatString, each as
//     length ' ' [bytes ' ']            (bytes and their blank only when length > 0)
//   then saveExtension as
//     length [' ' bytes]                (nothing follows the record)
//
// The reader trusts nothing it reads: a count or length is never used to size
// memory, a string grows only by the bytes the stream actually delivers, and
// the first extraction that fails ends the record (the fields before it are
// replaced, the one being read holds what was read of it, the rest keep their
// values). Streams with exceptions enabled throw from that same point.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <set>
#include <string>

#include "ravelin/RegularExpression.h"

namespace RegexClass {

std::int32_t RegularExpression::StreamVersion = 1;

namespace {

// Strings are read in blocks of this size, so memory grows with the bytes
// delivered, never with a length the record claims.
constexpr std::size_t kReadBlock = std::size_t{64} * 1024;

template <class Element>
void WriteSet(std::ostream& os, const std::set<Element>& set) {
  os << static_cast<std::int32_t>(set.size()) << ' ';
  for (Element e : set) os << static_cast<std::int32_t>(e) << ' ';
}

// Empties the set, then reads a count and that many elements, each cut to its
// low eight bits. False when an extraction failed. A count that is zero or
// negative reads nothing; a large one only reads until the stream runs dry.
template <class Element>
bool ReadSet(std::istream& is, std::set<Element>& set) {
  set.clear();
  std::int32_t count = 0;
  if (!(is >> count)) return false;
  for (std::int32_t i = 0; i < count; ++i) {
    std::int32_t number = 0;
    if (!(is >> number)) return false;
    const auto low = static_cast<unsigned char>(static_cast<std::uint32_t>(number) & 0xFFu);
    set.insert(static_cast<Element>(static_cast<signed char>(low)));
  }
  return true;
}

// Extracts a flag; the field keeps its value when the extraction fails.
bool ReadFlag(std::istream& is, bool& field) {
  bool value = false;
  if (!(is >> value)) return false;
  field = value;
  return true;
}

void WriteString(std::ostream& os, const std::string& text, bool last) {
  os << static_cast<std::uint64_t>(text.size());
  if (last) {
    if (!text.empty()) os << ' ' << text;
  } else {
    os << ' ';
    if (!text.empty()) os << text << ' ';
  }
}

// Reads exactly `length` bytes into `field`, block by block. When the stream
// ends early the field holds the bytes that were read and the stream is
// failed; if the stream throws, the field is trimmed to those bytes first.
bool ReadBytes(std::istream& is, std::uint64_t length, std::string& field) {
  field.clear();
  while (length > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(length, kReadBlock));
    const std::size_t before = field.size();
    field.resize(before + want);
    try {
      is.read(&field[before], static_cast<std::streamsize>(want));
    } catch (...) {
      field.resize(before + static_cast<std::size_t>(std::max<std::streamsize>(is.gcount(), 0)));
      throw;
    }
    const auto got = static_cast<std::size_t>(std::max<std::streamsize>(is.gcount(), 0));
    field.resize(before + got);
    if (got != want) return false;
    length -= want;
  }
  return true;
}

// One string field: its length, then one separator character taken whatever
// it is (always for the first four strings; for the last only when the
// length is not 0), then the bytes. The field keeps its value when the length
// or the separator cannot be read.
bool ReadString(std::istream& is, std::string& field, bool last) {
  std::uint64_t length = 0;
  if (!(is >> length)) return false;
  if (!last || length != 0) {
    if (is.get() == std::istream::traits_type::eof()) return false;
  }
  return ReadBytes(is, length, field);
}

}  // namespace

std::ostream& operator<<(std::ostream& os, RegularExpression& re) {
  return os << static_cast<const RegularExpression&>(re);
}

std::ostream& operator<<(std::ostream& os, const RegularExpression& re) {
  os << RegularExpression::StreamVersion << ' ';
  WriteSet(os, re.expressionOptions);
  WriteSet(os, re.matchOptions);
  os << re.directoryRecursion << ' ' << re.mergeCopy << ' ';
  WriteString(os, re.expression, false);
  WriteString(os, re.stringToMatch, false);
  WriteString(os, re.filesToMatch, false);
  WriteString(os, re.formatString, false);
  WriteString(os, re.saveExtension, true);
  return os;
}

std::istream& operator>>(std::istream& is, RegularExpression& re) {
  // The version is read past but not acted on: every record has one layout.
  std::int32_t version = 0;
  if (!(is >> version)) return is;
  // From here on the expression or its options may change: whatever happens
  // below, the next operation compiles afresh.
  re.expressionParsed = false;
  // Each step runs only when every step before it succeeded.
  static_cast<void>(ReadSet(is, re.expressionOptions) && ReadSet(is, re.matchOptions) &&
                    ReadFlag(is, re.directoryRecursion) && ReadFlag(is, re.mergeCopy) &&
                    ReadString(is, re.expression, false) && ReadString(is, re.stringToMatch, false) &&
                    ReadString(is, re.filesToMatch, false) && ReadString(is, re.formatString, false) &&
                    ReadString(is, re.saveExtension, true));
  return is;
}

}  // namespace RegexClass
