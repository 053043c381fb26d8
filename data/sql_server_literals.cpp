#include "data/sql_server_literals.h"

#include <vector>

namespace data {
namespace {

// Letters, digits and the characters SQL Server allows in names ("_", "@", "#", "$"), and
// every byte of a UTF-8 sequence.
bool IsNameChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || c == '_' ||
         c == '@' || c == '#' || c == '$' || u >= 0x80;
}

// Offset of the quote that closes the part opened at `open` ("'" and '"' by doubling the
// quote inside, "[" by "]" with "]]" inside); npos when it never closes. `wide` is set when a
// byte between the quotes lies outside ASCII.
std::size_t QuotedEnd(std::string_view sql, std::size_t open, bool* wide) {
  const char close = sql[open] == '[' ? ']' : sql[open];
  for (std::size_t i = open + 1; i < sql.size(); ++i) {
    if (static_cast<unsigned char>(sql[i]) >= 0x80) *wide = true;
    if (sql[i] != close) continue;
    if (i + 1 < sql.size() && sql[i + 1] == close) {
      ++i;
      continue;
    }
    return i;
  }
  return std::string_view::npos;
}

// Offset just past the comment "/* ... */" that opens at `open`; comments nest in T-SQL.
// npos when it never closes.
std::size_t BlockCommentEnd(std::string_view sql, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i + 1 < sql.size(); ++i) {
    if (sql[i] == '/' && sql[i + 1] == '*') {
      ++depth;
      ++i;
    } else if (sql[i] == '*' && sql[i + 1] == '/') {
      ++i;
      if (--depth == 0) return i + 1;
    }
  }
  return std::string_view::npos;
}

}  // namespace

std::string NationalTextLiterals(std::string_view sql) {
  std::vector<std::size_t> prefix_at;  // offsets of the quotes that get an N before them
  for (std::size_t i = 0; i < sql.size();) {
    const char c = sql[i];
    if (c == '\'' || c == '"' || c == '[') {
      bool wide = false;
      const std::size_t close = QuotedEnd(sql, i, &wide);
      if (close == std::string_view::npos) return std::string(sql);
      // An N or n that is a word of its own makes the literal national already.
      const bool after_name = i > 0 && IsNameChar(sql[i - 1]);
      if (c == '\'' && wide && !after_name) prefix_at.push_back(i);
      i = close + 1;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const std::size_t end = sql.find('\n', i);
      i = end == std::string_view::npos ? sql.size() : end + 1;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      const std::size_t end = BlockCommentEnd(sql, i);
      if (end == std::string_view::npos) return std::string(sql);
      i = end;
    } else {
      ++i;
    }
  }
  std::string out;
  out.reserve(sql.size() + prefix_at.size());
  std::size_t from = 0;
  for (std::size_t at : prefix_at) {
    out.append(sql.substr(from, at - from));
    out.push_back('N');
    from = at;
  }
  out.append(sql.substr(from));
  return out;
}

}  // namespace data
