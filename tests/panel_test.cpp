// The control panel as a whole frame draws it: buttons, bank buttons, list boxes, position box.
#include <gtest/gtest.h>

#include <vector>

#include "scene/scene.h"
#include "tests/frame.h"
#include "text/text.h"

static const uint32_t Panel = 0xFF607080;
static const uint32_t Light = 0xFFF0F0F0;
static const uint32_t Shade = 0xFF404040;
static const uint32_t ButtonDark = 0xFF202020;
static const uint32_t Face = 0xFFA0A0A0;
static const uint32_t Outline = 0x00000000;
static const uint32_t Header = 0xFF808080;
static const uint32_t Background = 0xFF000000;
static const uint32_t White = 0xFFFFFFFF;

class PanelFrame : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(FFX_Init(frame.data()), 1);
        FFX_Render(frame.data(), 0.0f);
    }
    // True when `text` drawn in `colour` at (x, y) over this frame changes nothing.
    bool Shows(const char *text, int32_t x, int32_t y, uint32_t colour)
    {
        TestFrame copy = frame;
        GFX_DrawText(text, copy.data(), x, y, 640, 480, colour);
        return copy.pixels == frame.pixels;
    }
    TestFrame frame;
};

TEST_F(PanelFrame, EveryPanelRowIsWritten)
{
    for (int32_t y = 0; y < 200; ++y)
        for (int32_t x = 0; x < 640; ++x)
            ASSERT_NE(frame.at(x, y), Untouched) << x << "," << y;
    EXPECT_EQ(frame.at(0, 0), Panel);
    EXPECT_EQ(frame.at(150, 40), Panel);
    EXPECT_EQ(frame.at(639, 199), Panel);
}

TEST_F(PanelFrame, ButtonGridEdgesAndGaps)
{
    // "About" at (294, 2, 52, 16).
    EXPECT_EQ(frame.at(294, 1), Outline);
    EXPECT_EQ(frame.at(294, 2), Light);
    EXPECT_EQ(frame.at(345, 2), ButtonDark);
    EXPECT_EQ(frame.at(345, 17), ButtonDark);
    EXPECT_EQ(frame.at(300, 18), ButtonDark);
    EXPECT_EQ(frame.at(300, 19), Outline);
    EXPECT_EQ(frame.at(293, 10), Outline);
    EXPECT_EQ(frame.at(346, 10), Outline);
    EXPECT_EQ(frame.at(347, 10), Panel);
    EXPECT_EQ(frame.at(293, 18), Panel) << "ring corners stay unwritten";
    EXPECT_EQ(frame.at(300, 20), Panel) << "one panel row between buttons";
    EXPECT_EQ(frame.at(300, 21), Outline);
    EXPECT_EQ(frame.at(355, 10), Outline) << "right column's left outline";
    EXPECT_EQ(frame.at(352, 10), Panel);
}

TEST_F(PanelFrame, EveryLabelSitsCentredOnItsButton)
{
    static const char *const labels[9][2] = {
        {"About", "Ply S"}, {"Nibble", "Ply P"}, {"Zap", "Stop"}, {"CD", "Rec"}, {"Extend", "Rec"},
        {"Tran", "Disk"},   {"IEE", "Ins"},      {"SEE", "Samp"}, {"Adv", "Config"}};
    for (int32_t r = 0; r < 9; ++r)
        for (int32_t c = 0; c < 2; ++c) {
            const int32_t width = 8 * static_cast<int32_t>(strlen(labels[r][c]));
            EXPECT_TRUE(Shows(labels[r][c], (c ? 356 : 294) + (52 - width) / 2, 20 * r + 2, Outline))
                << labels[r][c];
        }
    EXPECT_TRUE(Shows("Add", 294, 182, Outline));
    EXPECT_TRUE(Shows("Sub", 322, 182, Outline));
    EXPECT_TRUE(Shows("Help", 366, 182, Outline));
    EXPECT_TRUE(Shows("Bank", 598, 174, Outline));
    // A label must really have been drawn for Shows to mean anything.
    EXPECT_FALSE(Shows("Zap", 300, 2, Outline));
}

