// Fuzzes the PPM header and raster reader the way radpixmap drives it:
// size line, maxval line, then rows until the data runs out.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz_file.h"
#include "ppminput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_file file(data, size);
    ppminput_ptr in(ppminput_new(file.path()));
    if (!in)
        return 0;
    int w, h, maxval;
    if (ppminput_read_size(in.get(), &w, &h) && ppminput_size_ok(w, h) &&
        ppminput_read_maxval(in.get(), &maxval)) {
        size_t bytes = ppminput_row_bytes(w, maxval);
        unsigned char *raw = static_cast<unsigned char *>(malloc(bytes));
        unsigned sum = 0;
        for (int y = 0; raw && y < h; y++) {
            size_t got = ppminput_read_row(in.get(), raw);
            for (size_t i = 0; i < size_t(w) * 3; i++)
                sum += ppminput_sample(raw, i, maxval);
            if (got < bytes)
                break; // the rest of the rows would be zeros as well
        }
        free(raw);
        (void)sum;
    }
    return 0;
}
