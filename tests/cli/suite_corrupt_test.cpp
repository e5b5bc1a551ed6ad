// Damaged and hostile input files through the programs that read them: each
// run ends with a message and status 1, no crash and no hang, and no output.
// A file whose header is readable but whose data is damaged is read to its
// end, its reader sums the damage up in one line and the output is not
// written; a header announcing an impossible or enormous size is refused at
// once, before any output exists.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>

#include "suite_kit.h"
#include "test_fixtures.h"
#include "testkit.h"

using namespace testkit;
using namespace suite;

namespace {

void put_le32(std::string &bytes, size_t at, int32_t v)
{
    for (int i = 0; i < 4; i++)
        bytes[at + i] = char(uint32_t(v) >> (8 * i));
}

uint32_t le32(const std::string &bytes, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; i--)
        v = v << 8 | (unsigned char)bytes[at + i];
    return v;
}

uint64_t le64(const std::string &bytes, size_t at)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; i--)
        v = v << 8 | (unsigned char)bytes[at + i];
    return v;
}

void put_be32(std::string &bytes, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        bytes[at + i] = char(v >> (8 * (3 - i)));
}

// The CRC of a PNG chunk (ISO 3309, as PNG defines it).
uint32_t png_crc(const std::string &bytes)
{
    uint32_t c = 0xffffffffu;
    for (unsigned char b : bytes) {
        c ^= b;
        for (int k = 0; k < 8; k++)
            c = c & 1 ? 0xedb88320u ^ (c >> 1) : c >> 1;
    }
    return c ^ 0xffffffffu;
}

// An EXR whose data window is patched to (x_min, 0)-(x_max, h - 1).
std::string with_data_window(std::string exr, int x_min, int x_max)
{
    const std::string attr("dataWindow\0box2i\0", 17);
    size_t at = exr.find(attr);
    EXPECT_NE(at, std::string::npos);
    at += attr.size() + 4; // past the attribute's size
    put_le32(exr, at, x_min);
    put_le32(exr, at + 8, x_max);
    return exr;
}

// An EXR whose data window is patched to end at row h - 1.
std::string with_height(std::string exr, int h)
{
    const std::string attr("dataWindow\0box2i\0", 17);
    size_t at = exr.find(attr);
    EXPECT_NE(at, std::string::npos);
    put_le32(exr, at + attr.size() + 4 + 12, h - 1);
    return exr;
}

// Where an EXR's chunk offset table of `chunks` entries starts: just before
// the first chunk, which its first entry points to.
size_t offset_table(const std::string &exr, int chunks)
{
    for (size_t at = 0; at + 8 < exr.size(); at++)
        if (le64(exr, at) == at + 8 * size_t(chunks))
            return at;
    ADD_FAILURE() << "no offset table";
    return 0;
}

// An EXR whose chunk offset table is overwritten with garbage.
std::string with_damaged_offsets(std::string exr, int chunks)
{
    size_t at = offset_table(exr, chunks);
    for (size_t i = 0; i < 8 * size_t(chunks); i++)
        exr[at + i] = char(0x5a ^ i);
    return exr;
}

// An EXR with bit rot inside one chunk: a few bytes in the middle of its
// compressed data inverted, its offset and its size left as they were, so
// that only decoding the chunk finds the damage.
std::string with_bit_rot(std::string exr, int chunks, int chunk)
{
    size_t at = size_t(le64(exr, offset_table(exr, chunks) + 8 * size_t(chunk)));
    uint32_t size = le32(exr, at + 4); // after the chunk's row number
    for (size_t i = 0; i < 4; i++)
        exr[at + 8 + size / 2 + i] ^= char(0xff);
    return exr;
}

// A PNG with its IHDR size replaced, the chunk's CRC made right again.
std::string with_png_size(std::string png, uint32_t w, uint32_t h)
{
    put_be32(png, 16, w);
    put_be32(png, 20, h);
    put_be32(png, 29, png_crc(png.substr(12, 17)));
    return png;
}

