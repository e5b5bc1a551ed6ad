// Test kit implementation.
#include "testkit.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputFile.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfMultiPartOutputFile.h>
#include <OpenEXR/ImfOutputPart.h>
#include <OpenEXR/ImfPartType.h>
#include <OpenEXR/ImfRgbaFile.h>
#include <OpenEXR/ImfStandardAttributes.h>
#include <OpenEXR/ImfTiledOutputFile.h>
#include <OpenEXR/ImfTiledOutputPart.h>
#include <Imath/half.h>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char **environ;

namespace testkit {

temp_dir::temp_dir()
{
    const char *base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/radsuite-test.XXXXXX";
    if (!mkdtemp(&tmpl[0]))
        ADD_FAILURE() << "cannot create a scratch directory";
    path_ = tmpl;
}

temp_dir::~temp_dir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string temp_dir::operator/(const std::string &name) const
{
    return path_ + "/" + name;
}

image uniform(int w, int h, rgba_t p)
{
    return pixels(w, h, std::vector<rgba_t>(size_t(w) * h, p));
}

image pixels(int w, int h, std::vector<rgba_t> px)
{
    image img;
    img.w = w;
    img.h = h;
    img.px = std::move(px);
    return img;
}

void write_exr(const std::string &path, const image &img, write_options opt)
{
    Imath::Box2i window(Imath::V2i(opt.x_min, opt.y_min),
                        Imath::V2i(opt.x_min + img.w - 1, opt.y_min + img.h - 1));
    Imf::Header header(window, window);
    header.compression() = Imf::ZIP_COMPRESSION;
    Imf::PixelType type = opt.float_channels ? Imf::FLOAT : Imf::HALF;
    const char *names = opt.rgb_only ? "RGB" : "RGBA";
    for (const char *c = names; *c; c++)
        header.channels().insert(std::string(1, *c), Imf::Channel(type));
    Imf::OutputFile file(path.c_str(), header);

    size_t n = img.px.size();
    std::vector<float> f[4];
    std::vector<half> hv[4];
    Imf::FrameBuffer fb;
    for (int c = 0; c < 4; c++) {
        if (opt.rgb_only && c == 3)
            break;
        f[c].resize(n);
        hv[c].resize(n);
        for (size_t i = 0; i < n; i++) {
            const rgba_t &p = img.px[i];
            double v = c == 0 ? p.r : c == 1 ? p.g : c == 2 ? p.b : p.a;
            f[c][i] = float(v);
            hv[c][i] = half(float(v));
        }
        // the library addresses pixel (x, y) at base + x * xs + y * ys
        intptr_t shift = intptr_t(opt.x_min) + intptr_t(opt.y_min) * img.w;
        char *base = opt.float_channels
                         ? reinterpret_cast<char *>(f[c].data()) - shift * intptr_t(sizeof(float))
                         : reinterpret_cast<char *>(hv[c].data()) - shift * intptr_t(sizeof(half));
        size_t size = opt.float_channels ? sizeof(float) : sizeof(half);
        fb.insert(std::string(1, "RGBA"[c]), Imf::Slice(type, base, size, size * img.w));
    }
    file.setFrameBuffer(fb);
    file.writePixels(img.h);
}

void write_exr_parts(const std::string &path, const std::vector<exr_part> &parts)
{
    std::vector<Imf::Header> headers;
    for (const exr_part &p : parts) {
        Imath::Box2i window(Imath::V2i(p.x_min, p.y_min), Imath::V2i(p.x_min + p.w - 1, p.y_min + p.h - 1));
        Imf::Header header(window, window);
        header.compression() = Imf::Compression(p.compression);
        header.lineOrder() = Imf::LineOrder(p.line_order);
        for (const exr_channel &c : p.channels)
            header.channels().insert(c.name, Imf::Channel(Imf::PixelType(c.type)));
        for (const auto &[name, value] : p.strings)
            header.insert(name, Imf::StringAttribute(value));
        if (parts.size() > 1) {
            header.setName(p.name);
            header.setType(p.tile ? Imf::TILEDIMAGE : Imf::SCANLINEIMAGE);
        }
        if (p.tile)
            header.setTileDescription(Imf::TileDescription(unsigned(p.tile), unsigned(p.tile)));
        headers.push_back(header);
    }
    // Every channel's samples as the type it is stored as.
    std::vector<std::vector<std::vector<char>>> store(parts.size());
    std::vector<Imf::FrameBuffer> buffers(parts.size());
    for (size_t i = 0; i < parts.size(); i++) {
        const exr_part &p = parts[i];
        for (const exr_channel &c : p.channels) {
            size_t size = c.type == 1 ? 2 : 4;
            std::vector<char> bytes(c.values.size() * size);
            for (size_t k = 0; k < c.values.size(); k++) {
                if (c.type == 1) {
                    half h(c.values[k]);
                    memcpy(&bytes[k * 2], &h, 2);
                } else if (c.type == 2) {
                    memcpy(&bytes[k * 4], &c.values[k], 4);
                } else {
                    uint32_t u = uint32_t(c.values[k]);
                    memcpy(&bytes[k * 4], &u, 4);
                }
            }
            store[i].push_back(std::move(bytes));
            char *base = store[i].back().data() -
                         (intptr_t(p.x_min) + intptr_t(p.y_min) * p.w) * intptr_t(size);
            buffers[i].insert(c.name, Imf::Slice(Imf::PixelType(c.type), base, size, size * size_t(p.w)));
        }
    }
    if (parts.size() == 1) {
        const exr_part &p = parts[0];
        if (p.tile) {
            Imf::TiledOutputFile file(path.c_str(), headers[0]);
            file.setFrameBuffer(buffers[0]);
            file.writeTiles(0, file.numXTiles() - 1, 0, file.numYTiles() - 1);
        } else {
            Imf::OutputFile file(path.c_str(), headers[0]);
            file.setFrameBuffer(buffers[0]);
            file.writePixels(p.h);
        }
        return;
    }
    Imf::MultiPartOutputFile file(path.c_str(), headers.data(), int(headers.size()));
    for (size_t i = 0; i < parts.size(); i++) {
        if (parts[i].tile) {
            Imf::TiledOutputPart part(file, int(i));
            part.setFrameBuffer(buffers[i]);
            part.writeTiles(0, part.numXTiles() - 1, 0, part.numYTiles() - 1);
        } else {
            Imf::OutputPart part(file, int(i));
            part.setFrameBuffer(buffers[i]);
            part.writePixels(parts[i].h);
        }
    }
}

exr_part rgba_part(const image &img, const std::string &prefix, int compression)
{
    exr_part p;
    p.w = img.w;
    p.h = img.h;
    p.compression = compression;
    for (int c = 0; c < 4; c++) {
        exr_channel ch;
        ch.name = prefix + "RGBA"[c];
        for (const rgba_t &px : img.px)
            ch.values.push_back(float(c == 0 ? px.r : c == 1 ? px.g : c == 2 ? px.b : px.a));
        p.channels.push_back(ch);
    }
    return p;
}

void write_exr_rgba(const std::string &path, const image &img, int channels, int compression)
{
    std::vector<Imf::Rgba> px;
    for (const rgba_t &p : img.px)
        px.emplace_back(half(float(p.r)), half(float(p.g)), half(float(p.b)), half(float(p.a)));
    Imf::RgbaOutputFile file(path.c_str(), img.w, img.h, Imf::RgbaChannels(channels), 1,
                             Imath::V2f(0, 0), 1, Imf::INCREASING_Y, Imf::Compression(compression));
    file.setFrameBuffer(px.data(), 1, size_t(img.w));
    file.writePixels(img.h);
}

image read_exr(const std::string &path)
{
    image img;
    try {
        Imf::RgbaInputFile file(path.c_str());
        const Imf::Header &hd = file.header();
        Imath::Box2i dw = hd.dataWindow(), disp = hd.displayWindow();
        img.w = dw.max.x - dw.min.x + 1;
        img.h = dw.max.y - dw.min.y + 1;
        img.x_min = dw.min.x;
        img.y_min = dw.min.y;
        img.display_x_min = disp.min.x;
        img.display_y_min = disp.min.y;
        img.display_x_max = disp.max.x;
        img.display_y_max = disp.max.y;
        img.compression = int(hd.compression());
        img.line_order = int(hd.lineOrder());
        img.half_channels = true;
        for (auto it = hd.channels().begin(); it != hd.channels().end(); ++it) {
            img.channels += it.name();
            if (it.channel().type != Imf::HALF)
                img.half_channels = false;
        }
        std::vector<Imf::Rgba> buf(size_t(img.w) * img.h);
        file.setFrameBuffer(buf.data() - dw.min.x - size_t(dw.min.y) * img.w, 1, img.w);
        file.readPixels(dw.min.y, dw.max.y);
        img.px.resize(buf.size());
        for (size_t i = 0; i < buf.size(); i++)
            img.px[i] = {float(buf[i].r), float(buf[i].g), float(buf[i].b), float(buf[i].a)};
    } catch (const std::exception &e) {
        ADD_FAILURE() << "cannot read " << path << ": " << e.what();
        return image();
    }
    return img;
}

image crop(const image &img, int x, int y, int w, int h)
{
    std::vector<rgba_t> px;
    for (int j = y; j < y + h; j++)
        for (int i = x; i < x + w; i++)
            px.push_back(img.at(i, j));
    return pixels(w, h, px);
}

std::string photograph_path()
{
    return std::string(SUITE_SOURCE_DIR) + "/data/forest.exr";
}

double half_round(double v)
{
    return float(half(float(v)));
}

double written(double v)
{
    float f = float(v);
    if (!(f >= 0))
        return 0;
    return f > 65504.0f ? 65504.0 : half_round(f);
}

std::string program_path(const std::string &program)
{
    return std::string(SUITE_BIN_DIR) + "/" + program;
}

run_result run_command(const std::vector<std::string> &command)
{
    run_result r;
    temp_dir dir;
    std::string out_path = dir / "stdout", err_path = dir / "stderr";

    std::vector<char *> argv;
    for (const std::string &a : command)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid;
    auto start = std::chrono::steady_clock::now();
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        ADD_FAILURE() << "cannot run " << command[0];
        return r;
    }
    int st = 0;
    waitpid(pid, &st, 0);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.out = slurp(out_path);
    r.err = slurp(err_path);
    return r;
}

