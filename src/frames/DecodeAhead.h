#pragma once
// Decodes one video frame on a worker thread while the user-interface thread works on the
// previous one. Only one decode runs at a time and every decode of the same source is ordered
// (callers wait for the job in flight before decoding themselves), so pictures are exactly
// those of decoding in turn.
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "frames/VideoSource.h"
#include "ui/Bitmap24.h"

namespace frames {

class DecodeAhead {
 public:
  DecodeAhead();
  ~DecodeAhead();
  DecodeAhead(const DecodeAhead&) = delete;
  DecodeAhead& operator=(const DecodeAhead&) = delete;

  // Starts decoding `frame` of `video` (waiting for any job in flight first).
  void Start(std::shared_ptr<VideoSource> video, int frame);
  // Waits for the job in flight; afterwards nothing decodes behind the caller's back.
  void Wait();
  // When the last job decoded `frame` of `video`, swaps its picture into `out` (rethrowing its
  // error) and returns true; otherwise drops it and returns false.
  bool Take(const VideoSource* video, int frame, ui::Bitmap24& out);
  // Drops any finished or running job's result.
  void Drop();

 private:
  void Run();
  std::mutex m_;
  std::condition_variable cv_;
  std::thread worker_;
  std::shared_ptr<VideoSource> video_;
  int frame_ = -1;
  bool pending_ = false, busy_ = false, stop_ = false, ready_ = false;
  ui::Bitmap24 picture_;
  std::exception_ptr error_;
};

}  // namespace frames
