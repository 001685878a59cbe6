#pragma once
// The program's own button images, drawn as SVG in resources/icons.
#include <QIcon>

// Registers the bundled images and help pages; safe to call repeatedly.
void InitQuiltorResources();

// The icon named name (without folder or extension), rendered crisply at the
// sizes toolbars and menus use. A missing image raises an assertion failure:
// every name used is one of ours.
QIcon LoadIcon(const char* name);
