// A screenshot of a window as a PNG file: uncompressed, which keeps the
// writer small (stored deflate blocks need only the two checksums).
#include "probe.h"

#include <stdio.h>

#include <algorithm>

static DWORD Crc32(const std::string &bytes)
{
    DWORD crc = 0xFFFFFFFF;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int i = 0; i < 8; i++)
            crc = crc >> 1 ^ (0xEDB88320 & -(crc & 1));
    }
    return ~crc;
}

static std::string BigEndian(DWORD v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

static std::string Chunk(const char *type, const std::string &data)
{
    std::string body = type + data;
    return BigEndian(data.size()) + body + BigEndian(Crc32(body));
}

// A zlib stream of stored (uncompressed) deflate blocks.
static std::string Stored(const std::string &raw)
{
    std::string z = "\x78\x01";
    DWORD a = 1, b = 0;
    for (unsigned char c : raw)
        a = (a + c) % 65521, b = (b + a) % 65521;
    for (size_t at = 0; at == 0 || at < raw.size(); at += 65535) {
        size_t n = std::min<size_t>(65535, raw.size() - at);
        bool last = at + n >= raw.size();
        z += char(last);
        z += {char(n), char(n >> 8), char(~n), char(~n >> 8)};
        z += raw.substr(at, n);
    }
    return z + BigEndian(b << 16 | a);
}

bool SaveScreenshot(HWND hwnd, const char *path)
{
    int w, h;
    std::vector<DWORD> px = Capture(hwnd, WHOLE_WINDOW, &w, &h);
    std::string raw;
    for (int y = 0; y < h; y++) {
        raw += '\0';  // no filter on this row
        for (int x = 0; x < w; x++) {
            DWORD p = px[y * w + x];
            raw += {char(p >> 16), char(p >> 8), char(p)};
        }
    }
    std::string header = BigEndian(w) + BigEndian(h) + std::string("\x08\x02\0\0\0", 5);  // 8-bit RGB
    std::string png = "\x89PNG\r\n\x1a\n" + Chunk("IHDR", header) + Chunk("IDAT", Stored(raw)) + Chunk("IEND", "");
    FILE *f = fopen(path, "wb");
    if (!f)
        return false;
    bool ok = fwrite(png.data(), 1, png.size(), f) == png.size();
    return fclose(f) == 0 && ok;
}
