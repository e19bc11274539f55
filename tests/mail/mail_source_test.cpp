// Mail files reached only through the Platform: open and read failures on the fake, large files
// read a window at a time, the streamed path against the in-memory one over the corpus, one file
// parsed on two threads at once, and what `korvani read` says of a file it cannot open.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "mail/mail_engine.h"
#include "support/fake_platform.h"
#include "support/test_files.h"

namespace korvani::mail {
namespace {

using testing::FakePlatform;

const MailLibrary kLibrary;
const std::string kCorpus = KORVANI_MAIL_CORPUS;
constexpr std::size_t kWindow = std::size_t{64} << 10;
// Attachments whose mails are past the 1 MiB read whole: 4.6 MB and 1.2 MB encoded.
constexpr std::size_t kLargeLines = 60000;
constexpr std::size_t kFillerLines = 16000;

// What the files opened by a WatchedPlatform have been asked, and the failure to give from now on.
struct ReadLog {
  std::size_t largestRead = 0;
  std::uint64_t bytesRead = 0;
  int failWith = 0;
  std::uint64_t failFrom = 0;  // reads reaching past this offset fail with failWith
};

class WatchedFile : public ReadableFile {
 public:
  WatchedFile(std::unique_ptr<ReadableFile> file, ReadLog& log) : file(std::move(file)), log(log) {}
  std::uint64_t length() const override { return file->length(); }
  int read(std::uint8_t* destination, std::uint64_t count) override {
    return file->read(destination, count);
  }
  int readAt(std::uint64_t offset, std::uint8_t* destination, std::size_t count,
             std::size_t& got) override {
    log.largestRead = std::max(log.largestRead, count);
    if (log.failWith != 0 && offset + count > log.failFrom) {
      got = 0;
      return log.failWith;
    }
    const int error = file->readAt(offset, destination, count, got);
    log.bytesRead += got;
    return error;
  }
  FileTimes times() const override { return file->times(); }

 private:
  std::unique_ptr<ReadableFile> file;
  ReadLog& log;
};

// The fake file system, with opens that fail with any errno and files whose reads are watched.
class WatchedPlatform : public FakePlatform {
 public:
  std::map<std::string, int> openErrors;
  ReadLog log;

