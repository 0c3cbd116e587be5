// Texts of the sprite maker's window, made without the window toolkit so that they can be
// tested: names turned into labels and list lines that the toolkit draws as written, and the
// about box's text. Pure functions; any thread.
#pragma once

#include <string>

// The about box's first line.
constexpr const char* kVintrelVersionText = "Vintrel Version 1.0";

// `text` as a widget label that is drawn literally. Labels read '@' as the start of a symbol
// name (at the start and at the end of a label), so every '@' is doubled; with `shortcuts`
// (buttons and menu items, which read '&' as the mark of their shortcut letter) every '&' is
// doubled too. A plain text comes back unchanged.
std::string LiteralLabel(const std::string& text, bool shortcuts);

// `text` as a line of a list box that is drawn literally. A list line that starts with '@'
// begins with format codes, so such a line gets the prefix "@.", which ends them.
std::string LiteralListLine(const std::string& text);

// The about box's text: the version line, "Built " `date` " at " `time`, and the program's
// notice, one per line ('\n').
std::string AboutText(const char* date, const char* time);
// The about box's text of this build.
std::string AboutText();
