#include "console/ClientActions.h"

namespace orvane {

std::optional<ClientRef> ClientActions::RefOf(const Usrdata* record) const {
  return host_.RefOf(record);
}

Usrdata* ClientActions::Resolve(const ClientRef& ref) const {
  return host_.Resolve(ref);
}

bool ClientActions::Kick(const ClientRef& ref, KickAnswer answer) {
  if (answer == KickAnswer::Cancel) return false;
  if (host_.Resolve(ref) == nullptr) return false;
  if (answer == KickAnswer::Yes) host_.Ban(ref, false);
  // The ban's screen line may have run the window's refresh: the reference is resolved again.
  return host_.Kick(ref);
}

int ClientActions::MassKick(bool ok) {
  return ok ? host_.KickAll() : 0;
}

bool ClientActions::Ban(const ClientRef& ref, bool writeFileLine) {
  return host_.Ban(ref, writeFileLine);
}

bool ClientActions::AddByHand(const std::string& text) {
  return host_.AddBan(text);
}

void ClientActions::Unban(int position) {
  if (position >= 0) host_.Unban(static_cast<std::size_t>(position));
}

}  // namespace orvane
