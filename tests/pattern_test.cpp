// The pattern: the generator, the generated text and the scrolling view.
#include <gtest/gtest.h>

#include <string>

#include "scene/scene.h"
#include "tests/frame.h"
#include "text/text.h"

static const uint32_t White = 0xFFFFFFFF;
static const uint32_t Pale = 0xFFFFFFC0;
static const uint32_t Background = 0xFF000000;
static const uint32_t Panel = 0xFF607080;

static std::vector<std::string> Pattern()
{
    std::vector<std::string> lines;
    for (int32_t i = 0; i < 64; ++i)
        lines.emplace_back(FFX_PatternLine(i));
    return lines;
}

TEST(Random, FirstDrawsFollowTheLinearCongruence)
{
    // state = state * 214013 + 2531011 (mod 2^32) from 1, then bits 16 ... 30:
    // 1 -> 2745024, >> 16 = 41; 2745024 -> 0x88C823F683 mod 2^32 = 0xC823F683 -> 0x4823 = 18467.
    const int32_t expected[] = {41, 18467, 6334, 26500, 19169};
    for (int32_t value : expected)
        EXPECT_EQ(FFX_Random(), value);
    for (int i = 0; i < 100000; ++i) {
        const int32_t draw = FFX_Random();
        ASSERT_GE(draw, 0);
        ASSERT_LE(draw, 32767);
    }
}

TEST(Generation, FirstLineFromTheFirstDraws)
{
    ASSERT_EQ(FFX_AllocPattern(), 1);
    FFX_GeneratePattern(0.0f);
    // Draws 41, 18467 -> note 9 "a." octave 3; 6334 -> 30, none; 26500, 19169 -> "e." 1;
    // 15724, 11478, 29358, 26962 -> 12, 22, 14, 18, none.
    EXPECT_EQ(Pattern()[0],
              "... .. 00a.3 .. 00... .. 00e.1 .. 00... .. 00... .. 00... .. 00... .. 00");
    for (const std::string &line : Pattern()) {
        ASSERT_EQ(line.size(), 72u);
        EXPECT_EQ(line.substr(0, 9), "... .. 00");
        for (int32_t cell = 1; cell < 8; ++cell) {
            const std::string note = line.substr(9 * cell, 3);
            EXPECT_EQ(line.substr(9 * cell + 3, 6), " .. 00");
            if (note != "...") {
                EXPECT_NE(std::string("c.c#d.d#e.f.f#g.g#a.a#b.").find(note.substr(0, 2)), std::string::npos);
                EXPECT_GE(note[2], '0');
                EXPECT_LE(note[2], '3');
            }
        }
    }
}

TEST(Generation, EveryFrameInsideAWindowGeneratesAfreshAndNoneOutside)
{
    ASSERT_EQ(FFX_AllocPattern(), 1);
    for (int32_t i = 0; i < 64; ++i)
        EXPECT_EQ(Pattern()[i], "") << "lines start empty";
    FFX_GeneratePattern(0.0f);
    const std::vector<std::string> first = Pattern();
    FFX_GeneratePattern(0.05f);  // still row step 0
    const std::vector<std::string> second = Pattern();
    EXPECT_NE(first, second);
    FFX_GeneratePattern(0.1f);
    FFX_GeneratePattern(6.3f);
    EXPECT_EQ(Pattern(), second) << "steps 1 and 63 leave the lines alone";
    FFX_GeneratePattern(6.4f);  // step 64
    EXPECT_NE(Pattern(), second);
    const std::vector<std::string> third = Pattern();
    FFX_GeneratePattern(12.8f);  // step 128
    EXPECT_NE(Pattern(), third);
}

// The 64 lines one generation makes, drawn from a generator at `state`, which it advances.
static std::vector<std::string> ModelGeneration(uint32_t &state)
{
    static const char *const names[] = {"c.", "c#", "d.", "d#", "e.", "f.", "f#", "g.", "g#", "a.", "a#", "b."};
    auto draw = [&state] {
        state = state * 214013u + 2531011u;
        return static_cast<int32_t>((state >> 16) & 0x7FFF);
    };
    std::vector<std::string> lines;
    for (int32_t line = 0; line < 64; ++line) {
        std::string text = "... .. 00";
        for (int32_t cell = 1; cell < 8; ++cell) {
            const int32_t note = draw() & 31;
            if (note < 12) {
                text += names[note];
                text += static_cast<char>('0' + draw() % 4);
            } else {
                text += "...";
            }
            text += " .. 00";
        }
        lines.push_back(text);
    }
    return lines;
}

TEST(Generation, EachGenerationCarriesOnFromTheLastDrawNeverReseeded)
{
    // Every test runs in a fresh process, so this is also a second run of the sequence above.
    ASSERT_EQ(FFX_AllocPattern(), 1);
    uint32_t state = 1;
    FFX_GeneratePattern(0.0f);
    const std::vector<std::string> first = ModelGeneration(state);
    EXPECT_EQ(Pattern(), first);
    EXPECT_EQ(Pattern()[0], "... .. 00a.3 .. 00... .. 00e.1 .. 00... .. 00... .. 00... .. 00... .. 00");
    FFX_GeneratePattern(6.4f);
    EXPECT_EQ(Pattern(), ModelGeneration(state)) << "the second generation starts where the first stopped";
    EXPECT_NE(Pattern(), first);
    // The generator's next draw follows on from both generations' draws.
    const uint32_t next = state * 214013u + 2531011u;
    EXPECT_EQ(FFX_Random(), static_cast<int32_t>((next >> 16) & 0x7FFF));
}

