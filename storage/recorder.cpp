#include "storage/recorder.h"

#include <filesystem>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "storage/io_error.h"

namespace thermo {

namespace {

TConfigRecord snapshot(const TConfigSources& live) {
    TConfigRecord r;
    r.Takt = live.Takt;
    r.Zadan = live.Zadan;
    r.params = live.params;
    r.Fuzzy_on = live.Check_Fuzzy;
    r.PID_on = live.Check_PID;
    r.Nagrev = live.Nagrev;
    r.Interval = static_cast<std::uint16_t>(live.Interval & 0xFFFFu);
    return r;
}

} // namespace

double Vremya(int hour, int minute, int second, int millisecond) {
    constexpr double kMillisecondsPerDay = 86'400'000.0;
    const long ms = ((hour * 60L + minute) * 60L + second) * 1000L + millisecond;
    return static_cast<double>(ms) / kMillisecondsPerDay;
}

double localTimeOfDay() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    ::localtime_r(&now.tv_sec, &local);
    // A leap second (tm_sec 60) is held at the last second of its minute.
    const int second = local.tm_sec > 59 ? 59 : local.tm_sec;
    return Vremya(local.tm_hour, local.tm_min, second, static_cast<int>(now.tv_nsec / 1'000'000));
}

ArchiveRecorder::ArchiveRecorder(Clock clock)
    : clock_(std::move(clock)), runSamples_(kMaxSamplePosition + 1) {}

void ArchiveRecorder::TakeConfigSnapshot(const TConfigSources& live) {
    lastConfig_ = snapshot(live);
}

bool ArchiveRecorder::ConfigChanged(const TConfigSources& live) const {
    if (live.Interval != lastConfig_.Interval)
        return true;
    TConfigRecord now = snapshot(live);
    now.Takt = lastConfig_.Takt;
    return !(now == lastConfig_);
}

void ArchiveRecorder::AppendSample(std::uint16_t Takt, const TProcessState& state) {
    if (Takt > kMaxSamplePosition)
        throw std::out_of_range("sample position " + std::to_string(Takt) + " is above " +
                                std::to_string(kMaxSamplePosition));
    const TArchiveRecord r{state.Temper, state.Summa_1, state.Summa_2, clock_()};
    runSamples_[Takt] = r;
    const SampleBytes bytes = encodeSample(r);
    appendRecord(archiveName_, bytes.data(), bytes.size());
}

void ArchiveRecorder::AppendConfig(const TConfigSources& live) {
    // The snapshot stands only once it is on disk: after a failed write the
    // change still differs from it, so the next tick writes it again.
    const TConfigRecord previous = lastConfig_;
    TakeConfigSnapshot(live);
    const ConfigBytes bytes = encodeConfig(lastConfig_);
    try {
        appendRecord(configFileName(), bytes.data(), bytes.size());
    } catch (...) {
        lastConfig_ = previous;
        throw;
    }
    // The tick counter only rises within a run; a record at or below the
    // previous one's Takt belongs to a new run.
    if (runConfigs_.empty() || lastConfig_.Takt <= runConfigs_.back().Takt) {
        runConfigs_.clear();
        if (lastConfig_.Takt > 1) {
            TConfigRecord inForce = previous;
            inForce.Takt = 1;
            runConfigs_.push_back(inForce);
        }
    }
    runConfigs_.push_back(lastConfig_);
}

void appendRecord(const std::string& path, const std::uint8_t* bytes, std::size_t size) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        throw ioErrorFromErrno(path, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw ioErrorFromErrno(path, err);
    }
    const auto whole = static_cast<off_t>((static_cast<std::uint64_t>(st.st_size) / size) * size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, bytes + done, size - done, whole + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            // Leave only whole records behind, so both files stay readable.
            // If even that fails, the write's own error below is the one to
            // report; the reader skips a partial last record anyway.
            if (::ftruncate(fd, whole) != 0) {
            }
            ::close(fd);
            throw ioErrorFromErrno(path, err);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0)
        throw ioErrorFromErrno(path, errno);
}

std::size_t archiveSampleCount(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<std::size_t>(size / kSampleRecordSize);
}

} // namespace thermo
