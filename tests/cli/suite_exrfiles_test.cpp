// EXR files as people have them, written by the library itself in every
// layout it makes, through a program that copies its input (radrescale-max
// with a maximum of 1): each is read as the library says its pixels are, its
// colour found where it is, or refused with the reason; damaged and hostile
// files, pipes and other kinds of image end with a message and status 1.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "suite_kit.h"
#include "testkit.h"

using namespace testkit;
using namespace suite;

namespace {

// A photograph crop: real content, as the compressions see it.
image photo_crop(int w, int h)
{
    return crop(read_exr(photograph_path()), 400, 150, w, h);
}

// The copy of path that radrescale-max makes, and its stderr.
run_result copy_exr(const std::string &path, const std::string &out)
{
    return run("radrescale-max", {path, out, "1"});
}

exr_part channels_part(int w, int h, const std::vector<std::string> &names)
{
    exr_part p;
    p.w = w;
    p.h = h;
    for (const std::string &n : names)
        p.channels.push_back({n, std::vector<float>(size_t(w) * h, 0.25f), 1});
    return p;
}

struct layout_case {
    std::string name;
    std::function<void(const std::string &path, const image &img)> write;
    std::string note; // expected on stderr, or "" for none
    bool lossless;    // the pixels are the ones written
};

} // namespace

TEST(SuiteExrFiles, EveryLayoutIsReadWhereItsColourIs)
{
    temp_dir dir;
    const image img = photo_crop(40, 36);
    std::vector<layout_case> cases;
    const char *compressions[] = {"none", "rle", "zips", "zip", "piz", "pxr24", "b44", "b44a", "dwaa", "dwab"};
    for (int c = 0; c < 10; c++)
        cases.push_back({std::string("compression ") + compressions[c],
                         [c](const std::string &path, const image &im) {
                             write_exr_parts(path, {rgba_part(im, "", c)});
                         },
                         "", c <= 4});
    cases.push_back({"float channels", [](const std::string &path, const image &im) {
                         exr_part p = rgba_part(im);
                         for (exr_channel &ch : p.channels)
                             ch.type = 2;
                         write_exr_parts(path, {p});
                     }, "", true});
    cases.push_back({"tiled", [](const std::string &path, const image &im) {
                         exr_part p = rgba_part(im);
                         p.tile = 16;
                         write_exr_parts(path, {p});
                     }, "", true});
    cases.push_back({"decreasing y", [](const std::string &path, const image &im) {
                         exr_part p = rgba_part(im);
                         p.line_order = 1;
                         write_exr_parts(path, {p});
                     }, "", true});
    cases.push_back({"offset data window", [](const std::string &path, const image &im) {
                         exr_part p = rgba_part(im);
                         p.x_min = -7;
                         p.y_min = 300;
                         write_exr_parts(path, {p});
                     }, "", true});
    cases.push_back({"luminance only", [](const std::string &path, const image &im) {
                         write_exr_rgba(path, im, 0x10, 3);
                     }, "", false});
    cases.push_back({"luminance and chroma", [](const std::string &path, const image &im) {
                         write_exr_rgba(path, im, 0x1f, 4);
                     }, "", false});
    cases.push_back({"one layer", [](const std::string &path, const image &im) {
                         exr_part p = rgba_part(im, "beauty.");
                         exr_part z = channels_part(im.w, im.h, {"depth.Z"});
                         p.channels.push_back(z.channels[0]);
                         write_exr_parts(path, {p});
                     }, "no colour channels at the top level; reading layer \"beauty\".", true});
    cases.push_back({"parts, colour in the first", [](const std::string &path, const image &im) {
                         exr_part p = rgba_part(im);
                         p.name = "rgba";
                         exr_part z = channels_part(im.w, im.h, {"Z"});
                         z.name = "depth";
                         write_exr_parts(path, {p, z});
                     }, "", true});
    cases.push_back({"parts, colour in the second", [](const std::string &path, const image &im) {
                         exr_part z = channels_part(im.w, im.h, {"Z"});
                         z.name = "depth";
                         exr_part p = rgba_part(im);
                         p.name = "rgba";
                         write_exr_parts(path, {z, p});
                     }, "part 0 holds no colour channels; reading part 1 (\"rgba\").", true});
    cases.push_back({"parts, tiled layer in the third", [](const std::string &path, const image &im) {
                         exr_part z = channels_part(im.w, im.h, {"Z"});
                         z.name = "depth";
                         exr_part n = channels_part(im.w, im.h, {"N.x", "N.y", "N.z"});
                         n.name = "normals";
                         exr_part p = rgba_part(im, "beauty.", 4);
                         p.name = "light";
                         p.tile = 32;
                         write_exr_parts(path, {z, n, p});
                     }, "part 0 holds no colour channels; reading part 2 (\"light\"), layer \"beauty\".", true});

    for (const layout_case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string in = dir / "in.exr", out = dir / "out.exr";
        c.write(in, img);
        run_result r = copy_exr(in, out);
        ASSERT_EQ(r.status, 0) << r.err;
        if (c.note.empty()) {
            EXPECT_EQ(r.err.find("exrinput"), std::string::npos) << r.err;
        } else {
            EXPECT_NE(r.err.find("exrinput: " + in + ": " + c.note + "\n"), std::string::npos) << r.err;
        }
        image got = read_exr(out);
        // what the library itself says the file holds (for a part other than
        // the first, what was written)
        image want = c.lossless ? img : read_exr(in);
        for (rgba_t &p : want.px)
            p = {half_round(p.r), half_round(p.g), half_round(p.b), half_round(p.a)};
        want.x_min = want.y_min = 0;
        expect_image_near(got, want, 0);
    }
}

