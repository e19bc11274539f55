#include "mail/japanese_text.h"

#include <array>
#include <cstdint>

#include "common/cp932_table.h"
#include "common/cp932_text.h"

namespace korvani::mail {
namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;
constexpr std::uint8_t kEscape = 0x1B;
constexpr std::uint8_t kShiftOut = 0x0E;
constexpr std::uint8_t kShiftIn = 0x0F;
constexpr std::uint8_t kSingleShift2 = 0x8E;
constexpr std::uint8_t kSingleShift3 = 0x8F;
constexpr std::uint32_t kFirstHalfWidthKatakana = 0xFF61;
// ISO 2022 allows any number of intermediate bytes; the sequences mail uses have at most two.
constexpr std::size_t kMaxEscapeIntermediates = 3;

std::uint8_t byteAt(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint8_t>(bytes[at]);
}

bool isJisByte(std::uint8_t byte) { return byte >= 0x21 && byte <= 0x7E; }
bool isEucByte(std::uint8_t byte) { return byte >= 0xA1 && byte <= 0xFE; }
bool isCp932Lead(std::uint8_t byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}
bool isCp932Trail(std::uint8_t byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

void appendReplacement(std::string& out) { appendUtf8(out, kReplacement); }

// `code` is a one-byte code, or lead byte * 256 + trail byte.
void appendCp932Code(std::string& out, std::uint32_t code) {
  const std::uint16_t character = cp932DecodeTable()[code];
  appendUtf8(out, character == kCp932NoForm ? kReplacement : character);
}

// The code page 932 code Windows gives JIS X 0208 row `first` - 0x20, cell `second` - 0x20:
// two rows share a lead byte, the odd row taking the trail bytes 0x40-0x9E and the even one
// 0x9F-0xFC. Rows 0x21-0x5E lead from 0x81, rows 0x5F-0x7E from 0xE0.
std::uint32_t cp932CodeOfJisPair(std::uint8_t first, std::uint8_t second) {
  const std::uint32_t lead = (first + 1u) / 2 + (first <= 0x5E ? 0x70 : 0xB0);
  std::uint32_t trail;
  if (first % 2 == 1) {
    trail = second + (second >= 0x60 ? 0x20u : 0x1Fu);
  } else {
    trail = second + 0x7Eu;
  }
  return lead << 8 | trail;
}

// Reads the code page 932 character at `at` (shiftJisToUtf8's rules); returns the bytes taken.
std::size_t appendCp932At(std::string& out, std::string_view bytes, std::size_t at) {
  const std::uint8_t lead = byteAt(bytes, at);
  if (isCp932Lead(lead) && at + 1 < bytes.size()) {
    const std::uint8_t trail = byteAt(bytes, at + 1);
    if (trail >= 0x80 || isCp932Trail(trail)) {
      appendCp932Code(out, static_cast<std::uint32_t>(lead) << 8 | trail);
      return 2;
    }
  }
  appendCp932Code(out, lead);  // a lead byte alone has no character
  return 1;
}

enum class CharacterSet { Ascii, Katakana, Jis0208, UnreadDoubleByte };

struct Designation {
  std::string_view sequence;
  CharacterSet set;
};

constexpr std::array kDesignations{
    Designation{"\x1b(B", CharacterSet::Ascii},
    Designation{"\x1b(J", CharacterSet::Ascii},
    Designation{"\x1b(I", CharacterSet::Katakana},
    Designation{"\x1b$@", CharacterSet::Jis0208},
    Designation{"\x1b$B", CharacterSet::Jis0208},
    Designation{"\x1b$(@", CharacterSet::Jis0208},
    Designation{"\x1b$(B", CharacterSet::Jis0208},
    Designation{"\x1b$(D", CharacterSet::UnreadDoubleByte},
};

// The length of the complete escape sequence at `at`, or 0 when there is none.
std::size_t escapeLength(std::string_view bytes, std::size_t at) {
  std::size_t end = at + 1;
  while (end < bytes.size() && end - at - 1 < kMaxEscapeIntermediates &&
         byteAt(bytes, end) >= 0x20 && byteAt(bytes, end) <= 0x2F) {
    ++end;
  }
  if (end >= bytes.size() || byteAt(bytes, end) < 0x30 || byteAt(bytes, end) > 0x7E) return 0;
  return end + 1 - at;
}

// The set in force after the escape `sequence`, given the set before it.
CharacterSet designatedSet(std::string_view sequence, CharacterSet before) {
  for (const Designation& row : kDesignations) {
    if (row.sequence == sequence) return row.set;
  }
  // A G0 designation of a set not read here: ESC $ F and ESC $ ( F (two-byte), ESC ( F.
  if (sequence.size() >= 3 && sequence[1] == '$' && (sequence.size() == 3 || sequence[2] == '(')) {
    return CharacterSet::UnreadDoubleByte;
  }
  if (sequence.size() == 3 && sequence[1] == '(') return CharacterSet::Ascii;
  return before;
}

}  // namespace

std::string shiftJisToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (std::size_t at = 0; at < bytes.size();) at += appendCp932At(out, bytes, at);
  return out;
}

