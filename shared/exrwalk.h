// exrwalk: what the EXR reader learns of a file by walking its headers and
// offset tables itself, before the library opens it. The library sizes its
// buffers by what the headers declare, and reads chunks it cannot make
// sense of as black without a word; the walk refuses impossible sizes first,
// finds where the colour is (the top level, one layer, or one part), and
// finds chunks that cannot be right.
#ifndef EXRWALK_H
#define EXRWALK_H

#include <string>
#include <vector>

// One part (a single-part file has one) as its header declares it.
struct exrwalk_part {
    int box[4] = {0, 0, -1, -1}; // data window: x_min, y_min, x_max, y_max
    bool has_box = false;
    std::vector<std::string> channels;
    std::vector<int> channel_bytes; // bytes a sample, 0 for a subsampled channel
    int compression = 0;
    bool tiled = false, deep = false;
    int tile[2] = {1, 1}; // tile width and height of a tiled part
    int chunk_count = -1; // declared (multi-part files) or computed
    std::string name;
};

// A run of chunks of the chosen part that cannot be right: their rows, and
// why the first of them cannot be.
struct exrwalk_bad_chunk {
    int first_row, rows; // data-window relative
    std::string reason;
};

struct exrwalk_file {
    bool multipart = false;
    std::vector<exrwalk_part> parts;
    // Where the colour is: the part to read, and the layer in it ("" for
    // the top level).
    int part = 0;
    std::string layer;
    std::vector<exrwalk_bad_chunk> bad_chunks;
};

enum exrwalk_result {
    EXRWALK_OK,        // the file was walked; see exrwalk_file
    EXRWALK_UNKNOWN,   // it does not walk like an EXR image: the library judges it
    EXRWALK_REFUSED,   // refused with a message already printed
};

// Walks path. Prints "exrinput: ..." and returns EXRWALK_REFUSED for an
// input that cannot be sought in (a pipe, a FIFO, a terminal), another kind
// of image (PNG, JPEG, the netpbm formats, Radiance HDR, TIFF: the message
// says how to bring it in), an attribute declaring more bytes than the file
// holds, a data window beyond max_side pixels a side, or a file whose colour
// channels cannot be told (none, or several candidates). When the colour is
// not at the top level of the first part, prints one note naming the layer
// or part that is read. Names from the file are printed through printable().
[[nodiscard]] exrwalk_result exrwalk(const char *path, int max_side, exrwalk_file *file);

#endif
