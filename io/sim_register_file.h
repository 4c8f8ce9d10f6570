#pragma once
// The simulated parallel port: a small file that the program ([devices]
// LPT=sim:/path) and the simulated stand both map into memory. One port,
// base 0x378, is present on it. The program writes the heater byte into the
// data register; the stand follows every write through a write counter and
// a ring of the last writes with their times, so repeated equal values and
// quick successions (a port probe) are all seen.
//
// Layout, host byte order (both sides run on one machine), 4096 bytes:
//   0   char[8]  magic "THLPTSIM"
//   8   u32      format version (1)
//   12  u32      base address of the port (0x378)
//   16  u8       data register
//   17  u8       status register
//   18  u8       control register
//   24  u64      number of data-register writes so far
//   32  entry[kRingSize] of { u64 time (ns, CLOCK_REALTIME); u64 (write number << 8) | value }
// Entry k holds write number n where n % kRingSize == k. A writer stores the
// entry, then the register, then bumps the counter (release order); a reader
// loads the counter first (acquire) and checks each entry's write number.
// One writer at a time, as one program drives the heater; any number of
// readers.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace thermo {

class SimRegisterFile {
public:
    static constexpr std::size_t kSize = 4096;
    static constexpr std::size_t kRingSize = 128;
    static constexpr std::uint16_t kBase = 0x378;
    static constexpr std::uint8_t kStatusIdle = 0x78;  // busy released, no error
    static constexpr std::uint8_t kControlIdle = 0x0C; // init high, select in

    struct Write {
        std::uint64_t number = 0;
        std::int64_t timeNs = 0; // CLOCK_REALTIME
        std::uint8_t value = 0;
    };

    // Maps the file, creating and formatting it when it does not exist or is
    // empty. A file with other content is never overwritten: open fails and
    // error() says why.
    // *code gets the system's error number (EINVAL for a foreign file).
    [[nodiscard]] static std::optional<SimRegisterFile>
    open(const std::string& path, std::string* error, int* code = nullptr);
    // Maps an already formatted file through a descriptor this process was
    // handed (the heater guard inherits the program's); the descriptor stays
    // open and the caller's.
    [[nodiscard]] static std::optional<SimRegisterFile> adopt(int fd, std::string* error);
    SimRegisterFile(SimRegisterFile&& other) noexcept;
    SimRegisterFile& operator=(SimRegisterFile&& other) noexcept;
    SimRegisterFile(const SimRegisterFile&) = delete;
    SimRegisterFile& operator=(const SimRegisterFile&) = delete;
    ~SimRegisterFile();

    // offset 0 data, 1 status, 2 control
    [[nodiscard]] std::uint8_t read(unsigned offset) const;
    void write(unsigned offset, std::uint8_t value);

    [[nodiscard]] std::uint64_t writeCount() const;
    // Data-register writes from number `from` on, oldest first; `lost` gets
    // how many had already been overwritten in the ring.
    [[nodiscard]] std::vector<Write> writesSince(std::uint64_t from, std::uint64_t* lost) const;

    [[nodiscard]] const std::string& path() const { return m_path; }

private:
    SimRegisterFile(std::string path, unsigned char* mem) : m_path(std::move(path)), m_mem(mem) {}
    std::string m_path;
    unsigned char* m_mem = nullptr;
};

} // namespace thermo
