// Numbers on the command line are decimal: "0130" is 130, never the octal
// 88, and "130.0", "1e3", "+5" or "0x82" are refused as not a whole number
// rather than read in some other base or rounded. Seconds may have a
// fraction ("0.5") and nothing else: no sign, exponent, "nan" or "inf".
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>

namespace tolvane::cli {

// A check for an option whose value must be a decimal whole number from 0
// to largest; it also drops leading zeros, so the parser's own conversion
// cannot take the text for octal.
CLI::Validator WholeNumber(std::uint32_t largest);

// A check for an option whose value is a number of seconds from 0 to
// largest, in decimal digits with an optional fraction.
CLI::Validator Seconds(std::uint32_t largest);

}  // namespace tolvane::cli
