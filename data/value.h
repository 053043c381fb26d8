#ifndef MAV_DATA_VALUE_H_
#define MAV_DATA_VALUE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace data {

// One field value as a database returns it. Null is its own state: never 0 or "" in
// disguise. Booleans are kept as read (a Jet or bit column); as numbers they are -1 / 0.
class Value {
 public:
  using Variant = std::variant<std::monostate, std::int64_t, double, std::string, bool>;

  Value() = default;  // Null
  Value(std::int64_t v) : v_(v) {}
  Value(int v) : v_(static_cast<std::int64_t>(v)) {}
  Value(double v) : v_(v) {}
  Value(std::string v) : v_(std::move(v)) {}
  Value(const char* v) : v_(std::string(v)) {}
  Value(bool v) : v_(v) {}

  bool IsNull() const { return std::holds_alternative<std::monostate>(v_); }
  bool IsText() const { return std::holds_alternative<std::string>(v_); }
  const Variant& raw() const { return v_; }

  // Text form: Null concatenates as "", numbers in their shortest decimal text
  // (at most 15 significant digits), booleans "True" / "False".
  std::string AsText() const;

  // Numeric reads. Null throws kInvalidUseOfNull; a text that is not a number throws
  // kTypeMismatch; booleans read -1 / 0. Integer reads round halves to even and throw
  // kOverflow when the value does not fit.
  double AsDouble() const;
  std::int16_t AsInt16() const;
  std::int32_t AsInt32() const;
  std::int64_t AsInt64() const;

  // Boolean read: numbers are true when not 0; texts "True"/"False" (any case) or a number.
  // Null throws kInvalidUseOfNull.
  bool AsBool() const;

  // Null-safe reads: std::nullopt for Null, otherwise the conversion above.
  std::optional<std::string> Text() const;
  std::optional<double> Double() const;

  friend bool operator==(const Value& a, const Value& b) { return a.v_ == b.v_; }

 private:
  Variant v_;
};

}  // namespace data

#endif  // MAV_DATA_VALUE_H_
