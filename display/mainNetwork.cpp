// The main window on the network: the preferences applied to the UDP server
// and the heartbeat that announces the node.

#include <exception>
#include <stdexcept>
#include <string>

#include "config/uPreferences.h"
#include "display/main.h"
#include "protocol/uNetworkAdapters.h"
#include "services/uLogs.h"

namespace lumaren {

void TfmMain::PreferencesChanged() {
  tmrHeartbeat->SetEnabled(false);
  UDPServer->SetActive(false);

  FLocalNode->IPAddress = NetworkAdapterList ? NetworkAdapterList->NameToIPv4(Prefs->NetworkAdapter, true) : "";
  FLocalNode->NodeName = Prefs->NodeName();
  FLocalNode->Group = Prefs->Group();
  FLocalNode->Refresh = true;

  // The default port counts only when the server has no binding yet; later
  // starts reopen the binding on the port it already has.
  try {
    UDPServer->SetDefaultPort(Prefs->LocalPort);
    UDPServer->SetActive(true);
  } catch (const std::exception&) {
    // The preferred port is taken (or invalid): any free port will do, and
    // it replaces the preference below.
    UDPServer->ClearBindings();
    UDPServer->SetDefaultPort(0);
    UDPServer->SetActive(true);
  }
  Prefs->LocalPort = UDPServer->CurrentPort();

  tmrHeartbeat->SetInterval(Prefs->HeartbeatInterval);
  if (Prefs->HeartbeatInterval != 0 && UDPServer->Active()) {
    tmrHeartbeat->SetEnabled(true);
    FLocalNode->Announce(Prefs->DiscoveryPort);
  }
}

// Start-up and the settings dialog go on when the network cannot be set up:
// the failure is logged and the node stays silent until the preferences are
// applied again.
void TfmMain::ApplyNetworkPreferences() {
  if (!UDPServer || !Prefs) return;
  try {
    PreferencesChanged();
  } catch (const std::exception& e) {
    LogNewError(std::string("TfmMain.PreferencesChanged: ") + e.what());
  }
}

void TfmMain::tmrHeartbeatTimer() { FLocalNode->Announce(Prefs->DiscoveryPort); }

}  // namespace lumaren
