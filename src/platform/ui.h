// SPDX-License-Identifier: GPL-3.0-or-later
// User-interface run-time over Qt Widgets and Qt Charts: the headers of all its parts.
//
// Panels and controls addressed by handle and control number, callbacks with the event codes
// the program compares against, the event loop and the nested event pump, strip charts and the
// XY graph. Nothing Qt shows through these headers.
#pragma once

#include "platform/event_loop.h"
#include "platform/ui_automation.h"
#include "platform/ui_graph.h"
#include "platform/ui_panels.h"
#include "platform/ui_picture.h"
#include "platform/ui_strip.h"
#include "platform/ui_text.h"
#include "platform/ui_values.h"
