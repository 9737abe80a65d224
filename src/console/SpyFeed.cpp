#include "console/SpyFeed.h"

namespace orvane {

void SpyFeed::Start(const ClientRef& ref, const std::string& caption) {
  spied_ = ref;
  name_ = caption;
  Clear();
}

void SpyFeed::SetVisible(bool visible) {
  if (visible && !visible_) Clear();
  visible_ = visible;
}

bool SpyFeed::Add(std::string text, bool green) {
  lines_.push_back(Line{std::move(text), green});
  if (lines_.size() > kMaxLines) {
    lines_.pop_front();
    ++dropped_;
  }
  return true;
}

bool SpyFeed::Command(const Usrdata* record, const std::string& keyword,
                      const std::string& params) {
  if (!visible_ || !IsSpied(record)) return false;
  return Add("Command> " + keyword + " " + params, true);
}

bool SpyFeed::Answer(const Usrdata* record, const std::string& reply) {
  if (!visible_ || !IsSpied(record)) return false;
  return Add("Answer> " + reply, false);
}

bool SpyFeed::Left(const Usrdata* record) {
  if (!IsSpied(record)) return false;
  spied_ = ClientRef{};
  return true;
}

void SpyFeed::Clear() {
  lines_.clear();
  dropped_ = 0;
}

size_t SpyFeed::TakeDropped() {
  const size_t n = dropped_;
  dropped_ = 0;
  return n;
}

std::string SpyFeed::MoreInformations(const Usrdata& r) {
  return "Name: " + r.Account + "\r\nUserName: " + r.UserName + "\r\nIP: " + r.IP +
         "\r\nIdle: " + std::to_string(r.Idle) + " sec\r\nAction: " + r.Status +
         "\r\nConnected since: " + r.LoginTime + "\r\nLinks file: " + r.Links +
         "\r\nLogin message file: " + r.Message;
}

}  // namespace orvane
