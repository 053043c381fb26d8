#include "data/sql_parameters.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace data {

namespace {

// SQLite allows far more; a statement with more values than this is rare enough to compile
// as it is.
constexpr std::size_t kMostParameters = 999;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Letters, digits, "_", "$" and every byte of a UTF-8 sequence, as SQLite reads names.
bool IsNameChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || IsDigit(c) || c == '_' || c == '$' ||
         u >= 0x80;
}

bool IsNameStart(char c) { return IsNameChar(c) && !IsDigit(c) && c != '$'; }

bool IsWord(std::string_view word, std::string_view upper) {
  if (word.size() != upper.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

template <std::size_t N>
bool IsOneOf(std::string_view word, const std::array<std::string_view, N>& words) {
  for (std::string_view w : words) {
    if (IsWord(word, w)) return true;
  }
  return false;
}

constexpr std::array<std::string_view, 5> kStatements = {"SELECT", "UPDATE", "DELETE", "INSERT",
                                                         "REPLACE"};
constexpr std::array<std::string_view, 3> kValuesStart = {"WHERE", "SET", "VALUES"};
constexpr std::array<std::string_view, 10> kValuesEnd = {
    "GROUP",     "ORDER",    "LIMIT", "HAVING", "WINDOW",
    "RETURNING", "CONFLICT", "UNION", "EXCEPT", "INTERSECT"};
// Words that cannot belong to a type name: after AS, they show that the name was an alias.
constexpr std::array<std::string_view, 14> kNotInTypeNames = {
    "FROM", "JOIN", "ON",      "AND",  "OR",   "NOT",  "IN",
    "IS",   "LIKE", "BETWEEN", "WHEN", "THEN", "ELSE", "END"};

// Offset of the character that closes the quoted part opened at `open` ("'", '"', "`" by
// doubling the quote inside, "[" by "]"); npos when it never closes. `inner` receives the
// text between the quotes with doubled quotes made single.
std::size_t QuotedEnd(std::string_view sql, std::size_t open, std::string* inner) {
  const char close = sql[open] == '[' ? ']' : sql[open];
  for (std::size_t i = open + 1; i < sql.size(); ++i) {
    if (sql[i] != close) {
      if (inner != nullptr) inner->push_back(sql[i]);
      continue;
    }
    if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
      if (inner != nullptr) inner->push_back(close);
      ++i;
      continue;
    }
    return i;
  }
  return std::string_view::npos;
}

// Offset just past the number that starts at `start`; `whole` tells whether it is digits
// only.
std::size_t NumberEnd(std::string_view sql, std::size_t start, bool* whole) {
  std::size_t i = start;
  *whole = true;
  if (sql[i] == '0' && i + 1 < sql.size() && (sql[i + 1] == 'x' || sql[i + 1] == 'X')) {
    *whole = false;
    for (i += 2; i < sql.size() && IsNameChar(sql[i]); ++i) {
    }
    return i;
  }
  while (i < sql.size() && IsDigit(sql[i])) ++i;
  if (i < sql.size() && sql[i] == '.') {
    *whole = false;
    for (++i; i < sql.size() && IsDigit(sql[i]); ++i) {
    }
  }
  if (i < sql.size() && (sql[i] == 'e' || sql[i] == 'E')) {
    *whole = false;
    ++i;
    if (i < sql.size() && (sql[i] == '+' || sql[i] == '-')) ++i;
    while (i < sql.size() && IsDigit(sql[i])) ++i;
  }
  return i;
}

// Where an OR joins conditions: for each "(" (by offset) whether its group holds an OR at its
// own level, and whether the statement does at its outer level after a WHERE. Quoted parts
// are skipped as the main pass skips them; a text the main pass gives up on may be read
// differently here, which does not matter then.
struct OrConditions {
  std::vector<bool> group;  // by offset of "("
  bool where = false;
};

OrConditions FindOrConditions(std::string_view sql) {
  OrConditions found;
  found.group.assign(sql.size(), false);
  std::vector<std::size_t> open;  // offsets of the "(" around the current character
  bool after_where = false;
  for (std::size_t i = 0; i < sql.size();) {
    const char c = sql[i];
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      const std::size_t close = QuotedEnd(sql, i, nullptr);
      if (close == std::string_view::npos) break;
      i = close + 1;
    } else if (IsNameStart(c)) {
      std::size_t end = i;
      while (end < sql.size() && IsNameChar(sql[end])) ++end;
      const std::string_view word = sql.substr(i, end - i);
      if (open.empty() && IsWord(word, "WHERE")) after_where = true;
      if (IsWord(word, "OR")) {
        if (!open.empty()) {
          found.group[open.back()] = true;
        } else if (after_where) {
          found.where = true;
        }
      }
      i = end;
    } else if (IsDigit(c)) {
      while (i < sql.size() && IsNameChar(sql[i])) ++i;  // 12abc is not a word
    } else {
      if (c == '(') open.push_back(i);
      if (c == ')' && !open.empty()) open.pop_back();
      ++i;
    }
  }
  return found;
}

}  // namespace

