#include "base/numbers.h"

#include <cerrno>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "base/agent_error.h"

namespace base {

double RoundHalfEven(double x) {
  // nearbyint rounds in the current mode, which is round-to-nearest-even unless changed;
  // the agent never changes it.
  return std::nearbyint(x);
}

double RoundHalfEven(double x, int decimals) {
  const double scale = std::pow(10.0, decimals);
  return std::nearbyint(x * scale) / scale;
}

std::uint8_t ToByte(double x) {
  const double r = RoundHalfEven(x);
  if (!(r >= 0.0 && r <= 255.0)) {
    throw AgentError(kOverflow, "Overflow: " + ShortestText(x) + " does not fit a byte");
  }
  return static_cast<std::uint8_t>(r);
}

std::int16_t ToInt16(double x) {
  const double r = RoundHalfEven(x);
  if (!(r >= -32768.0 && r <= 32767.0)) {
    throw AgentError(kOverflow, "Overflow: " + ShortestText(x) + " does not fit a 16-bit integer");
  }
  return static_cast<std::int16_t>(r);
}

std::int32_t ToInt32(double x) {
  const double r = RoundHalfEven(x);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) {
    throw AgentError(kOverflow, "Overflow: " + ShortestText(x) + " does not fit a 32-bit integer");
  }
  return static_cast<std::int32_t>(r);
}

std::int16_t CheckedInt16(std::int64_t x) {
  if (x < std::numeric_limits<std::int16_t>::min() ||
      x > std::numeric_limits<std::int16_t>::max()) {
    throw AgentError(kOverflow,
                     "Overflow: " + std::to_string(x) + " does not fit a 16-bit integer");
  }
  return static_cast<std::int16_t>(x);
}

std::int32_t CheckedInt32(std::int64_t x) {
  if (x < std::numeric_limits<std::int32_t>::min() ||
      x > std::numeric_limits<std::int32_t>::max()) {
    throw AgentError(kOverflow,
                     "Overflow: " + std::to_string(x) + " does not fit a 32-bit integer");
  }
  return static_cast<std::int32_t>(x);
}

namespace {

// Decimal digits of |x| with at most 15 significant digits: digits (no leading zeros
// except a single "0") and the position of the decimal point from the left.
struct Decimal {
  bool negative = false;
  std::string digits;  // significant digits, no leading zeros; "" for zero
  int exponent = 0;    // value = 0.digits * 10^exponent
};

Decimal ToDecimal15(double x) {
  Decimal d;
  if (x == 0.0 || !std::isfinite(x)) return d;
  d.negative = x < 0;
  // d.dddddddddddddde[+-]xx, exactly as printf's "%.14e" writes it (correctly rounded,
  // ties to even on the binary value), without printf's multi-precision arithmetic.
  char buf[64];
  const std::to_chars_result written =
      std::to_chars(buf, buf + sizeof buf - 1, std::fabs(x), std::chars_format::scientific, 14);
  *written.ptr = '\0';
  std::string mantissa;
  const char* p = buf;
  for (; *p != 'e'; ++p) {
    if (*p != '.') mantissa.push_back(*p);
  }
  const int exp10 = std::atoi(p + 1);
  while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
  d.digits = mantissa;
  d.exponent = exp10 + 1;
  return d;
}

}  // namespace

std::string FormatAmount(double x) {
  Decimal d = ToDecimal15(x);
  // Integer and fraction digits of the 15-digit value, then round at the second decimal,
  // half away from zero.
  std::string int_part;
  std::string frac_part;
  for (int i = 0; i < static_cast<int>(d.digits.size()); ++i) {
    const int position = d.exponent - 1 - i;  // power of ten of this digit
    if (position >= 0) {
      int_part.push_back(d.digits[i]);
    }
  }
  if (d.exponent > static_cast<int>(d.digits.size())) {
    int_part.append(d.exponent - d.digits.size(), '0');
  }
  if (d.exponent < 0) {
    frac_part.assign(-d.exponent, '0');
    frac_part += d.digits;
  } else if (d.exponent < static_cast<int>(d.digits.size())) {
    frac_part = d.digits.substr(d.exponent);
  }
  if (int_part.empty()) int_part = "0";
  frac_part.resize(std::max<std::size_t>(frac_part.size(), 3), '0');
  const bool round_up = frac_part[2] >= '5';
  std::string number = int_part + frac_part.substr(0, 2);  // the value * 100, as digits
  if (round_up) {
    int i = static_cast<int>(number.size()) - 1;
    while (i >= 0) {
      if (number[i] == '9') {
        number[i] = '0';
        --i;
      } else {
        ++number[i];
        break;
      }
    }
    if (i < 0) number.insert(number.begin(), '1');
  }
  // number holds at least three digits: int digits + two decimals.
  std::string out = number.substr(0, number.size() - 2);
  std::size_t first = out.find_first_not_of('0');
  out = first == std::string::npos ? "0" : out.substr(first);
  out += "." + number.substr(number.size() - 2);
  const bool is_zero = out == "0.00";
  return (d.negative && !is_zero ? "-" : "") + out;
}

