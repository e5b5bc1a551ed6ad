// The EXR header walk: attributes read by hand from the file's first bytes,
// the colour located by channel names, and the chosen part's chunks checked
// against the offset table and the sizes the header implies.
#include "exrwalk.h"

#include "printable.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const int32_t exr_magic = 20000630;

int32_t le32(const unsigned char *b)
{
    return int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
}

uint64_t le64(const unsigned char *b)
{
    return uint64_t(uint32_t(le32(b))) | uint64_t(uint32_t(le32(b + 4))) << 32;
}

// Reads a NUL-terminated attribute name or type of at most 255 characters.
bool read_name(FILE *f, char (&name)[256])
{
    for (size_t i = 0; i < sizeof name; i++) {
        int c = getc(f);
        if (c == EOF)
            return false;
        name[i] = char(c);
        if (c == 0)
            return true;
    }
    return false;
}

// printf into a string, for messages that hold a path or a name of any
// length.
__attribute__((format(printf, 1, 2))) std::string format(const char *fmt, ...)
{
    va_list ap, again;
    va_start(ap, fmt);
    va_copy(again, ap);
    int n = vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string s(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0)
        vsnprintf(&s[0], s.size() + 1, fmt, again);
    va_end(again);
    return s;
}

// How another kind of image is brought in, from its first bytes; "" for an
// unknown kind.
std::string other_kind(const unsigned char *b, size_t n, const char *path)
{
    auto starts = [&](const char *magic, size_t len) { return n >= len && memcmp(b, magic, len) == 0; };
    const char *any = "convert it to OpenEXR with any converter (for example oiiotool or "
                      "ImageMagick's convert)";
    if (starts("\x89PNG\r\n\x1a\n", 8))
        return format("is a PNG image, not OpenEXR; radraster converts it (radraster %s photo.exr)", path);
    if (starts("\xff\xd8\xff", 3))
        return format("is a JPEG image, not OpenEXR; radjfif converts it (radjfif %s photo.exr)", path);
    if (starts("P6", 2))
        return format("is a raw PPM (P6) image, not OpenEXR; radpixmap converts it (radpixmap %s photo.exr)", path);
    if (n >= 2 && b[0] == 'P' && (b[1] == 'F' || b[1] == 'f'))
        return format("is a PFM image, not OpenEXR; %s", any);
    if (n >= 2 && b[0] == 'P' && b[1] >= '1' && b[1] <= '7')
        return format("is a netpbm image (P%c), not OpenEXR; make it a raw PPM (P6) with "
                      "netpbm's tools (for example pnmtopnm or pgmtoppm) for radpixmap, or %s", b[1], any);
    if (starts("#?RADIANCE", 10) || starts("#?RGBE", 6))
        return format("is a Radiance HDR image, not OpenEXR; %s", any);
    if (starts("II*\0", 4) || starts("MM\0*", 4))
        return format("is a TIFF image, not OpenEXR; %s", any);
    return "";
}

// Rows in one chunk of a scanline part, by compression; 0 for a
// compression the walk does not know.
int lines_per_chunk(int compression)
{
    switch (compression) {
    case 0: case 1: case 2: return 1;    // none, RLE, ZIPS
    case 3: case 5: return 16;           // ZIP, PXR24
    case 4: case 6: case 7: case 8: return 32; // PIZ, B44, B44A, DWAA
    case 9: return 256;                  // DWAB
    default: return 0;
    }
}

// The channel list attribute: names, and bytes a sample (0 when the channel
// is subsampled, so that rows do not have a fixed size).
void parse_channels(const std::vector<unsigned char> &v, exrwalk_part *part)
{
    size_t at = 0;
    while (at < v.size() && v[at]) {
        size_t end = at;
        while (end < v.size() && v[end])
            end++;
        if (end + 17 > v.size())
            return;
        part->channels.emplace_back(reinterpret_cast<const char *>(&v[at]), end - at);
        const unsigned char *d = &v[end + 1];
        int type = le32(d), xs = le32(d + 8), ys = le32(d + 12);
        part->channel_bytes.push_back(xs == 1 && ys == 1 ? (type == 1 ? 2 : 4) : 0);
        at = end + 17;
    }
}

