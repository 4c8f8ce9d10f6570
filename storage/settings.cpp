#include "storage/settings.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "common/numfmt.h"
#include "storage/ini_file.h"
#include "storage/io_error.h"

namespace thermo {

namespace {

enum class Kind { Integer, Float, Byte, Switch };

struct Key {
    const char* section;
    const char* name;
    Kind kind;
    double TControlParams::*real = nullptr;
    std::array<std::uint8_t, 9> TControlParams::*bytes = nullptr;
    int index = 0;
    bool TControlParams::*flag = nullptr;
};

using P = TControlParams;

Key real(const char* section, const char* name, double P::*field) {
    return {section, name, Kind::Float, field};
}
Key byte(const char* section, const char* name, std::array<std::uint8_t, 9> P::*field, int index) {
    return {section, name, Kind::Byte, nullptr, field, index};
}
Key flag(const char* name, bool P::*field) {
    return {"check", name, Kind::Switch, nullptr, nullptr, 0, field};
}

// The one order in which keys are read and written. The universe ends belong
// to [koof] but come after [term]: a new file still lists [koof] first,
// because a key added to an existing section goes to the section's end.
const std::array<Key, 49>& keyTable() {
    static const std::array<Key, 49> keys{
        Key{"General", "COM port", Kind::Integer},
        real("koof", "C0_1", &P::C0_1),
        real("koof", "C1_1", &P::C1_1),
        real("koof", "C2_1", &P::C2_1),
        real("koof", "C0_2", &P::C0_2),
        real("koof", "C1_2", &P::C1_2),
        real("koof", "C2_2", &P::C2_2),
        real("term", "otkl_A1", &P::otkl_A1),
        real("term", "otkl_B1", &P::otkl_B1),
        real("term", "otkl_A2", &P::otkl_A2),
        real("term", "otkl_B2", &P::otkl_B2),
        real("term", "otkl_C2", &P::otkl_C2),
        real("term", "otkl_A3", &P::otkl_A3),
        real("term", "otkl_B3", &P::otkl_B3),
        real("term", "skor_A1", &P::skor_A1),
        real("term", "skor_B1", &P::skor_B1),
        real("term", "skor_A2", &P::skor_A2),
        real("term", "skor_B2", &P::skor_B2),
        real("term", "skor_C2", &P::skor_C2),
        real("term", "skor_A3", &P::skor_A3),
        real("term", "skor_B3", &P::skor_B3),
        real("koof", "otkl_left", &P::otkl_left),
        real("koof", "otkl_right", &P::otkl_right),
        real("koof", "skor_left", &P::skor_left),
        real("koof", "skor_right", &P::skor_right),
        byte("term_out", "vih_1", &P::vih, 0),
        byte("term_out", "vih_2", &P::vih, 1),
        byte("term_out", "vih_3", &P::vih, 2),
        byte("term_out", "vih_4", &P::vih, 3),
        byte("term_out", "vih_5", &P::vih, 4),
        byte("term_out", "vih_6", &P::vih, 5),
        byte("term_out", "vih_7", &P::vih, 6),
        byte("term_out", "vih_8", &P::vih, 7),
        byte("term_out", "vih_9", &P::vih, 8),
        byte("baza", "m1", &P::m, 0),
        byte("baza", "m2", &P::m, 1),
        byte("baza", "m3", &P::m, 2),
        byte("baza", "m4", &P::m, 3),
        byte("baza", "m5", &P::m, 4),
        byte("baza", "m6", &P::m, 5),
        byte("baza", "m7", &P::m, 6),
        byte("baza", "m8", &P::m, 7),
        byte("baza", "m9", &P::m, 8),
        flag("prop_1", &P::prop_1),
        flag("integ_1", &P::integ_1),
        flag("diff_1", &P::diff_1),
        flag("prop_2", &P::prop_2),
        flag("integ_2", &P::integ_2),
        flag("diff_2", &P::diff_2),
    };
    return keys;
}

// ASCII and the Cyrillic letters of UTF-8 (А..Я, Ё) turned to lower case.
std::string lowerTail(std::string_view s) {
    std::string out;
    bool first = true;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = c < 0x80         ? 1
                          : (c >> 5) == 6  ? 2
                          : (c >> 4) == 14 ? 3
                          : (c >> 3) == 30 ? 4
                                           : 1;
        len = std::min(len, s.size() - i);
        std::string ch(s.substr(i, len));
        if (!first) {
            if (len == 1 && c >= 'A' && c <= 'Z') {
                ch[0] = static_cast<char>(c - 'A' + 'a');
            } else if (len == 2 && c == 0xD0) {
                const auto c2 = static_cast<unsigned char>(ch[1]);
                if (c2 >= 0x90 && c2 <= 0x9F) // А..П -> а..п
                    ch[1] = static_cast<char>(c2 + 0x20);
                else if (c2 >= 0xA0 && c2 <= 0xAF) // Р..Я -> р..я
                    ch = {static_cast<char>(0xD1), static_cast<char>(c2 - 0x20)};
                else if (c2 == 0x81) // Ё -> ё
                    ch = {static_cast<char>(0xD1), static_cast<char>(0x91)};
            }
        }
        out += ch;
        first = false;
        i += len;
    }
    return out;
}

std::optional<std::string> readWholeFile(const std::string& path, int& err) {
    err = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return std::nullopt;
    }
    std::string text;
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

void writeAll(int fd, const std::string& text, const std::string& path) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw ioErrorFromErrno(path, errno);
        }
        done += static_cast<std::size_t>(n);
    }
}

