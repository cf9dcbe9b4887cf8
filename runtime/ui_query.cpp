// SPDX-License-Identifier: GPL-3.0-or-later
// Read-only look into the panel and control tables, for tests and tools.
#include "runtime/ui_query.h"

#include <QWidget>

#include "runtime/ui_tables.h"

using namespace ui;

bool GetCtrlInfo(int panel, int control, CtrlKind& kind, std::string& name, CtrlCallbackPtr& callback) {
    Ctrl* c = FindCtrl(panel, control);
    if (!c) return false;
    kind = c->kind;
    name = c->name;
    callback = c->cb;
    return true;
}

std::vector<int> GetPanelCtrls(int panel) {
    Panel* p = FindPanel(panel);
    return p ? p->order : std::vector<int>{};
}

std::string GetPanelTitle(int panel) {
    Panel* p = FindPanel(panel);
    return p ? p->win->windowTitle().toStdString() : std::string{};
}
