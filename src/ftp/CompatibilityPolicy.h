#pragma once

#include <string>

#include "ftp/ListingStyle.h"

namespace orvane {

class IniFile;

// The one place that decides where the server departs from its Windows-era behaviour so that
// today's clients (rclone, lftp, ncftp, wget, curl, ftplib) work. The engine owns one
// (TFtpServer::Compatibility) and the host's access checks reach it through HostView.
//
// With "classic" on (FTPsrv.ini, section ServerFTP, key "classic", Boolean, default 0) every
// answer below is the original behaviour; off, the behaviour today's clients expect. Code that
// behaves differently in the two modes asks one of these questions; nothing else reads the
// switch. Fixes of plain faults (a stale restart offset, a wrong password admitted as another
// account) apply in both modes and are not decided here.
class CompatibilityPolicy {
 public:
  static constexpr const char* kSection = "ServerFTP";
  static constexpr const char* kKey = "classic";

  // Section ServerFTP, key "listlocaltime", Boolean, default 0: LIST shows times in the
  // server's local time rather than UTC (outside classic; classic always shows local time).
  static constexpr const char* kListLocalTimeKey = "listlocaltime";

  CompatibilityPolicy() = default;
  explicit CompatibilityPolicy(bool classic, bool listLocalTime = false)
      : classic_(classic), listLocalTime_(listLocalTime) {}

  // The switch and the listing time setting as FTPsrv.ini sets them.
  static CompatibilityPolicy Read(const IniFile& ini);

  bool Classic() const { return classic_; }

  // LIST/NLST with an argument that names an existing directory (no wildcard) lists that
  // directory's contents; classic: the directory's own entry.
  bool ListsNamedDirectory() const { return !classic_; }

  // A listing argument's leading option words are dropped and the rest names what is listed
  // ("LIST -a sub" lists sub); classic: an argument is dropped only when it is made entirely of
  // option words, otherwise it is kept whole.
  bool DropsLeadingListingOptions() const { return !classic_; }

  // A local directory or file path ("C:\home\user\") as PWD, XPWD, CWD, CDUP and MKD show it.
  // On the session's current drive: a UNIX absolute path without a closing "/" ("/home/user",
  // the root is "/"); on another drive, and always in classic mode: as the engine keeps it,
  // drive and all ("D:/data/").
  std::string ShownPath(const std::string& localPath, const std::string& currentDirectory) const;

  // A local path named in the reply of DELE, RMD, MKD, RNFR or RNTO: as ShownPath shows it;
  // classic: the local path as it stands ("C:\home\user\a.txt").
  std::string ReplyPath(const std::string& localPath, const std::string& currentDirectory) const {
    return classic_ ? localPath : ShownPath(localPath, currentDirectory);
  }

  // MKD's success reply for the directory made at `localPath`: 257 "<shown path>" with RFC 959
  // quoting (an inner '"' doubled), so that clients can read the new directory's path; classic:
  // "257 '<local path>': directory created.".
  std::string DirectoryCreatedReply(const std::string& localPath,
                                    const std::string& currentDirectory) const;

  // A directory above one of the account's entries may be entered, to pass through on the way
  // to the entry (nothing in it is granted): clients without a one-step path change (lftp)
  // walk from "/" to their target one component at a time. Classic: only covered directories.
  bool EntersDirectoriesAboveEntries() const { return !classic_; }

  // "." and ".." components of a CWD argument ("../sibling", "a/./b") are resolved by their
  // text before the directory rule and the rights see the path; one that would lead above the
  // drive root is refused with 550. Classic: any such component but the whole argument "." or
  // ".." is refused ("501 CWD failed. Cannot accept relative path using dot notation").
  bool ResolvesDotComponents() const { return !classic_; }

  // The form of LIST and NLST listings. Today: times in UTC (local time with listlocaltime=1),
  // the mode bits as on disk (what the account may do is still decided by its rights), NLST
  // without "." and "..", and no "<pattern> not found" line (an empty listing for a wildcard
  // that matches nothing, 550 for a name that does not exist). Classic: the original form.
  ListingStyle Listing() const;

  // NLST of a directory names its entries as "<argument>/<name>", so that each can be fetched
  // as given; classic: bare names.
  bool NamesListedWithDirectory() const { return !classic_; }

  // REST 0 is accepted (clients probe with it); classic: refused with 501.
  bool AcceptsRestartAtZero() const { return !classic_; }

  // Where the entry that grants W also grants D, an upload may overwrite an existing file,
  // APPE may append and REST + STOR may resume; classic: W creates new files only.
  bool WriteWithDeleteReplaces() const { return !classic_; }

  // A refusal for lack of a right, as the original answers it (for example "500 Cannot STOR.
  // No permission", or a listing's "451 Failed: Permission denied."): its code becomes 550,
  // the text after the code stays; classic: unchanged.
  std::string RightsRefusal(const std::string& classicReply) const;

  // The final reply of a download ended by ABOR or by the client's end of the connection
  // going away (a reset while sending), and the reply to that ABOR.
  // Today: "426 Connection closed; transfer aborted." then "226 ABOR command successful.";
  // classic: "501 Cannot RETR. <reason>" then "225 ABOR command successful.".
  std::string AbortedDownloadReply(const std::string& reason) const;
  std::string AbortReply(bool abortedTransfer) const;

  // The commands today's clients probe for beyond the original table (FEAT, OPTS, MDTM, MFMT,
  // MLSD, MLST, STAT, HELP, ALLO, MODE, STRU and the X aliases of MKD, RMD, CWD and CDUP) are
  // known; classic: each answers "500 '<keyword>': command not understood." as before.
  bool KnowsExtensions() const { return !classic_; }

  // Only logged-in clients count against the client limit (maxusr), checked at PASS, so that
  // connections that never log in cannot keep out those that do; classic: every connection
  // counts as it is accepted.
  bool CountsOnlyLoggedInClients() const { return !classic_; }

  // SIZE with a wildcard searches a directory: it needs the listing right there as well as the
  // read right; classic: the read right alone.
  bool SizeWildcardNeedsListing() const { return !classic_; }

  // The server listens on one dual-stack socket ("::", IPv6 and IPv4 clients alike); classic:
  // on "0.0.0.0", IPv4 only.
  bool ListensOnIPv6() const { return !classic_; }

  // Writers of the account file (the account editor and every account tool) store a password
  // as its hash in "PassHash"; classic: the clear "Pass" key, as the file always had it.
  bool StoresPasswordHashes() const { return !classic_; }

  // The anonymous-account matcher passes over named accounts to the anonymous ones after
  // them, so that adding a named account never cuts off anonymous access; classic: the first
  // eligible named account ends the search.
  bool AnonymousSkipsNamedAccounts() const { return !classic_; }

  // FEAT's reply: one line per extension the server knows, in RFC 2389's multi-line form;
  // empty in classic mode (FEAT is then unknown). With tls, also AUTH TLS, PBSZ and PROT.
  std::string FeatureReply(bool tls = false) const;

 private:
  bool classic_ = false;
  bool listLocalTime_ = false;
};

}  // namespace orvane
