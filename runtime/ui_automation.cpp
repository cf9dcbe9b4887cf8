// SPDX-License-Identifier: GPL-3.0-or-later
// Automation: events delivered, controls operated, windows closed as a user would; images.
#include "runtime/ui_automation.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLayout>
#include <QPixmap>
#include <QWidget>

#include "runtime/ui_refresh.h"
#include "runtime/ui_tables.h"

using namespace ui;

int CallCtrlCallback(int panel, int control, int event, int eventData1, int eventData2) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    return Deliver(panel, control, event, eventData1, eventData2);
}

int CallPanelCallback(int panel, int event, int eventData1, int eventData2) {
    Panel* p = FindPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    return p->cb ? p->cb(panel, event, nullptr, eventData1, eventData2) : 0;
}

int OperateCtrl(int panel, int control) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    if (c->kind == CtrlKind::CommandButton) {
        Deliver(panel, control, EVENT_LEFT_CLICK);
        Deliver(panel, control, EVENT_COMMIT);
        return 0;
    }
    if (c->kind == CtrlKind::ToggleButton || c->kind == CtrlKind::RadioButton || c->kind == CtrlKind::BinarySwitch) {
        long long v = 0; // a click flips it
        GetInt(*c, v);
        return OperateCtrl(panel, control, v ? 0 : 1);
    }
    Deliver(panel, control, EVENT_COMMIT);
    return 0;
}

int OperateCtrl(int panel, int control, int newValue) {
    Ctrl* c;
    if (int err = Lookup(panel, control, c)) return err;
    switch (c->kind) {
    case CtrlKind::Numeric:
    case CtrlKind::Ring:
    case CtrlKind::ToggleButton:
    case CtrlKind::RadioButton:
    case CtrlKind::BinarySwitch: {
        int changed = SetInt(*c, newValue);
        if (changed > 0) Deliver(panel, control, EVENT_VAL_CHANGED);
        Deliver(panel, control, EVENT_COMMIT);
        return 0;
    }
    case CtrlKind::CommandButton: return OperateCtrl(panel, control);
    default: return UIE_BAD_CONTROL;
    }
}

int ClosePanelWindow(int panel) {
    Panel* p = FindPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    QCloseEvent e;
    QCoreApplication::sendEvent(p->win, &e);
    return 0;
}

int SavePanelImage(int panel, const char* path) {
    Panel* p = FindPanel(panel);
    if (!p) return UIE_BAD_PANEL;
    if (!path) return UIE_FILE_ERROR;
    RunRefresh(); // the image shows the newest values
    if (p->win->layout()) p->win->layout()->activate();
    return p->win->grab().save(QString::fromUtf8(path), "PNG") ? 0 : UIE_FILE_ERROR;
}