struct corrupt_case {
    std::string file;    // fixture in the test's directory
    std::string program; // converts it to out.exr
    int status;
    std::string message; // expected on stderr
    int out_w, out_h;    // the output's size when it is completed, else 0
};

} // namespace

TEST(SuiteCorrupt, DamagedAndHostileFilesEndAsSettled)
{
    temp_dir dir;
    // EXR: 64 x 64 noise in ZIP chunks of 16 rows.
    write_exr(dir / "whole.exr", noise(64, 64));
    std::string exr = slurp(dir / "whole.exr");
    write_file(dir / "truncated.exr", exr.substr(0, exr.size() * 2 / 3));
    write_file(dir / "offsets.exr", with_damaged_offsets(exr, 4));
    write_file(dir / "wide.exr", with_data_window(exr, 0, (1 << 30) - 1));
    write_file(dir / "inverted.exr", with_data_window(exr, 10, 4));
    // found by fuzzing: the library sizes its line buffers by the data
    // window when opening, so such a width must be refused before that
    write_file(dir / "wider.exr", with_data_window(exr, 0, 16318466));
    write_file(dir / "text.exr", "not an image\n");
    write_file(dir / "empty.exr", "");

    // PNG: 32 x 32 RGBA noise.
    fixtures::png_image img;
    img.w = img.h = 32;
    img.colour_type = 6;
    unsigned seed = 1;
    for (int i = 0; i < 32 * 32 * 4; i++)
        img.rows.push_back((unsigned char)((seed = seed * 1103515245 + 12345) >> 16));
    ASSERT_TRUE(fixtures::write_png(dir / "whole.png", img));
    std::string png = slurp(dir / "whole.png");
    size_t idat = png.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    std::string bad_crc = png;
    size_t idat_end = idat + 4 + (size_t(uint8_t(png[idat - 2])) << 8 | uint8_t(png[idat - 1]));
    bad_crc[idat_end] ^= 0x01;
    write_file(dir / "crc.png", bad_crc);
    write_file(dir / "cut.png", png.substr(0, idat + 4 + (idat_end - idat - 4) / 2));
    // RGBA 16-bit rows of 2^29 pixels: 2^32 bytes, past 32 bits.
    std::string wide_png = png;
    wide_png[24] = 16;
    write_file(dir / "rowbytes.png", with_png_size(wide_png, 1u << 29, 2));

    // JPEG: 64 x 64 noise; cut in the middle of its scan, or under a frame
    // header announcing four times the rows its data holds.
    std::vector<unsigned char> ycc(64 * 64 * 3);
    for (auto &v : ycc)
        v = (unsigned char)((seed = seed * 1103515245 + 12345) >> 16);
    ASSERT_TRUE(fixtures::write_jpeg_ycbcr(dir / "whole.jpg", 64, 64, ycc));
    std::string jpg = slurp(dir / "whole.jpg");
    write_file(dir / "cut.jpg", jpg.substr(0, jpg.size() * 2 / 3));
    size_t sof = jpg.find("\xff\xc0");
    ASSERT_NE(sof, std::string::npos);
    std::string taller = jpg;
    taller[sof + 5] = 1; // height 256
    taller[sof + 6] = 0;
    write_file(dir / "taller.jpg", taller);

    // PPM: a raster cut short, header lines of 5000 characters (a comment is
    // skipped whole; anything else is no size line), a header of 10^10 pixels.
    write_file(dir / "short.ppm", "P6\n8 4\n255\n" + std::string(40, '\x80'));
    write_file(dir / "comment.ppm", "P6\n#" + std::string(5000, 'c') + "\n2 1\n255\n" +
                                        std::string(6, '\x40'));
    write_file(dir / "junk.ppm", "P6\n" + std::string(5000, '7') + "\n2 1\n255\n" +
                                     std::string(6, '\x40'));
    write_file(dir / "huge.ppm", "P6\n100000 100000\n255\n" + std::string(64, '\x10'));

    // raw: 100 bytes of the 1.5 MB grid.
    write_file(dir / "short.raw", std::string(100, '\x3f'));

    const corrupt_case cases[] = {
        {"truncated.exr", "radbright", 1,
         ": 32 of 64 rows could not be read, the first row 32: chunk 2's ", 0, 0},
        {"offsets.exr", "radbright", 1, ": 64 of 64 rows could not be read, the first row 0: ", 0, 0},
        {"wide.exr", "radbright", 1, "exrinput: ", 0, 0},
        {"wider.exr", "radbright", 1, "exrinput: Image size 16318467x64 in ", 0, 0},
        {"inverted.exr", "radbright", 1, "exrinput: ", 0, 0},
        {"text.exr", "radbright", 1, "exrinput: ", 0, 0},
        {"empty.exr", "radbright", 1, "exrinput: ", 0, 0},
        {"crc.png", "radraster", 1, "IDAT: CRC error", 0, 0},
        {"cut.png", "radraster", 1, "radraster: Cannot open", 0, 0},
        {"rowbytes.png", "radraster", 1, "pnginput: ", 0, 0},
        {"cut.jpg", "radjfif", 1, "cut.jpg: Premature end of JPEG file", 0, 0},
        {"taller.jpg", "radjfif", 1, "taller.jpg: Corrupt JPEG data", 0, 0},
        {"short.ppm", "radpixmap", 1, "3 of 4 rows could not be read, the first row 1", 0, 0},
        {"comment.ppm", "radpixmap", 0, "radpixmap: Done (min 64, max 64).", 2, 1},
        {"junk.ppm", "radpixmap", 1, "is not a valid ppm file.", 0, 0},
        {"huge.ppm", "radpixmap", 1, "100000x100000 image is too large.", 0, 0},
        {"short.raw", "radraster-raw", 1, "holds 100 bytes", 0, 0},
    };
    for (const corrupt_case &c : cases) {
        std::string out = dir / (c.file + ".out.exr");
        auto start = std::chrono::steady_clock::now();
        run_result r = run(c.program, {dir / c.file, out});
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(r.status, c.status) << c.file << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.file << "\n" << r.err;
        EXPECT_LT(seconds, 20) << c.file;
        if (c.out_w == 0) {
            EXPECT_FALSE(exists(out)) << c.file << "\n" << r.err;
            continue;
        }
        image got = read_exr(out);
        EXPECT_EQ(got.w, c.out_w) << c.file;
        EXPECT_EQ(got.h, c.out_h) << c.file;
    }
    // nothing but the fixtures and the completed outputs
    for (const std::string &name : names_in(dir.path()))
        EXPECT_NE(name[0], '.') << name;
}

