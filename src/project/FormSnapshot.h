#pragma once
// The settings snapshot: the main window's placement and a fixed list of control properties,
// stored in an INI section "Form" as Name_Property=value. The form-settings file and every
// project file carry it.
#include <string>
#include <vector>

#include "ui/FormModel.h"

namespace project {

class TBigIniFile;

// "Bias.Value", "BlurBox.Checked", ... in the order they are written.
const std::vector<std::string>& StoredProperties();

// Writes the placement lines and every stored property into section "Form". Throws
// PelinoxaError when a listed control does not exist.
void StoreFormSnapshot(const ui::Form& form, TBigIniFile& ini);
// Restores what the section holds, setting the values as code would (events fire). A value the
// control refuses keeps the control as it is; the returned lines say which and why.
std::vector<std::string> RestoreFormSnapshot(ui::Form& form, const TBigIniFile& ini);

}  // namespace project
