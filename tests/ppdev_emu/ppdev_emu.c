/* A parallel port for the tests, reached by LD_PRELOAD: the /dev/parportN
 * character devices of the ppdev driver, emulated in a folder named by
 * THERMO_PPDEV_EMU, so that the program, its heater guard and a second
 * program meet one port as they would on a lab PC. Without that variable
 * every call passes straight to the C library.
 *
 * The folder mirrors the system's paths:
 *   dev/parportN                         the device: data, status and
 *                                        control register (bytes 0, 1, 2);
 *                                        an empty file is a device node
 *                                        without a port; removing it is the
 *                                        port vanishing (a USB adapter
 *                                        unplugged): a descriptor held on it
 *                                        then has st_nlink 0, as one on the
 *                                        devtmpfs node has once the kernel
 *                                        deletes the node
 *   proc/sys/dev/parport/parportN/base-addr   what LPT=auto reads
 *   ioctl.log                            one line per call on a device, in
 *                                        order: pid port call value result
 * "result" is ok, an errno name, or "gone": accepted by a port that no
 * longer exists, as the kernel accepts it (below).
 *
 * What the kernel does (drivers/char/ppdev.c, drivers/parport/share.c), and
 * how it is kept here across processes:
 * - State belongs to the open file description: the program's guard
 *   inherits the program's one, claim included. Here the registered,
 *   exclusive and claimed flags live in the file offset of the open
 *   description (the programs never read or write the device), the
 *   registers are read and written with pread/pwrite.
 * - PPEXCL before the first claim asks for an exclusive registration; after
 *   it, EINVAL unless already exclusive.
 * - The first PPCLAIM registers the open file with the port: ENXIO when the
 *   port does not exist, and ENXIO too when an exclusive registration meets
 *   any other (parport_register_dev_model fails; EBUSY is never returned).
 *   Registrations are shared or exclusive OFD locks on byte 1, held until
 *   the last descriptor of the open file closes, as the kernel unregisters
 *   then. The claim itself is a write lock on byte 0 and waits, as
 *   parport_claim_or_block does, for as long as another open file holds it.
 *   A second PPCLAIM on a claimed file: EINVAL.
 * - Every other call before PPCLAIM (and after PPRELEASE): EINVAL.
 * - A port removed while a file holds it gets the parport layer's dead
 *   operations: writes are accepted and go nowhere, reads give 0, no call
 *   fails. udev removes the device node, so a new open fails with ENOENT.
 * Direct port I/O (ioperm) is refused with EPERM, as for a login without
 * CAP_SYS_RAWIO, so no test touches a real I/O port.
 */
#undef _FORTIFY_SOURCE
#undef _FILE_OFFSET_BITS
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/ppdev.h>
#include <stdarg.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/io.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kRegistered = 1, kExclusive = 2, kClaimed = 4 };
enum { kClaimByte = 0, kRegisterByte = 1, kRegisterCount = 3 };

