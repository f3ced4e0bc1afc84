// Generated subjects for the tests that compare two ways of searching.
#ifndef RAVELIN_TESTS_SUPPORT_RANDOM_TEXT_H
#define RAVELIN_TESTS_SUPPORT_RANDOM_TEXT_H

#include <cstddef>
#include <random>
#include <string>

namespace ravelin_test {

// length characters drawn from alphabet (a character listed twice comes
// twice as often), the same for the same rng state.
std::string RandomText(std::mt19937& rng, std::size_t length, const std::string& alphabet);

}  // namespace ravelin_test

#endif  // RAVELIN_TESTS_SUPPORT_RANDOM_TEXT_H