// Damage counted row by row. Bit rot inside one ZIP chunk of 16 rows (its
// offset and size intact, so that only decoding finds it) costs exactly
// those rows, counted once however many passes read them (radclamp reads
// its input three times). A PPM raster missing whole, ending inside a row
// or short by its last byte costs the rows it leaves unfilled. The summary
// gives the count, the output is not written, and a target already there
// is left as it was.
TEST(SuiteCorrupt, DamagedRowsAreCountedExactly)
{
    temp_dir dir;
    write_exr(dir / "whole.exr", noise(64, 64));
    write_file(dir / "rot.exr", with_bit_rot(slurp(dir / "whole.exr"), 4, 1));
    // 8 x 4 pixels: rows of 24 bytes.
    const std::string header = "P6\n8 4\n255\n", raster(96, '\x80');
    write_file(dir / "no-raster.ppm", header);
    write_file(dir / "mid-row.ppm", header + raster.substr(0, 2 * 24 + 10));
    write_file(dir / "last-byte.ppm", header + raster.substr(0, 95));
    write_exr(dir / "before.exr", uniform(2, 2, {0.5, 0.25, 0.125, 1}));
    const std::string before = slurp(dir / "before.exr");

    // the library's words, up to its reason (a zlib failure)
    const std::string rot = "exrinput: " + (dir / "rot.exr") +
                            ": 16 of 64 rows could not be read, the first row 16: Error reading "
                            "pixel data from image file \"" + (dir / "rot.exr") + "\". ";
    auto ppm = [&](const std::string &file, const std::string &damage) {
        return "ppminput: " + (dir / file) + ": " + damage + ": the file ends there\n";
    };
    const struct {
        const char *file, *program;
        std::string summary; // the whole line, or its start for the library's words
    } cases[] = {
        {"rot.exr", "radbright", rot},
        {"rot.exr", "radclamp", rot},
        {"no-raster.ppm", "radpixmap",
         ppm("no-raster.ppm", "4 of 4 rows could not be read, the first row 0")},
        {"mid-row.ppm", "radpixmap",
         ppm("mid-row.ppm", "2 of 4 rows could not be read, the first row 2")},
        {"last-byte.ppm", "radpixmap",
         ppm("last-byte.ppm", "1 of 4 rows could not be read, the first row 3")},
    };
    for (const auto &c : cases) {
        const std::string out = dir / "target.exr";
        write_file(out, before);
        run_result r = run(c.program, {dir / c.file, out});
        EXPECT_EQ(r.status, 1) << c.program << " " << c.file;
        EXPECT_NE(r.err.find("\n" + c.summary), std::string::npos) << c.program << "\n" << r.err;
        const std::string last = std::string(c.program) + ": " + out + " was not written.\n";
        EXPECT_EQ(r.err.substr(r.err.size() - std::min(r.err.size(), last.size())), last) << r.err;
        EXPECT_EQ(r.err.find("Done"), std::string::npos) << c.program << "\n" << r.err;
        EXPECT_TRUE(slurp(out) == before) << "the target changed: " << c.program << " " << c.file;
    }
}

