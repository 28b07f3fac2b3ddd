#pragma once
// The machine's network adapters with their IPv4 addresses, headed by a fixed
// entry for the local host. Built once at module start into
// NetworkAdapterList; the settings dialog offers its entries and the
// preferences store the chosen entry's Name, which the main window turns back
// into an address with NameToIPv4.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/AdapterSource.h"
#include "platform/MessageBox.h"

namespace lumaren {

class TNetworkAdapter {
 public:
  bool BroadcastSupport = false;
  std::string Description;  // for people, e.g. "Ethernet lan0"
  std::string Gateway;      // never filled
  std::string IPv4;         // first IPv4 address, dotted; empty when it has none
  bool IsLoopback = false;
  bool IsUp = false;
  std::string MacAddress;   // "00:1A:2B:3C:4D:5E"
  std::string Name;         // the platform's adapter name, the key of the entry
  std::string SubnetMask;   // never filled

  // Copies all nine fields.
  void Assign(const TNetworkAdapter& Source);
  // "Description (IPv4)", e.g. "Local Host (127.0.0.1)".
  std::string InfoStr() const;
};

// The description of the entry that stands for the local host.
inline constexpr const char* CON_LocalHostDescription = "Local Host";
inline constexpr const char* CON_LocalHostIPv4 = "127.0.0.1";
// Shown when the machine has no IPv4 address besides the loopback one.
inline constexpr const char* CON_NoAddressesText = "No addresses were found for the requested parameters";
// The log's error entry for a failed Update.
inline constexpr const char* CON_AdapterUpdateError = "TNetworkAdapterList.Update";

// An owning list of adapters: replacing, deleting or clearing an entry frees it.
// Lookups compare exactly, letter case included, and never fail.
class TNetworkAdapterList {
 public:
  // source:     where Update reads the adapters from.
  // messageBox: tells the user when there is no IPv4 address at all.
  explicit TNetworkAdapterList(platform::TAdapterSource source = {}, platform::TMessageBox messageBox = {});
  ~TNetworkAdapterList();
  TNetworkAdapterList(const TNetworkAdapterList&) = delete;
  TNetworkAdapterList& operator=(const TNetworkAdapterList&) = delete;

  // One line per entry after Update, InfoStr of each, in entry order.
  std::vector<std::string> AdapterList;

  int Count() const;
  // std::out_of_range outside 0..Count()-1.
  TNetworkAdapter& Items(int Index);
  const TNetworkAdapter& Items(int Index) const;
  // Replaces the entry at Index and frees the old one.
  void SetItems(int Index, std::unique_ptr<TNetworkAdapter> Adapter);
  // Appends; returns the new entry's index.
  int Add(std::unique_ptr<TNetworkAdapter> Adapter);
  // Inserts before Index (0..Count()).
  void Insert(int Index, std::unique_ptr<TNetworkAdapter> Adapter);
  void Delete(int Index);
  void Clear();

  // Rebuilds the entries from the source, the local host entry first, and
  // AdapterList. Never raises: a failure is written to the log as
  // CON_AdapterUpdateError and the list keeps what the failed step left in
  // it (after a failed enumeration: no local host entry, and AdapterList
  // keeps its previous lines).
  void Update();
  // Clears this list and appends a copy of every entry of Source, in order;
  // AdapterList is not copied.
  void Assign(const TNetworkAdapterList& Source);

  // -1 when no entry has that name.
  int IndexOfName(const std::string& AName) const;
  // Empty when no entry has that address.
  std::string IPv4ToName(const std::string& AIP) const;
  std::string NameToDescription(const std::string& AName) const;
  // The address of the named entry. With FallBackToFirst, an unknown name,
  // an empty address and "0.0.0.0" give the first entry's address instead.
  // Empty on an empty list.
  std::string NameToIPv4(const std::string& AName, bool FallBackToFirst) const;

 private:
  void GetLocalAdapters();
  std::size_t CheckedIndex(int Index, int Count) const;

  platform::TAdapterSource FSource;
  platform::TMessageBox FMessageBox;
  std::vector<std::unique_ptr<TNetworkAdapter>> FItems;
};

// "00:1A:2B:3C:4D:5E": two upper-case hex digits per byte, at most 8 bytes.
std::string MacAddressToStr(const std::vector<std::uint8_t>& bytes);

// Valid from NetworkAdaptersModuleStart to NetworkAdaptersModuleEnd.
extern std::unique_ptr<TNetworkAdapterList> NetworkAdapterList;

// Creates NetworkAdapterList and fills it once from source. Start the log
// module first: a failed enumeration is logged. The message box may be shown
// here, before any window exists.
void NetworkAdaptersModuleStart(platform::TAdapterSource source, platform::TMessageBox messageBox);
void NetworkAdaptersModuleEnd();

}  // namespace lumaren
