#include "x_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// The window's _NET_WM_NAME (UTF-8), or its WM_NAME.
std::string window_title(Display* display, Window window) {
  Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Atom net_name = XInternAtom(display, "_NET_WM_NAME", False);
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(display, window, net_name, 0, 1024, False, utf8, &type, &format, &count,
                         &after, &data) == Success &&
      data != nullptr) {
    title.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
    return title;
  }
  char* name = nullptr;
  if (XFetchName(display, window, &name) && name != nullptr) {
    title = name;
    XFree(name);
  }
  return title;
}

unsigned long search(Display* display, Window root, const std::string& title) {
  Window parent;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, root, &root, &parent, &children, &count)) return 0;
  unsigned long found = 0;
  for (unsigned int i = 0; i < count && found == 0; ++i) {
    if (window_title(display, children[i]) == title) found = children[i];
  }
  if (children != nullptr) XFree(children);
  return found;
}

bool viewable(Display* display, Window window) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(display, window, &attributes) != 0 &&
         attributes.map_state == IsViewable;
}

// GTK marks its tooltips and menus transient for the window too, but they are
// override-redirect popups; a dialog is an ordinary top-level.
bool viewable_dialog(Display* display, Window window) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(display, window, &attributes) != 0 &&
         attributes.map_state == IsViewable && !attributes.override_redirect;
}

// The pid written in a display's lock file, or -1.
long lock_owner(const std::string& lock) {
  FILE* file = std::fopen(lock.c_str(), "r");
  if (file == nullptr) return -1;
  long pid = -1;
  if (std::fscanf(file, "%ld", &pid) != 1) pid = -1;
  std::fclose(file);
  return pid;
}

int ignore_errors(Display*, XErrorEvent*) {
  return 0;  // a window may vanish between listing and asking
}

// A connection can fail for a moment while the server is busy with the
// program's own clients; for a wait with a deadline that is no answer yet.
Display* open_until(const std::string& name, std::chrono::steady_clock::time_point deadline) {
  Display* display = XOpenDisplay(name.c_str());
  while (display == nullptr && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    display = XOpenDisplay(name.c_str());
  }
  return display;
}

}  // namespace

