#include "data/value.h"

#include <algorithm>
#include <cctype>

#include "base/agent_error.h"
#include "base/numbers.h"

namespace data {

std::string Value::AsText() const {
  struct Visitor {
    std::string operator()(std::monostate) const { return ""; }
    std::string operator()(std::int64_t v) const { return std::to_string(v); }
    std::string operator()(double v) const { return base::ShortestText(v); }
    std::string operator()(const std::string& v) const { return v; }
    std::string operator()(bool v) const { return v ? "True" : "False"; }
  };
  return std::visit(Visitor{}, v_);
}

double Value::AsDouble() const {
  struct Visitor {
    double operator()(std::monostate) const {
      throw base::AgentError(base::kInvalidUseOfNull, "Invalid use of Null");
    }
    double operator()(std::int64_t v) const { return static_cast<double>(v); }
    double operator()(double v) const { return v; }
    double operator()(const std::string& v) const { return base::ParseNumber(v); }
    double operator()(bool v) const { return v ? -1.0 : 0.0; }
  };
  return std::visit(Visitor{}, v_);
}

std::int16_t Value::AsInt16() const {
  if (const auto* i = std::get_if<std::int64_t>(&v_)) return base::CheckedInt16(*i);
  return base::ToInt16(AsDouble());
}

std::int32_t Value::AsInt32() const {
  if (const auto* i = std::get_if<std::int64_t>(&v_)) return base::CheckedInt32(*i);
  return base::ToInt32(AsDouble());
}

std::int64_t Value::AsInt64() const {
  if (const auto* i = std::get_if<std::int64_t>(&v_)) return *i;
  const double r = base::RoundHalfEven(AsDouble());
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) {
    throw base::AgentError(base::kOverflow,
                           "Overflow: " + base::ShortestText(r) + " does not fit a 64-bit integer");
  }
  return static_cast<std::int64_t>(r);
}

bool Value::AsBool() const {
  if (const auto* b = std::get_if<bool>(&v_)) return *b;
  if (const auto* s = std::get_if<std::string>(&v_)) {
    std::string lower = *s;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "true") return true;
    if (lower == "false") return false;
  }
  return AsDouble() != 0.0;
}

std::optional<std::string> Value::Text() const {
  if (IsNull()) return std::nullopt;
  return AsText();
}

std::optional<double> Value::Double() const {
  if (IsNull()) return std::nullopt;
  return AsDouble();
}

}  // namespace data
