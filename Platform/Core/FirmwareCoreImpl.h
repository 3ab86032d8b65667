// Internal state of the firmware core, shared by the files that implement
// its concerns: the protocol database, the pool, events with timers and
// TPL, and the service tables.
#pragma once

#include <cstdarg>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Core/FirmwareCore.h"
#include "Core/RunControl.h"

namespace sim {

inline bool SameGuid(const EFI_GUID &a, const EFI_GUID &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct OpenEntry {
  EFI_HANDLE agent;
  EFI_HANDLE controller;
  UINT32 attributes;
  UINT32 openCount;
};

struct ProtocolEntry {
  EFI_GUID guid;
  void *interface;
  uint64_t installSerial;  // orders instances for LocateProtocol
  std::vector<OpenEntry> opens;
};

// An EFI_HANDLE is the address of its record.
struct HandleRecord {
  std::string name;
  bool image = false;  // image handles live until the core goes
  std::vector<ProtocolEntry> protocols;
};

// An EFI_EVENT is the address of its record.
struct EventRecord {
  uint32_t type = 0;
  EFI_TPL notifyTpl = 0;
  EFI_EVENT_NOTIFY notify = nullptr;
  void *context = nullptr;
  bool signaled = false;
  bool queued = false;  // waiting in the notify queue
  bool armed = false;
  uint64_t dueNs = 0;
  uint64_t periodNs = 0;  // 0: one-shot
  uint64_t armSerial = 0;  // ties between timers due at the same instant
};

struct PoolBlock {
  size_t size;
  EFI_MEMORY_TYPE type;
};

struct FirmwareCore::Impl {
  explicit Impl(VirtualClock &clockRef);
  ~Impl();

  VirtualClock &clock;
  bool listening = false;  // the clock reports to this core

  // Service tables.
  EFI_SYSTEM_TABLE systemTable{};
  EFI_BOOT_SERVICES bootServices{};
  EFI_RUNTIME_SERVICES runtimeServices{};
  std::vector<EFI_CONFIGURATION_TABLE> configurationTables;
  void FillTables();

  // Protocol database (ProtocolDatabase.cpp).
  std::vector<std::unique_ptr<HandleRecord>> handles;  // creation order
  uint64_t nextInstallSerial = 1;
  std::vector<std::pair<EFI_GUID, size_t>> locateCounts;

  HandleRecord *FindHandle(EFI_HANDLE handle) const;
  static ProtocolEntry *FindProtocol(HandleRecord *handle, const EFI_GUID &protocol);
  HandleRecord *NewHandle(const std::string &name, bool image);
  void RemoveHandleIfEmpty(HandleRecord *handle);

  EFI_STATUS InstallProtocolInterface(EFI_HANDLE *handle, EFI_GUID *protocol, EFI_INTERFACE_TYPE interfaceType,
                                      void *interface);
  EFI_STATUS InstallMultipleProtocolInterfaces(EFI_HANDLE *handle, va_list args);
  EFI_STATUS UninstallProtocolInterface(EFI_HANDLE handle, EFI_GUID *protocol, void *interface);
  EFI_STATUS HandleProtocol(EFI_HANDLE handle, EFI_GUID *protocol, void **interface);
  EFI_STATUS LocateProtocol(EFI_GUID *protocol, void *registration, void **interface);
  EFI_STATUS LocateHandleBuffer(EFI_LOCATE_SEARCH_TYPE searchType, EFI_GUID *protocol, void *searchKey,
                                UINTN *count, EFI_HANDLE **buffer);
  EFI_STATUS OpenProtocol(EFI_HANDLE handle, EFI_GUID *protocol, void **interface, EFI_HANDLE agent,
                          EFI_HANDLE controller, UINT32 attributes);
  EFI_STATUS CloseProtocol(EFI_HANDLE handle, EFI_GUID *protocol, EFI_HANDLE agent, EFI_HANDLE controller);
  EFI_STATUS OpenProtocolInformation(EFI_HANDLE handle, EFI_GUID *protocol,
                                     EFI_OPEN_PROTOCOL_INFORMATION_ENTRY **entries, UINTN *count);

  // Pool (Pool.cpp).
  std::unordered_map<void *, PoolBlock> poolBlocks;
  size_t poolBytes = 0;
  unsigned failAfter = 0;
  bool failAll = false;
  size_t badFrees = 0;

  bool TakeInjectedFailure();
  // Serves AllocatePool and the buffers other services hand to the caller.
  EFI_STATUS AllocateBlock(EFI_MEMORY_TYPE type, size_t size, void **buffer);
  EFI_STATUS AllocatePool(EFI_MEMORY_TYPE type, UINTN size, void **buffer);
  EFI_STATUS FreePool(void *buffer);
  void ReleaseAllBlocks();

  // Events, timers, TPL and Stall (Events.cpp). Everything on the path from
  // the clock listener to a notify function may be left by longjmp (a notify
  // that resets the board), so that path keeps no heap-owning locals and
  // walks the members below by index.
  std::vector<std::unique_ptr<EventRecord>> events;  // creation order
  std::vector<EventRecord *> notifyQueue;            // signal order
  EFI_TPL currentTpl = TPL_APPLICATION;
  EFI_TPL notifyFloor = TPL_APPLICATION;  // TPL of the notify running now
  size_t tplErrors = 0;
  uint64_t nextArmSerial = 1;
  uint64_t waitLimitNs = FirmwareCore::kDefaultWaitLimitNs;

  EventRecord *FindEvent(EFI_EVENT event) const;
  EventRecord *EarliestArmedTimer() const;
  uint64_t EarliestDueNs() const;
  void UpdateWake();
  static void OnClock(void *context, uint64_t nowNs);
  void FireDueTimers();
  void Signal(EventRecord *event);
  void Enqueue(EventRecord *event);
  // Runs queued notifies of TPL above level, highest first; leaves the TPL
  // at level.
  void DispatchAbove(EFI_TPL level);
  // What a board reset does to the event machinery: timers stop, queued
  // notifies are dropped, the TPL returns to TPL_APPLICATION.
  void ResetEventState();

  EFI_TPL RaiseTpl(EFI_TPL newTpl);
  void RestoreTpl(EFI_TPL oldTpl);
  EFI_STATUS CreateEvent(UINT32 type, EFI_TPL notifyTpl, EFI_EVENT_NOTIFY notify, void *context,
                         EFI_EVENT *event);
  EFI_STATUS SetTimer(EFI_EVENT event, EFI_TIMER_DELAY type, UINT64 triggerTime);
  EFI_STATUS SignalEvent(EFI_EVENT event);
  EFI_STATUS CheckEvent(EFI_EVENT event);
  EFI_STATUS WaitForEvent(UINTN count, EFI_EVENT *list, UINTN *index);
  EFI_STATUS CloseEvent(EFI_EVENT event);
  EFI_STATUS Stall(UINTN microseconds);

  // Run ends (FirmwareCore.cpp). The end is kept here rather than on the
  // stack: EndRun leaves by longjmp and would leak a local's string.
  std::vector<ResetRecord> resets;
  RunEnd endOfRun;
  [[noreturn]] void ResetSystem(EFI_RESET_TYPE type, EFI_STATUS status, UINTN dataSize, void *data);
  [[noreturn]] void Halt(const char *reason);
};

}  // namespace sim
