// The service tables, their entry thunks into the active core, the run ends
// the core causes (ResetSystem, a hopeless WaitForEvent), and the public
// accessors.
#include "Core/FirmwareCore.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>

#include "Core/FirmwareCoreImpl.h"

namespace sim {

namespace {

constexpr UINT64 kSystemTableSignature = 0x5453595320494249ull;   // "IBI SYST"
constexpr UINT64 kBootServicesSignature = 0x56524553544f4f42ull;  // "BOOTSERV"
constexpr UINT64 kRuntimeServicesSignature = 0x56524553544e5552ull;  // "RUNTSERV"
constexpr UINT32 kTableRevision = (2u << 16) | 70u;

CHAR16 gFirmwareVendor[] = u"Simulated board";

FirmwareCore *gActive = nullptr;
FirmwareCore::Impl *gActiveImpl = nullptr;
// Which core each clock reports to, so a core only moves the wake time of a
// clock that still reports to it.
std::vector<std::pair<VirtualClock *, FirmwareCore::Impl *>> gClockOwners;

FirmwareCore::Impl &Core() {
  if (gActiveImpl == nullptr) {
    std::fprintf(stderr, "sim: service table called with no firmware core active\n");
    std::abort();
  }
  return *gActiveImpl;
}

void TakeClock(FirmwareCore::Impl *impl) {
  for (auto &owner : gClockOwners) {
    if (owner.first == &impl->clock) {
      if (owner.second != impl) owner.second->listening = false;
      owner.second = impl;
      return;
    }
  }
  gClockOwners.emplace_back(&impl->clock, impl);
}

void ReleaseClock(FirmwareCore::Impl *impl) {
  if (!impl->listening) return;
  impl->clock.SetListener(nullptr, nullptr);
  impl->clock.SetWakeNs(UINT64_MAX);
  impl->listening = false;
  for (size_t i = 0; i < gClockOwners.size(); ++i) {
    if (gClockOwners[i].second == impl) {
      gClockOwners.erase(gClockOwners.begin() + std::ptrdiff_t(i));
      break;
    }
  }
}

EFI_TPL EFIAPI BsRaiseTpl(EFI_TPL NewTpl) { return Core().RaiseTpl(NewTpl); }
VOID EFIAPI BsRestoreTpl(EFI_TPL OldTpl) { Core().RestoreTpl(OldTpl); }
EFI_STATUS EFIAPI BsAllocatePool(EFI_MEMORY_TYPE PoolType, UINTN Size, VOID **Buffer) {
  return Core().AllocatePool(PoolType, Size, Buffer);
}
EFI_STATUS EFIAPI BsFreePool(VOID *Buffer) { return Core().FreePool(Buffer); }
EFI_STATUS EFIAPI BsCreateEvent(UINT32 Type, EFI_TPL NotifyTpl, EFI_EVENT_NOTIFY NotifyFunction, VOID *NotifyContext,
                                EFI_EVENT *Event) {
  return Core().CreateEvent(Type, NotifyTpl, NotifyFunction, NotifyContext, Event);
}
EFI_STATUS EFIAPI BsSetTimer(EFI_EVENT Event, EFI_TIMER_DELAY Type, UINT64 TriggerTime) {
  return Core().SetTimer(Event, Type, TriggerTime);
}
EFI_STATUS EFIAPI BsWaitForEvent(UINTN NumberOfEvents, EFI_EVENT *Event, UINTN *Index) {
  return Core().WaitForEvent(NumberOfEvents, Event, Index);
}
EFI_STATUS EFIAPI BsSignalEvent(EFI_EVENT Event) { return Core().SignalEvent(Event); }
EFI_STATUS EFIAPI BsCloseEvent(EFI_EVENT Event) { return Core().CloseEvent(Event); }
EFI_STATUS EFIAPI BsCheckEvent(EFI_EVENT Event) { return Core().CheckEvent(Event); }
EFI_STATUS EFIAPI BsInstallProtocolInterface(EFI_HANDLE *Handle, EFI_GUID *Protocol, EFI_INTERFACE_TYPE InterfaceType,
                                             VOID *Interface) {
  return Core().InstallProtocolInterface(Handle, Protocol, InterfaceType, Interface);
}
EFI_STATUS EFIAPI BsUninstallProtocolInterface(EFI_HANDLE Handle, EFI_GUID *Protocol, VOID *Interface) {
  return Core().UninstallProtocolInterface(Handle, Protocol, Interface);
}
EFI_STATUS EFIAPI BsHandleProtocol(EFI_HANDLE Handle, EFI_GUID *Protocol, VOID **Interface) {
  return Core().HandleProtocol(Handle, Protocol, Interface);
}
EFI_STATUS EFIAPI BsLocateProtocol(EFI_GUID *Protocol, VOID *Registration, VOID **Interface) {
  return Core().LocateProtocol(Protocol, Registration, Interface);
}
EFI_STATUS EFIAPI BsLocateHandleBuffer(EFI_LOCATE_SEARCH_TYPE SearchType, EFI_GUID *Protocol, VOID *SearchKey,
                                       UINTN *NoHandles, EFI_HANDLE **Buffer) {
  return Core().LocateHandleBuffer(SearchType, Protocol, SearchKey, NoHandles, Buffer);
}
EFI_STATUS EFIAPI BsOpenProtocol(EFI_HANDLE Handle, EFI_GUID *Protocol, VOID **Interface, EFI_HANDLE AgentHandle,
                                 EFI_HANDLE ControllerHandle, UINT32 Attributes) {
  return Core().OpenProtocol(Handle, Protocol, Interface, AgentHandle, ControllerHandle, Attributes);
}
EFI_STATUS EFIAPI BsCloseProtocol(EFI_HANDLE Handle, EFI_GUID *Protocol, EFI_HANDLE AgentHandle,
                                  EFI_HANDLE ControllerHandle) {
  return Core().CloseProtocol(Handle, Protocol, AgentHandle, ControllerHandle);
}
EFI_STATUS EFIAPI BsOpenProtocolInformation(EFI_HANDLE Handle, EFI_GUID *Protocol,
                                            EFI_OPEN_PROTOCOL_INFORMATION_ENTRY **EntryBuffer, UINTN *EntryCount) {
  return Core().OpenProtocolInformation(Handle, Protocol, EntryBuffer, EntryCount);
}
EFI_STATUS EFIAPI BsInstallMultipleProtocolInterfaces(EFI_HANDLE *Handle, ...) {
  va_list args;
  va_start(args, Handle);
  EFI_STATUS status = Core().InstallMultipleProtocolInterfaces(Handle, args);
  va_end(args);
  return status;
}
EFI_STATUS EFIAPI BsStall(UINTN Microseconds) { return Core().Stall(Microseconds); }
VOID EFIAPI BsCopyMem(VOID *Destination, VOID *Source, UINTN Length) {
  if (Length != 0) std::memmove(Destination, Source, Length);
}
VOID EFIAPI BsSetMem(VOID *Buffer, UINTN Size, UINT8 Value) {
  if (Size != 0) std::memset(Buffer, Value, Size);
}
VOID EFIAPI RtResetSystem(EFI_RESET_TYPE ResetType, EFI_STATUS ResetStatus, UINTN DataSize, VOID *ResetData) {
  Core().ResetSystem(ResetType, ResetStatus, DataSize, ResetData);
}

}  // namespace

FirmwareCore::Impl::Impl(VirtualClock &clockRef) : clock(clockRef) { FillTables(); }

FirmwareCore::Impl::~Impl() {
  ReleaseClock(this);
  ReleaseAllBlocks();
}

void FirmwareCore::Impl::FillTables() {
  EFI_BOOT_SERVICES &bs = bootServices;
  bs.Hdr = EFI_TABLE_HEADER{kBootServicesSignature, kTableRevision, UINT32(sizeof bs), 0, 0};
  bs.RaiseTPL = BsRaiseTpl;
  bs.RestoreTPL = BsRestoreTpl;
  bs.AllocatePool = BsAllocatePool;
  bs.FreePool = BsFreePool;
  bs.CreateEvent = BsCreateEvent;
  bs.SetTimer = BsSetTimer;
  bs.WaitForEvent = BsWaitForEvent;
  bs.SignalEvent = BsSignalEvent;
  bs.CloseEvent = BsCloseEvent;
  bs.CheckEvent = BsCheckEvent;
  bs.InstallProtocolInterface = BsInstallProtocolInterface;
  bs.UninstallProtocolInterface = BsUninstallProtocolInterface;
  bs.HandleProtocol = BsHandleProtocol;
  bs.LocateProtocol = BsLocateProtocol;
  bs.LocateHandleBuffer = BsLocateHandleBuffer;
  bs.OpenProtocol = BsOpenProtocol;
  bs.CloseProtocol = BsCloseProtocol;
  bs.OpenProtocolInformation = BsOpenProtocolInformation;
  bs.InstallMultipleProtocolInterfaces = BsInstallMultipleProtocolInterfaces;
  bs.Stall = BsStall;
  bs.CopyMem = BsCopyMem;
  bs.SetMem = BsSetMem;

  EFI_RUNTIME_SERVICES &rt = runtimeServices;
  rt.Hdr = EFI_TABLE_HEADER{kRuntimeServicesSignature, kTableRevision, UINT32(sizeof rt), 0, 0};
  rt.ResetSystem = RtResetSystem;

  EFI_SYSTEM_TABLE &st = systemTable;
  st.Hdr = EFI_TABLE_HEADER{kSystemTableSignature, kTableRevision, UINT32(sizeof st), 0, 0};
  st.FirmwareVendor = gFirmwareVendor;
  st.FirmwareRevision = 0x00010000u;
  st.RuntimeServices = &runtimeServices;
  st.BootServices = &bootServices;
  st.NumberOfTableEntries = 0;
  st.ConfigurationTable = nullptr;
}

void FirmwareCore::Impl::ResetSystem(EFI_RESET_TYPE type, EFI_STATUS status, UINTN dataSize, void *data) {
  uint64_t now = clock.NowNs();
  resets.push_back(ResetRecord{type, status, now});
  ResetEventState();
  endOfRun = RunEnd{};
  endOfRun.outcome = RunOutcome::Reset;
  endOfRun.resetType = uint32_t(type);
  endOfRun.value = uint32_t(status);
  endOfRun.timeNs = now;
  // Reset data starts with a text for people; keep its ASCII part as the
  // reason.
  const CHAR16 *text = static_cast<const CHAR16 *>(data);
  for (UINTN i = 0; text != nullptr && i < dataSize / sizeof(CHAR16) && text[i] != 0; ++i) {
    endOfRun.reason.push_back(text[i] < 0x80 ? char(text[i]) : '?');
  }
  EndRun(endOfRun);
}

void FirmwareCore::Impl::Halt(const char *reason) {
  endOfRun = RunEnd{};
  endOfRun.outcome = RunOutcome::Halted;
  endOfRun.timeNs = clock.NowNs();
  endOfRun.reason = reason;
  EndRun(endOfRun);
}

FirmwareCore::FirmwareCore(VirtualClock &clock) : impl_(std::make_unique<Impl>(clock)) {}

FirmwareCore::~FirmwareCore() { Deactivate(); }

void FirmwareCore::Activate() {
  gActive = this;
  gActiveImpl = impl_.get();
  TakeClock(impl_.get());
  impl_->listening = true;
  impl_->clock.SetListener(&Impl::OnClock, impl_.get());
  impl_->UpdateWake();
}

void FirmwareCore::Deactivate() {
  if (gActive == this) {
    gActive = nullptr;
    gActiveImpl = nullptr;
  }
  ReleaseClock(impl_.get());
}

FirmwareCore *FirmwareCore::Active() { return gActive; }

EFI_SYSTEM_TABLE *FirmwareCore::SystemTable() { return &impl_->systemTable; }
EFI_BOOT_SERVICES *FirmwareCore::BootServices() { return &impl_->bootServices; }
EFI_RUNTIME_SERVICES *FirmwareCore::RuntimeServices() { return &impl_->runtimeServices; }

void FirmwareCore::AddConfigurationTable(const EFI_GUID &guid, void *table) {
  impl_->configurationTables.push_back(EFI_CONFIGURATION_TABLE{guid, table});
  impl_->systemTable.NumberOfTableEntries = UINTN(impl_->configurationTables.size());
  impl_->systemTable.ConfigurationTable = impl_->configurationTables.data();
}

EFI_HANDLE FirmwareCore::CreateImageHandle(const std::string &name) { return impl_->NewHandle(name, true); }

std::string FirmwareCore::HandleName(EFI_HANDLE handle) const {
  HandleRecord *record = impl_->FindHandle(handle);
  return record == nullptr ? std::string() : record->name;
}

size_t FirmwareCore::PoolBytesInUse() const { return impl_->poolBytes; }
size_t FirmwareCore::PoolBlocksInUse() const { return impl_->poolBlocks.size(); }
void FirmwareCore::FailAllocationAfter(unsigned n) { impl_->failAfter = n; }
void FirmwareCore::FailAllAllocations(bool fail) { impl_->failAll = fail; }
size_t FirmwareCore::BadFreeCount() const { return impl_->badFrees; }

size_t FirmwareCore::OpenEventCount() const { return impl_->events.size(); }
size_t FirmwareCore::ArmedTimerCount() const {
  size_t armed = 0;
  for (const std::unique_ptr<EventRecord> &record : impl_->events) armed += record->armed ? 1 : 0;
  return armed;
}
EFI_TPL FirmwareCore::CurrentTpl() const { return impl_->currentTpl; }
size_t FirmwareCore::TplErrorCount() const { return impl_->tplErrors; }
void FirmwareCore::SetWaitLimitNs(uint64_t limitNs) { impl_->waitLimitNs = limitNs; }

void FirmwareCore::RecoverAfterRunEnd() {
  impl_->currentTpl = TPL_APPLICATION;
  impl_->notifyFloor = TPL_APPLICATION;
}

const std::vector<ResetRecord> &FirmwareCore::Resets() const { return impl_->resets; }

size_t FirmwareCore::HandleCount() const { return impl_->handles.size(); }

size_t FirmwareCore::LocateCount(const EFI_GUID &protocol) const {
  for (const auto &count : impl_->locateCounts) {
    if (SameGuid(count.first, protocol)) return count.second;
  }
  return 0;
}

std::vector<EFI_GUID> FirmwareCore::InstalledProtocols() const {
  std::vector<const ProtocolEntry *> entries;
  for (const std::unique_ptr<HandleRecord> &record : impl_->handles) {
    for (const ProtocolEntry &entry : record->protocols) entries.push_back(&entry);
  }
  std::sort(entries.begin(), entries.end(),
            [](const ProtocolEntry *a, const ProtocolEntry *b) { return a->installSerial < b->installSerial; });
  std::vector<EFI_GUID> guids;
  for (const ProtocolEntry *entry : entries) {
    bool seen = false;
    for (const EFI_GUID &guid : guids) seen = seen || SameGuid(guid, entry->guid);
    if (!seen) guids.push_back(entry->guid);
  }
  return guids;
}

}  // namespace sim
