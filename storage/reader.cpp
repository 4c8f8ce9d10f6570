#include "storage/reader.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace thermo {

ArchiveReader::ArchiveReader() : Samples(kMaxSamplePosition + 1), Configs(kConfigCapacity + 1) {}

FileBytes readArchiveFile(const std::string& path) {
    FileBytes out;
    // Reading needs no write access: an archive on a read-only share or
    // handed out without write permission must still open.
    // Non-blocking, so a pipe given as the archive cannot hang the window
    // before it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        out.error = errno;
        return out;
    }
    // Only a regular file is an archive: a folder, a pipe or a device
    // (/dev/zero would be read until memory ran out) cannot be opened as one.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        out.error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return out;
    }
    if (st.st_size > 0)
        out.bytes.reserve(static_cast<std::size_t>(st.st_size));
    std::uint8_t buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        // A read error ends the file there: what came before is still shown.
        if (n <= 0)
            break;
        out.bytes.insert(out.bytes.end(), buf, buf + n);
    }
    ::close(fd);
    return out;
}

namespace {

// The file's whole records into records[1 .. count], the array grown for a
// larger file (entries beyond the count keep what they held). The count is
// in place before the message `emptyText` for none, which waits for a
// person while the windows may repaint.
template <class Record>
void decodeRecords(const FileBytes& file, std::size_t recordSize,
                   Record (*decode)(const std::uint8_t*), std::vector<Record>& records,
                   std::size_t& count, UserDialogs& dialogs, const char* emptyText) {
    const std::size_t n = file.bytes.size() / recordSize;
    if (records.size() < n + 1)
        records.resize(n + 1);
    for (std::size_t k = 1; k <= n; ++k)
        records[k] = decode(file.bytes.data() + (k - 1) * recordSize);
    count = n;
    if (n == 0)
        dialogs.message(MessageKind::Plain, "", emptyText);
}

} // namespace

bool ArchiveReader::ReadSampleFile(const std::string& name, UserDialogs& dialogs) {
    const FileBytes file = readArchiveFile(name);
    if (file.error != 0) {
        dialogs.message(MessageKind::Plain, "", kSampleOpenFailed);
        return false;
    }
    Samples[0] = TArchiveRecord{};
    decodeRecords(file, kSampleRecordSize, decodeSample, Samples, SampleCount, dialogs,
                  kSampleFileEmpty);
    return true;
}

bool ArchiveReader::ReadConfigFile(const std::string& name, UserDialogs& dialogs) {
    const FileBytes file = readArchiveFile(name + "UST");
    if (file.error != 0) {
        // The records still held are another archive's: its setpoints and
        // parameters must not be shown or replayed with these samples.
        ConfigCount = 0;
        dialogs.message(MessageKind::Plain, "", kConfigOpenFailed);
        return false;
    }
    decodeRecords(file, kConfigRecordSize, decodeConfig, Configs, ConfigCount, dialogs,
                  kConfigFileEmpty);
    return true;
}

std::optional<std::size_t> ArchiveReader::configForPosition(std::size_t s) const {
    const std::size_t n = ConfigCount;
    if (n == 0)
        return std::nullopt;
    if (s < Configs[1].Takt)
        return 1;
    for (std::size_t k = 1; k < n; ++k) {
        if (Configs[k].Takt <= s && s < Configs[k + 1].Takt)
            return k;
    }
    if (s >= Configs[n].Takt)
        return n;
    return std::nullopt;
}

} // namespace thermo
