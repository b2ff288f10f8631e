#pragma once

#include <string>

namespace vm {

// How floating numbers and dates are written and read. The program fills it
// from the user's system settings; the command-line tool keeps the defaults.
// Patterns use yyyy/yy, m/mm, d/dd for dates and h/hh, n/nn, s/ss for times;
// in a pattern "/" stands for dateSeparator and ":" for timeSeparator.
struct Locale {
    char decimalSeparator = '.';
    char dateSeparator = '/';
    char timeSeparator = ':';
    std::string shortDate = "yyyy/mm/dd";
    std::string longTime = "hh:nn:ss";
};

const Locale& defaultLocale();

} // namespace vm
