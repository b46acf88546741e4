#pragma once
// The per-user settings store (sections of text keys): last folders, last input kind, a few
// option values and tool-window positions. When it cannot be opened or written, writes are
// skipped and reads give the defaults.
#include <string>

namespace ui {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual bool isOpen() const = 0;
  virtual bool valueExists(const std::string& section, const std::string& key) const = 0;
  virtual std::string readString(const std::string& section, const std::string& key,
                                 const std::string& def) const = 0;
  virtual void writeString(const std::string& section, const std::string& key, const std::string& value) = 0;
  void writeInteger(const std::string& section, const std::string& key, long long v) {
    writeString(section, key, std::to_string(v));
  }
  void writeBool(const std::string& section, const std::string& key, bool v) {
    writeString(section, key, v ? "1" : "0");
  }
};

// A store that is never open: every write is skipped, every read answers the default.
class NullSettingsStore : public SettingsStore {
 public:
  bool isOpen() const override { return false; }
  bool valueExists(const std::string&, const std::string&) const override { return false; }
  std::string readString(const std::string&, const std::string&, const std::string& def) const override {
    return def;
  }
  void writeString(const std::string&, const std::string&, const std::string&) override {}
};

}  // namespace ui

namespace ui {

// Forwards to the store in force; before one is set it behaves as a closed store.
class SettingsStoreProxy : public SettingsStore {
 public:
  void setTarget(SettingsStore* target) { target_ = target; }
  bool isOpen() const override { return target_ && target_->isOpen(); }
  bool valueExists(const std::string& s, const std::string& k) const override {
    return target_ && target_->valueExists(s, k);
  }
  std::string readString(const std::string& s, const std::string& k, const std::string& def) const override {
    return target_ ? target_->readString(s, k, def) : def;
  }
  void writeString(const std::string& s, const std::string& k, const std::string& v) override {
    if (target_) target_->writeString(s, k, v);
  }

 private:
  SettingsStore* target_ = nullptr;
};

}  // namespace ui