// Why the file that is there may not be written, or 0. Root passes every
// permission check, so a file without any write bit (a user's chmod 0444) is
// taken as read-only whoever saves.
int writeRefusal(const std::string& path, const struct stat& st) {
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return EACCES;
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        return errno;
    return 0;
}

// For a file in a folder that takes no new files: the new text over the old,
// then cut to its length. A failure half way leaves a mixed file, which is
// why this is only the fallback.
void writeInPlace(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        throw ioErrorFromErrno(path, errno);
    try {
        writeAll(fd, text, path);
        if (::ftruncate(fd, static_cast<off_t>(text.size())) != 0 || ::fsync(fd) != 0)
            throw ioErrorFromErrno(path, errno);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0)
        throw ioErrorFromErrno(path, errno);
}

} // namespace

const std::array<SafetyKey, 6>& safetyKeys() {
    // The ranges keep every check alive: periods from a second (a simulated
    // plant many times faster than the lab's) to an hour, a rise of at least
    // one step of the sensor (1/16 °C).
    using S = SafetySettings;
    static const std::array<SafetyKey, 6> keys{
        SafetyKey{"watch_period", &S::watchPeriod, 1, 3600},
        SafetyKey{"watch_rise", &S::watchRise, 0.0625, 50},
        SafetyKey{"watch_fall", &S::watchFall, 0.5, 100},
        SafetyKey{"frozen_period", &S::frozenPeriod, 1, 3600},
        SafetyKey{"hysteresis", &S::hysteresis, 0.5, 50},
        SafetyKey{"runaway_period", &S::runawayPeriod, 1, 3600},
    };
    return keys;
}

const SafetyKey& safetyKey(double SafetySettings::*field) {
    for (const SafetyKey& k : safetyKeys())
        if (k.field == field)
            return k;
    return safetyKeys()[0]; // every field has its key
}

IoError ioErrorFromErrno(const std::string& path, int err) {
    return IoError(path + ": " + std::strerror(err));
}

std::optional<double> parseProfileFloat(std::string_view text) {
    if (const auto v = parseNumber(text, '.'))
        return v;
    return parseNumber(text, ',');
}

std::optional<std::int32_t> parseProfileInt(std::string_view text) {
    text = trimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text[0] == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    std::uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (ec != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    if (base == 16) {
        // Hexadecimal covers all 32 bits: $FFFFFFFF is -1.
        if (magnitude > 0xFFFFFFFFull)
            return std::nullopt;
        auto bits = static_cast<std::uint32_t>(magnitude);
        if (negative)
            bits = 0u - bits;
        return static_cast<std::int32_t>(bits);
    }
    const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
    if (magnitude > limit)
        return std::nullopt;
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                              : static_cast<std::int64_t>(magnitude));
}

