// Branding: what each brand puts at the top of the main panel, and the logo bitmaps.
#include <gtest/gtest.h>

#include <QImage>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/panels.h"
#include "branding/logo.h"
#include "platform/ui.h"
#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

constexpr int kBlue = 0x0080FF, kWhite = 0xFFFFFF, kGrey = 0x808080;

struct Line {
    std::string text;
    int left, top, size, bg, colour, bold;
    std::string font;
};

int AttrOf(int control, Attr a) {
    int v = -1;
    GetCtrlAttribute(panelHandle, control, a, v);
    return v;
}

// Runs a brand and returns the text lines it created, in creation order.
std::vector<Line> Apply(int brand) {
    std::size_t before = GetNewCtrls(panelHandle).size();
    ShowLogo(brand);
    std::vector<int> all = GetNewCtrls(panelHandle);
    std::vector<Line> lines;
    for (std::size_t i = before; i < all.size(); ++i) {
        int c = all[i];
        Line l;
        GetCtrlVal(panelHandle, c, l.text);
        l.left = AttrOf(c, Attr::Left);
        l.top = AttrOf(c, Attr::Top);
        l.size = AttrOf(c, Attr::TextPointSize);
        l.bg = AttrOf(c, Attr::TextBgColor);
        l.colour = AttrOf(c, Attr::TextColor);
        l.bold = AttrOf(c, Attr::TextBold);
        GetCtrlAttribute(panelHandle, c, Attr::TextFont, l.font);
        lines.push_back(l);
    }
    return lines;
}

class BrandingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetFrontEnd();
        // A look no brand gives, so any change shows.
        SetCtrlAttribute(panelHandle, PANEL_BRANDBAND, Attr::FrameColor, 0x123456);
        SetCtrlAttribute(panelHandle, PANEL_LOGO, Attr::Visible, 1);
        SetCtrlAttribute(panelHandle, PANEL_LOGO, Attr::Top, 99);
        SetCtrlAttribute(panelHandle, PANEL_LOGO, Attr::Left, 98);
    }
};

TEST_F(BrandingTest, BrandFiveAndNumbersOutsideTheTableChangeNothing) {
    for (int brand : {5, -1, 7, 100, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(brand);
        EXPECT_TRUE(Apply(brand).empty());
        EXPECT_EQ(AttrOf(PANEL_BRANDBAND, Attr::FrameColor), 0x123456);
        EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Visible), 1);
        EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Top), 99);
        EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Left), 98);
    }
}

TEST_F(BrandingTest, BrandTwoGivesFiveWhiteLinesOnBlueAndPlacesTheLogo) {
    std::vector<Line> lines = Apply(2);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(AttrOf(PANEL_BRANDBAND, Attr::FrameColor), kBlue);
    EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Left), 175);
    EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Top), 6);
    EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Visible), 1);

    EXPECT_EQ(lines[0].text, "ZEP4 Sensor Systems");
    EXPECT_EQ(lines[1].text, "Tel: see device label");
    EXPECT_EQ(lines[2].text, "Web: see manual");
    EXPECT_EQ(lines[3].text, "K-VEX-ZEP4-Duvez");
    EXPECT_EQ(lines[4].text, "V2.0");
    const int lefts[5] = {15, 15, 15, 220, 380}, tops[5] = {7, 22, 37, 32, 36}, sizes[5] = {11, 11, 11, 16, 11};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(lines[i].text);
        EXPECT_EQ(lines[i].left, lefts[i]);
        EXPECT_EQ(lines[i].top, tops[i]);
        EXPECT_EQ(lines[i].size, sizes[i]);
        EXPECT_EQ(lines[i].bg, kBlue);
        EXPECT_EQ(lines[i].colour, kWhite);
        EXPECT_EQ(lines[i].bold, 1);
        EXPECT_EQ(lines[i].font, "NIApp");
    }
    // The logo sits between the contact lines and the title.
    EXPECT_LT(lines[0].left, 175);
    EXPECT_LT(175, lines[3].left);
}

