#pragma once

// Lets the event loop run so that the window repaints and Cancel can be pressed. Pumps events
// only when some milliseconds have passed since the last pump, so a loop over 100,000 files
// does not repaint 100,000 times; callers read the cancel flag after every call all the same.
void Yield();

// Pumps events now, whatever the time since the last pump (at the end of a run).
void YieldNow();
