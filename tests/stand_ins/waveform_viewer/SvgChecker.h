// A strict little XML reader for the viewer's SVG output: it refuses what a browser would refuse
// (unbalanced tags, unquoted attributes, stray "&" or "<", control characters) and lists elements.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tolvex::ondulix::test {

struct TSvgElement {
  std::string Name;
  std::map<std::string, std::string> Attributes;  // values with entities resolved
  std::string Text;                               // the text directly inside, entities resolved
  std::vector<std::string> Classes() const {
    std::vector<std::string> classes;
    const auto it = Attributes.find("class");
    if (it == Attributes.end()) return classes;
    std::string word;
    for (const char c : it->second + " ") {
      if (c != ' ') {
        word += c;
      } else if (!word.empty()) {
        classes.push_back(word);
        word.clear();
      }
    }
    return classes;
  }
  bool HasClass(const std::string& name) const {
    for (const std::string& c : Classes())
      if (c == name) return true;
    return false;
  }
  std::string Get(const std::string& key) const {
    const auto it = Attributes.find(key);
    return it == Attributes.end() ? std::string() : it->second;
  }
};

struct TSvgDocument {
  bool Ok = false;
  std::string Error;
  std::vector<TSvgElement> Elements;  // in document order
  std::vector<const TSvgElement*> Named(const std::string& name) const {
    std::vector<const TSvgElement*> out;
    for (const TSvgElement& e : Elements)
      if (e.Name == name) out.push_back(&e);
    return out;
  }
};

inline bool ResolveEntities(std::string_view text, std::string& out, std::string& error) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (static_cast<unsigned char>(c) < 32 && c != '\n' && c != '\t' && c != '\r') {
      error = "control character in text";
      return false;
    }
    if (c == '<') {
      error = "raw < in text";
      return false;
    }
    if (c != '&') {
      out += c;
      continue;
    }
    const std::size_t end = text.find(';', i);
    if (end == std::string_view::npos) {
      error = "unterminated entity";
      return false;
    }
    const std::string_view entity = text.substr(i + 1, end - i - 1);
    if (entity == "amp")
      out += '&';
    else if (entity == "lt")
      out += '<';
    else if (entity == "gt")
      out += '>';
    else if (entity == "quot")
      out += '"';
    else if (entity == "apos")
      out += '\'';
    else {
      error = "unknown entity &" + std::string(entity) + ";";
      return false;
    }
    i = end;
  }
  return true;
}

inline TSvgDocument ParseSvg(std::string_view text) {
  TSvgDocument doc;
  std::vector<std::size_t> open;  // indexes of open elements
  std::size_t i = 0;
  auto fail = [&](std::string message) {
    doc.Error = message + " at offset " + std::to_string(i);
    return doc;
  };
  if (text.substr(0, 5) == "<?xml") {
    i = text.find("?>");
    if (i == std::string_view::npos) return fail("unterminated declaration");
    i += 2;
  }
  bool rootSeen = false;
  while (i < text.size()) {
    const std::size_t lt = text.find('<', i);
    const std::string_view between = text.substr(i, lt == std::string_view::npos ? text.npos : lt - i);
    std::string resolved, error;
    if (!ResolveEntities(between, resolved, error)) return fail(error);
    if (open.empty() && resolved.find_first_not_of(" \n\r\t") != std::string::npos)
      return fail("text outside the root element");
    if (!open.empty()) doc.Elements[open.back()].Text += resolved;
    if (lt == std::string_view::npos) break;
    i = lt + 1;
    if (i < text.size() && text[i] == '/') {
      const std::size_t gt = text.find('>', i);
      if (gt == std::string_view::npos) return fail("unterminated end tag");
      const std::string name(text.substr(i + 1, gt - i - 1));
      if (open.empty() || doc.Elements[open.back()].Name != name) return fail("mismatched </" + name + ">");
      open.pop_back();
      i = gt + 1;
      continue;
    }
    if (open.empty() && rootSeen) return fail("a second root element");
    TSvgElement element;
    while (i < text.size() && text[i] != ' ' && text[i] != '>' && text[i] != '/' && text[i] != '\n')
      element.Name += text[i++];
    if (element.Name.empty()) return fail("empty tag name");
    bool selfClosing = false;
    for (;;) {
      while (i < text.size() && (text[i] == ' ' || text[i] == '\n')) ++i;
      if (i >= text.size()) return fail("unterminated tag");
      if (text[i] == '>') {
        ++i;
        break;
      }
      if (text[i] == '/' && i + 1 < text.size() && text[i + 1] == '>') {
        selfClosing = true;
        i += 2;
        break;
      }
      std::string key;
      while (i < text.size() && text[i] != '=' && text[i] != ' ' && text[i] != '>') key += text[i++];
      if (i >= text.size() || text[i] != '=' || i + 1 >= text.size() || text[i + 1] != '"')
        return fail("attribute " + key + " without a quoted value");
      i += 2;
      const std::size_t quote = text.find('"', i);
      if (quote == std::string_view::npos) return fail("unterminated attribute " + key);
      std::string value;
      if (!ResolveEntities(text.substr(i, quote - i), value, error)) return fail(error + " in attribute " + key);
      if (element.Attributes.count(key)) return fail("attribute " + key + " given twice");
      element.Attributes[key] = value;
      i = quote + 1;
    }
    rootSeen = true;
    doc.Elements.push_back(std::move(element));
    if (!selfClosing) open.push_back(doc.Elements.size() - 1);
  }
  if (!open.empty()) return fail("unclosed <" + doc.Elements[open.back()].Name + ">");
  if (doc.Elements.empty() || doc.Elements.front().Name != "svg") return fail("the root is not <svg>");
  doc.Ok = true;
  return doc;
}

// The points of a polyline's "points" attribute; false when one is not a number pair.
inline bool PolylinePoints(const std::string& points, std::vector<std::pair<double, double>>& out) {
  std::size_t i = 0;
  while (i < points.size()) {
    while (i < points.size() && points[i] == ' ') ++i;
    if (i == points.size()) break;
    std::size_t end = points.find(' ', i);
    if (end == std::string::npos) end = points.size();
    const std::string pair = points.substr(i, end - i);
    const std::size_t comma = pair.find(',');
    if (comma == std::string::npos) return false;
    try {
      std::size_t used = 0;
      const double x = std::stod(pair.substr(0, comma), &used);
      if (used != comma) return false;
      const double y = std::stod(pair.substr(comma + 1), &used);
      if (used != pair.size() - comma - 1) return false;
      out.emplace_back(x, y);
    } catch (...) {
      return false;
    }
    i = end;
  }
  return true;
}

}  // namespace tolvex::ondulix::test
