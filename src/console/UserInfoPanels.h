#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "access/Usrdata.h"

namespace orvane {

class AccountLimits;

// The texts of the user information window's panels 1 to 5 for the selected record: idle time,
// upload, download, speed and the remaining download allowance, each in bytes or in "Kb" by the
// length of its decimal text.
class UserInfoPanels {
 public:
  using Texts = std::array<std::string, 5>;  // "Idle:", "Upload:", "Download:", "Speed:", "Max dl:"

  // The panels with no single selection.
  static Texts Empty();
  // A click on the list: the speed counter restarts from zero, then the panels are filled.
  static Texts Click(Usrdata& record);
  // A Timer1 tick: the speed is what the client moved since the previous tick or click, and the
  // counter restarts from zero.
  static Texts Tick(Usrdata& record);

  // "Upload: " / "Download: ": bytes below 100000 (fewer than six digits), else whole Kb.
  static std::string Amount(const std::string& label, int64_t bytes);
  static std::string Speed(int64_t bytes);
  static std::string MaxDl(const Usrdata& record);
  // The line under the list for the selected client's limits: "Quota: 600000 of 1048576 bytes,
  // 1 files   Rates: download 1024 KiB/s, upload none"; empty for a client without any.
  static std::string LimitsLine(const Usrdata& record, const AccountLimits& limits);

 private:
  static Texts Fill(const Usrdata& record);
};

}  // namespace orvane