class PatternView : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(FFX_Init(frame.data()), 1); }
    void Render(float seconds) { FFX_Render(frame.data(), seconds); }
    bool Shows(const char *text, int32_t x, int32_t y, uint32_t colour)
    {
        TestFrame copy = frame;
        GFX_DrawText(text, copy.data(), x, y, 640, 480, colour);
        return copy.pixels == frame.pixels;
    }
    // The row number shown on display row i, read back by trying all 64.
    int32_t RowShownAt(int32_t i)
    {
        int32_t found = -1;
        for (int32_t row = 0; row < 64; ++row) {
            char number[3];
            std::snprintf(number, sizeof number, "%02x", static_cast<unsigned>(row));
            const uint32_t colour = row % 4 == 0 ? White : Pale;
            if (Shows(number, 4, 15 * i + 202, colour) && Shows(number, 613, 15 * i + 202, colour)) {
                EXPECT_EQ(found, -1) << "two readings of display row " << i;
                found = row;
            }
        }
        return found;
    }
    TestFrame frame;
};

TEST_F(PatternView, AtClockZeroRowsZeroToSeventeenWithNineOnTheBar)
{
    Render(0.0f);
    for (int32_t i = 0; i < 18; ++i)
        EXPECT_EQ(RowShownAt(i), i);
    const std::vector<std::string> lines = Pattern();
    for (int32_t i = 0; i < 18; ++i)
        EXPECT_TRUE(Shows(lines[i].c_str(), 32, 15 * i + 202, Pale)) << i;
    // Row 09 lies on the bar at y = 337: the bar's colour shows between its glyphs.
    EXPECT_EQ(frame.at(20, 340), Panel);
    EXPECT_EQ(frame.at(20, 330), Background);
}

TEST_F(PatternView, RowsWrapPastThreeF)
{
    Render(6.0f);  // step 60
    const int32_t expected[18] = {60, 61, 62, 63, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    for (int32_t i = 0; i < 18; ++i)
        EXPECT_EQ(RowShownAt(i), expected[i]) << i;
    // Row numbers on multiples of four are white, the rest pale; '0' row 3 is 0x3C.
    EXPECT_EQ(frame.at(6, 15 * 0 + 205), White);   // "3c"
    EXPECT_EQ(frame.at(6, 15 * 1 + 205), Pale);    // "3d"
    EXPECT_EQ(frame.at(6, 15 * 4 + 205), White);   // "00"
    EXPECT_EQ(frame.at(615, 15 * 5 + 205), Pale);  // "01" on the right
}

TEST_F(PatternView, LinesAreEmptyUntilTheFirstGeneration)
{
    Render(1.0f);  // step 10: no generation yet
    for (int32_t y = 200; y < 479; ++y)
        for (int32_t x = 32; x < 608; ++x)
            if (y < 336 || y > 354) {
                ASSERT_EQ(frame.at(x, y), Background) << x << "," << y;
            }
    EXPECT_EQ(RowShownAt(0), 10);
}

TEST_F(PatternView, LastRowIsWholeAndRow479IsLeftAlone)
{
    Render(0.0f);
    const std::vector<std::string> lines = Pattern();
    // Display row 17 starts at y = 457; a note's octave digit reaches row 468.
    EXPECT_TRUE(Shows(lines[17].c_str(), 32, 457, Pale));
    EXPECT_TRUE(Shows("11", 4, 457, Pale));
    EXPECT_EQ(frame.at(7, 460), Pale);  // '1' row 3 is 0x18: columns 3, 4
    EXPECT_EQ(frame.at(8, 468), Pale);  // and its last row, 11
    for (int32_t x = 0; x < 640; ++x) {
        ASSERT_EQ(frame.at(x, 478), Background) << x;
        ASSERT_EQ(frame.at(x, 479), Untouched) << x;
    }
}

TEST_F(PatternView, HighlightBarIsRaisedAndWrapsItsOutlines)
{
    Render(0.0f);
    EXPECT_EQ(frame.at(300, 336), 0x00000000u);
    EXPECT_EQ(frame.at(300, 337), 0xFFF0F0F0u);
    EXPECT_EQ(frame.at(300, 345), Panel);
    EXPECT_EQ(frame.at(300, 353), 0xFF404040u);
    EXPECT_EQ(frame.at(300, 354), 0x00000000u);
    EXPECT_EQ(frame.at(0, 353), 0x00000000u);
    EXPECT_EQ(frame.at(639, 351), 0x00000000u);
    EXPECT_EQ(frame.at(639, 352), 0xFF404040u);
    EXPECT_EQ(frame.at(0, 345), 0xFFF0F0F0u);
    // Between the row number and the text, a whole column across the bar: a fill one row off
    // shows here.
    EXPECT_EQ(frame.at(25, 335), Background);
    EXPECT_EQ(frame.at(25, 336), 0x00000000u);
    EXPECT_EQ(frame.at(25, 337), 0xFFF0F0F0u);
    for (int32_t y = 338; y < 353; ++y)
        EXPECT_EQ(frame.at(25, y), Panel) << y;
    EXPECT_EQ(frame.at(25, 353), 0xFF404040u);
    EXPECT_EQ(frame.at(25, 354), 0x00000000u);
    EXPECT_EQ(frame.at(25, 355), Background);
}
