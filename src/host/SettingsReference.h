#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orvane {

// Every key the programs read from FTPsrv.ini and Accounts.ini, in one table: its section, its
// type, its default and what it does. The start-up check judges each value found by its row
// (ConfigurationCheck), the configuration man pages are made from it at build time
// (orvane-ftpd.ini(5), orvane-accounts(5)), and a test fails when a program reads a key that
// has no row. A new key is one more row in SettingsReference.cpp.
//
// Names compare without regard to letter case. In a section or key name "#" stands for one or
// more digits and "@" for one letter; a section "*" is any section (each section of
// Accounts.ini is one account).
class SettingsReference {
 public:
  enum class File { Server, Accounts };  // FTPsrv.ini, Accounts.ini

  enum class Type {
    Boolean,      // 1 or 0; any integer other than 0 is on
    Integer,      // a 32-bit decimal integer, or hexadecimal after 0x
    NonNegative,  // an Integer of 0 or more
    Counter,      // a 64-bit Integer
    Port,         // a port number 0-65535; no number refuses the start
    PortRange,    // FIRST-LAST within 1024-65535, or empty
    Rights,       // the right letters R W D M L S, "-" for a right not granted
    Text,         // stored as it is
  };

  struct Key {
    File file;
    const char* section;
    const char* key;
    Type type;
    const char* def;  // the default as the man page shows it
    const char* meaning;
  };

  static const std::vector<Key>& Keys();
  // The row that covers the key, or null when none does.
  static const Key* Find(File file, const std::string& section, const std::string& key);
  // Whether a section of the file holds keys of the table.
  static bool KnowsSection(File file, const std::string& section);
  static const char* FileName(File file);
  static const char* TypeName(Type type);
  // Whether a name from a file matches a name pattern of the table ("#", "@", "*").
  static bool Matches(const std::string& pattern, const std::string& name);
};

}  // namespace orvane
