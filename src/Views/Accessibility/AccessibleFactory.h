#pragma once

// Screen-reader interfaces for the widgets that paint their own items (the job list's rows,
// pills and buttons, the status bar's parts, segmented controls and model tabs). Installed once,
// after the application object exists; later calls do nothing.
namespace AccessibleFactory
{
void install();
} // namespace AccessibleFactory