/* The C library's own `name`, found past this library. */
#define REAL(name)                                                                                 \
    static __typeof__(name)* real_##name;                                                          \
    if (!real_##name)                                                                              \
    real_##name = (__typeof__(name)*)dlsym(RTLD_NEXT, #name)

static const char* emuDir(void) {
    const char* d = getenv("THERMO_PPDEV_EMU");
    return d && *d ? d : NULL;
}

static bool isDevicePath(const char* path) {
    return path && strncmp(path, "/dev/parport", 12) == 0;
}

/* The path inside the emulator's folder for the device and proc paths;
 * anything else unchanged. */
static const char* redirect(const char* path, char* buf, size_t size) {
    const char* dir = emuDir();
    if (!dir || !path)
        return path;
    if (!isDevicePath(path) && strncmp(path, "/proc/sys/dev/parport", 21) != 0)
        return path;
    if ((size_t)snprintf(buf, size, "%s%s", dir, path) >= size)
        return path;
    return buf;
}

static int realClose(int fd) {
    REAL(close);
    return real_close(fd);
}

static int realOpenat(int dirfd, const char* path, int flags, mode_t mode) {
    REAL(openat);
    return real_openat(dirfd, path, flags, mode);
}

/* The port name ("parport0") when `fd` is one of the emulated devices, also
 * one inherited from another process or already removed. */
static bool emulatedPort(int fd, char* port, size_t size) {
    const char* dir = emuDir();
    if (!dir || fd < 0)
        return false;
    char root[PATH_MAX], link[64], target[PATH_MAX];
    if (!realpath(dir, root))
        return false;
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return false;
    target[n] = '\0';
    const size_t rootLen = strlen(root);
    if (strncmp(target, root, rootLen) != 0 || strncmp(target + rootLen, "/dev/parport", 12) != 0)
        return false;
    snprintf(port, size, "%s", target + rootLen + 5);
    char* deleted = strstr(port, " (deleted)");
    if (deleted)
        *deleted = '\0';
    return true;
}

/* One record, one write on an O_APPEND descriptor: the lines of the
 * program and of its guard never interleave. */
static void logCall(const char* port, const char* call, int value, int err, bool gone) {
    const char* dir = emuDir();
    if (!dir)
        return;
    const int saved = errno;
    char path[PATH_MAX], val[8], line[256];
    snprintf(path, sizeof path, "%s/ioctl.log", dir);
    if (value < 0)
        snprintf(val, sizeof val, "-");
    else
        snprintf(val, sizeof val, "0x%02x", (unsigned)value);
    const char* result = err ? strerrorname_np(err) : gone ? "gone" : "ok";
    const int n = snprintf(line, sizeof line, "%d %s %s %s %s\n", (int)getpid(), port, call, val,
                           result ? result : "?");
    const int fd = realOpenat(AT_FDCWD, path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        if (write(fd, line, (size_t)n) != n)
            fprintf(stderr, "ppdev_emu: %s: short write\n", path);
        realClose(fd);
    }
    errno = saved;
}

static int openAt(int dirfd, const char* path, int flags, mode_t mode) {
    char buf[PATH_MAX];
    const char* p = redirect(path, buf, sizeof buf);
    const int fd = realOpenat(dirfd, p, flags, mode);
    if (p != path && isDevicePath(path))
        logCall(path + 5, "open", -1, fd < 0 ? errno : 0, false);
    return fd;
}

static mode_t modeArg(int flags, va_list ap) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, mode_t) : 0;
}

