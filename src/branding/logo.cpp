// SPDX-License-Identifier: GPL-3.0-or-later
// Branding: the coloured band, the logo and the text lines at the top of the main panel.
#include "branding/logo.h"

#include "panel/panel.h"
#include "runtime/files.h"
#include "runtime/ui.h"

#include <fstream>

#include <array>

namespace {

constexpr int kBlue = 0x0080FF, kWhite = 0xFFFFFF, kGrey = 0x808080;

struct TextPlace {
    int left, top, size;
};

constexpr TextPlace kTitleLeft{20, 20, 16}, kVersionLeft{180, 24, 11};
constexpr TextPlace kTitleRight{220, 32, 16}, kVersionRight{380, 36, 11};

// Contact lines: company, telephone, web address. Short: they end before the logo at left 175.
constexpr const char* kSystems[] = {"ZEP4 Sensor Systems", "Tel: see device label", "Web: see manual"};
constexpr const char* kOem[] = {"ZEP4 Sensors OEM", "Tel: see OEM label", "Web: OEM manual"};
constexpr const char* kLab[] = {"ZEP4 Sensors Lab", "Tel: see lab label", "Web: lab manual"};
constexpr int kContactLeft = 15, kContactSize = 11;
constexpr int kContactTops[] = {7, 22, 37};

struct Brand {
    bool design = true;           // false: the panel is left as it is
    int band{}, text{};
    const char* logo{};           // bare bitmap name, looked up beside the program; null: no logo
    int logoLeft{}, logoTop{};
    const char* const* contact{}; // null: no contact lines
    TextPlace title = kTitleLeft, version = kVersionLeft;
};

// at() below as well: a number the check lets through stops the program rather than reading
// past the table.
constexpr auto kBrands = std::to_array<Brand>({
    {.band = kWhite, .text = kGrey},
    {.band = kBlue, .text = kWhite},
    {.band = kBlue, .text = kWhite, .logo = "zep4logo2.bmp", .logoLeft = 175, .logoTop = 6, .contact = kSystems,
     .title = kTitleRight, .version = kVersionRight},
    {.band = kWhite, .text = kGrey, .logo = "zep4logo3.bmp", .logoLeft = 470, .logoTop = 8},
    {.band = kBlue, .text = kWhite, .logo = "zep4logo4.bmp", .logoLeft = 470, .logoTop = 7, .contact = kOem,
     .title = kTitleRight, .version = kVersionRight},
    {.design = false},
    {.band = kWhite, .text = kGrey, .logo = "zep4logo6.bmp", .logoLeft = 470, .logoTop = 7, .contact = kLab,
     .title = kTitleRight, .version = kVersionRight},
});

bool Readable(const char* path) { return std::ifstream(path).good(); }

} // namespace

int LogoPath(const char* programDir, const char* file, char (&path)[MAX_PATHNAME_LEN]) {
    char data[MAX_PATHNAME_LEN], installed[MAX_PATHNAME_LEN];
    const bool beside = MakePathname(programDir, file, path) == 0;
    if (beside && Readable(path)) return 0;
    if (MakePathname(programDir, ZEP4_DATA_FROM_BIN, data) == 0 && MakePathname(data, file, installed) == 0 &&
        Readable(installed)) {
        CopyText(path, installed);
        return 0;
    }
    return -1;
}

void ShowInfoText(int background, int textColour, const char* text, int left, int top, int pointSize) {
    // Without a panel every call below fails and changes nothing.
    int ctrl = NewCtrl(panelHandle, CtrlKind::TextMessage, "", top, left);
    SetCtrlAttribute(panelHandle, ctrl, Attr::TextFont, "NIApp");
    SetCtrlAttribute(panelHandle, ctrl, Attr::TextBold, true);
    SetCtrlAttribute(panelHandle, ctrl, Attr::TextBgColor, background);
    SetCtrlAttribute(panelHandle, ctrl, Attr::TextColor, textColour);
    SetCtrlAttribute(panelHandle, ctrl, Attr::TextPointSize, pointSize);
    SetCtrlVal(panelHandle, ctrl, text ? text : "");
}

void ShowLogo(int brand) {
    if (brand < 0 || brand >= static_cast<int>(kBrands.size())) return;
    const Brand& b = kBrands.at(static_cast<std::size_t>(brand));
    if (!b.design) return;

    SetCtrlAttribute(panelHandle, PANEL_BRANDBAND, Attr::FrameColor, b.band);
    if (!b.logo) {
        SetCtrlAttribute(panelHandle, PANEL_LOGO, Attr::Visible, false);
    } else {
        SetCtrlAttribute(panelHandle, PANEL_LOGO, Attr::Top, b.logoTop);
        SetCtrlAttribute(panelHandle, PANEL_LOGO, Attr::Left, b.logoLeft);
        char dir[MAX_PATHNAME_LEN];
        char path[MAX_PATHNAME_LEN];
        GetProjectDir(dir);
        LogoPath(dir, b.logo, path);
        DisplayImageFile(panelHandle, PANEL_LOGO, path); // a missing file keeps the picture
    }
    for (int i = 0; b.contact && i < 3; ++i)
        ShowInfoText(b.band, b.text, b.contact[i], kContactLeft, kContactTops[i], kContactSize);
    ShowInfoText(b.band, b.text, szSoftname, b.title.left, b.title.top, b.title.size);
    ShowInfoText(b.band, b.text, szSoftversion, b.version.left, b.version.top, b.version.size);
}
