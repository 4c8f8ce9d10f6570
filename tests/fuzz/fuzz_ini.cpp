// libFuzzer target: any text through the INI layer and the settings on top
// of it. Checks, besides memory safety, the promises a user relies on: an
// unchanged text is written back byte for byte, a save keeps what it wrote
// readable, and the loader never throws.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "storage/ini_file.h"
#include "storage/settings.h"

using namespace thermo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IniFile ini(text);
    // Line endings follow the first line's, so a text without CR comes back
    // unchanged.
    if (text.find('\r') == std::string_view::npos && ini.text() != text)
        std::abort();

    for (const char sep : {'.', ','}) {
        // Floats keep 15 significant digits, so the first save may round; from
        // then on loading and saving again must change nothing.
        const std::string saved = settingsToText(text, settingsFromText(text, sep), sep);
        const TSettings reread = settingsFromText(saved, sep);
        if (settingsToText(saved, reread, sep) != saved)
            std::abort();
    }
    return 0;
}