TEST_F(PanelFrame, BankButtonsCountInHexAndTheBankButtonIsCutOff)
{
    const char *const banks[8] = {"00-08", "08-10", "10-18", "18-20", "20-28", "28-30", "30-38", "38-40"};
    for (int32_t b = 0; b < 8; ++b) {
        EXPECT_TRUE(Shows(banks[b], 594, 20 * b + 2, Outline)) << banks[b];
        EXPECT_EQ(frame.at(592, 20 * b + 3), Light);
        EXPECT_EQ(frame.at(635, 20 * b + 3), ButtonDark);
        EXPECT_EQ(frame.at(636, 20 * b + 3), Outline);
    }
    EXPECT_EQ(frame.at(600, 199), Face);
    // The pattern area is cleared after the panel: the button's bottom rows go black.
    for (int32_t y = 200; y <= 203; ++y) {
        EXPECT_EQ(frame.at(591, y), Background);
        EXPECT_EQ(frame.at(592, y), Background);
        EXPECT_EQ(frame.at(635, y), Background);
        EXPECT_EQ(frame.at(636, y), Background);
    }
}

TEST_F(PanelFrame, ListBoxesWithHeaderSunkenFrameAndNumbers)
{
    // Upper list (412, 4, 176, 100).
    EXPECT_EQ(frame.at(412, 3), Outline);
    EXPECT_EQ(frame.at(411, 50), Outline);
    EXPECT_EQ(frame.at(412, 50), Shade);
    EXPECT_EQ(frame.at(587, 50), Light);
    EXPECT_EQ(frame.at(588, 50), Outline);
    EXPECT_EQ(frame.at(500, 104), Light);
    EXPECT_EQ(frame.at(500, 105), Outline);
    EXPECT_EQ(frame.at(500, 10), Header);
    EXPECT_EQ(frame.at(500, 18), Header);
    EXPECT_EQ(frame.at(500, 19), Background);
    EXPECT_EQ(frame.at(500, 103), Background);
    // Lower list (412, 108, 176, 85).
    EXPECT_EQ(frame.at(412, 107), Outline);
    EXPECT_EQ(frame.at(500, 115), Header);
    EXPECT_EQ(frame.at(500, 150), Background);
    EXPECT_EQ(frame.at(500, 193), Light);
    EXPECT_EQ(frame.at(500, 194), Outline);
    EXPECT_EQ(frame.at(500, 106), Panel);

    static const char *const numbers[6] = {"00", "01", "02", "03", "04", "05"};
    for (int32_t n = 0; n < 6; ++n)
        EXPECT_TRUE(Shows(numbers[n], 414, 15 * n + 2, White)) << "upper " << n;
    for (int32_t n = 0; n < 5; ++n)
        EXPECT_TRUE(Shows(numbers[n], 414, 15 * n + 109, White)) << "lower " << n;
    EXPECT_EQ(frame.at(416, 5), White) << "'0' row 3 inside the header bar";
    EXPECT_EQ(frame.at(416, 3), Outline) << "the text's empty top rows leave the outline";
    for (int32_t y = 184; y < 193; ++y)
        for (int32_t x = 414; x < 430; ++x)
            EXPECT_EQ(frame.at(x, y), Background) << "no sixth number in the lower list";
}

TEST_F(PanelFrame, PositionBoxWithItsRaisedBarAndText)
{
    EXPECT_EQ(frame.at(10, 10), Background);
    EXPECT_EQ(frame.at(2, 10), Shade);
    EXPECT_EQ(frame.at(51, 10), Light);
    EXPECT_EQ(frame.at(52, 10), Outline);
    EXPECT_EQ(frame.at(1, 10), Outline);
    EXPECT_EQ(frame.at(10, 1), Outline);
    EXPECT_EQ(frame.at(10, 52), Light);
    EXPECT_EQ(frame.at(10, 53), Outline);
    // The bar's left outline falls on column 0; its top edge is light over the panel colour.
    for (int32_t y = 23; y < 36; ++y)
        EXPECT_EQ(frame.at(0, y), Outline) << y;
    EXPECT_EQ(frame.at(0, 22), Panel);
    EXPECT_EQ(frame.at(10, 22), Outline);
    EXPECT_EQ(frame.at(10, 23), Light);
    EXPECT_EQ(frame.at(22, 30), Panel);
    EXPECT_EQ(frame.at(10, 36), Shade);
    EXPECT_EQ(frame.at(10, 37), Outline);
    EXPECT_TRUE(Shows("00 00", 4, 22, White));
    EXPECT_EQ(frame.at(6, 25), White);
    // A whole column right of the text, top to bottom: a box or bar one row off changes it.
    std::vector<uint32_t> column(55, Background);
    column[0] = Panel, column[1] = Outline, column[2] = Shade;
    column[22] = Outline, column[23] = Light, column[36] = Shade, column[37] = Outline;
    for (int32_t y = 24; y < 36; ++y)
        column[y] = Panel;
    column[52] = Light, column[53] = Outline, column[54] = Panel;
    for (int32_t y = 0; y < 55; ++y)
        EXPECT_EQ(frame.at(46, y), column[y]) << "row " << y;
}
