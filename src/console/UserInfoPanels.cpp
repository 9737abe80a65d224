#include "console/UserInfoPanels.h"

#include "host/AccountLimits.h"

namespace orvane {

UserInfoPanels::Texts UserInfoPanels::Empty() {
  return {"Idle: ", "Upload: ", "Download: ", "Speed: ", "Max dl: "};
}

std::string UserInfoPanels::Amount(const std::string& label, int64_t bytes) {
  const std::string text = std::to_string(bytes);
  if (text.size() < 6) return label + text + " bytes";
  return label + std::to_string(bytes / 1000) + " Kb";
}

std::string UserInfoPanels::Speed(int64_t bytes) {
  const std::string text = std::to_string(bytes);
  if (text.size() > 4) return "Speed: " + std::to_string(bytes / 1000) + " Kb/s";
  return "Speed: " + text + " bytes/s";
}

std::string UserInfoPanels::MaxDl(const Usrdata& record) {
  if (!record.EnableMaxdl) return "Max dl: No limite";
  // The sign counts as a character: -5 is shown in bytes, -50000 as -50 Kb.
  const std::string text = std::to_string(record.Credit);
  if (text.size() > 4) return "Max dl: " + std::to_string(record.Credit / 1000) + " Kb";
  return "Max dl: " + text + " bytes";
}

std::string UserInfoPanels::LimitsLine(const Usrdata& record, const AccountLimits& limits) {
  const std::string quota = limits.QuotaText(record);
  const std::string rates = AccountLimits::RatesText(int64_t{record.DownloadRate} * 1024,
                                                     int64_t{record.UploadRate} * 1024);
  std::string line;
  if (!quota.empty()) line = "Quota: " + quota;
  if (!rates.empty()) line += (line.empty() ? "" : "   ") + std::string("Rates: ") + rates;
  return line;
}

UserInfoPanels::Texts UserInfoPanels::Fill(const Usrdata& record) {
  return {"Idle: " + std::to_string(record.Idle) + " sec", Amount("Upload: ", record.Uploaded),
          Amount("Download: ", record.Downloaded), Speed(record.IntervalBytes), MaxDl(record)};
}

UserInfoPanels::Texts UserInfoPanels::Click(Usrdata& record) {
  record.IntervalBytes = 0;
  return Fill(record);
}

UserInfoPanels::Texts UserInfoPanels::Tick(Usrdata& record) {
  Texts texts = Fill(record);
  record.IntervalBytes = 0;
  return texts;
}

}  // namespace orvane
