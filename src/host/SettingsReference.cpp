#include "host/SettingsReference.h"

#include <cctype>

namespace orvane {

namespace {

using File = SettingsReference::File;
using Type = SettingsReference::Type;
constexpr File kServer = File::Server;
constexpr File kAccounts = File::Accounts;

// One row per key: file, section, key, type, default, meaning. Keep the rows of a section
// together; a row with an exact name goes before a pattern that also covers it.
const std::vector<SettingsReference::Key> kKeys = {
    {kServer, "ServerFTP", "port", Type::Port, "21",
     "the TCP port the server listens on; a port on the command line wins; 0 lets the system "
     "choose one (the start line names it)"},
    {kServer, "ServerFTP", "maxusr", Type::Integer, "2",
     "at most this many logged-in clients at once (with classic=1: connected clients); 0 for "
     "no limit"},
    {kServer, "ServerFTP", "minimize", Type::Boolean, "0",
     "the desktop program starts with its window hidden in the notification area"},
    {kServer, "ServerFTP", "demarrageauto", Type::Boolean, "0",
     "the desktop program starts the server at once (orvane-ftpd always does)"},
    {kServer, "ServerFTP", "sameipconnection", Type::Boolean, "0",
     "refuse a second connection from an address that already has one"},
    {kServer, "ServerFTP", "classic", Type::Boolean, "0",
     "1 answers exactly as the original Windows server did: no FEAT, EPSV, MLSD and other "
     "additions, drive letters in paths, IPv4 only"},
    {kServer, "ServerFTP", "listlocaltime", Type::Boolean, "0",
     "1 shows LIST times in the server's local time; 0 in UTC, as MDTM and MLSD do (classic "
     "always shows local time)"},
    {kServer, "ServerFTP", "notifications", Type::Boolean, "1",
     "the desktop program shows tray notifications (first client, bans, server stopped)"},
    {kServer, "ServerFTP", "maxperip", Type::NonNegative, "8",
     "connections one address may hold at once; 0 for no limit"},
    {kServer, "ServerFTP", "downloadrate", Type::NonNegative, "0",
     "KiB/s all downloads together may send, shared fairly among the running ones; 0 for no "
     "limit (counts on reload, for running transfers too)"},
    {kServer, "ServerFTP", "uploadrate", Type::NonNegative, "0",
     "KiB/s all uploads together may receive, shared fairly among the running ones; 0 for no "
     "limit (counts on reload, for running transfers too)"},
    {kServer, "ServerFTP", "maxprelogin", Type::NonNegative, "32",
     "connections not yet logged in, all addresses together; 0 for no limit"},
    {kServer, "ServerFTP", "logintimeout", Type::NonNegative, "60",
     "seconds a client may stay connected without logging in; 0 never ends it"},
    {kServer, "ServerFTP", "loginfaildelay", Type::NonNegative, "1",
     "seconds times the refusals so far on the connection before a refused password is "
     "answered (at most 60); 0 no delay"},
    {kServer, "ServerFTP", "maxloginfailures", Type::NonNegative, "3",
     "refused passwords that end the connection; 0 never"},
    {kServer, "ServerFTP", "banfailures", Type::NonNegative, "10",
     "refused passwords from one address within banwindow that put it on the ban list; 0 off"},
    {kServer, "ServerFTP", "banwindow", Type::NonNegative, "600",
     "the window in seconds for banfailures"},
    {kServer, "ServerFTP", "bantime", Type::NonNegative, "3600",
     "seconds an automatic ban lasts; 0 until the program ends"},
    {kServer, "FTPserver", "StayOnTop", Type::Boolean, "0",
     "the desktop program's main window stays above the others"},
    {kServer, "FTPserver", "Tip", Type::Boolean, "1",
     "the desktop program shows the tip window at start"},
    {kServer, "FTPserver", "X#", Type::Integer, "centred",
     "left edge of the main window on a screen # pixels wide"},
    {kServer, "FTPserver", "Y#", Type::Integer, "centred",
     "top edge of the main window on a screen # pixels high"},
    {kServer, "FTPserver", "height#", Type::Integer, "185",
     "height of the main window on a screen # pixels wide"},
    {kServer, "FTPserver", "width#", Type::Integer, "530",
     "width of the main window on a screen # pixels high"},
    {kServer, "Stats", "maxconnections", Type::Counter, "0",
     "statistics: the most clients connected at once"},
    {kServer, "Stats", "connections", Type::Counter, "0",
     "statistics: connections that reached the greeting"},
    {kServer, "Stats", "connectionsA", Type::Counter, "0",
     "statistics: logins accepted as anonymous"},
    {kServer, "Stats", "connectionsAC", Type::Counter, "0",
     "statistics: logins accepted by their account"},
    {kServer, "Stats", "connectionsRF", Type::Counter, "0", "statistics: refused logins"},
    {kServer, "Stats", "dl", Type::Counter, "0", "statistics: bytes downloaded"},
    {kServer, "Stats", "Upl", Type::Counter, "0", "statistics: bytes uploaded"},
    {kServer, "Screen", "13", Type::Integer, "100", "lines the memo keeps"},
    {kServer, "Screen", "11", Type::Boolean, "0",
     "every answer of the server shown in the memo and on standard output"},
    {kServer, "Screen", "12", Type::Boolean, "0",
     "every command of the clients shown in the memo and on standard output"},
    {kServer, "Screen", "#", Type::Boolean, "1",
     "event category # (1 to 10) shown in the memo and on standard output (see EVENT "
     "CATEGORIES)"},
    {kServer, "File", "13", Type::Text, "<DIR>FTP.log",
     "the log file; <DIR> stands for the settings directory"},
    {kServer, "File", "11", Type::Boolean, "0",
     "every answer of the server written to the log file"},
    {kServer, "File", "12", Type::Boolean, "0",
     "every command of the clients written to the log file"},
    {kServer, "File", "#", Type::Boolean, "1",
     "event category # (1 to 10) written to the log file"},
    {kServer, "WMessage", "line#", Type::Text, "none",
     "line # (from 0) of the greeting; macros allowed (see MACROS)"},
    {kServer, "TooManyUsersMessage", "line#", Type::Text, "none",
     "line # (from 0) of the refusal sent when maxusr clients are connected; macros allowed"},
    {kServer, "FreeFiles", "File#", Type::Text, "none",
     "entry # (from 0) of the free files: a file, a directory or a type (*.ext) whose "
     "downloads cost no download credit"},
    {kServer, "Drives", "@", Type::Text, "C=/",
     "the directory the drive letter @ of the account file stands for"},
    {kServer, "Passive", "ports", Type::PortRange, "empty",
     "passive data connections listen on this range, e.g. 50000-50100; empty: any port"},
    {kServer, "Passive", "address", Type::Text, "empty",
     "the IPv4 address or host name PASV announces (looked up at each PASV); empty: the "
     "local address"},
    {kServer, "TLS", "enabled", Type::Boolean, "0", "offer explicit FTPS (AUTH TLS)"},
    {kServer, "TLS", "cert", Type::Text, "empty",
     "PEM file of the certificate (chain); empty: the generated FTPsrv-cert.pem"},
    {kServer, "TLS", "key", Type::Text, "empty",
     "PEM file of the private key; empty: the generated FTPsrv-key.pem"},
    {kServer, "TLS", "requirelogin", Type::Boolean, "0",
     "refuse USER before AUTH TLS for every account"},
    {kServer, "TLS", "requirereuse", Type::Boolean, "0",
     "refuse a protected data connection that does not resume the control connection's TLS "
     "session"},
    {kServer, "TLS", "implicit", Type::Boolean, "0",
     "also listen on implicitport, where TLS starts at once (ftps:// URLs)"},
    {kServer, "TLS", "implicitport", Type::Integer, "990", "the port of implicit TLS"},
    {kServer, "Xferlog", "Enabled", Type::Boolean, "0",
     "write one xferlog line per finished or aborted file transfer"},
    {kServer, "Xferlog", "File", Type::Text, "<DIR>xferlog",
     "the transfer log; <DIR> stands for the settings directory"},

    {kAccounts, "*", "Login", Type::Text, "the section name",
     "the login name a client gives with USER"},
    {kAccounts, "*", "Pass", Type::Text, "empty",
     "the password in plain text, read only when PassHash is absent"},
    {kAccounts, "*", "PassHash", Type::Text, "empty",
     "the password's crypt(3) hash (yescrypt); when present Pass is not read"},
    {kAccounts, "*", "Message", Type::Text, "empty",
     "a text file sent after a successful login; macros allowed"},
    {kAccounts, "*", "Links", Type::Text, "empty",
     "a file of virtual links shown in listings, one NAME?TARGET line each"},
    {kAccounts, "*", "EnableLogin", Type::Boolean, "1",
     "the login name is checked; 0 makes an anonymous account that takes any user name"},
    {kAccounts, "*", "EnablePass", Type::Boolean, "0", "the password is checked"},
    {kAccounts, "*", "AllowNoop", Type::Boolean, "1",
     "kept for the account editor; changes no time-out"},
    {kAccounts, "*", "EnableMaxdl", Type::Boolean, "0", "the download credit Maxdl is enforced"},
    {kAccounts, "*", "EnableRatio", Type::Boolean, "0",
     "uploads earn download credit by the ratio Xdl:Xupl"},
    {kAccounts, "*", "Hide hidden Files", Type::Boolean, "0",
     "names starting with a dot are left out of listings"},
    {kAccounts, "*", "TO", Type::Boolean, "1", "the idle time-out Timeout applies"},
    {kAccounts, "*", "Enabled", Type::Boolean, "1", "the account may log in"},
    {kAccounts, "*", "RequireTLS", Type::Boolean, "0", "refuse a login in clear for this account"},
    {kAccounts, "*", "DownloadRate", Type::NonNegative, "0",
     "KiB/s each download of this account may send; 0 for no limit"},
    {kAccounts, "*", "UploadRate", Type::NonNegative, "0",
     "KiB/s each upload of this account may receive; 0 for no limit"},
    {kAccounts, "*", "MaxSessions", Type::NonNegative, "0",
     "logged-in sessions this account may have at once; one more login gets \"530 Too many "
     "sessions for this account (limit N).\"; 0 for no limit"},
    {kAccounts, "*", "QuotaBytes", Type::Counter, "0",
     "bytes the files under the account's directory entries may hold; an upload past it gets "
     "\"552 Quota exceeded\"; 0 for no limit"},
    {kAccounts, "*", "QuotaFiles", Type::Counter, "0",
     "files the account's directory entries may hold; 0 for no limit"},
    {kAccounts, "*", "Maxdl", Type::Integer, "0", "download credit in bytes granted at each login"},
    {kAccounts, "*", "Xupl", Type::Integer, "1", "upload side of the ratio (0 reads as 1)"},
    {kAccounts, "*", "Xdl", Type::Integer, "1",
     "download side of the ratio: each Xupl bytes uploaded earn Xdl bytes of credit (0 reads "
     "as 1)"},
    {kAccounts, "*", "Timeout", Type::Integer, "600", "idle time-out in seconds"},
    {kAccounts, "*", "Dir#", Type::Text, "empty",
     "directory entry # (0 to 150), a drive-letter path such as C:\\ftp\\pub; Dir0 is the "
     "home directory"},
    {kAccounts, "*", "Attr#", Type::Rights, "empty",
     "the rights of directory entry # (see RIGHTS)"},
};

bool MatchesAt(const std::string& pattern, size_t p, const std::string& name, size_t n) {
  if (p == pattern.size()) return n == name.size();
  const char c = pattern[p];
  if (c == '*') return true;
  if (c == '#') {
    size_t end = n;
    while (end < name.size() && std::isdigit(static_cast<unsigned char>(name[end]))) ++end;
    if (end == n) return false;
    // The digits run to the next non-digit: "#" never shares digits with what follows it.
    return MatchesAt(pattern, p + 1, name, end);
  }
  if (n == name.size()) return false;
  const unsigned char actual = static_cast<unsigned char>(name[n]);
  if (c == '@') return std::isalpha(actual) && MatchesAt(pattern, p + 1, name, n + 1);
  if (std::tolower(static_cast<unsigned char>(c)) != std::tolower(actual)) return false;
  return MatchesAt(pattern, p + 1, name, n + 1);
}

}  // namespace

const std::vector<SettingsReference::Key>& SettingsReference::Keys() {
  return kKeys;
}

bool SettingsReference::Matches(const std::string& pattern, const std::string& name) {
  return MatchesAt(pattern, 0, name, 0);
}

const SettingsReference::Key* SettingsReference::Find(File file, const std::string& section,
                                                      const std::string& key) {
  for (const Key& row : kKeys) {
    if (row.file == file && Matches(row.section, section) && Matches(row.key, key)) return &row;
  }
  return nullptr;
}

bool SettingsReference::KnowsSection(File file, const std::string& section) {
  for (const Key& row : kKeys) {
    if (row.file == file && Matches(row.section, section)) return true;
  }
  return false;
}

const char* SettingsReference::FileName(File file) {
  return file == File::Server ? "FTPsrv.ini" : "Accounts.ini";
}

const char* SettingsReference::TypeName(Type type) {
  switch (type) {
    case Type::Boolean:
      return "Boolean";
    case Type::Integer:
      return "integer";
    case Type::NonNegative:
      return "integer, 0 or more";
    case Type::Counter:
      return "64-bit integer";
    case Type::Port:
      return "port (0-65535)";
    case Type::PortRange:
      return "port range";
    case Type::Rights:
      return "right letters";
    case Type::Text:
      return "text";
  }
  return "text";
}

}  // namespace orvane
