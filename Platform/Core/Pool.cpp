// Boot-services pool: host heap blocks with accounting, failure injection
// and a record of frees of pointers the pool never handed out.
#include <cstdlib>

#include "Core/FirmwareCoreImpl.h"

namespace sim {

namespace {

// Fresh blocks are filled with a pattern, so firmware that reads pool memory
// it never wrote sees the same garbage on every run instead of zeros.
constexpr int kFreshPoolByte = 0xAF;
// Freed blocks are overwritten before they go back to the heap.
constexpr int kFreedPoolByte = 0xDF;

}  // namespace

bool FirmwareCore::Impl::TakeInjectedFailure() {
  if (failAll) return true;
  if (failAfter == 0) return false;
  return --failAfter == 0;
}

EFI_STATUS FirmwareCore::Impl::AllocateBlock(EFI_MEMORY_TYPE type, size_t size, void **buffer) {
  *buffer = nullptr;
  if (TakeInjectedFailure() || size > FirmwareCore::kMaxPoolAllocation) return EFI_OUT_OF_RESOURCES;
  // A zero-size block still gets its own address; malloc aligns to at least
  // 8 bytes on both host targets.
  void *memory = std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr) return EFI_OUT_OF_RESOURCES;
  std::memset(memory, kFreshPoolByte, size);
  poolBlocks.emplace(memory, PoolBlock{size, type});
  poolBytes += size;
  *buffer = memory;
  return EFI_SUCCESS;
}

EFI_STATUS FirmwareCore::Impl::AllocatePool(EFI_MEMORY_TYPE type, UINTN size, void **buffer) {
  if (buffer == nullptr || unsigned(type) > unsigned(EfiRuntimeServicesData)) return EFI_INVALID_PARAMETER;
  return AllocateBlock(type, size, buffer);
}

EFI_STATUS FirmwareCore::Impl::FreePool(void *buffer) {
  auto block = buffer == nullptr ? poolBlocks.end() : poolBlocks.find(buffer);
  if (block == poolBlocks.end()) {
    ++badFrees;
    return EFI_INVALID_PARAMETER;
  }
  std::memset(buffer, kFreedPoolByte, block->second.size);
  poolBytes -= block->second.size;
  poolBlocks.erase(block);
  std::free(buffer);
  return EFI_SUCCESS;
}

void FirmwareCore::Impl::ReleaseAllBlocks() {
  for (const auto &block : poolBlocks) std::free(block.first);
  poolBlocks.clear();
  poolBytes = 0;
}

}  // namespace sim
