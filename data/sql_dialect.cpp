#include "data/sql_dialect.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// How the rewriter works: the text is cut into tokens that cover every byte of it (blanks,
// comments, 'literals', [names], "names", words, numbers, punctuation). Each statement
// (tokens between ';') is then read over its significant tokens (all but blanks and
// comments), and every construct found is rewritten by changing the text of single tokens
// or by adding text before or after one. The output is the tokens' texts joined again, so
// anything the rewriter does not touch (literals, bracketed names, comments, blanks) comes
// out byte for byte. Only a multi-column ALTER TABLE ADD is built afresh from its parts.
//
// Every loop below advances by at least one token and every index is checked against the
// statement's size, so any input, including an unterminated literal or bracket, finishes.

namespace data {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

enum class Kind { kSpace, kComment, kString, kBracketed, kQuoted, kWord, kNumber, kPunct };

struct Token {
  Kind kind;
  std::string_view text;  // the original bytes
};

bool IsSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsWordStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '@' || c == '#' ||
         c >= 0x80;  // bytes of non-ASCII letters
}
bool IsWordPart(unsigned char c) { return IsWordStart(c) || IsDigit(c) || c == '$'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// Offset just past a token that opens at `begin` and ends with `close`; a doubled `close`
// stands for one such character inside it. An unterminated token runs to the end.
std::size_t DelimitedEnd(std::string_view sql, std::size_t begin, char close) {
  std::size_t i = begin + 1;
  while (i < sql.size()) {
    if (sql[i] == close) {
      if (i + 1 < sql.size() && sql[i + 1] == close) {
        i += 2;
        continue;
      }
      return i + 1;
    }
    ++i;
  }
  return sql.size();
}

// Cuts `sql` into tokens; their texts joined give `sql` back exactly.
std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> tokens;
  const std::size_t n = sql.size();
  std::size_t i = 0;
  while (i < n) {
    const auto c = static_cast<unsigned char>(sql[i]);
    const unsigned char next = i + 1 < n ? static_cast<unsigned char>(sql[i + 1]) : 0;
    std::size_t end = i + 1;
    Kind kind = Kind::kPunct;
    if (IsSpace(c)) {
      while (end < n && IsSpace(static_cast<unsigned char>(sql[end]))) ++end;
      kind = Kind::kSpace;
    } else if (c == '-' && next == '-') {
      end = sql.find('\n', i);  // the line break itself is a blank
      if (end == std::string_view::npos) end = n;
      kind = Kind::kComment;
    } else if (c == '/' && next == '*') {
      // Block comments do not nest here, as in SQLite, so both read the same text.
      const std::size_t close = sql.find("*/", i + 2);
      end = close == std::string_view::npos ? n : close + 2;
      kind = Kind::kComment;
    } else if (c == '\'') {
      end = DelimitedEnd(sql, i, '\'');
      kind = Kind::kString;
    } else if (c == '[') {
      end = DelimitedEnd(sql, i, ']');
      kind = Kind::kBracketed;
    } else if (c == '"' || c == '`') {
      end = DelimitedEnd(sql, i, static_cast<char>(c));
      kind = Kind::kQuoted;
    } else if (IsDigit(c) || (c == '.' && IsDigit(next))) {
      while (end < n && (IsDigit(static_cast<unsigned char>(sql[end])) || sql[end] == '.')) ++end;
      if (end < n && (sql[end] == 'e' || sql[end] == 'E')) {
        std::size_t exponent = end + 1;
        if (exponent < n && (sql[exponent] == '+' || sql[exponent] == '-')) ++exponent;
        if (exponent < n && IsDigit(static_cast<unsigned char>(sql[exponent]))) {
          end = exponent;
          while (end < n && IsDigit(static_cast<unsigned char>(sql[end]))) ++end;
        }
      }
      kind = Kind::kNumber;
    } else if (IsWordStart(c)) {
      while (end < n && IsWordPart(static_cast<unsigned char>(sql[end]))) ++end;
      kind = Kind::kWord;
    } else {
      const std::string_view pair = sql.substr(i, 2);
      if (pair == "<>" || pair == "<=" || pair == ">=" || pair == "!=" || pair == "||") end = i + 2;
    }
    tokens.push_back({kind, sql.substr(i, end - i)});
    i = end;
  }
  return tokens;
}

// Words that cannot be an operand of an expression (clause and operator keywords), in
// alphabetical order. A word not listed is taken for a column, table or function name.
constexpr std::string_view kClauseWords[] = {
    "add",        "all",       "alter",    "and",    "as",         "asc",    "between", "by",
    "case",       "check",     "collate",  "column", "constraint", "create", "cross",   "default",
    "delete",     "desc",      "distinct", "drop",   "else",       "end",    "escape",  "except",
    "exists",     "foreign",   "from",     "full",   "group",      "having", "in",      "inner",
    "insert",     "intersect", "into",     "is",     "join",       "key",    "left",    "like",
    "limit",      "not",       "on",       "or",     "order",      "outer",  "percent", "primary",
    "references", "right",     "select",   "set",    "table",      "then",   "top",     "union",
    "unique",     "update",    "values",   "when",   "where",      "with"};
static_assert(std::is_sorted(std::begin(kClauseWords), std::end(kClauseWords)));

bool IsClauseWord(std::string_view word) {
  constexpr std::size_t kLongest = 10;  // "references"
  if (word.size() > kLongest) return false;
  char lower[kLongest];
  for (std::size_t i = 0; i < word.size(); ++i) lower[i] = Lower(word[i]);
  const std::string_view key(lower, word.size());
  return std::binary_search(std::begin(kClauseWords), std::end(kClauseWords), key);
}

// Declared types whose columns hold text.
bool IsTextType(std::string_view type) {
  static constexpr std::string_view kTypes[] = {"char", "varchar", "nchar",     "nvarchar",
                                                "text", "ntext",   "character", "sysname"};
  for (std::string_view candidate : kTypes) {
    if (EqualsIgnoreCase(type, candidate)) return true;
  }
  return false;
}