ParameterizedSql ParameterizeForSqlite(std::string_view sql) {
  ParameterizedSql out;
  const auto unchanged = [&] {
    out.text.assign(sql);
    out.values.clear();
    return out;
  };
  out.text.reserve(sql.size());

  enum class Part { kShape, kValues, kTail } part = Part::kShape;
  bool first_word = true;
  int depth = 0;  // parentheses open
  const OrConditions ors = FindOrConditions(sql);
  std::vector<bool> open_or;  // per open parenthesis: its group holds an OR
  int in_or = 0;              // the open groups that hold an OR
  bool outer_or = false;      // past a WHERE whose condition holds an OR at its outer level
  bool after_as = false;      // the names after AS: a type name, or an alias
  int type_depth = -1;        // depth outside the parentheses of a type name's size; -1: none
  bool ended = false;         // past the statement's ";"
  for (std::size_t i = 0; i < sql.size();) {
    const char c = sql[i];
    const bool takes = part == Part::kValues && type_depth < 0 && in_or == 0 && !outer_or;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      out.text.push_back(c);
      ++i;
      continue;
    }
    if (ended) return unchanged();
    if (c != '(' && !IsNameStart(c)) after_as = false;
    if (c == '\'') {
      std::string value;
      const std::size_t close = QuotedEnd(sql, i, &value);
      if (close == std::string_view::npos) return unchanged();
      const bool blob = i > 0 && IsNameChar(sql[i - 1]);  // X'0A'
      if (takes && !blob) {
        out.text.push_back('?');
        out.values.emplace_back(std::move(value));
      } else {
        out.text.append(sql.substr(i, close + 1 - i));
      }
      i = close + 1;
      continue;
    }
    if (c == '"' || c == '`' || c == '[') {
      const std::size_t close = QuotedEnd(sql, i, nullptr);
      if (close == std::string_view::npos) return unchanged();
      out.text.append(sql.substr(i, close + 1 - i));
      i = close + 1;
      continue;
    }
    if (IsNameStart(c)) {
      std::size_t end = i;
      while (end < sql.size() && IsNameChar(sql[end])) ++end;
      const std::string_view word = sql.substr(i, end - i);
      if (first_word && !IsOneOf(word, kStatements)) return unchanged();
      first_word = false;
      if (depth == 0 && IsWord(word, "WHERE")) outer_or = ors.where;
      if (part == Part::kShape && depth == 0 && IsOneOf(word, kValuesStart)) {
        part = Part::kValues;
      } else if (part == Part::kValues && IsOneOf(word, kValuesEnd)) {
        part = Part::kTail;
      }
      if (IsWord(word, "AS")) {
        after_as = true;
      } else if (IsOneOf(word, kValuesStart) || IsOneOf(word, kValuesEnd) ||
                 IsOneOf(word, kNotInTypeNames)) {
        after_as = false;
      }
      out.text.append(word);
      i = end;
      continue;
    }
    if (IsDigit(c) || (c == '.' && i + 1 < sql.size() && IsDigit(sql[i + 1]))) {
      bool whole = false;
      const std::size_t end = NumberEnd(sql, i, &whole);
      if (end < sql.size() && IsNameChar(sql[end])) return unchanged();
      const std::string_view number = sql.substr(i, end - i);
      if (takes && whole && number.size() <= 18) {
        std::int64_t value = 0;
        for (char d : number) value = value * 10 + (d - '0');
        out.text.push_back('?');
        out.values.emplace_back(value);
      } else {
        out.text.append(number);
      }
      i = end;
      continue;
    }
    switch (c) {
      case '(':
        if (after_as) type_depth = depth;  // varchar(10)
        after_as = false;
        ++depth;
        open_or.push_back(ors.group[i]);
        if (open_or.back()) ++in_or;
        break;
      case ')':
        --depth;
        if (depth == type_depth) type_depth = -1;
        if (!open_or.empty()) {
          if (open_or.back()) --in_or;
          open_or.pop_back();
        }
        break;
      case ';':
        ended = true;
        break;
      case '?':
      case ':':
      case '@':
      case '$':
        return unchanged();  // parameters of the statement's own
      case '-':
        if (i + 1 < sql.size() && sql[i + 1] == '-') return unchanged();
        break;
      case '/':
        if (i + 1 < sql.size() && sql[i + 1] == '*') return unchanged();
        break;
      default:
        break;
    }
    if (first_word) return unchanged();
    out.text.push_back(c);
    ++i;
  }
  if (depth != 0 || out.values.size() > kMostParameters) return unchanged();
  return out;
}

}  // namespace data
