// Jobs made in order by one reader, worked on by several threads, and finished in the order they
// were made: the shape of `extract --jobs N`.
//
// Each job passes four steps:
//   make    on the calling thread, in order: the reader (opens a mail file, cuts an mbox);
//   parse   on any worker, several jobs at once;
//   claim   on a worker, one job at a time and in the order the jobs were made: what must be
//           decided as a single run decides it (the names of folders and files);
//   work    on any worker, several jobs at once;
//   finish  on the calling thread, in order: everything said and recorded (messages, listing,
//           manifest, counts).
// At most `window` jobs are between make and finish at any time, so that memory stays bounded
// whatever the number of mails; the reader waits while the window is full. With one worker no
// thread is started: each job is made, parsed, claimed, worked on and finished in turn.
//
// `finish` returns false to stop the run: no job is made after that, and the jobs already taken
// by a worker are finished by it but not handed to `finish`. The steps' callables are called
// without any lock held; a step that touches what another step touches guards it itself.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace korvani::cli {

template <typename Job>
struct PipelineSteps {
  // Fills the next job; false when there is none left.
  std::function<bool(Job&)> make;
  std::function<void(Job&)> parse;
  std::function<void(Job&)> claim;
  std::function<void(Job&)> work;
  std::function<bool(Job&)> finish;
};

template <typename Job>
void runPipeline(std::size_t workers, std::size_t window, const PipelineSteps<Job>& steps) {
  if (workers <= 1) {
    for (;;) {
      Job job;
      if (!steps.make(job)) return;
      steps.parse(job);
      steps.claim(job);
      steps.work(job);
      if (!steps.finish(job)) return;
    }
  }
  struct Slot {
    Job job;
    std::size_t number = 0;
    bool done = false;
  };
  std::mutex lock;
  std::condition_variable changed;
  std::deque<std::unique_ptr<Slot>> inFlight;  // made and not yet finished, in order
  std::size_t made = 0;                        // jobs made so far
  std::size_t taken = 0;                       // of those, taken by a worker
  std::size_t claimTurn = 0;                   // the job whose claim comes next
  bool noMore = false;                         // no job will be made any more
  bool stopping = false;

  auto worker = [&] {
    for (;;) {
      Slot* slot = nullptr;
      {
        std::unique_lock<std::mutex> held(lock);
        changed.wait(held, [&] { return stopping || taken < made || noMore; });
        if (stopping || taken == made) return;
        slot = inFlight[inFlight.size() - (made - taken)].get();
        ++taken;
      }
      steps.parse(slot->job);
      {
        std::unique_lock<std::mutex> held(lock);
        // The jobs before this one are all taken (they are taken in order) and each of them
        // reaches its claim, so this wait ends.
        changed.wait(held, [&] { return claimTurn == slot->number; });
      }
      steps.claim(slot->job);
      {
        const std::lock_guard<std::mutex> held(lock);
        ++claimTurn;
      }
      changed.notify_all();
      steps.work(slot->job);
      {
        const std::lock_guard<std::mutex> held(lock);
        slot->done = true;
      }
      changed.notify_all();
    }
  };
  std::vector<std::thread> threads;
  threads.reserve(workers);
  for (std::size_t n = 0; n < workers; ++n) threads.emplace_back(worker);

  std::unique_lock<std::mutex> held(lock);
  for (;;) {
    if (!inFlight.empty() && inFlight.front()->done) {
      std::unique_ptr<Slot> slot = std::move(inFlight.front());
      inFlight.pop_front();
      held.unlock();
      const bool goOn = steps.finish(slot->job);
      slot.reset();
      held.lock();
      if (!goOn) {
        stopping = true;
        noMore = true;
        break;
      }
      continue;
    }
    if (!noMore && inFlight.size() < window) {
      held.unlock();
      auto slot = std::make_unique<Slot>();
      const bool more = steps.make(slot->job);
      held.lock();
      if (more) {
        slot->number = made++;
        inFlight.push_back(std::move(slot));
      } else {
        noMore = true;
      }
      held.unlock();
      changed.notify_all();
      held.lock();
      continue;
    }
    if (noMore && inFlight.empty()) break;
    changed.wait(held);
  }
  held.unlock();
  changed.notify_all();
  for (std::thread& thread : threads) thread.join();
}

}  // namespace korvani::cli
