// Files made by real encoders (netpbm's pnmtopng, pamtopng and pnmtojpeg,
// libjpeg-turbo's cjpeg and jpegtran, exiftool) through the converters,
// every pixel compared with what the format says it is: the PNM samples the
// PNG was made from, djpeg's decoded samples, netpbm's own reading of a PPM
// header. A row whose tool is missing is skipped; tools/setup.sh installs
// them all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "suite_kit.h"
#include "test_fixtures.h"
#include "testkit.h"

using namespace testkit;

namespace {

// Whether every tool named is on the PATH.
bool have(std::initializer_list<const char *> tools)
{
    for (const char *t : tools)
        if (suite::run_shell(std::string("command -v ") + t + " >/dev/null").status != 0)
            return false;
    return true;
}

// Runs a shell command; a failure fails the test.
bool sh(const std::string &script)
{
    run_result r = suite::run_shell(script);
    EXPECT_EQ(r.status, 0) << script << "\n" << r.err;
    return r.status == 0;
}

double srgb(double v)
{
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

// The program's conversion of Y, Cb, Cr (written out here as the oracle).
rgba_t jfif(unsigned Y, unsigned Cb, unsigned Cr)
{
    auto linear = [](double c) { return c < 0 ? 0.0 : c > 1 ? 1.0 : srgb(c); };
    double y = Y * 0.00390625, cb = (double(Cb) - 128) * 0.00390625,
           cr = (double(Cr) - 128) * 0.00390625;
    return {linear((y - 0.0009 * cb) + 1.4017 * cr), linear((y - 0.3437 * cb) - 0.7142 * cr),
            linear((1.7722 * cb + y) + 0.001 * cr), 1};
}

// The Rec. 709 curve radpixmap decodes 8-bit samples with.
double rec709(double x)
{
    x = std::min(1.0, std::max(0.0, x));
    return x <= 0.081 ? x / 4.5 : std::pow((x + 0.099) / 1.099, 2.2);
}

// got against want within two half-float ulps, channel by channel.
void expect_pixel(const rgba_t &got, const rgba_t &want, const std::string &what)
{
    const double g[] = {got.r, got.g, got.b, got.a}, w[] = {want.r, want.g, want.b, want.a};
    for (int c = 0; c < 4; c++) {
        double tol = std::max(std::fabs(w[c]) * std::ldexp(1.0, -10), std::ldexp(1.0, -24)) * 2;
        EXPECT_NEAR(g[c], w[c], tol) << what << " channel " << "RGBA"[c];
    }
}

// A Netpbm image's samples: depth samples a pixel, row-major.
struct samples {
    int w = 0, h = 0, depth = 0, maxval = 0;
    std::vector<unsigned> v;
    unsigned at(int x, int y, int c) const { return v[(size_t(y) * w + x) * depth + c]; }
};

// A raw PGM (depth 1) or PPM (depth 3), or a PAM of the tuple type, holding s.
std::string netpbm_file(const samples &s, const char *tuple_type = nullptr)
{
    std::ostringstream f;
    if (tuple_type)
        f << "P7\nWIDTH " << s.w << "\nHEIGHT " << s.h << "\nDEPTH " << s.depth << "\nMAXVAL "
          << s.maxval << "\nTUPLTYPE " << tuple_type << "\nENDHDR\n";
    else
        f << (s.depth == 1 ? "P5" : "P6") << "\n" << s.w << " " << s.h << "\n" << s.maxval << "\n";
    for (unsigned v : s.v) {
        if (s.maxval > 255)
            f << char(v >> 8);
        f << char(v & 0xff);
    }
    return f.str();
}

// What netpbm reads in an image file: pnmtoplainpnm's plain text parsed.
samples netpbm_reading(const std::string &path)
{
    samples s;
    run_result r = suite::run_shell("pnmtoplainpnm " + path);
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream text(r.out);
    std::string magic;
    text >> magic >> s.w >> s.h;
    s.depth = magic == "P3" ? 3 : 1;
    if (magic != "P1")
        text >> s.maxval;
    unsigned v;
    while (text >> v)
        s.v.push_back(magic == "P1" ? 1 - v : v);
    if (magic == "P1")
        s.maxval = 1;
    EXPECT_EQ(s.v.size(), size_t(s.w) * s.h * s.depth) << path;
    return s;
}

// A w x h image of depth samples up to maxval that vary across it.
samples gradient(int w, int h, int depth, int maxval)
{
    samples s{w, h, depth, maxval, {}};
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < depth; c++)
                s.v.push_back(unsigned((x * 37 + y * 91 + c * 53 + (x * y) % 7 * 11) % (maxval + 1)));
    return s;
}

// The JPEG with its JFIF marker renamed and its components named R, G, B
// in the frame header and in every scan header, so that a decoder takes
// the stored samples for RGB and puts out Y, Cb, Cr unconverted.
std::string as_unconverted(std::string j)
{
    size_t at = 2;
    while (at + 4 <= j.size()) {
        unsigned char m = (unsigned char)j[at + 1];
        if ((unsigned char)j[at] != 0xff || m == 0xff || m == 0 || (m >= 0xd0 && m <= 0xd7)) {
            at++; // entropy-coded data, fill, stuffed bytes, restart markers
            continue;
        }
        if (m == 0xd9)
            break;
        size_t seg = at + 4, len = size_t((unsigned char)j[at + 2]) << 8 | (unsigned char)j[at + 3];
        auto rename = [&](size_t i) {
            if (j[i] >= 1 && j[i] <= 3)
                j[i] = "RGB"[j[i] - 1];
        };
        if (m == 0xe0 && j.compare(seg, 5, std::string("JFIF\0", 5)) == 0)
            j[seg + 3] = 'X';
        else if (m >= 0xc0 && m <= 0xcf && m != 0xc4 && m != 0xc8 && m != 0xcc)
            for (int k = 0; k < j[seg + 5]; k++)
                rename(seg + 6 + 3 * size_t(k));
        else if (m == 0xda)
            for (int k = 0; k < j[seg]; k++)
                rename(seg + 1 + 2 * size_t(k));
        at = seg + len - 2;
    }
    return j;
}

// The stored samples of a JPEG as djpeg decodes them: Y (grey) or Y, Cb, Cr.
samples jpeg_samples(const temp_dir &dir, const std::string &jpeg, bool grey)
{
    std::string ref = dir / "reference.jpg";
    write_file(ref, grey ? slurp(jpeg) : as_unconverted(slurp(jpeg)));
    sh("djpeg -pnm " + ref + " > " + (dir / "reference.pnm"));
    return netpbm_reading(dir / "reference.pnm");
}

} // namespace

