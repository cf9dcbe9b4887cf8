// Branding: the coloured band, the logo and the text lines at the top of the main panel.
#include "branding/logo.h"

#include "app/app.h"
#include "app/panels.h"
#include "platform/files.h"
#include "platform/ui.h"

#include <fstream>

namespace {

constexpr int kBlue = 0x0080FF, kWhite = 0xFFFFFF, kGrey = 0x808080;

struct TextPlace {
    int left, top, size;
};

struct Brand {
    bool design;               // false: the panel is left as it is
    int band, text;
    const char* logo;          // bare bitmap name, looked up beside the program; null: no logo
    int logoLeft, logoTop;
    // company, telephone, web address; null: no contact lines. Short: they end before the
    // logo at left 175.
    const char* contact[3];
    TextPlace title, version;
};

constexpr TextPlace kTitleLeft{20, 20, 16}, kVersionLeft{180, 24, 11};
constexpr TextPlace kTitleRight{220, 32, 16}, kVersionRight{380, 36, 11};

const Brand kBrands[7] = {
    {true, kWhite, kGrey, nullptr, 0, 0, {nullptr, nullptr, nullptr}, kTitleLeft, kVersionLeft},
    {true, kBlue, kWhite, nullptr, 0, 0, {nullptr, nullptr, nullptr}, kTitleLeft, kVersionLeft},
    {true, kBlue, kWhite, "zep4logo2.bmp", 175, 6,
     {"ZEP4 Sensor Systems", "Tel: see device label", "Web: see manual"},
     kTitleRight, kVersionRight},
    {true, kWhite, kGrey, "zep4logo3.bmp", 470, 8, {nullptr, nullptr, nullptr}, kTitleLeft, kVersionLeft},
    {true, kBlue, kWhite, "zep4logo4.bmp", 470, 7,
     {"ZEP4 Sensors OEM", "Tel: see OEM label", "Web: OEM manual"},
     kTitleRight, kVersionRight},
    {false, 0, 0, nullptr, 0, 0, {nullptr, nullptr, nullptr}, {}, {}},
    {true, kWhite, kGrey, "zep4logo6.bmp", 470, 7,
     {"ZEP4 Sensors Lab", "Tel: see lab label", "Web: lab manual"},
     kTitleRight, kVersionRight},
};

constexpr int kContactLeft = 15, kContactSize = 11;
constexpr int kContactTops[3] = {7, 22, 37};

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
    int ctrl = NewCtrl(panelHandle, CtrlKind::TextMessage, "", top, left);
    if (ctrl <= 0) return;
    SetCtrlAttribute(panelHandle, ctrl, Attr::TextFont, "NIApp");
    SetCtrlAttribute(panelHandle, ctrl, Attr::TextBold, 1);
    SetCtrlAttribute(panelHandle, ctrl, Attr::TextBgColor, background);
    SetCtrlAttribute(panelHandle, ctrl, Attr::TextColor, textColour);
    SetCtrlAttribute(panelHandle, ctrl, Attr::TextPointSize, pointSize);
    SetCtrlVal(panelHandle, ctrl, text ? text : "");
}

void ShowLogo(int brand) {
    if (brand < 0 || brand > 6) return;
    const Brand& b = kBrands[brand];
    if (!b.design) return;

    SetCtrlAttribute(panelHandle, PANEL_BRANDBAND, Attr::FrameColor, b.band);
    if (!b.logo) {
        SetCtrlAttribute(panelHandle, PANEL_LOGO, Attr::Visible, 0);
    } else {
        SetCtrlAttribute(panelHandle, PANEL_LOGO, Attr::Top, b.logoTop);
        SetCtrlAttribute(panelHandle, PANEL_LOGO, Attr::Left, b.logoLeft);
        char dir[MAX_PATHNAME_LEN];
        char path[MAX_PATHNAME_LEN];
        GetProjectDir(dir);
        LogoPath(dir, b.logo, path);
        if (path[0]) DisplayImageFile(panelHandle, PANEL_LOGO, path);
    }
    if (b.contact[0]) {
        for (int i = 0; i < 3; ++i)
            ShowInfoText(b.band, b.text, b.contact[i], kContactLeft, kContactTops[i], kContactSize);
    }
    ShowInfoText(b.band, b.text, szSoftname, b.title.left, b.title.top, b.title.size);
    ShowInfoText(b.band, b.text, szSoftversion, b.version.left, b.version.top, b.version.size);
}
