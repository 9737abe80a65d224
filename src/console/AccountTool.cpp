#include "console/AccountTool.h"

#include <cstring>

#include "host/ReadOnceSettings.h"
#include "platform/AsciiCase.h"
#include "platform/IniFile.h"

namespace orvane {
namespace {

std::map<char, std::string> DrivesOf(const std::string& settingsDir) {
  ReadOnceSettings settings;
  settings.Read(IniFile(settingsDir + "FTPsrv.ini"));
  if (settings.Drives.empty()) settings.Drives['C'] = "/";
  return settings.Drives;
}

}  // namespace

AccountTool::AccountTool(const std::string& settingsDir)
    : drives_(DrivesOf(settingsDir)), editor_(store_) {
  store_.Load(settingsDir + "Accounts.ini");
  store_.HashPasswords =
      !IniFile(settingsDir + "FTPsrv.ini").ReadBool("ServerFTP", "classic", false);
  editor_.Reload();
}

bool AccountTool::Letters(const std::string& text, std::array<bool, 6>& on) {
  on.fill(false);
  for (const char c : text) {
    const char* at =
        std::strchr(AccountEditor::kLetters, std::toupper(static_cast<unsigned char>(c)));
    if (c == '\0' || at == nullptr) return false;
    on[static_cast<size_t>(at - AccountEditor::kLetters)] = true;
  }
  return true;
}

bool AccountTool::DrivePath(const std::string& posixDir, std::string& drivePath,
                            std::string& error) const {
  std::string dir = posixDir;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (dir.empty() || dir[0] != '/') {
    error = "the directory must be an absolute path: " + posixDir;
    return false;
  }
  const std::optional<std::string> path = AccountEditor::ServerPath(dir, drives_);
  if (!path) {
    std::string list;
    for (const auto& [letter, directory] : drives_) {
      list += std::string(list.empty() ? "" : ", ") + letter + "=" + directory;
    }
    error = posixDir + " lies under no drive of [Drives] in FTPsrv.ini (" + list +
            "); add a drive for it there first";
    return false;
  }
  drivePath = *path;
  if (drivePath.back() != '\\') drivePath += '\\';
  return true;
}

bool AccountTool::List(std::string& out) {
  for (const std::string& name : editor_.Names()) {
    editor_.Select(name);
    const AccountFields& f = editor_.Fields();
    out += name + "  login " + (f.EnableLogin ? f.Login : "(anonymous)") +
           (f.Enabled ? "" : "  disabled") + "  home " +
           (f.Dirs.empty() ? "(none)" : f.Dirs[0].Dir + " " + f.Dirs[0].Attr) + "\n";
  }
  return true;
}

bool AccountTool::SelectExisting(const std::string& name, std::string& error) {
  for (const std::string& known : editor_.Names()) {
    if (known == name) {
      editor_.Select(name);
      return true;
    }
  }
  error = "no account named " + name;
  return false;
}

bool AccountTool::Show(const std::string& name, std::string& out, std::string& error) {
  if (!SelectExisting(name, error)) return false;
  const AccountFields& f = editor_.Fields();
  out = "Name: " + name + "\nLogin: " + (f.EnableLogin ? f.Login : "(anonymous)") + "\nPassword: " +
        (!f.EnablePass   ? "not asked"
         : f.HasPassHash ? "hash"
                         : "clear") +
        "\nEnabled: " + (f.Enabled ? "yes" : "no") +
        "\nMax dl: " + (f.EnableMaxdl ? f.Maxdl : "off") +
        "\nRatio: " + (f.EnableRatio ? f.Xupl + ":" + f.Xdl : "off") + "\nTime-out: " + f.Timeout +
        "\n";
  for (size_t i = 0; i < f.Dirs.size(); ++i) {
    out += std::string(i == 0 ? "Home: " : "Dir: ") + f.Dirs[i].Dir + " " + f.Dirs[i].Attr + "\n";
  }
  return true;
}

bool AccountTool::Add(const std::string& name, const std::string& home, const std::string& letters,
                      const std::string& login, const std::string& password, std::string& error) {
  std::array<bool, 6> on{};
  if (!Letters(letters, on)) {
    error = "rights are letters of " + std::string(AccountEditor::kLetters) + ": " + letters;
    return false;
  }
  std::string drivePath;
  if (!DrivePath(home, drivePath, error)) return false;
  if (!editor_.AddAccount(name, error)) return false;
  editor_.Select(name);
  AccountFields& f = editor_.Fields();
  f.EnableLogin = true;
  f.Login = login.empty() ? name : login;
  f.EnablePass = !password.empty();
  f.Pass = password;
  f.Enabled = true;
  if (!editor_.AddDirectory(drivePath, "", 0, error)) return false;
  editor_.SetLetters(0, on);
  return editor_.Ok(error);
}

bool AccountTool::Passwd(const std::string& name, const std::string& password, std::string& error) {
  if (!SelectExisting(name, error)) return false;
  AccountFields& f = editor_.Fields();
  f.EnablePass = !password.empty();
  f.Pass = password;
  f.HasPassHash = false;
  return editor_.Ok(error);
}

bool AccountTool::Remove(const std::string& name, std::string& error) {
  if (!SelectExisting(name, error)) return false;
  editor_.DeleteSelected();
  return store_.Save(error);
}

bool AccountTool::Rights(const std::string& name, const std::string& path,
                         const std::string& letters, std::string& error) {
  std::array<bool, 6> on{};
  if (!Letters(letters, on)) {
    error = "rights are letters of " + std::string(AccountEditor::kLetters) + ": " + letters;
    return false;
  }
  std::string drivePath;
  if (!DrivePath(path, drivePath, error) || !SelectExisting(name, error)) return false;
  const std::vector<TDir>& dirs = editor_.Fields().Dirs;
  size_t index = dirs.size();
  for (size_t i = 0; i < dirs.size(); ++i) {
    if (EqualsIgnoreAsciiCase(dirs[i].Dir, drivePath)) index = i;
  }
  if (index == dirs.size() && !editor_.AddDirectory(drivePath, "", index, error)) return false;
  editor_.SetLetters(index, on);
  return editor_.Ok(error);
}

}  // namespace orvane
