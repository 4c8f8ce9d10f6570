#pragma once
// An INI text that behaves like the Windows profile functions: `[section]`
// lines, `key=value` entries, names matched without regard to (ASCII) case,
// values read with surrounding blanks removed. Writing changes a value in
// place; a new key goes after the last entry of its section, a new section
// to the end of the text. Every other line (comments, unknown sections, lines
// without '=') is kept byte for byte, and so are the text's line endings: a
// text whose first line ends in CR LF is written back with CR LF.
//
// Where a section or a key appears twice, the first one counts, as in the
// profile functions.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace thermo {

class IniFile {
public:
    IniFile() = default;
    explicit IniFile(std::string_view text) { parse(text); }

    void parse(std::string_view text);
    [[nodiscard]] std::string text() const;

    [[nodiscard]] std::optional<std::string> get(std::string_view section,
                                                 std::string_view key) const;
    void set(std::string_view section, std::string_view key, std::string_view value);
    // Takes the key's first entry out of the section, if it is there.
    void remove(std::string_view section, std::string_view key);

    [[nodiscard]] bool usesCrLf() const { return crlf_; }

private:
    struct Line {
        std::string text;    // without its line ending
        std::string section; // non-empty for a section header
        bool isSection = false;
        bool isEntry = false;
        std::size_t keyBegin = 0, keyEnd = 0; // the key's spelling, for an entry
        std::size_t valueBegin = 0;           // the character after '='
    };

    // `skip` leading bytes (a UTF-8 byte order mark) belong to no name.
    static Line classify(std::string text, std::size_t skip = 0);
    // Index of the first header of `section`, or npos.
    [[nodiscard]] std::size_t findSection(std::string_view section) const;
    // Index of the first entry of `key` in the section opened at line `header`.
    [[nodiscard]] std::size_t findKey(std::size_t header, std::string_view key) const;

    std::vector<Line> lines_;
    bool crlf_ = false;
    bool finalNewline_ = true;
};

// Case-insensitive comparison of ASCII names.
[[nodiscard]] bool sameName(std::string_view a, std::string_view b);

} // namespace thermo