run_result run(const std::string &program, const std::vector<std::string> &args)
{
    std::vector<std::string> command = {program_path(program)};
    command.insert(command.end(), args.begin(), args.end());
    return run_command(command);
}

run_result run_measured(const std::string &program, const std::vector<std::string> &args)
{
    temp_dir dir;
    std::vector<std::string> command = {"/usr/bin/time", "-q", "-f", "%M", "-o", dir / "rss",
                                        program_path(program)};
    command.insert(command.end(), args.begin(), args.end());
    run_result r = run_command(command);
    r.max_rss_kb = atol(slurp(dir / "rss").c_str());
    return r;
}

std::string progress(const std::string &prog, const std::string &label, int h, int every)
{
    std::string s;
    for (int y = 0; y < h; y += every)
        s += prog + ": " + label + " " + std::to_string(y) + "\r";
    return s;
}

std::string format(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string s(size_t(n > 0 ? n : 0), '\0');
    va_start(ap, fmt);
    vsnprintf(&s[0], s.size() + 1, fmt, ap);
    va_end(ap);
    return s;
}

void write_file(const std::string &path, const std::string &bytes)
{
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::vector<std::string> names_in(const std::string &dir)
{
    std::vector<std::string> names;
    for (auto &e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string slurp(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

double half_ulp(double v)
{
    double m = std::fabs(v);
    if (!(m >= 0x1p-14))
        return 0x1p-24;
    int e;
    std::frexp(m, &e); // m = f 2^e, 0.5 <= f < 1
    return std::ldexp(1.0, e - 11);
}

bool within_ulps(double got, double want, double ulps, double scale)
{
    if (std::isnan(got) || std::isnan(want))
        return std::isnan(got) && std::isnan(want);
    return got == want || std::fabs(got - want) <= ulps * half_ulp(scale);
}

bool within_ulps(double got, double want, double ulps)
{
    return within_ulps(got, want, ulps, want);
}

void expect_image_near(const image &got, const image &want, double ulps)
{
    ASSERT_EQ(got.w, want.w);
    ASSERT_EQ(got.h, want.h);
    int reported = 0;
    for (int y = 0; y < want.h; y++)
        for (int x = 0; x < want.w; x++) {
            const rgba_t &g = got.at(x, y), &w = want.at(x, y);
            double gv[4] = {g.r, g.g, g.b, g.a}, wv[4] = {w.r, w.g, w.b, w.a};
            for (int c = 0; c < 4; c++)
                if (!within_ulps(gv[c], wv[c], ulps) && reported++ < 8)
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") channel " << "RGBA"[c]
                                  << ": got " << gv[c] << ", want " << wv[c] << " (within " << ulps
                                  << " half steps)";
        }
}

} // namespace testkit
