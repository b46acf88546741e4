#pragma once
// Raises a flag for as long as a scope runs and lowers it however the scope ends (returns,
// exceptions), so a run that fails half way never leaves "busy" behind.
namespace px {

class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace px
