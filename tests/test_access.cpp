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

// Shows the panel as the active window with the keyboard focus on a control.
void FocusOn(int panel, int id) {
    QWidget* win = PanelWidget(panel);
    DisplayPanel(panel);
    win->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(win));
    Control(panel, id)->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), Control(panel, id));
}

// Object names of the controls Tab visits, from the first one round to it again.
std::vector<std::string> TabCycle(int panel, int first) {
    FocusOn(panel, first);
    std::vector<std::string> names;
    for (QWidget* f = QApplication::focusWidget(); f && names.size() < 100;) {
        names.push_back(f->objectName().toStdString());
        QTest::keyClick(f, Qt::Key_Tab);
        f = QApplication::focusWidget();
        if (f == Control(panel, first)) break;
    }
    return names;
}

TEST(Keyboard, TabFollowsTheReadingOrderOfEachPanel) {
    ResetFrontEnd();
    // Left column top to bottom, then the middle; charts and number displays take no input.
    std::vector<std::string> main = {
        "PANEL_DROPDCOM", "PANEL_BTNRUN", "PANEL_BTNSTOP", "PANEL_BTNDATA", "PANEL_GRAPHSOURCE",
        "PANEL_RBTRAM", "PANEL_RBTEEPROM", "PANEL_RBTFILE", "PANEL_BTNSEND", "PANEL_BTNGET",
        "PANEL_BUTTONTEACH", "PANEL_BUTTONRESET", "PANEL_BUTTONREFRESH", "PANEL_POWERSWITCH", "PANEL_POWERA",
        "PANEL_REFA", "PANEL_REFB", "PANEL_TOLA", "PANEL_TOLB", "PANEL_HYSTERESIS", "PANEL_HWMODE",
        "PANEL_TOGBTNPARAII", "PANEL_EVALMODETEXT", "PANEL_TRIGMODETEXT", "PANEL_OUTMODETEXT",
        "PANEL_ANAMODETEXT", "PANEL_STATUS"};
    EXPECT_EQ(TabCycle(panelHandle, PANEL_DROPDCOM), main);
    Choose(panelHandle, PANEL_POWERSWITCH, 0); // channel B's power shows in A's place
    main[14] = "PANEL_POWERB";
    EXPECT_EQ(TabCycle(panelHandle, PANEL_DROPDCOM), main);
    Choose(panelHandle, PANEL_POWERSWITCH, 1);
    const std::vector<std::string> popup = {
        "POPUP_EVALMODE", "POPUP_TRIGMODE", "POPUP_OUTMODE", "POPUP_ANAMODE", "POPUP_TRIGLVLA", "POPUP_TRIGLVLB",
        "POPUP_SDELAY", "POPUP_HOLD", "POPUP_AVERAGE", "POPUP_POLARITY", "POPUP_MAXMODE", "POPUP_RECINTERVAL",
        "POPUP_RECSAMPLES", "POPUP_RECFILENAME", "POPUP_RECFILEBTN", "POPUP_RECSTART", "POPUP_RECSTOP",
        "POPUP_RECSTATUS"};
    EXPECT_EQ(TabCycle(panelPopUp, POPUP_EVALMODE), popup);
    HidePanel(panelPopUp);
}

TEST(ScreenReader, EveryControlHasItsOwnNameAndChannelPairsSayTheirChannel) {
    ResetFrontEnd();
    std::set<std::string> names;
    int controls = 0;
    for (int panel : {panelHandle, panelPopUp}) {
        const std::vector<int> made = GetNewCtrls(panel); // the brand's text lines say their text
        for (int id : GetPanelCtrls(panel)) {
            if (std::find(made.begin(), made.end(), id) != made.end()) continue;
            QWidget* w = Control(panel, id);
            ASSERT_NE(w, nullptr) << id;
            const std::string name = w->accessibleName().toStdString();
            SCOPED_TRACE(w->objectName().toStdString() + " \"" + name + "\"");
            EXPECT_FALSE(name.empty());
            EXPECT_TRUE(names.insert(name).second) << "said of two controls";
            ++controls;
        }
    }
    EXPECT_GT(controls, 60);
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
    // A label the program changes at run time leaves a name the form gave.
    SetCtrlAttribute(panelHandle, PANEL_VALUEA, Attr::LabelText, "NORM-A/Amax");
    EXPECT_EQ(Control(panelHandle, PANEL_VALUEA)->accessibleName(), "CH-A NORM");
    SetCtrlAttribute(panelHandle, PANEL_VALUEA, Attr::LabelText, "NORM");
}

// Screen readers are told of a change of the description (the toolkit does it); offscreen no
// reader listens, so what is checked is what one would read.
TEST(ScreenReader, StatusLineReadsAsStatusWithTheNewestText) {
    ResetFrontEnd();
    QAccessibleInterface* status = QAccessible::queryAccessibleInterface(Control(panelHandle, PANEL_STATUS));
    ASSERT_NE(status, nullptr);
    for (const char* text : {"Echo Check - Line Ok!", "ZEP4-SIM Firmware V1.07", "Timeout-RS-232..."}) {
        ShowStatus(text);
        EXPECT_EQ(status->text(QAccessible::Name).toStdString(), "Status");
        EXPECT_EQ(status->text(QAccessible::Description).toStdString(), text);
    }
}

} // namespace