// The subqueries that stand for SQL Server's catalog views. Names compare without regard to
// case, as the server's identifiers do; the "sqlite_" tables are SQLite's own.
constexpr std::string_view kInformationSchemaTables =
    "(SELECT 'main' AS TABLE_CATALOG, 'dbo' AS TABLE_SCHEMA, name COLLATE NOCASE AS TABLE_NAME, "
    "CASE type WHEN 'view' THEN 'VIEW' ELSE 'BASE TABLE' END AS TABLE_TYPE "
    "FROM sqlite_master WHERE type IN ('table', 'view') AND name NOT LIKE 'sqlite\\_%' ESCAPE "
    "'\\')";

// CHARACTER_MAXIMUM_LENGTH is the length declared in the type ("varchar(30)" gives 30);
// SQLite keeps the declaration but does not enforce it.
constexpr std::string_view kInformationSchemaColumns =
    "(SELECT 'main' AS TABLE_CATALOG, 'dbo' AS TABLE_SCHEMA, m.name COLLATE NOCASE AS TABLE_NAME, "
    "c.name COLLATE NOCASE AS COLUMN_NAME, c.cid + 1 AS ORDINAL_POSITION, "
    "CASE WHEN instr(c.type, '(') > 0 THEN substr(c.type, 1, instr(c.type, '(') - 1) "
    "ELSE c.type END AS DATA_TYPE, "
    "CASE WHEN instr(c.type, '(') > 0 THEN CAST(substr(c.type, instr(c.type, '(') + 1) AS INTEGER) "
    "END AS CHARACTER_MAXIMUM_LENGTH, "
    "CASE WHEN c.\"notnull\" THEN 'NO' ELSE 'YES' END AS IS_NULLABLE "
    "FROM sqlite_master AS m JOIN pragma_table_info(m.name) AS c "
    "WHERE m.type IN ('table', 'view') AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\')";

class Rewriter {
 public:
  // `grouped_only`: RewriteGroupedOrder alone (GroupInSortOrderForSqlite).
  explicit Rewriter(std::string_view sql, bool grouped_only = false)
      : tokens_(Tokenize(sql)), grouped_only_(grouped_only) {
    pieces_.reserve(tokens_.size());
    for (const Token& token : tokens_) pieces_.push_back({{}, std::string(token.text), {}});
  }

