#include "display/tuning_cursor.h"

#include <QPixmap>

#include <array>
#include <string_view>

namespace vantrel::display {

namespace {

// 3 x 5 capitals, one string per row, '#' for ink.
struct Glyph {
    char letter;
    std::array<std::string_view, 5> rows;
};

constexpr std::array<Glyph, 14> kGlyphs{{
    {'A', {".#.", "#.#", "###", "#.#", "#.#"}},
    {'C', {".##", "#..", "#..", "#..", ".##"}},
    {'D', {"##.", "#.#", "#.#", "#.#", "##."}},
    {'E', {"###", "#..", "##.", "#..", "###"}},
    {'F', {"###", "#..", "##.", "#..", "#.."}},
    {'G', {".##", "#..", "#.#", "#.#", ".##"}},
    {'I', {"###", ".#.", ".#.", ".#.", "###"}},
    {'K', {"#.#", "#.#", "##.", "#.#", "#.#"}},
    {'L', {"#..", "#..", "#..", "#..", "###"}},
    {'N', {"#.#", "###", "###", "#.#", "#.#"}},
    {'O', {".#.", "#.#", "#.#", "#.#", ".#."}},
    {'R', {"##.", "#.#", "##.", "#.#", "#.#"}},
    {'S', {".##", "#..", ".#.", "..#", "##."}},
    {'T', {"###", ".#.", ".#.", ".#.", ".#."}},
}};

constexpr QRgb kInk = 0xff000000;
constexpr QRgb kHalo = 0xffffffff;
constexpr int kTextLeft = 6;

const Glyph* glyphFor(char c) {
    for (const auto& g : kGlyphs)
        if (g.letter == c) return &g;
    return nullptr;
}

void setInk(QImage& image, int x, int y) {
    if (x >= 0 && y >= 0 && x < image.width() && y < image.height()) image.setPixel(x, y, kInk);
}

void drawWord(QImage& image, std::string_view word, int left, int top) {
    int x = left;
    for (char c : word) {
        if (c == ' ') {
            x += 2;
            continue;
        }
        if (const Glyph* g = glyphFor(c)) {
            for (int row = 0; row < 5; ++row)
                for (int col = 0; col < 3; ++col)
                    if (g->rows[std::size_t(row)][std::size_t(col)] == '#') setInk(image, x + col, top + row);
        }
        x += 4;
    }
}

void drawDoubleArrow(QImage& image) {
    constexpr int kShaftX = 2;
    for (int y = 0; y < kCursorSize; ++y) setInk(image, kShaftX, y);
    for (int i = 1; i <= 2; ++i) {
        for (int dx = -i; dx <= i; ++dx) {
            setInk(image, kShaftX + dx, i);
            setInk(image, kShaftX + dx, kCursorSize - 1 - i);
        }
    }
}

// Every transparent pixel next to ink becomes white, so the black reads on a dark waterfall.
void addHalo(QImage& image) {
    const QImage ink = image.copy();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (ink.pixel(x, y) == kInk) continue;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx)
                    near = ink.valid(x + dx, y + dy) && ink.pixel(x + dx, y + dy) == kInk;
            if (near) image.setPixel(x, y, kHalo);
        }
    }
}

}  // namespace

QImage tuningCursorImage() {
    QImage image(kCursorSize, kCursorSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    drawDoubleArrow(image);
    drawWord(image, "LEFT", kTextLeft, 2);
    drawWord(image, "CLICK", kTextLeft, 9);
    drawWord(image, "TO DRAG", kTextLeft, 16);
    drawWord(image, "SCREEN", kTextLeft, 23);
    addHalo(image);
    return image;
}

QCursor tuningCursor() { return QCursor(QPixmap::fromImage(tuningCursorImage()), 0, 0); }

}  // namespace vantrel::display
