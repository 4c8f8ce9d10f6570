#include "storage/ini_file.h"

#include <algorithm>

#include "common/numfmt.h"

namespace thermo {

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr std::size_t npos = std::string::npos;

// Profile values are single lines: a CR or LF would split the entry in two.
std::string_view firstLine(std::string_view s) {
    const auto cut = s.find_first_of("\r\n");
    return cut == std::string_view::npos ? s : s.substr(0, cut);
}

} // namespace

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

IniFile::Line IniFile::classify(std::string text, std::size_t skip) {
    Line line;
    line.text = std::move(text);
    const std::string_view t = line.text;
    const auto first = t.find_first_not_of(" \t", skip);
    if (first == npos)
        return line;
    if (t[first] == '[') {
        const auto close = t.find(']', first + 1);
        if (close != npos) {
            line.isSection = true;
            line.section = std::string(trimBlanks(t.substr(first + 1, close - first - 1)));
        }
        return line;
    }
    if (t[first] == ';' || t[first] == '#')
        return line;
    const auto eq = t.find('=', skip);
    if (eq == npos)
        return line;
    const std::string_view key = trimBlanks(t.substr(skip, eq - skip));
    if (key.empty())
        return line;
    line.isEntry = true;
    line.keyBegin = static_cast<std::size_t>(key.data() - t.data());
    line.keyEnd = line.keyBegin + key.size();
    line.valueBegin = eq + 1;
    return line;
}

void IniFile::parse(std::string_view text) {
    lines_.clear();
    finalNewline_ = true;
    // The first line ending decides the text's endings. Lines of a CR LF text
    // lose their CR with the LF; any other CR is content and stays, so a text
    // reads back the same after it has been written. A text without any LF
    // but ending in CR takes that CR as the start of a CR LF ending.
    const auto firstLf = text.find('\n');
    if (firstLf != std::string_view::npos) {
        crlf_ = firstLf > 0 && text[firstLf - 1] == '\r';
    } else {
        crlf_ = !text.empty() && text.back() == '\r';
        if (crlf_)
            text.remove_suffix(1);
    }
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto lf = text.find('\n', pos);
        std::string_view piece;
        if (lf == std::string_view::npos) {
            piece = text.substr(pos);
            finalNewline_ = false;
            pos = text.size();
        } else {
            piece = text.substr(pos, lf - pos);
            pos = lf + 1;
            if (crlf_ && !piece.empty() && piece.back() == '\r')
                piece.remove_suffix(1);
        }
        // Editors on Linux may start the file with a byte order mark; it
        // stays in the text but is not part of the first section's name.
        constexpr std::string_view bom = "\xEF\xBB\xBF";
        const std::size_t skip = lines_.empty() && piece.starts_with(bom) ? bom.size() : 0;
        lines_.push_back(classify(std::string(piece), skip));
    }
}

std::string IniFile::text() const {
    const char* eol = crlf_ ? "\r\n" : "\n";
    std::string out;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        out += lines_[i].text;
        if (i + 1 < lines_.size() || finalNewline_)
            out += eol;
    }
    return out;
}

std::size_t IniFile::findSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].isSection && sameName(lines_[i].section, section))
            return i;
    }
    return npos;
}

std::size_t IniFile::findKey(std::size_t header, std::string_view key) const {
    for (std::size_t i = header + 1; i < lines_.size() && !lines_[i].isSection; ++i) {
        const Line& l = lines_[i];
        if (l.isEntry &&
            sameName(std::string_view(l.text).substr(l.keyBegin, l.keyEnd - l.keyBegin), key))
            return i;
    }
    return npos;
}

std::optional<std::string> IniFile::get(std::string_view section, std::string_view key) const {
    const std::size_t header = findSection(section);
    if (header == npos)
        return std::nullopt;
    const std::size_t at = findKey(header, key);
    if (at == npos)
        return std::nullopt;
    return std::string(trimBlanks(std::string_view(lines_[at].text).substr(lines_[at].valueBegin)));
}

void IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
    section = firstLine(section);
    key = firstLine(key);
    value = firstLine(value);
    const std::string entry = std::string(key) + "=" + std::string(value);
    std::size_t header = findSection(section);
    if (header == npos) {
        // Lines added after a last line without an ending need one between.
        finalNewline_ = true;
        lines_.push_back(classify("[" + std::string(section) + "]"));
        lines_.push_back(classify(entry));
        return;
    }
    const std::size_t at = findKey(header, key);
    if (at != npos) {
        // Everything up to '=' stays, so the key keeps its spelling.
        Line& l = lines_[at];
        l = classify(l.text.substr(0, l.valueBegin) + std::string(value));
        return;
    }
    std::size_t insertAt = header + 1;
    for (std::size_t i = header + 1; i < lines_.size() && !lines_[i].isSection; ++i) {
        if (lines_[i].isEntry)
            insertAt = i + 1;
    }
    if (insertAt == lines_.size())
        finalNewline_ = true;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), classify(entry));
}

void IniFile::remove(std::string_view section, std::string_view key) {
    const std::size_t header = findSection(firstLine(section));
    if (header == npos)
        return;
    const std::size_t at = findKey(header, firstLine(key));
    if (at != npos)
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(at));
}

} // namespace thermo
