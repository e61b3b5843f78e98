#include "tests/support/json_value.h"

#include <cstdlib>
#include <stdexcept>

class TJsonParser {
 public:
  explicit TJsonParser(std::string_view text) : text_(text) {}

  TJson Document() {
    TJson value = Value();
    Skip();
    if (at_ != text_.size()) Fail("trailing text");
    return value;
  }

 private:
  [[noreturn]] void Fail(const char* what) const {
    throw std::runtime_error(std::string("JSON: ") + what + " at " + std::to_string(at_));
  }
  void Skip() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t'))
      ++at_;
  }
  char Peek() {
    Skip();
    if (at_ >= text_.size()) Fail("unexpected end");
    return text_[at_];
  }
  void Expect(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) Fail("unexpected word");
    at_ += word.size();
  }

  TJson Value() {
    TJson v;
    const char c = Peek();
    if (c == '{') {
      v.type_ = TJson::TType::Object;
      ++at_;
      if (Peek() == '}') {
        ++at_;
        return v;
      }
      for (;;) {
        if (Peek() != '"') Fail("expected a key");
        std::string key = StringBody();
        if (Peek() != ':') Fail("expected ':'");
        ++at_;
        v.members_[key] = Value();
        const char d = Peek();
        ++at_;
        if (d == '}') return v;
        if (d != ',') Fail("expected ',' or '}'");
      }
    }
    if (c == '[') {
      v.type_ = TJson::TType::Array;
      ++at_;
      if (Peek() == ']') {
        ++at_;
        return v;
      }
      for (;;) {
        v.items_.push_back(Value());
        const char d = Peek();
        ++at_;
        if (d == ']') return v;
        if (d != ',') Fail("expected ',' or ']'");
      }
    }
    if (c == '"') {
      v.type_ = TJson::TType::String;
      v.string_ = StringBody();
      return v;
    }
    if (c == 't' || c == 'f') {
      v.type_ = TJson::TType::Bool;
      v.bool_ = c == 't';
      Expect(v.bool_ ? "true" : "false");
      return v;
    }
    if (c == 'n') {
      Expect("null");
      return v;
    }
    const std::string rest(text_.substr(at_, 64));
    char* end = nullptr;
    v.number_ = std::strtod(rest.c_str(), &end);
    if (end == rest.c_str()) Fail("unexpected character");
    v.type_ = TJson::TType::Number;
    at_ += static_cast<size_t>(end - rest.c_str());
    return v;
  }

  unsigned Hex4() {
    if (at_ + 4 > text_.size()) Fail("short escape");
    const std::string digits(text_.substr(at_, 4));
    at_ += 4;
    char* end = nullptr;
    const unsigned long u = std::strtoul(digits.c_str(), &end, 16);
    if (end != digits.c_str() + 4) Fail("bad escape");
    return static_cast<unsigned>(u);
  }

  static void AppendUtf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  std::string StringBody() {
    ++at_;  // opening quote
    std::string out;
    for (;;) {
      if (at_ >= text_.size()) Fail("unterminated string");
      const char c = text_[at_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) Fail("unterminated escape");
      const char e = text_[at_++];
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          unsigned cp = Hex4();
          if (cp >= 0xD800 && cp < 0xDC00 && text_.substr(at_, 2) == "\\u") {
            at_ += 2;
            const unsigned low = Hex4();
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(out, cp);
          break;
        }
        default:
          Fail("bad escape");
      }
    }
  }

  std::string_view text_;
  size_t at_ = 0;
};

TJson TJson::Parse(std::string_view text) {
  return TJsonParser(text).Document();
}

bool TJson::Bool() const {
  if (type_ != TType::Bool) throw std::runtime_error("JSON: not a Boolean");
  return bool_;
}

double TJson::Number() const {
  if (type_ != TType::Number) throw std::runtime_error("JSON: not a number");
  return number_;
}

const std::string& TJson::String() const {
  if (type_ != TType::String) throw std::runtime_error("JSON: not a string");
  return string_;
}

const std::vector<TJson>& TJson::Items() const {
  if (type_ != TType::Array) throw std::runtime_error("JSON: not an array");
  return items_;
}

std::vector<std::string> TJson::Strings() const {
  std::vector<std::string> out;
  for (const TJson& item : Items()) out.push_back(item.String());
  return out;
}

bool TJson::Has(const std::string& key) const {
  return type_ == TType::Object && members_.count(key) > 0;
}

const TJson& TJson::operator[](const std::string& key) const {
  if (!Has(key)) throw std::runtime_error("JSON: no member " + key);
  return members_.at(key);
}
