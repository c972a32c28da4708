// Property checks of the fuzz targets: a broken property prints what broke
// and aborts, which libFuzzer reports as a crash with the input saved.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace tolvane::fuzz {

[[noreturn]] inline void PropertyBroken(const char* what) {
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

inline void Check(bool holds, const char* what) {
  if (!holds) PropertyBroken(what);
}

}  // namespace tolvane::fuzz
