#include "console/AccountEditor.h"

#include <algorithm>
#include <charconv>

#include "platform/AsciiCase.h"

namespace orvane {

namespace {

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiLower(x) == AsciiLower(y);
         });
}

bool LessText(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return AsciiLower(x) < AsciiLower(y); });
}

// The decimal text of a number field; false with a message naming the field when it is not a
// whole number that fits.
template <typename Int>
bool ToNumber(const std::string& text, const char* field, Int& value, std::string& error) {
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  if (begin != end && *begin == '+') ++begin;
  Int parsed = 0;
  const auto [stop, ec] = std::from_chars(begin, end, parsed);
  if (begin == end || ec != std::errc() || stop != end) {
    error = "'" + text + "' is not a valid integer value for " + field + ".";
    return false;
  }
  value = parsed;
  return true;
}

// A limit: a number of 0 or more, 0 being none.
template <typename Int>
bool ToLimit(const std::string& text, const char* field, Int& value, std::string& error) {
  Int parsed = 0;
  if (!ToNumber(text, field, parsed, error)) return false;
  if (parsed < 0) {
    error = "'" + text + "' is not a valid value for " + field + ": 0 (none) or more.";
    return false;
  }
  value = parsed;
  return true;
}

}  // namespace

std::optional<std::string> AccountEditor::ServerPath(const std::string& posixPath,
                                                     const std::map<char, std::string>& drives) {
  std::map<char, std::string> map = drives;
  if (map.empty()) map['C'] = "/";
  std::optional<std::string> best;
  size_t bestLength = 0;
  for (const auto& [letter, directory] : map) {
    std::string root = directory;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    const bool inside = root == "/" ? posixPath.rfind('/', 0) == 0
                                    : posixPath == root || posixPath.rfind(root + "/", 0) == 0;
    if (!inside || (best && root.size() <= bestLength)) continue;
    std::string rest =
        posixPath.substr(root == "/" ? 1 : std::min(root.size() + 1, posixPath.size()));
    std::replace(rest.begin(), rest.end(), '/', '\\');
    best = std::string(1, letter) + ":\\" + rest;
    bestLength = root.size();
  }
  return best;
}

AccountEditor::AccountEditor(AccountStore& store) : store_(store) {
  LoadNames();
}

void AccountEditor::LoadNames() {
  names_.clear();
  for (const users* account : store_.EditorList()) names_.push_back(account->Name);
  std::stable_sort(names_.begin(), names_.end(), LessText);
}

users* AccountEditor::Record() const {
  return selected_ ? store_.FindAccount(*selected_) : nullptr;
}

void AccountEditor::Select(const std::string& name) {
  selected_ = name;
  Restore();
}

void AccountEditor::Restore() {
  const users* r = Record();
  if (r == nullptr) {
    Clear();
    return;
  }
  AccountFields f;
  f.EnableLogin = r->EnableLogin;
  f.Login = r->Login;
  f.EnablePass = r->EnablePass;
  // A hashed password cannot be shown: the field stays empty and keeps the hash until a new
  // password is typed.
  f.Pass = r->Pass;
  f.HasPassHash = !r->PassHash.empty();
  f.EnableMaxdl = r->EnableMaxdl;
  f.Maxdl = std::to_string(r->Maxdl);
  f.EnableRatio = r->EnableRatio;
  f.Xupl = std::to_string(r->Xupl);
  f.Xdl = std::to_string(r->Xdl);
  f.Links = r->Links;
  for (const TDir& entry : r->Dirs) {
    if (!entry.Dir.empty()) f.Dirs.push_back(entry);
  }
  f.HideHidden = r->HideHidden;
  f.Enabled = r->Enabled;
  f.AllowNoop = r->AllowNoop;
  f.RequireTLS = r->RequireTLS;
  f.AllowTimeout = r->AllowTimeout;
  f.Timeout = std::to_string(r->Timeout);
  f.Message = r->Message;
  f.DownloadRate = std::to_string(r->DownloadRate);
  f.UploadRate = std::to_string(r->UploadRate);
  f.MaxSessions = std::to_string(r->MaxSessions);
  f.QuotaBytes = std::to_string(r->QuotaBytes);
  f.QuotaFiles = std::to_string(r->QuotaFiles);
  fields_ = std::move(f);
  saveEnabled_ = false;
}

void AccountEditor::Clear() {
  selected_.reset();
  fields_ = AccountFields{};
  saveEnabled_ = false;
}

void AccountEditor::StoreDirs() {
  users* r = Record();
  if (r == nullptr) return;
  r->Dirs.fill(TDir{});
  for (size_t i = 0; i < fields_.Dirs.size() && i < kDirEntries; ++i) r->Dirs[i] = fields_.Dirs[i];
}

