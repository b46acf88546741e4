#pragma once
// Pure helpers behind the Qt file dialogs: the classic filter string ("Label|*.a;*.b|..."),
// the default extension of a saved name, and the order of a multi-selection.
#include <QStringList>
#include <string>
#include <vector>

namespace ui::qt {

struct NameFilter {
  std::string label;
  std::vector<std::string> patterns;  // "*.avi", "*" ...; never empty
};

// "Label|*.a;*.b|Label2|*.c" -> {Label: *.a *.b}, {Label2: *.c}. Blanks around patterns and
// empty patterns (a trailing ';') are dropped; "*.*" becomes "*" (every file, dotted or not);
// a label without a pattern part matches every file.
std::vector<NameFilter> ParseFilterString(const std::string& filter);

// Qt name filters "Label (*.a *.b)", one per filter, in order (show them with
// QFileDialog::HideNameFilterDetails so the user reads the program's own labels).
QStringList QtNameFilters(const std::vector<NameFilter>& filters);

// The concrete extension of a filter whose first pattern is "*.ext" (no wildcards), else "".
std::string FilterExtension(const NameFilter& filter);

// A typed save name without an extension gets one: the selected filter's concrete extension
// when it has one, else defaultExt. Nothing is appended when defaultExt is empty (the
// program asked for no default) or the name already has an extension.
std::string WithDefaultExtension(const std::string& path, const std::string& defaultExt,
                                 const NameFilter* selectedFilter);

// The multi-selection with the focused file moved to the front (order otherwise kept).
std::vector<std::string> FocusedFirst(std::vector<std::string> files, const std::string& focused);

}  // namespace ui::qt
