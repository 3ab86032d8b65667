// Handles, protocol installation and lookup, handle buffers and the open
// records of OpenProtocol.
#include <vector>

#include "Platform/Core/CoreFixture.h"

namespace coretest {
namespace {

int gInterfaceA1, gInterfaceA2, gInterfaceB;

class ProtocolDatabaseTest : public CoreTest {
 protected:
  EFI_HANDLE Install(EFI_HANDLE handle, EFI_GUID *guid, void *interface) {
    EXPECT_EQ(bs->InstallProtocolInterface(&handle, guid, EFI_NATIVE_INTERFACE, interface), EFI_SUCCESS);
    return handle;
  }
};

TEST_F(ProtocolDatabaseTest, InstallCreatesHandleAndRejectsBadCalls) {
  EFI_HANDLE handle = Install(nullptr, &kGuidA, &gInterfaceA1);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(core.HandleCount(), 1u);
  EXPECT_EQ(Install(handle, &kGuidB, &gInterfaceB), handle);
  EXPECT_EQ(core.HandleCount(), 1u);

  void *found = nullptr;
  EXPECT_EQ(bs->HandleProtocol(handle, &kGuidB, &found), EFI_SUCCESS);
  EXPECT_EQ(found, &gInterfaceB);
  EXPECT_EQ(bs->HandleProtocol(handle, &kGuidC, &found), EFI_UNSUPPORTED);
  EXPECT_EQ(found, nullptr);

  EFI_HANDLE same = handle;
  EXPECT_EQ(bs->InstallProtocolInterface(&same, &kGuidA, EFI_NATIVE_INTERFACE, &gInterfaceA2), EFI_INVALID_PARAMETER);
  EXPECT_EQ(bs->InstallProtocolInterface(nullptr, &kGuidC, EFI_NATIVE_INTERFACE, &gInterfaceA2),
            EFI_INVALID_PARAMETER);
  EFI_HANDLE fresh = nullptr;
  EXPECT_EQ(bs->InstallProtocolInterface(&fresh, nullptr, EFI_NATIVE_INTERFACE, &gInterfaceA2), EFI_INVALID_PARAMETER);
  EXPECT_EQ(fresh, nullptr);
  EFI_HANDLE bogus = &gInterfaceA2;
  EXPECT_EQ(bs->InstallProtocolInterface(&bogus, &kGuidC, EFI_NATIVE_INTERFACE, &gInterfaceA2), EFI_INVALID_PARAMETER);
  EXPECT_EQ(bs->HandleProtocol(bogus, &kGuidA, &found), EFI_INVALID_PARAMETER);
  EXPECT_EQ(core.HandleCount(), 1u);
}

TEST_F(ProtocolDatabaseTest, LocateProtocolFindsFirstInstalledInstance) {
  EFI_HANDLE second = Install(nullptr, &kGuidB, &gInterfaceB);
  EFI_HANDLE first = Install(nullptr, &kGuidA, &gInterfaceA1);
  Install(second, &kGuidA, &gInterfaceA2);  // installed later, on the older handle

  void *found = nullptr;
  EXPECT_EQ(bs->LocateProtocol(&kGuidA, nullptr, &found), EFI_SUCCESS);
  EXPECT_EQ(found, &gInterfaceA1);
  EXPECT_EQ(bs->UninstallProtocolInterface(first, &kGuidA, &gInterfaceA1), EFI_SUCCESS);
  EXPECT_EQ(bs->LocateProtocol(&kGuidA, nullptr, &found), EFI_SUCCESS);
  EXPECT_EQ(found, &gInterfaceA2);
  EXPECT_EQ(bs->UninstallProtocolInterface(second, &kGuidA, &gInterfaceA2), EFI_SUCCESS);
  EXPECT_EQ(bs->LocateProtocol(&kGuidA, nullptr, &found), EFI_NOT_FOUND);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(bs->LocateProtocol(nullptr, nullptr, &found), EFI_INVALID_PARAMETER);

  EXPECT_EQ(core.LocateCount(kGuidA), 3u);
  EXPECT_EQ(core.LocateCount(kGuidC), 0u);
}

TEST_F(ProtocolDatabaseTest, UninstallRemovesEmptyHandlesButKeepsImageHandles) {
  EFI_HANDLE handle = Install(nullptr, &kGuidA, &gInterfaceA1);
  Install(handle, &kGuidB, &gInterfaceB);
  EFI_HANDLE image = core.CreateImageHandle("Driver.efi");
  Install(image, &kGuidC, &gInterfaceA2);
  EXPECT_EQ(core.HandleCount(), 2u);

  EXPECT_EQ(bs->UninstallProtocolInterface(handle, &kGuidA, &gInterfaceA2), EFI_NOT_FOUND);  // other interface
  EXPECT_EQ(bs->UninstallProtocolInterface(handle, &kGuidC, &gInterfaceA2), EFI_NOT_FOUND);
  EXPECT_EQ(bs->UninstallProtocolInterface(handle, &kGuidA, &gInterfaceA1), EFI_SUCCESS);
  EXPECT_EQ(core.HandleCount(), 2u);
  EXPECT_EQ(bs->UninstallProtocolInterface(handle, &kGuidB, &gInterfaceB), EFI_SUCCESS);
  EXPECT_EQ(core.HandleCount(), 1u);
  void *found = nullptr;
  EXPECT_EQ(bs->HandleProtocol(handle, &kGuidB, &found), EFI_INVALID_PARAMETER);  // the handle is gone

  EXPECT_EQ(bs->UninstallProtocolInterface(image, &kGuidC, &gInterfaceA2), EFI_SUCCESS);
  EXPECT_EQ(core.HandleCount(), 1u);
  EXPECT_EQ(core.HandleName(image), "Driver.efi");
  EXPECT_EQ(Install(image, &kGuidA, &gInterfaceA1), image);
}

TEST_F(ProtocolDatabaseTest, InstallMultipleIsAllOrNothing) {
  EFI_HANDLE handle = nullptr;
  ASSERT_EQ(bs->InstallMultipleProtocolInterfaces(&handle, &kGuidA, &gInterfaceA1, &kGuidB, &gInterfaceB, nullptr),
            EFI_SUCCESS);
  ASSERT_NE(handle, nullptr);
  void *found = nullptr;
  EXPECT_EQ(bs->HandleProtocol(handle, &kGuidB, &found), EFI_SUCCESS);

  // The second pair collides: the first pair of this call is taken back.
  EFI_HANDLE same = handle;
  EXPECT_EQ(bs->InstallMultipleProtocolInterfaces(&same, &kGuidC, &gInterfaceA2, &kGuidA, &gInterfaceA2, nullptr),
            EFI_INVALID_PARAMETER);
  EXPECT_EQ(bs->HandleProtocol(handle, &kGuidC, &found), EFI_UNSUPPORTED);
  EXPECT_EQ(bs->HandleProtocol(handle, &kGuidA, &found), EFI_SUCCESS);
  EXPECT_EQ(found, &gInterfaceA1);

  // On a new handle, a failure leaves no handle behind.
  EFI_HANDLE fresh = nullptr;
  EXPECT_EQ(bs->InstallMultipleProtocolInterfaces(&fresh, &kGuidC, &gInterfaceA2, &kGuidC, &gInterfaceB, nullptr),
            EFI_INVALID_PARAMETER);
  EXPECT_EQ(fresh, nullptr);
  EXPECT_EQ(core.HandleCount(), 1u);
  EXPECT_EQ(core.InstalledProtocols().size(), 2u);
}

TEST_F(ProtocolDatabaseTest, LocateHandleBufferComesFromThePool) {
  EFI_HANDLE image = core.CreateImageHandle("Image.efi");
  EFI_HANDLE h1 = Install(nullptr, &kGuidA, &gInterfaceA1);
  Install(nullptr, &kGuidB, &gInterfaceB);
  EFI_HANDLE h3 = Install(nullptr, &kGuidA, &gInterfaceA2);

  UINTN count = 0;
  EFI_HANDLE *buffer = nullptr;
  ASSERT_EQ(bs->LocateHandleBuffer(ByProtocol, &kGuidA, nullptr, &count, &buffer), EFI_SUCCESS);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(buffer[0], h1);
  EXPECT_EQ(buffer[1], h3);
  EXPECT_EQ(core.PoolBlocksInUse(), 1u);
  EXPECT_EQ(bs->FreePool(buffer), EFI_SUCCESS);

  ASSERT_EQ(bs->LocateHandleBuffer(AllHandles, nullptr, nullptr, &count, &buffer), EFI_SUCCESS);
  ASSERT_EQ(count, 4u);
  EXPECT_EQ(buffer[0], image);
  EXPECT_EQ(bs->FreePool(buffer), EFI_SUCCESS);

  buffer = reinterpret_cast<EFI_HANDLE *>(&count);
  EXPECT_EQ(bs->LocateHandleBuffer(ByProtocol, &kGuidC, nullptr, &count, &buffer), EFI_NOT_FOUND);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(bs->LocateHandleBuffer(ByProtocol, nullptr, nullptr, &count, &buffer), EFI_INVALID_PARAMETER);
  EXPECT_EQ(bs->LocateHandleBuffer(ByRegisterNotify, &kGuidA, nullptr, &count, &buffer), EFI_INVALID_PARAMETER);

  core.FailAllocationAfter(1);
  EXPECT_EQ(bs->LocateHandleBuffer(ByProtocol, &kGuidA, nullptr, &count, &buffer), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(core.PoolBlocksInUse(), 0u);
}

// OpenProtocol on a controller that carries protocol A. Agents 1 and 2 are
// driver image handles; each case first opens what "held" lists, then asks.
struct OpenCase {
  const char *name;
  std::vector<std::pair<int, UINT32>> held;  // agent, attributes
  int agent;                                 // 0: NULL agent
  UINT32 attributes;
  EFI_STATUS expected;
};
void PrintTo(const OpenCase &c, std::ostream *os) { *os << c.name; }

class OpenProtocolTest : public ProtocolDatabaseTest, public ::testing::WithParamInterface<OpenCase> {
 protected:
  void SetUp() override {
    controller = Install(nullptr, &kGuidA, &gInterfaceA1);
    agents[1] = core.CreateImageHandle("Driver1.efi");
    agents[2] = core.CreateImageHandle("Driver2.efi");
  }
  EFI_HANDLE controller = nullptr;
  EFI_HANDLE agents[3] = {};
};

constexpr UINT32 kByDriver = EFI_OPEN_PROTOCOL_BY_DRIVER;
constexpr UINT32 kExclusive = EFI_OPEN_PROTOCOL_EXCLUSIVE;
constexpr UINT32 kGet = EFI_OPEN_PROTOCOL_GET_PROTOCOL;

TEST_P(OpenProtocolTest, FollowsTheHoldsOfOtherAgents) {
  const OpenCase &c = GetParam();
  void *interface = nullptr;
  for (const auto &hold : c.held) {
    ASSERT_EQ(bs->OpenProtocol(controller, &kGuidA, &interface, agents[hold.first], controller, hold.second),
              EFI_SUCCESS);
  }
  interface = nullptr;
  EXPECT_EQ(bs->OpenProtocol(controller, &kGuidA, &interface, agents[c.agent], controller, c.attributes), c.expected);
  if (c.expected == EFI_SUCCESS || c.expected == EFI_ALREADY_STARTED) {
    EXPECT_EQ(interface, &gInterfaceA1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, OpenProtocolTest,
    ::testing::Values(
        OpenCase{"GetWithoutAgent", {}, 0, kGet, EFI_SUCCESS},
        OpenCase{"ByHandleWithoutAgent", {}, 0, EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL, EFI_SUCCESS},
        OpenCase{"ByDriver", {}, 1, kByDriver, EFI_SUCCESS},
        OpenCase{"ByDriverTwiceSameAgent", {{1, kByDriver}}, 1, kByDriver, EFI_ALREADY_STARTED},
        OpenCase{"ByDriverOtherAgent", {{1, kByDriver}}, 2, kByDriver, EFI_ACCESS_DENIED},
        OpenCase{"GetWhileDriverHolds", {{1, kByDriver}}, 2, kGet, EFI_SUCCESS},
        OpenCase{"ExclusiveWhileOtherDriverHolds", {{1, kByDriver}}, 2, kExclusive, EFI_ACCESS_DENIED},
        OpenCase{"ExclusiveTwice", {{1, kExclusive}}, 1, kExclusive, EFI_ACCESS_DENIED},
        OpenCase{"DriverExclusiveAfterOwnDriver", {{1, kByDriver}}, 1, kByDriver | kExclusive, EFI_ALREADY_STARTED},
        OpenCase{"DriverExclusiveAfterOtherDriver", {{1, kByDriver}}, 2, kByDriver | kExclusive, EFI_ACCESS_DENIED},
        OpenCase{"ByDriverWhileOtherExclusive", {{1, kByDriver | kExclusive}}, 2, kByDriver, EFI_ACCESS_DENIED},
        OpenCase{"ByDriverWithoutAgent", {}, 0, kByDriver, EFI_INVALID_PARAMETER},
        OpenCase{"ChildOfItself", {}, 1, EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER, EFI_INVALID_PARAMETER},
        OpenCase{"NoAttributes", {}, 1, 0, EFI_INVALID_PARAMETER},
        OpenCase{"MixedAttributes", {}, 1, kByDriver | kGet, EFI_INVALID_PARAMETER}),
    [](const ::testing::TestParamInfo<OpenCase> &info) { return std::string(info.param.name); });

TEST_F(OpenProtocolTest, TestProtocolNeedsNoInterfaceAndLeavesNoRecord) {
  EXPECT_EQ(bs->OpenProtocol(controller, &kGuidA, nullptr, nullptr, nullptr, EFI_OPEN_PROTOCOL_TEST_PROTOCOL),
            EFI_SUCCESS);
  EXPECT_EQ(bs->OpenProtocol(controller, &kGuidB, nullptr, nullptr, nullptr, EFI_OPEN_PROTOCOL_TEST_PROTOCOL),
            EFI_UNSUPPORTED);
  EXPECT_EQ(bs->OpenProtocol(controller, &kGuidA, nullptr, agents[1], controller, kGet), EFI_INVALID_PARAMETER);
  EXPECT_EQ(bs->OpenProtocol(&gInterfaceB, &kGuidA, nullptr, nullptr, nullptr, EFI_OPEN_PROTOCOL_TEST_PROTOCOL),
            EFI_INVALID_PARAMETER);

  EFI_OPEN_PROTOCOL_INFORMATION_ENTRY *entries = nullptr;
  UINTN count = 99;
  ASSERT_EQ(bs->OpenProtocolInformation(controller, &kGuidA, &entries, &count), EFI_SUCCESS);
  EXPECT_EQ(count, 0u);
  EXPECT_NE(entries, nullptr);  // even an empty list is the caller's to free
  EXPECT_EQ(bs->FreePool(entries), EFI_SUCCESS);
}

TEST_F(OpenProtocolTest, OpenInformationCountsOpensAndCloseRemovesThem) {
  void *interface = nullptr;
  ASSERT_EQ(bs->OpenProtocol(controller, &kGuidA, &interface, agents[1], controller, kGet), EFI_SUCCESS);
  ASSERT_EQ(bs->OpenProtocol(controller, &kGuidA, &interface, agents[1], controller, kGet), EFI_SUCCESS);
  ASSERT_EQ(bs->OpenProtocol(controller, &kGuidA, &interface, agents[2], controller, kByDriver), EFI_SUCCESS);

  EFI_OPEN_PROTOCOL_INFORMATION_ENTRY *entries = nullptr;
  UINTN count = 0;
  ASSERT_EQ(bs->OpenProtocolInformation(controller, &kGuidA, &entries, &count), EFI_SUCCESS);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(entries[0].AgentHandle, agents[1]);
  EXPECT_EQ(entries[0].ControllerHandle, controller);
  EXPECT_EQ(entries[0].Attributes, kGet);
  EXPECT_EQ(entries[0].OpenCount, 2u);
  EXPECT_EQ(entries[1].AgentHandle, agents[2]);
  EXPECT_EQ(entries[1].Attributes, kByDriver);
  EXPECT_EQ(entries[1].OpenCount, 1u);
  EXPECT_EQ(bs->FreePool(entries), EFI_SUCCESS);
  EXPECT_EQ(bs->OpenProtocolInformation(controller, &kGuidB, &entries, &count), EFI_NOT_FOUND);

  // A driver's hold blocks the uninstall until it closes.
  EXPECT_EQ(bs->UninstallProtocolInterface(controller, &kGuidA, &gInterfaceA1), EFI_ACCESS_DENIED);
  EXPECT_EQ(bs->CloseProtocol(controller, &kGuidA, agents[2], controller), EFI_SUCCESS);
  EXPECT_EQ(bs->CloseProtocol(controller, &kGuidA, agents[2], controller), EFI_NOT_FOUND);
  EXPECT_EQ(bs->CloseProtocol(controller, &kGuidA, nullptr, controller), EFI_INVALID_PARAMETER);
  EXPECT_EQ(bs->OpenProtocol(controller, &kGuidA, &interface, agents[1], controller, kByDriver), EFI_SUCCESS);
  EXPECT_EQ(bs->CloseProtocol(controller, &kGuidA, agents[1], controller), EFI_SUCCESS);  // both of agent 1's
  ASSERT_EQ(bs->OpenProtocolInformation(controller, &kGuidA, &entries, &count), EFI_SUCCESS);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(bs->FreePool(entries), EFI_SUCCESS);
  EXPECT_EQ(bs->UninstallProtocolInterface(controller, &kGuidA, &gInterfaceA1), EFI_SUCCESS);
}

}  // namespace
}  // namespace coretest
