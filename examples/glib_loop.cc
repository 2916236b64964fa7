// Drives the library's message loop from a GLib main loop.
//
// The loop's PollFd() becomes a GLib source: whenever it is readable GLib
// calls Pump(), so the library's timers and the work other threads post to
// this thread run inside the GLib loop, beside the application's own GLib
// timeouts and sources.
//
// Here a library timer and a GLib timeout run side by side; after the
// library timer's third tick the GLib loop is told to quit.
#include <glib-unix.h>
#include <glib.h>

#include <cstdio>

#include "kvl/runtime/message_loop.h"

namespace {

gboolean PumpLibraryLoop(gint, GIOCondition, gpointer) {
  kvl::MessageLoop::Current().Pump();
  return G_SOURCE_CONTINUE;
}

}  // namespace

int main() {
  GMainLoop* main_loop = g_main_loop_new(nullptr, FALSE);
  kvl::MessageLoop& loop = kvl::MessageLoop::Current();
  g_unix_fd_add(loop.PollFd(), G_IO_IN, PumpLibraryLoop, nullptr);

  int ticks = 0;
  loop.SetTimer(30, [&](uint32_t id) {
    std::printf("library tick %d\n", ++ticks);
    if (ticks < 3) return;
    loop.KillTimer(id);
    g_main_loop_quit(main_loop);
  });
  int glib_timeouts = 0;
  g_timeout_add(
      5,
      [](gpointer count) -> gboolean {
        ++*static_cast<int*>(count);
        return G_SOURCE_CONTINUE;
      },
      &glib_timeouts);

  g_main_loop_run(main_loop);
  std::printf("GLib's own timeout ran too: %s\n",
              glib_timeouts > 0 ? "yes" : "no");
  g_main_loop_unref(main_loop);
  return 0;
}
