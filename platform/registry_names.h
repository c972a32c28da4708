// How the system registry compares key and value names: unit by unit after
// mapping each UTF-16 unit to its lower-case partner, across the whole Basic
// Multilingual Plane (Latin, Greek, Cyrillic, Armenian, Georgian, Cherokee,
// full-width forms, ...). Subkeys are enumerated in the same order. Units
// that only fold one way (final sigma, the Kelvin sign, dotless i, capital
// sharp s) stay distinct, as they do in the registry.
#pragma once

#include "platform/text.h"

namespace tolvane {

// The unit a registry name comparison uses for u.
char16_t RegistryLower(char16_t u);

// Negative, zero or positive as a sorts before, with or after b among the
// subkeys of one key.
int CompareRegistryNames(TextView a, TextView b);

}  // namespace tolvane
