#include "textdecode/transfer_decoding.h"

#include <array>
#include <cstddef>
#include <cstring>

#include "common/base64.h"
#include "textdecode/charset_conversion.h"

namespace korvani {
namespace {

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

struct CharsetName {
  const char* name;
  std::uint32_t length;
  TextCharset charset;
};

// Matched by their beginning, first match wins; "x-jis" labels Shift_JIS text.
constexpr CharsetName kCharsetNames[] = {
    {"iso-2022-jp", 11, TextCharset::Jis}, {"jis", 3, TextCharset::Jis},
    {"utf-8", 5, TextCharset::Utf8},       {"x-jis", 5, TextCharset::Sjis},
    {"shift_jis", 9, TextCharset::Sjis},   {"x-euc-jp", 8, TextCharset::Euc},
    {"euc_jp", 6, TextCharset::Euc},
};

struct TransferLetter {
  std::uint8_t letter;  // lower case
  TextEncoding encoding;
};

constexpr TransferLetter kTransferLetters[] = {
    {'q', TextEncoding::QuotedPrintable},
    {'b', TextEncoding::Base64},
};

// A conversion; returns whether it kept every character (see utf8ToSjis).
using Conversion = bool (*)(std::uint8_t*, std::uint32_t&, const std::uint8_t*, std::uint32_t);

// Only UTF-8 brings characters that code page 932 has no form for; the other conversions write
// something for every byte and count as keeping everything.
template <void (*convert)(std::uint8_t*, std::uint32_t&, const std::uint8_t*, std::uint32_t)>
bool keepingAll(std::uint8_t* result, std::uint32_t& resultLength, const std::uint8_t* text,
                std::uint32_t textLength) {
  convert(result, resultLength, text, textLength);
  return true;
}

struct CharsetConversion {
  Conversion convert;
  bool passesOn;  // the bytes come out as they went in
};

constexpr CharsetConversion kPassOn = {keepingAll<copySjis>, true};

// By TextCharset value; Auto (and any value outside the enumeration) passes the bytes on.
constexpr CharsetConversion kConversions[] = {kPassOn,
                                              {keepingAll<jisToSjis>, false},
                                              {utf8ToSjis, false},
                                              kPassOn,
                                              {keepingAll<eucToSjis>, false}};

CharsetConversion conversionFor(TextCharset charset) {
  const auto index = static_cast<std::uint32_t>(charset);
  return index < std::size(kConversions) ? kConversions[index] : kPassOn;
}

constexpr std::array<std::uint8_t, 256> makeHexDigits() {
  std::array<std::uint8_t, 256> digits{};  // anything else counts as 0
  for (int i = 0; i < 10; ++i) digits['0' + i] = static_cast<std::uint8_t>(i);
  for (int i = 0; i < 6; ++i) {
    digits['A' + i] = static_cast<std::uint8_t>(10 + i);
    digits['a' + i] = static_cast<std::uint8_t>(10 + i);
  }
  return digits;
}

constexpr std::array<std::uint8_t, 256> kHexDigits = makeHexDigits();

// The byte that hexValue gives for the two-character string `first` `second`: a NUL ends the
// string early.
inline std::uint8_t escapeValue(std::uint8_t first, std::uint8_t second) {
  if (first == 0) return 0;
  if (second == 0) return kHexDigits[first];
  return static_cast<std::uint8_t>(kHexDigits[first] << 4 | kHexDigits[second]);
}

// Runs of literal bytes are copied eight at a time while no '=' is among them.
constexpr std::size_t kWord = 8;
constexpr std::uint64_t kOnes = 0x0101010101010101;
constexpr std::uint64_t kHighBits = 0x8080808080808080;

inline bool hasEqualsSign(std::uint64_t word) {
  const std::uint64_t zeroWhereEquals = word ^ ('=' * kOnes);
  return ((zeroWhereEquals - kOnes) & ~zeroWhereEquals & kHighBits) != 0;
}

inline std::uint8_t lowerAscii(std::uint8_t byte) {
  return byte >= 'A' && byte <= 'Z' ? static_cast<std::uint8_t>(byte + ('a' - 'A')) : byte;
}

// The first index from `from` on where `first` is followed by `second`, both before `limit`.
std::size_t findPair(const std::uint8_t* text, std::size_t from, std::size_t limit,
                     std::uint8_t first, std::uint8_t second) {
  while (from < limit) {
    const void* hit = std::memchr(text + from, first, limit - from);
    if (hit == nullptr) return kNotFound;
    const auto index = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - text);
    if (index + 1 < limit && text[index + 1] == second) return index;
    from = index + 1;
  }
  return kNotFound;
}

std::size_t findByte(const std::uint8_t* text, std::size_t from, std::size_t limit,
                     std::uint8_t byte) {
  if (from >= limit) return kNotFound;
  const void* hit = std::memchr(text + from, byte, limit - from);
  return hit != nullptr ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - text)
                        : kNotFound;
}

// The parts of a recognised encoded word, as offsets into the line.
struct EncodedWord {
  std::size_t wordStart;  // the "=?"
  std::size_t textStart;
  std::size_t textEnd;  // before textStart when the text is empty
  std::size_t resume;   // where copying the rest of the line starts
  TextEncoding encoding;
  TextCharset charset;
};