  std::string Run() {
    // N'...' (a Unicode literal) is an ordinary literal in SQLite.
    for (std::size_t i = 0; !grouped_only_ && i + 1 < tokens_.size(); ++i) {
      if (tokens_[i].kind == Kind::kWord && EqualsIgnoreCase(tokens_[i].text, "n") &&
          tokens_[i + 1].kind == Kind::kString) {
        pieces_[i].text.clear();
      }
    }
    std::string out;
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= tokens_.size(); ++i) {
      const bool at_end = i == tokens_.size();
      if (!at_end && !(tokens_[i].kind == Kind::kPunct && tokens_[i].text == ";")) continue;
      out += RewriteStatement(begin, i);
      if (!at_end) out += Render(i, i + 1);
      begin = i + 1;
    }
    return out;
  }

 private:
  // A token's output: `text` (at first the original) between added text.
  struct Piece {
    std::string before;
    std::string text;
    std::string after;
  };

  // One statement: raw tokens [raw_begin, raw_end) and, by position, its significant tokens
  // with their parentheses paired.
  struct Statement {
    std::size_t raw_begin = 0;
    std::size_t raw_end = 0;
    std::vector<std::size_t> sig;     // raw index of each significant token
    std::vector<std::size_t> match;   // the paired parenthesis' position, or kNone
    std::vector<std::size_t> parent;  // position of the innermost enclosing '(', or kNone
    std::vector<bool> text_group;     // '(' whose contents were rewritten into a text
    std::vector<bool> clause_word;    // a word of IsClauseWord
    std::size_t size() const { return sig.size(); }
  };

  std::string Render(std::size_t raw_begin, std::size_t raw_end) const {
    std::string out;
    for (std::size_t i = raw_begin; i < raw_end && i < pieces_.size(); ++i) {
      out += pieces_[i].before;
      out += pieces_[i].text;
      out += pieces_[i].after;
    }
    return out;
  }

  std::string RewriteStatement(std::size_t raw_begin, std::size_t raw_end) {
    st_ = Statement();
    st_.raw_begin = raw_begin;
    st_.raw_end = raw_end;
    for (std::size_t i = raw_begin; i < raw_end; ++i) {
      if (tokens_[i].kind != Kind::kSpace && tokens_[i].kind != Kind::kComment) {
        st_.sig.push_back(i);
      }
    }
    const std::size_t n = st_.size();
    st_.match.assign(n, kNone);
    st_.parent.assign(n, kNone);
    st_.text_group.assign(n, false);
    st_.clause_word.assign(n, false);
    for (std::size_t p = 0; p < n; ++p) {
      st_.clause_word[p] = KindAt(p) == Kind::kWord && IsClauseWord(TextAt(p));
    }
    std::vector<std::size_t> open;
    for (std::size_t p = 0; p < n; ++p) {
      st_.parent[p] = open.empty() ? kNone : open.back();
      if (IsPunct(p, "(")) {
        open.push_back(p);
      } else if (IsPunct(p, ")") && !open.empty()) {
        st_.match[p] = open.back();
        st_.match[open.back()] = p;
        open.pop_back();
        st_.parent[p] = open.empty() ? kNone : open.back();
      }
    }
    if (n == 0) return Render(raw_begin, raw_end);

    if (grouped_only_) {
      RewriteGroupedOrder();
      return Render(raw_begin, raw_end);
    }
    // Order matters where two rewrites add text after the same token: the innermost first.
    RewriteNotEqual();
    RewriteLeft();
    RewriteConcatenation();
    RewriteBooleanComparisons();
    RewriteInformationSchema();
    RewriteTop();
    if (IsWord(0, "create") && IsWord(1, "table")) return RewriteCreateTable();
    if (IsWord(0, "alter") && IsWord(1, "table")) return RewriteAlterTable();
    return Render(raw_begin, raw_end);
  }

  // --- Token tests by statement position; a position past the end matches nothing. ---

  Kind KindAt(std::size_t p) const { return tokens_[st_.sig[p]].kind; }
  std::string_view TextAt(std::size_t p) const { return tokens_[st_.sig[p]].text; }
  Piece& PieceAt(std::size_t p) { return pieces_[st_.sig[p]]; }

  bool IsPunct(std::size_t p, std::string_view punct) const {
    return p < st_.size() && KindAt(p) == Kind::kPunct && TextAt(p) == punct;
  }
  bool IsWord(std::size_t p, std::string_view word) const {
    return p < st_.size() && KindAt(p) == Kind::kWord && EqualsIgnoreCase(TextAt(p), word);
  }
  bool IsAnyPunct(std::size_t p, std::initializer_list<std::string_view> puncts) const {
    for (std::string_view punct : puncts) {
      if (IsPunct(p, punct)) return true;
    }
    return false;
  }
  bool IsArithmetic(std::size_t p) const {
    return IsAnyPunct(p, {"+", "-", "*", "/", "%", "||", "&", "|", "^", "~"});
  }

  // A column, table, alias or function name. left( and right( are calls of the text
  // functions, not joins.
  bool IsName(std::size_t p) const {
    if (p >= st_.size()) return false;
    const Kind kind = KindAt(p);
    if (kind == Kind::kBracketed || kind == Kind::kQuoted) return true;
    if (kind != Kind::kWord) return false;
    if (!st_.clause_word[p]) return true;
    return (IsWord(p, "left") || IsWord(p, "right")) && IsPunct(p + 1, "(");
  }

  // The name a token spells: a bracketed or quoted name without its delimiters.
  std::string_view NameAt(std::size_t p) const {
    std::string_view text = TextAt(p);
    const Kind kind = KindAt(p);
    if (kind != Kind::kBracketed && kind != Kind::kQuoted) return text;
    const char close = kind == Kind::kBracketed ? ']' : text.front();  // " or `
    text.remove_prefix(1);
    if (!text.empty() && text.back() == close) text.remove_suffix(1);
    return text;
  }

  bool IsNameSpelled(std::size_t p, std::string_view name) const {
    return p < st_.size() && (KindAt(p) == Kind::kWord || KindAt(p) == Kind::kBracketed) &&
           EqualsIgnoreCase(NameAt(p), name);
  }

  // True when the token at `p` ends an operand, so that what follows it continues an
  // expression rather than starting one.
  bool EndsOperand(std::size_t p) const {
    if (p >= st_.size()) return false;
    const Kind kind = KindAt(p);
    return kind == Kind::kString || kind == Kind::kNumber || IsName(p) || IsPunct(p, ")");
  }

  // Literal text: 'abc' or N'abc'.
  bool IsStringLiteral(std::size_t p) const {
    if (p >= st_.size()) return false;
    if (KindAt(p) == Kind::kString) return true;
    return IsWord(p, "n") && p + 1 < st_.size() && KindAt(p + 1) == Kind::kString &&
           st_.sig[p] + 1 == st_.sig[p + 1];
  }

  // --- Expression extents, as positions [begin, end). ---

  // End of the primary (literal, possibly dotted name, function call, parenthesised
  // expression) that starts at `p`; `p` itself when none starts there.
  std::size_t PrimaryEnd(std::size_t p) const {
    const std::size_t n = st_.size();
    if (p >= n) return p;
    if (IsPunct(p, "(")) return st_.match[p] == kNone ? p : st_.match[p] + 1;
    if (IsStringLiteral(p)) return KindAt(p) == Kind::kString ? p + 1 : p + 2;
    if (KindAt(p) == Kind::kNumber) return p + 1;
    if (!IsName(p)) return p;
    std::size_t q = p + 1;
    while (IsPunct(q, ".") && IsName(q + 1)) q += 2;
    if (IsPunct(q, "(") && st_.match[q] != kNone) q = st_.match[q] + 1;
    return q;
  }

  // End of a product of primaries (a * b / c) that starts at `p`; `p` when none does.
  std::size_t TermEnd(std::size_t p) const {
    std::size_t q = PrimaryEnd(p);
    if (q == p) return p;
    while (IsAnyPunct(q, {"*", "/", "%"})) {
      const std::size_t r = PrimaryEnd(q + 1);
      if (r == q + 1) break;
      q = r;
    }
    return q;
  }

  // Start of the primary that ends with the token at `e`, or kNone.
  std::size_t PrimaryStart(std::size_t e) const {
    if (e >= st_.size()) return kNone;
    std::size_t s = e;
    if (IsPunct(e, ")")) {
      if (st_.match[e] == kNone) return kNone;
      s = st_.match[e];
      if (s > 0 && IsName(s - 1)) --s;  // a function call
    } else if (!IsName(e) && KindAt(e) != Kind::kNumber && KindAt(e) != Kind::kString) {
      return kNone;
    }
    while (s >= 2 && IsPunct(s - 1, ".") && IsName(s - 2)) s -= 2;
    return s;
  }

  // --- The rewrites. ---

  // column<>number -> (column<number or column>number): SQLite serves no index for <>, so
  // a queue of pending rows ("Reply<>1") would be read whole, answered rows and all, while
  // each of the two ranges is a search of an index on the column. The two are the same
  // value for every row: the column's affinity and collation apply to each comparison alike,
  // and a Null gives Null either way. Only where the column is the whole left operand and
  // the number the whole right one: a condition of a Where, On, Having or When, or a
  // parenthesised one. Not in a statement with Between, whose And could be taken for the
  // one before the column.
  void RewriteNotEqual() {
    for (std::size_t p = 0; p < st_.size(); ++p) {
      if (IsWord(p, "between")) return;
    }
    for (std::size_t p = 1; p + 1 < st_.size(); ++p) {
      if (!IsPunct(p, "<>") && !IsPunct(p, "!=")) continue;
      if (IsPunct(p - 1, ")") || !IsName(p - 1) || KindAt(p + 1) != Kind::kNumber) continue;
      const std::size_t s = PrimaryStart(p - 1);
      if (s == kNone) continue;
      const bool starts = s == 0 || IsPunct(s - 1, "(") || IsWord(s - 1, "where") ||
                          IsWord(s - 1, "and") || IsWord(s - 1, "or") || IsWord(s - 1, "not") ||
                          IsWord(s - 1, "on") || IsWord(s - 1, "having") || IsWord(s - 1, "when");
      const std::size_t after = p + 2;
      const bool ends = after == st_.size() || IsPunct(after, ")") || IsPunct(after, ",") ||
                        IsWord(after, "and") || IsWord(after, "or") || IsWord(after, "order") ||
                        IsWord(after, "group") || IsWord(after, "having") ||
                        IsWord(after, "then") || IsWord(after, "union") ||
                        IsWord(after, "except") || IsWord(after, "intersect");
      if (!starts || !ends) continue;
      std::string column;
      for (std::size_t q = s; q < p; ++q) column += TextAt(q);
      const std::string number(TextAt(p + 1));
      PieceAt(s).before.insert(0, "(");
      PieceAt(p).text = "<";
      PieceAt(p + 1).after += " or " + column + ">" + number + ")";
    }
  }

  // left(s, n) -> substr(s, 1, n): LEFT is a keyword in SQLite, so no function can carry
  // that name. A function's result has no collation; the text compares as the column would.
  void RewriteLeft() {
    for (std::size_t p = 0; p + 1 < st_.size(); ++p) {
      if (!IsWord(p, "left") || !IsPunct(p + 1, "(") || st_.match[p + 1] == kNone) continue;
      if (p > 0 && IsPunct(p - 1, ".")) continue;
      const std::size_t close = st_.match[p + 1];
      std::size_t comma = kNone;
      for (std::size_t q = p + 2; q < close; ++q) {
        if (IsPunct(q, "(") && st_.match[q] != kNone) {
          q = st_.match[q];
        } else if (IsPunct(q, ",")) {
          comma = q;
          break;
        }
      }
      if (comma == kNone || comma == p + 2) continue;
      PieceAt(p).text = "substr";
      PieceAt(comma).text = ", 1,";
      PieceAt(close).after += " COLLATE NOCASE";
    }
  }

  // a + 'x' + b -> (a || 'x' || b) COLLATE NOCASE. In SQLite "+" is numeric only: a text
  // that does not start with a number counts as 0, so the SQL Server text runs, returns
  // wrong values and raises no error. A sum is a concatenation when one of its terms is a
  // literal text (or a parenthesised concatenation); sums of columns and numbers stay
  // numeric. Innermost parentheses go first, so an outer sum sees its inner texts.
  void RewriteConcatenation() {
    for (std::size_t p = 0; p < st_.size(); ++p) {
      if (IsPunct(p, ")") && st_.match[p] != kNone && st_.match[p] < p) {
        const std::size_t open = st_.match[p];
        st_.text_group[open] = RewriteSumsIn(open + 1, p);
      }
    }
    RewriteSumsIn(0, st_.size());
  }

  // Rewrites the text sums at the top level of positions [begin, end). True when one
  // rewritten sum covers the whole range.
  bool RewriteSumsIn(std::size_t begin, std::size_t end) {
    bool whole = false;
    std::size_t p = begin;
    while (p < end) {
      const bool starts =
          p == begin || (!EndsOperand(p - 1) && !IsArithmetic(p - 1) && !IsPunct(p - 1, "."));
      const std::size_t first_end = starts ? TermEnd(p) : p;
      if (first_end == p || first_end > end) {
        p = IsPunct(p, "(") && st_.match[p] != kNone && st_.match[p] < end ? st_.match[p] + 1
                                                                           : p + 1;
        continue;
      }
      // The sum: terms [term_begin[i], term_end[i]) joined by the operators at ops[i].
      std::vector<std::size_t> term_begin{p}, term_end{first_end}, ops;
      bool minus = false;
      std::size_t q = first_end;
      while (q < end && IsAnyPunct(q, {"+", "-"})) {
        const std::size_t r = TermEnd(q + 1);
        if (r == q + 1 || r > end) break;
        minus = minus || IsPunct(q, "-");
        ops.push_back(q);
        term_begin.push_back(q + 1);
        term_end.push_back(r);
        q = r;
      }
      bool text = false;
      for (std::size_t i = 0; i < term_begin.size(); ++i) {
        const std::size_t b = term_begin[i];
        if (PrimaryEnd(b) != term_end[i]) continue;  // a product is never a text
        if (IsStringLiteral(b) || (IsPunct(b, "(") && st_.text_group[b])) text = true;
      }
      // A text minus something is not a concatenation; leave that to the database's error.
      if (!ops.empty() && text && !minus) {
        for (std::size_t op : ops) PieceAt(op).text = "||";
        for (std::size_t i = 0; i < term_begin.size(); ++i) {
          if (PrimaryEnd(term_begin[i]) == term_end[i]) continue;
          // || binds tighter than * in SQLite: keep the product whole.
          PieceAt(term_begin[i]).before.insert(0, "(");
          PieceAt(term_end[i] - 1).after += ")";
        }
        PieceAt(p).before.insert(0, "(");
        PieceAt(q - 1).after += ") COLLATE NOCASE";
        if (p == begin && q == end) whole = true;
      }
      p = q;
    }
    return whole;
  }

  // Jet Boolean columns store true as -1, files written elsewhere as 1: "x=true" becomes
  // "(x<>0)" so both count, "x=false" becomes "x=0". In the SET list of an UPDATE,
  // "x=true" stores Jet's -1.
  void RewriteBooleanComparisons() {
    std::size_t set_begin = kNone;
    std::size_t set_end = kNone;
    if (IsWord(0, "update")) {
      for (std::size_t p = 1; p < st_.size(); ++p) {
        if (st_.parent[p] != kNone) continue;
        if (set_begin == kNone && IsWord(p, "set")) {
          set_begin = p;
        } else if (set_begin != kNone && IsWord(p, "where")) {
          set_end = p;
          break;
        }
      }
      if (set_begin != kNone && set_end == kNone) set_end = st_.size();
    }
    for (std::size_t p = 1; p + 1 < st_.size(); ++p) {
      if (!IsPunct(p, "=")) continue;
      const bool is_true = IsWord(p + 1, "true");
      if (!is_true && !IsWord(p + 1, "false")) continue;
      if (IsPunct(p + 2, ".") || IsPunct(p + 2, "(")) continue;
      if (!is_true) {
        PieceAt(p + 1).text = "0";
        continue;
      }
      if (set_begin != kNone && p > set_begin && p < set_end && st_.parent[p] == kNone) {
        PieceAt(p + 1).text = "-1";
        continue;
      }
      const std::size_t start = PrimaryStart(p - 1);
      if (start == kNone) continue;
      if (start > 0 && (IsArithmetic(start - 1) || IsPunct(start - 1, "."))) continue;
      PieceAt(start).before.insert(0, "(");
      PieceAt(p).text = "<>";
      PieceAt(p + 1).text = "0";
      PieceAt(p + 1).after += ")";
    }
  }

  // Information_Schema.tables / .columns -> a subquery over sqlite_master with the view's
  // column names, aliased by the view's name unless the text gives an alias.
  void RewriteInformationSchema() {
    for (std::size_t p = 0; p + 2 < st_.size(); ++p) {
      if (!IsNameSpelled(p, "information_schema") || !IsPunct(p + 1, ".")) continue;
      const bool tables = IsNameSpelled(p + 2, "tables");
      if (!tables && !IsNameSpelled(p + 2, "columns")) continue;
      if (IsPunct(p + 3, ".") || IsPunct(p + 3, "(")) continue;
      std::size_t first = p;
      if (p >= 2 && IsPunct(p - 1, ".") && IsName(p - 2)) first = p - 2;  // Catalog.
      for (std::size_t raw = st_.sig[first]; raw <= st_.sig[p + 2]; ++raw) {
        if (tokens_[raw].kind != Kind::kComment) pieces_[raw].text.clear();
      }
      PieceAt(p + 2).text =
          std::string(tables ? kInformationSchemaTables : kInformationSchemaColumns);
      const bool aliased = IsWord(p + 3, "as") || IsName(p + 3);
      if (!aliased) PieceAt(p + 2).after.insert(0, " AS " + std::string(NameAt(p + 2)));
    }
  }

  // SELECT [DISTINCT] TOP n ... -> SELECT [DISTINCT] ... LIMIT n, the LIMIT after the last
  // token of that SELECT: the end of the statement, or of the parentheses around a
  // subquery (so after its ORDER BY). TOP n PERCENT and WITH TIES have no SQLite form.
  void RewriteTop() {
    for (std::size_t p = 0; p < st_.size(); ++p) {
      if (!IsWord(p, "select")) continue;
      std::size_t top = p + 1;
      if (IsWord(top, "distinct") || IsWord(top, "all")) ++top;
      if (!IsWord(top, "top")) continue;
      std::size_t count = top + 1;
      std::size_t rest = top + 2;
      if (IsPunct(top + 1, "(") && IsPunct(top + 3, ")")) {
        count = top + 2;
        rest = top + 4;
      }
      if (count >= st_.size() || KindAt(count) != Kind::kNumber) continue;
      const std::string_view digits = TextAt(count);
      bool whole = !digits.empty();
      for (char c : digits) whole = whole && IsDigit(static_cast<unsigned char>(c));
      if (!whole || rest >= st_.size() || IsWord(rest, "percent") || IsWord(rest, "with")) {
        continue;
      }
      const std::size_t parent = st_.parent[p];
      std::size_t last = st_.size() - 1;
      if (parent != kNone) {
        if (st_.match[parent] == kNone) continue;
        last = st_.match[parent] - 1;
      }
      if (last < rest) continue;
      for (std::size_t raw = st_.sig[top]; raw < st_.sig[rest]; ++raw) {
        if (tokens_[raw].kind != Kind::kComment) pieces_[raw].text.clear();
      }
      PieceAt(last).after += " LIMIT " + std::string(digits);
    }
  }

  // SELECT ... [WHERE c] GROUP BY g1, ..., gn ORDER BY o1 [ASC|DESC], ..., ok, each o one of
  // the g and k < n -> SELECT ... WHERE (c) and o1 IS o1 GROUP BY o1, ..., ok, <the other g in
  // their order> ORDER BY o1 [ASC|DESC], ..., ok, <the other g>. The same groups, in the same
  // order, but a statement read forward only for its first rows (the loan rows of an account,
  // latest first) no longer groups and sorts every row before the first one comes back: an
  // index on (<columns the Where fixes>, o1, ..., ok, the other g) hands the rows over in
  // group and sort order at once, and SQLite then streams the groups.
  //
  // The order is the one SQLite gives the statement as written. It groups through its sorter
  // on g1, ..., gn ascending (no index holds every one of those columns in another order), so
  // the groups come out in that order, and its ORDER BY sorter keeps the order in which rows
  // came where they tie on o1, ..., ok (merging its sorted runs, the earlier run first). Rows
  // that tie on the o's are thus in the order of the g's, which on the o's themselves are
  // equal: the added terms say exactly that. Where the statement compares texts without regard
  // to case, the added terms do too (each is the same column, with its collation).
  //
  // "o1 IS o1" holds for every row, Null included. It marks the statement for the index made
  // for it: that index is partial with the condition "o1 IS o1", which no other statement
  // implies, so a min() of o1 or a sum over the same rows (whose results depend on the order
  // their rows are read in) is never planned on it.
  //
  // Only for names of the form table.column, a top-level GROUP BY and ORDER BY that end the
  // statement, and no DISTINCT, TOP, LIMIT, HAVING, compound or comment in the way; anything
  // else stays as written.
  void RewriteGroupedOrder() {
    if (!IsWord(0, "select")) return;
    const std::size_t n = st_.size();
    std::size_t from = kNone, where = kNone, group = kNone, order = kNone;
    static constexpr std::string_view kStops[] = {"distinct", "top",       "limit",  "having",
                                                  "union",    "intersect", "except", "window",
                                                  "into",     "offset"};
    for (std::size_t p = 1; p < n; ++p) {
      if (st_.parent[p] != kNone) continue;
      for (std::string_view stop : kStops) {
        if (IsWord(p, stop)) return;
      }
      if (IsWord(p, "from") && from == kNone) from = p;
      if (IsWord(p, "where") && where == kNone) where = p;
      if (IsWord(p, "group") && IsWord(p + 1, "by")) {
        if (group != kNone) return;
        group = p;
      }
      if (IsWord(p, "order") && IsWord(p + 1, "by")) {
        if (order != kNone) return;
        order = p;
      }
    }
    if (from == kNone || group == kNone || order == kNone || !(from < group && group < order)) {
      return;
    }
    if (where != kNone && !(from < where && where + 1 < group)) return;
    for (std::size_t raw = st_.sig[group]; raw < st_.raw_end; ++raw) {
      if (tokens_[raw].kind == Kind::kComment) return;
    }

    struct Term {
      std::string key;        // the names in lower case, joined by "."
      std::string text;       // as written
      std::string direction;  // " desc" or " asc" as written; "" when none
    };
    // A list of table.column names, each with a direction when `directions`, from `begin` to
    // `end` exactly; false when it is anything else.
    const auto read = [&](std::size_t begin, std::size_t end, bool directions,
                          std::vector<Term>& terms) {
      std::size_t p = begin;
      while (p < end) {
        if (!IsName(p) || IsPunct(p + 1, "(")) return false;
        Term term;
        term.key = Lowered(NameAt(p));
        std::size_t q = p + 1;
        while (IsPunct(q, ".") && IsName(q + 1) && !IsPunct(q + 2, "(")) {
          term.key.append(".").append(Lowered(NameAt(q + 1)));
          q += 2;
        }
        if (q == p + 1 || q > end) return false;  // not qualified by its table
        term.text = Render(st_.sig[p], st_.sig[q - 1] + 1);
        if (directions && (IsWord(q, "asc") || IsWord(q, "desc")) && q < end) {
          term.direction.append(" ").append(TextAt(q));
          ++q;
        }
        for (const Term& other : terms) {
          if (other.key == term.key) return false;
        }
        terms.push_back(std::move(term));
        if (q == end) return true;
        if (!IsPunct(q, ",")) return false;
        p = q + 1;
      }
      return false;  // empty, or ends with a comma
    };
    std::vector<Term> grouped, ordered;
    if (!read(group + 2, order, false, grouped) || !read(order + 2, n, true, ordered)) return;
    if (ordered.size() >= grouped.size()) return;
    std::vector<const Term*> rest;  // the g that are not among the o, in their order
    for (const Term& g : grouped) {
      bool sorted = false;
      for (const Term& o : ordered) sorted = sorted || o.key == g.key;
      if (!sorted) rest.push_back(&g);
    }
    if (rest.size() + ordered.size() != grouped.size()) return;  // an o that is no g

    std::string group_list, order_list;
    for (const Term& o : ordered) {
      for (const Term& g : grouped) {
        if (g.key == o.key) group_list.append(group_list.empty() ? "" : ", ").append(g.text);
      }
      order_list.append(order_list.empty() ? "" : ", ").append(o.text).append(o.direction);
    }
    for (const Term* g : rest) {
      group_list.append(", ").append(g->text);
      order_list.append(", ").append(g->text);
    }
    for (std::size_t raw = st_.sig[group + 2]; raw < st_.sig[order]; ++raw) {
      pieces_[raw].text.clear();
    }
    PieceAt(group + 2).text = group_list.append(" ");
    for (std::size_t raw = st_.sig[order + 2]; raw <= st_.sig[n - 1]; ++raw) {
      pieces_[raw].text.clear();
    }
    PieceAt(order + 2).text = order_list;
    const std::string mark = ordered.front().text + " IS " + ordered.front().text;
    if (where != kNone) {
      PieceAt(where + 1).before.insert(0, "(");
      PieceAt(group - 1).after += ") and " + mark;
    } else {
      PieceAt(group).before.insert(0, "where " + mark + " ");
    }
  }

  static std::string Lowered(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = Lower(c);
    return lower;
  }

  // Splits positions [begin, end) at its top-level commas.
  std::vector<std::pair<std::size_t, std::size_t>> SplitAtCommas(std::size_t begin,
                                                                 std::size_t end) const {
    std::vector<std::pair<std::size_t, std::size_t>> parts;
    std::size_t part = begin;
    for (std::size_t q = begin; q < end; ++q) {
      if (IsPunct(q, "(") && st_.match[q] != kNone && st_.match[q] < end) {
        q = st_.match[q];
      } else if (IsPunct(q, ",")) {
        parts.emplace_back(part, q);
        part = q + 1;
      }
    }
    parts.emplace_back(part, end);
    return parts;
  }

  // One column definition, positions [begin, end): "name type[(n)] [constraints]".
  // Brackets around the type go ("[varchar](20)" would declare the type "varchar](20"),
  // varchar(max) becomes plain varchar, and a text column compares without
  // regard to case unless it names its own collation. A name that is a keyword in SQLite
  // (Limit) is quoted.
  void RewriteColumnDefinition(std::size_t begin, std::size_t end) {
    if (begin >= end || end > st_.size()) return;
    static constexpr std::string_view kTableConstraints[] = {"constraint", "primary", "unique",
                                                             "check", "foreign"};
    for (std::string_view word : kTableConstraints) {
      if (IsWord(begin, word)) return;
    }
    if (KindAt(begin) == Kind::kWord) {
      const std::string_view name = TextAt(begin);
      if (sqlite3_keyword_check(name.data(), static_cast<int>(name.size())) != 0) {
        PieceAt(begin).text = "\"" + std::string(name) + "\"";
      }
    } else if (KindAt(begin) != Kind::kBracketed && KindAt(begin) != Kind::kQuoted) {
      return;
    }
    const std::size_t type = begin + 1;
    if (type >= end) return;
    std::string_view type_name;
    if (KindAt(type) == Kind::kWord) {
      type_name = TextAt(type);
    } else if (KindAt(type) == Kind::kBracketed) {
      type_name = NameAt(type);
      bool plain = !type_name.empty();
      for (char c : type_name)
        plain = plain && (IsWordPart(static_cast<unsigned char>(c)) || c == ' ');
      if (!plain) return;
      PieceAt(type).text = std::string(type_name);
    } else {
      return;
    }
    std::size_t type_last = type;
    if (IsPunct(type + 1, "(") && st_.match[type + 1] != kNone && st_.match[type + 1] < end) {
      const std::size_t close = st_.match[type + 1];
      if (close == type + 3 && IsWord(type + 2, "max")) {
        for (std::size_t raw = st_.sig[type] + 1; raw <= st_.sig[close]; ++raw) {
          pieces_[raw].text.clear();
        }
      } else {
        type_last = close;
      }
    }
    // Other type names stay as written ("image" keeps blobs as stored: its affinity never
    // converts a blob), so the declared schema reads as the statements wrote it.
    if (!IsTextType(type_name)) return;
    for (std::size_t q = type_last + 1; q < end; ++q) {
      if (IsWord(q, "collate")) return;
    }
    PieceAt(type_last).after += " COLLATE NOCASE";
  }

  // CREATE TABLE name (definitions) ...
  std::string RewriteCreateTable() {
    std::size_t open = 2;
    while (open < st_.size() && !IsPunct(open, "(")) ++open;
    if (open < st_.size() && st_.match[open] != kNone) {
      for (const auto& [b, e] : SplitAtCommas(open + 1, st_.match[open])) {
        RewriteColumnDefinition(b, e);
      }
    }
    return Render(st_.raw_begin, st_.raw_end);
  }

  // ALTER TABLE name ADD a type, b type, ... -> one ALTER TABLE ... ADD per column, joined
  // by ";" (SQLite adds one column per statement). ALTER TABLE name ALTER COLUMN c type ->
  // a query that only checks that the table and column exist: SQLite does not enforce
  // declared lengths, so there is nothing to change.
  std::string RewriteAlterTable() {
    std::size_t verb = 2;
    while (verb < st_.size() &&
           !(st_.parent[verb] == kNone && (IsWord(verb, "add") || IsWord(verb, "alter")))) {
      ++verb;
    }
    std::string whole = Render(st_.raw_begin, st_.raw_end);
    if (verb == 2 || verb + 1 >= st_.size()) return whole;
    const std::string leading = Render(st_.raw_begin, st_.sig.front());
    const std::string trailing = Render(st_.sig.back() + 1, st_.raw_end);
    const std::string table = Render(st_.sig[2], st_.sig[verb - 1] + 1);

    if (IsWord(verb, "alter")) {
      if (!IsWord(verb + 1, "column") || verb + 2 >= st_.size()) return whole;
      return leading + "SELECT " + std::string(TextAt(verb + 2)) + " FROM " + table + " WHERE 0" +
             trailing;
    }

    std::size_t first = verb + 1;
    if (IsWord(first, "column")) ++first;
    if (IsWord(first, "constraint") || IsWord(first, "primary") || IsWord(first, "unique") ||
        IsWord(first, "check") || IsWord(first, "foreign") || IsWord(first, "default")) {
      return whole;
    }
    const auto columns = SplitAtCommas(first, st_.size());
    for (const auto& [b, e] : columns) RewriteColumnDefinition(b, e);
    if (columns.size() == 1) return Render(st_.raw_begin, st_.raw_end);

    const std::string head = Render(st_.sig.front(), st_.sig[verb] + 1);
    std::string out = leading;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const auto [b, e] = columns[i];
      if (i > 0) out += "; ";
      out += head;
      if (b < e) out += " " + Render(st_.sig[b], st_.sig[e - 1] + 1);
    }
    return out + trailing;
  }

  std::vector<Token> tokens_;
  std::vector<Piece> pieces_;  // one per token
  Statement st_;               // the statement being rewritten
  bool grouped_only_;
};

