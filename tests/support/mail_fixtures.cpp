#include "support/mail_fixtures.h"

namespace korvani::testing {

std::string mailNaming(const std::string& name, const std::string& partHeader) {
  return "Content-Type: multipart/mixed; boundary=\"b\"\r\n"
         "\r\n"
         "--b\r\n"
         "Content-Type: application/octet-stream; name=\"x\"\r\n"
         "Content-Transfer-Encoding: base64\r\n" +
         partHeader + "Content-Disposition: attachment; filename=\"" + name +
         "\"\r\n"
         "\r\n"
         "YWJjZA==\r\n"
         "\r\n"
         "--b--\r\n";
}

}  // namespace korvani::testing