// Finds the word that the first "=?" of the first `limit` bytes begins. Returns false when there
// is none or it is not recognised.
bool findEncodedWord(const std::uint8_t* line, std::size_t limit, std::uint32_t count,
                     EncodedWord& word) {
  word.wordStart = findPair(line, 0, limit, '=', '?');
  if (word.wordStart == kNotFound) return false;
  const std::size_t nameStart = word.wordStart + 2;
  word.charset = charsetFromName(line + nameStart, static_cast<std::uint32_t>(limit - nameStart));
  if (word.charset == TextCharset::Auto) return false;
  const std::size_t separator = findByte(line, nameStart, limit, '?');
  if (separator == kNotFound || separator + 2 >= limit || line[separator + 2] != '?') return false;
  const TransferLetter* transfer = nullptr;
  for (const auto& candidate : kTransferLetters) {
    if (lowerAscii(line[separator + 1]) == candidate.letter) transfer = &candidate;
  }
  if (transfer == nullptr) return false;
  word.encoding = transfer->encoding;
  word.textStart = separator + 3;
  if (const std::size_t marker = findPair(line, word.textStart, limit, '?', '=');
      marker != kNotFound) {
    word.textEnd = marker;
    word.resume = marker + 2;
  } else if (const std::size_t mark = findByte(line, word.textStart, limit, '?');
             mark != kNotFound) {
    word.textEnd = mark;
    word.resume = mark + 1;
  } else {
    // No end marker: the word runs up to the line's CR LF. A recognised word needs at least
    // eight bytes, so count - 2 cannot wrap.
    word.textEnd = count - 2;
    word.resume = count - 2;
  }
  return true;
}

}  // namespace

TextCharset charsetFromName(const std::uint8_t* name, std::uint32_t available) {
  for (const auto& entry : kCharsetNames) {
    if (entry.length > available) continue;
    std::uint32_t i = 0;
    while (i < entry.length && lowerAscii(name[i]) == static_cast<std::uint8_t>(entry.name[i])) {
      ++i;
    }
    if (i == entry.length) return entry.charset;
  }
  return TextCharset::Auto;
}

bool decodeLine(std::uint8_t* result, std::uint32_t& resultLength, const std::uint8_t* text,
                std::uint32_t textLength, TextEncoding encoding, TextCharset charset) {
  if (textLength > kLineBufferSize) textLength = kLineBufferSize;
  const auto [convert, passesOn] = conversionFor(charset);
  // Bytes that are passed on unchanged are transfer-decoded straight into the result; the
  // others need an intermediate buffer, which is not cleared because the conversions never read
  // past the decoded bytes.
  std::uint8_t buffer[kLineBufferSize];
  std::uint8_t* target = passesOn ? result : buffer;
  const std::uint8_t* decoded = target;
  std::uint32_t decodedLength = 0;
  switch (encoding) {
    case TextEncoding::QuotedPrintable:
      decodeQuotedPrintable(target, decodedLength, text, textLength);
      break;
    case TextEncoding::Base64:
      decodeBase64Text(target, decodedLength, text, textLength);
      break;
    default:
      decoded = text;
      decodedLength = textLength;
      break;
  }
  return convert(result, resultLength, decoded, decodedLength);
}

bool decodeEncodedWords(std::uint8_t* result, std::uint32_t& resultLength, const std::uint8_t* line,
                        std::uint32_t count) {
  const void* firstNul = std::memchr(line, 0, count);
  const std::size_t limit =
      firstNul != nullptr
          ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(firstNul) - line)
          : count;
  EncodedWord word;
  if (!findEncodedWord(line, limit, count, word)) {
    copySjis(result, resultLength, line, count);
    return true;
  }
  std::size_t written = word.wordStart;
  std::memcpy(result, line, written);
  bool kept = true;
  if (word.textEnd > word.textStart) {
    std::uint32_t decodedLength = 0;
    kept = decodeLine(result + written, decodedLength, line + word.textStart,
                      static_cast<std::uint32_t>(word.textEnd - word.textStart), word.encoding,
                      word.charset);
    written += decodedLength;
  }
  std::memcpy(result + written, line + word.resume, count - word.resume);
  resultLength = static_cast<std::uint32_t>(written + count - word.resume);
  return kept;
}

void decodeQuotedPrintable(std::uint8_t* result, std::uint32_t& resultLength,
                           const std::uint8_t* text, std::uint32_t textLength) {
  std::size_t written = 0;
  std::size_t i = 0;
  while (i < textLength) {
    if (textLength - i >= kWord) {
      std::uint64_t word;
      std::memcpy(&word, text + i, kWord);
      if (!hasEqualsSign(word)) {
        std::memcpy(result + written, &word, kWord);
        written += kWord;
        i += kWord;
        continue;
      }
    }
    const std::uint8_t byte = text[i];
    if (byte != '=') {
      result[written++] = byte;
      ++i;
      continue;
    }
    if (textLength - i < 3) break;  // an unfinished escape writes nothing
    result[written++] = escapeValue(text[i + 1], text[i + 2]);
    i += 3;
  }
  resultLength = static_cast<std::uint32_t>(written);
}

int hexValue(const char* digits) {
  std::uint32_t value = 0;
  for (; *digits != '\0'; ++digits) {
    value = value * 16 + kHexDigits[static_cast<std::uint8_t>(*digits)];
  }
  return static_cast<int>(value);
}

void decodeBase64Text(std::uint8_t* result, std::uint32_t& resultLength, const std::uint8_t* text,
                      std::uint32_t textLength) {
  const std::uint32_t quartets = textLength / 4;
  std::uint32_t written = 0;
  for (std::uint32_t k = 0; k < quartets; ++k) {
    written += static_cast<std::uint32_t>(
        decodeQuartet(text + 4 * static_cast<std::size_t>(k), result + written));
  }
  resultLength = written;
}

}  // namespace korvani