// --- Reading single statements: LimitForSqlite, DeclaredCollation. ---

// The tokens of `sql` but blanks and comments.
std::vector<Token> SignificantTokens(std::string_view sql) {
  std::vector<Token> tokens = Tokenize(sql);
  std::erase_if(tokens,
                [](const Token& t) { return t.kind == Kind::kSpace || t.kind == Kind::kComment; });
  return tokens;
}

bool IsWordToken(const std::vector<Token>& t, std::size_t p, std::string_view word) {
  return p < t.size() && t[p].kind == Kind::kWord && EqualsIgnoreCase(t[p].text, word);
}
bool IsPunctToken(const std::vector<Token>& t, std::size_t p, std::string_view punct) {
  return p < t.size() && t[p].kind == Kind::kPunct && t[p].text == punct;
}

// A plain name: a word that is no keyword, or a [bracketed] or "quoted" name.
bool IsNameToken(const std::vector<Token>& t, std::size_t p) {
  if (p >= t.size()) return false;
  if (t[p].kind == Kind::kBracketed || t[p].kind == Kind::kQuoted) return true;
  return t[p].kind == Kind::kWord && !IsClauseWord(t[p].text);
}

// The name a token spells, without its brackets or quotes.
std::string_view NameOf(const Token& token) {
  std::string_view text = token.text;
  if (token.kind != Kind::kBracketed && token.kind != Kind::kQuoted) return text;
  const char close = token.kind == Kind::kBracketed ? ']' : text.front();
  text.remove_prefix(1);
  if (!text.empty() && text.back() == close) text.remove_suffix(1);
  return text;
}

