// Timing run-time.
#pragma once

// Seconds from a steady clock.
double Timer();
// Sleeps without processing any events.
void Delay(double seconds);
