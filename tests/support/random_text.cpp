#include "support/random_text.h"

namespace ravelin_test {

std::string RandomText(std::mt19937& rng, std::size_t length, const std::string& alphabet) {
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::string text;
  text.reserve(length);
  for (std::size_t k = 0; k < length; ++k) text += alphabet[pick(rng)];
  return text;
}

}  // namespace ravelin_test
