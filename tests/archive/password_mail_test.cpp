#include "archive/password_mail.h"

#include <gtest/gtest.h>

namespace korvani::archive {
namespace {

TEST(PasswordMailTest, PasswordLinesGiveTheirValue) {
  struct Case {
    std::string text;
    std::vector<std::string> passwords;
  };
  const Case cases[] = {
      {"パスワード：Xy7k-2025", {"Xy7k-2025"}},
      {"パスワード: Xy7k", {"Xy7k"}},
      {"パスワードは Xy7k です。", {"Xy7k"}},
      {"パスワードはXy7kです", {"Xy7k"}},
      {"【パスワード】Ab#12", {"Ab#12"}},
      {"【パスワード】：「秘密 の 値」", {"秘密 の 値"}},
      {"PW: q1w2e3", {"q1w2e3"}},
      {"pw=q1w2e3", {"q1w2e3"}},
      {"Password: (p@ss word)", {"p@ss word"}},
      {"  ・暗証番号 4321", {"4321"}},
      {"> パスワード［abc］", {}},  // the bracket after the word needs a separator
      {"> パスワード：［abc］", {"abc"}},
      {"ﾊﾟｽﾜｰﾄﾞ：hw", {"hw"}},
      {"パスワードは別メールでお送りします。", {}},
      {"Passport: X123", {}},
      {"The password is below", {}},
      {"本文\nパスワード：one\nPW: two\nパスワード：one\n", {"one", "two"}},
      {"パスワード：", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(passwordsInText(c.text), c.passwords) << c.text;
  }
}

TEST(PasswordMailTest, SubjectsLoseReplyMarksAndTags) {
  const std::pair<std::string, std::string> cases[] = {
      {"【パスワード】Re: ご依頼の件", "ご依頼の件"}, {"RE：Fwd: 見積書送付", "見積書送付"},
      {"転送: [ML:12] 議事録【重要】", "議事録"},     {"Re:", ""},
      {"Regarding: the plan", "Regarding: the plan"},
  };
  for (const auto& [subject, bare] : cases) EXPECT_EQ(bareSubject(subject), bare) << subject;
}

TEST(PasswordMailTest, DatesAreReadAsRfc5322Says) {
  const std::pair<std::string, std::optional<std::int64_t>> cases[] = {
      {"Mon, 1 Apr 2024 10:00:00 +0900", 1711933200},
      {"1 Apr 2024 01:00:00 GMT", 1711933200},
      {"Sun, 31 Mar 2024 20:00 -0500", 1711933200},
      {"Mon, 01 Apr 24 10:00:00 JST", 1711933200},
      {"yesterday", std::nullopt},
      {"Mon, 1 Foo 2024 10:00:00 +0900", std::nullopt},
      {"Mon, 1 Apr 2024 25:00:00 +0900", std::nullopt},
  };
  for (const auto& [text, seconds] : cases) EXPECT_EQ(parseMailDate(text), seconds) << text;
}

TEST(PasswordMailTest, PairingNeedsSenderTimeAndSubjectOrName) {
  MailFacts archive{"a.eml", "yamada@example.jp", 1000000, "【見積】ご依頼の件", ""};
  struct Case {
    const char* what;
    MailFacts password;
    bool pairs;
  };
  const Case cases[] = {
      {"same thread",
       {"p", "yamada@example.jp", 1000180, "【パスワード】Re: ご依頼の件", ""},
       true},
      {"names the file",
       {"p", "yamada@example.jp", 1000180, "パスワード", "見積.zip の件\n"},
       true},
      {"an hour before", {"p", "yamada@example.jp", 1000000 - 3600, "ご依頼の件", ""}, true},
      {"too early", {"p", "yamada@example.jp", 1000000 - 3601, "ご依頼の件", ""}, false},
      {"a day after", {"p", "yamada@example.jp", 1000000 + 86400, "ご依頼の件", ""}, true},
      {"too late", {"p", "yamada@example.jp", 1000000 + 86401, "ご依頼の件", ""}, false},
      {"other sender", {"p", "sato@example.jp", 1000180, "ご依頼の件", ""}, false},
      {"other subject", {"p", "yamada@example.jp", 1000180, "別件", ""}, false},
      {"no date", {"p", "yamada@example.jp", std::nullopt, "ご依頼の件", ""}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(pairs(archive, "見積.zip", c.password), c.pairs) << c.what;
  EXPECT_EQ(addressOf("=?UTF-8?B?x?= 山田 <Yamada@Example.JP>"), "yamada@example.jp");
  EXPECT_EQ(addressOf(" kato@example.jp "), "kato@example.jp");
}

}  // namespace
}  // namespace korvani::archive
