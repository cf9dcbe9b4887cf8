// SPDX-License-Identifier: GPL-3.0-or-later
// Branding: what each brand puts at the top of the main panel, and the logo bitmaps.

#include <QImage>
#include <QLabel>

#include <climits>
#include <cstdio>

#include "support/harness.h"

namespace {

constexpr int kBlue = 0x0080FF, kWhite = 0xFFFFFF, kGrey = 0x808080;

int AttrOf(int control, Attr a) { return CtrlAttr(panelHandle, control, a); }
QImage Rgb(const QImage& i) { return i.convertToFormat(QImage::Format_RGB32); }

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

// Brand number -> band and text colours, logo and its place, contact lines, title and version places.
TEST(Branding, EachBrandGivesItsBandLogoAndTextLines) {
    ResetFrontEnd();
    auto* logo = PanelWidget(panelHandle)->findChild<QLabel*>("PANEL_LOGO");
    ASSERT_NE(logo, nullptr);
    const struct {
        int brand, band, text;
        const char* logo;
        int logoLeft, logoTop;
        std::vector<std::string> contact;
        int titleLeft, titleTop, versionLeft, versionTop;
    } brands[] = {
        {0, kWhite, kGrey, nullptr, 98, 99, {}, 20, 20, 180, 24}, // a brand without a logo leaves its place
        {3, kWhite, kGrey, "zep4logo3.bmp", 470, 8, {}, 20, 20, 180, 24},
        {1, kBlue, kWhite, nullptr, 98, 99, {}, 20, 20, 180, 24},
        {2, kBlue, kWhite, "zep4logo2.bmp", 175, 6, {"ZEP4 Sensor Systems", "Tel: see device label", "Web: see manual"},
         220, 32, 380, 36},
        {4, kBlue, kWhite, "zep4logo4.bmp", 470, 7, {"ZEP4 Sensors OEM", "Tel: see OEM label", "Web: OEM manual"},
         220, 32, 380, 36},
        {6, kWhite, kGrey, "zep4logo6.bmp", 470, 7, {"ZEP4 Sensors Lab", "Tel: see lab label", "Web: lab manual"},
         220, 32, 380, 36},
    };
    for (const auto& b : brands) {
        SCOPED_TRACE(b.brand);
        // A look no brand gives, so any change shows.
        SetCtrlAttribute(panelHandle, PANEL_LOGO, Attr::Visible, 1);
        SetCtrlAttribute(panelHandle, PANEL_LOGO, Attr::Top, 99);
        SetCtrlAttribute(panelHandle, PANEL_LOGO, Attr::Left, 98);
        std::vector<std::string> want;
        char colours[40];
        std::snprintf(colours, sizeof colours, " %06X %06X 1 NIApp", b.band, b.text);
        const int tops[] = {7, 22, 37};
        for (size_t i = 0; i < b.contact.size(); ++i)
            want.push_back(b.contact[i] + " 15 " + std::to_string(tops[i]) + " 11" + colours);
        want.push_back("K-VEX-ZEP4-Duvez " + std::to_string(b.titleLeft) + " " + std::to_string(b.titleTop) + " 16" + colours);
        want.push_back("V2.0 " + std::to_string(b.versionLeft) + " " + std::to_string(b.versionTop) + " 11" + colours);
        EXPECT_EQ(Apply(b.brand), want);
        const int place[] = {AttrOf(PANEL_BRANDBAND, Attr::FrameColor), AttrOf(PANEL_LOGO, Attr::Visible),
                             AttrOf(PANEL_LOGO, Attr::Left), AttrOf(PANEL_LOGO, Attr::Top)};
        EXPECT_EQ(std::vector<int>(place, place + 4), std::vector<int>({b.band, !!b.logo, b.logoLeft, b.logoTop}));
        if (!b.logo) continue;
        const QImage file((std::string(proj_dir) + "/" + b.logo).c_str());
        ASSERT_FALSE(file.isNull());
        EXPECT_EQ(Rgb(logo->pixmap().toImage()), Rgb(file));
    }

    // Brand 5 and numbers outside the table change nothing.
    SetCtrlAttribute(panelHandle, PANEL_BRANDBAND, Attr::FrameColor, 0x123456);
    for (int brand : {5, -1, 7, INT_MIN, INT_MAX}) {
        EXPECT_TRUE(Apply(brand).empty()) << brand;
        EXPECT_EQ(AttrOf(PANEL_BRANDBAND, Attr::FrameColor), 0x123456) << brand;
        EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Top), 7) << brand;
    }
}

} // namespace
