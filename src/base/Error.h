#pragma once
#include <stdexcept>
#include <string>

namespace px {

// An error whose text is meant for the user: the event dispatch shows it in an error box
// and ends the running operation; the program stays usable.
class PelinoxaError : public std::runtime_error {
 public:
  explicit PelinoxaError(const std::string& text) : std::runtime_error(text) {}
};

// Raised by the headless services when a script cannot go on (a question nobody answered,
// an error box). It passes through the event dispatch instead of being shown.
class ScriptAbort : public std::runtime_error {
 public:
  explicit ScriptAbort(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace px
