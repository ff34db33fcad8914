#pragma once

// The program's start: shows the About box, whose "Continue" leads to the main window, and
// lets an error report give the main window back its Exit button.
void Main();
