// The banner picture of the window: a baseline JPEG in the module's resources, decoded with
// libjpeg into a bitmap the window paints.
#include "app/Banner.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace {

const char kBannerResource[] = "BANNER";

// libjpeg reports a fatal error by calling error_exit, which must not return.
struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

// Decodes a baseline JPEG from memory into a top-down 24-bit DIB section (nullptr on failure).
HBITMAP DecodeJpeg(const unsigned char* data, unsigned long size, SIZE& bitmapSize) {
    jpeg_decompress_struct cinfo{};
    JpegError error{};
    cinfo.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = JpegErrorExit;
    HBITMAP bitmap = nullptr;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        if (bitmap) DeleteObject(bitmap);
        return nullptr;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const int width = static_cast<int>(cinfo.output_width);
    const int height = static_cast<int>(cinfo.output_height);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) longjmp(error.jump, 1);
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t(3);
    std::vector<unsigned char> row(static_cast<size_t>(width) * cinfo.output_components);
    while (cinfo.output_scanline < cinfo.output_height) {
        unsigned char* rows[1] = {row.data()};
        const size_t y = cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, rows, 1);
        unsigned char* out = static_cast<unsigned char*>(bits) + y * stride;
        for (int x = 0; x < width; ++x) {
            const unsigned char* in = &row[static_cast<size_t>(x) * cinfo.output_components];
            out[x * 3 + 0] = in[2];
            out[x * 3 + 1] = in[1];
            out[x * 3 + 2] = in[0];
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    bitmapSize = SIZE{width, height};
    return bitmap;
}

}  // namespace

HBITMAP LoadBanner(HINSTANCE module, SIZE& size) {
    HRSRC res = FindResourceA(module, kBannerResource, MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    if (!res) return nullptr;
    HGLOBAL loaded = LoadResource(module, res);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return nullptr;
    return DecodeJpeg(static_cast<const unsigned char*>(data), SizeofResource(module, res), size);
}
