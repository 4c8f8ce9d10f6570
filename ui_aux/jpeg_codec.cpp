#include "ui_aux/jpeg_codec.h"

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE and size_t declared first
#include <cstdlib>

#include <jerror.h> // after jpeglib.h, which it needs
#include <jpeglib.h>

namespace thermo {

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not
// return. Unwinding a C++ exception through the C library is not safe, so
// jump back to the caller's frame instead; only plain C objects and the
// caller's own locals (declared before setjmp) live across the jump.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX];
    bool truncated;
};

void onError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->text);
    std::longjmp(err->jump, 1);
}

// Warnings go nowhere (the default prints them on stderr), but a premature
// end of data is remembered: the decoder pads such a picture with grey.
void onMessage(j_common_ptr cinfo, int level) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (level < 0) {
        if (cinfo->err->msg_code == JWRN_JPEG_EOF) {
            err->truncated = true;
            (*cinfo->err->format_message)(cinfo, err->text);
        }
        cinfo->err->num_warnings++;
    }
}

ErrorManager* initErrors(ErrorManager& mgr) {
    jpeg_std_error(&mgr.pub);
    mgr.pub.error_exit = onError;
    mgr.pub.emit_message = onMessage;
    mgr.text[0] = '\0';
    mgr.truncated = false;
    return &mgr;
}

// Anything larger is not a picture this program ships, and refusing it
// keeps a corrupt header from asking for gigabytes.
constexpr long kMaxPixels = 64L * 1024 * 1024;

// Runs `work` on the libjpeg object `cinfo` (a compress or decompress
// struct, which `work` creates) with `err` as its error manager: a fatal
// error jumps back here and fails. The object is destroyed either way.
// `work` and what it calls keep no locals with destructors, which the jump
// would skip.
template <class Work> bool withErrorJump(j_common_ptr cinfo, ErrorManager& err, const Work& work) {
    cinfo->err = &initErrors(err)->pub;
    if (setjmp(err.jump)) {
        jpeg_destroy(cinfo);
        return false;
    }
    const bool ok = work();
    jpeg_destroy(cinfo);
    return ok;
}

// The objects that outlive a jump (the picture, libjpeg's output buffer)
// belong to the caller; these functions keep only libjpeg's own state.
bool decodeInto(std::span<const unsigned char> data, RgbImage& image, ErrorManager& err) {
    jpeg_decompress_struct cinfo{};
    return withErrorJump(reinterpret_cast<j_common_ptr>(&cinfo), err, [&] {
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_RGB;
        jpeg_start_decompress(&cinfo);
        if (cinfo.output_components != 3 ||
            static_cast<long>(cinfo.output_width) * cinfo.output_height > kMaxPixels) {
            std::snprintf(err.text, sizeof err.text, "unsupported JPEG layout");
            return false;
        }
        image.width = static_cast<int>(cinfo.output_width);
        image.height = static_cast<int>(cinfo.output_height);
        image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = image.rgb.data() +
                           static_cast<std::size_t>(cinfo.output_scanline) * image.width * 3;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        return !err.truncated;
    });
}

struct MemoryDestination {
    unsigned char* bytes = nullptr; // malloc'ed by libjpeg
    unsigned long size = 0;
};

bool encodeInto(const RgbImage& image, int quality, MemoryDestination& out, ErrorManager& err) {
    jpeg_compress_struct cinfo{};
    return withErrorJump(reinterpret_cast<j_common_ptr>(&cinfo), err, [&] {
        jpeg_create_compress(&cinfo);
        jpeg_mem_dest(&cinfo, &out.bytes, &out.size);
        cinfo.image_width = static_cast<JDIMENSION>(image.width);
        cinfo.image_height = static_cast<JDIMENSION>(image.height);
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, quality, TRUE);
        cinfo.optimize_coding = TRUE;
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            // libjpeg's row pointer is not const, but compression only reads it.
            auto* row = const_cast<JSAMPROW>(
                image.rgb.data() + static_cast<std::size_t>(cinfo.next_scanline) * image.width * 3);
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        return true;
    });
}

} // namespace

JpegDecodeResult decodeJpeg(std::span<const unsigned char> data) {
    JpegDecodeResult result;
    if (data.empty()) {
        result.error = "no JPEG data";
        return result;
    }
    RgbImage image;
    ErrorManager err;
    if (decodeInto(data, image, err))
        result.image = std::move(image);
    else
        result.error = err.text;
    return result;
}

std::optional<std::vector<unsigned char>> encodeJpeg(const RgbImage& image, int quality,
                                                     std::string* error) {
    const auto fail = [error](const char* text) -> std::optional<std::vector<unsigned char>> {
        if (error)
            *error = text;
        return std::nullopt;
    };
    if (image.width <= 0 || image.height <= 0 ||
        image.rgb.size() != static_cast<std::size_t>(image.width) * image.height * 3)
        return fail("the pixel buffer does not match the picture's size");
    if (quality < 1 || quality > 100)
        return fail("JPEG quality must be 1..100");
    MemoryDestination out;
    ErrorManager err;
    const bool ok = encodeInto(image, quality, out, err);
    std::optional<std::vector<unsigned char>> bytes;
    if (ok)
        bytes.emplace(out.bytes, out.bytes + out.size);
    std::free(out.bytes);
    if (!ok)
        return fail(err.text);
    return bytes;
}

} // namespace thermo