struct classified {
    enum { none, top, one_layer, several } kind = none;
    std::string layer;
    bool luminance = false; // the colour is Y (with or without chroma), not R, G, B
    std::vector<std::string> layers;
};

// Where a part's colour is: R, G, B or Y at the top level; else a layer
// holding R, G and B, or Y.
classified classify(const exrwalk_part &part)
{
    classified c;
    if (part.deep)
        return c;
    std::set<std::string> names(part.channels.begin(), part.channels.end());
    bool rgb = names.count("R") || names.count("G") || names.count("B");
    if (rgb || names.count("Y")) {
        c.kind = classified::top;
        c.luminance = !rgb;
        return c;
    }
    std::set<std::string> layers;
    for (const std::string &n : part.channels) {
        size_t dot = n.rfind('.');
        if (dot == std::string::npos || dot == 0)
            continue;
        std::string l = n.substr(0, dot);
        bool has_rgb = names.count(l + ".R") && names.count(l + ".G") && names.count(l + ".B");
        if (has_rgb || names.count(l + ".Y"))
            layers.insert(l);
    }
    c.layers.assign(layers.begin(), layers.end());
    if (c.layers.size() == 1) {
        c.kind = classified::one_layer;
        c.layer = c.layers[0];
        c.luminance = !names.count(c.layer + ".R");
    } else if (c.layers.size() > 1) {
        c.kind = classified::several;
    }
    return c;
}

// The first few of a list, for a message; the names come from the file and
// are made printable.
std::string first_few(const std::vector<std::string> &names)
{
    std::string s;
    for (size_t i = 0; i < names.size() && i < 8; i++)
        s += (i ? ", " : "") + printable(names[i]);
    if (names.size() > 8)
        s += ", ...";
    return s.empty() ? "none" : s;
}

// Reads the attributes of one header up to its terminating NUL. Returns
// EXRWALK_OK, EXRWALK_UNKNOWN when the header cannot be walked, or
// EXRWALK_REFUSED after a message for an impossible size.
exrwalk_result read_header(FILE *f, long long file_size, const char *path, exrwalk_part *part)
{
    char name[256], type[256];
    unsigned char size_bytes[4];
    for (;;) {
        if (!read_name(f, name))
            return EXRWALK_UNKNOWN;
        if (!name[0])
            return EXRWALK_OK;
        if (!read_name(f, type) || fread(size_bytes, 1, 4, f) != 4)
            return EXRWALK_UNKNOWN;
        int32_t size = le32(size_bytes);
        long long left = file_size - ftell(f);
        if (size < 0 || size > left) {
            fprintf(stderr, "exrinput: %s: attribute \"%s\" declares %d bytes, more than the %lld left in the file.\n",
                    path, printable(name).c_str(), int(size), left < 0 ? 0 : left);
            return EXRWALK_REFUSED;
        }
        bool known = !strcmp(name, "dataWindow") || !strcmp(name, "channels") ||
                     !strcmp(name, "compression") || !strcmp(name, "type") ||
                     !strcmp(name, "chunkCount") || !strcmp(name, "name") || !strcmp(name, "tiles");
        if (!known) {
            if (fseek(f, size, SEEK_CUR) != 0)
                return EXRWALK_UNKNOWN;
            continue;
        }
        std::vector<unsigned char> v(size_t(size) + 1, 0);
        if (fread(v.data(), 1, size_t(size), f) != size_t(size))
            return EXRWALK_UNKNOWN;
        if (!strcmp(name, "dataWindow") && !strcmp(type, "box2i") && size == 16) {
            for (int i = 0; i < 4; i++)
                part->box[i] = le32(&v[4 * i]);
            part->has_box = true;
        } else if (!strcmp(name, "channels") && !strcmp(type, "chlist")) {
            v.pop_back();
            parse_channels(v, part);
        } else if (!strcmp(name, "compression") && size == 1) {
            part->compression = v[0];
        } else if (!strcmp(name, "tiles")) {
            part->tiled = true;
            if (size >= 8)
                part->tile[0] = le32(&v[0]), part->tile[1] = le32(&v[4]);
        } else if (!strcmp(name, "type") && !strcmp(type, "string")) {
            std::string t(reinterpret_cast<const char *>(v.data()), size_t(size));
            part->tiled = t == "tiledimage" || t == "deeptile";
            part->deep = t.compare(0, 4, "deep") == 0;
        } else if (!strcmp(name, "chunkCount") && size == 4) {
            part->chunk_count = le32(v.data());
        } else if (!strcmp(name, "name") && !strcmp(type, "string")) {
            part->name.assign(reinterpret_cast<const char *>(v.data()), size_t(size));
        }
    }
}

