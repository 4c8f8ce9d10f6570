#include "io/sim_register_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace thermo {

namespace {

constexpr char kMagic[8] = {'T', 'H', 'L', 'P', 'T', 'S', 'I', 'M'};
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kRegs = 16;
constexpr std::size_t kCount = 24;
constexpr std::size_t kRing = 32;
static_assert(kRing + SimRegisterFile::kRingSize * 16 <= SimRegisterFile::kSize);
static_assert(std::atomic_ref<std::uint64_t>::is_always_lock_free);
static_assert(std::atomic_ref<std::uint8_t>::is_always_lock_free);

std::atomic_ref<std::uint64_t> word(unsigned char* mem, std::size_t offset) {
    return std::atomic_ref<std::uint64_t>(*reinterpret_cast<std::uint64_t*>(mem + offset));
}

std::atomic_ref<std::uint8_t> byteAt(unsigned char* mem, std::size_t offset) {
    return std::atomic_ref<std::uint8_t>(mem[offset]);
}

std::int64_t realtimeNs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Why the file behind `fd` is not a register file of ours; empty when it is.
std::string formatProblem(int fd, const struct stat& st, int* err) {
    unsigned char head[12] = {};
    std::uint32_t version = 0;
    if (st.st_size != static_cast<off_t>(SimRegisterFile::kSize) ||
        ::pread(fd, head, 12, 0) != 12 || std::memcmp(head, kMagic, sizeof kMagic) != 0) {
        *err = EINVAL;
        return "exists and is not a simulated register file; not touching it";
    }
    std::memcpy(&version, head + 8, 4);
    if (version != kVersion) {
        *err = EINVAL;
        return "register file of another format version";
    }
    return {};
}

} // namespace

std::optional<SimRegisterFile> SimRegisterFile::adopt(int fd, std::string* error) {
    const std::string name = "descriptor " + std::to_string(fd);
    struct stat st {};
    int err = 0;
    std::string why;
    if (fstat(fd, &st) != 0)
        why = std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        why = "not a regular file";
    else
        why = formatProblem(fd, st, &err);
    void* mem = MAP_FAILED;
    if (why.empty()) {
        mem = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (mem == MAP_FAILED)
            why = std::strerror(errno);
    }
    if (!why.empty()) {
        if (error)
            *error = name + ": " + why;
        return std::nullopt;
    }
    return SimRegisterFile(name, static_cast<unsigned char*>(mem));
}

std::optional<SimRegisterFile> SimRegisterFile::open(const std::string& path, std::string* error,
                                                     int* code) {
    int err = 0;
    auto fail = [&](const std::string& why) -> std::optional<SimRegisterFile> {
        if (error)
            *error = path + ": " + why;
        if (code)
            *code = err;
        return std::nullopt;
    };
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0664);
    if (fd < 0)
        return fail(std::strerror(err = errno));
    // Both sides may start at once: format under a lock, once.
    flock(fd, LOCK_EX);
    struct stat st {};
    std::string why;
    if (fstat(fd, &st) != 0) {
        why = std::strerror(err = errno);
    } else if (!S_ISREG(st.st_mode)) {
        err = EINVAL;
        why = "not a regular file";
    } else if (st.st_size == 0) {
        unsigned char init[kSize] = {};
        std::memcpy(init, kMagic, sizeof kMagic);
        std::memcpy(init + 8, &kVersion, 4);
        const std::uint32_t base = kBase;
        std::memcpy(init + 12, &base, 4);
        init[kRegs + 1] = kStatusIdle;
        init[kRegs + 2] = kControlIdle;
        if (::pwrite(fd, init, kSize, 0) != static_cast<ssize_t>(kSize))
            why = std::strerror(err = errno ? errno : ENOSPC);
    } else {
        why = formatProblem(fd, st, &err);
    }
    void* mem = MAP_FAILED;
    if (why.empty()) {
        mem = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (mem == MAP_FAILED)
            why = std::strerror(err = errno);
    }
    flock(fd, LOCK_UN);
    ::close(fd); // the mapping stays valid
    if (!why.empty())
        return fail(why);
    return SimRegisterFile(path, static_cast<unsigned char*>(mem));
}

SimRegisterFile::SimRegisterFile(SimRegisterFile&& other) noexcept
    : m_path(std::move(other.m_path)), m_mem(other.m_mem) {
    other.m_mem = nullptr;
}

SimRegisterFile& SimRegisterFile::operator=(SimRegisterFile&& other) noexcept {
    if (this != &other) {
        if (m_mem)
            munmap(m_mem, kSize);
        m_path = std::move(other.m_path);
        m_mem = other.m_mem;
        other.m_mem = nullptr;
    }
    return *this;
}

SimRegisterFile::~SimRegisterFile() {
    if (m_mem)
        munmap(m_mem, kSize);
}

std::uint8_t SimRegisterFile::read(unsigned offset) const {
    if (offset > 2)
        return 0xFF;
    return byteAt(m_mem, kRegs + offset).load(std::memory_order_acquire);
}

void SimRegisterFile::write(unsigned offset, std::uint8_t value) {
    if (offset > 2)
        return;
    if (offset != 0) {
        byteAt(m_mem, kRegs + offset).store(value, std::memory_order_release);
        return;
    }
    const std::uint64_t n = word(m_mem, kCount).load(std::memory_order_relaxed);
    const std::size_t slot = kRing + (n % kRingSize) * 16;
    word(m_mem, slot).store(static_cast<std::uint64_t>(realtimeNs()), std::memory_order_relaxed);
    word(m_mem, slot + 8).store((n << 8) | value, std::memory_order_release);
    byteAt(m_mem, kRegs).store(value, std::memory_order_release);
    word(m_mem, kCount).store(n + 1, std::memory_order_release);
}

std::uint64_t SimRegisterFile::writeCount() const {
    return word(m_mem, kCount).load(std::memory_order_acquire);
}

std::vector<SimRegisterFile::Write> SimRegisterFile::writesSince(std::uint64_t from,
                                                                 std::uint64_t* lost) const {
    std::vector<Write> out;
    const std::uint64_t count = writeCount();
    std::uint64_t first = from;
    if (count > kRingSize && first < count - kRingSize)
        first = count - kRingSize;
    for (std::uint64_t n = first; n < count; ++n) {
        const std::size_t slot = kRing + (n % kRingSize) * 16;
        const std::uint64_t tagged = word(m_mem, slot + 8).load(std::memory_order_acquire);
        const auto t = static_cast<std::int64_t>(word(m_mem, slot).load(std::memory_order_relaxed));
        if ((tagged >> 8) != n) // overwritten meanwhile by a faster writer
            continue;
        out.push_back({n, t, static_cast<std::uint8_t>(tagged & 0xFF)});
    }
    if (lost)
        *lost = (count > from ? count - from : 0) - out.size();
    return out;
}

} // namespace thermo
