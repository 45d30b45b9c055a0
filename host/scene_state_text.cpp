#include "host/scene_state_text.h"

#include <bit>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace korv::host {

namespace {

constexpr std::size_t kBytesPerLine = 32;
constexpr char kHex[] = "0123456789ABCDEF";

// A token can stand on its own line when it is plain printable text that the
// reader would not take for an id.
bool plain_token(const std::string &token) {
  if (token.empty() || token[0] == '#') {
    return false;
  }
  for (unsigned char c : token) {
    if (c <= 0x20 || c >= 0x7F) {
      return false;
    }
  }
  return true;
}

std::string quoted(const std::vector<unsigned char> &text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += char(c);
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out + "\"";
}

// The tag of a value line for each kind of run.
const char *run_tag(StateKind kind) {
  switch (kind) {
    case StateKind::Raw:
      return "RAW";
    case StateKind::I1:
      return "I1";
    case StateKind::U1:
      return "U1";
    case StateKind::I2:
      return "I2";
    case StateKind::U2:
      return "U2";
    case StateKind::I4:
      return "I4";
    case StateKind::U4:
      return "U4";
    case StateKind::FP:
      return "FP";
    default:
      return "";
  }
}

// "TOKEN" when the token can stand alone, else "#XXXXXXXX" of the id.
std::string ident_text(const StateItem &item) {
  if (plain_token(item.token)) {
    return item.token;
  }
  char number[16];
  std::snprintf(number, sizeof number, "#%08X", item.id);
  return number;
}

void format_items(const StateItems &items, int indent, std::string &out) {
  const std::string pad(2 * std::size_t(indent), ' ');
  char number[64];
  for (const StateItem &item : items) {
    switch (item.kind) {
      case StateKind::Block:
        out += pad + "{ " + ident_text(item) + "\n";
        format_items(item.items, indent + 1, out);
        out += pad + "}\n";
        break;
      case StateKind::Id:
        out += pad + "ID " + ident_text(item) + "\n";
        break;
      case StateKind::Raw:
      case StateKind::I1:
      case StateKind::U1:
        for (std::size_t i = 0; i < item.bytes.size(); i += kBytesPerLine) {
          out += pad + run_tag(item.kind);
          for (std::size_t j = i; j < item.bytes.size() && j < i + kBytesPerLine; ++j) {
            out += ' ';
            out += kHex[item.bytes[j] >> 4];
            out += kHex[item.bytes[j] & 15];
          }
          out += '\n';
        }
        break;
      case StateKind::I2:
        for (std::uint32_t w : item.words) {
          out += pad + "I2 " + std::to_string(std::int16_t(std::uint16_t(w))) + "\n";
        }
        break;
      case StateKind::U2:
        for (std::uint32_t w : item.words) {
          std::snprintf(number, sizeof number, "U2 0x%04X\n", unsigned(w & 0xFFFFu));
          out += pad + number;
        }
        break;
      case StateKind::I4:
        for (std::uint32_t w : item.words) {
          out += pad + "I4 " + std::to_string(std::bit_cast<std::int32_t>(w)) + "\n";
        }
        break;
      case StateKind::U4:
        for (std::uint32_t w : item.words) {
          std::snprintf(number, sizeof number, "U4 0x%08X\n", w);
          out += pad + number;
        }
        break;
      case StateKind::FP:
        for (std::uint32_t w : item.words) {
          const auto end = std::to_chars(number, number + sizeof number, std::bit_cast<float>(w));
          out += pad + "FP " + std::string(number, end.ptr) + "\n";
        }
        break;
      case StateKind::Str:
        out += pad + quoted(item.bytes) + "\n";
        break;
    }
  }
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

template <class T>
bool parse_number(std::string_view s, T &value, int base = 10) {
  const auto result = std::from_chars(s.data(), s.data() + s.size(), value, base);
  return result.ec == std::errc() && result.ptr == s.data() + s.size();
}

bool parse_float(std::string_view s, float &value) {
  if (s.size() > 1 && s[0] == '+') {
    s.remove_prefix(1);
  }
  const auto result = std::from_chars(s.data(), s.data() + s.size(), value);
  return result.ec == std::errc() && result.ptr == s.data() + s.size();
}

bool parse_u4(std::string_view s, std::uint32_t &value) {
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    return parse_number(s.substr(2), value, 16);
  }
  return parse_number(s, value);
}

bool parse_quoted(std::string_view s, std::vector<unsigned char> &text) {
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') {
    return false;
  }
  s = s.substr(1, s.size() - 2);
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '"') {
      return false;
    }
    if (s[i] != '\\') {
      text.push_back(static_cast<unsigned char>(s[i]));
      continue;
    }
    if (++i == s.size()) {
      return false;
    }
    switch (s[i]) {
      case '"':
      case '\\':
        text.push_back(static_cast<unsigned char>(s[i]));
        break;
      case 'n':
        text.push_back('\n');
        break;
      case 't':
        text.push_back('\t');
        break;
      case 'x': {
        if (i + 2 >= s.size()) {
          return false;
        }
        const int hi = hex_digit(s[i + 1]);
        const int lo = hex_digit(s[i + 2]);
        if (hi < 0 || lo < 0) {
          return false;
        }
        text.push_back(static_cast<unsigned char>(hi * 16 + lo));
        i += 2;
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

bool parse_bytes(std::string_view s, std::vector<unsigned char> &bytes) {
  while (!(s = trim(s)).empty()) {
    if (s.size() < 2 || (s.size() > 2 && s[2] != ' ' && s[2] != '\t')) {
      return false;
    }
    const int hi = hex_digit(s[0]);
    const int lo = hex_digit(s[1]);
    if (hi < 0 || lo < 0) {
      return false;
    }
    bytes.push_back(static_cast<unsigned char>(hi * 16 + lo));
    s.remove_prefix(2);
  }
  return true;
}

// "TOKEN" or "#ID" into the item's token or id.
bool parse_ident(std::string_view rest, StateItem &item) {
  if (rest.empty()) {
    return false;
  }
  if (rest[0] == '#') {
    return parse_number(rest.substr(1), item.id, 16) && rest.size() == 9;
  }
  item.token = std::string(rest);
  return plain_token(item.token);
}

// One value line as an item; false when the line is not one.
bool parse_value(std::string_view line, StateItem &item) {
  if (line.front() == '"') {
    item.kind = StateKind::Str;
    return parse_quoted(line, item.bytes);
  }
  const std::size_t space = line.find_first_of(" \t");
  const std::string_view tag = line.substr(0, space);
  const std::string_view rest = space == std::string_view::npos ? "" : trim(line.substr(space));
  std::uint32_t word = 0;
  for (StateKind bytes_kind : {StateKind::Raw, StateKind::I1, StateKind::U1}) {
    if (tag == run_tag(bytes_kind)) {
      item.kind = bytes_kind;
      return parse_bytes(rest, item.bytes);
    }
  }
  if (tag == "ID") {
    item.kind = StateKind::Id;
    return parse_ident(rest, item);
  }
  if (tag == "I2") {
    std::int16_t value = 0;
    item.kind = StateKind::I2;
    if (!parse_number(rest, value)) {
      return false;
    }
    word = std::uint16_t(value);
  } else if (tag == "U2") {
    item.kind = StateKind::U2;
    if (!parse_u4(rest, word) || word > 0xFFFFu) {
      return false;
    }
  } else if (tag == "I4") {
    std::int32_t value = 0;
    item.kind = StateKind::I4;
    if (!parse_number(rest, value)) {
      return false;
    }
    word = std::bit_cast<std::uint32_t>(value);
  } else if (tag == "U4") {
    item.kind = StateKind::U4;
    if (!parse_u4(rest, word)) {
      return false;
    }
  } else if (tag == "FP") {
    float value = 0;
    item.kind = StateKind::FP;
    if (!parse_float(rest, value)) {
      return false;
    }
    word = std::bit_cast<std::uint32_t>(value);
  } else {
    return false;
  }
  item.words.push_back(word);
  return true;
}

// A block's opening line "{ TOKEN" or "{ #ID".
bool parse_open(std::string_view rest, StateItem &block) {
  block.kind = StateKind::Block;
  return parse_ident(rest, block);
}

}  // namespace

std::string format_state_text(const StateItems &items, int indent) {
  std::string out;
  format_items(items, indent, out);
  return out;
}

StateItems parse_state_text(std::string_view text, ParseReport &report, int first_line) {
  StateItems root;
  std::vector<StateItems *> open{&root};
  std::vector<int> opened_at;  // the line of each open block
  int ignored_depth = 0;       // blocks opened beyond the depth limit
  int number = first_line - 1;
  auto problem = [&](const std::string &what) {
    report.note("line " + std::to_string(number) + ": " + what);
  };
  while (!text.empty()) {
    const std::size_t eol = text.find('\n');
    const std::string_view raw = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    ++number;
    const std::string_view line = trim(raw);
    if (line.empty()) {
      continue;
    }
    if (line == "}") {
      if (ignored_depth > 0) {
        --ignored_depth;
      } else if (open.size() > 1) {
        open.pop_back();
        opened_at.pop_back();
      } else {
        problem("'}' closes no block");
      }
      continue;
    }
    if (line[0] == '{') {
      if (ignored_depth > 0 || int(open.size()) > kMaxStateDepth) {
        if (ignored_depth++ == 0) {
          problem("blocks nested too deeply; their contents are skipped");
        }
        continue;
      }
      StateItem block;
      if (!parse_open(trim(line.substr(1)), block)) {
        problem("cannot read the block opening '" + line_excerpt(line) + "'");
      }
      open.back()->push_back(std::move(block));
      open.push_back(&open.back()->back().items);
      opened_at.push_back(number);
      continue;
    }
    if (ignored_depth > 0) {
      continue;
    }
    StateItem item;
    if (parse_value(line, item)) {
      open.back()->push_back(std::move(item));
    } else {
      problem("cannot read the value '" + line_excerpt(line) + "'");
    }
  }
  for (auto it = opened_at.rbegin(); it != opened_at.rend(); ++it) {
    report.note("line " + std::to_string(*it) + ": block not closed before the end");
  }
  if (ignored_depth > 0) {
    report.note("blocks nested too deeply were not closed before the end");
  }
  return root;
}

}  // namespace korv::host