// Whether the data window is one the reader accepts; prints the reason when
// it is not.
bool acceptable_window(const char *path, const int box[4], int max_side)
{
    int64_t width = int64_t(box[2]) - box[0] + 1, height = int64_t(box[3]) - box[1] + 1;
    if (width < 1 || height < 1) {
        fprintf(stderr, "exrinput: Invalid data window in %s.\n", path);
        return false;
    }
    // A hostile header can announce any size; refuse what no photograph
    // needs before the library allocates rows for it.
    if (width > max_side || height > max_side) {
        fprintf(stderr, "exrinput: Image size %lldx%lld in %s is beyond %d pixels a side.\n",
                (long long)width, (long long)height, path, max_side);
        return false;
    }
    return true;
}

// Decides which part and layer hold the colour. Prints the note or the
// refusal.
bool locate_colour(const char *path, exrwalk_file *file)
{
    classified first = classify(file->parts[0]);
    if (first.kind == classified::top)
        return true;
    if (first.kind == classified::one_layer) {
        file->layer = first.layer;
        fprintf(stderr, "exrinput: %s: no colour channels at the top level; reading layer \"%s\".\n",
                path, printable(first.layer).c_str());
        return true;
    }
    if (first.kind == classified::several) {
        fprintf(stderr, "exrinput: %s holds no colour at the top level but several colour layers "
                "(%s); extract the one wanted with an EXR tool first.\n", path,
                first_few(first.layers).c_str());
        return false;
    }
    std::vector<int> candidates;
    for (size_t i = 1; i < file->parts.size(); i++)
        if (classify(file->parts[i]).kind != classified::none)
            candidates.push_back(int(i));
    if (candidates.size() == 1) {
        int p = candidates[0];
        classified c = classify(file->parts[size_t(p)]);
        if (c.kind == classified::one_layer || c.kind == classified::top) {
            if (c.luminance) {
                fprintf(stderr, "exrinput: %s: part %d holds luminance and chroma channels, which "
                        "the suite reads only in the first part.\n", path, p);
                return false;
            }
            file->part = p;
            file->layer = c.layer;
            std::string what = "part " + std::to_string(p);
            if (!file->parts[size_t(p)].name.empty())
                what += " (\"" + printable(file->parts[size_t(p)].name) + "\")";
            if (!c.layer.empty())
                what += ", layer \"" + printable(c.layer) + "\"";
            fprintf(stderr, "exrinput: %s: part 0 holds no colour channels; reading %s.\n", path,
                    what.c_str());
            return true;
        }
    }
    if (candidates.size() > 1) {
        std::vector<std::string> numbers;
        for (int p : candidates)
            numbers.push_back(std::to_string(p));
        fprintf(stderr, "exrinput: %s holds colour in several parts (%s) and none in part 0; "
                "extract the one wanted with an EXR tool first.\n", path, first_few(numbers).c_str());
        return false;
    }
    std::vector<std::string> all;
    for (const exrwalk_part &part : file->parts)
        for (const std::string &n : part.channels)
            if (std::find(all.begin(), all.end(), n) == all.end())
                all.push_back(n);
    fprintf(stderr, "exrinput: %s holds no colour channels (R, G, B or Y); its channels: %s.\n",
            path, first_few(all).c_str());
    return false;
}