// Most values of an In list that LimitForSqlite splits; a longer list runs as it is.
constexpr std::size_t kMostSplitValues = 32;

// "SELECT <columns or *> FROM <table> WHERE ... <column> In(<whole numbers>) ... ORDER BY
// <columns>", the In list one of the conditions joined by And at the top level of the Where.
struct InListSelect {
  std::string_view head;                 // the text before the In condition
  std::string_view column;               // the column before In, as written
  std::string_view tail;                 // the text after the In list's ")", Order By included
  std::string_view order;                // the Order By terms, as written
  std::vector<std::string_view> values;  // distinct, in list order
};

std::optional<InListSelect> ReadInListSelect(std::string_view sql) {
  const std::vector<Token> t = SignificantTokens(sql);
  const auto offset = [&](std::size_t p) {
    return static_cast<std::size_t>(t[p].text.data() - sql.data());
  };
  std::size_t p = 0;
  if (!IsWordToken(t, p++, "select")) return std::nullopt;
  // The columns: * or plain names, so that every row of the result is one table row.
  bool star = false;
  std::vector<std::string_view> columns;
  if (IsPunctToken(t, p, "*")) {
    star = true;
    ++p;
  } else {
    for (;; p += 2) {
      if (!IsNameToken(t, p)) return std::nullopt;
      columns.push_back(NameOf(t[p]));
      if (!IsPunctToken(t, p + 1, ",")) break;
    }
    ++p;
  }
  if (!IsWordToken(t, p, "from") || !IsNameToken(t, p + 1) || !IsWordToken(t, p + 2, "where")) {
    return std::nullopt;
  }
  p += 3;

  // The Where runs to the Order By; nothing at its top level may join conditions other than
  // by And (an And inside Between or Case joins no conditions).
  static constexpr std::string_view kStops[] = {"or",    "between",   "case",   "group", "having",
                                                "union", "intersect", "except", "limit", "window"};
  std::size_t order = kNone;
  std::vector<std::size_t> conditions{p};  // where each condition starts
  int depth = 0;
  for (std::size_t q = p; q < t.size() && order == kNone; ++q) {
    if (IsPunctToken(t, q, "(")) ++depth;
    if (IsPunctToken(t, q, ")") && --depth < 0) return std::nullopt;
    if (depth > 0) continue;
    for (std::string_view stop : kStops) {
      if (IsWordToken(t, q, stop)) return std::nullopt;
    }
    if (IsWordToken(t, q, "and")) conditions.push_back(q + 1);
    if (IsWordToken(t, q, "order") && IsWordToken(t, q + 1, "by")) order = q;
  }
  if (order == kNone || depth != 0) return std::nullopt;
  conditions.push_back(order + 1);  // as if an "and" stood before the Order By

  // The Order By: plain names that are columns of the result, each with ASC or DESC.
  for (std::size_t q = order + 2;; ++q) {
    if (!IsNameToken(t, q)) return std::nullopt;
    const std::string_view name = NameOf(t[q]);
    if (!star && std::none_of(columns.begin(), columns.end(),
                              [&](std::string_view c) { return EqualsIgnoreCase(c, name); })) {
      return std::nullopt;
    }
    if (IsWordToken(t, q + 1, "asc") || IsWordToken(t, q + 1, "desc")) ++q;
    if (q + 1 == t.size()) break;
    if (!IsPunctToken(t, q + 1, ",")) return std::nullopt;
    ++q;
  }

  // The first condition that is exactly "<name> In(<whole numbers>)".
  for (std::size_t i = 0; i + 1 < conditions.size(); ++i) {
    const std::size_t begin = conditions[i];
    const std::size_t end = conditions[i + 1] - 1;  // at its "and", or at "order"
    if (!IsNameToken(t, begin) || !IsWordToken(t, begin + 1, "in") ||
        !IsPunctToken(t, begin + 2, "(") || !IsPunctToken(t, end - 1, ")")) {
      continue;
    }
    InListSelect in;
    std::vector<std::int64_t> seen;
    bool numbers = true;
    for (std::size_t q = begin + 3;; q += 2) {
      const std::size_t first = q;
      const bool minus = IsPunctToken(t, q, "-");
      if (minus || IsPunctToken(t, q, "+")) ++q;
      std::int64_t value = 0;
      const std::string_view digits = q < end - 1 ? t[q].text : std::string_view();
      const auto [rest, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
      numbers = !digits.empty() && t[q].kind == Kind::kNumber && ec == std::errc() &&
                rest == digits.data() + digits.size();
      if (!numbers) break;
      if (minus) value = -value;
      if (std::find(seen.begin(), seen.end(), value) == seen.end()) {
        seen.push_back(value);
        in.values.push_back(sql.substr(offset(first), offset(q) + digits.size() - offset(first)));
      }
      if (q + 1 == end - 1) break;  // the list's ")"
      numbers = IsPunctToken(t, q + 1, ",");
      if (!numbers) break;
    }
    if (!numbers || in.values.size() < 2 || in.values.size() > kMostSplitValues) continue;
    in.head = sql.substr(0, offset(begin));
    in.column = t[begin].text;
    in.tail = sql.substr(offset(end - 1) + 1);
    in.order = sql.substr(offset(order + 2));
    return in;
  }
  return std::nullopt;
}

}  // namespace