std::string settingsFileName(std::string_view executablePath) {
    const auto slash = executablePath.rfind('/');
    const std::string_view folder =
        slash == std::string_view::npos ? std::string_view{} : executablePath.substr(0, slash + 1);
    std::string_view name =
        slash == std::string_view::npos ? executablePath : executablePath.substr(slash + 1);
    const auto dot = name.find('.');
    if (dot != std::string_view::npos)
        name = name.substr(0, dot);
    return std::string(folder) + lowerTail(name) + ".INI";
}

TSettings settingsFromText(std::string_view text, char /*decimalSep: either mark reads*/) {
    const IniFile ini(text);
    TSettings s;
    const TControlParams defaults;
    for (const Key& k : keyTable()) {
        const std::optional<std::string> value = ini.get(k.section, k.name);
        switch (k.kind) {
        case Kind::Integer:
            s.SavedComPort = value ? parseProfileInt(*value).value_or(1) : 1;
            break;
        case Kind::Float: {
            const std::optional<double> v = value ? parseProfileFloat(*value) : std::nullopt;
            s.params.*k.real = v ? *v : defaults.*k.real;
            break;
        }
        case Kind::Byte: {
            const auto def = (defaults.*k.bytes)[static_cast<std::size_t>(k.index)];
            const auto v = value ? parseProfileInt(*value) : std::nullopt;
            // A byte takes the low eight bits of the integer: 300 -> 44, -1 -> 255.
            (s.params.*k.bytes)[static_cast<std::size_t>(k.index)] =
                v ? static_cast<std::uint8_t>(static_cast<std::uint32_t>(*v) & 0xFFu) : def;
            break;
        }
        case Kind::Switch: {
            const auto v = value ? parseProfileInt(*value) : std::nullopt;
            s.params.*k.flag = v ? *v != 0 : defaults.*k.flag;
            break;
        }
        }
    }
    for (std::size_t i = 0; i < s.devices.com.size(); ++i) {
        const auto v = ini.get("devices", "COM" + std::to_string(i + 1));
        if (v && !v->empty())
            s.devices.com[i] = *v;
    }
    if (const auto v = ini.get("devices", "LPT"); v && !v->empty())
        s.devices.lpt = *v;
    for (const SafetyKey& k : safetyKeys()) {
        const auto value = ini.get("safety", k.name);
        const auto v = value ? parseProfileFloat(*value) : std::nullopt;
        if (v)
            s.safety.*k.field = std::clamp(*v, k.min, k.max);
    }
    return s;
}

TSettings LoadSettings(const std::string& path, char decimalSep) {
    int err = 0;
    // A missing or unreadable file means the defaults, without a message.
    const std::optional<std::string> text = readWholeFile(path, err);
    return settingsFromText(text ? *text : std::string_view{}, decimalSep);
}

std::string settingsToText(std::string_view oldText, const TSettings& s, char decimalSep) {
    IniFile ini(oldText);
    for (const Key& k : keyTable()) {
        std::string value;
        switch (k.kind) {
        case Kind::Integer:
            value = std::to_string(s.SavedComPort);
            break;
        case Kind::Float:
            value = formatGeneral(s.params.*k.real, decimalSep);
            break;
        case Kind::Byte:
            value = std::to_string((s.params.*k.bytes)[static_cast<std::size_t>(k.index)]);
            break;
        case Kind::Switch:
            value = s.params.*k.flag ? "1" : "0";
            break;
        }
        ini.set(k.section, k.name, value);
    }
    for (const SafetyKey& k : safetyKeys())
        ini.set("safety", k.name, formatGeneral(s.safety.*k.field, decimalSep));
    return ini.text();
}

