// Proposed file names: every byte a mail may propose, from raw bytes and from decoded text,
// devices, Unicode forms, the length cut and duplicates.
#include "common/safe_name.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "common/cp932_text.h"
#include "support/test_files.h"

namespace korvani {
namespace {

constexpr NameSource kSources[] = {NameSource::RawBytes, NameSource::DecodedText};

std::string sourceName(NameSource source) {
  return source == NameSource::RawBytes ? "raw bytes" : "decoded text";
}

std::string safe(std::string_view proposed, NameSource source) {
  return safeName(proposed, source).name;
}

std::string asciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Written out again here rather than shared with the code, so that a device left out of one
// list is caught by the other.
const std::vector<std::string> kDevices = {
    "CON",  "PRN",  "AUX",  "NUL",  "COM0", "COM1", "COM2", "COM3", "COM4",   "COM5",   "COM6",
    "COM7", "COM8", "COM9", "LPT0", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5",   "LPT6",   "LPT7",
    "LPT8", "LPT9", "COM¹", "COM²", "COM³", "LPT¹", "LPT²", "LPT³", "CONIN$", "CONOUT$"};

bool isDevice(const std::string& name) {
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  return std::any_of(kDevices.begin(), kDevices.end(), [&](const std::string& device) {
    return asciiLower(device) == asciiLower(stem);
  });
}

// What every name that reaches the disk must be, whatever was proposed.
void expectSafe(const SafeName& result, std::string_view proposed, NameSource source) {
  SCOPED_TRACE(::testing::PrintToString(std::string(proposed)) + " as " + sourceName(source));
  const std::string& name = result.name;
  EXPECT_EQ(result.verdict == ProposedNameVerdict::Usable, !name.empty());
  EXPECT_LE(name.size(), kMaxNameBytes);
  EXPECT_TRUE(isValidUtf8(name));
  EXPECT_EQ(toNfc(name), name) << "not in NFC";
  for (std::size_t at = 0; at < name.size(); ++at) {
    const auto byte = static_cast<unsigned char>(name[at]);
    EXPECT_FALSE(byte < 0x20 || byte == 0x7F ||
                 std::string_view("/<>:\"|?*").find(name[at]) != std::string_view::npos)
        << "byte " << int{byte};
    EXPECT_FALSE(byte == 0xC2 && at + 1 < name.size() &&
                 static_cast<unsigned char>(name[at + 1]) <= 0x9F)
        << "C1 control";
  }
  if (source == NameSource::DecodedText) {
    EXPECT_EQ(name.find('\\'), std::string::npos);
  }
  EXPECT_FALSE(isDevice(name));
  EXPECT_EQ(safe(name, source), name) << "not its own safe name";
  if (name.empty()) return;
  EXPECT_NE(name.front(), '.');
  EXPECT_NE(name.back(), '.');
  EXPECT_NE(name.back(), ' ');
}

struct Case {
  std::string proposed;
  std::string safe;
};

TEST(SafeNameTest, RawBytesKeepTheLastComponentAfterSlashOnlyAndReadShiftJis) {
  const Case cases[] = {
      {"report.pdf", "report.pdf"},
      {"../../.ssh/authorized_keys", "authorized_keys"},
      {"/etc/passwd", "passwd"},
      {"a\\b.txt", "a\\b.txt"},    // '\' is no separator here
      {"\x95\x5C.txt", "表.txt"},  // in Shift_JIS: 0x5C is a trail byte, no separator
      {"dir/\x83\x5C\x83\x74\x83\x67.doc", "ソフト.doc"},
      {"\x87\x40\xED\x40\xFA\x40.txt", "①纊ⅰ.txt"},  // NEC row 13, NEC and IBM extensions
      {"\xB1\xB2.txt", "ｱｲ.txt"},                    // half-width katakana
      {"a\xA0\xFD.bin", "a__.bin"},  // no code page 932 character: no valid UTF-8 either
      {"\xE8\xA1\xA8.txt", "\xE8\xA1\xA8.txt"},  // 表.txt in UTF-8
      {"a\tb\r\n\x1B[31m\x7F.bin", "a_b___[31m_.bin"},
      {std::string("x\0y", 3), "x_y"},
      {".bashrc", "_bashrc"},
      {"a/..b", "__b"},
      {"x/-", "-"},
      // Once the classic path had rules of its own; now it shares the engine's.
      {"a.b.", "a.b"},                                 // trailing dots were kept
      {"C:\\temp\\\x83\x5C.txt", "C_\\temp\\ソ.txt"},  // ':' was kept
      {"invoice\u202Efdp.exe", "invoice_fdp.exe"},     // the override was kept
      {"a\u0085b\u2066.txt", "a_b_.txt"},              // C1 and isolates were kept
      {"con.txt", "_con.txt"},                         // devices were kept
      {"\u304B\u3099.txt", "\u304C.txt"},              // decomposed was kept
  };
  for (const Case& c : cases) {
    const SafeName result = safeName(c.proposed, NameSource::RawBytes);
    EXPECT_EQ(result.verdict, ProposedNameVerdict::Usable) << c.proposed;
    EXPECT_EQ(result.name, c.safe) << c.proposed;
  }
}

TEST(SafeNameTest, DecodedTextSplitsAtEitherSlashAndRepairsUtf8) {
  const Case cases[] = {
      {"C:\\Users\\x\\a.doc", "a.doc"},
      {"C:a.doc", "C_a.doc"},
      {"a/b\\..\\c.txt", "c.txt"},
      {"\\\\server\\share\\x.bat", "x.bat"},
      {"\xff.txt", "\xEF\xBF\xBD.txt"},
      {"\x95\x5C.txt", "_txt"},  // not read as Shift_JIS: 0x5C is a '\' here
      {"a\xE3\x81.txt", "a\xEF\xBF\xBD\xEF\xBF\xBD.txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(safe(c.proposed, NameSource::DecodedText), c.safe);
}

TEST(SafeNameTest, TellsNoNameFromANameWithNothingUsableLeft) {
  for (NameSource source : kSources) {
    EXPECT_EQ(safeName("", source).verdict, ProposedNameVerdict::Missing);
    for (const std::string proposed :
         {".", "..", "/", "dir/", "a/..", "../.", "//", "...", " . ", "x/. .", "x/  "}) {
      const SafeName result = safeName(proposed, source);
      EXPECT_EQ(result.verdict, ProposedNameVerdict::Unusable) << proposed;
      EXPECT_EQ(result.name, "") << proposed;
    }
  }
  EXPECT_EQ(safeName("..\\", NameSource::DecodedText).verdict, ProposedNameVerdict::Unusable);
  EXPECT_EQ(safe("..\\", NameSource::RawBytes), "__\\");
}

TEST(SafeNameTest, EveryByteAtEveryPlaceGivesASafeName) {
  for (NameSource source : kSources) {
    for (int value = 0; value < 256; ++value) {
      const std::string byte(1, static_cast<char>(value));
      for (const std::string& proposed : {byte, byte + "x.txt", "a" + byte + "b.txt",
                                          "a.txt" + byte, byte + byte + ".." + byte}) {
        expectSafe(safeName(proposed, source), proposed, source);
      }
      const bool replaced = value < 0x20 || value == 0x7F ||
                            std::string_view("<>:\"|?*").find(byte[0]) != std::string_view::npos;
      if (replaced) {
        EXPECT_EQ(safe("a" + byte + "b.txt", source), "a_b.txt") << value;
      }
    }
  }
}

TEST(SafeNameTest, CharactersThatHideOrReorderTheNameAreReplaced) {
  const Case cases[] = {
      {"invoice\u202Efdp.exe", "invoice_fdp.exe"},                       // right-to-left override
      {"a\u202Ab\u202Cc.txt", "a_b_c.txt"},                              // embedding and its end
      {"\u2066x\u2069.txt", "_x_.txt"},                                  // isolates
      {"a\u200Eb\u200F\u061C.txt", "a_b__.txt"},                         // marks
      {"a\u0085b\u009F\u0080.txt", "a_b__.txt"},                         // C1 controls
      {"\u00A0\u2030\u2065\u206A.txt", "\u00A0\u2030\u2065\u206A.txt"},  // neighbours stay
  };
  for (NameSource source : kSources) {
    for (const Case& c : cases) EXPECT_EQ(safe(c.proposed, source), c.safe) << c.proposed;
  }
}

TEST(SafeNameTest, EveryDeviceIsDisarmedInAnyCaseWithOrWithoutAnExtension) {
  for (NameSource source : kSources) {
    for (const std::string& device : kDevices) {
      std::string mixed = device;
      mixed[0] = static_cast<char>(mixed[0] - 'A' + 'a');  // "cON", "lPT¹"
      for (const std::string& spelled : {device, asciiLower(device), mixed}) {
        for (const std::string tail : {"", ".", ".txt", ".tar.gz", " .log", "  "}) {
          std::string expected = "_" + spelled + tail;
          while (expected.back() == '.' || expected.back() == ' ') expected.pop_back();
          EXPECT_EQ(safe("dir/" + spelled + tail, source), expected) << sourceName(source);
        }
      }
    }
    // Near misses are ordinary names.
    for (const std::string name : {"COM10", "LPT⁴", "com¹0", "CONIN", "conout", "con$",
                                   "console.txt", "nullable.c", "x.con", "_con", "AUX_1"}) {
      EXPECT_EQ(safe(name, source), name) << sourceName(source);
    }
  }
  // A device the length cut uncovers by stripping the spaces it ends in.
  EXPECT_EQ(safe("con" + std::string(300, ' ') + "x.pdf", NameSource::DecodedText), "_con.pdf");
}

TEST(SafeNameTest, DecomposedAndComposedNamesAreOneNameInNfc) {
  const std::string composed = "\u304C\u3063\u3053\u3046.txt";          // がっこう
  const std::string decomposed = "\u304B\u3099\u3063\u3053\u3046.txt";  // か + dakuten
  for (NameSource source : kSources) {
    EXPECT_EQ(safe(decomposed, source), composed);
    EXPECT_EQ(safe(composed, source), composed);
    NameRegistry names;
    EXPECT_EQ(names.claim(safe(decomposed, source)), composed);
    EXPECT_EQ(names.claim(safe(composed, source)), "\u304C\u3063\u3053\u3046 (2).txt");
  }
  // The registry compares NFC forms even of names that did not come through safeName().
  NameRegistry names;
  EXPECT_EQ(names.claim("e\u0301.txt"), "\u00E9.txt");
  EXPECT_EQ(names.claim("\u00C9.TXT"), "\u00C9.TXT");  // ASCII case only: É is not é
  EXPECT_EQ(names.claim("\u00E9.TXT"), "\u00E9 (2).TXT");
  // A NUL does not end the normalisation; ill-formed text is left as it is.
  EXPECT_EQ(toNfc(std::string("\u304B\u3099\0\u304B\u3099", 13)), std::string("\u304C\0\u304C", 7));
  EXPECT_EQ(toNfc("\u304B\u3099\xFF"), "\u304B\u3099\xFF");
}

TEST(SafeNameTest, LongNamesAreCutOnACharacterKeepingTheExtension) {
  // Characters of every UTF-8 length, at every length around the bound.
  for (const std::string character : {"a", "\xC3\xA9", "\xE9\x95\xB7", "\xF0\x9F\x98\x80"}) {
    for (std::size_t stemBytes = 240; stemBytes < 270; ++stemBytes) {
      std::string stem;
      while (stem.size() < stemBytes) stem += character;
      for (const std::string extension : {".pdf", ".0123456789abcde", ""}) {
        const SafeName result = safeName(stem + extension, NameSource::DecodedText);
        expectSafe(result, stem + extension, NameSource::DecodedText);
        const std::string& name = result.name;
        EXPECT_EQ(name.substr(name.size() - extension.size()), extension) << stemBytes;
        EXPECT_GT(name.size() + character.size(),
                  std::min(kMaxNameBytes, stem.size() + extension.size()))
            << "cut more than one character short";
      }
    }
  }
  // An extension too long to be one is cut like the rest of the name.
  EXPECT_EQ(safe(std::string(250, 'a') + "." + std::string(20, 'b'), NameSource::DecodedText),
            std::string(250, 'a') + "." + std::string(4, 'b'));
  // The '_' before a device counts towards the bound.
  EXPECT_EQ(safe("nul." + std::string(300, 'x'), NameSource::RawBytes),
            "_nul." + std::string(250, 'x'));
}

TEST(SafeNameTest, DuplicatesAreNumberedWithinTheBound) {
  const std::string longStem(251, 'x');
  const std::string longExtension = ".abcdefghijklmnopq";  // 18 bytes: not kept as an extension
  const Case claims[] = {
      {"a (2).txt", "a (2).txt"},
      {"a.txt", "a.txt"},
      {"A.txt", "A (3).txt"},  // "a (2).txt" is taken already
      {"a.txt", "a (4).txt"},
      {longStem + ".pdf", longStem + ".pdf"},
      {longStem + ".PDF", std::string(247, 'x') + " (2).PDF"},
      {"x" + longExtension, "x" + longExtension},
      {"x" + longExtension, "x" + longExtension + " (2)"},
      {"README", "README"},
      {"README", "README (2)"},
  };
  NameRegistry names;
  for (const Case& claim : claims) EXPECT_EQ(names.claim(claim.proposed), claim.safe);
  // A stem of three-byte characters is cut on a character to make room for the number.
  const std::string wide = [] {
    std::string text;
    for (int i = 0; i < 83; ++i) text += "\xE9\x95\xB7";
    return text + ".txt";
  }();
  EXPECT_EQ(names.claim(wide), wide);
  const std::string second = names.claim(wide);
  expectSafe(safeName(second, NameSource::DecodedText), second, NameSource::DecodedText);
  EXPECT_EQ(second.substr(second.size() - 8), " (2).txt");
}

TEST(SafeNameTest, ThousandsOfOneNameAreNumberedInLinearTime) {
  constexpr std::size_t kClaims = 20000;
  NameRegistry names;
  EXPECT_EQ(names.claim("a (7).txt"), "a (7).txt");
  std::vector<std::string> given;
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < kClaims; ++i) given.push_back(names.claim(i % 2 ? "a.txt" : "A.txt"));
  // Probing from 2 at every claim takes minutes here; remembering the next number, milliseconds.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(given[0], "A.txt");
  EXPECT_EQ(given[5], "a (6).txt");
  EXPECT_EQ(given[6], "A (8).txt");
  EXPECT_EQ(given.back(), "a (" + std::to_string(kClaims + 1) + ").txt");
  for (std::string& name : given) name = asciiLower(name);
  std::sort(given.begin(), given.end());
  EXPECT_EQ(std::adjacent_find(given.begin(), given.end()), given.end());
}

// Random names from pieces chosen to hit every rule, and the boundaries between them.
TEST(SafeNameTest, RandomAndHostileNamesAlwaysGiveSafeNamesAndDistinctClaims) {
  const std::string pieces[] = {"/",
                                "\\",
                                ".",
                                "..",
                                " ",
                                std::string(1, '\0'),
                                "\x1B",
                                "\x7F",
                                "\xC2\x85",
                                "\u202E",
                                "\u2066",
                                "\u061C",
                                "<",
                                ":",
                                "*",
                                "con",
                                "CoM",
                                "\u00B9",
                                "lpt",
                                "0",
                                "$",
                                "in",
                                "out",
                                "\u304B",
                                "\u3099",
                                "e",
                                "\u0301",
                                "\u0338",
                                "\u212A",
                                "\u1100\u1161",
                                "\u11A8",
                                "\u0958",
                                "\u0344",
                                "\xFF",
                                "\xE3\x81",
                                "\x83",
                                "\x5C",
                                "\x95",
                                "\xED\xA0\x80",
                                std::string(100, 'x'),
                                "\xE9\x95\xB7",
                                "\xF0\x9F\x98\x80",
                                ".pdf",
                                " (2)",
                                "\u00E9"};
  std::mt19937 random(20);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
  std::uniform_int_distribution<std::size_t> count(1, 12);
  NameRegistry names;
  std::vector<std::string> given;
  for (int round = 0; round < 4000; ++round) {
    std::string proposed;
    for (std::size_t n = count(random); n > 0; --n) proposed += pieces[pick(random)];
    if (round % 7 == 0)
      proposed += testing::randomBytes(count(random), static_cast<unsigned>(round));
    for (NameSource source : kSources) {
      const SafeName result = safeName(proposed, source);
      expectSafe(result, proposed, source);
      if (!result.name.empty() && source == NameSource::DecodedText) {
        const std::string claimed = names.claim(result.name);
        expectSafe(safeName(claimed, source), claimed, source);
        given.push_back(asciiLower(claimed));
      }
    }
  }
  std::sort(given.begin(), given.end());
  EXPECT_EQ(std::adjacent_find(given.begin(), given.end()), given.end());
}

}  // namespace
}  // namespace korvani
