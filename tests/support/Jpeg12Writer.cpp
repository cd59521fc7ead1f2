#include "support/Jpeg12Writer.h"

#include <cstddef>
#include <stdexcept>

extern "C" {
#include <jpeglib.h>
}

namespace {

// Collects the coder's output in a string.
struct Destination
{
    jpeg_destination_mgr manager;
    std::string *out;
    JOCTET buffer[4096];
};

void start(j_compress_ptr c)
{
    auto *d = reinterpret_cast<Destination *>(c->dest);
    d->manager.next_output_byte = d->buffer;
    d->manager.free_in_buffer = sizeof d->buffer;
}

boolean flush(j_compress_ptr c)
{
    auto *d = reinterpret_cast<Destination *>(c->dest);
    d->out->append(reinterpret_cast<const char *>(d->buffer), sizeof d->buffer);
    start(c);
    return TRUE;
}

void finish(j_compress_ptr c)
{
    auto *d = reinterpret_cast<Destination *>(c->dest);
    d->out->append(
        reinterpret_cast<const char *>(d->buffer), sizeof d->buffer - d->manager.free_in_buffer);
}

} // namespace

std::string jpeg12Stream(int width, int height, const std::vector<int> &values, int quality)
{
    if (values.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        throw std::runtime_error("the values do not fill the picture");
    jpeg_compress_struct c;
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    std::string out;
    Destination destination{};
    destination.out = &out;
    destination.manager.init_destination = start;
    destination.manager.empty_output_buffer = flush;
    destination.manager.term_destination = finish;
    c.dest = &destination.manager;
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = 1;
    c.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            row[static_cast<std::size_t>(x)] = static_cast<JSAMPLE>(
                values[static_cast<std::size_t>(y) * static_cast<std::size_t>(width)
                    + static_cast<std::size_t>(x)]);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return out;
}