namespace {

// Replaces the file's text by what `change` makes of it, as SaveSettings
// describes: a failure leaves the old file as it was.
void rewriteSettingsFile(const std::string& requestedPath,
                         const std::function<std::string(std::string_view)>& change) {
    // Through a symbolic link the file it names is replaced, not the link.
    std::string path = requestedPath;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            path = real;
            std::free(real);
        }
    }
    int err = 0;
    std::optional<std::string> old = readWholeFile(path, err);
    const bool exists = old.has_value();
    if (!exists) {
        // A file that exists but cannot be read is not replaced: its other
        // sections would be lost.
        if (err != ENOENT)
            throw ioErrorFromErrno(path, err);
        old = std::string{};
    }
    if (exists) {
        // The rename below needs only the folder's permission: it would
        // replace a file the user made read-only.
        if (::stat(path.c_str(), &st) != 0)
            throw ioErrorFromErrno(path, errno);
        if (const int refusal = writeRefusal(path, st))
            throw ioErrorFromErrno(path, refusal);
    }
    const std::string text = change(*old);

    std::string tmp;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        tmp = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || (errno == EEXIST && attempt < 100))
            continue;
        // A writable file in a folder that takes no new files (a shared
        // install folder) can still be written where it is.
        if (exists && (errno == EACCES || errno == EPERM)) {
            writeInPlace(path, text);
            return;
        }
        throw ioErrorFromErrno(path, errno);
    }
    try {
        if (exists) {
            // Keep the old file's owner (root saving a student's file must
            // not take it from the student; others cannot and need not) and
            // its permissions.
            (void)::fchown(fd, st.st_uid, st.st_gid);
            (void)::fchmod(fd, st.st_mode & 07777);
        }
        writeAll(fd, text, path);
        if (::fsync(fd) != 0)
            throw ioErrorFromErrno(path, errno);
        const int fdCopy = fd;
        fd = -1;
        if (::close(fdCopy) != 0)
            throw ioErrorFromErrno(path, errno);
        if (::rename(tmp.c_str(), path.c_str()) != 0)
            throw ioErrorFromErrno(path, errno);
    } catch (...) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(tmp.c_str());
        throw;
    }
}

} // namespace

void SaveSettings(const std::string& path, const TSettings& settings, char decimalSep) {
    rewriteSettingsFile(
        path, [&](std::string_view old) { return settingsToText(old, settings, decimalSep); });
}

std::string deviceMappingToText(std::string_view oldText, const std::vector<std::string>& com,
                                const std::string& lpt) {
    IniFile ini(oldText);
    if (!lpt.empty())
        ini.set("devices", "LPT", lpt);
    // The ports found replace the whole mapping: a COM key left from an
    // earlier one would name an adapter that is no longer there.
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string key = "COM" + std::to_string(i + 1);
        if (i < com.size())
            ini.set("devices", key, com[i]);
        else
            ini.remove("devices", key);
    }
    return ini.text();
}

void SaveDeviceMapping(const std::string& path, const std::vector<std::string>& com,
                       const std::string& lpt) {
    // The machine's file may be the first thing in /etc/thermostand.
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::exists(folder, ec) &&
        !std::filesystem::create_directories(folder, ec))
        throw ioErrorFromErrno(path, ec.value());
    rewriteSettingsFile(path,
                        [&](std::string_view old) { return deviceMappingToText(old, com, lpt); });
}

ReportSettings reportSettingsFromText(std::string_view text) {
    const IniFile ini(text);
    ReportSettings r;
    r.title = ini.get("report", "title").value_or("");
    r.student = ini.get("report", "student").value_or("");
    r.group = ini.get("report", "group").value_or("");
    return r;
}

ReportSettings LoadReportSettings(const std::string& path) {
    int err = 0;
    const std::optional<std::string> text = readWholeFile(path, err);
    return reportSettingsFromText(text ? *text : std::string_view{});
}

std::string reportSettingsToText(std::string_view oldText, const ReportSettings& r) {
    auto oneLine = [](std::string v) {
        for (char& c : v)
            if (c == '\r' || c == '\n')
                c = ' ';
        return v;
    };
    IniFile ini(oldText);
    ini.set("report", "title", oneLine(r.title));
    ini.set("report", "student", oneLine(r.student));
    ini.set("report", "group", oneLine(r.group));
    return ini.text();
}

void SaveReportSettings(const std::string& path, const ReportSettings& report) {
    rewriteSettingsFile(path,
                        [&](std::string_view old) { return reportSettingsToText(old, report); });
}

} // namespace thermo
