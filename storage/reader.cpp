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

bool ArchiveReader::ReadSampleFile(const std::string& name, UserDialogs& dialogs) {
    const FileBytes file = readArchiveFile(name);
    if (file.error != 0) {
        dialogs.message(MessageKind::Plain, "", kSampleOpenFailed);
        return false;
    }
    const std::size_t count = file.bytes.size() / kSampleRecordSize;
    if (Samples.size() < count + 1)
        Samples.resize(count + 1);
    Samples[0] = TArchiveRecord{};
    for (std::size_t p = 1; p <= count; ++p)
        Samples[p] = decodeSample(file.bytes.data() + (p - 1) * kSampleRecordSize);
    SampleCount = count;
    if (count == 0)
        dialogs.message(MessageKind::Plain, "", kSampleFileEmpty);
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
    const std::size_t count = file.bytes.size() / kConfigRecordSize;
    if (Configs.size() < count + 1)
        Configs.resize(count + 1);
    for (std::size_t k = 1; k <= count; ++k)
        Configs[k] = decodeConfig(file.bytes.data() + (k - 1) * kConfigRecordSize);
    ConfigCount = count;
    if (count == 0)
        dialogs.message(MessageKind::Plain, "", kConfigFileEmpty);
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
