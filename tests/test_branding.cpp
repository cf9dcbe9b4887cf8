// Branding: what a brand puts at the top of the main panel, and the logo bitmaps.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QWidget>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/panels.h"
#include "branding/logo.h"
#include "platform/panel_builder.h"
#include "support/harness.h"

namespace {

constexpr int kBlue = 0x0080FF, kWhite = 0xFFFFFF;

int AttrOf(int control, Attr a) { return CtrlAttr(panelHandle, control, a); }

// Applies a brand; returns its text lines in creation order as "text left top size bg colour bold font".
std::vector<std::string> Apply(int brand) {
    std::size_t before = GetNewCtrls(panelHandle).size();
    ShowLogo(brand);
    std::vector<int> all = GetNewCtrls(panelHandle);
    std::vector<std::string> lines;
    for (std::size_t i = before; i < all.size(); ++i) {
        std::string text, font;
        GetCtrlVal(panelHandle, all[i], text);
        GetCtrlAttribute(panelHandle, all[i], Attr::TextFont, font);
        char look[96];
        std::snprintf(look, sizeof look, " %d %d %d %06X %06X %d ", AttrOf(all[i], Attr::Left), AttrOf(all[i], Attr::Top),
                      AttrOf(all[i], Attr::TextPointSize), AttrOf(all[i], Attr::TextBgColor),
                      AttrOf(all[i], Attr::TextColor), AttrOf(all[i], Attr::TextBold));
        lines.push_back(text + look + font);
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
    }
};

TEST_F(BrandingTest, BrandFiveAndNumbersOutsideTheTableChangeNothing) {
    for (int brand : {5, -1, 7, INT_MIN, INT_MAX}) {
        EXPECT_TRUE(Apply(brand).empty()) << brand;
        EXPECT_EQ(AttrOf(PANEL_BRANDBAND, Attr::FrameColor), 0x123456) << brand;
        EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Top), 99) << brand;
    }
}

TEST_F(BrandingTest, BrandTwoGivesFiveWhiteLinesOnBlueAroundTheLogo) {
    const std::vector<std::string> expected = {
        "ZEP4 Sensor Systems 15 7 11 0080FF FFFFFF 1 NIApp",
        "Tel: see device label 15 22 11 0080FF FFFFFF 1 NIApp",
        "Web: see manual 15 37 11 0080FF FFFFFF 1 NIApp",
        "K-VEX-ZEP4-Duvez 220 32 16 0080FF FFFFFF 1 NIApp",
        "V2.0 380 36 11 0080FF FFFFFF 1 NIApp",
    };
    EXPECT_EQ(Apply(2), expected);
    // Sizes are points, as on any other text of the desktop.
    std::vector<int> titleSizes;
    for (QLabel* l : PanelWidget(panelHandle)->findChildren<QLabel*>())
        if (l->text() == "K-VEX-ZEP4-Duvez") titleSizes.push_back(QFontInfo(l->font()).pointSize());
    ASSERT_FALSE(titleSizes.empty());
    EXPECT_EQ(titleSizes, std::vector<int>(titleSizes.size(), 16));
    EXPECT_EQ(AttrOf(PANEL_BRANDBAND, Attr::FrameColor), kBlue);
    EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Left), 175);
    EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Top), 6);
    EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Visible), 1);
}

TEST_F(BrandingTest, BrandsWithoutLogoHideItAndShowOnlyTitleAndVersion) {
    EXPECT_EQ(Apply(0), (std::vector<std::string>{"K-VEX-ZEP4-Duvez 20 20 16 FFFFFF 808080 1 NIApp",
                                                  "V2.0 180 24 11 FFFFFF 808080 1 NIApp"}));
    EXPECT_EQ(AttrOf(PANEL_BRANDBAND, Attr::FrameColor), kWhite);
    EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Visible), 0);
}

TEST(BrandingAssets, EachLogoIsASmallBitmapOnItsBandColour) {
    const auto assets = std::filesystem::path(__FILE__).parent_path().parent_path() / "src/branding/assets";
    const std::pair<const char*, int> logos[] = {
        {"zep4logo2.bmp", kBlue}, {"zep4logo3.bmp", kWhite}, {"zep4logo4.bmp", kBlue}, {"zep4logo6.bmp", kWhite}};
    for (const auto& [file, band] : logos) {
        QImage image(QString::fromStdString((assets / file).string()), "BMP");
        ASSERT_FALSE(image.isNull()) << file;
        EXPECT_LE(image.width(), 45) << file; // room between the contact lines and the title
        EXPECT_EQ(static_cast<int>(image.pixel(0, 0) & 0xFFFFFF), band) << file;
        EXPECT_NE(static_cast<int>(image.pixel(image.width() / 2, 13) & 0xFFFFFF), band) << file;
    }
}

} // namespace
