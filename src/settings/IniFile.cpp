#include "settings/IniFile.h"

#include <cctype>
#include <climits>
#include <vector>

namespace viren {
namespace ini {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

struct Line {
  std::string_view body;  // without the line ending
  std::string_view ending;
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) {
      lines.push_back({text.substr(start), {}});
      break;
    }
    size_t bodyEnd = nl;
    if (bodyEnd > start && text[bodyEnd - 1] == '\r') --bodyEnd;
    lines.push_back({text.substr(start, bodyEnd - start), text.substr(bodyEnd, nl + 1 - bodyEnd)});
    start = nl + 1;
  }
  return lines;
}

// Section name of a "[NAME]" line, or nullopt.
std::optional<std::string_view> SectionName(std::string_view body) {
  body = Trim(body);
  if (body.empty() || body.front() != '[') return std::nullopt;
  body.remove_prefix(1);
  const size_t close = body.find(']');
  if (close != std::string_view::npos) body = body.substr(0, close);
  return Trim(body);
}

bool IsComment(std::string_view body) {
  body = Trim(body);
  return !body.empty() && (body.front() == ';' || body.front() == '#');
}

// Key name and raw value of a "KEY=value" line, or nullopt.
std::optional<std::pair<std::string_view, std::string_view>> KeyValue(std::string_view body) {
  if (IsComment(body)) return std::nullopt;
  const size_t eq = body.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return std::make_pair(Trim(body.substr(0, eq)), Trim(body.substr(eq + 1)));
}

std::string Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return std::string(v);
}

}  // namespace

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::optional<std::string> Lookup(std::string_view text, std::string_view section,
                                  std::string_view key) {
  bool inSection = false;
  bool sectionSeen = false;
  for (const Line& line : SplitLines(text)) {
    if (auto name = SectionName(line.body)) {
      // Only the first section of a name counts.
      if (inSection) return std::nullopt;
      inSection = !sectionSeen && EqualNoCase(*name, section);
      sectionSeen = sectionSeen || inSection;
      continue;
    }
    if (!inSection) continue;
    if (auto kv = KeyValue(line.body); kv && EqualNoCase(kv->first, key))
      return Unquote(kv->second);
  }
  return std::nullopt;
}

bool HasSection(std::string_view text, std::string_view section) {
  for (const Line& line : SplitLines(text))
    if (auto name = SectionName(line.body); name && EqualNoCase(*name, section)) return true;
  return false;
}

std::string Update(std::string_view text, std::string_view section, std::string_view key,
                   std::string_view value) {
  const std::vector<Line> lines = SplitLines(text);
  const bool crlf = text.empty() || text.find("\r\n") != std::string_view::npos;
  const std::string_view eol = crlf ? "\r\n" : "\n";

  // Find the first section of the name, its key line, and its last entry.
  std::optional<size_t> sectionLine, keyLine, lastEntry;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (auto name = SectionName(lines[i].body)) {
      if (sectionLine) break;
      if (EqualNoCase(*name, section)) {
        sectionLine = i;
        lastEntry = i;
      }
      continue;
    }
    if (!sectionLine) continue;
    if (!Trim(lines[i].body).empty()) lastEntry = i;
    if (auto kv = KeyValue(lines[i].body); kv && EqualNoCase(kv->first, key)) {
      keyLine = i;
      break;
    }
  }

  std::string out;
  out.reserve(text.size() + key.size() + value.size() + section.size() + 8);
  auto appendEntry = [&] { out.append(key).append("=").append(value).append(eol); };
  for (size_t i = 0; i < lines.size(); ++i) {
    // A last line that had no ending gets one: something may follow it now.
    const std::string_view ending = lines[i].ending.empty() ? eol : lines[i].ending;
    if (keyLine && i == *keyLine) {
      // Keep the key's own spelling and the line's own ending.
      const auto kv = KeyValue(lines[i].body);
      out.append(kv->first).append("=").append(value).append(ending);
      continue;
    }
    out.append(lines[i].body).append(ending);
    if (!keyLine && lastEntry && i == *lastEntry) appendEntry();
  }
  if (!sectionLine) {
    out.append("[").append(section).append("]").append(eol);
    appendEntry();
  }
  return out;
}

}  // namespace ini

int ParseProfileInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return static_cast<int>(value);
}

}  // namespace viren
