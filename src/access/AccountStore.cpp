#include "access/AccountStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "access/PasswordHash.h"
#include "platform/AsciiCase.h"
#include "platform/IniFile.h"

namespace orvane {

namespace {

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(AsciiLower(x)) < static_cast<unsigned char>(AsciiLower(y));
  });
}

// Drops CR and LF so that no value can add lines (keys, sections) to the file.
std::string OneLine(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    if (c != '\r' && c != '\n') result += c;
  }
  return result;
}

void AppendLine(std::string& out, const std::string& key, const std::string& value) {
  out += key;
  out += '=';
  out += OneLine(value);
  out += "\r\n";
}

const char* Flag(bool value) {
  return value ? "1" : "0";
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string IoError(const std::string& what, const std::string& path, int error) {
  return what + " " + path + ": " + std::strerror(error);
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

void ReadAccount(const IniFile& ini, const std::string& section, users& account) {
  account.Name = section;
  account.Login = ini.ReadString(section, "Login", section);
  // A hash, when there is one, is the password: the clear key beside it is not read.
  account.PassHash = ini.ReadString(section, "PassHash", "");
  if (account.PassHash.empty()) account.Pass = ini.ReadString(section, "Pass", "");
  account.Message = ini.ReadString(section, "Message", "");
  account.Links = ini.ReadString(section, "Links", "");
  account.EnableLogin = ini.ReadBool(section, "EnableLogin", true);
  account.EnablePass = ini.ReadBool(section, "EnablePass", false);
  account.AllowNoop = ini.ReadBool(section, "AllowNoop", true);
  account.EnableMaxdl = ini.ReadBool(section, "EnableMaxdl", false);
  account.EnableRatio = ini.ReadBool(section, "EnableRatio", false);
  account.HideHidden = ini.ReadBool(section, "Hide hidden Files", false);
  account.AllowTimeout = ini.ReadBool(section, "TO", true);
  account.Enabled = ini.ReadBool(section, "Enabled", true);
  account.RequireTLS = ini.ReadBool(section, "RequireTLS", false);
  account.Maxdl = ini.ReadInteger(section, "Maxdl", 0);
  // Negative limits read as none.
  account.DownloadRate = std::max(0, ini.ReadInteger(section, "DownloadRate", 0));
  account.UploadRate = std::max(0, ini.ReadInteger(section, "UploadRate", 0));
  account.MaxSessions = std::max(0, ini.ReadInteger(section, "MaxSessions", 0));
  account.QuotaBytes = std::max<int64_t>(0, ini.ReadInt64(section, "QuotaBytes", 0));
  account.QuotaFiles = std::max<int64_t>(0, ini.ReadInt64(section, "QuotaFiles", 0));
  account.Xupl = ini.ReadInteger(section, "Xupl", 1);
  account.Xdl = ini.ReadInteger(section, "Xdl", 1);
  account.Timeout = ini.ReadInteger(section, "Timeout", 600);
  // A ratio side of 0 would divide by zero in the transfer accounting.
  if (account.Xupl == 0) account.Xupl = 1;
  if (account.Xdl == 0) account.Xdl = 1;
  for (std::size_t i = 0; i < kDirEntries; ++i) {
    const std::string n = std::to_string(i);
    account.Dirs[i].Dir = ini.ReadString(section, "Dir" + n, "");
    account.Dirs[i].Attr = ini.ReadString(section, "Attr" + n, "");
  }
}

std::string FixedKeysText(const users& account) {
  // Appended piece by piece: g++ 12 warns falsely (-Wrestrict) about "[" + std::string.
  std::string out = "[";
  out += OneLine(account.Name);
  out += "]\r\n";
  AppendLine(out, "Login", account.Login);
  if (account.PassHash.empty()) {
    AppendLine(out, "Pass", account.Pass);
  } else {
    AppendLine(out, "PassHash", account.PassHash);
  }
  AppendLine(out, "Message", account.Message);
  AppendLine(out, "Links", account.Links);
  AppendLine(out, "EnableLogin", Flag(account.EnableLogin));
  AppendLine(out, "EnablePass", Flag(account.EnablePass));
  AppendLine(out, "AllowNoop", Flag(account.AllowNoop));
  AppendLine(out, "EnableMaxdl", Flag(account.EnableMaxdl));
  AppendLine(out, "EnableRatio", Flag(account.EnableRatio));
  AppendLine(out, "Hide hidden Files", Flag(account.HideHidden));
  AppendLine(out, "TO", Flag(account.AllowTimeout));
  AppendLine(out, "Enabled", Flag(account.Enabled));
  AppendLine(out, "Maxdl", std::to_string(account.Maxdl));
  AppendLine(out, "Xupl", std::to_string(account.Xupl));
  AppendLine(out, "Xdl", std::to_string(account.Xdl));
  AppendLine(out, "Timeout", std::to_string(account.Timeout));
  // Written only when set, so that files of accounts without it stay as they were.
  if (account.RequireTLS) AppendLine(out, "RequireTLS", Flag(account.RequireTLS));
  const auto limit = [&out](const char* key, int64_t value) {
    if (value != 0) AppendLine(out, key, std::to_string(value));
  };
  limit("DownloadRate", account.DownloadRate);
  limit("UploadRate", account.UploadRate);
  limit("MaxSessions", account.MaxSessions);
  limit("QuotaBytes", account.QuotaBytes);
  limit("QuotaFiles", account.QuotaFiles);
  return out;
}

std::string DirEntriesText(const users& account) {
  std::string out;
  for (std::size_t i = 0; i < kDirEntries; ++i) {
    const TDir& entry = account.Dirs[i];
    const std::string n = std::to_string(i);
    if (!entry.Dir.empty()) AppendLine(out, "Dir" + n, entry.Dir);
    if (!entry.Attr.empty()) AppendLine(out, "Attr" + n, entry.Attr);
  }
  return out;
}

}  // namespace

users* AccountStore::CreateRecord() {
  arena_.push_back(std::make_unique<users>());
  return arena_.back().get();
}

std::vector<users*> AccountStore::ReadFile() {
  const IniFile ini(path_);
  std::vector<std::string> names = ini.Sections();
  // Names equal but for letter case keep their file order.
  std::stable_sort(names.begin(), names.end(), LessIgnoringCase);
  std::vector<users*> records;
  records.reserve(names.size());
  for (const std::string& name : names) {
    users* account = CreateRecord();
    ReadAccount(ini, name, *account);
    records.push_back(account);
  }
  return records;
}

void AccountStore::Load(const std::string& posixPath) {
  path_ = posixPath;
  editorList_ = ReadFile();
  accountList_ = editorList_;
}

void AccountStore::Reload() {
  editorList_ = ReadFile();
}

bool AccountStore::ReloadLive(std::string& why) {
  why.clear();
  FilePtr file(std::fopen(path_.c_str(), "rb"));
  if (!file) {
    why = IoError("Cannot read", path_, errno);
    return false;
  }
  std::string text;
  char buffer[8192];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, got);
  if (std::ferror(file.get())) {
    why = IoError("Cannot read", path_, errno);
    return false;
  }
  // A line that is no section, key, comment or blank is a half-written or mistyped file, which
  // the INI reader would pass over in silence and so drop accounts or keys.
  size_t lineNumber = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ++lineNumber;
    std::string line = text.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
      line.pop_back();
    }
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == ';') continue;
    const bool section = line[first] == '[' && line.back() == ']';
    if (!section && line.find('=') == std::string::npos) {
      why = path_ + " line " + std::to_string(lineNumber) +
            " is neither a section, a key nor a comment";
      return false;
    }
  }
  editorList_ = ReadFile();
  accountList_ = editorList_;
  return true;
}