XDisplay::XDisplay() {
  for (int number = 70 + static_cast<int>(getpid() % 400); number < 1000; number += 7) {
    const std::string digits = std::to_string(number);
    std::string candidate = std::string(":").append(digits);
    const std::string lock = std::string("/tmp/.X").append(digits).append("-lock");
    if (exists(lock)) continue;
    server_ = std::make_unique<BackgroundProcess>(std::vector<std::string>{
        "Xvfb", candidate, "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
    const std::string socket = std::string("/tmp/.X11-unix/X").append(digits);
    for (int i = 0; i < 100 && !exists(socket); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (server_->wait_exit(std::chrono::milliseconds(0))) break;
    }
    // Tests started together may pick the same number: the display is ours
    // only when the lock names our server, not one that won the race.
    if (exists(socket) && !server_->wait_exit(std::chrono::milliseconds(0)) &&
        lock_owner(lock) == static_cast<long>(server_->pid())) {
      name_ = candidate;
      return;
    }
    server_.reset();
  }
}

unsigned long XDisplay::find_window(const std::string& title, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  Display* display = open_until(name_, deadline);
  if (display == nullptr) return 0;
  unsigned long found = 0;
  while (found == 0 && std::chrono::steady_clock::now() < deadline) {
    found = search(display, DefaultRootWindow(display), title);
    if (found == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  XCloseDisplay(display);
  return found;
}

bool XDisplay::request_close(unsigned long window) {
  Display* display = XOpenDisplay(name_.c_str());
  if (display == nullptr) return false;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  Status sent = XSendEvent(display, window, False, NoEventMask, &event);
  XFlush(display);
  XCloseDisplay(display);
  return sent != 0;
}

double XDisplay::screenshot(const std::string& path) {
  ProcessResult shot = run_process({"import", "-display", name_, "-window", "root", path}, {},
                                   std::chrono::seconds(30));
  if (shot.exit_status != 0) return -1;
  ProcessResult deviation = run_process(
      {"convert", path, "-colorspace", "Gray", "-format", "%[fx:standard_deviation]", "info:"});
  return deviation.exit_status == 0 ? std::atof(deviation.out.c_str()) : -1;
}

double XDisplay::wait_for_detail(const std::string& path, double deviation,
                                 std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  double last = -1;
  while ((last = screenshot(path)) <= deviation && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return last;
}

Color XDisplay::mean_color(const std::string& path, ScreenArea area) {
  const std::string crop = std::to_string(area.width) + "x" + std::to_string(area.height) + "+" +
                           std::to_string(area.x) + "+" + std::to_string(area.y);
  ProcessResult mean = run_process({"convert", path, "-crop", crop, "-format",
                                    "%[fx:mean.r] %[fx:mean.g] %[fx:mean.b]", "info:"});
  Color color;
  if (mean.exit_status != 0 ||
      std::sscanf(mean.out.c_str(), "%lf %lf %lf", &color.red, &color.green, &color.blue) != 3) {
    return Color{};
  }
  return color;
}

Color XDisplay::wait_for_color(const std::string& path, ScreenArea area,
                               const std::function<bool(Color)>& accept,
                               std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  Color color;
  do {
    if (screenshot(path) >= 0) color = mean_color(path, area);
    if (color.red >= 0 && accept(color)) return color;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  } while (std::chrono::steady_clock::now() < deadline);
  return color;
}

unsigned long XDisplay::find_dialog_of(unsigned long owner, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  Display* display = open_until(name_, deadline);
  if (display == nullptr) return 0;
  XSetErrorHandler(ignore_errors);
  unsigned long found = 0;
  while (found == 0 && std::chrono::steady_clock::now() < deadline) {
    Window root = DefaultRootWindow(display), parent;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, root, &root, &parent, &children, &count)) {
      for (unsigned int i = 0; i < count && found == 0; ++i) {
        Window for_window = 0;
        if (XGetTransientForHint(display, children[i], &for_window) && for_window == owner &&
            viewable_dialog(display, children[i])) {
          found = children[i];
        }
      }
      if (children != nullptr) XFree(children);
    }
    if (found == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  XCloseDisplay(display);
  return found;
}

bool XDisplay::wait_closed(unsigned long window, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  Display* display = open_until(name_, deadline);
  if (display == nullptr) return false;
  XSetErrorHandler(ignore_errors);
  bool closed = false;
  while (!closed && std::chrono::steady_clock::now() < deadline) {
    closed = !viewable(display, window);
    if (!closed) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  XCloseDisplay(display);
  return closed;
}

bool XDisplay::scroll(int x, int y, int notches) {
  return run_process({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "sleep", "0.2",
                      "click", "--repeat", std::to_string(notches < 0 ? -notches : notches),
                      notches < 0 ? "4" : "5"},
                     {{"DISPLAY", name_}})
             .exit_status == 0;
}

bool XDisplay::drag(int from_x, int from_y, int to_x, int to_y) {
  // Through a point between, as a hand moves: a single jump selects nothing.
  return run_process(
             {"xdotool", "mousemove", std::to_string(from_x), std::to_string(from_y), "sleep",
              "0.2", "mousedown", "1", "mousemove", std::to_string((from_x + to_x) / 2),
              std::to_string((from_y + to_y) / 2), "mousemove", std::to_string(to_x),
              std::to_string(to_y), "sleep", "0.2", "mouseup", "1"},
             {{"DISPLAY", name_}})
             .exit_status == 0;
}

bool XDisplay::click(int x, int y) {
  // Not "--sync": it waits for a motion that never comes when the pointer is
  // already there. A short pause lets the motion arrive before the press.
  return run_process({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "sleep", "0.2",
                      "click", "1"},
                     {{"DISPLAY", name_}})
             .exit_status == 0;
}

bool XDisplay::key(const std::string& keys, unsigned long window) {
  std::vector<std::string> argv = {"xdotool"};
  if (window != 0) argv.insert(argv.end(), {"windowfocus", std::to_string(window)});
  argv.insert(argv.end(), {"key", keys});
  return run_process(argv, {{"DISPLAY", name_}}).exit_status == 0;
}

bool XDisplay::type(const std::string& text) {
  return run_process({"xdotool", "type", "--delay", "20", text}, {{"DISPLAY", name_}})
             .exit_status == 0;
}