// Checks every chunk of the chosen scanline part: its offset must lie in
// the file's data, its header must name its own rows (and part), and its
// data size must be possible for the rows it holds. Chunks that fail are
// recorded, so that their rows count as damage even where the library would
// read them as black without a word.
void check_chunks(int fd, long long file_size, long long tables_at, exrwalk_file *file)
{
    const exrwalk_part &part = file->parts[size_t(file->part)];
    int lpc = lines_per_chunk(part.compression);
    if (part.tiled || part.deep || !lpc)
        return;
    long long table = tables_at, tables_end = tables_at;
    for (size_t i = 0; i < file->parts.size(); i++) {
        const exrwalk_part &p = file->parts[i];
        long long count = p.chunk_count;
        if (!file->multipart) {
            count = (int64_t(p.box[3]) - p.box[1] + lpc) / lpc;
        } else if (count < 0) {
            return;
        }
        if (int(i) < file->part)
            table += 8 * count;
        tables_end += 8 * count;
    }
    const int w = part.box[2] - part.box[0] + 1, h = part.box[3] - part.box[1] + 1;
    const int chunks = (h + lpc - 1) / lpc;
    long long pixel_bytes = 0;
    for (int b : part.channel_bytes)
        pixel_bytes = b && pixel_bytes >= 0 ? pixel_bytes + b : -1;
    const int head = file->multipart ? 12 : 8;
    for (int i = 0; i < chunks; i++) {
        int first = i * lpc, rows = std::min(lpc, h - first);
        std::string why;
        unsigned char entry[8], ch[12];
        if (pread(fd, entry, 8, table + 8LL * i) != 8) {
            // and so before every later chunk's: one range for them all,
            // not one read and one record a chunk for a header that claims
            // a million rows in a file of a few bytes
            why = format("the offset table ends before chunk %d's entry", i);
            rows = h - first;
            i = chunks;
        } else {
            uint64_t at = le64(entry);
            if (at < uint64_t(tables_end) || at + head > uint64_t(file_size)) {
                why = format("chunk %d's offset %llu lies outside the file's data", i,
                             (unsigned long long)at);
            } else if (pread(fd, ch, size_t(head), off_t(at)) != head) {
                why = format("chunk %d cannot be read", i);
            } else {
                const unsigned char *c = ch;
                if (file->multipart && le32(c) != file->part) {
                    why = format("chunk %d names part %d", i, int(le32(c)));
                } else {
                    c += file->multipart ? 4 : 0;
                    int y = le32(c), size = le32(c + 4);
                    long long raw = pixel_bytes > 0 ? pixel_bytes * w * rows : -1;
                    if (int64_t(y) != int64_t(part.box[1]) + first)
                        why = format("chunk %d says it starts at row %d, not %d", i, y,
                                     part.box[1] + first);
                    else if (size <= 0)
                        why = format("chunk %d declares %d bytes of data", i, size);
                    else if (at + head + uint64_t(size) > uint64_t(file_size))
                        why = format("chunk %d's %d bytes run past the end of the file", i, size);
                    else if (raw > 0 && size > raw)
                        why = format("chunk %d holds %d bytes, more than its rows' %lld uncompressed",
                                     i, size, raw);
                    else if (raw > 0 && part.compression == 0 && size != raw)
                        why = format("chunk %d holds %d bytes, not its rows' %lld", i, size, raw);
                    // deflate expands at most 1032-fold, so a ZIP chunk far
                    // smaller than that share of its rows was written for a
                    // narrower image
                    else if (raw > 0 && (part.compression == 2 || part.compression == 3) &&
                             size * 1033LL + 4096 < raw)
                        why = format("chunk %d holds %d bytes, too few for its rows' %lld even compressed",
                                     i, size, raw);
                }
            }
        }
        if (why.empty())
            continue;
        // a run of bad chunks is one record, with the first one's reason
        std::vector<exrwalk_bad_chunk> &bad = file->bad_chunks;
        if (!bad.empty() && bad.back().first_row + bad.back().rows == first)
            bad.back().rows += rows;
        else
            bad.push_back({first, rows, why});
    }
}

} // namespace

