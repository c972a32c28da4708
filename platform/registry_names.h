// How the system registry compares key and value names: unit by unit after
// mapping each UTF-16 unit to its lower-case partner, across the whole Basic
// Multilingual Plane (Latin, Greek, Cyrillic, Armenian, Georgian, Cherokee,
// full-width forms, ...). Subkeys are enumerated in the same order. Units
// that only fold one way (final sigma, the Kelvin sign, dotless i, capital
// sharp s) stay distinct, as they do in the registry.
#pragma once

#include "platform/text.h"

namespace tolvane {

// The unit a registry name comparison uses for u beyond ASCII.
char16_t RegistryLowerBeyondAscii(char16_t u);

// The unit a registry name comparison uses for u. Names are nearly always
// ASCII, so those fold here without the table search.
inline char16_t RegistryLower(char16_t u) {
  if (u < 0x80) return u >= u'A' && u <= u'Z' ? static_cast<char16_t>(u + 32) : u;
  return RegistryLowerBeyondAscii(u);
}

// Negative, zero or positive as a sorts before, with or after b among the
// subkeys of one key.
int CompareRegistryNames(TextView a, TextView b);

}  // namespace tolvane
