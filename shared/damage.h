// What a reader learns of its input's data while reading it: rows it could
// not decode, or the decoder's reason when the damage is not a count of
// rows. Each reader keeps one record; the finish step (prog.h) reads them
// all and decides whether the output is committed.
#ifndef DAMAGE_H
#define DAMAGE_H

#include <string>
#include <vector>

struct input_damage {
    const char *module = ""; // the reader, which the summary is printed under
    std::string path;        // the input's path
    int height = 0;          // rows in the image
    int rows = 0;            // rows that could not be read
    int first = -1;          // the first of them
    std::string reason;      // the decoder's words for the first damage
    std::vector<bool> seen;  // rows counted, so that a row read twice counts once

    bool damaged() const { return rows > 0 || !reason.empty(); }

    // Counts row y (0 <= y < height) as unreadable, once however often it
    // is read; the first reason given is kept.
    void add_row(int y, const std::string &why)
    {
        if (seen.size() != size_t(height))
            seen.assign(size_t(height), false);
        if (y < 0 || y >= height || seen[size_t(y)])
            return;
        seen[size_t(y)] = true;
        rows++;
        if (first < 0 || y < first)
            first = y;
        if (reason.empty())
            reason = why;
    }
};

#endif
