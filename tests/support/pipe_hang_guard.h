// A hang guard for a named pipe that a test offers to code that must never
// wait on it: should that code wait anyway (an open waiting for the other
// end, a write waiting for room), the guard opens both of the pipe's ends
// after a minute and drains it until the guard ends, so that the wait
// returns and the test fails on what it then finds instead of hanging.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class PipeHangGuard {
 public:
  explicit PipeHangGuard(std::string pipe)
      : pipe_(std::move(pipe)), thread_([this] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (changed_.wait_for(lock, std::chrono::minutes(1), [this] { return done_; })) return;
          // The reading end first: with a reader there, the writing end
          // opens at once too (and a waiting open for reading returns).
          const int reading = open(pipe_.c_str(), O_RDONLY | O_NONBLOCK);
          const int writing = open(pipe_.c_str(), O_WRONLY | O_NONBLOCK);
          while (!done_) {
            lock.unlock();
            pollfd ready{reading, POLLIN, 0};
            char buffer[4096];
            if (reading < 0 || poll(&ready, 1, 20) <= 0 || read(reading, buffer, sizeof buffer) <= 0)
              std::this_thread::sleep_for(std::chrono::milliseconds(20));
            lock.lock();
          }
          for (int fd : {reading, writing})
            if (fd >= 0) close(fd);
        }) {}
  ~PipeHangGuard() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  PipeHangGuard(const PipeHangGuard&) = delete;
  PipeHangGuard& operator=(const PipeHangGuard&) = delete;

 private:
  std::string pipe_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  std::thread thread_;
};
