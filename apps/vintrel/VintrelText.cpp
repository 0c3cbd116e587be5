#include "VintrelText.h"

std::string LiteralLabel(const std::string& text, bool shortcuts) {
  std::string out;
  out.reserve(text.size() + 4);
  for (char c : text) {
    if (c == '@' || (shortcuts && c == '&')) out += c;
    out += c;
  }
  return out;
}

std::string LiteralListLine(const std::string& text) {
  if (!text.empty() && text[0] == '@') return "@." + text;
  return text;
}

std::string AboutText(const char* date, const char* time) {
  std::string text = kVintrelVersionText;
  text += "\nBuilt ";
  text += date;
  text += " at ";
  text += time;
  text += "\nBuilds the sprites and draw groups of game objects.";
  return text;
}

std::string AboutText() { return AboutText(__DATE__, __TIME__); }
