#include "console/ClientActions.h"

namespace orvane {

std::optional<ClientRef> ClientActions::RefOf(const Usrdata* record) const {
  if (!host_.Clients.IsListed(record)) return std::nullopt;
  TFtpServer& server = host_.FtpServer1;
  for (int i = 0; i < server.ClientCount(); ++i) {
    if (server.Client(i).HostData == record)
      return ClientRef{record, server.Client(i).SequenceNumber};
  }
  return std::nullopt;
}

int ClientActions::EnginePosition(const ClientRef& ref) const {
  // Only pointer values are compared: the record behind a stale reference is never read.
  if (!host_.Clients.IsListed(ref.record)) return -1;
  TFtpServer& server = host_.FtpServer1;
  for (int i = 0; i < server.ClientCount(); ++i) {
    const TFtpCtrlSocket& client = server.Client(i);
    if (client.HostData == ref.record && client.SequenceNumber == ref.sequence) return i;
  }
  return -1;
}

Usrdata* ClientActions::Resolve(const ClientRef& ref) const {
  if (EnginePosition(ref) < 0) return nullptr;
  // The registry hands out the record itself; the reference only holds a pointer to read.
  for (Usrdata* record : host_.Clients.Listed()) {
    if (record == ref.record) return record;
  }
  return nullptr;
}

bool ClientActions::Kick(const ClientRef& ref, KickAnswer answer) {
  if (answer == KickAnswer::Cancel) return false;
  if (EnginePosition(ref) < 0) return false;
  if (answer == KickAnswer::Yes) Ban(ref, false);
  // The ban's screen line may have run the window's refresh: the position is taken again.
  const int position = EnginePosition(ref);
  if (position < 0) return false;
  host_.FtpServer1.Disconnect(position);
  return true;
}

void ClientActions::MassKick(bool ok) {
  if (ok) host_.FtpServer1.DisconnectAll();
}

bool ClientActions::Ban(const ClientRef& ref, bool writeFileLine) {
  const Usrdata* record = Resolve(ref);
  if (record == nullptr) return false;
  if (host_.banList.Contains(record->IP)) {
    host_.banList.Add(record->IP);  // an automatic ban becomes the operator's and stays
    return false;
  }
  const std::string ip = record->IP;
  const std::string user = record->UserName;
  host_.banList.Add(ip);
  host_.memo.Append(ip + " added to the ban list !");
  if (writeFileLine) {
    host_.Log().WriteStampedLine(user + " (" + ip + ") banned");
    host_.Log().Flush();
  }
  return true;
}

bool ClientActions::AddByHand(const std::string& text) {
  const bool listed = host_.banList.Contains(text);
  host_.banList.Add(text);  // also makes an automatic ban of the text the operator's
  return !listed;
}

void ClientActions::Unban(int position) {
  host_.banList.Delete(position);
}

}  // namespace orvane
