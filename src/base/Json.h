#pragma once
// A small ordered JSON value for the batch tool's dumps and the sample generator's truth files.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace px {

class Json {
 public:
  using Array = std::vector<Json>;
  using Object = std::vector<std::pair<std::string, Json>>;  // keeps insertion order

  Json() : v_(nullptr) {}
  Json(std::nullptr_t) : v_(nullptr) {}
  Json(bool b) : v_(b) {}
  Json(int i) : v_(static_cast<double>(i)) {}
  Json(long i) : v_(static_cast<double>(i)) {}
  Json(long long i) : v_(static_cast<double>(i)) {}
  Json(unsigned i) : v_(static_cast<double>(i)) {}
  Json(unsigned long i) : v_(static_cast<double>(i)) {}
  Json(unsigned long long i) : v_(static_cast<double>(i)) {}
  Json(double d) : v_(d) {}
  Json(float d) : v_(static_cast<double>(d)) {}
  Json(const char* s) : v_(std::string(s)) {}
  Json(std::string s) : v_(std::move(s)) {}
  Json(Array a) : v_(std::move(a)) {}
  Json(Object o) : v_(std::move(o)) {}

  static Json array() { return Json(Array{}); }
  static Json object() { return Json(Object{}); }

  // Object access: adds the key when missing.
  Json& operator[](const std::string& key);
  const Json* find(const std::string& key) const;
  void push(Json v);  // array append

  bool isNull() const { return std::holds_alternative<std::nullptr_t>(v_); }
  bool isBool() const { return std::holds_alternative<bool>(v_); }
  bool isNumber() const { return std::holds_alternative<double>(v_); }
  bool isString() const { return std::holds_alternative<std::string>(v_); }
  bool isArray() const { return std::holds_alternative<Array>(v_); }
  bool isObject() const { return std::holds_alternative<Object>(v_); }
  bool asBool() const { return std::get<bool>(v_); }
  double asNumber() const { return std::get<double>(v_); }
  const std::string& asString() const { return std::get<std::string>(v_); }
  const Array& asArray() const { return std::get<Array>(v_); }
  Array& asArray() { return std::get<Array>(v_); }
  const Object& asObject() const { return std::get<Object>(v_); }
  size_t size() const;

  std::string dump(int indent = 1) const;
  // Throws PelinoxaError on malformed text.
  static Json parse(const std::string& text);

 private:
  void write(std::string& out, int indent, int depth) const;
  std::variant<std::nullptr_t, bool, double, std::string, Array, Object> v_;
};

}  // namespace px