  std::unique_ptr<ReadableFile> openForReading(const std::string& path, ShareMode mode,
                                               int* errorNumber) override {
    if (const auto it = openErrors.find(path); it != openErrors.end()) {
      *errorNumber = it->second;
      return nullptr;
    }
    auto file = FakePlatform::openForReading(path, mode, errorNumber);
    return file ? std::make_unique<WatchedFile>(std::move(file), log) : nullptr;
  }
};

// A mail with one base64 attachment of `lines` lines: 57 decoded bytes each.
std::string attachmentMail(std::size_t lines, const std::string& subject = "big") {
  std::string body;
  for (std::size_t line = 0; line < lines; ++line) body += std::string(76, 'Q') + "\n";
  return "Subject: " + subject +
         "\nContent-Type: multipart/mixed; boundary=b\n\n"
         "--b\nContent-Type: text/plain\n\nsee the file\n"
         "--b\nContent-Type: application/octet-stream; name=big.bin\n"
         "Content-Transfer-Encoding: base64\n\n" +
         body + "--b--\n";
}

std::string mboxOf(const std::vector<std::string>& mails) {
  std::string mbox;
  for (const std::string& mail : mails)
    mbox += "From x@example.jp Mon Jan  1 00:00:00 2024\n" + mail + "\n";
  return mbox;
}

// Everything the engine tells of a mail: each part's fields, header fields, text and bytes.
std::string describe(const Mail* mail) {
  if (!mail) return "(not a mail)";
  std::string out = mail->limitReached() ? "limit\n" : "";
  const auto& parts = mail->parts();
  for (std::size_t index = 0; index < parts.size(); ++index) {
    const MailPart& part = parts[index];
    out += "[" + part.path + "] " + std::to_string(static_cast<int>(part.role)) + " " +
           part.mediaType + " " + part.transferEncoding + " " + part.name + " " +
           std::to_string(part.shown) + std::to_string(part.truncated) +
           std::to_string(part.forwardDepth) + "\n";
    if (part.role == PartRole::Message) {
      for (const HeaderField& field : mail->headers(index))
        out += field.name + "=" + field.value + "\n";
      continue;
    }
    if (part.role == PartRole::Text) out += "text: " + mail->text(index) + "\n";
    std::string bytes;
    const bool decoded = mail->decode(index, [&bytes](const std::uint8_t* data, std::size_t size) {
      bytes.append(reinterpret_cast<const char*>(data), size);
      return true;
    });
    out += "bytes " + std::to_string(decoded) + ": " + bytes + "\n";
  }
  return out;
}

// The corpus's single mails, each ending with a line end as an mbox keeps it.
std::vector<std::string> corpusMails() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    if (entry.path().extension() == ".eml") names.push_back(entry.path().string());
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> mails;
  for (const std::string& name : names) {
    std::string mail = testing::readFile(name);
    if (mail.empty() || mail.back() != '\n') mail += '\n';
    mails.push_back(std::move(mail));
  }
  return mails;
}

TEST(MailSourceTest, OpenFailuresGiveTheOsReason) {
  const std::string small = "Subject: small\n\nbody\n";
  const std::string large = attachmentMail(kLargeLines);
  const std::string largeMbox = mboxOf({large, large});
  struct Case {
    const char* label;
    std::function<void(WatchedPlatform&)> setUp;
    int error;
  } cases[] = {
      {"missing", [](WatchedPlatform&) {}, ENOENT},
      {"a folder", [](WatchedPlatform& p) { p.folders.insert("m"); }, EISDIR},
      {"unreadable", [](WatchedPlatform& p) { p.openErrors["m"] = EACCES; }, EACCES},
      {"held exclusively",
       [&](WatchedPlatform& p) {
         p.addFile("m", small);
         p.files["m"].locked = true;
       },
       EWOULDBLOCK},
      {"small, read fails",
       [&](WatchedPlatform& p) {
         p.addFile("m", small);
         p.failReadWith = EIO;
       },
       EIO},
      {"large, read fails",
       [&](WatchedPlatform& p) {
         p.addFile("m", large);
         p.failReadWith = EIO;
       },
       EIO},
      {"large mbox, read fails past its first message",
       [&](WatchedPlatform& p) {
         p.addFile("m", largeMbox);
         p.log.failFrom = large.size() + 100;
         p.log.failWith = EIO;
       },
       EIO},
  };
  for (const Case& c : cases) {
    WatchedPlatform platform;
    c.setUp(platform);
    int error = 0;
    EXPECT_FALSE(MailFile::open(platform, "m", error)) << c.label;
    EXPECT_EQ(error, c.error) << c.label;
  }
}

// A large file is read a window at a time as it is used, never at its opening, and a read that
// fails then reaches the caller; a small one is read once, whole, so later failures miss it.
TEST(MailSourceTest, LargeFilesAreReadAWindowAtATimeAndTheirFailuresReachTheCaller) {
  const std::string large = attachmentMail(kLargeLines);
  for (const bool mbox : {false, true}) {
    SCOPED_TRACE(mbox);
    WatchedPlatform platform;
    platform.addFile("m", mbox ? mboxOf({large, "Subject: second\n\nx\n"}) : large, {1, 2, 3});
    int error = 0;
    const auto file = MailFile::open(platform, "m", error);
    ASSERT_TRUE(file) << error;
    if (!mbox) {
      EXPECT_LT(platform.log.bytesRead, kWindow) << "a large mail is not read at its opening";
    }
    EXPECT_EQ(file->times().lastWrite, 2);
    EXPECT_EQ(file->times().lastAccess, 3);
    const auto parsed = file->parse(0);
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->parts().size(), 3u);
    EXPECT_EQ(parsed->decodedSize(2), kLargeLines * 57);
    EXPECT_LE(platform.log.largestRead, kWindow);
    platform.log.failWith = EIO;
    EXPECT_FALSE(parsed->decode(2, [](const std::uint8_t*, std::size_t) { return true; }));
    EXPECT_FALSE(file->parse(0, &error));
    EXPECT_EQ(error, EIO);
  }
  WatchedPlatform platform;
  platform.addFile("s", "Subject: small\n\nbody\n");
  int error = 0;
  const auto file = MailFile::open(platform, "s", error);
  ASSERT_TRUE(file);
  platform.log.failWith = EIO;
  const auto parsed = file->parse(0, &error);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(parsed->text(1), "body\n");
  EXPECT_FALSE(file->parse(1, &error));
  EXPECT_EQ(error, 0);
}

