/* Calls RegProduct of an installed tolvane library: a group that registers
 * and a group the catalogue lacks. Exit 0 when both answer by the library's
 * convention (0, then 1016). */
#include <stdio.h>

#include <tolvane/tolvane.h>

int main(void) {
  const int32_t known = RegProduct(u"CleanOpenAlways", u"C:\\Suite\\Bin\\");
  const int32_t unknown = RegProduct(u"NO_SUCH_GROUP", NULL);
  printf("RegProduct: %d for a known group, %d for an unknown one\n", (int)known, (int)unknown);
  return known == 0 && unknown == 1016 ? 0 : 1;
}
