// SPDX-License-Identifier: GPL-3.0-or-later
// The event loop and the nested event pump that waiting loops are built on.
#pragma once

// Runs the event loop until QuitUserInterface; returns the code given to it.
int RunUserInterface();
int QuitUserInterface(int code);
// Runs whatever user-interface and serial events are pending (their callbacks run inside)
// and returns. When nothing is pending it sleeps until the next event arrives or a few
// milliseconds pass, so a waiting loop built on it does not keep a core busy.
int ProcessSystemEvents();
// The same for a loop that waits for an event or the time wakeBy (a Timer() value): it sleeps
// until the next event or wakeBy without the periodic wake-up, so a loop woken by its answers
// is not also woken every few milliseconds to look at its clock.
int ProcessSystemEvents(double wakeBy);
// How many times the user-interface thread's loop has settled to wait for events, counted from
// the first call (which starts the count and returns 0). Lets a test bound the wake-ups a
// piece of work costs.
long LoopSleeps();
