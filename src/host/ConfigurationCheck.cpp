#include "host/ConfigurationCheck.h"

#include <cstring>

#include "ftp/PassivePorts.h"
#include "platform/IniFile.h"

namespace orvane {

namespace {

using Type = SettingsReference::Type;

// A value as the finding quotes it: cut, so that a line of garbage stays one readable line.
std::string Quoted(const std::string& value) {
  constexpr std::size_t kShown = 40;
  if (value.size() <= kShown) return value;
  return value.substr(0, kShown) + "...";
}

// Whether the value reads as an integer of the reader's width (32 or 64 bits) within the range.
bool IsInteger(const std::string& value, int64_t minValue, int64_t maxValue, bool wide = false) {
  int64_t parsed = 0;
  if (!IniFile::ParseInteger(value, wide ? INT64_MIN : INT32_MIN, wide ? INT64_MAX : INT32_MAX,
                             parsed)) {
    return false;
  }
  return parsed >= minValue && parsed <= maxValue;
}

// Why the reader cannot use the value, or "" when it can.
std::string Unusable(Type type, const std::string& value) {
  switch (type) {
    case Type::Boolean:
    case Type::Integer:
      return IsInteger(value, INT32_MIN, INT32_MAX) ? "" : "is not a number";
    case Type::NonNegative:
      return IsInteger(value, 0, INT32_MAX) ? "" : "is not a number of 0 or more";
    case Type::Counter:
      return IsInteger(value, INT64_MIN, INT64_MAX, true) ? "" : "is not a number";
    case Type::Port:
      return IsInteger(value, 0, 65535) ? "" : "is not a port number (0 to 65535)";
    case Type::PortRange: {
      PassivePorts range;
      return range.Parse(value) ? "" : "is not a port range from 1024 to 65535 such as 50000-50100";
    }
    case Type::Rights: {
      std::string wrong;
      for (char c : value) {
        if (std::strchr("RWDMLS-", c) == nullptr && wrong.find(c) == std::string::npos) {
          if (!wrong.empty()) wrong += ", ";
          wrong += c;
        }
      }
      return wrong.empty()
                 ? ""
                 : "holds " + wrong + ", which are no right letters (R W D M L S, - for none)";
    }
    case Type::Text:
      return "";
  }
  return "";
}

// What the reader does instead of an unusable value.
std::string Instead(const SettingsReference::Key& row) {
  switch (row.type) {
    case Type::Port:
      return "the server does not start; set it to a number such as 21";
    case Type::PortRange:
      return "any port is used";
    case Type::Rights:
      return "they grant nothing";
    default:
      return std::string("the default ") + row.def + " is taken";
  }
}

}  // namespace

std::vector<ConfigurationCheck::Finding> ConfigurationCheck::Check(const IniFile& ini,
                                                                   SettingsReference::File file) {
  std::vector<Finding> findings;
  const std::string& path = ini.Path();
  const bool server = file == SettingsReference::File::Server;
  const std::string consequence =
      server ? "every setting takes its default" : "no account can log in";
  if (ini.ReadError() != 0) {
    findings.push_back(
        {"Cannot read " + path + " (" + std::strerror(ini.ReadError()) + "): " + consequence});
    return findings;
  }
  if (ini.Missing()) {
    findings.push_back({path + " does not exist: " + consequence});
    return findings;
  }

  const std::vector<std::size_t> ignored = ini.IgnoredLines();
  for (std::size_t i = 0; i < ignored.size() && i < kMaxIgnoredLines; ++i) {
    findings.push_back({path + " line " + std::to_string(ignored[i]) +
                        ": neither a [section], a key=value line in a section nor a ;comment; "
                        "ignored"});
  }
  if (ignored.size() > kMaxIgnoredLines) {
    findings.push_back({path + ": " + std::to_string(ignored.size() - kMaxIgnoredLines) +
                        " more lines like these ignored"});
  }

  const std::vector<std::string> sections = ini.Sections();
  if (!server && sections.empty()) findings.push_back({path + " holds no account"});
  for (const std::string& section : sections) {
    if (!SettingsReference::KnowsSection(file, section)) {
      findings.push_back({path + ": section [" + section + "] is not known; ignored"});
      continue;
    }
    for (const std::string& key : ini.Keys(section)) {
      const std::string where =
          path + " line " + std::to_string(ini.LineOf(section, key)) + ": [" + section + "] ";
      const SettingsReference::Key* row = SettingsReference::Find(file, section, key);
      if (row == nullptr) {
        findings.push_back({where + key + " is not a known key; ignored"});
        continue;
      }
      const std::string value = ini.ReadString(section, key, "");
      const std::string why = Unusable(row->type, value);
      if (why.empty()) continue;
      findings.push_back({where + key + "=" + Quoted(value) + " " + why + "; " + Instead(*row),
                          row->type == Type::Port});
    }
  }
  return findings;
}

bool ConfigurationCheck::Fatal(const std::vector<Finding>& findings) {
  for (const Finding& finding : findings) {
    if (finding.fatal) return true;
  }
  return false;
}

}  // namespace orvane
