#pragma once

#include <cstddef>
#include <deque>
#include <string>

#include "access/Usrdata.h"
#include "console/ClientActions.h"

namespace orvane {

// What the spy window shows: the spied client, its caption and panels, and the lines of its
// commands (green) and of the server's replies to it (black). Lines come only for the spied
// record and only while the window is visible; showing the window again starts it empty. The
// text keeps the last kMaxLines lines, so a long session cannot grow it without end; each line
// costs one append (and, past the bound, one removal from the front).
class SpyFeed {
 public:
  static constexpr size_t kMaxLines = 5000;
  struct Line {
    std::string text;
    bool green = false;
  };

  // Starts spying on a client; caption is the list entry's caption (the Account).
  void Start(const ClientRef& ref, const std::string& caption);
  // The window was shown or hidden. Shown: the text restarts empty.
  void SetVisible(bool visible);
  bool Visible() const { return visible_; }
  const ClientRef& Spied() const { return spied_; }
  bool IsSpied(const Usrdata* record) const { return record != nullptr && record == spied_.record; }

  // The command and reply hooks; true when a line was added.
  bool Command(const Usrdata* record, const std::string& keyword, const std::string& params);
  bool Answer(const Usrdata* record, const std::string& reply);
  // A client left: true when it was the spied one (the window is then to hide). The spied
  // reference is forgotten so that a newcomer at the same address is not spied.
  bool Left(const Usrdata* record);
  void Clear();

  // Lines dropped from the front since the last call (the window removes as many from its
  // text), and the lines kept.
  size_t TakeDropped();
  const std::deque<Line>& Lines() const { return lines_; }

  std::string Caption() const { return "Spy user : " + name_; }
  static std::string UserNamePanel(const Usrdata& record) { return "UserName: " + record.UserName; }
  static std::string IpPanel(const Usrdata& record) { return "IP: " + record.IP; }
  // "&Show more Informations": eight lines joined by "\r\n", none after the last.
  static std::string MoreInformations(const Usrdata& record);

 private:
  bool Add(std::string text, bool green);

  ClientRef spied_;
  std::string name_;
  bool visible_ = false;
  std::deque<Line> lines_;
  size_t dropped_ = 0;
};

}  // namespace orvane
