// The mail window's one engine thread: jobs run on it one after another, in the order given.
//
// Jobs are handed over through a mutex and a condition variable of the standard library, so the
// hand-over is one ThreadSanitizer sees: everything the window thread did before giving a job is
// seen by the job, and everything a job did is seen by a caller of runAndWait when it returns.
// A job given with start reports through a QPromise; its QFuture cancels it and shows its
// progress.
#pragma once

#include <QFuture>
#include <QPromise>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace korvani::gui {

class EngineThread {
 public:
  using Job = std::function<void(QPromise<void>&)>;

  EngineThread();
  // Runs the jobs still waiting (a cancelled one finishes without running), then ends the thread.
  ~EngineThread();
  EngineThread(const EngineThread&) = delete;
  EngineThread& operator=(const EngineThread&) = delete;

  // Queues `job`; the future is started at once and finished when the job has ended. A job whose
  // future is cancelled before it begins does not run.
  QFuture<void> start(Job job);
  // Runs `work` on the thread after the jobs already queued and returns when it has ended.
  void runAndWait(const std::function<void()>& work);

 private:
  void serve();

  std::mutex lock;
  std::condition_variable queued;
  std::condition_variable ended;
  std::deque<std::function<void()>> jobs;
  bool stopping = false;
  std::thread worker;
};

}  // namespace korvani::gui
