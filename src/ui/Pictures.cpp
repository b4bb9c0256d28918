#include "ui/Pictures.h"

#include "ui/Dpi.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cmath>
#include <string>
#include <vector>

namespace quendix::ui {

namespace {

struct Variant {
    int dpi;
    const char* suffix;
};
constexpr std::array<Variant, 4> kVariants{{{96, ""}, {120, "_125"}, {144, "_150"}, {192, "_200"}}};

bool hasPicture(const std::string& name)
{
    return FindResourceA(GetModuleHandleA(nullptr), name.c_str(), MAKEINTRESOURCEA(2) /* RT_BITMAP */) != nullptr;
}

HBITMAP loadExactly(const std::string& name)
{
    return static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), name.c_str(), IMAGE_BITMAP, 0, 0, 0));
}

// Pixels as 0x00RRGGBB, top row first.
struct Pixels {
    int width = 0, height = 0;
    std::vector<std::uint32_t> rgb;
};

// A top-down picture of `width` x `height` at `bitsPerPixel`.
BITMAPINFO topDownInfo(int width, int height, WORD bitsPerPixel)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bitsPerPixel;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

Pixels readPixels(HBITMAP bitmap)
{
    BITMAP bm{};
    GetObjectA(bitmap, sizeof bm, &bm);
    Pixels p;
    p.width = bm.bmWidth;
    p.height = bm.bmHeight;
    p.rgb.resize(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height));
    BITMAPINFO info = topDownInfo(p.width, p.height, 32);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, static_cast<UINT>(p.height), p.rgb.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (std::uint32_t& px : p.rgb)
        px &= 0xFFFFFFu;
    return p;
}

HBITMAP makeBitmap(const Pixels& p)
{
    BITMAPINFO info = topDownInfo(p.width, p.height, 24);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        return nullptr;
    const int stride = (p.width * 3 + 3) & ~3;
    auto* out = static_cast<unsigned char*>(bits);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            std::uint32_t px = p.rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width) +
                                     static_cast<std::size_t>(x)];
            unsigned char* o = out + y * stride + x * 3;
            o[0] = static_cast<unsigned char>(px & 0xFF);
            o[1] = static_cast<unsigned char>((px >> 8) & 0xFF);
            o[2] = static_cast<unsigned char>((px >> 16) & 0xFF);
        }
    GdiFlush();
    return bitmap;
}

// How much of the source span [from, to) falls on source pixel i.
double overlap(double from, double to, int i)
{
    return std::max(0.0, std::min(to, i + 1.0) - std::max(from, static_cast<double>(i)));
}

// Area averaging: each new pixel is the mean of the source area it covers,
// which keeps thin lines and text legible where a point sample would drop
// them. A pixel mostly covered by the see-through colour stays see-through;
// otherwise the see-through colour takes no part in the mean.
Pixels resample(const Pixels& src, int width, int height, std::optional<std::uint32_t> seeThrough)
{
    Pixels dst;
    dst.width = width;
    dst.height = height;
    dst.rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const double sx = static_cast<double>(src.width) / width;
    const double sy = static_cast<double>(src.height) / height;
    for (int y = 0; y < height; ++y) {
        const double y0 = y * sy, y1 = (y + 1) * sy;
        for (int x = 0; x < width; ++x) {
            const double x0 = x * sx, x1 = (x + 1) * sx;
            double sum[3] = {0, 0, 0}, weight = 0, hidden = 0;
            for (int j = static_cast<int>(y0); j < src.height && j < y1; ++j) {
                const double wy = overlap(y0, y1, j);
                for (int i = static_cast<int>(x0); i < src.width && i < x1; ++i) {
                    const double w = wy * overlap(x0, x1, i);
                    const std::uint32_t px = src.rgb[static_cast<std::size_t>(j) * static_cast<std::size_t>(src.width) +
                                                     static_cast<std::size_t>(i)];
                    if (seeThrough && px == *seeThrough) {
                        hidden += w;
                        continue;
                    }
                    sum[0] += w * ((px >> 16) & 0xFF);
                    sum[1] += w * ((px >> 8) & 0xFF);
                    sum[2] += w * (px & 0xFF);
                    weight += w;
                }
            }
            std::uint32_t out = 0;
            if (seeThrough && (weight <= 0 || hidden > weight)) {
                out = *seeThrough;
            } else if (weight > 0) {
                auto channel = [&](int k) {
                    return static_cast<std::uint32_t>(std::lround(std::clamp(sum[k] / weight, 0.0, 255.0)));
                };
                out = (channel(0) << 16) | (channel(1) << 8) | channel(2);
            }
            dst.rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] = out;
        }
    }
    return dst;
}

std::uint32_t asRgb(COLORREF c)
{
    return (static_cast<std::uint32_t>(GetRValue(c)) << 16) | (static_cast<std::uint32_t>(GetGValue(c)) << 8) |
           GetBValue(c);
}

} // namespace

HBITMAP loadPicture(const char* name, int dpi, std::optional<COLORREF> seeThrough)
{
    if (!name || !hasPicture(name))
        return nullptr;
    const Variant* chosen = nullptr;
    for (const Variant& v : kVariants) {
        if (!hasPicture(std::string(name) + v.suffix))
            continue;
        if (v.dpi == dpi)
            return loadExactly(std::string(name) + v.suffix);
        if (v.dpi > dpi && (!chosen || chosen->dpi < dpi || v.dpi < chosen->dpi))
            chosen = &v;
        else if (v.dpi < dpi && (!chosen || chosen->dpi < v.dpi))
            chosen = &v;
    }
    HBITMAP source = loadExactly(std::string(name) + chosen->suffix);
    HBITMAP base = chosen->dpi == kLayoutDpi ? source : loadExactly(name);
    BITMAP size{};
    GetObjectA(base, sizeof size, &size);
    if (base != source)
        DeleteObject(base);
    const int width = std::max(1, scaleToDpi(size.bmWidth, dpi));
    const int height = std::max(1, scaleToDpi(size.bmHeight, dpi));
    std::optional<std::uint32_t> key;
    if (seeThrough)
        key = asRgb(*seeThrough);
    HBITMAP scaled = makeBitmap(resample(readPixels(source), width, height, key));
    DeleteObject(source);
    return scaled;
}

} // namespace quendix::ui
