// SPDX-License-Identifier: GPL-3.0-or-later
// User-interface run-time over Qt Widgets and Qt Charts: the headers of all its parts.
//
// Panels and controls addressed by handle and control number, callbacks with the event codes
// the program compares against, the event loop and the nested event pump, strip charts and the
// XY graph. Nothing Qt shows through these headers.
#pragma once

#include "runtime/event_loop.h"
#include "runtime/file_select.h"
#include "runtime/ui_automation.h"
#include "runtime/ui_graph.h"
#include "runtime/ui_panels.h"
#include "runtime/ui_picture.h"
#include "runtime/ui_strip.h"
#include "runtime/ui_text.h"
#include "runtime/ui_values.h"