std::string RewriteForSqlite(std::string_view sql) {
  // Most statements hold none of the constructs; every construct needs one of these
  // texts somewhere (in any case), so without them the statement runs as it is.
  static constexpr std::string_view kMarks[] = {
      "+",    "top",   "alter", "create", "<>", "!=", "information_schema",
      "true", "false", "left",  "n'"};
  // A mark that begins with a letter counts only where a word may begin: "n'" ends 'Loan'
  // too, but only a word "N" makes N'text'.
  std::string lower(sql);
  for (char& c : lower) c = Lower(c);
  for (std::string_view mark : kMarks) {
    const bool word = IsWordStart(static_cast<unsigned char>(mark.front()));
    for (std::size_t at = lower.find(mark); at != std::string::npos;
         at = lower.find(mark, at + 1)) {
      if (!word || at == 0 || !IsWordPart(static_cast<unsigned char>(lower[at - 1]))) {
        return Rewriter(sql).Run();
      }
    }
  }
  return std::string(sql);
}

std::string GroupInSortOrderForSqlite(std::string_view select) {
  // Both words are needed; most statements have neither.
  std::string lower(select);
  for (char& c : lower) c = Lower(c);
  if (lower.find("group") == std::string::npos || lower.find("order") == std::string::npos) {
    return std::string(select);
  }
  return Rewriter(select, true).Run();
}

