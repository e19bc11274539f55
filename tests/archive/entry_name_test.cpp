#include "archive/entry_name.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "common/cp932_text.h"

namespace korvani::archive {
namespace {

TEST(EntryNameTest, BytesAreReadAsTheMostLikelyEncoding) {
  struct Case {
    std::string bytes;
    std::string text;
    NameEncoding encoding;
  };
  const Case cases[] = {
      {"report.pdf", "report.pdf", NameEncoding::Ascii},
      {"\xe8\xa6\x8b\xe7\xa9\x8d.txt", "見積.txt", NameEncoding::Utf8},
      // 表 and ソ end in 0x5C, the backslash, in code page 932.
      {"\x95\x5c\x83\x5c.txt", "表ソ.txt", NameEncoding::Cp932},
      {"\x8f\x91\x97\xde/\x8c\xa9\x90\xcf.txt", "書類/見積.txt", NameEncoding::Cp932},
      {"\xb1\xb2\xb3", "ｱｲｳ", NameEncoding::Cp932},  // half-width katakana
      // NEC and IBM extensions are code page 932 too.
      {"\x87\x40", "①", NameEncoding::Cp932},
      // A lead byte before '.', and a lone lead byte at the end: no code page 932.
      {"Caf\x82.txt", "Café.txt", NameEncoding::Cp437},
      {"\x9a", "Ü", NameEncoding::Cp437},
      // User-defined characters (lead bytes 0xF0-0xF9) mean it was not code page 932.
      {"\xf0\x40", "≡@", NameEncoding::Cp437},
  };
  for (const Case& c : cases) {
    const DecodedName decoded = decodeEntryName(c.bytes);
    EXPECT_EQ(decoded.text, c.text) << c.bytes;
    EXPECT_EQ(decoded.encoding, c.encoding) << c.bytes;
  }
}

// Code page 437 decodes every byte; our table against the C library's converter, byte by byte.
TEST(EntryNameTest, EveryUpperByteOfCodePage437MatchesIconv) {
  const iconv_t converter = iconv_open("UTF-8", "CP437");
  ASSERT_NE(reinterpret_cast<std::intptr_t>(converter), -1);
  for (unsigned byte = 0x80; byte < 0x100; ++byte) {
    // After a byte that is no code page 932 lead and no valid UTF-8, "\x82" forces code page 437.
    std::string in = std::string("\x82", 1) + static_cast<char>(byte);
    char out[16];
    char* inPointer = in.data();
    char* outPointer = out;
    std::size_t inLeft = in.size();
    std::size_t outLeft = sizeof out;
    ASSERT_NE(iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft), std::size_t(-1));
    const DecodedName decoded = decodeEntryName(in + ".");
    if (decoded.encoding != NameEncoding::Cp437) continue;  // a valid pair of code page 932
    EXPECT_EQ(decoded.text, std::string(out, outPointer) + ".") << byte;
  }
  iconv_close(converter);
}

TEST(EntryNameTest, PathsStayInsideTheirFolder) {
  struct Case {
    std::string name;
    std::vector<std::string> components;
    bool changed;
  };
  const Case cases[] = {
      {"書類/a.xlsx", {"書類", "a.xlsx"}, false},
      {"./docs/", {"docs"}, false},
      {"../x", {"x"}, true},
      {"/etc/passwd", {"etc", "passwd"}, true},
      {"a/../../b/c", {"a", "b", "c"}, true},
      {"C:\\Windows\\system.ini", {"Windows", "system.ini"}, true},
      {"dir\\file.txt", {"dir", "file.txt"}, false},
      {".bashrc", {"_bashrc"}, true},
      {"a/CON/b", {"a", "_CON", "b"}, true},
      {"../..", {}, true},
      {"x\x01y", {"x_y"}, true},
  };
  for (const Case& c : cases) {
    const EntryPath path = safeEntryPath(c.name);
    EXPECT_EQ(path.components, c.components) << c.name;
    EXPECT_EQ(path.changed, c.changed) << c.name;
  }
}

TEST(EntryNameTest, DeepPathsKeepTheirNameAndABoundedNumberOfFolders) {
  std::string name;
  for (int i = 0; i < 1000; ++i) name += "d/";
  name += "leaf.txt";
  const EntryPath path = safeEntryPath(name);
  ASSERT_EQ(path.components.size(), kMaxEntryFolders + 1);
  EXPECT_EQ(path.components.back(), "leaf.txt");
  EXPECT_TRUE(path.changed);
}

// Whatever the bytes, the name is UTF-8 and every component is one harmless name.
TEST(EntryNameTest, AnyBytesGiveWellFormedSafeComponents) {
  std::uint32_t state = 12345;
  for (int round = 0; round < 2000; ++round) {
    std::string bytes;
    const int length = static_cast<int>(state % 24);
    for (int i = 0; i < length; ++i) {
      state = state * 1103515245 + 12345;
      const char pool[] = {'.', '/', '\\', 'a', ':', '\x81', '\x5c', '\xe3', '\xf0', '\0'};
      bytes += (state >> 16) % 3 == 0 ? static_cast<char>(state >> 8) : pool[(state >> 20) % 10];
    }
    const DecodedName decoded = decodeEntryName(bytes);
    EXPECT_TRUE(isValidUtf8(decoded.text));
    for (const std::string& component : safeEntryPath(decoded.text).components) {
      EXPECT_FALSE(component.empty());
      EXPECT_NE(component, "..");
      EXPECT_EQ(component.find('/'), std::string::npos);
      EXPECT_EQ(component.find('\\'), std::string::npos);
      EXPECT_NE(component[0], '.');
    }
  }
}

}  // namespace
}  // namespace korvani::archive
