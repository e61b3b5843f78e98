// A small JSON reader for the records the test servers write.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

class TJson {
 public:
  enum class TType { Null, Bool, Number, String, Array, Object };

  // Throws std::runtime_error on malformed input.
  static TJson Parse(std::string_view text);

  TType Type() const { return type_; }
  bool Bool() const;
  double Number() const;
  const std::string& String() const;
  const std::vector<TJson>& Items() const;
  std::vector<std::string> Strings() const;  // an array of strings
  bool Has(const std::string& key) const;
  const TJson& operator[](const std::string& key) const;  // throws when missing

 private:
  friend class TJsonParser;
  TType type_ = TType::Null;
  bool bool_ = false;
  double number_ = 0;
  std::string string_;
  std::vector<TJson> items_;
  std::map<std::string, TJson> members_;
};
