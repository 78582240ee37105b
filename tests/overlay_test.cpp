// Overlay text, the built-in Swiss cross and writing overlays into a symbol.
#include "encoder/overlay.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "encoder/qrresult.h"

namespace kelvane2::qrencode {
namespace {

// Releases the one reference of a pattern when the test ends.
struct Held {
    I2DBitPattern* pattern;
    explicit Held(I2DBitPattern* p) : pattern(p) {}
    ~Held() {
        if (pattern != nullptr) pattern->Release();
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
};

I2DBitPattern* parse(const std::string& text) {
    return parseOverlayText(text.data(), text.size());
}

// Rows of module text, 'X' dark and '.' light, each row ended by '/'.
std::string modules(I2DBitPattern* pattern) {
    std::string text;
    for (int r = 0; r < pattern->getRows(); ++r) {
        for (int c = 0; c < pattern->getColumns(); ++c)
            text += pattern->getModule(r, c) != 0 ? 'X' : '.';
        text += '/';
    }
    return text;
}

TEST(OverlayText, Parses) {
    struct Row {
        const char* name;
        const char* text;
        const char* modules;
    };
    const Row rows[] = {
        {"the 7 x 7 cross", "7,7,007c6c446c7c00",
         "......./"
         ".XXXXX./"
         ".XX.XX./"
         ".X...X./"
         ".XX.XX./"
         ".XXXXX./"
         "......./"},
        {"an odd trailing digit is ignored", "2,12,ABC",
         "X.X.X.XX..../"
         "............/"},
        {"two bytes per row", "2,10,FFC08040",
         "XXXXXXXXXX/"
         "X........X/"},
        {"characters after the last row are ignored", "1,4,F0FFFF", "XXXX/"},
        {"blanks and signs before the counts", " 2,+3,E0", "XXX/.../"},
        {"a hexadecimal pair with a sign", "1,8,-1", "XXXXXXXX/"},
        {"a hexadecimal pair with a blank", "1,8, F", "....XXXX/"},
        {"a pair that starts with no digit is 0", "1,8,G1", "......../"},
        {"a pair stops at the first non-digit", "1,8,1G", ".......X/"},
        {"upper and lower case digits", "1,16,aBcD", "X.X.X.XXXX..XX.X/"},
    };
    for (const Row& row : rows) {
        Held held(parse(row.text));
        ASSERT_NE(held.pattern, nullptr) << row.name;
        EXPECT_EQ(modules(held.pattern), row.modules) << row.name;
    }
}

TEST(OverlayText, Rejects) {
    struct Row {
        const char* name;
        const char* text;
    };
    const Row rows[] = {
        {"empty", ""},
        {"no second comma", "3,3"},
        {"no comma", "abc"},
        {"zero rows", "0,3,00"},
        {"negative rows", "-1,5,6,FF"},
        {"zero columns", "3,0,00"},
        {"no module data", "3,3,"},
        {"rows above the largest side", "4097,1,00"},
        {"columns above the largest side", "1,4097,00"},
        {"rows beyond 32 bits", "99999999999,1,00"},
        {"columns far below zero", "1,-99999999999,00"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(parse(row.text), nullptr) << row.name;
    EXPECT_EQ(parseOverlayText(nullptr, 0), nullptr);
}

TEST(OverlayText, LargestSide) {
    Held held(parse("4096,4096,FF"));
    ASSERT_NE(held.pattern, nullptr);
    EXPECT_EQ(held.pattern->getRows(), 4096);
    EXPECT_EQ(held.pattern->getModule(0, 7), 1);
    EXPECT_EQ(held.pattern->getModule(0, 8), 0);
    EXPECT_EQ(held.pattern->getModule(4095, 4095), 0);
}

TEST(SwissCross, EveryEntryIsASquareOfItsSize) {
    for (int size = 7; size <= 27; ++size) {
        const char* text = swissCrossText(size);
        ASSERT_NE(text, nullptr) << size;
        Held held(parseOverlayText(text, std::strlen(text)));
        ASSERT_NE(held.pattern, nullptr) << size;
        EXPECT_EQ(held.pattern->getRows(), size);
        EXPECT_EQ(held.pattern->getColumns(), size);
        // Exactly rows x bytes-per-row bytes of data after "size,size,".
        std::string prefix = std::to_string(size) + "," + std::to_string(size) + ",";
        EXPECT_EQ(std::strlen(text), prefix.size() + 2u * size * ((size + 7) / 8)) << size;
        // The margin is light.
        EXPECT_EQ(held.pattern->getModule(0, 0), 0) << size;
    }
    EXPECT_EQ(swissCrossText(6), nullptr);
    EXPECT_EQ(swissCrossText(28), nullptr);
}

TEST(SwissCross, SizeFollowsTheWidth) {
    struct Row {
        int width;
        int size;  // 0: no cross
    };
    const Row rows[] = {
        {21, 0}, {37, 0}, {41, 7},   {45, 7},   {49, 7}, {53, 8},
        {57, 8}, {61, 9}, {173, 26}, {177, 26}, {0, 0},  {-41, 0},
    };
    for (const Row& row : rows) {
        Held held(makeSwissCrossOverlay(row.width));
        if (row.size == 0) {
            EXPECT_EQ(held.pattern, nullptr) << row.width;
            continue;
        }
        ASSERT_NE(held.pattern, nullptr) << row.width;
        EXPECT_EQ(held.pattern->getRows(), row.size) << row.width;
        EXPECT_EQ(held.pattern->getColumns(), row.size) << row.width;
    }
}

// A target of width x width dark modules.
struct Target {
    Simple2DBitPattern* object;
    I2DBitPatternModifiable* modifiable = nullptr;
    I2DBitPattern* view = nullptr;
    explicit Target(int width) : object(new Simple2DBitPattern(width, width)) {
        object->QueryInterface(IID_I2DBitPatternModifiable, reinterpret_cast<void**>(&modifiable));
        object->QueryInterface(IID_I2DBitPattern, reinterpret_cast<void**>(&view));
        for (int r = 0; r < width; ++r)
            for (int c = 0; c < width; ++c)
                modifiable->setModule(r, c, true);
    }
    ~Target() {
        modifiable->Release();
        view->Release();
    }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;
};

// Every target module: the overlay's where it covers the target, else still dark.
void expectPlaced(I2DBitPattern* target, I2DBitPattern* overlay, int top, int left, const char* name) {
    int width = target->getRows();
    for (int r = 0; r < width; ++r) {
        for (int c = 0; c < width; ++c) {
            int i = r - top;
            int j = c - left;
            bool covered = i >= 0 && i < overlay->getRows() && j >= 0 && j < overlay->getColumns();
            int expected = covered ? overlay->getModule(i, j) : 1;
            ASSERT_EQ(target->getModule(r, c), expected) << name << " at " << r << "," << c;
        }
    }
}

TEST(ApplyCenterOverlay, PlacesAndClips) {
    // A 30 x 30 overlay with a pattern that differs in every row and column.
    std::string big = "30,30,";
    for (int r = 0; r < 30; ++r) {
        for (int b = 0; b < 4; ++b) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02X", (r * 37 + b * 101) & 0xFF);
            big += hex;
        }
    }
    struct Row {
        const char* name;
        int width;
        std::string overlay;
        int origin;  // top and left
    };
    const Row rows[] = {
        {"the 7 x 7 cross on a 41-wide symbol covers 17 to 23", 41, swissCrossText(7), 17},
        {"the 8 x 8 cross on a 57-wide symbol starts at 24", 57, swissCrossText(8), 24},
        {"a 30 x 30 overlay on a 21-wide symbol is clipped", 21, big, -4},
    };
    for (const Row& row : rows) {
        Target target(row.width);
        Held overlay(parse(row.overlay));
        ASSERT_NE(overlay.pattern, nullptr) << row.name;
        applyCenterOverlay(target.modifiable, overlay.pattern);
        expectPlaced(target.view, overlay.pattern, row.origin, row.origin, row.name);
    }
    // Nothing given: nothing happens.
    Target target(21);
    applyCenterOverlay(target.modifiable, nullptr);
    applyCenterOverlay(nullptr, nullptr);
    EXPECT_EQ(target.view->getModule(10, 10), 1);
}

TEST(ApplyCenterOverlay, WritesIntoAResult) {
    const int width = 41;
    auto* matrix = new std::uint8_t[width * width]();
    auto* result = new QrResult(6, 0, width, matrix);
    I2DBitPatternModifiable* modifiable = nullptr;
    ASSERT_EQ(result->QueryInterface(IID_I2DBitPatternModifiable, reinterpret_cast<void**>(&modifiable)), 0);
    Held cross(makeSwissCrossOverlay(width));
    ASSERT_NE(cross.pattern, nullptr);
    applyCenterOverlay(modifiable, cross.pattern);
    EXPECT_EQ(result->getModule(18, 18), 1);  // cross row 1, column 1: dark
    EXPECT_EQ(result->getModule(20, 20), 0);  // the centre of the cross
    EXPECT_EQ(result->getModule(17, 17), 0);
    modifiable->Release();
}

}  // namespace
}  // namespace kelvane2::qrencode
