#pragma once

#include <vector>

namespace vm {

// Unicode simple case folding: the one form that all case forms of a letter
// share (k for K, k and the Kelvin sign K); a code point without case is its
// own form.
char32_t simpleCaseFold(char32_t c);

// Every code point that folds as c does, c among them, in increasing order.
std::vector<char32_t> caseForms(char32_t c);

} // namespace vm
