#include "ui/qt/FileFilter.h"

#include <algorithm>

namespace ui::qt {

namespace {

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return {};
  size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t p = s.find(sep, start);
    out.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
    if (p == std::string::npos) break;
    start = p + 1;
  }
  return out;
}

std::vector<std::string> Patterns(const std::string& part) {
  std::vector<std::string> out;
  for (auto& chunk : Split(part, ';')) {
    // A blank inside a chunk separates patterns too ("*.a *.b").
    for (auto& p : Split(chunk, ' ')) {
      std::string t = Trim(p);
      if (t.empty()) continue;
      if (t == "*.*") t.resize(1);  // "*"
      if (std::find(out.begin(), out.end(), t) == out.end()) out.push_back(t);
    }
  }
  if (out.empty()) out.push_back("*");
  return out;
}

}  // namespace

std::vector<NameFilter> ParseFilterString(const std::string& filter) {
  std::vector<NameFilter> out;
  if (Trim(filter).empty()) return out;
  auto parts = Split(filter, '|');
  for (size_t i = 0; i < parts.size(); i += 2) {
    NameFilter f;
    f.label = Trim(parts[i]);
    f.patterns = Patterns(i + 1 < parts.size() ? parts[i + 1] : std::string());
    if (f.label.empty()) {
      // A trailing '|' leaves an empty pair: ignore it; an unlabelled pattern is its own label.
      if (i + 1 >= parts.size() || Trim(parts[i + 1]).empty()) continue;
      for (auto& p : f.patterns) {
        if (!f.label.empty()) f.label += ' ';
        f.label += p;
      }
    }
    out.push_back(std::move(f));
  }
  return out;
}

QStringList QtNameFilters(const std::vector<NameFilter>& filters) {
  QStringList out;
  for (auto& f : filters) {
    QString pats;
    for (auto& p : f.patterns) {
      if (!pats.isEmpty()) pats += ' ';
      pats += QString::fromStdString(p);
    }
    out << QString::fromStdString(f.label) + " (" + pats + ")";
  }
  return out;
}

std::string FilterExtension(const NameFilter& filter) {
  if (filter.patterns.empty()) return {};
  const std::string& p = filter.patterns.front();
  if (p.size() < 3 || p[0] != '*' || p[1] != '.') return {};
  std::string ext = p.substr(2);
  if (ext.find_first_of("*?[]") != std::string::npos) return {};
  return ext;
}

std::string WithDefaultExtension(const std::string& path, const std::string& defaultExt,
                                 const NameFilter* selectedFilter) {
  if (path.empty() || defaultExt.empty()) return path;
  size_t slash = path.find_last_of('/');
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (nameStart >= path.size()) return path;  // a folder, not a file name
  size_t dot = path.find_last_of('.');
  bool hasDot = dot != std::string::npos && dot > nameStart;
  if (hasDot && dot + 1 < path.size()) return path;  // already has an extension
  std::string ext = selectedFilter ? FilterExtension(*selectedFilter) : std::string();
  if (ext.empty()) ext = defaultExt;
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  return hasDot ? path + ext : path + "." + ext;  // "name." keeps its dot
}

std::vector<std::string> FocusedFirst(std::vector<std::string> files, const std::string& focused) {
  auto it = std::find(files.begin(), files.end(), focused);
  if (it != files.end() && it != files.begin()) std::rotate(files.begin(), it, it + 1);
  return files;
}

}  // namespace ui::qt
