#include <gtest/gtest.h>

#include <climits>

#include "platform/platform.h"
#include "ui/anchor_layout.h"

// Every anchor code, including those the program's own dialogs do not use.
TEST(AnchorLayoutCalc, CornersForTheWindowRectangle)
{
    // The main dialog's worked example: 360 x 110 dragged to 480 x 200 elsewhere on the screen.
    const CRect reg(200, 150, 560, 260), dragged(-40, 700, 440, 900);
    const CRect sq(0, 0, 200, 200), sq3(50, 60, 350, 360), big(0, 0, 400, 300), off(120, 80, 520, 380);
    const struct { CRect now, initial; int code; CSize offset; CPoint expected; } cases[] = {
        {dragged, reg, ANCHOR_TOPLEFT, {11, 10}, {11, 10}},
        {dragged, reg, ANCHOR_BOTTOMRIGHT, {-49, -34}, {431, 166}},
        {dragged, reg, ANCHOR_TOPRIGHT_SCALEY, {-55, 26}, {425, 47}},
        {dragged, reg, ANCHOR_TOPRIGHT_SCALEY, {-11, 58}, {469, 105}},
        // 3 : 2 truncates toward zero: -10.5 is -10, not -11.
        {sq3, sq, ANCHOR_TOPLEFT_SCALEX, {-7, 0}, {-10, 0}},
        {sq3, sq, ANCHOR_BOTTOMLEFT_SCALEX, {-7, -7}, {-10, 293}},
        {sq3, sq, ANCHOR_TOPRIGHT_SCALEY, {-7, -7}, {293, -10}},
        {sq, CRect(0, 0, 300, 300), ANCHOR_TOPLEFT_SCALEX, {-10, 0}, {-6, 0}},
        // A zero initial extent scales nothing; the other extent still scales.
        {big, CRect(100, 100, 100, 100), ANCHOR_TOPLEFT_SCALEX, {13, 17}, {13, 17}},
        {big, CRect(100, 100, 100, 100), ANCHOR_TOPRIGHT_SCALEY, {-13, 17}, {387, 17}},
        {big, CRect(0, 0, 0, 150), ANCHOR_TOPLEFT_SCALEY, {13, 17}, {13, 34}},
        // Unknown codes anchor at the screen origin.
        {off, sq, 8, {6, -4}, {-114, -84}},
        {off, sq, INT_MIN, {6, -4}, {-114, -84}},
    };
    for (const auto& c : cases) {
        AnchorCorner corner;
        corner.m_nAnchor = c.code;
        corner.m_offset = c.offset;
        const CPoint p = CalcAnchorCorner(c.now, c.initial, corner);
        EXPECT_TRUE(p == c.expected) << "code " << c.code << " offset " << c.offset.cx << "," << c.offset.cy
                                     << ": " << p.x << "," << p.y;
    }
}