std::string eucJpToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::uint8_t lead = byteAt(bytes, at);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++at;
      continue;
    }
    const bool startsCode = lead == kSingleShift2 || lead == kSingleShift3 || isEucByte(lead);
    // The bytes from 0x80 up that follow, as many as the code takes.
    const std::size_t wanted = !startsCode ? 0 : lead == kSingleShift3 ? 2 : 1;
    std::size_t taken = 0;
    while (taken < wanted && at + 1 + taken < bytes.size() &&
           byteAt(bytes, at + 1 + taken) >= 0x80) {
      ++taken;
    }
    const bool complete = startsCode && taken == wanted;
    const std::uint8_t second = taken > 0 ? byteAt(bytes, at + 1) : 0;
    if (complete && lead == kSingleShift2 && second >= 0xA1 && second <= 0xDF) {
      appendCp932Code(out, second);  // code page 932 keeps the half-width katakana at these bytes
    } else if (complete && isEucByte(lead) && isEucByte(second)) {
      appendCp932Code(out, cp932CodeOfJisPair(lead - 0x80, second - 0x80));
    } else {
      // Cut short, out of range, or JIS X 0212 (after 0x8F), which the table does not hold.
      appendReplacement(out);
    }
    at += 1 + taken;
  }
  return out;
}

std::string iso2022JpToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  CharacterSet designated = CharacterSet::Ascii;
  bool shiftedOut = false;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::uint8_t byte = byteAt(bytes, at);
    if (byte == kEscape) {
      const std::size_t length = escapeLength(bytes, at);
      if (length == 0) {
        appendReplacement(out);
        ++at;
        continue;
      }
      designated = designatedSet(bytes.substr(at, length), designated);
      shiftedOut = false;
      at += length;
      continue;
    }
    if (byte == kShiftOut || byte == kShiftIn) {
      shiftedOut = byte == kShiftOut;
      ++at;
      continue;
    }
    if (byte >= 0x80) {
      at += appendCp932At(out, bytes, at);
      continue;
    }
    const CharacterSet set = shiftedOut ? CharacterSet::Katakana : designated;
    if (!isJisByte(byte) || set == CharacterSet::Ascii) {
      out += static_cast<char>(byte);
      ++at;
    } else if (set == CharacterSet::Katakana) {
      if (byte <= 0x5F) {
        appendUtf8(out, kFirstHalfWidthKatakana + byte - 0x21);
      } else {
        appendReplacement(out);
      }
      ++at;
    } else if (at + 1 < bytes.size() && isJisByte(byteAt(bytes, at + 1))) {
      if (set == CharacterSet::Jis0208) {
        appendCp932Code(out, cp932CodeOfJisPair(byte, byteAt(bytes, at + 1)));
      } else {
        appendReplacement(out);
      }
      at += 2;
    } else {
      appendReplacement(out);  // the first byte of a pair, alone
      ++at;
    }
  }
  return out;
}

bool hasIso2022JpDesignation(std::string_view bytes) {
  for (std::string_view sequence : {"\x1b$B", "\x1b$@", "\x1b(I"}) {
    if (bytes.find(sequence) != std::string_view::npos) return true;
  }
  return false;
}

bool isWellFormedShiftJis(std::string_view bytes) {
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    const std::uint8_t byte = byteAt(bytes, at);
    if (byte < 0x80 || (byte >= 0xA1 && byte <= 0xDF)) continue;
    if (!isCp932Lead(byte) || at + 1 >= bytes.size()) return false;
    if (!isCp932Trail(byteAt(bytes, ++at))) return false;
  }
  return true;
}

bool isWellFormedEucJp(std::string_view bytes) {
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    const std::uint8_t byte = byteAt(bytes, at);
    if (byte < 0x80) continue;
    if (byte != kSingleShift2 && byte != kSingleShift3 && !isEucByte(byte)) return false;
    const std::size_t length = byte == kSingleShift3 ? 3 : 2;
    if (at + length > bytes.size()) return false;
    for (std::size_t i = 1; i < length; ++i) {
      if (!isEucByte(byteAt(bytes, at + i))) return false;
    }
    at += length - 1;
  }
  return true;
}

}  // namespace korvani::mail
