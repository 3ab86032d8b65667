#include "BootupCC/boot/DelayUnits.h"

#include <Library/CpuLib.h>

INT32 DelayUnitsIterations(INT32 Units) {
  // Unsigned multiply then reinterpret: the wrap of the board's 32-bit
  // signed product without undefined behaviour.
  return (INT32)((UINT32)Units * DELAY_UNIT_ITERATIONS);
}

VOID DelayUnits(INT32 Units) {
  INT32 Iterations = DelayUnitsIterations(Units);
  if (Iterations <= 0) return;
  CpuSpinLoop((UINT32)Iterations);
}
