#include "host/AccountLimits.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "access/Usrdata.h"
#include "platform/AsciiCase.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"

namespace orvane {

namespace {

bool HasQuota(const Usrdata& record) {
  return record.QuotaBytes > 0 || record.QuotaFiles > 0;
}

int64_t SizeIfFile(const std::string& winPath) {
  const std::optional<std::string> posix = FileSystem::ToPosix(winPath);
  if (!posix) return -1;
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(*posix, ec);
  if (ec || !std::filesystem::is_regular_file(status)) return -1;
  const auto size = std::filesystem::file_size(*posix, ec);
  return ec ? -1 : static_cast<int64_t>(size);
}

}  // namespace

void AccountLimits::Load(const IniFile& ini) {
  downloadRate_ = std::max(0, ini.ReadInteger("ServerFTP", "downloadrate", 0));
  uploadRate_ = std::max(0, ini.ReadInteger("ServerFTP", "uploadrate", 0));
}

AccountLimits::Usage AccountLimits::Count(const Usrdata& record) {
  // Every directory entry's tree once: an entry inside another one's is not walked again.
  std::set<std::string> roots;
  for (size_t i = 0; i < record.Dirs.size(); ++i) {
    if (record.Dirs[i].Dir.empty()) continue;
    if (std::optional<std::string> posix = FileSystem::ToPosix(record.Dirs[i].Dir)) {
      std::string root = std::filesystem::path(*posix).lexically_normal().string();
      while (root.size() > 1 && root.back() == '/') root.pop_back();
      roots.insert(root);
    }
  }
  Usage usage;
  int64_t seen = 0;
  std::string previous;
  for (const std::string& root : roots) {
    if (!previous.empty() &&
        (root == previous || (root.compare(0, previous.size(), previous) == 0 &&
                              (previous == "/" || root[previous.size()] == '/')))) {
      continue;  // inside the previous root (the set is sorted, so parents come first)
    }
    previous = root;
    std::error_code ec;
    std::filesystem::recursive_directory_iterator it(
        root, std::filesystem::directory_options::skip_permission_denied, ec);
    // Symbolic links are neither followed nor counted: what they lead to is not the account's.
    for (; !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (++seen > kMaxCountedEntries) {
        usage.partial = true;
        return usage;
      }
      const auto status = it->symlink_status(ec);
      if (ec) break;
      if (std::filesystem::is_regular_file(status)) {
        ++usage.files;
        usage.bytes += static_cast<int64_t>(it->file_size(ec));
        ec.clear();
      }
    }
  }
  return usage;
}

void AccountLimits::LoggedIn(const Usrdata& record) {
  LoggedOut(record);
  if (!HasQuota(record)) return;
  auto found = usage_.find(record.Account);
  if (found == usage_.end()) found = usage_.emplace(record.Account, Count(record)).first;
  ++found->second.sessions;
  sessions_[&record].account = record.Account;
}

void AccountLimits::LoggedOut(const Usrdata& record) {
  const auto it = sessions_.find(&record);
  if (it == sessions_.end()) return;
  const auto usage = usage_.find(it->second.account);
  if (usage != usage_.end() && --usage->second.sessions <= 0) usage_.erase(usage);
  sessions_.erase(it);
}

const AccountLimits::Usage* AccountLimits::UsageOf(const std::string& account) const {
  const auto it = usage_.find(account);
  return it == usage_.end() ? nullptr : &it->second;
}

AccountLimits::Usage* AccountLimits::UsageFor(const Usrdata& record) {
  const auto session = sessions_.find(&record);
  if (session == sessions_.end()) return nullptr;
  const auto it = usage_.find(session->second.account);
  return it == usage_.end() ? nullptr : &it->second;
}

std::string AccountLimits::QuotaText(const Usrdata& record) const {
  const auto session = sessions_.find(&record);
  if (session == sessions_.end()) return "";
  const Usage* usage = UsageOf(session->second.account);
  if (usage == nullptr) return "";
  std::string text = std::to_string(usage->bytes);
  if (record.QuotaBytes > 0) text += " of " + std::to_string(record.QuotaBytes);
  text += " bytes, " + std::to_string(usage->files);
  if (record.QuotaFiles > 0) text += " of " + std::to_string(record.QuotaFiles);
  text += " files";
  if (usage->partial) text += " (counted up to " + std::to_string(kMaxCountedEntries) + " entries)";
  return text;
}

std::string AccountLimits::RatesText(int64_t downloadBytes, int64_t uploadBytes) {
  if (downloadBytes <= 0 && uploadBytes <= 0) return "";
  const auto rate = [](int64_t bytes) {
    return bytes > 0 ? std::to_string(bytes / 1024) + " KiB/s" : std::string("none");
  };
  return "download " + rate(downloadBytes) + ", upload " + rate(uploadBytes);
}

void AccountLimits::Command(const Usrdata& record, const std::string& keyword,
                            const std::string& params) {
  const auto it = sessions_.find(&record);
  if (it == sessions_.end()) return;
  Session& s = it->second;
  const std::string verb = AsciiUpper(keyword);
  if (verb == "ALLO") {
    // "ALLO n" or "ALLO n R m": the first number is the size.
    s.announced = -1;
    try {
      size_t used = 0;
      const long long n = std::stoll(params, &used);
      if (used > 0 && n >= 0) s.announced = n;
    } catch (const std::exception&) {
    }
  } else if (verb == "STOR" || verb == "STOU" || verb == "APPE") {
    s.nextAppends = verb == "APPE";
  }
}

std::string AccountLimits::RefuseUpload(const Usrdata& record, const std::string& path) {
  const auto it = sessions_.find(&record);
  Usage* usage = UsageFor(record);
  if (it == sessions_.end() || usage == nullptr) return "";
  Session& s = it->second;
  const int64_t announced = s.announced;
  s.announced = -1;
  Upload upload;
  upload.path = path;
  upload.append = s.nextAppends;
  upload.oldSize = SizeIfFile(path);
  upload.existed = upload.oldSize >= 0;
  if (!upload.existed) upload.oldSize = 0;
  // An upload over an existing file frees its old size first; an append keeps it.
  const int64_t freed = upload.existed && !upload.append ? upload.oldSize : 0;
  const std::string used = " (" + QuotaText(record) + ")";
  if (record.QuotaFiles > 0 && !upload.existed && usage->files >= record.QuotaFiles) {
    return "file quota reached" + used;
  }
  if (record.QuotaBytes > 0) {
    if (usage->bytes - freed >= record.QuotaBytes) return "byte quota reached" + used;
    if (announced >= 0 && usage->bytes - freed + announced > record.QuotaBytes) {
      return "announced " + std::to_string(announced) + " bytes would pass the quota" + used;
    }
  }
  s.uploading = true;
  s.upload = upload;
  return "";
}

bool AccountLimits::Receive(const Usrdata& record, int64_t len) {
  const auto it = sessions_.find(&record);
  Usage* usage = UsageFor(record);
  if (it == sessions_.end() || usage == nullptr || !it->second.uploading) return true;
  Upload& upload = it->second.upload;
  if (upload.overQuota) return false;
  const int64_t freed = upload.existed && !upload.append ? upload.oldSize : 0;
  if (record.QuotaBytes > 0 && usage->bytes - freed + len > record.QuotaBytes) {
    upload.overQuota = true;
    return false;
  }
  usage->bytes += len;
  upload.counted += len;
  return true;
}

bool AccountLimits::UploadEnded(const Usrdata& record) {
  const auto it = sessions_.find(&record);
  if (it == sessions_.end() || !it->second.uploading) return false;
  Session& s = it->second;
  s.uploading = false;
  const Upload upload = s.upload;
  if (upload.overQuota && !upload.existed) FileSystem::DeleteFile(upload.path);
  Usage* usage = UsageFor(record);
  if (usage == nullptr) return upload.overQuota;
  // The disk has the last word: what the live count guessed is replaced by the file's change.
  const int64_t now = SizeIfFile(upload.path);
  usage->bytes += std::max<int64_t>(0, now) - upload.oldSize - upload.counted;
  if (!upload.existed && now >= 0) ++usage->files;
  if (upload.existed && now < 0) --usage->files;
  usage->bytes = std::max<int64_t>(0, usage->bytes);
  usage->files = std::max<int64_t>(0, usage->files);
  return upload.overQuota;
}

void AccountLimits::DeleteAsked(const Usrdata& record, const std::string& path) {
  const auto it = sessions_.find(&record);
  if (it == sessions_.end()) return;
  it->second.deleting = path;
  it->second.deletingSize = SizeIfFile(path);
}

void AccountLimits::AfterCommand(const Usrdata& record) {
  const auto it = sessions_.find(&record);
  if (it == sessions_.end() || it->second.deleting.empty()) return;
  Session& s = it->second;
  Usage* usage = UsageFor(record);
  if (usage != nullptr && s.deletingSize >= 0 && SizeIfFile(s.deleting) < 0) {
    usage->bytes = std::max<int64_t>(0, usage->bytes - s.deletingSize);
    usage->files = std::max<int64_t>(0, usage->files - 1);
  }
  s.deleting.clear();
  s.deletingSize = -1;
}

}  // namespace orvane