int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeArg(flags, ap);
    va_end(ap);
    return openAt(AT_FDCWD, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeArg(flags, ap);
    va_end(ap);
    return openAt(AT_FDCWD, path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeArg(flags, ap);
    va_end(ap);
    return openAt(dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = modeArg(flags, ap);
    va_end(ap);
    return openAt(dirfd, path, flags, mode);
}

/* What a fortified build calls instead of open(). */
int __open_2(const char* path, int flags) {
    return openAt(AT_FDCWD, path, flags, 0);
}

int __open64_2(const char* path, int flags) {
    return openAt(AT_FDCWD, path, flags, 0);
}

/* std::ifstream opens through fopen64, std::filesystem asks stat and reads
 * folders through opendir or openat + fdopendir. */
FILE* fopen(const char* path, const char* mode) {
    REAL(fopen);
    char buf[PATH_MAX];
    return real_fopen(redirect(path, buf, sizeof buf), mode);
}

FILE* fopen64(const char* path, const char* mode) {
    REAL(fopen64);
    char buf[PATH_MAX];
    return real_fopen64(redirect(path, buf, sizeof buf), mode);
}

DIR* opendir(const char* path) {
    REAL(opendir);
    char buf[PATH_MAX];
    return real_opendir(redirect(path, buf, sizeof buf));
}

int stat(const char* restrict path, struct stat* restrict st) {
    REAL(stat);
    char buf[PATH_MAX];
    return real_stat(redirect(path, buf, sizeof buf), st);
}

int stat64(const char* restrict path, struct stat64* restrict st) {
    REAL(stat64);
    char buf[PATH_MAX];
    return real_stat64(redirect(path, buf, sizeof buf), st);
}

int lstat(const char* restrict path, struct stat* restrict st) {
    REAL(lstat);
    char buf[PATH_MAX];
    return real_lstat(redirect(path, buf, sizeof buf), st);
}

int ioperm(unsigned long from, unsigned long num, int turnOn) {
    REAL(ioperm);
    if (!emuDir())
        return real_ioperm(from, num, turnOn);
    char what[32];
    snprintf(what, sizeof what, "ioperm:0x%lx", from);
    logCall("-", what, -1, EPERM, false);
    errno = EPERM;
    return -1;
}

int close(int fd) {
    char port[64];
    const bool emulated = emulatedPort(fd, port, sizeof port);
    const int r = realClose(fd);
    if (emulated)
        logCall(port, "close", -1, r < 0 ? errno : 0, false);
    return r;
}

static int ofdState(int fd) {
    const off_t at = lseek(fd, 0, SEEK_CUR);
    return at < 0 ? 0 : (int)at;
}

static void setOfdState(int fd, int state) {
    (void)lseek(fd, state, SEEK_SET);
}

static int lockByte(int fd, int cmd, short type, off_t at) {
    struct flock l = {.l_type = type, .l_whence = SEEK_SET, .l_start = at, .l_len = 1};
    return fcntl(fd, cmd, &l);
}

static const char* requestName(unsigned long request) {
    switch (request) {
    case PPEXCL:
        return "PPEXCL";
    case PPCLAIM:
        return "PPCLAIM";
    case PPRELEASE:
        return "PPRELEASE";
    case PPWDATA:
        return "PPWDATA";
    case PPRDATA:
        return "PPRDATA";
    case PPRSTATUS:
        return "PPRSTATUS";
    case PPRCONTROL:
        return "PPRCONTROL";
    case PPWCONTROL:
        return "PPWCONTROL";
    }
    return NULL;
}

/* The register (0 data, 1 status, 2 control) a data call reaches, and
 * whether it writes; -1 for the calls that are not data calls. */
static int registerOf(unsigned long request, bool* writes) {
    *writes = request == PPWDATA || request == PPWCONTROL;
    switch (request) {
    case PPWDATA:
    case PPRDATA:
        return 0;
    case PPRSTATUS:
        return 1;
    case PPWCONTROL:
    case PPRCONTROL:
        return 2;
    }
    return -1;
}

int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    unsigned char* arg = va_arg(ap, unsigned char*);
    va_end(ap);
    REAL(ioctl);
    char port[64];
    if (_IOC_TYPE(request) != PP_IOCTL || !emulatedPort(fd, port, sizeof port))
        return real_ioctl(fd, request, arg);

    struct stat st;
    const bool gone = fstat(fd, &st) == 0 && st.st_nlink == 0;
    const bool noPort = gone || st.st_size < kRegisterCount;
    int state = ofdState(fd);
    int err = 0, value = -1;
    bool writes = false;
    const int reg = registerOf(request, &writes);
    char unknown[24];
    const char* name = requestName(request);
    if (!name) {
        snprintf(unknown, sizeof unknown, "0x%lx", request);
        name = unknown;
    }

    if (request == PPEXCL) {
        if (state & kRegistered)
            err = (state & kExclusive) ? 0 : EINVAL;
        else
            setOfdState(fd, state | kExclusive);
    } else if (request == PPCLAIM) {
        if (state & kClaimed) {
            err = EINVAL;
        } else if (!(state & kRegistered) &&
                   (noPort || lockByte(fd, F_OFD_SETLK, (state & kExclusive) ? F_WRLCK : F_RDLCK,
                                       kRegisterByte) != 0)) {
            err = ENXIO;
        } else {
            state |= kRegistered;
            setOfdState(fd, state);
            if (lockByte(fd, F_OFD_SETLKW, F_WRLCK, kClaimByte) != 0)
                err = errno; /* EINTR: a signal ended the wait, as in the kernel */
            else
                setOfdState(fd, state | kClaimed);
        }
    } else if (!(state & kClaimed)) {
        err = EINVAL;
    } else if (request == PPRELEASE) {
        (void)lockByte(fd, F_OFD_SETLK, F_UNLCK, kClaimByte);
        setOfdState(fd, state & ~kClaimed);
    } else if (reg < 0) {
        err = EINVAL; /* not a call this emulator knows */
    } else if (writes) {
        value = *arg;
        if (!gone && pwrite(fd, arg, 1, reg) != 1)
            err = EIO;
    } else {
        unsigned char v = 0;
        if (!gone && pread(fd, &v, 1, reg) != 1)
            v = 0;
        *arg = v;
        value = v;
    }
    logCall(port, name, value, err, gone && !err);
    if (err) {
        errno = err;
        return -1;
    }
    return 0;
}