// Files made by OpenEXR's own tools (Debian's openexr package, which the
// set-up installs): a mip-mapped tiled file, and a multi-part file combined
// from a depth image and a colour image.
TEST(SuiteExrFiles, FilesFromOpenExrsTools)
{
    if (!exists("/usr/bin/exrmaketiled") || !exists("/usr/bin/exrmultipart"))
        GTEST_SKIP() << "OpenEXR's tools are not installed (tools/setup.sh installs them)";
    temp_dir dir;
    const image img = photo_crop(40, 36);
    write_exr(dir / "colour.exr", img);
    write_exr_parts(dir / "depth.exr", {channels_part(40, 36, {"Z"})});
    ASSERT_EQ(run_command({"/usr/bin/exrmaketiled", "-m", "-t", "16", "16", dir / "colour.exr",
                           dir / "tiled.exr"}).status, 0);
    ASSERT_EQ(run_command({"/usr/bin/exrmultipart", "-combine", "-i", dir / "depth.exr",
                           dir / "colour.exr", "-o", dir / "parts.exr"}).status, 0);
    image want = img;
    for (rgba_t &p : want.px)
        p = {half_round(p.r), half_round(p.g), half_round(p.b), half_round(p.a)};
    for (const char *name : {"tiled.exr", "parts.exr"}) {
        SCOPED_TRACE(name);
        run_result r = copy_exr(dir / name, dir / "out.exr");
        ASSERT_EQ(r.status, 0) << r.err;
        if (std::string(name) == "parts.exr") {
            EXPECT_NE(r.err.find("part 0 holds no colour channels; reading part 1"), std::string::npos)
                << r.err;
        }
        expect_image_near(read_exr(dir / "out.exr"), want, 0);
    }
}

TEST(SuiteExrFiles, ColourThatCannotBeFoundIsRefusedNamingTheChannels)
{
    temp_dir dir;
    const struct {
        std::string name;
        std::vector<exr_part> parts;
        std::string message;
    } cases[] = {
        {"lower-case channels", {channels_part(4, 3, {"r", "g", "b"})},
         "holds no colour channels (R, G, B or Y); its channels: b, g, r."},
        {"depth only", {channels_part(4, 3, {"Z"})},
         "holds no colour channels (R, G, B or Y); its channels: Z."},
        {"two layers",
         {channels_part(4, 3, {"diffuse.R", "diffuse.G", "diffuse.B", "specular.R", "specular.G", "specular.B"})},
         "holds no colour at the top level but several colour layers (diffuse, specular)"},
        {"two colour parts",
         [] {
             std::vector<exr_part> parts = {channels_part(4, 3, {"Z"}), channels_part(4, 3, {"R", "G", "B"}),
                                            channels_part(4, 3, {"R", "G", "B", "A"})};
             for (size_t i = 0; i < parts.size(); i++)
                 parts[i].name = "part" + std::to_string(i);
             return parts;
         }(),
         "holds colour in several parts (1, 2) and none in part 0"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string in = dir / "in.exr", out = dir / "out.exr";
        write_exr_parts(in, c.parts);
        run_result r = copy_exr(in, out);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind("exrinput: " + in + " " + c.message, 0), 0u) << r.err;
        EXPECT_NE(r.err.find("radrescale: Cannot open " + in + ".\n"), std::string::npos) << r.err;
        EXPECT_FALSE(exists(out));
    }
}

namespace {

void put_le32(std::string &bytes, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        bytes[at + i] = char(v >> (8 * i));
}

uint64_t le64(const std::string &bytes, size_t at)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; i--)
        v = v << 8 | (unsigned char)bytes[at + i];
    return v;
}

// Where the offset table of a single-part file of `chunks` chunks starts:
// its first entry points just past it.
size_t offset_table(const std::string &exr, int chunks)
{
    for (size_t at = 0; at + 8 < exr.size(); at++)
        if (le64(exr, at) == at + 8 * size_t(chunks))
            return at;
    ADD_FAILURE() << "no offset table";
    return 0;
}

} // namespace

