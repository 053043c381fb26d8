#include "data/connection_string.h"

#include <cctype>
#include <cstddef>

#include "base/agent_error.h"

namespace data {
namespace {

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string QuotedValue(std::string_view value) {
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

ConnectionString ConnectionString::Parse(std::string_view text) {
  ConnectionString result;
  std::size_t pos = 0;
  int entry = 0;
  while (pos < text.size()) {
    ++entry;
    const std::size_t eq = text.find('=', pos);
    const std::size_t semi = text.find(';', pos);
    if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
      // An entry without "=": blank entries (";;" or a trailing ";") are allowed.
      const std::size_t stop = semi == std::string_view::npos ? text.size() : semi;
      if (!Trim(text.substr(pos, stop - pos)).empty()) {
        throw base::AgentError(base::kConnectionFailed, "Connection string entry " +
                                                            std::to_string(entry) +
                                                            " has no '=' between key and value");
      }
      pos = stop + 1;
      continue;
    }
    const std::string key(Trim(text.substr(pos, eq - pos)));
    std::size_t value_start = eq + 1;
    while (value_start < text.size() && (text[value_start] == ' ' || text[value_start] == '\t')) {
      ++value_start;
    }
    std::string value;
    std::size_t next;
    if (value_start < text.size() && (text[value_start] == '"' || text[value_start] == '\'')) {
      const char quote = text[value_start];
      std::size_t i = value_start + 1;
      bool closed = false;
      while (i < text.size()) {
        if (text[i] == quote) {
          if (i + 1 < text.size() && text[i + 1] == quote) {  // doubled quote
            value += quote;
            i += 2;
            continue;
          }
          closed = true;
          ++i;
          break;
        }
        value += text[i++];
      }
      if (!closed) {
        throw base::AgentError(
            base::kConnectionFailed,
            "Connection string entry '" + key + "' has a quoted value that is not closed");
      }
      const std::size_t stop = text.find(';', i);
      if (!Trim(text.substr(i, (stop == std::string_view::npos ? text.size() : stop) - i))
               .empty()) {
        throw base::AgentError(base::kConnectionFailed, "Connection string entry '" + key +
                                                            "' has text after its quoted value");
      }
      next = stop == std::string_view::npos ? text.size() : stop + 1;
    } else {
      const std::size_t stop = semi == std::string_view::npos ? text.size() : semi;
      value = std::string(Trim(text.substr(value_start, stop - value_start)));
      next = stop + 1;
    }
    if (key.empty()) {
      throw base::AgentError(base::kConnectionFailed,
                             "Connection string entry " + std::to_string(entry) + " has no key");
    }
    bool replaced = false;
    for (auto& [k, v] : result.entries_) {
      if (EqualsIgnoreCase(k, key)) {
        v = value;
        replaced = true;
      }
    }
    if (!replaced) result.entries_.emplace_back(key, std::move(value));
    pos = next;
  }
  return result;
}

std::optional<std::string> ConnectionString::Get(std::string_view key) const {
  for (const auto& [k, v] : entries_) {
    if (EqualsIgnoreCase(k, Trim(key))) return v;
  }
  return std::nullopt;
}

std::string ConnectionString::GetOr(std::string_view key, std::string fallback) const {
  auto value = Get(key);
  return value ? *value : std::move(fallback);
}

}  // namespace data
