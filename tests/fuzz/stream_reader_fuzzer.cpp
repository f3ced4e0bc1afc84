// libFuzzer target for the settings-record reader. Any byte string is read
// into a fresh object, once on a plain stream and once on a stream that
// throws; then:
//   - both reads leave the same object, and the throwing one throws exactly
//     when the plain one fails;
//   - every string read is a run of bytes of the input (nothing invented);
//   - the object written and read again comes back equal, byte for byte.
// Memory use is watched by libFuzzer itself (-rss_limit_mb, -malloc_limit_mb).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ios>
#include <sstream>
#include <string>

#include "ravelin/RegularExpression.h"

using RegexClass::RegularExpression;

namespace {

// Records are short; longer inputs only slow the search down.
constexpr std::size_t kMaxInput = 64 * 1024;

void Require(bool condition) {
  if (!condition) std::abort();
}

std::string Write(RegularExpression& re) {
  std::ostringstream os;
  os << re;
  return os.str();
}

bool CameFromInput(const std::string& field, const std::string& input) {
  return field.empty() || input.find(field) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxInput) return 0;
  const std::string input(reinterpret_cast<const char*>(data), size);

  RegularExpression plain;
  std::istringstream quiet(input);
  quiet >> plain;

  RegularExpression thrown;
  std::istringstream loud(input);
  loud.exceptions(std::ios_base::failbit | std::ios_base::badbit);
  bool threw = false;
  try {
    loud >> thrown;
  } catch (const std::ios_base::failure&) {
    threw = true;
  }
  Require(threw == quiet.fail());
  Require(plain == thrown);

  for (const std::string& field : {plain.GetExpression(), plain.GetStringToMatch(), plain.GetFilesToMatch(),
                                   plain.GetFormatString(), plain.GetSaveExtension()}) {
    Require(CameFromInput(field, input));
  }

  const std::string record = Write(plain);
  RegularExpression back;
  std::istringstream again(record);
  again >> back;
  Require(!again.fail());
  Require(back == plain);
  Require(Write(back) == record);
  return 0;
}