TEST(Encoders, PngOfEveryDepthAndKindReadsAsItsSamples)
{
    if (!have({"pnmtopng", "pamtopng"}))
        GTEST_SKIP() << "netpbm is not installed";
    auto img = [](int w, int depth, int maxval, std::vector<unsigned> v) {
        return samples{w, int(v.size()) / (w * depth), depth, maxval, std::move(v)};
    };
    samples g8 = img(4, 1, 255, {0, 10, 11, 255}), c8 = img(2, 3, 255, {255, 128, 0, 10, 11, 0});
    samples distinct = gradient(16, 16, 3, 255), few = gradient(16, 16, 3, 255);
    for (unsigned &v : few.v)
        v = v / 32 * 36; // 8 levels a channel: more than 16 colours, at most 256
    const struct {
        const char *what;
        samples src;
        const char *tuple_type; // written as a PAM when set
        std::string encode;
        int depth, colour_type, interlace;
        std::vector<unsigned> transparent; // the colour that tRNS makes clear
    } cases[] = {
        {"1-bit grey", img(4, 1, 1, {0, 1, 1, 0}), nullptr, "pnmtopng", 1, 0, 0, {}},
        {"2-bit grey", img(4, 1, 3, {0, 1, 2, 3}), nullptr, "pnmtopng", 2, 0, 0, {}},
        {"4-bit grey", img(4, 1, 15, {0, 1, 7, 15}), nullptr, "pnmtopng -force", 4, 0, 0, {}},
        {"8-bit grey", g8, nullptr, "pnmtopng -force", 8, 0, 0, {}},
        {"grey as a 2-bit palette", g8, nullptr, "pnmtopng", 2, 3, 0, {}},
        {"16-bit grey", img(4, 1, 65535, {0, 255, 4096, 65535}), nullptr, "pnmtopng", 16, 0, 0, {}},
        {"grey with tRNS", g8, nullptr, "pnmtopng -force -transparent=rgb:0a/0a/0a", 8, 0, 0, {10}},
        {"8-bit RGB", c8, nullptr, "pnmtopng -force", 8, 2, 0, {}},
        {"1-bit palette", c8, nullptr, "pnmtopng", 1, 3, 0, {}},
        {"palette with tRNS", c8, nullptr, "pnmtopng -transparent=rgb:ff/80/00", 1, 3, 0,
         {255, 128, 0}},
        {"8-bit palette", few, nullptr, "pnmtopng", 8, 3, 0, {}},
        {"RGB with tRNS", c8, nullptr, "pnmtopng -force -transparent=rgb:ff/80/00", 8, 2, 0,
         {255, 128, 0}},
        {"16-bit RGB", img(2, 3, 65535, {65535, 255, 0, 1000, 30000, 65534}), nullptr, "pnmtopng",
         16, 2, 0, {}},
        {"interlaced RGB", distinct, nullptr, "pnmtopng -force -interlace", 8, 2, 1, {}},
        {"8-bit grey and alpha", img(2, 2, 255, {128, 64, 11, 255}), "GRAYSCALE_ALPHA", "pamtopng",
         8, 4, 0, {}},
        {"8-bit RGBA", img(2, 4, 255, {255, 128, 0, 128, 10, 11, 0, 0}), "RGB_ALPHA", "pamtopng", 8,
         6, 0, {}},
        {"16-bit RGBA", img(2, 4, 65535, {65535, 1000, 0, 30000, 255, 65534, 7, 65535}),
         "RGB_ALPHA", "pamtopng", 16, 6, 0, {}},
    };
    for (const auto &c : cases) {
        temp_dir dir;
        write_file(dir / "in.pnm", netpbm_file(c.src, c.tuple_type));
        ASSERT_TRUE(sh(c.encode + " " + (dir / "in.pnm") + " > " + (dir / "in.png"))) << c.what;
        fixtures::png_file png = fixtures::read_png(dir / "in.png");
        ASSERT_TRUE(png.ok) << c.what;
        EXPECT_EQ(png.bit_depth, c.depth) << c.what;
        EXPECT_EQ(png.colour_type, c.colour_type) << c.what;
        EXPECT_EQ(png.interlace, c.interlace) << c.what;
        EXPECT_EQ(slurp(dir / "in.png").find("tRNS") != std::string::npos, !c.transparent.empty())
            << c.what;

        run_result r = run("radraster", {dir / "in.png", dir / "out.exr"});
        ASSERT_EQ(r.status, 0) << c.what << ": " << r.err;
        image out = read_exr(dir / "out.exr");
        ASSERT_EQ(out.w, c.src.w) << c.what;
        ASSERT_EQ(out.h, c.src.h) << c.what;
        const samples &s = c.src;
        const bool grey = s.depth <= 2, alpha = s.depth == 2 || s.depth == 4;
        for (int y = 0; y < s.h; y++)
            for (int x = 0; x < s.w; x++) {
                std::vector<unsigned> colour;
                for (int k = 0; k < (grey ? 1 : 3); k++)
                    colour.push_back(s.at(x, y, k));
                auto v = [&](int k) { return srgb(colour[grey ? 0 : k] / double(s.maxval)); };
                double a = alpha ? s.at(x, y, s.depth - 1) / double(s.maxval)
                                 : colour == c.transparent ? 0.0 : 1.0;
                expect_pixel(out.at(x, y), {v(0), v(1), v(2), a},
                             std::string(c.what) + " pixel " + std::to_string(x) + "," +
                                 std::to_string(y));
            }
    }
}