std::string FormatTwoDigits(std::int64_t x) {
  // The sign stands before the two digits, not in place of one ("-05", as the pattern
  // writes it). The magnitude is unsigned, so the most negative value has one too.
  const std::uint64_t magnitude =
      x < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(x) : static_cast<std::uint64_t>(x);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%02llu", x < 0 ? "-" : "",
                static_cast<unsigned long long>(magnitude));
  return buf;
}

std::string ShortestText(double x) {
  if (x == 0.0) return "0";
  Decimal d = ToDecimal15(x);
  std::string out = d.negative ? "-" : "";
  const int n = static_cast<int>(d.digits.size());
  if (d.exponent > 15 || d.exponent < -14) {
    // Scientific form: d.ddddE+xx
    out += d.digits.substr(0, 1);
    if (n > 1) out += "." + d.digits.substr(1);
    const int e = d.exponent - 1;
    char buf[16];
    std::snprintf(buf, sizeof buf, "E%c%02d", e < 0 ? '-' : '+', e < 0 ? -e : e);
    return out + buf;
  }
  if (d.exponent <= 0) {
    return out + "0." + std::string(-d.exponent, '0') + d.digits;
  }
  if (d.exponent >= n) {
    return out + d.digits + std::string(d.exponent - n, '0');
  }
  return out + d.digits.substr(0, d.exponent) + "." + d.digits.substr(d.exponent);
}

double RoundTrip15(double x) { return ParseNumber(ShortestText(x)); }

double ParseNumber(std::string_view text) {
  std::string s(text);
  std::size_t b = s.find_first_not_of(" \t");
  std::size_t e = s.find_last_not_of(" \t");
  if (b == std::string::npos) {
    throw AgentError(kTypeMismatch, "Type mismatch: '" + s + "' is not a number");
  }
  s = s.substr(b, e - b + 1);
  // Only plain decimal numbers: reject hex, inf, nan that strtod would accept.
  bool digit_seen = false;
  for (char c : s) {
    if (c >= '0' && c <= '9') {
      digit_seen = true;
    } else if (c != '+' && c != '-' && c != '.' && c != 'e' && c != 'E') {
      throw AgentError(kTypeMismatch, "Type mismatch: '" + s + "' is not a number");
    }
  }
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(s.c_str(), &end);
  if (!digit_seen || end != s.c_str() + s.size()) {
    throw AgentError(kTypeMismatch, "Type mismatch: '" + s + "' is not a number");
  }
  if (errno == ERANGE && std::isinf(v)) {
    throw AgentError(kOverflow, "Overflow: '" + s + "' is too large");
  }
  return v;
}

double LeadingNumber(std::string_view text) {
  auto is_blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  std::size_t i = 0;
  auto skip_blanks = [&] {
    while (i < text.size() && is_blank(text[i])) ++i;
  };
  std::string number;  // sign, digits and point as read, then "e" and the exponent
  bool digit_seen = false;
  skip_blanks();
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) number.push_back(text[i++]);
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (is_blank(c)) continue;
    if (is_digit(c)) {
      digit_seen = true;
      number.push_back(c);
    } else if (c == '.' && !point) {
      point = true;
      number.push_back(c);
    } else {
      break;
    }
  }
  if (!digit_seen) return 0.0;
  // An exponent: "E" or "D" (either case), an optional sign and digits; without digits the
  // letter ends the number.
  if (i < text.size() && std::string_view("EeDd").find(text[i]) != std::string_view::npos) {
    ++i;
    skip_blanks();
    std::string exponent = "e";
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) exponent.push_back(text[i++]);
    for (; i < text.size() && (is_digit(text[i]) || is_blank(text[i])); ++i) {
      if (is_digit(text[i])) exponent.push_back(text[i]);
    }
    if (is_digit(exponent.back())) number += exponent;
  }
  const double value = std::strtod(number.c_str(), nullptr);
  if (std::isinf(value)) {
    throw AgentError(kOverflow, "Overflow: '" + std::string(text) + "' is too large");
  }
  return value;
}

}  // namespace base