// Files that are small but declare what cannot be, refused at once and
// with little memory; and files whose chunks cannot be right, which the
// library would read as black without a word: damage, so the output is
// not written.
TEST(SuiteExrFiles, HostileAndSilentlyDamagedFiles)
{
    temp_dir dir;
    image img = photo_crop(64, 64);
    exr_part part = rgba_part(img);
    part.strings = {{"comment", "a note"}};
    write_exr_parts(dir / "plain.exr", {part});
    const std::string plain = slurp(dir / "plain.exr");

    std::string huge = plain;
    size_t at = huge.find(std::string("comment\0string\0", 15));
    ASSERT_NE(at, std::string::npos);
    put_le32(huge, at + 15, 0x7fffffff);
    write_file(dir / "huge-attribute.exr", huge);

    // ZIP chunks of 16 rows: 4 of them
    size_t table = offset_table(plain, 4);
    std::string empty_chunk = plain;
    put_le32(empty_chunk, size_t(le64(plain, table)) + 4, 0); // the first chunk's data size
    write_file(dir / "empty-chunk.exr", empty_chunk);
    std::string zeroed = plain;
    for (size_t i = 0; i < 32; i++)
        zeroed[table + i] = 0;
    write_file(dir / "zeroed-offsets.exr", zeroed);
    std::string wide = plain;
    at = wide.find(std::string("dataWindow\0box2i\0", 17));
    ASSERT_NE(at, std::string::npos);
    put_le32(wide, at + 17 + 4 + 8, 65535); // x_max: 65536 columns
    write_file(dir / "wide.exr", wide);

    const struct {
        std::string file, message;
        bool damaged; // read to the end and not written, rather than refused
    } cases[] = {
        {"huge-attribute.exr", "attribute \"comment\" declares 2147483647 bytes, more than the ", false},
        {"empty-chunk.exr", " of 64 rows could not be read, the first row 0: chunk 0 declares 0 bytes of data", true},
        {"zeroed-offsets.exr", "64 of 64 rows could not be read, the first row 0: chunk 0's offset 0 lies outside the file's data", true},
        {"wide.exr", "64 of 64 rows could not be read, the first row 0: chunk 0 holds ", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        std::string out = dir / "out.exr";
        write_file(out, "earlier\n");
        run_result r = run_measured("radrescale-max", {dir / c.file, out, "1"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("exrinput: " + (dir / c.file) + ": "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(slurp(out), "earlier\n");
        if (c.damaged) {
            EXPECT_NE(r.err.find("radrescale: " + out + " was not written.\n"), std::string::npos) << r.err;
        } else {
            // refused before the size line, at once and in little memory
            // (the library would have reserved the 2 GB first)
            EXPECT_EQ(r.out, "");
            EXPECT_LT(r.seconds, 1.0);
            EXPECT_LT(r.max_rss_kb, 20 * 1024 + runtime_kb) << "kB";
        }
    }
}

// A name in a file can hold escape sequences that would retitle or clear
// the user's terminal through the reader's messages: every name the reader
// prints (channels, layers, parts, attributes, and the library's texts that
// quote them) shows them as \xNN, while the path stays as the user gave it.
TEST(SuiteExrFiles, NamesFromTheFileCannotDriveTheTerminal)
{
    temp_dir dir;
    const std::string title = "\x1b]0;pwned\x07", clear = "\x1b[2J";
    const std::string title_shown = "\\x1b]0;pwned\\x07", clear_shown = "\\x1b[2J";
    const std::string in = dir / "back\\slash.exr", out = dir / "out.exr";
    const std::string both = title + clear, both_shown = title_shown + clear_shown;
    // Rewrites the 32-bit word `skip` bytes after the first `find` in the
    // file.
    auto patched = [&](const std::string &find, size_t skip, uint32_t word) {
        std::string bytes = slurp(in);
        size_t at = bytes.find(find);
        ASSERT_NE(at, std::string::npos);
        put_le32(bytes, at + skip, word);
        write_file(in, bytes);
    };
    const struct {
        std::string name;
        std::function<void()> write;
        int status;
        std::string message;
    } cases[] = {
        {"channel names", [&] { write_exr_parts(in, {channels_part(4, 3, {title, clear})}); }, 1,
         "exrinput: " + in + " holds no colour channels (R, G, B or Y); its channels: " + clear_shown +
             ", " + title_shown + ".\n"},
        {"layer name",
         [&] { write_exr_parts(in, {channels_part(4, 3, {both + ".R", both + ".G", both + ".B"})}); }, 0,
         "exrinput: " + in + ": no colour channels at the top level; reading layer \"" + both_shown +
             "\".\n"},
        {"several layer names",
         [&] { write_exr_parts(in, {channels_part(4, 3, {title + ".R", title + ".G", title + ".B", clear + ".Y"})}); },
         1,
         "exrinput: " + in + " holds no colour at the top level but several colour layers (" +
             clear_shown + ", " + title_shown + ")"},
        {"part and layer names",
         [&] {
             std::vector<exr_part> parts = {channels_part(4, 3, {"Z"}),
                                            channels_part(4, 3, {clear + ".R", clear + ".G", clear + ".B"})};
             parts[0].name = "depth";
             parts[1].name = title;
             write_exr_parts(in, parts);
         },
         0,
         "exrinput: " + in + ": part 0 holds no colour channels; reading part 1 (\"" + title_shown +
             "\"), layer \"" + clear_shown + "\".\n"},
        {"oversized attribute name",
         [&] {
             exr_part part = channels_part(4, 3, {"R", "G", "B"});
             part.strings = {{both, "a note"}};
             write_exr_parts(in, {part});
             patched(both + std::string("\0string\0", 8), both.size() + 8, 0x7fffffff);
         },
         1,
         "exrinput: " + in + ": attribute \"" + both_shown + "\" declares 2147483647 bytes, more than the "},
        {"library's text quoting a channel",
         [&] {
             // a sample type that only the library checks
             write_exr_parts(in, {channels_part(4, 3, {"R", "G", "B", title})});
             patched(title + std::string("\0\x01\0\0\0", 5), title.size() + 1, 7);
         },
         1,
         "exrinput: Cannot read image file \"" + in + "\". Pixel type of \"" + title_shown +
             "\" image channel is invalid.\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        c.write();
        run_result r = run("radbright", {in, out});
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ((r.out + r.err).find_first_of("\x1b\x07"), std::string::npos) << r.err;
    }
}

// An EXR image is read out of order, so a pipe or a FIFO is refused at once
// (never a hang); an image of another kind is named, with how to bring it in.
TEST(SuiteExrFiles, PipesAndOtherKindsOfImageAreRefusedWithTheReason)
{
    temp_dir dir;
    write_exr(dir / "in.exr", photo_crop(8, 6));
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    run_result r = run("radbright", {dir / "fifo", dir / "out.exr"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("exrinput: " + (dir / "fifo") + " is not a file that can be sought in"),
              std::string::npos) << r.err;
    r = run_command({"/bin/bash", "-c", "cat \"$1\" | \"$0\" /dev/stdin \"$2\"", program_path("radbright"),
                     dir / "in.exr", dir / "out.exr"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("exrinput: /dev/stdin is not a file that can be sought in"), std::string::npos)
        << r.err;

    const struct {
        std::string bytes, kind;
    } kinds[] = {
        {"\x89PNG\r\n\x1a\n\0\0\0\rIHDR", "is a PNG image, not OpenEXR; radraster converts it"},
        {"\xff\xd8\xff\xe0\0\x10JFIF", "is a JPEG image, not OpenEXR; radjfif converts it"},
        {"P6\n4 4\n255\n", "is a raw PPM (P6) image, not OpenEXR; radpixmap converts it"},
        {"P5\n4 4\n255\n", "is a netpbm image (P5), not OpenEXR"},
        {"PF\n4 4\n-1.0\n", "is a PFM image, not OpenEXR; convert it to OpenEXR with any converter"},
        {"#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n", "is a Radiance HDR image, not OpenEXR"},
        {std::string("II*\0\x08\0\0\0", 8), "is a TIFF image, not OpenEXR"},
        {std::string("MM\0*\0\0\0\x08", 8), "is a TIFF image, not OpenEXR"},
    };
    for (const auto &k : kinds) {
        write_file(dir / "photo.exr", k.bytes);
        r = run("radbright", {dir / "photo.exr", dir / "out.exr"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind("exrinput: " + (dir / "photo.exr") + " " + k.kind, 0), 0u) << r.err;
        EXPECT_FALSE(exists(dir / "out.exr"));
    }
}

// A path of any length is named whole in the advice that quotes it.
TEST(SuiteExrFiles, AnotherKindOfImageIsNamedByItsWholePath)
{
    temp_dir dir;
    std::string folder = dir.path();
    for (char c : {'d', 'e'}) {
        folder += "/" + std::string(200, c);
        ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    }
    const std::string in = folder + "/" + std::string(620 - folder.size() - 1 - 4, 'f') + ".exr";
    ASSERT_EQ(in.size(), 620u);
    write_file(in, std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    run_result r = run("radbright", {in, dir / "out.exr"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "exrinput: " + in + " is a PNG image, not OpenEXR; radraster converts it (radraster " + in +
                         " photo.exr).\nradbright: Cannot open " + in + ".\n");
}