TEST(Encoders, JpegOfEveryLayoutReadsAsDjpegDecodesIt)
{
    if (!have({"cjpeg", "djpeg", "jpegtran", "pnmtojpeg", "pnmtoplainpnm"}))
        GTEST_SKIP() << "libjpeg-turbo-progs or netpbm is not installed";
    temp_dir dir;
    // Odd sizes, so that the last MCUs are partial and chroma is upsampled
    // at the edges.
    write_file(dir / "colour.ppm", netpbm_file(gradient(37, 21, 3, 255)));
    write_file(dir / "grey.pgm", netpbm_file(gradient(37, 21, 1, 255)));
    const std::string colour = dir / "colour.ppm", grey = dir / "grey.pgm";
    const struct {
        const char *what;
        std::string encode; // writes stdout
        bool grey;
    } cases[] = {
        {"baseline 4:2:0", "cjpeg " + colour, false},
        {"baseline 4:2:2", "cjpeg -sample 2x1 " + colour, false},
        {"baseline 4:4:4", "cjpeg -sample 1x1 -quality 95 " + colour, false},
        {"optimised with restart markers", "cjpeg -optimize -restart 1 " + colour, false},
        {"progressive", "cjpeg -progressive " + colour, false},
        {"arithmetic", "cjpeg -arithmetic " + colour, false},
        {"progressive arithmetic", "cjpeg -progressive -arithmetic " + colour, false},
        {"made progressive by jpegtran", "cjpeg " + colour + " | jpegtran -progressive", false},
        {"netpbm's encoder", "pnmtojpeg " + colour, false},
        {"greyscale", "cjpeg " + grey, true},
        {"greyscale of a colour image", "cjpeg -grayscale " + colour, true},
        {"greyscale progressive", "cjpeg -progressive " + grey, true},
    };
    for (const auto &c : cases) {
        const std::string in = dir / "in.jpg";
        ASSERT_TRUE(sh(c.encode + " > " + in)) << c.what;
        samples ref = jpeg_samples(dir, in, c.grey);
        ASSERT_EQ(ref.v.size(), size_t(37 * 21 * (c.grey ? 1 : 3))) << c.what;
        run_result r = run("radjfif", {in, dir / "out.exr"});
        ASSERT_EQ(r.status, 0) << c.what << ": " << r.err;
        EXPECT_EQ(r.err.rfind(c.grey ? "jpeginput: Colour space 1 " : "jpeginput: Colour space 3 ", 0), 0u)
            << c.what;
        image out = read_exr(dir / "out.exr");
        ASSERT_EQ(out.w, 37) << c.what;
        ASSERT_EQ(out.h, 21) << c.what;
        ASSERT_EQ(ref.w, 37) << c.what;
        for (int y = 0; y < out.h; y++)
            for (int x = 0; x < out.w; x++) {
                rgba_t want = c.grey ? jfif(ref.at(x, y, 0), 128, 128)
                                     : jfif(ref.at(x, y, 0), ref.at(x, y, 1), ref.at(x, y, 2));
                const rgba_t &got = out.at(x, y);
                expect_pixel(got, want, std::string(c.what) + " pixel " + std::to_string(x) + "," +
                                            std::to_string(y));
                if (c.grey) {
                    EXPECT_EQ(got.r, got.g) << c.what;
                    EXPECT_EQ(got.r, got.b) << c.what;
                }
            }
    }
}

