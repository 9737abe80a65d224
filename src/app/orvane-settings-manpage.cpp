// orvane-settings-manpage: a build step. Writes a configuration man page from its template,
// with the line "@KEYS@" replaced by every key of one file from the settings table, section by
// section, so that the page lists exactly the keys the programs read.
//
//   orvane-settings-manpage server|accounts TEMPLATE OUTPUT
#include <cctype>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "host/SettingsReference.h"

namespace {

using orvane::SettingsReference;

// Text for a roff body line: backslashes escaped, a leading dot or quote made harmless.
std::string Roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
  return out;
}

std::string Keys(SettingsReference::File file) {
  std::ostringstream page;
  std::string section;
  for (const SettingsReference::Key& row : SettingsReference::Keys()) {
    if (row.file != file) continue;
    if (row.section != section) {
      section = row.section;
      if (section == "*") {
        page << ".SS \"[NAME]: one section per account\"\n";
      } else {
        page << ".SS \"[" << Roff(section) << "]\"\n";
      }
    }
    std::string meaning = row.meaning;
    if (!meaning.empty()) meaning[0] = static_cast<char>(std::toupper(meaning[0]));
    page << ".TP\n.B \"" << Roff(row.key) << "\"\n"
         << Roff(SettingsReference::TypeName(row.type)) << ", default " << Roff(row.def) << ".\n"
         << Roff(meaning) << ".\n";
  }
  return page.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: " << argv[0] << " server|accounts TEMPLATE OUTPUT\n";
    return 2;
  }
  const std::string which = argv[1];
  const auto file =
      which == "accounts" ? SettingsReference::File::Accounts : SettingsReference::File::Server;
  std::ifstream in(argv[2]);
  if (!in) {
    std::cerr << argv[0] << ": cannot read " << argv[2] << "\n";
    return 1;
  }
  std::ostringstream out;
  std::string line;
  while (std::getline(in, line)) {
    if (line == "@KEYS@") {
      out << Keys(file);
    } else {
      out << line << "\n";
    }
  }
  std::ofstream result(argv[3], std::ios::trunc);
  result << out.str();
  return result.good() ? 0 : 1;
}