bool AccountEditor::Save(std::string& errorText) {
  users* r = Record();
  if (r == nullptr) return true;
  StoreDirs();
  AccountFields& f = fields_;
  r->EnableLogin = f.EnableLogin;
  r->Login = f.Login;
  r->EnablePass = f.EnablePass;
  if (!f.Pass.empty() || r->PassHash.empty()) {
    // A typed password replaces the hash; the store hashes it when it writes the file.
    r->Pass = f.Pass;
    r->PassHash.clear();
    f.HasPassHash = false;
  }
  r->EnableMaxdl = f.EnableMaxdl;
  if (!ToNumber(f.Maxdl, "Max download", r->Maxdl, errorText)) return false;
  r->EnableRatio = f.EnableRatio;
  // A ratio side of 0 would divide by zero in the accounting; it stands for 1.
  if (f.Xupl == "0") f.Xupl = "1";
  if (!ToNumber(f.Xupl, "the upload side of the ratio", r->Xupl, errorText)) return false;
  if (f.Xdl == "0") f.Xdl = "1";
  if (!ToNumber(f.Xdl, "the download side of the ratio", r->Xdl, errorText)) return false;
  r->Links = f.Links;
  r->HideHidden = f.HideHidden;
  r->Enabled = f.Enabled;
  r->AllowNoop = f.AllowNoop;
  r->RequireTLS = f.RequireTLS;
  r->AllowTimeout = f.AllowTimeout;
  if (!ToNumber(f.Timeout, "Time out", r->Timeout, errorText)) return false;
  r->Message = f.Message;
  if (!ToLimit(f.DownloadRate, "Download rate", r->DownloadRate, errorText) ||
      !ToLimit(f.UploadRate, "Upload rate", r->UploadRate, errorText) ||
      !ToLimit(f.MaxSessions, "Max sessions", r->MaxSessions, errorText) ||
      !ToLimit(f.QuotaBytes, "Quota bytes", r->QuotaBytes, errorText) ||
      !ToLimit(f.QuotaFiles, "Quota files", r->QuotaFiles, errorText)) {
    return false;
  }
  saveEnabled_ = false;
  return true;
}

bool AccountEditor::Ok(std::string& errorText) {
  if (!Save(errorText)) return false;
  return store_.Save(errorText);
}

void AccountEditor::Reload() {
  store_.Reload();
  LoadNames();
  Clear();
}

bool AccountEditor::AddAccount(const std::string& name, std::string& message) {
  if (name.empty() || name.find(' ') != std::string::npos) {
    message = "Please enter a name !";
    return false;
  }
  if (store_.HasName(name)) {
    message = "There is already a user with the same name ! Please choose an other name.";
    return false;
  }
  store_.NewAccount(name);
  LoadNames();
  saveEnabled_ = true;
  return true;
}

bool AccountEditor::RenameSelected(const std::string& newName, std::string& message) {
  if (!selected_) return true;
  if (newName.empty()) {
    message = "Please enter a name !";
    return false;
  }
  if (newName == *selected_) return true;
  if (store_.HasName(newName)) {
    message = "This name is already in the list ! Please choose an other one";
    return false;
  }
  if (users* r = Record()) r->Name = newName;
  selected_ = newName;
  LoadNames();
  saveEnabled_ = true;
  return true;
}

void AccountEditor::DeleteSelected() {
  if (users* r = Record()) store_.DeleteAccount(r);
  LoadNames();
  Clear();
}

std::array<bool, 6> AccountEditor::LettersOf(size_t index) const {
  std::array<bool, 6> on{};
  if (index >= fields_.Dirs.size()) return on;
  const std::string& attr = fields_.Dirs[index].Attr;
  for (size_t i = 0; i < 6; ++i) on[i] = attr.find(kLetters[i]) != std::string::npos;
  return on;
}

void AccountEditor::SetLetters(size_t index, const std::array<bool, 6>& on) {
  if (index >= fields_.Dirs.size()) return;
  std::string attr(6, '-');
  for (size_t i = 0; i < 6; ++i) {
    if (on[i]) attr[i] = kLetters[i];
  }
  if (attr != fields_.Dirs[index].Attr) saveEnabled_ = true;
  fields_.Dirs[index].Attr = attr;
  StoreDirs();
}

bool AccountEditor::AddDirectory(const std::string& dir, const std::string& attr, size_t position,
                                 std::string& message) {
  for (const TDir& line : fields_.Dirs) {
    if (SameText(line.Dir, dir)) {
      message = "This directory is already in the list !";
      return false;
    }
  }
  position = std::min(position, fields_.Dirs.size());
  fields_.Dirs.insert(fields_.Dirs.begin() + static_cast<std::ptrdiff_t>(position), {dir, attr});
  saveEnabled_ = true;
  return true;
}

void AccountEditor::DeleteDirectory(size_t index) {
  if (index >= fields_.Dirs.size()) return;
  fields_.Dirs.erase(fields_.Dirs.begin() + static_cast<std::ptrdiff_t>(index));
  saveEnabled_ = true;
}

void AccountEditor::SetHome(size_t index) {
  if (index >= fields_.Dirs.size()) return;
  std::swap(fields_.Dirs[0], fields_.Dirs[index]);
  saveEnabled_ = true;
}

}  // namespace orvane