exrwalk_result exrwalk(const char *path, int max_side, exrwalk_file *file)
{
    struct stat st;
    if (stat(path, &st) != 0 || S_ISDIR(st.st_mode))
        return EXRWALK_UNKNOWN; // the library says why
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
        fprintf(stderr, "exrinput: %s is not a file that can be sought in (a pipe, a FIFO or a "
                "terminal); an EXR image is read out of order, so save it to a file first.\n", path);
        return EXRWALK_REFUSED;
    }
    FILE *f = fopen(path, "rb");
    if (!f)
        return EXRWALK_UNKNOWN;
    long long file_size = st.st_size;
    if (S_ISBLK(st.st_mode) && fseek(f, 0, SEEK_END) == 0) {
        file_size = ftell(f);
        rewind(f);
    }
    unsigned char head[16];
    size_t n = fread(head, 1, sizeof head, f);
    exrwalk_result result = EXRWALK_UNKNOWN;
    if (n >= 8 && le32(head) == exr_magic && head[4] == 2) {
        uint32_t flags = uint32_t(le32(head + 4));
        file->multipart = flags & 0x1000;
        fseek(f, 8, SEEK_SET);
        result = EXRWALK_OK;
        do {
            exrwalk_part part;
            part.tiled = flags & 0x200;
            part.deep = flags & 0x800;
            result = read_header(f, file_size, path, &part);
            if (result != EXRWALK_OK)
                break;
            file->parts.push_back(part);
            if (file->multipart) {
                int c = getc(f);
                if (c == 0 || c == EOF)
                    break; // the empty header ending the list
                ungetc(c, f);
            }
        } while (file->multipart);
        for (size_t i = 0; result == EXRWALK_OK && i < file->parts.size(); i++) {
            const exrwalk_part &p = file->parts[i];
            if (!p.has_box) {
                result = EXRWALK_UNKNOWN;
            } else if (!acceptable_window(path, p.box, max_side)) {
                result = EXRWALK_REFUSED;
            } else if (file->multipart && (p.chunk_count < 0 || p.chunk_count > file_size / 8)) {
                // the library reserves the offset table by this count
                fprintf(stderr, "exrinput: %s: attribute \"chunkCount\" declares %d chunks, more "
                        "than the file's %lld bytes could index.\n", path, p.chunk_count, file_size);
                result = EXRWALK_REFUSED;
            } else if (p.tiled && (p.tile[0] < 1 || p.tile[1] < 1 || p.tile[0] > max_side ||
                                   p.tile[1] > max_side || int64_t(p.tile[0]) * p.tile[1] > (1 << 24))) {
                // and its tile buffers by this size
                fprintf(stderr, "exrinput: %s: attribute \"tiles\" declares tiles of %ux%u pixels.\n",
                        path, unsigned(p.tile[0]), unsigned(p.tile[1]));
                result = EXRWALK_REFUSED;
            }
        }
        if (result == EXRWALK_OK && !file->parts.empty()) {
            long long tables_at = ftell(f);
            if (!locate_colour(path, file))
                result = EXRWALK_REFUSED;
            else
                check_chunks(fileno(f), file_size, tables_at, file);
        } else if (result == EXRWALK_OK) {
            result = EXRWALK_UNKNOWN;
        }
    } else {
        std::string kind = other_kind(head, n, path);
        if (!kind.empty()) {
            fprintf(stderr, "exrinput: %s %s.\n", path, kind.c_str());
            result = EXRWALK_REFUSED;
        }
    }
    fclose(f);
    return result;
}
