#include "protocol/uNetworkAdapters.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "services/uLogs.h"

namespace lumaren {

std::unique_ptr<TNetworkAdapterList> NetworkAdapterList;

namespace {

// Hardware addresses longer than this (e.g. InfiniBand's 20 bytes) are cut.
constexpr std::size_t CON_MaxMacBytes = 8;

std::unique_ptr<TNetworkAdapter> LocalHostEntry() {
  auto entry = std::make_unique<TNetworkAdapter>();
  entry->Description = CON_LocalHostDescription;
  entry->IPv4 = CON_LocalHostIPv4;
  return entry;
}

// An address a node can be reached at; loopback is the local host entry's.
bool HasReachableIPv4(const platform::TAdapterInfo& info) {
  return !info.IsLoopback && !info.IPv4.empty() && info.IPv4 != "0.0.0.0";
}

}  // namespace

// ---- TNetworkAdapter ------------------------------------------------------

void TNetworkAdapter::Assign(const TNetworkAdapter& Source) { *this = Source; }

std::string TNetworkAdapter::InfoStr() const { return Description + " (" + IPv4 + ")"; }

std::string MacAddressToStr(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  const std::size_t count = std::min(bytes.size(), CON_MaxMacBytes);
  for (std::size_t i = 0; i < count; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
    if (i > 0) text += ':';
    text += pair;
  }
  return text;
}

// ---- TNetworkAdapterList ----------------------------------------------------

TNetworkAdapterList::TNetworkAdapterList(platform::TAdapterSource source, platform::TMessageBox messageBox)
    : FSource(std::move(source)), FMessageBox(std::move(messageBox)) {}

TNetworkAdapterList::~TNetworkAdapterList() = default;

std::size_t TNetworkAdapterList::CheckedIndex(int Index, int Count) const {
  if (Index < 0 || Index >= Count) {
    throw std::out_of_range("adapter index " + std::to_string(Index) + " out of range 0.." + std::to_string(Count - 1));
  }
  return static_cast<std::size_t>(Index);
}

int TNetworkAdapterList::Count() const { return static_cast<int>(FItems.size()); }

TNetworkAdapter& TNetworkAdapterList::Items(int Index) { return *FItems[CheckedIndex(Index, Count())]; }

const TNetworkAdapter& TNetworkAdapterList::Items(int Index) const { return *FItems[CheckedIndex(Index, Count())]; }

void TNetworkAdapterList::SetItems(int Index, std::unique_ptr<TNetworkAdapter> Adapter) {
  if (!Adapter) throw std::invalid_argument("no adapter given");
  FItems[CheckedIndex(Index, Count())] = std::move(Adapter);
}

int TNetworkAdapterList::Add(std::unique_ptr<TNetworkAdapter> Adapter) {
  if (!Adapter) throw std::invalid_argument("no adapter given");
  FItems.push_back(std::move(Adapter));
  return Count() - 1;
}

void TNetworkAdapterList::Insert(int Index, std::unique_ptr<TNetworkAdapter> Adapter) {
  if (!Adapter) throw std::invalid_argument("no adapter given");
  const std::size_t at = CheckedIndex(Index, Count() + 1);
  FItems.insert(FItems.begin() + static_cast<std::ptrdiff_t>(at), std::move(Adapter));
}

void TNetworkAdapterList::Delete(int Index) {
  FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(CheckedIndex(Index, Count())));
}

void TNetworkAdapterList::Clear() { FItems.clear(); }

// Adapters without a hardware address (loopback, tunnels) are left to the
// local host entry. An adapter that has one but no IPv4 address (unplugged,
// not configured yet) is listed with an empty address, so an adapter the
// preferences name stays visible in the settings while it is down; the
// lookups fall back past its empty address.
void TNetworkAdapterList::GetLocalAdapters() {
  Clear();
  if (!FSource) throw std::logic_error("no adapter source");
  const std::vector<platform::TAdapterInfo> adapters = FSource();
  if (std::none_of(adapters.begin(), adapters.end(), HasReachableIPv4)) {
    if (FMessageBox) FMessageBox(CON_NoAddressesText);
    return;
  }
  for (const auto& info : adapters) {
    if (info.HardwareAddress.empty()) continue;
    auto entry = std::make_unique<TNetworkAdapter>();
    entry->BroadcastSupport = info.BroadcastSupport;
    entry->Description = info.Description;
    entry->IPv4 = info.IPv4;
    entry->IsLoopback = info.IsLoopback;
    entry->IsUp = info.IsUp;
    entry->MacAddress = MacAddressToStr(info.HardwareAddress);
    entry->Name = info.Name;
    Add(std::move(entry));
  }
}

void TNetworkAdapterList::Update() {
  try {
    GetLocalAdapters();
    Insert(0, LocalHostEntry());
    std::vector<std::string> lines;
    lines.reserve(FItems.size());
    for (const auto& item : FItems) lines.push_back(item->InfoStr());
    AdapterList = std::move(lines);
  } catch (...) {
    // The program runs on with what was read; the reason is not logged.
    LogNewError(CON_AdapterUpdateError);
  }
}

void TNetworkAdapterList::Assign(const TNetworkAdapterList& Source) {
  if (&Source == this) return;
  Clear();
  for (const auto& item : Source.FItems) Add(std::make_unique<TNetworkAdapter>(*item));
}

int TNetworkAdapterList::IndexOfName(const std::string& AName) const {
  for (int i = 0; i < Count(); ++i)
    if (FItems[static_cast<std::size_t>(i)]->Name == AName) return i;
  return -1;
}

std::string TNetworkAdapterList::IPv4ToName(const std::string& AIP) const {
  for (const auto& item : FItems)
    if (item->IPv4 == AIP) return item->Name;
  return {};
}

std::string TNetworkAdapterList::NameToDescription(const std::string& AName) const {
  const int index = IndexOfName(AName);
  return index < 0 ? std::string() : Items(index).Description;
}

std::string TNetworkAdapterList::NameToIPv4(const std::string& AName, bool FallBackToFirst) const {
  if (FItems.empty()) return {};
  const int index = IndexOfName(AName);
  const std::string address = index < 0 ? std::string() : Items(index).IPv4;
  if (FallBackToFirst && (address.empty() || address == "0.0.0.0")) return FItems.front()->IPv4;
  return address;
}

// ---- Module -------------------------------------------------------------------

void NetworkAdaptersModuleStart(platform::TAdapterSource source, platform::TMessageBox messageBox) {
  NetworkAdapterList = std::make_unique<TNetworkAdapterList>(std::move(source), std::move(messageBox));
  NetworkAdapterList->Update();
}

void NetworkAdaptersModuleEnd() { NetworkAdapterList.reset(); }

}  // namespace lumaren
