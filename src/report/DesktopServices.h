#pragma once

// The real outside services of the program's windows: message boxes, the browser and mail
// program, and the error window as the reporter of unexpected errors. The program installs
// them at start; tests install doubles instead.
namespace DesktopServices {
void install();
} // namespace DesktopServices
