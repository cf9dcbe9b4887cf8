// SPDX-License-Identifier: GPL-3.0-or-later
// Working both panels without a mouse and with a screen reader: the Tab order, the controls'
// accessible names and the status line's announcements.

#include <QAccessible>
#include <QApplication>
#include <QRegularExpression>

#include <set>

#include "support/harness.h"

namespace {

QWidget* Control(int panel, int id) {
    CtrlKind kind;
    std::string name;
    CtrlCallbackPtr cb;
    if (!GetCtrlInfo(panel, id, kind, name, cb)) return nullptr;
    return PanelWidget(panel)->findChild<QWidget*>(QString::fromStdString(name));
}

// Object names of the controls Tab visits in the active window, from the first one round to it again.
std::vector<std::string> TabCycle(int panel, int first) {
    DisplayPanel(panel);
    PanelWidget(panel)->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(PanelWidget(panel)));
    Control(panel, first)->setFocus(Qt::TabFocusReason);
    std::vector<std::string> names;
    for (QWidget* f = QApplication::focusWidget(); f && names.size() < 100;) {
        names.push_back(f->objectName().toStdString());
        QTest::keyClick(f, Qt::Key_Tab);
        f = QApplication::focusWidget();
        if (f == Control(panel, first)) break;
    }
    return names;
}

TEST(Access, EveryControlHasItsOwnNameChannelAndTabStopAndTheStatusLineSaysItsNewestText) {
    ResetFrontEnd();
    // What only shows takes no input: the band, texts, lamps and number displays; and what is
    // hidden: channel B's power behind A's, the raw chart and the scope view behind the band chart
    // (a chart takes the keyboard for its context menu). The order made is the reading order,
    // pinned with each control's place.
    const std::vector<int> mainPassive = {
        PANEL_BRANDBAND, PANEL_LOGO, PANEL_RECLOCK, PANEL_STOPRECENABLE, PANEL_POWERB, PANEL_RAWCHART,
        PANEL_DATAGRAPH, PANEL_VALUEA, PANEL_VALUEB, PANEL_ADCA, PANEL_ADCB, PANEL_AMAX, PANEL_BMAX,
        PANEL_MAXVALA, PANEL_MAXVALB, PANEL_MINVALA, PANEL_MINVALB, PANEL_TOLVAL, PANEL_INPUTLED0, PANEL_INPUTLED8};
    const std::vector<int> popupPassive = {POPUP_RECDAYS, POPUP_RECHOURS, POPUP_RECMINUTES, POPUP_RECSECONDS,
                                           POPUP_RECCOUNT, POPUP_RECPROGRESS};
    std::set<std::string> names;
    for (const auto& [panel, first, passive] :
         {std::tuple<int, int, std::vector<int>>{panelHandle, PANEL_DROPDCOM, mainPassive}, {panelPopUp, POPUP_EVALMODE, popupPassive}}) {
        const std::vector<int> made = GetNewCtrls(panel); // the brand's text lines: they say their text, take no input
        std::vector<std::string> tabs;
        for (int id : GetPanelCtrls(panel)) {
            if (std::find(made.begin(), made.end(), id) != made.end()) continue;
            QWidget* w = Control(panel, id);
            ASSERT_NE(w, nullptr) << id;
            const std::string name = w->accessibleName().toStdString();
            SCOPED_TRACE(w->objectName().toStdString() + " \"" + name + "\"");
            EXPECT_FALSE(name.empty());
            EXPECT_TRUE(names.insert(name).second) << "said of two controls";
            if (std::find(passive.begin(), passive.end(), id) == passive.end())
                tabs.push_back(w->objectName().toStdString());
        }
        EXPECT_EQ(TabCycle(panel, first), tabs);
    }
    HidePanel(panelPopUp);
    // Channel A and B controls of the same kind: each name says its own channel.
    auto channel = [](int id) { // which channel the name says, "AB" for both, "" for none
        const QString n = Control(panelHandle, id)->accessibleName();
        return std::string(n.contains(QRegularExpression("CH-?A")) ? "A" : "") +
               (n.contains(QRegularExpression("CH-?B")) ? "B" : "");
    };
    for (const auto& [a, b] : {std::pair{PANEL_VALUEA, PANEL_VALUEB}, {PANEL_ADCA, PANEL_ADCB}, {PANEL_AMAX, PANEL_BMAX},
                               {PANEL_MAXVALA, PANEL_MAXVALB}, {PANEL_MINVALA, PANEL_MINVALB},
                               {PANEL_POWERA, PANEL_POWERB}, {PANEL_REFA, PANEL_REFB}, {PANEL_TOLA, PANEL_TOLB}})
        EXPECT_EQ(channel(a) + "|" + channel(b), "A|B") << a << " " << b;
    // The status line reads as status with its newest text. Screen readers are told of a change
    // of the description (the toolkit does it); offscreen no reader listens, so what is checked
    // is what one would read.
    QAccessibleInterface* status = QAccessible::queryAccessibleInterface(Control(panelHandle, PANEL_STATUS));
    ASSERT_NE(status, nullptr);
    ShowStatus("Echo Check - Line Ok!");
    ShowStatus("Timeout-RS-232...");
    EXPECT_EQ(status->text(QAccessible::Name).toStdString() + "|" + status->text(QAccessible::Description).toStdString(),
              "Status|Timeout-RS-232...");
    // A label the program changes at run time leaves a name the form gave.
    SetCtrlAttribute(panelHandle, PANEL_VALUEA, Attr::LabelText, "NORM-A/Amax");
    EXPECT_EQ(Control(panelHandle, PANEL_VALUEA)->accessibleName(), "CH-A NORM");
}

} // namespace
