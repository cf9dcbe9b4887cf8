// SPDX-License-Identifier: GPL-3.0-or-later
// Inside runtime/ only: the paced refresh of strip charts, numeric displays and progress bars.
//
// Live answers come 25 or more times a second; the strip charts and numeric displays they
// feed are redrawn together at a steady pace instead.
#pragma once

class LedView;
class ProgressView;
class QString;
class ValueView;

namespace ui {

struct Chart;

// A display's new number, shown at the next refresh pass.
void QueueValue(ValueView* v, double value);
// A progress bar's new value, shown at the next refresh pass (or when the bar is shown).
void QueueProgress(ProgressView* v, int value);
// A lamp's new look, shown at the next refresh pass.
void QueueLed(LedView* v, const QString& css);
// A strip chart whose traces changed, redrawn at the next pass unless hidden.
void ScheduleStrip(Chart& ch);
// The refresh pass, run now.
void RunRefresh();

} // namespace ui
