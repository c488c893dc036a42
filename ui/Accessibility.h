#pragma once

// What a screen reader is told about the program's own widgets: the activity log is a list
// whose lines it reads, and the main window is a frame. Qt knows neither by itself.
namespace Accessibility
{

// Installs the factory of those interfaces; once is enough, more calls do nothing.
void InstallInterfaces();

} // namespace Accessibility
