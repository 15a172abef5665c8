// How well a received text matches the sent one.
#pragma once

#include <cstddef>
#include <string_view>

namespace vantrel::testsupport {

// Levenshtein distance: insertions, deletions and substitutions of single bytes.
std::size_t editDistance(std::string_view a, std::string_view b);

// The smallest edit distance between `sent` and any stretch of `received`: the received text
// around the sent text (preamble, call sign, idle text, noise) costs nothing.
std::size_t bestMatchDistance(std::string_view sent, std::string_view received);

// bestMatchDistance over the length of the sent text (0 for an empty sent text).
double characterErrorRate(std::string_view sent, std::string_view received);

}  // namespace vantrel::testsupport
