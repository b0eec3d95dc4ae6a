#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace palvane::host {

// A failure raised by the drawing host or by the automation runtime's own
// conversions. Like an automation error it carries a number and the
// description shown to the user.
class Error : public std::exception {
 public:
  Error(int32_t number, std::string description)
      : number_(number), description_(std::move(description)) {}

  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

  // The runtime's own errors, with its numbers and texts.
  static Error InvalidProcedureCall() { return {5, "Invalid procedure call or argument"}; }
  static Error Overflow() { return {6, "Overflow"}; }
  static Error SubscriptOutOfRange() { return {9, "Subscript out of range"}; }
  static Error TypeMismatch() { return {13, "Type mismatch"}; }
  static Error ObjectNotSet() { return {91, "Object variable or With block variable not set"}; }

  // The drawing host's errors. Key-not-found is the number the CAD program
  // raises for a lookup by an absent name; the others imitate its refusals.
  static constexpr int32_t kKeyNotFound = -2145386476;   // 0x80200014
  static constexpr int32_t kDuplicateKey = -2145386475;  // 0x80200015
  static constexpr int32_t kInvalidInput = -2145386493;  // 0x80200003
  static constexpr int32_t kLayerRefused = -2145386462;  // 0x80200022
  static Error KeyNotFound() { return {kKeyNotFound, "Key not found"}; }
  static Error DuplicateKey() { return {kDuplicateKey, "Duplicate record name"}; }
  static Error InvalidInput(std::string what) {
    return {kInvalidInput, "Invalid input: " + std::move(what)};
  }
  static Error LayerRefused(std::string what) { return {kLayerRefused, std::move(what)}; }

 private:
  int32_t number_;
  std::string description_;
};

}  // namespace palvane::host