std::string LimitForSqlite(std::string_view select, std::int64_t max_rows) {
  const std::string limit = " LIMIT " + std::to_string(max_rows);
  const std::optional<InListSelect> in = ReadInListSelect(select);
  if (!in) return std::string(select) + limit;
  // One sub-select per value: "column=value" stands where "column In(...)" stood, and each
  // reads its first rows in the Order By's order. The outer Order By merges them; its names
  // are the result's column names, which keep the collation of the columns they read.
  std::string out = "SELECT * FROM (";
  for (std::size_t i = 0; i < in->values.size(); ++i) {
    if (i > 0) out += ") UNION ALL SELECT * FROM (";
    out.append(in->head).append(in->column).append("=").append(in->values[i]);
    out.append(in->tail).append(limit);
  }
  return out.append(") ORDER BY ").append(in->order).append(limit);
}

std::string DeclaredCollation(std::string_view create_table, std::string_view column) {
  const std::vector<Token> t = SignificantTokens(create_table);
  // A column definition follows the first "(" or a "," inside it at the same level.
  int depth = 0;
  for (std::size_t p = 0; p < t.size(); ++p) {
    if (IsPunctToken(t, p, "(")) {
      if (++depth != 1) continue;
    } else if (IsPunctToken(t, p, ")")) {
      if (--depth <= 0) break;
      continue;
    } else if (depth != 1 || !IsPunctToken(t, p, ",")) {
      continue;
    }
    if (!IsNameToken(t, p + 1) || !EqualsIgnoreCase(NameOf(t[p + 1]), column)) continue;
    int inner = 0;
    for (std::size_t q = p + 2; q < t.size(); ++q) {
      if (IsPunctToken(t, q, "(")) ++inner;
      if (IsPunctToken(t, q, ")") && --inner < 0) break;
      if (inner == 0 && IsPunctToken(t, q, ",")) break;
      if (inner == 0 && IsWordToken(t, q, "collate") && q + 1 < t.size()) {
        return std::string(NameOf(t[q + 1]));
      }
    }
    return "BINARY";
  }
  return "";
}

}  // namespace data
