// SPDX-License-Identifier: GPL-3.0-or-later
// Branding: what each brand puts at the top of the main panel, and the logo bitmaps.

#include <QFontInfo>
#include <QFontMetricsF>
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

// Text lines made since `before` that run into one another or into the logo, at 96 dpi and at
// 144 (the same places, glyphs of 1.5 times the pixels): the ink of each from its baseline.
std::string Overlaps(std::size_t before) {
    QWidget* panel = PanelWidget(panelHandle);
    std::string out;
    for (double dpi : {96.0, 144.0}) {
        QImage device(1, 1, QImage::Format_RGB32);
        device.setDotsPerMeterX(qRound(dpi / 0.0254)), device.setDotsPerMeterY(qRound(dpi / 0.0254));
        std::vector<std::pair<QString, QRectF>> boxes;
        if (AttrOf(PANEL_LOGO, Attr::Visible)) boxes.push_back({"logo", panel->findChild<QLabel*>("PANEL_LOGO")->geometry()});
        const std::vector<int> all = GetNewCtrls(panelHandle);
        for (std::size_t i = before; i < all.size(); ++i) {
            auto* l = panel->findChild<QLabel*>(QString("NEWCTRL_%1").arg(all[i]));
            const QFontMetricsF fm(l->font(), &device);
            const QPointF baseline = l->mapTo(panel, l->contentsRect().topLeft()) + QPointF(0, fm.ascent() * 96 / dpi);
            const QRectF ink = fm.tightBoundingRect(l->text());
            boxes.push_back({l->text(), QRectF(baseline + ink.topLeft() * 96 / dpi, ink.size() * 96 / dpi)});
        }
        for (std::size_t i = 0; i < boxes.size(); ++i)
            for (std::size_t j = i + 1; j < boxes.size(); ++j)
                if (boxes[i].second.intersects(boxes[j].second))
                    out += (boxes[i].first + "|" + boxes[j].first).toStdString() + " at " + std::to_string(int(dpi)) + "; ";
    }
    return out;
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
        {0, kWhite, kGrey, nullptr, 0, 0, {}, 20, 20, 180, 24},
        {3, kWhite, kGrey, "zep4logo3.bmp", 470, 8, {}, 20, 20, 180, 24},
        {1, kBlue, kWhite, nullptr, 0, 0, {}, 20, 20, 180, 24},
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
        const std::size_t before = GetNewCtrls(panelHandle).size();
        EXPECT_EQ(Apply(b.brand), want);
        EXPECT_EQ(Overlaps(before), "");
        EXPECT_EQ(AttrOf(PANEL_BRANDBAND, Attr::FrameColor), b.band);
        EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Visible), b.logo ? 1 : 0);
        if (!b.logo) continue;
        EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Left), b.logoLeft);
        EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Top), b.logoTop);
        const QImage file((std::string(proj_dir) + "/" + b.logo).c_str());
        ASSERT_FALSE(file.isNull());
        EXPECT_EQ(Rgb(logo->pixmap().toImage()), Rgb(file));
        // A small bitmap on the band's colour.
        EXPECT_LE(file.width(), 45); // room between the contact lines and the title
        EXPECT_EQ(static_cast<int>(file.pixel(0, 0) & 0xFFFFFF), b.band);
        EXPECT_NE(static_cast<int>(file.pixel(file.width() / 2, 13) & 0xFFFFFF), b.band);
    }
    // Sizes are points, as on any other text of the desktop.
    for (QLabel* l : PanelWidget(panelHandle)->findChildren<QLabel*>())
        EXPECT_TRUE(l->text() != "K-VEX-ZEP4-Duvez" || QFontInfo(l->font()).pointSize() == 16);

    // Brand 5 and numbers outside the table change nothing.
    SetCtrlAttribute(panelHandle, PANEL_BRANDBAND, Attr::FrameColor, 0x123456);
    for (int brand : {5, -1, 7, INT_MIN, INT_MAX}) {
        EXPECT_TRUE(Apply(brand).empty()) << brand;
        EXPECT_EQ(AttrOf(PANEL_BRANDBAND, Attr::FrameColor), 0x123456) << brand;
        EXPECT_EQ(AttrOf(PANEL_LOGO, Attr::Top), 7) << brand;
    }
}

} // namespace
