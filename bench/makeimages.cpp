// makeimages: writes benchmark images of real content by tiling a
// photograph: RGBA half, PIZ, as the suite writes them.
// Usage: makeimages photo.exr output.exr width height
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "prog.h"
#include "heap.h"

int main(int argc, char **argv)
{
    heap_keep_freed();
    if (argc < 5) {
        fprintf(stderr, "Usage: makeimages photo.exr output.exr width height\n");
        return 1;
    }
    exrinput_ptr in(exrinput_new(argv[1]));
    if (!in)
        return 1;
    int pw = exrinput_get_width(in.get()), ph = exrinput_get_height(in.get());
    int w = atoi(argv[3]), h = atoi(argv[4]);
    std::vector<rgba_t> photo(size_t(pw) * ph);
    for (int y = 0; y < ph; y++) {
        const rgba_t *src = exrinput_get_scanline(in.get(), y);
        for (int x = 0; x < pw; x++)
            photo[size_t(y) * pw + x] = src[x];
    }
    exroutput_ptr out(exroutput_new(argv[2], w, h));
    if (!out)
        return 1;
    std::vector<rgba_t> row(w);
    for (int y = 0; y < h; y++) {
        // mirror alternate tiles so no seams show
        int ty = (y / ph) % 2 ? ph - 1 - y % ph : y % ph;
        for (int x = 0; x < w; x++) {
            int tx = (x / pw) % 2 ? pw - 1 - x % pw : x % pw;
            row[x] = photo[size_t(ty) * pw + tx];
        }
        exroutput_write_scanline(out.get(), row.data());
    }
    return exroutput_commit(out.get());
}
