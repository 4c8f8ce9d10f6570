#include "storage/step_note.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <optional>
#include <unistd.h>

#include "storage/io_error.h"

namespace thermo {

namespace {

constexpr std::string_view kTag = "experiment";

std::optional<long long> wholeNumber(std::string_view s) {
    long long v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc{} || end != s.data() + s.size())
        return std::nullopt;
    return v;
}

std::optional<StepNote> parseLine(std::string_view line) {
    if (line.substr(0, kTag.size()) != kTag)
        return std::nullopt;
    line.remove_prefix(kTag.size());
    long long first = -1, last = -1, from = -1, to = -1, hold = 0, ticks = 0, interval = 0,
              baseline = -1;
    const std::pair<std::string_view, long long*> keys[] = {
        {"first", &first}, {"last", &last},   {"from_pct", &from},        {"to_pct", &to},
        {"hold", &hold},   {"ticks", &ticks}, {"interval_ms", &interval}, {"baseline", &baseline}};
    while (!line.empty()) {
        const std::size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string_view::npos)
            break;
        line.remove_prefix(start);
        const std::size_t end = std::min(line.find_first_of(" \t\r"), line.size());
        const std::string_view word = line.substr(0, end);
        line.remove_prefix(end);
        const std::size_t eq = word.find('=');
        if (eq == std::string_view::npos)
            return std::nullopt;
        for (const auto& [name, target] : keys) {
            if (word.substr(0, eq) != name)
                continue;
            const auto v = wholeNumber(word.substr(eq + 1));
            if (!v)
                return std::nullopt;
            *target = *v;
        }
    }
    const bool plausible = first >= 1 && last > first && from >= 0 && from <= 100 && to >= 0 &&
                           to <= 100 && from != to && hold >= 0 && ticks >= 0 && interval >= 0 &&
                           interval <= 1'000'000;
    if (!plausible)
        return std::nullopt;
    StepNote n;
    n.first = static_cast<std::size_t>(first);
    n.last = static_cast<std::size_t>(last);
    n.fromPct = static_cast<int>(from);
    n.toPct = static_cast<int>(to);
    n.hold = static_cast<long>(hold);
    n.ticks = static_cast<long>(ticks);
    n.intervalMs = static_cast<int>(interval);
    if (baseline >= 0 && baseline < first)
        n.baseline = static_cast<std::size_t>(baseline);
    return n;
}

} // namespace

std::string stepNoteFileName(const std::string& archive) {
    return archive + ".step";
}

std::string stepNoteLine(const StepNote& n) {
    return std::string(kTag) + " first=" + std::to_string(n.first) +
           " last=" + std::to_string(n.last) + " from_pct=" + std::to_string(n.fromPct) +
           " to_pct=" + std::to_string(n.toPct) + " hold=" + std::to_string(n.hold) +
           " ticks=" + std::to_string(n.ticks) + " interval_ms=" + std::to_string(n.intervalMs) +
           (n.baseline ? " baseline=" + std::to_string(*n.baseline) : std::string()) + "\n";
}

std::vector<StepNote> parseStepNotes(std::string_view text) {
    std::vector<StepNote> out;
    while (!text.empty()) {
        const std::size_t nl = std::min(text.find('\n'), text.size());
        if (const auto n = parseLine(text.substr(0, nl)))
            out.push_back(*n);
        text.remove_prefix(std::min(nl + 1, text.size()));
    }
    return out;
}

void appendStepNote(const std::string& archive, const StepNote& note) {
    const std::string path = stepNoteFileName(archive);
    const std::string line = stepNoteLine(note);
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        throw ioErrorFromErrno(path, errno);
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            throw ioErrorFromErrno(path, err);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0)
        throw ioErrorFromErrno(path, errno);
}

std::vector<StepNote> readStepNotes(const std::string& archive) {
    std::ifstream in(stepNoteFileName(archive), std::ios::binary);
    if (!in)
        return {};
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return parseStepNotes(text);
}

} // namespace thermo
