// settings.ini in memory: sections of key=value lines, keys in the order they entered.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet {

class IniDocument {
 public:
  // Reads UTF-8 text (a leading byte-order mark is skipped): lines end with CR LF, LF or CR;
  // each is trimmed of blanks and control characters; empty lines, ";" lines and lines before
  // the first section are dropped; "[name]" starts a section; other lines split at the first
  // "=" into trimmed key and value. Section and key names match without regard to case.
  static IniDocument Parse(std::string_view text);
  // The file's bytes: BOM, then per section "[name]", "key=value" lines, an empty line; every
  // line ends with CR LF.
  std::string Serialize() const;

  bool ValueExists(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  long long ReadInteger(std::string_view section, std::string_view key, long long def) const;
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, long long value);

 private:
  struct Key { std::string name, value; };
  struct Section { std::string name; std::vector<Key> keys; };
  const Key* FindKey(std::string_view section, std::string_view key) const;
  std::vector<Section> sections_;
};

}  // namespace quillet
