#pragma once
// A test executable registered a second time for the Russian locale gets
// THERMO_TEST_LOCALE=ru_RU.UTF-8 from ctest. Its main hands that locale to the
// whole process (Qt, the C library and every program the test starts) before
// anything reads the environment, and refuses to run when the C library does
// not have it: a run that silently fell back to the C locale would prove
// nothing.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace thermo::testing {

inline void applyTestLocale() {
    const char* wanted = std::getenv("THERMO_TEST_LOCALE");
    if (wanted == nullptr || *wanted == '\0')
        return;
#ifdef THERMO_TEST_LOCPATH
    // A locale generated into the build tree by ./stand, for machines where
    // it is not installed system-wide.
    struct stat st {};
    const std::string generated = std::string(THERMO_TEST_LOCPATH) + "/" + wanted;
    if (std::getenv("LOCPATH") == nullptr && ::stat(generated.c_str(), &st) == 0)
        ::setenv("LOCPATH", THERMO_TEST_LOCPATH, 1);
#endif
    ::setenv("LC_ALL", wanted, 1);
    ::unsetenv("LANGUAGE");
    if (std::setlocale(LC_ALL, "") == nullptr) {
        std::fprintf(stderr, "the locale %s is not available (./stand generates it)\n", wanted);
        std::exit(1);
    }
    // Tests start in the C library's default, as a program does before it
    // calls setlocale itself.
    std::setlocale(LC_ALL, "C");
}

} // namespace thermo::testing
