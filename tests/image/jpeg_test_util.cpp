#include "image/jpeg_test_util.h"

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace imagetest {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    jmp_buf jump;
};

void OnError(j_common_ptr cinfo) { longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1); }

}  // namespace

std::vector<uint8_t> PhotoPixels(int width, int height, bool grey, uint32_t seed)
{
    const int channels = grey ? 1 : 3;
    std::vector<uint8_t> px(size_t(width) * size_t(height) * size_t(channels));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                seed = seed * 1664525u + 1013904223u;
                const double v = 128 + 60 * std::sin(x * 0.05 + c) + 40 * std::cos(y * 0.07 - c * 0.5) +
                                 20 * std::sin((x + y) * 0.3) + double(seed >> 28) - 8;
                px[(size_t(y) * size_t(width) + size_t(x)) * size_t(channels) + size_t(c)] =
                    uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
            }
    return px;
}

std::vector<uint8_t> EncodeJpeg(const JpegParams& params)
{
    jpeg_compress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = OnError;
    unsigned char* out = nullptr;
    unsigned long size = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(out);
        return {};
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = JDIMENSION(params.width);
    cinfo.image_height = JDIMENSION(params.height);
    cinfo.input_components = params.grey ? 1 : 3;
    cinfo.in_color_space = params.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, params.quality, TRUE);
    if (!params.grey) {
        cinfo.comp_info[0].h_samp_factor = params.h_luma;
        cinfo.comp_info[0].v_samp_factor = params.v_luma;
        cinfo.comp_info[1].h_samp_factor = cinfo.comp_info[1].v_samp_factor = 1;
        cinfo.comp_info[2].h_samp_factor = cinfo.comp_info[2].v_samp_factor = 1;
    }
    cinfo.restart_interval = unsigned(params.restart_interval);
    cinfo.optimize_coding = params.optimize ? TRUE : FALSE;
    cinfo.arith_code = params.arithmetic ? TRUE : FALSE;
    if (params.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    const int stride = params.width * cinfo.input_components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(params.pixels.data() + size_t(cinfo.next_scanline) * size_t(stride));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> file(out, out + size);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return file;
}

std::vector<uint8_t> DecodeJpegReference(const std::vector<uint8_t>& file, int* width, int* height,
                                         int* channels)
{
    jpeg_decompress_struct cinfo;
    std::vector<uint8_t> px;  // before the jump point: a jump must not skip its destructor
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = OnError;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        px.clear();
        return px;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    *width = int(cinfo.output_width);
    *height = int(cinfo.output_height);
    *channels = cinfo.output_components;
    px.resize(size_t(*width) * size_t(*height) * size_t(*channels));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = px.data() + size_t(cinfo.output_scanline) * size_t(*width) * size_t(*channels);
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return px;
}

double Psnr(const TBitmap& b, const std::vector<uint8_t>& samples, int channels)
{
    double sum = 0;
    size_t n = 0;
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x) {
            const uint32_t word = b.Row(y)[x];
            const uint8_t* s = samples.data() + (size_t(y) * size_t(b.width) + size_t(x)) * size_t(channels);
            for (int c = 0; c < 3; ++c) {
                const double d = double(word >> (8 * c) & 0xFF) - double(s[channels == 1 ? 0 : c]);
                sum += d * d;
                ++n;
            }
        }
    if (sum == 0)
        return 99.0;
    return 10 * std::log10(255.0 * 255.0 / (sum / double(n)));
}

}  // namespace imagetest