// An EXIF orientation other than 1, in either byte order, gets one note
// and the image as stored; orientation 1 gets none. An RGB JPEG is refused
// by name.
TEST(Encoders, JpegOrientationIsNotedAndRgbRefused)
{
    if (!have({"cjpeg", "exiftool"}))
        GTEST_SKIP() << "libjpeg-turbo-progs or exiftool is not installed";
    temp_dir dir;
    write_file(dir / "in.ppm", netpbm_file(gradient(24, 16, 3, 255)));
    ASSERT_TRUE(sh("cjpeg " + (dir / "in.ppm") + " > " + (dir / "plain.jpg")));
    ASSERT_EQ(run("radjfif", {dir / "plain.jpg", dir / "plain.exr"}).status, 0);
    const image plain = read_exr(dir / "plain.exr");
    const struct {
        const char *name, *exiftool;
        int note; // the orientation noted, 0 for none
    } cases[] = {
        {"mm6.jpg", "-Orientation=6", 6},
        {"ii3.jpg", "-ExifByteOrder=II -Orientation=3", 3},
        {"ii8.jpg", "-ExifByteOrder=II -Orientation=8", 8},
        {"mm1.jpg", "-Orientation=1", 0},
    };
    for (const auto &c : cases) {
        const std::string in = dir / c.name;
        ASSERT_TRUE(sh("cp " + (dir / "plain.jpg") + " " + in + " && exiftool -q -n -overwrite_original " +
                       c.exiftool + " " + in));
        run_result r = run("radjfif", {in, dir / "out.exr"});
        ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
        std::string note = "radjfif: " + in + ": EXIF orientation " + std::to_string(c.note) +
                           " is not applied; the image is converted as stored.\n";
        EXPECT_EQ(r.err, "jpeginput: Colour space 3 (YCbCr 3).\njpeginput: 601 sampling 0.\n" +
                             (c.note ? note : "") + progress("radjfif", "Output scanline", 16, 1) +
                             "\nradjfif: Done.\n");
        image out = read_exr(dir / "out.exr");
        ASSERT_EQ(out.w, plain.w) << c.name;
        expect_image_near(out, plain, 0);
    }

    ASSERT_TRUE(sh("cjpeg -rgb " + (dir / "in.ppm") + " > " + (dir / "rgb.jpg")));
    run_result r = run("radjfif", {dir / "rgb.jpg", dir / "out.exr"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "jpeginput: Colour space 2 (YCbCr 3).\njpeginput: 601 sampling 0.\nradjfif: " +
                         (dir / "rgb.jpg") +
                         " is an RGB JPEG; only YCbCr and greyscale JPEGs are converted.\n"
                         "radjfif: Cannot open " + (dir / "rgb.jpg") + "\n");
}

// Every header layout the format allows reads as netpbm reads it; netpbm's
// own files too.
TEST(Encoders, PpmHeaderLayoutsReadAsNetpbmReadsThem)
{
    if (!have({"ppmtoppm", "pamdepth", "pnmtoplainpnm"}))
        GTEST_SKIP() << "netpbm is not installed";
    temp_dir dir;
    // Raster bytes: the first is a newline, which a reader that skips to
    // the end of the maxval's line would eat.
    std::string raster8 = {'\n', 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M',
                           'N', 'O', 'P', 'Q'};
    std::string raster16 = raster8 + raster8;
    write_file(dir / "made.ppm", "P6\n3 2\n255\n" + raster8);
    const struct {
        const char *what;
        std::string file; // written by hand; empty: made by the command
        std::string make;
    } cases[] = {
        {"netpbm's ppmtoppm", "", "ppmtoppm < " + (dir / "made.ppm")},
        {"netpbm's 16 bits", "", "pamdepth 65535 " + (dir / "made.ppm")},
        {"all on one line", "P6 3 2 255\n" + raster8, ""},
        {"size and maxval on one line", "P6\n3 2 255\n" + raster8, ""},
        {"every number on its own line", "P6\n3\n2\n255\n" + raster8, ""},
        {"a space after the maxval", "P6 3 2 255 " + raster8, ""},
        {"a carriage return after the maxval", "P6\r\n3 2\r\n255\r" + raster8, ""},
        {"tabs", "P6\t3\t2\t255\t" + raster8, ""},
        {"comments everywhere", "P6#a\n3#b\n#c\n  2 # d\n#e\n255\n" + raster8, ""},
        {"a comment after the magic number", "P6\n# Created by an editor\n3 2\n255\n" + raster8, ""},
        {"16 bits on one line", "P6 3 2 65535 " + raster16, ""},
        {"maxval 30000", "P6 3 2\n30000\n" + raster16, ""},
    };
    for (const auto &c : cases) {
        const std::string in = dir / "in.ppm";
        if (c.file.empty())
            ASSERT_TRUE(sh(c.make + " > " + in)) << c.what;
        else
            write_file(in, c.file);
        samples ref = netpbm_reading(in);
        ASSERT_EQ(ref.v.size(), 18u) << c.what;
        run_result r = run("radpixmap", {in, dir / "out.exr"});
        ASSERT_EQ(r.status, 0) << c.what << ": " << r.err;
        EXPECT_EQ(r.out, "radpixmap: " + in + " [3x2]\n") << c.what;
        image out = read_exr(dir / "out.exr");
        ASSERT_EQ(out.w, ref.w) << c.what;
        ASSERT_EQ(out.h, ref.h) << c.what;
        for (int y = 0; y < ref.h; y++)
            for (int x = 0; x < ref.w; x++) {
                auto v = [&](int k) {
                    double s = ref.at(x, y, k) / double(ref.maxval);
                    return ref.maxval <= 255 ? rec709(s) : s;
                };
                expect_pixel(out.at(x, y), {v(0), v(1), v(2), 1},
                             std::string(c.what) + " pixel " + std::to_string(x) + "," +
                                 std::to_string(y));
            }
    }
}

// Other Netpbm kinds are named in the refusal, and the conversion it
// suggests brings them in.
TEST(Encoders, OtherNetpbmKindsAreNamedWithTheirWayIn)
{
    if (!have({"ppmtoppm", "pnmtoplainpnm", "pamtopam", "pamtopfm", "pfmtopam", "pgmtopgm", "pbmmake"}))
        GTEST_SKIP() << "netpbm is not installed";
    temp_dir dir;
    const std::string ppm = dir / "c.ppm", pgm = dir / "g.pgm", pbm = dir / "b.pbm";
    write_file(ppm, netpbm_file(gradient(5, 3, 3, 255)));
    write_file(pgm, netpbm_file(gradient(5, 3, 1, 255)));
    ASSERT_TRUE(sh("pbmmake -gray 5 3 > " + pbm));
    const std::string via_ppmtoppm = "convert it to P6 first, for example with netpbm's ppmtoppm";
    const std::string via_pfmtopam =
        "convert it to a 16-bit P6 first, for example with netpbm's pfmtopam -maxval=65535 and "
        "ppmtoppm (values above 1.0 are lost)";
    const std::string in = dir / "in.pnm";
    const std::string ppmtoppm = "ppmtoppm < " + in, pfmtopam = "pfmtopam -maxval=65535 " + in + " | ppmtoppm";
    const struct {
        std::string make, kind, advice, convert;
    } cases[] = {
        {"pnmtoplainpnm " + pbm, "a plain PBM (P1)", via_ppmtoppm, ppmtoppm},
        {"pnmtoplainpnm " + pgm, "a plain PGM (P2)", via_ppmtoppm, ppmtoppm},
        {"pnmtoplainpnm " + ppm, "a plain PPM (P3)", via_ppmtoppm, ppmtoppm},
        {"cat " + pbm, "a PBM (P4)", via_ppmtoppm, ppmtoppm},
        {"pgmtopgm < " + pgm, "a PGM (P5)", via_ppmtoppm, ppmtoppm},
        {"pamtopam < " + ppm, "a PAM (P7)", via_ppmtoppm, ppmtoppm},
        {"pamtopfm " + ppm, "a colour PFM (PF)", via_pfmtopam, pfmtopam},
        {"pamtopfm " + pgm, "a greyscale PFM (Pf)", via_pfmtopam, pfmtopam},
    };
    for (const auto &c : cases) {
        std::remove((dir / "out.exr").c_str());
        ASSERT_TRUE(sh(c.make + " > " + in)) << c.kind;
        run_result r = run("radpixmap", {in, dir / "out.exr"});
        EXPECT_EQ(r.status, 1) << c.kind;
        EXPECT_EQ(r.out, "") << c.kind;
        EXPECT_EQ(r.err, "radpixmap: " + in + " is " + c.kind + " file, not a raw PPM (P6); " +
                             c.advice + ".\n");
        EXPECT_FALSE(exists(dir / "out.exr")) << c.kind;

        // The way in the message suggests.
        ASSERT_TRUE(sh(c.convert + " > " + (dir / "in.ppm"))) << c.kind;
        r = run("radpixmap", {dir / "in.ppm", dir / "out.exr"});
        EXPECT_EQ(r.status, 0) << c.kind << ": " << r.err;
        EXPECT_EQ(r.out, "radpixmap: " + (dir / "in.ppm") + " [5x3]\n") << c.kind;
    }
}