TEST(MailSourceTest, StreamedMailsReadAsTheSameBytesInMemory) {
  // The corpus, then a mail large enough that the file is read as it is parsed.
  std::vector<std::string> mails = corpusMails();
  mails.push_back(attachmentMail(kFillerLines, "filler"));
  FakePlatform platform;
  platform.addFile("box", mboxOf(mails));
  platform.addFile("one", mails.back());
  int error = 0;
  const auto box = MailFile::open(platform, "box", error);
  ASSERT_TRUE(box) << error;
  ASSERT_EQ(box->messageCount(), mails.size());
  for (std::size_t index = 0; index < mails.size(); ++index) {
    EXPECT_EQ(describe(box->parse(index).get()), describe(parseMail(mails[index]).get())) << index;
  }
  const auto one = MailFile::open(platform, "one", error);
  ASSERT_TRUE(one);
  EXPECT_EQ(describe(one->parse(0).get()), describe(parseMail(mails.back()).get()));
}

TEST(MailSourceTest, TwoThreadsParseOneFileAsOneThreadDoes) {
  std::vector<std::string> mails = corpusMails();
  const std::string small = mboxOf(mails);
  mails.push_back(attachmentMail(kFillerLines, "filler"));
  const std::string large = mboxOf(mails);
  for (const std::string* content : {&small, &large}) {
    SCOPED_TRACE(content->size());
    FakePlatform platform;
    platform.addFile("box", *content);
    int error = 0;
    const auto file = MailFile::open(platform, "box", error);
    ASSERT_TRUE(file);
    const std::size_t count = file->messageCount();
    std::vector<std::string> serial;
    for (std::size_t index = 0; index < count; ++index) {
      serial.push_back(describe(file->parse(index).get()));
    }
    // One thread forwards, the other backwards, so that they meet on the same messages.
    std::vector<std::string> forwards(count);
    std::vector<std::string> backwards(count);
    std::thread first([&] {
      for (std::size_t index = 0; index < count; ++index) {
        forwards[index] = describe(file->parse(index).get());
      }
    });
    std::thread second([&] {
      for (std::size_t index = count; index-- > 0;) {
        backwards[index] = describe(file->parse(index).get());
      }
    });
    first.join();
    second.join();
    EXPECT_EQ(forwards, serial);
    EXPECT_EQ(backwards, serial);
  }
}

// A stream is read to its end once and then read as a file: an mbox on standard input is split
// as the same bytes in a file are, a large one as well as a small one, and it has no times.
TEST(MailSourceTest, AStreamReadsAsTheSameBytesInAFile) {
  const std::vector<std::string> mails = corpusMails();
  const std::string large = mboxOf({attachmentMail(kFillerLines), mails.front(), mails.back()});
  for (const std::string& bytes : {mboxOf(mails), large, mails.front()}) {
    FakePlatform platform;
    platform.addFile("m", bytes, FileTimes{0, 500, 600});
    platform.streams["-"] = {bytes};
    int error = -1;
    const auto file = MailFile::open(platform, "m", error);
    const auto stream = MailFile::open(platform, "-", error);
    ASSERT_TRUE(file && stream) << error;
    EXPECT_EQ(platform.events, (std::vector<std::string>{"open m", "stream -"}));
    EXPECT_FALSE(file->isStream());
    EXPECT_TRUE(stream->isStream());
    EXPECT_EQ(stream->times().lastWrite, 0);
    ASSERT_EQ(stream->messageCount(), file->messageCount());
    for (std::size_t index = 0; index < file->messageCount(); ++index) {
      EXPECT_EQ(describe(stream->parse(index).get()), describe(file->parse(index).get()));
    }
  }
}

TEST(MailSourceTest, AStreamThatCannotBeReadGivesItsErrno) {
  FakePlatform platform;
  platform.streams["/dev/stdin"] = {"From: a\n\nbody\n", ECONNRESET};
  platform.streams["fifo"] = {};
  platform.folders.insert("fifo");
  for (const auto& [path, expected] :
       {std::pair{"/dev/stdin", ECONNRESET}, std::pair{"fifo", EISDIR}}) {
    int error = 0;
    EXPECT_FALSE(MailFile::open(platform, path, error)) << path;
    EXPECT_EQ(error, expected) << path;
  }
}

TEST(MailSourceTest, ReadOfAFileItCannotOpenSaysWhyAndFails) {
  testing::ScopedTempDir dir;
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {{dir.file("missing.eml"), "cannot be opened: No such file or directory"},
               {dir.path(), "holds no mail file"}};  // a folder is read as its mails
  for (const auto& c : cases) {
    const auto result = testing::runKorvani({"read", c.path});
    EXPECT_EQ(result.exitCode, 1) << c.path;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "korvani: " + c.path + ": " + c.reason + "\n");
  }
}

}  // namespace
}  // namespace korvani::mail