TEST_F(BrandingTest, OtherBrandsFollowTheirRows) {
    struct Row {
        int brand, band, text;
        bool logo;
        int logoLeft, logoTop;
        std::size_t lines;
        int titleLeft, titleTop, versionLeft, versionTop;
    };
    const Row rows[] = {
        {0, kWhite, kGrey, false, 0, 0, 2, 20, 20, 180, 24},
        {1, kBlue, kWhite, false, 0, 0, 2, 20, 20, 180, 24},
        {3, kWhite, kGrey, true, 470, 8, 2, 20, 20, 180, 24},
        {4, kBlue, kWhite, true, 470, 7, 5, 220, 32, 380, 36},
        {6, kWhite, kGrey, true, 470, 7, 5, 220, 32, 380, 36},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.brand);
        SetUp();
        std::vector<Line> lines = Apply(r.brand);
        ASSERT_EQ(lines.size(), r.lines);
        EXPECT_EQ(AttrOf(PANEL_BRANDBAND, Attr::FrameColor), r.band);
        if (r.logo) {
            EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Visible), 1);
            EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Left), r.logoLeft);
            EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Top), r.logoTop);
        } else {
            EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Visible), 0);
        }
        for (const auto& l : lines) {
            EXPECT_EQ(l.bg, r.band);
            EXPECT_EQ(l.colour, r.text);
        }
        const Line& title = lines[lines.size() - 2];
        const Line& version = lines.back();
        EXPECT_EQ(title.text, "K-VEX-ZEP4-Duvez");
        EXPECT_EQ(title.left, r.titleLeft);
        EXPECT_EQ(title.top, r.titleTop);
        EXPECT_EQ(title.size, 16);
        EXPECT_EQ(version.text, "V2.0");
        EXPECT_EQ(version.left, r.versionLeft);
        EXPECT_EQ(version.top, r.versionTop);
        EXPECT_EQ(version.size, 11);
        if (r.lines == 5)
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(lines[i].left, 15);
                EXPECT_EQ(lines[i].top, 7 + 15 * i);
                EXPECT_FALSE(lines[i].text.empty());
            }
    }
}

TEST_F(BrandingTest, InfoTextMakesOneLabelWithItsLook) {
    std::size_t before = GetNewCtrls(panelHandle).size();
    ShowInfoText(0x102030, 0x405060, "Channel A & B", 33, 44, 13);
    std::vector<int> all = GetNewCtrls(panelHandle);
    ASSERT_EQ(all.size(), before + 1);
    int c = all.back();
    std::string text, font;
    GetCtrlVal(panelHandle, c, text);
    GetCtrlAttribute(panelHandle, c, Attr::TextFont, font);
    EXPECT_EQ(text, "Channel A & B");
    EXPECT_EQ(font, "NIApp");
    EXPECT_EQ(AttrOf(c, Attr::Left), 33);
    EXPECT_EQ(AttrOf(c, Attr::Top), 44);
    EXPECT_EQ(AttrOf(c, Attr::TextPointSize), 13);
    EXPECT_EQ(AttrOf(c, Attr::TextBgColor), 0x102030);
    EXPECT_EQ(AttrOf(c, Attr::TextColor), 0x405060);
    EXPECT_EQ(AttrOf(c, Attr::TextBold), 1);
}

TEST(BrandingAssets, EachLogoRowHasASmallBitmapOnItsBandColour) {
    const fs::path assets = fs::path(__FILE__).parent_path().parent_path() / "src" / "branding" / "assets";
    const struct {
        const char* file;
        int band;
    } logos[] = {{"zep4logo2.bmp", kBlue}, {"zep4logo3.bmp", kWhite}, {"zep4logo4.bmp", kBlue}, {"zep4logo6.bmp", kWhite}};
    for (const auto& l : logos) {
        SCOPED_TRACE(l.file);
        QImage image(QString::fromStdString((assets / l.file).string()), "BMP");
        ASSERT_FALSE(image.isNull());
        // It fits between the contact lines (which end near 170) and the title at 220.
        EXPECT_LE(image.width(), 45);
        EXPECT_LE(image.height(), 48);
        EXPECT_EQ(static_cast<int>(image.pixel(0, 0) & 0xFFFFFF), l.band);
        EXPECT_EQ(static_cast<int>(image.pixel(image.width() - 1, image.height() - 1) & 0xFFFFFF), l.band);
        EXPECT_NE(static_cast<int>(image.pixel(image.width() / 2, image.height() / 2 - 7) & 0xFFFFFF), l.band);
    }
}

} // namespace
