// Drives the library's message loop from a program's own poll() loop.
//
// A program that already waits on descriptors adds the loop's PollFd() to
// its set and calls Pump() whenever it is readable: timers armed by the
// library then fire, and work other threads hand to this thread runs, all
// on this thread and between the program's own events.
//
// Here a timer ticks three times; on the third tick a worker thread is
// started that hands a result back through a LoopHandle, and that ends the
// program.
#include <poll.h>

#include <cstdio>
#include <thread>

#include "kvl/runtime/message_loop.h"

int main() {
  kvl::MessageLoop& loop = kvl::MessageLoop::Current();
  bool done = false;
  std::thread worker;

  int ticks = 0;
  loop.SetTimer(20, [&](uint32_t id) {
    std::printf("tick %d\n", ++ticks);
    if (ticks < 3) return;
    loop.KillTimer(id);
    worker = std::thread([owner = loop.Handle(), &done] {
      int answer = 6 * 7;  // computed off the loop's thread
      owner.Post([answer, &done] {
        std::printf("worker answered %d\n", answer);
        done = true;
      });
    });
  });

  // The program's own loop; its other descriptors would join `fds`.
  pollfd fds[] = {{loop.PollFd(), POLLIN, 0}};
  while (!done) {
    if (poll(fds, 1, -1) < 0) return 1;
    if (fds[0].revents & POLLIN) loop.Pump();
  }
  worker.join();
  return 0;
}