// Tiny files whose headers declare gigabytes: a PNG text chunk of 2 GB
// (libpng would reserve and clear it before finding the file ends),
// progressive JPEGs of 37904 x 56072 pixels, whose coefficients alone would
// take 12.7 GB, and EXR data windows 64 pixels wide and 2^30 rows tall
// (whose chunk table alone would take gigabytes to walk) or one row past
// the 2^20 the reader takes, or just the 2^20 in a few hundred bytes. Each
// is refused at once, for little more
// memory than a valid file of a few blocks takes. The PNG bound is exact:
// 4096 bytes may inflate to the 1032 x 4096 bytes of 1031 x 4096 grey rows
// (each with its filter byte) but not to one row more; the file that passes
// it then ends where libpng looks for image data.
TEST(SuiteCorrupt, HostileSizesInTinyFilesAreRefusedCheaply)
{
    temp_dir dir;
    fixtures::png_image img;
    img.w = img.h = 8;
    img.rows.assign(8 * 8 * 3, 100);
    ASSERT_TRUE(fixtures::write_png(dir / "whole.png", img));
    const std::string png = slurp(dir / "whole.png");
    // A chunk declaring 0x7fff0000 bytes, a few of them present, after IHDR.
    auto with_chunk = [&](const std::string &type, const std::string &data) {
        std::string chunk = std::string("\x7f\xff\x00\x00", 4) + type + data;
        return png.substr(0, 33) + chunk + png.substr(33);
    };
    write_file(dir / "text.png", with_chunk("tEXt", std::string("Comment\0hello", 13)));
    write_file(dir / "ztxt.png", with_chunk("zTXt", std::string("Comment\0\0\x78\x9c", 11)));
    write_file(dir / "itxt.png", with_chunk("iTXt", std::string("Comment\0\0\0\0\0hello", 17)));
    // 8-bit grey headers padded with a text chunk to a file of 4096 bytes.
    for (unsigned h : {4096u, 4097u}) {
        const std::string name = h == 4096 ? "at-bound.png" : "above-bound.png";
        ASSERT_TRUE(fixtures::write_png_header_only(dir / name, 1031, h, 8, 0));
        const std::string text =
            "tEXt" + std::string("Comment\0", 8) + std::string(4096 - 33 - 12 - 8, 'x');
        std::string chunk(4, '\0');
        put_be32(chunk, 0, uint32_t(text.size() - 4));
        chunk += text + std::string(4, '\0');
        put_be32(chunk, chunk.size() - 4, png_crc(text));
        write_file(dir / name, slurp(dir / name) + chunk);
        ASSERT_EQ(slurp(dir / name).size(), 4096u);
    }

    write_exr(dir / "small.exr", noise(64, 64));
    const std::string exr = slurp(dir / "small.exr");
    write_file(dir / "tall.exr", with_height(exr, 1 << 30));
    write_file(dir / "taller.exr", with_height(exr, (1 << 20) + 1));
    // 2^20 rows, the most the reader takes, one to a chunk (no compression),
    // in a file that holds the first 16: a million chunks with no entry in
    // the offset table, which must not cost a read and a record each
    write_exr_parts(dir / "rows.exr", {rgba_part(noise(1, 16), "", 0)});
    write_file(dir / "rows.exr", with_height(slurp(dir / "rows.exr"), 1 << 20));

    std::vector<unsigned char> ycc(16 * 16 * 3);
    unsigned seed = 9;
    for (auto &v : ycc)
        v = (unsigned char)((seed = seed * 1103515245 + 12345) >> 16);
    ASSERT_TRUE(fixtures::write_jpeg_ycbcr(dir / "whole.jpg", 16, 16, ycc));
    for (bool arithmetic : {false, true}) {
        const std::string name = arithmetic ? "arith.jpg" : "progressive.jpg";
        ASSERT_TRUE(fixtures::write_jpeg_progressive(dir / name, 16, 16, ycc, arithmetic));
        std::string jpg = slurp(dir / name);
        size_t sof = jpg.find(arithmetic ? "\xff\xca" : "\xff\xc2");
        ASSERT_NE(sof, std::string::npos);
        jpg.replace(sof + 5, 4, "\xdb\x08\x94\x10"); // height 56072, width 37904
        write_file(dir / name, jpg);
    }

    const struct {
        const char *file, *program, *baseline;
        std::string message;
        long library_kb = 0; // what the EXR library itself takes for the rows declared
    } cases[] = {
        {"text.png", "radraster", "whole.png", "libpng error: Read Error\n"},
        {"ztxt.png", "radraster", "whole.png", "libpng error: Read Error\n"},
        {"itxt.png", "radraster", "whole.png", "libpng error: Read Error\n"},
        {"progressive.jpg", "radjfif", "whole.jpg",
         ": 37904x56072 image is larger than its file can hold.\n"},
        {"arith.jpg", "radjfif", "whole.jpg", ": 37904x56072 image needs more than 4096 MiB to decode.\n"},
        {"above-bound.png", "radraster", "whole.png",
         "pnginput: " + (dir / "above-bound.png") +
             ": 1031x4097 image is larger than its file can hold.\n"},
        {"at-bound.png", "radraster", "whole.png", "libpng error: Read Error\n"},
        {"tall.exr", "radbright", "small.exr",
         "exrinput: Image size 64x1073741824 in " + (dir / "tall.exr") +
             " is beyond 1048576 pixels a side.\n"},
        {"taller.exr", "radbright", "small.exr",
         "exrinput: Image size 64x1048577 in " + (dir / "taller.exr") +
             " is beyond 1048576 pixels a side.\n"},
        // three 8-byte tables a row before it reads the offsets
        {"rows.exr", "radbright", "small.exr", "Early end of file", 24 * 1024},
    };
    for (const auto &c : cases) {
        const std::string prog = program_path(c.program);
        run_cost base, cost;
        run_result r = run_shell(prog + " " + (dir / c.baseline) + " " + (dir / "whole.exr"), &base);
        ASSERT_EQ(r.status, 0) << r.err;
        r = run_shell(prog + " " + (dir / c.file) + " " + (dir / "out.exr"), &cost);
        EXPECT_EQ(r.status, 1) << c.file;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.file << "\n" << r.err;
        EXPECT_LT(cost.max_rss_kb, base.max_rss_kb + c.library_kb + 20 * 1024) << c.file;
        EXPECT_LT(cost.seconds, 10) << c.file;
        EXPECT_FALSE(exists(dir / "out.exr")) << c.file;
    }
}
