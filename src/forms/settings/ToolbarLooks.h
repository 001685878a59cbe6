#pragma once
// The toolbar layer: the three looks of a main window's toolbars and menu
// bar, and the toolbar layout (which toolbars show, where they are docked, in
// which order, where they float) kept in the settings store.
//
// The looks, in the order kToolbarLooks lists them:
//   "Default"   the platform's own toolbars, untouched;
//   "OfficeXP"  a flat band in warm beige, buttons without a frame until the
//               pointer is over them, then a thin blue frame on a pale blue
//               ground;
//   "Stripes"   a background of horizontal bands in two shades of blue-grey,
//               buttons with a rounded frame when the pointer is over them.
// A look is a style sheet on each toolbar and the menu bar, and nothing
// else, so that switching to another look leaves nothing of the last one.
#include <QString>
#include <string>

#include "document/AppSettings.h"

class QMainWindow;
class TSettingsStore;

// Gives every toolbar and the menu bar of window the look named name (any
// letter case; an unknown name gives the first look) and returns the name in
// force. Toolbars added later keep the platform's look until the next call.
std::string ApplyToolbarLook(QMainWindow& window, const std::string& name);
// The name of the look last applied to window; the first look when none was.
std::string ToolbarLookInForce(const QMainWindow& window);
// The style sheet a look puts on toolbars; empty for the first.
QString ToolbarLookStyleSheet(const std::string& name);

// The layout value's name in the key and the format version it carries;
// a layout of another version is not used.
inline constexpr const char* kToolbarLayoutValue = "Layout";
inline constexpr int kToolbarLayoutVersion = 1;

// Writes the layout of window's toolbars into the key (created when
// missing), and closes it. Every toolbar needs its objectName. Returns the
// store's message on failure ("Failed to set data for '%s'", "Cannot create
// file %s"), empty on success.
std::string SaveToolbarLayout(const QMainWindow& window, TSettingsStore& store,
                              const std::string& key = kToolbarLayoutKey);

// Restores the layout stored in the key, if any, and closes the key. A
// layout that cannot be used (damaged, of another version, or a value of
// the wrong type) leaves the toolbars as they were; a layout that could be
// read is checked afterwards: a toolbar left without a dock is docked again
// where it was, and a floating toolbar whose handle is on no screen is
// docked again too, so that no toolbar is lost. A toolbar the layout hides
// stays hidden: the View menu shows it again. Returns the message for the
// user (a value of the wrong type only), empty otherwise.
std::string RestoreToolbarLayout(QMainWindow& window, TSettingsStore& store,
                                 const std::string& key = kToolbarLayoutKey);
