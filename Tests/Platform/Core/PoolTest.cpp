// Pool accounting, injected allocation failures, bad frees, and the memory
// helpers of the boot services.
#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "Platform/Core/CoreFixture.h"

namespace coretest {
namespace {

using PoolTest = CoreTest;

TEST_F(PoolTest, AccountsBlocksAndBytesUntilFreed) {
  const UINTN sizes[] = {0, 0, 1, 13, 4096};
  std::vector<void *> blocks;
  std::set<void *> distinct;
  for (UINTN size : sizes) {
    void *block = nullptr;
    ASSERT_EQ(bs->AllocatePool(EfiBootServicesData, size, &block), EFI_SUCCESS);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 8, 0u);
    std::memset(block, 0x5A, size);  // the whole block is usable
    blocks.push_back(block);
    distinct.insert(block);
  }
  EXPECT_EQ(distinct.size(), blocks.size());  // zero-size blocks too
  EXPECT_EQ(core.PoolBlocksInUse(), 5u);
  EXPECT_EQ(core.PoolBytesInUse(), 1u + 13u + 4096u);

  EXPECT_EQ(bs->FreePool(blocks[3]), EFI_SUCCESS);
  EXPECT_EQ(core.PoolBytesInUse(), 1u + 4096u);
  for (void *block : blocks) {
    if (block != blocks[3]) {
      EXPECT_EQ(bs->FreePool(block), EFI_SUCCESS);
    }
  }
  EXPECT_EQ(core.PoolBlocksInUse(), 0u);
  EXPECT_EQ(core.PoolBytesInUse(), 0u);
}

TEST_F(PoolTest, RejectsBadArguments) {
  void *block = nullptr;
  EXPECT_EQ(bs->AllocatePool(EfiBootServicesData, 8, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(bs->AllocatePool(EFI_MEMORY_TYPE(0x70000000), 8, &block), EFI_INVALID_PARAMETER);
  EXPECT_EQ(bs->AllocatePool(EfiBootServicesData, sim::FirmwareCore::kMaxPoolAllocation + 1, &block),
            EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(core.PoolBlocksInUse(), 0u);
}

TEST_F(PoolTest, TheNthAllocationFailsOnce) {
  core.FailAllocationAfter(3);
  void *blocks[4] = {};
  EXPECT_EQ(bs->AllocatePool(EfiBootServicesData, 16, &blocks[0]), EFI_SUCCESS);
  EXPECT_EQ(bs->AllocatePool(EfiBootServicesData, 16, &blocks[1]), EFI_SUCCESS);
  blocks[2] = &blocks;
  EXPECT_EQ(bs->AllocatePool(EfiBootServicesData, 16, &blocks[2]), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(blocks[2], nullptr);
  EXPECT_EQ(bs->AllocatePool(EfiBootServicesData, 16, &blocks[3]), EFI_SUCCESS);
  EXPECT_EQ(core.PoolBlocksInUse(), 3u);

  core.FailAllocationAfter(1);
  core.FailAllocationAfter(0);  // disarmed again
  void *block = nullptr;
  EXPECT_EQ(bs->AllocatePool(EfiBootServicesData, 16, &block), EFI_SUCCESS);
  EXPECT_EQ(bs->FreePool(block), EFI_SUCCESS);

  core.FailAllAllocations(true);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(bs->AllocatePool(EfiBootServicesData, 16, &block), EFI_OUT_OF_RESOURCES);
  core.FailAllAllocations(false);
  EXPECT_EQ(bs->AllocatePool(EfiBootServicesData, 16, &block), EFI_SUCCESS);
  EXPECT_EQ(bs->FreePool(block), EFI_SUCCESS);

  for (void *b : blocks) {
    if (b != nullptr) {
      EXPECT_EQ(bs->FreePool(b), EFI_SUCCESS);
    }
  }
  EXPECT_EQ(core.PoolBytesInUse(), 0u);
}

TEST_F(PoolTest, FreesOfForeignOrFreedPointersAreRecorded) {
  void *block = nullptr;
  void *kept = nullptr;
  ASSERT_EQ(bs->AllocatePool(EfiBootServicesData, 32, &block), EFI_SUCCESS);
  ASSERT_EQ(bs->AllocatePool(EfiBootServicesData, 32, &kept), EFI_SUCCESS);
  int onStack = 0;
  EXPECT_EQ(bs->FreePool(nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(bs->FreePool(&onStack), EFI_INVALID_PARAMETER);
  EXPECT_EQ(bs->FreePool(static_cast<char *>(kept) + 8), EFI_INVALID_PARAMETER);  // inside a block
  EXPECT_EQ(bs->FreePool(block), EFI_SUCCESS);
  EXPECT_EQ(bs->FreePool(block), EFI_INVALID_PARAMETER);
  EXPECT_EQ(core.BadFreeCount(), 4u);
  EXPECT_EQ(core.PoolBlocksInUse(), 1u);
  EXPECT_EQ(core.PoolBytesInUse(), 32u);
  EXPECT_EQ(bs->FreePool(kept), EFI_SUCCESS);
  expectedBadFrees = 4;
}

TEST(PoolLifetimeTest, DestroyedCoresReleaseWhatIsStillAllocated) {
  // Leaks would show under the sanitizer build.
  for (int round = 0; round < 50; ++round) {
    sim::VirtualClock clock;
    sim::FirmwareCore core(clock);
    core.Activate();
    void *block = nullptr;
    ASSERT_EQ(core.BootServices()->AllocatePool(EfiBootServicesData, 100 + round, &block), EFI_SUCCESS);
    EXPECT_EQ(core.PoolBlocksInUse(), 1u);
  }
  EXPECT_EQ(sim::FirmwareCore::Active(), nullptr);
}

TEST_F(PoolTest, CopyMemHandlesOverlapInBothDirections) {
  char text[] = "0123456789";
  bs->CopyMem(text + 2, text, 6);  // forward overlap
  EXPECT_STREQ(text, "0101234589");
  char back[] = "0123456789";
  bs->CopyMem(back, back + 3, 7);  // backward overlap
  EXPECT_STREQ(back, "3456789789");
  bs->CopyMem(nullptr, nullptr, 0);

  unsigned char bytes[6] = {1, 2, 3, 4, 5, 6};
  bs->SetMem(bytes + 1, 4, 0xEE);
  const unsigned char expected[6] = {1, 0xEE, 0xEE, 0xEE, 0xEE, 6};
  EXPECT_EQ(std::memcmp(bytes, expected, 6), 0);
}

}  // namespace
}  // namespace coretest
