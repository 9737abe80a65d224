#include "host/EscapeControlBytes.h"

namespace orvane {

namespace {

// The length of the well-formed UTF-8 sequence of two to four bytes at `at`, or 0.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  const std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                                                            : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

void AppendCaret(std::string& out, unsigned char c0) {
  out += '^';
  out += static_cast<char>(c0 == 0x7F ? '?' : c0 + 0x40);
}

}  // namespace

std::string EscapeControlBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F) {
      AppendCaret(out, byte);
      ++i;
      continue;
    }
    const std::size_t length = Utf8SequenceAt(text, i);
    if (length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      // U+0080 to U+009F: a C1 control written in UTF-8.
      out += "M-";
      AppendCaret(out, static_cast<unsigned char>(text[i + 1]) - 0x80);
      i += 2;
    } else if (length > 0) {
      out.append(text.substr(i, length));
      i += length;
    } else if (byte >= 0x80 && byte <= 0x9F) {
      // A raw C1 control byte, outside any UTF-8 sequence.
      out += "M-";
      AppendCaret(out, byte - 0x80);
      ++i;
    } else {
      out += static_cast<char>(byte);
      ++i;
    }
  }
  return out;
}

}  // namespace orvane
