#include "host/image_file.h"

#include <png.h>
#include <setjmp.h>
#include <stdio.h>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

struct FileClose {
    void operator()(FILE* file) const { ::fclose(file); }
};
using File = std::unique_ptr<FILE, FileClose>;

bool isPng(FILE* file) {
    unsigned char signature[8] = {};
    bool png = ::fread(signature, 1, 8, file) == 8 && png_sig_cmp(signature, 0, 8) == 0;
    ::rewind(file);
    return png;
}

// Everything libpng touches lives before the setjmp, so a longjmp skips no destructor.
std::optional<Document> openPng(FILE* file, bool withAlpha) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    Document document;
    std::vector<png_bytep> rows;
    bool ok = false;
    if (png != nullptr && info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_user_limits(png, 65535, 65535);
        png_read_info(png, info);
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_gray_to_rgb(png);
        if (withAlpha) {
            png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
        } else {
            png_set_strip_alpha(png);
        }
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        document = makeDocument(png_get_image_width(png, info), png_get_image_height(png, info),
                                withAlpha ? 4 : 3);
        if (!document.empty() &&
            png_get_rowbytes(png, info) == size_t{document.width} * document.channels) {
            rows.resize(document.height);
            for (uint32_t y = 0; y < document.height; ++y) {
                rows[y] = document.row(y);
            }
            png_read_image(png, rows.data());
            png_charp name = nullptr;
            int compression = 0;
            png_bytep profile = nullptr;
            png_uint_32 length = 0;
            if (png_get_iCCP(png, info, &name, &compression, &profile, &length) != 0 &&
                profile != nullptr) {
                document.iccProfile.assign(profile, profile + length);
            }
            ok = true;
        }
    }
    png_destroy_read_struct(png ? &png : nullptr, info ? &info : nullptr, nullptr);
    if (!ok) {
        return std::nullopt;
    }
    return document;
}

struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

void jpegFail(j_common_ptr info) {
    longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

std::optional<Document> openJpeg(FILE* file, bool withAlpha) {
    jpeg_decompress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = &jpegFail;
    Document document;
    std::vector<uint8_t> line;
    JOCTET* profile = nullptr;
    unsigned int profileLength = 0;
    bool ok = false;
    if (setjmp(error.jump) == 0) {
        jpeg_create_decompress(&info);
        jpeg_stdio_src(&info, file);
        jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
        jpeg_read_header(&info, TRUE);
        info.out_color_space = JCS_RGB;
        jpeg_start_decompress(&info);
        document = makeDocument(info.output_width, info.output_height, withAlpha ? 4 : 3);
        if (!document.empty() && info.output_components == 3) {
            line.resize(size_t{document.width} * 3);
            while (info.output_scanline < info.output_height) {
                JSAMPROW target = line.data();
                const uint32_t y = info.output_scanline;
                jpeg_read_scanlines(&info, &target, 1);
                uint8_t* out = document.row(y);
                for (uint32_t x = 0; x < document.width; ++x) {
                    std::memcpy(out, &line[size_t{x} * 3], 3);
                    if (withAlpha) {
                        out[3] = 255;
                    }
                    out += document.channels;
                }
            }
            if (jpeg_read_icc_profile(&info, &profile, &profileLength) && profile != nullptr) {
                document.iccProfile.assign(profile, profile + profileLength);
            }
            jpeg_finish_decompress(&info);
            ok = true;
        }
    }
    ::free(profile);
    jpeg_destroy_decompress(&info);
    if (!ok) {
        return std::nullopt;
    }
    return document;
}

bool writePng(FILE* file, const Document& document, bool withProfile) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_const_bytep> rows(document.height);
    bool ok = false;
    if (png != nullptr && info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_compression_level(png, 1);
        png_set_IHDR(png, info, document.width, document.height, 8,
                     document.channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        if (withProfile && !document.iccProfile.empty()) {
            png_set_iCCP(png, info, "ICC profile", 0, document.iccProfile.data(),
                         static_cast<png_uint_32>(document.iccProfile.size()));
        }
        for (uint32_t y = 0; y < document.height; ++y) {
            rows[y] = document.row(y);
        }
        png_write_info(png, info);
        png_write_image(png, const_cast<png_bytepp>(rows.data()));
        png_write_end(png, info);
        ok = true;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    return ok;
}

}  // namespace

std::optional<Document> openImage(const std::string& path, bool withAlpha) {
    File file(::fopen(path.c_str(), "rbe"));
    if (!file) {
        return std::nullopt;
    }
    return isPng(file.get()) ? openPng(file.get(), withAlpha) : openJpeg(file.get(), withAlpha);
}

bool savePng(const std::string& path, const Document& document) {
    if (document.empty()) {
        return false;
    }
    // A profile libpng refuses is left out rather than losing the pixels.
    for (bool withProfile : {true, false}) {
        File file(::fopen(path.c_str(), "wbe"));
        if (!file) {
            return false;
        }
        if (writePng(file.get(), document, withProfile)) {
            return ::fflush(file.get()) == 0;
        }
    }
    return false;
}
