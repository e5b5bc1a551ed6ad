// The pixel every row of the suite is made of: four doubles in linear light.
#ifndef RGBA_H
#define RGBA_H

// R, G, B in linear light (1.0 is the white), A as stored in the file.
struct rgba_t {
    double r, g, b, a;
};

#endif
