#include "gtk/main_loop.h"

#include <glib.h>

void run_on_main_loop(std::function<void()> task) {
  g_idle_add(
      [](gpointer data) -> gboolean {
        auto* task = static_cast<std::function<void()>*>(data);
        (*task)();
        delete task;
        return G_SOURCE_REMOVE;
      },
      new std::function<void()>(std::move(task)));
}
