// The registration state as the batch tool dumps it.
#include "registration/RegistrationController.h"

namespace registration {

px::Json RegistrationController::DumpJson() const {
  px::Json j = px::Json::object();
  px::Json feature = px::Json::object();
  feature["HotX"] = st_.HotX;
  feature["HotY"] = st_.HotY;
  j["feature"] = feature;
  px::Json box = px::Json::object();
  box["BoxX"] = st_.BoxX;
  box["BoxY"] = st_.BoxY;
  box["FFTSize"] = engine_->FFTSize();
  j["box"] = box;
  j["RefFrame"] = st_.RefFrame;
  j["WorkStatus"] = static_cast<int>(st_.WorkStatus);
  px::Json track = px::Json::object();
  track["TrackX"] = st_.TrackX;
  track["TrackY"] = st_.TrackY;
  track["TrackVX"] = st_.TrackVX;
  track["TrackVY"] = st_.TrackVY;
  j["tracking"] = track;
  j["LastPeak"] = st_.LastPeak;
  j["FilterRadius2"] = st_.FilterRadius2;
  j["ResampleFactor"] = st_.ResampleFactor;
  j["AutoStack"] = AutoStack();
  j["OptimizerTotal"] = OptimizerTotal();
  j["OptimizerPassSum"] = OptimizerPassSum();
  j["FFTWindowCaption"] = c_.FFTWindow.caption();
  j["Log"] = c_.Memo2.text();
  return j;
}

}  // namespace registration