bool AccountStore::Save(std::string& errorText) {
  errorText.clear();
  if (HashPasswords) {
    // Before the file is touched: a password that cannot be hashed stops the save.
    for (users* account : editorList_) {
      if (!HashClearPassword(*account)) {
        errorText = "Cannot hash the password of the account " + account->Name;
        return false;
      }
    }
  }
  // SECURITY: the file holds passwords: it is written readable and writable by its owner only
  // (0600), or stricter where the operator made the old file so.
  struct stat old {};
  const mode_t mode = ::stat(path_.c_str(), &old) == 0 ? (old.st_mode & 0600) : 0600;
  if (PathExists(path_) && ::unlink(path_.c_str()) != 0) {
    if (editorList_.empty()) {
      // Nothing would replace the old file, so its accounts would come back at the next
      // start-up although the server dropped them now.
      errorText = IoError("Cannot delete", path_, errno);
      return false;
    }
    // The old file is overwritten instead; make it writable first (a failure here shows when
    // the file is opened).
    struct stat info {};
    if (::stat(path_.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0) {
      ::chmod(path_.c_str(), (info.st_mode & 07777) | S_IWUSR);
    }
  }
  if (editorList_.empty()) {
    accountList_.clear();
    return true;
  }

  const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, mode);
  FilePtr file(fd >= 0 ? ::fdopen(fd, "wb") : nullptr);
  if (fd >= 0 && !file) ::close(fd);
  if (file) ::fchmod(fd, mode);  // a file that was overwritten keeps no wider mode either
  if (!file) {
    errorText = IoError("Cannot create", path_, errno);
    return false;
  }
  auto write = [&](const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), file.get()) == text.size() &&
           std::fflush(file.get()) == 0;
  };
  for (const users* account : editorList_) {
    if (!write(FixedKeysText(*account)) || !write(DirEntriesText(*account))) {
      errorText = IoError("Cannot write", path_, errno);
      return false;
    }
  }
  if (std::fclose(file.release()) != 0) {
    errorText = IoError("Cannot write", path_, errno);
    return false;
  }
  accountList_ = editorList_;
  return true;
}

bool AccountStore::HashClearPassword(users& account) {
  if (account.Pass.empty() || !account.PassHash.empty()) return true;
  std::string hash = PasswordHash::Hash(account.Pass);
  if (hash.empty()) return false;
  account.PassHash = std::move(hash);
  account.Pass.clear();
  return true;
}

users* AccountStore::NewAccount(const std::string& name) {
  users* account = CreateRecord();
  account->Name = name;
  account->Login = name;
  editorList_.push_back(account);
  return account;
}

bool AccountStore::DeleteAccount(users* account) {
  const auto it = std::find(editorList_.begin(), editorList_.end(), account);
  if (it == editorList_.end()) return false;
  editorList_.erase(it);
  return true;
}

users* AccountStore::FindAccount(const std::string& name) const {
  for (users* account : editorList_) {
    if (account->Name == name) return account;
  }
  return nullptr;
}

bool AccountStore::HasName(const std::string& name) const {
  return std::any_of(editorList_.begin(), editorList_.end(), [&](const users* account) {
    return EqualsIgnoreAsciiCase(account->Name, name);
  });
}

}  // namespace orvane
