// The scanning pass of radrescale and radrescale-max.
#include "rescale.h"

#include <initializer_list>

#include "prog.h"

rescale_range rescale_scan(const char *prog, exrinput_t *in)
{
    rescale_range st;
    int w = exrinput_get_width(in);
    prog_scan(prog, in, "Scanning", 10, [&](const rgba_t *row, int) {
        for (int x = 0; x < w; x++) {
            if (!rgba_finite(row[x]))
                continue;
            for (double v : {row[x].r, row[x].g, row[x].b}) {
                if (v > 0 && v < st.min)
                    st.min = v;
                if (v > st.max)
                    st.max = v;
                if (v > st.max_any)
                    st.max_any = v;
            }
        }
    });
    return st;
}
