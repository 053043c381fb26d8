#include "host/encryption_settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "base/agent_error.h"
#include "tests/support/agent_error_of.h"
#include "tests/support/test_catalog.h"

namespace host {
namespace {

using test_support::ErrorOf;

TEST(ReadEncryptionSettings, EachConnectionAsTheFileSays) {
  test_support::TempDir dir;
  const auto file = dir.path() / kEncryptionFileName;
  const auto read = [&](const std::string& text) {
    std::ofstream(file) << text;
    return ReadEncryptionSettings(file);
  };

  EncryptionSettings none = ReadEncryptionSettings(dir.path() / "missing.ini");
  EXPECT_FALSE(none.accounting.verify);
  EXPECT_FALSE(none.sms_service.verify);

  const EncryptionSettings both = read(
      "; checked certificates\r\n[Accounting]\r\n  encrypt = verify\r\n"
      "HostNameInCertificate = db.coop.example\r\n\r\n[smsservice]\r\n# "
      "comment\r\nEncrypt=Verify\r\n");
  EXPECT_TRUE(both.accounting.verify);
  EXPECT_EQ("db.coop.example", both.accounting.host_name_in_certificate);
  EXPECT_TRUE(both.sms_service.verify);
  EXPECT_EQ("", both.sms_service.host_name_in_certificate);

  const EncryptionSettings one =
      read("[SMSService]\nEncrypt = Verify\n[Accounting]\nEncrypt = Default\n");
  EXPECT_FALSE(one.accounting.verify);
  EXPECT_TRUE(one.sms_service.verify);

  // A mistyped setting fails instead of leaving a connection unchecked.
  const struct {
    const char* text;
    const char* says;
  } kBad[] = {
      {"[Accounting]\nEncrypt = Verfy\n", "line 2: Encrypt is \"Verfy\""},
      {"[Acounting]\nEncrypt = Verify\n", "line 1: unknown section"},
      {"Encrypt = Verify\n", "line 1: Encrypt stands before the first section"},
      {"[Accounting]\nEncryption = Verify\n", "line 2: unknown name Encryption"},
      {"[Accounting]\nVerify\n", "line 2: no \"=\""},
      {"[Accounting]\nHostNameInCertificate = db\n", "without Encrypt = Verify"},
  };
  for (const auto& c : kBad) {
    SCOPED_TRACE(c.text);
    const base::AgentError error = ErrorOf([&] { read(c.text); });
    EXPECT_EQ(base::kConnectionFailed, error.number());
    EXPECT_NE(std::string::npos, error.description().find(c.says)) << error.description();
  }
}

}  // namespace
}  // namespace host
