/* Links the installed package the way a host would. */
#include <stdio.h>

#include "orvika/orvika.h"

int main(void) {
  IWORD n = 2, k = 0;
  double x[2] = {3.0, 4.0};
  double r = ORVK_AP2NRM(&n, &k, x);
  if (r != 5.0) {
    printf("consumer: wrong norm\n");
    return 1;
  }
  printf("consumer: ok\n");
  return 0;
}
