#include "gui/engine_thread.h"

#include <exception>
#include <memory>
#include <utility>

namespace korvani::gui {

EngineThread::EngineThread() : worker([this] { serve(); }) {}

EngineThread::~EngineThread() {
  {
    const std::lock_guard<std::mutex> held(lock);
    stopping = true;
  }
  queued.notify_one();
  worker.join();
}

QFuture<void> EngineThread::start(Job job) {
  auto promise = std::make_shared<QPromise<void>>();
  QFuture<void> future = promise->future();
  promise->start();
  {
    const std::lock_guard<std::mutex> held(lock);
    jobs.emplace_back([promise, work = std::move(job)] {
      if (!promise->isCanceled()) {
        try {
          work(*promise);
        } catch (...) {
          promise->setException(std::current_exception());
        }
      }
      promise->finish();
    });
  }
  queued.notify_one();
  return future;
}

void EngineThread::runAndWait(const std::function<void()>& work) {
  bool done = false;
  std::exception_ptr failure;
  std::unique_lock<std::mutex> held(lock);
  jobs.emplace_back([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    const std::lock_guard<std::mutex> reporting(lock);
    done = true;
    ended.notify_all();
  });
  queued.notify_one();
  ended.wait(held, [&] { return done; });
  held.unlock();
  if (failure) std::rethrow_exception(failure);
}

void EngineThread::serve() {
  std::unique_lock<std::mutex> held(lock);
  for (;;) {
    queued.wait(held, [this] { return stopping || !jobs.empty(); });
    if (jobs.empty()) return;
    std::function<void()> job = std::move(jobs.front());
    jobs.pop_front();
    held.unlock();
    job();
    job = nullptr;  // what the job holds is let go of before the next one is taken
    held.lock();
  }
}

}  // namespace korvani::gui
