#include "store/ini_document.h"

#include "util/text.h"

namespace quillet {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

}  // namespace

IniDocument IniDocument::Parse(std::string_view text) {
  if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
  IniDocument document;
  Section* current = nullptr;
  for (std::string_view rawLine : SplitLines(text)) {
    const std::string_view line = TrimControlAndBlanks(rawLine);
    if (line.empty() || line.front() == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      // Every section line is kept, a repeated name too, so that a flush writes back what
      // was read; look-ups find the first.
      document.sections_.push_back(Section{std::string(TrimControlAndBlanks(line.substr(1, line.size() - 2))), {}});
      current = &document.sections_.back();
      continue;
    }
    if (current == nullptr) continue;  // lines before the first section are dropped
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) {
      current->keys.push_back(Key{std::string(line), {}});
    } else {
      current->keys.push_back(Key{std::string(TrimControlAndBlanks(line.substr(0, equals))),
                                  std::string(TrimControlAndBlanks(line.substr(equals + 1)))});
    }
  }
  return document;
}

std::string IniDocument::Serialize() const {
  std::string out(kBom);
  for (const Section& section : sections_) {
    out += '[';
    out += section.name;
    out += "]\r\n";
    for (const Key& key : section.keys) {
      out += key.name;
      out += '=';
      out += key.value;
      out += "\r\n";
    }
    out += "\r\n";
  }
  return out;
}

const IniDocument::Key* IniDocument::FindKey(std::string_view section, std::string_view key) const {
  for (const Section& s : sections_) {
    if (!EqualsIgnoreAsciiCase(s.name, section)) continue;
    for (const Key& k : s.keys) {
      if (EqualsIgnoreAsciiCase(k.name, key)) return &k;
    }
    return nullptr;
  }
  return nullptr;
}

bool IniDocument::ValueExists(std::string_view section, std::string_view key) const {
  return FindKey(section, key) != nullptr;
}

std::string IniDocument::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  const Key* found = FindKey(section, key);
  return found ? found->value : std::string(def);
}

long long IniDocument::ReadInteger(std::string_view section, std::string_view key, long long def) const {
  const Key* found = FindKey(section, key);
  long long value = 0;
  if (found && ParseInteger(found->value, value)) return value;
  return def;
}

void IniDocument::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  Section* target = nullptr;
  for (Section& s : sections_) {
    if (EqualsIgnoreAsciiCase(s.name, section)) {
      target = &s;
      break;
    }
  }
  if (target == nullptr) {
    sections_.push_back(Section{std::string(section), {}});
    target = &sections_.back();
  }
  for (Key& k : target->keys) {
    if (EqualsIgnoreAsciiCase(k.name, key)) {
      k.value = value;
      return;
    }
  }
  target->keys.push_back(Key{std::string(key), std::string(value)});
}

void IniDocument::WriteInteger(std::string_view section, std::string_view key, long long value) {
  WriteString(section, key, std::to_string(value));
}

}  // namespace quillet
