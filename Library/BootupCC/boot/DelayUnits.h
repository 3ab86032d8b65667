#ifndef BOOTUPCC_DELAY_UNITS_H_
#define BOOTUPCC_DELAY_UNITS_H_

#include <Uefi/UefiBaseType.h>

#define DELAY_UNIT_ITERATIONS 10000000u

// Busy wait of Units x 10,000,000 loop iterations. The count is a signed
// 32-bit product, as the board computes it: 500 units give 705,032,704
// iterations, and a product that is not positive gives no wait.
VOID DelayUnits(INT32 Units);

// The iteration count DelayUnits(Units) spins for.
INT32 DelayUnitsIterations(INT32 Units);

#endif  // BOOTUPCC_DELAY_UNITS_H_
