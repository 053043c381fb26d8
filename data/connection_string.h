#ifndef MAV_DATA_CONNECTION_STRING_H_
#define MAV_DATA_CONNECTION_STRING_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace data {

// A connection string of the OLE DB form the system is configured with:
// "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;pwd=;Initial Catalog=X;
// Data Source=S". Entries are "key=value" separated by ";". Keys match without regard to
// letter case and surrounding blanks; values keep their letters as written, lose surrounding
// blanks, may be empty and may contain "=" (only the first "=" of an entry separates).
// A value wholly between double or single quotes may contain ";" (a doubled quote inside
// stands for one). When a key occurs twice the last value counts.
class ConnectionString {
 public:
  // Throws AgentError kConnectionFailed when an entry has no "=" or a quoted value is not
  // closed. The message never repeats the text, which may hold a password.
  static ConnectionString Parse(std::string_view text);

  // The value of `key`, std::nullopt when the key is absent ("" when present but empty).
  std::optional<std::string> Get(std::string_view key) const;
  std::string GetOr(std::string_view key, std::string fallback) const;

  // Keys as written and their values, in order of first appearance.
  const std::vector<std::pair<std::string, std::string>>& entries() const { return entries_; }

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
};

// `value` as one value of such a connection string: between double quotes, every double
// quote doubled. Parse gives back exactly `value`, whatever it holds (";", "=", quotes,
// braces, blanks at either end), so a value can never add or replace a key.
std::string QuotedValue(std::string_view value);

// True when `a` and `b` are equal without regard to ASCII letter case.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace data

#endif  // MAV_DATA_CONNECTION_STRING_H_
