#include "base/Json.h"

#include <cmath>
#include <cstdio>

#include "base/Error.h"
#include "base/Numbers.h"

namespace px {

Json& Json::operator[](const std::string& key) {
  if (isNull()) v_ = Object{};
  auto& obj = std::get<Object>(v_);
  for (auto& kv : obj)
    if (kv.first == key) return kv.second;
  obj.emplace_back(key, Json());
  return obj.back().second;
}

const Json* Json::find(const std::string& key) const {
  if (!isObject()) return nullptr;
  for (auto& kv : std::get<Object>(v_))
    if (kv.first == key) return &kv.second;
  return nullptr;
}

void Json::push(Json v) {
  if (isNull()) v_ = Array{};
  std::get<Array>(v_).push_back(std::move(v));
}

size_t Json::size() const {
  if (isArray()) return asArray().size();
  if (isObject()) return asObject().size();
  return 0;
}

static void WriteString(std::string& out, const std::string& s) {
  out += '"';
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

void Json::write(std::string& out, int indent, int depth) const {
  auto newline = [&](int d) {
    if (indent <= 0) return;
    out += '\n';
    out.append(static_cast<size_t>(d * indent), ' ');
  };
  if (isNull()) {
    out += "null";
  } else if (isBool()) {
    out += asBool() ? "true" : "false";
  } else if (isNumber()) {
    double d = asNumber();
    if (!std::isfinite(d)) out += "null";
    else out += FloatToStr(d);
  } else if (isString()) {
    WriteString(out, asString());
  } else if (isArray()) {
    const auto& a = asArray();
    out += '[';
    // Arrays of plain numbers stay on one line: they are long and rarely read by eye.
    bool flat = true;
    for (auto& e : a) flat = flat && !e.isArray() && !e.isObject();
    for (size_t i = 0; i < a.size(); ++i) {
      if (i) out += ',';
      if (!flat) newline(depth + 1);
      a[i].write(out, indent, depth + 1);
    }
    if (!flat && !a.empty()) newline(depth);
    out += ']';
  } else {
    const auto& o = asObject();
    out += '{';
    for (size_t i = 0; i < o.size(); ++i) {
      if (i) out += ',';
      newline(depth + 1);
      WriteString(out, o[i].first);
      out += indent > 0 ? ": " : ":";
      o[i].second.write(out, indent, depth + 1);
    }
    if (!o.empty()) newline(depth);
    out += '}';
  }
}

std::string Json::dump(int indent) const {
  std::string out;
  write(out, indent, 0);
  return out;
}

namespace {
struct Parser {
  const std::string& s;
  size_t i = 0;
  [[noreturn]] void fail(const char* what) {
    throw PelinoxaError(std::string("JSON: ") + what + " at offset " + std::to_string(i));
  }
  void ws() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t')) ++i;
  }
  bool lit(const char* w) {
    size_t n = std::char_traits<char>::length(w);
    if (s.compare(i, n, w) == 0) {
      i += n;
      return true;
    }
    return false;
  }
  std::string str() {
    if (s[i] != '"') fail("string expected");
    ++i;
    std::string out;
    while (i < s.size() && s[i] != '"') {
      char c = s[i++];
      if (c == '\\') {
        if (i >= s.size()) fail("bad escape");
        char e = s[i++];
        switch (e) {
          case 'n': out += '\n'; break;
          case 'r': out += '\r'; break;
          case 't': out += '\t'; break;
          case 'b': out += '\b'; break;
          case 'f': out += '\f'; break;
          case 'u': {
            if (i + 4 > s.size()) fail("bad escape");
            unsigned code = std::stoul(s.substr(i, 4), nullptr, 16);
            i += 4;
            if (code < 0x80) out += static_cast<char>(code);
            else if (code < 0x800) {
              out += static_cast<char>(0xC0 | (code >> 6));
              out += static_cast<char>(0x80 | (code & 0x3F));
            } else {
              out += static_cast<char>(0xE0 | (code >> 12));
              out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
              out += static_cast<char>(0x80 | (code & 0x3F));
            }
            break;
          }
          default: out += e;
        }
      } else {
        out += c;
      }
    }
    if (i >= s.size()) fail("unterminated string");
    ++i;
    return out;
  }
  Json value() {
    ws();
    if (i >= s.size()) fail("value expected");
    char c = s[i];
    if (c == '{') {
      ++i;
      Json o = Json::object();
      ws();
      if (i < s.size() && s[i] == '}') {
        ++i;
        return o;
      }
      for (;;) {
        ws();
        std::string k = str();
        ws();
        if (i >= s.size() || s[i] != ':') fail("':' expected");
        ++i;
        o[k] = value();
        ws();
        if (i < s.size() && s[i] == ',') {
          ++i;
          continue;
        }
        if (i < s.size() && s[i] == '}') {
          ++i;
          return o;
        }
        fail("',' or '}' expected");
      }
    }
    if (c == '[') {
      ++i;
      Json a = Json::array();
      ws();
      if (i < s.size() && s[i] == ']') {
        ++i;
        return a;
      }
      for (;;) {
        a.push(value());
        ws();
        if (i < s.size() && s[i] == ',') {
          ++i;
          continue;
        }
        if (i < s.size() && s[i] == ']') {
          ++i;
          return a;
        }
        fail("',' or ']' expected");
      }
    }
    if (c == '"') return Json(str());
    if (lit("true")) return Json(true);
    if (lit("false")) return Json(false);
    if (lit("null")) return Json();
    size_t start = i;
    while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '-' || s[i] == '+' ||
                            s[i] == '.' || s[i] == 'e' || s[i] == 'E'))
      ++i;
    double d;
    if (start == i || !TryParseDouble(s.substr(start, i - start), d)) fail("number expected");
    return Json(d);
  }
};
}  // namespace

Json Json::parse(const std::string& text) {
  Parser p{text};
  Json v = p.value();
  p.ws();
  if (p.i != text.size()) p.fail("trailing text");
  return v;
}

}  // namespace px
