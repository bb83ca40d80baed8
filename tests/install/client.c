/* A client of the installed libraries, built through pkg-config by the install and package
   checks: both libraries link and their helpers work. */
#include <HvUsb.h>
#include <NorraLink.h>
#include <stdio.h>
int main(void) {
  const uint8_t digits[] = "123456789";
  uint16_t a = GetCrc16(digits, 9);
  printf("%04X %u\n", a, (unsigned)Dll_GetSystemId());
  return a == 0xBB3D ? 0 : 1;
}
