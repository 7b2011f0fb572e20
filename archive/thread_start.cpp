#include "archive/thread_start.h"

#include <memory>
#include <mutex>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

std::thread StartBeside(std::function<void()> work) {
#if defined(__linux__)
  // Which of the two comes first is not known: the thread is narrowed to the other
  // processors only if it has not started yet, and widened again only if it was narrowed.
  struct Placement {
    std::mutex mutex;
    bool started = false, narrowed = false;
    cpu_set_t allowed;
  };
  auto placement = std::make_shared<Placement>();
  const int cpu = sched_getcpu();
  const bool apart = cpu >= 0 && cpu < CPU_SETSIZE &&
                     sched_getaffinity(0, sizeof placement->allowed, &placement->allowed) == 0 &&
                     CPU_ISSET(cpu, &placement->allowed) && CPU_COUNT(&placement->allowed) > 1;
  std::thread thread([placement, work = std::move(work)] {
    {
      std::lock_guard<std::mutex> lock(placement->mutex);
      placement->started = true;
      if (placement->narrowed) sched_setaffinity(0, sizeof placement->allowed, &placement->allowed);
    }
    work();
  });
  if (apart) {
    std::lock_guard<std::mutex> lock(placement->mutex);
    cpu_set_t others = placement->allowed;
    CPU_CLR(cpu, &others);
    if (!placement->started)
      placement->narrowed = pthread_setaffinity_np(thread.native_handle(), sizeof others, &others) == 0;
  }
  return thread;
#else
  return std::thread(std::move(work));
#endif
}
