#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace palvane::host {

class Object;

// An automation date: days since 30 December 1899, the fraction being the time of day.
struct Date {
  double serial = 0.0;
  friend bool operator==(const Date&, const Date&) = default;
};

// The automation Variant, as far as this system needs it: empty, Boolean,
// 16- and 32-bit integers, Double, date, String (UTF-8), object and arrays.
class Variant {
 public:
  enum class Type { kEmpty, kBoolean, kInteger, kLong, kDouble, kDate, kString, kObject, kArray };
  using Array = std::vector<Variant>;

  Variant() = default;
  Variant(bool b) : value_(b) {}
  Variant(int16_t i) : value_(i) {}
  Variant(int32_t l) : value_(l) {}
  Variant(double d) : value_(d) {}
  Variant(Date d) : value_(d) {}
  Variant(std::string s) : value_(std::move(s)) {}
  Variant(const char* s) : value_(std::string(s)) {}
  // The text made in place, without a string first.
  explicit Variant(std::string_view s) : value_(std::in_place_type<std::string>, s) {}
  Variant(std::shared_ptr<Object> o) : value_(std::move(o)) {}
  Variant(Array a) : value_(std::move(a)) {}

  static Variant Point(double x, double y, double z) { return Variant(Array{x, y, z}); }

  Type type() const { return static_cast<Type>(value_.index()); }
  bool IsEmpty() const { return type() == Type::kEmpty; }
  bool IsArray() const { return type() == Type::kArray; }

  bool AsBooleanUnchecked() const { return std::get<bool>(value_); }
  int16_t AsIntegerUnchecked() const { return std::get<int16_t>(value_); }
  int32_t AsLongUnchecked() const { return std::get<int32_t>(value_); }
  double AsDoubleUnchecked() const { return std::get<double>(value_); }
  Date AsDateUnchecked() const { return std::get<Date>(value_); }
  const std::string& AsStringUnchecked() const { return std::get<std::string>(value_); }
  const std::shared_ptr<Object>& AsObjectUnchecked() const {
    return std::get<std::shared_ptr<Object>>(value_);
  }
  const Array& AsArrayUnchecked() const { return std::get<Array>(value_); }

  friend bool operator==(const Variant& a, const Variant& b) { return a.value_ == b.value_; }

 private:
  std::variant<std::monostate, bool, int16_t, int32_t, double, Date, std::string,
               std::shared_ptr<Object>, Array>
      value_;
};

}  // namespace palvane::host
