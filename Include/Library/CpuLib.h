// Counted busy loop of the CPU. On the board an empty loop; on the simulated
// board the loop only advances the virtual clock.
#ifndef CPU_LIB_H_
#define CPU_LIB_H_

#include <Uefi/UefiBaseType.h>

VOID CpuSpinLoop(UINT32 Iterations);

#endif  // CPU_LIB_H_
