// Handles and the protocol interfaces installed on them, with the open
// records that drivers and applications leave through OpenProtocol.
#include <algorithm>
#include <utility>

#include "Core/FirmwareCoreImpl.h"

namespace sim {

namespace {

constexpr UINT32 kByHandle = EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL;
constexpr UINT32 kGet = EFI_OPEN_PROTOCOL_GET_PROTOCOL;
constexpr UINT32 kTest = EFI_OPEN_PROTOCOL_TEST_PROTOCOL;
constexpr UINT32 kByChild = EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER;
constexpr UINT32 kByDriver = EFI_OPEN_PROTOCOL_BY_DRIVER;
constexpr UINT32 kExclusive = EFI_OPEN_PROTOCOL_EXCLUSIVE;

}  // namespace

HandleRecord *FirmwareCore::Impl::FindHandle(EFI_HANDLE handle) const {
  if (handle == nullptr) return nullptr;
  for (const std::unique_ptr<HandleRecord> &record : handles) {
    if (record.get() == handle) return record.get();
  }
  return nullptr;
}

ProtocolEntry *FirmwareCore::Impl::FindProtocol(HandleRecord *handle, const EFI_GUID &protocol) {
  for (ProtocolEntry &entry : handle->protocols) {
    if (SameGuid(entry.guid, protocol)) return &entry;
  }
  return nullptr;
}

HandleRecord *FirmwareCore::Impl::NewHandle(const std::string &name, bool image) {
  handles.push_back(std::make_unique<HandleRecord>());
  HandleRecord *record = handles.back().get();
  record->name = name;
  record->image = image;
  return record;
}

void FirmwareCore::Impl::RemoveHandleIfEmpty(HandleRecord *handle) {
  if (handle->image || !handle->protocols.empty()) return;
  handles.erase(std::find_if(handles.begin(), handles.end(),
                             [handle](const std::unique_ptr<HandleRecord> &r) { return r.get() == handle; }));
}

EFI_STATUS FirmwareCore::Impl::InstallProtocolInterface(EFI_HANDLE *handle, EFI_GUID *protocol,
                                                        EFI_INTERFACE_TYPE interfaceType, void *interface) {
  if (handle == nullptr || protocol == nullptr || interfaceType != EFI_NATIVE_INTERFACE) {
    return EFI_INVALID_PARAMETER;
  }
  HandleRecord *record = nullptr;
  if (*handle != nullptr) {
    record = FindHandle(*handle);
    if (record == nullptr) return EFI_INVALID_PARAMETER;
    if (FindProtocol(record, *protocol) != nullptr) return EFI_INVALID_PARAMETER;
  } else {
    record = NewHandle("", false);
  }
  record->protocols.push_back(ProtocolEntry{*protocol, interface, nextInstallSerial++, {}});
  *handle = record;
  return EFI_SUCCESS;
}

EFI_STATUS FirmwareCore::Impl::InstallMultipleProtocolInterfaces(EFI_HANDLE *handle, va_list args) {
  if (handle == nullptr) return EFI_INVALID_PARAMETER;
  // No firmware code runs while installing, so nothing can leave this frame
  // by longjmp and a local list is safe.
  std::vector<std::pair<EFI_GUID *, void *>> installed;
  EFI_HANDLE original = *handle;
  EFI_STATUS status = EFI_SUCCESS;
  for (;;) {
    EFI_GUID *protocol = va_arg(args, EFI_GUID *);
    if (protocol == nullptr) break;
    void *interface = va_arg(args, void *);
    status = InstallProtocolInterface(handle, protocol, EFI_NATIVE_INTERFACE, interface);
    if (EFI_ERROR(status)) break;
    installed.emplace_back(protocol, interface);
  }
  if (!EFI_ERROR(status)) return EFI_SUCCESS;
  // All or nothing: take back what this call put on the handle.
  for (size_t i = installed.size(); i-- > 0;) {
    UninstallProtocolInterface(*handle, installed[i].first, installed[i].second);
  }
  *handle = original;
  return status;
}

EFI_STATUS FirmwareCore::Impl::UninstallProtocolInterface(EFI_HANDLE handle, EFI_GUID *protocol, void *interface) {
  if (protocol == nullptr) return EFI_INVALID_PARAMETER;
  HandleRecord *record = FindHandle(handle);
  if (record == nullptr) return EFI_INVALID_PARAMETER;
  ProtocolEntry *entry = FindProtocol(record, *protocol);
  if (entry == nullptr || entry->interface != interface) return EFI_NOT_FOUND;
  // There is no driver model to disconnect a driver that holds the
  // protocol, so such an uninstall is refused.
  for (const OpenEntry &open : entry->opens) {
    if ((open.attributes & (kByDriver | kExclusive)) != 0) return EFI_ACCESS_DENIED;
  }
  record->protocols.erase(record->protocols.begin() + (entry - record->protocols.data()));
  RemoveHandleIfEmpty(record);
  return EFI_SUCCESS;
}

EFI_STATUS FirmwareCore::Impl::HandleProtocol(EFI_HANDLE handle, EFI_GUID *protocol, void **interface) {
  if (protocol == nullptr || interface == nullptr) return EFI_INVALID_PARAMETER;
  *interface = nullptr;
  HandleRecord *record = FindHandle(handle);
  if (record == nullptr) return EFI_INVALID_PARAMETER;
  ProtocolEntry *entry = FindProtocol(record, *protocol);
  if (entry == nullptr) return EFI_UNSUPPORTED;
  *interface = entry->interface;
  return EFI_SUCCESS;
}

EFI_STATUS FirmwareCore::Impl::LocateProtocol(EFI_GUID *protocol, void *registration, void **interface) {
  if (protocol == nullptr || interface == nullptr) return EFI_INVALID_PARAMETER;
  auto counted = std::find_if(locateCounts.begin(), locateCounts.end(),
                              [protocol](const std::pair<EFI_GUID, size_t> &c) { return SameGuid(c.first, *protocol); });
  if (counted == locateCounts.end()) {
    locateCounts.emplace_back(*protocol, 1);
  } else {
    ++counted->second;
  }
  const ProtocolEntry *first = nullptr;
  for (const std::unique_ptr<HandleRecord> &record : handles) {
    const ProtocolEntry *entry = FindProtocol(record.get(), *protocol);
    if (entry != nullptr && (first == nullptr || entry->installSerial < first->installSerial)) first = entry;
  }
  *interface = first == nullptr ? nullptr : first->interface;
  return first == nullptr ? EFI_NOT_FOUND : EFI_SUCCESS;
}

EFI_STATUS FirmwareCore::Impl::LocateHandleBuffer(EFI_LOCATE_SEARCH_TYPE searchType, EFI_GUID *protocol,
                                                  void *searchKey, UINTN *count, EFI_HANDLE **buffer) {
  if (count == nullptr || buffer == nullptr) return EFI_INVALID_PARAMETER;
  *count = 0;
  *buffer = nullptr;
  if (searchType == ByProtocol && protocol == nullptr) return EFI_INVALID_PARAMETER;
  // Protocol notify registrations do not exist here, so no key is valid.
  if (searchType != AllHandles && searchType != ByProtocol) return EFI_INVALID_PARAMETER;

  auto matches = [&](HandleRecord *record) {
    return searchType == AllHandles || FindProtocol(record, *protocol) != nullptr;
  };
  size_t found = 0;
  for (const std::unique_ptr<HandleRecord> &record : handles) found += matches(record.get()) ? 1 : 0;
  if (found == 0) return EFI_NOT_FOUND;

  void *memory = nullptr;
  EFI_STATUS status = AllocateBlock(EfiBootServicesData, found * sizeof(EFI_HANDLE), &memory);
  if (EFI_ERROR(status)) return status;
  EFI_HANDLE *out = static_cast<EFI_HANDLE *>(memory);
  size_t n = 0;
  for (const std::unique_ptr<HandleRecord> &record : handles) {
    if (matches(record.get())) out[n++] = record.get();
  }
  *count = UINTN(found);
  *buffer = out;
  return EFI_SUCCESS;
}

EFI_STATUS FirmwareCore::Impl::OpenProtocol(EFI_HANDLE handle, EFI_GUID *protocol, void **interface,
                                            EFI_HANDLE agent, EFI_HANDLE controller, UINT32 attributes) {
  if (protocol == nullptr) return EFI_INVALID_PARAMETER;
  if (attributes != kTest && interface == nullptr) return EFI_INVALID_PARAMETER;
  HandleRecord *record = FindHandle(handle);
  if (record == nullptr) return EFI_INVALID_PARAMETER;
  switch (attributes) {
    case kByHandle:
    case kGet:
    case kTest:
      break;
    case kByChild:
      if (FindHandle(agent) == nullptr || FindHandle(controller) == nullptr || controller == handle) {
        return EFI_INVALID_PARAMETER;
      }
      break;
    case kByDriver:
    case kByDriver | kExclusive:
      if (FindHandle(agent) == nullptr || FindHandle(controller) == nullptr) return EFI_INVALID_PARAMETER;
      break;
    case kExclusive:
      if (FindHandle(agent) == nullptr) return EFI_INVALID_PARAMETER;
      break;
    default:
      return EFI_INVALID_PARAMETER;
  }

  ProtocolEntry *entry = FindProtocol(record, *protocol);
  if (entry == nullptr) {
    if (attributes != kTest) *interface = nullptr;
    return EFI_UNSUPPORTED;
  }
  if (attributes != kTest) *interface = entry->interface;

  bool exclusiveBySame = false, exclusiveByOther = false, driverBySame = false, driverByOther = false;
  for (const OpenEntry &open : entry->opens) {
    bool same = open.agent == agent;
    if ((open.attributes & kExclusive) != 0) (same ? exclusiveBySame : exclusiveByOther) = true;
    if ((open.attributes & kByDriver) != 0) (same ? driverBySame : driverByOther) = true;
  }
  // Another agent's hold would have to be released by disconnecting its
  // driver; there is no driver model to do that, so it is refused.
  switch (attributes) {
    case kByDriver:
      if (driverBySame) return EFI_ALREADY_STARTED;
      if (exclusiveBySame || exclusiveByOther || driverByOther) return EFI_ACCESS_DENIED;
      break;
    case kByDriver | kExclusive:
      if (exclusiveBySame || driverBySame) return EFI_ALREADY_STARTED;
      if (exclusiveByOther || driverByOther) return EFI_ACCESS_DENIED;
      break;
    case kExclusive:
      if (exclusiveBySame || exclusiveByOther || driverByOther) return EFI_ACCESS_DENIED;
      break;
    default:
      break;
  }
  if (attributes == kTest) return EFI_SUCCESS;

  for (OpenEntry &open : entry->opens) {
    if (open.agent == agent && open.controller == controller && open.attributes == attributes) {
      ++open.openCount;
      return EFI_SUCCESS;
    }
  }
  entry->opens.push_back(OpenEntry{agent, controller, attributes, 1});
  return EFI_SUCCESS;
}

EFI_STATUS FirmwareCore::Impl::CloseProtocol(EFI_HANDLE handle, EFI_GUID *protocol, EFI_HANDLE agent,
                                             EFI_HANDLE controller) {
  if (protocol == nullptr) return EFI_INVALID_PARAMETER;
  HandleRecord *record = FindHandle(handle);
  if (record == nullptr || FindHandle(agent) == nullptr) return EFI_INVALID_PARAMETER;
  if (controller != nullptr && FindHandle(controller) == nullptr) return EFI_INVALID_PARAMETER;
  ProtocolEntry *entry = FindProtocol(record, *protocol);
  if (entry == nullptr) return EFI_NOT_FOUND;
  size_t before = entry->opens.size();
  entry->opens.erase(std::remove_if(entry->opens.begin(), entry->opens.end(),
                                    [&](const OpenEntry &open) {
                                      return open.agent == agent && open.controller == controller;
                                    }),
                     entry->opens.end());
  return entry->opens.size() == before ? EFI_NOT_FOUND : EFI_SUCCESS;
}

EFI_STATUS FirmwareCore::Impl::OpenProtocolInformation(EFI_HANDLE handle, EFI_GUID *protocol,
                                                       EFI_OPEN_PROTOCOL_INFORMATION_ENTRY **entries,
                                                       UINTN *count) {
  if (protocol == nullptr || entries == nullptr || count == nullptr) return EFI_INVALID_PARAMETER;
  *entries = nullptr;
  *count = 0;
  HandleRecord *record = FindHandle(handle);
  if (record == nullptr) return EFI_INVALID_PARAMETER;
  ProtocolEntry *entry = FindProtocol(record, *protocol);
  if (entry == nullptr) return EFI_NOT_FOUND;
  // Even an empty list comes from the pool, so the caller frees every
  // buffer it was given.
  void *memory = nullptr;
  size_t n = entry->opens.size();
  EFI_STATUS status = AllocateBlock(EfiBootServicesData, n * sizeof(EFI_OPEN_PROTOCOL_INFORMATION_ENTRY), &memory);
  if (EFI_ERROR(status)) return status;
  EFI_OPEN_PROTOCOL_INFORMATION_ENTRY *out = static_cast<EFI_OPEN_PROTOCOL_INFORMATION_ENTRY *>(memory);
  for (size_t i = 0; i < n; ++i) {
    const OpenEntry &open = entry->opens[i];
    out[i] = EFI_OPEN_PROTOCOL_INFORMATION_ENTRY{open.agent, open.controller, open.attributes, open.openCount};
  }
  *entries = out;
  *count = UINTN(n);
  return EFI_SUCCESS;
}

}  // namespace sim
