#include "frames/DecodeAhead.h"

#include <utility>

namespace frames {

DecodeAhead::DecodeAhead() = default;

DecodeAhead::~DecodeAhead() {
  {
    std::lock_guard<std::mutex> lock(m_);
    stop_ = true;
  }
  cv_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void DecodeAhead::Run() {
  std::unique_lock<std::mutex> lock(m_);
  for (;;) {
    cv_.wait(lock, [this] { return stop_ || pending_; });
    if (stop_) return;
    pending_ = false;
    busy_ = true;
    std::shared_ptr<VideoSource> video = video_;
    const int frame = frame_;
    lock.unlock();
    std::exception_ptr error;
    try {
      video->decodeFrame(frame, picture_);
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    error_ = error;
    busy_ = false;
    ready_ = true;
    cv_.notify_all();
  }
}

void DecodeAhead::Wait() {
  std::unique_lock<std::mutex> lock(m_);
  cv_.wait(lock, [this] { return !pending_ && !busy_; });
}

void DecodeAhead::Start(std::shared_ptr<VideoSource> video, int frame) {
  Wait();
  {
    std::lock_guard<std::mutex> lock(m_);
    if (!worker_.joinable()) worker_ = std::thread([this] { Run(); });
    video_ = std::move(video);
    frame_ = frame;
    ready_ = false;
    error_ = nullptr;
    pending_ = true;
  }
  cv_.notify_all();
}

bool DecodeAhead::Take(const VideoSource* video, int frame, ui::Bitmap24& out) {
  Wait();
  std::lock_guard<std::mutex> lock(m_);
  if (!ready_ || video_.get() != video || frame_ != frame) {
    ready_ = false;
    return false;
  }
  ready_ = false;
  if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
  std::swap(out, picture_);
  return true;
}

void DecodeAhead::Drop() {
  Wait();
  std::lock_guard<std::mutex> lock(m_);
  ready_ = false;
  error_ = nullptr;
  video_.reset();
}

}  // namespace frames
