// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of the charts and the scope view for a report: the file's name picks the kind.
#include <cctype>
#include <ctime>
#include <string>

#include "link/com232.h"
#include "live/live.h"
#include "panel/panel.h"
#include "runtime/ui.h"

namespace {

bool EndsWith(const std::string& s, const char* tail) {
    const std::string t = tail;
    if (s.size() < t.size()) return false;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - t.size() + i])) != t[i]) return false;
    return true;
}

std::string Now() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) ? text : "";
}

} // namespace

void SaveChartPicture(int panel, int control) {
    char chosen[MAX_PATHNAME_LEN];
    if (ChooseFile("zep4-chart.png", "PNG image (*.png);;PNG image, twice the pixels (*@2x.png);;SVG drawing (*.svg)",
                   "Save picture", SelectButton::Save, false, chosen) <= 0)
        return;

    // "name.svg" is a drawing, "name@2x.png" twice the screen's pixels, any other name a PNG
    // (under the very name the chooser asked about replacing).
    const std::string path = chosen;
    const bool svg = EndsWith(path, ".svg");
    const double scale = EndsWith(path, "@2x.png") ? 2.0 : 1.0;
    const std::string software = std::string(szSoftname) + " " + szSoftversion;
    const int r = SavePicture(panel, control, chosen, svg ? PictureFormat::Svg : PictureFormat::Png, scale,
                              {{"Creation Time", Now()},
                               {"Firmware", szFirmware[0] ? szFirmware : "(not read)"},
                               {"Software", software}});
    ShowStatus(r == 0 ? "Picture saved!" : "Cannot write the picture file!");
}
