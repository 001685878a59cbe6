// Latency and CPU probe for the editor as the user meets it: run against the
// Release editor under Xvfb, it sends keys, clicks and pointer motion through
// XTEST and watches a region of the screen with XGetImage until it changes;
// CPU comes from /proc. Built and driven by bench/measure-outside.sh.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

int XTestFakeKeyEvent(Display*, unsigned int, Bool, unsigned long);
int XTestFakeMotionEvent(Display*, int, int, int, unsigned long);
int XTestFakeButtonEvent(Display*, unsigned int, Bool, unsigned long);

static double now_ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
static double cpu_ms(int pid) {
  char path[64], buf[1024];
  snprintf(path, sizeof path, "/proc/%d/stat", pid);
  FILE* f = fopen(path, "r");
  if (!f) return -1;
  size_t n = fread(buf, 1, sizeof buf - 1, f);
  fclose(f);
  buf[n] = 0;
  char* p = strrchr(buf, ')');
  unsigned long ut, st;
  // fields after ')': state(3) ... utime(14) stime(15)
  int field = 2;
  for (p = p + 1; *p && field < 13; ++p)
    if (*p == ' ') ++field;
  sscanf(p, "%lu %lu", &ut, &st);
  return (ut + st) * 1000.0 / sysconf(_SC_CLK_TCK);
}
static int cmp(const void* a, const void* b) {
  double x = *(const double*)a, y = *(const double*)b;
  return x < y ? -1 : x > y;
}
static XImage* grab(Display* d, int x, int y, int w, int h) {
  return XGetImage(d, DefaultRootWindow(d), x, y, w, h, AllPlanes, ZPixmap);
}
static int same(XImage* a, XImage* b) {
  return memcmp(a->data, b->data, (size_t)a->bytes_per_line * a->height) == 0;
}
static void key(Display* d, KeySym sym, KeySym mod) {
  if (mod) XTestFakeKeyEvent(d, XKeysymToKeycode(d, mod), True, 0);
  XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), True, 0);
  XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), False, 0);
  if (mod) XTestFakeKeyEvent(d, XKeysymToKeycode(d, mod), False, 0);
  XFlush(d);
}
// Sends a key and waits until the region changes; returns ms or -1.
static double timed_key(Display* d, KeySym sym, KeySym mod, int x, int y, int w, int h) {
  XImage* before = grab(d, x, y, w, h);
  double t0 = now_ms();
  key(d, sym, mod);
  double t = -1;
  while (now_ms() - t0 < 3000) {
    XImage* img = grab(d, x, y, w, h);
    int s = same(before, img);
    XDestroyImage(img);
    if (!s) {
      t = now_ms() - t0;
      break;
    }
  }
  XDestroyImage(before);
  return t;
}
// Clicks at (cx, cy) and waits until the region changes; returns ms or -1.
static double timed_click(Display* d, int cx, int cy, int x, int y, int w, int h) {
  XImage* before = grab(d, x, y, w, h);
  XTestFakeMotionEvent(d, -1, cx, cy, 0);
  double t0 = now_ms();
  XTestFakeButtonEvent(d, 1, True, 0);
  XTestFakeButtonEvent(d, 1, False, 0);
  XFlush(d);
  double t = -1;
  while (now_ms() - t0 < 10000) {
    XImage* img = grab(d, x, y, w, h);
    int s = same(before, img);
    XDestroyImage(img);
    if (!s) {
      t = now_ms() - t0;
      break;
    }
  }
  XDestroyImage(before);
  return t;
}
static void report(const char* name, double* v, int n) {
  qsort(v, n, sizeof *v, cmp);
  printf("%-28s median %7.2f ms  (min %.2f, max %.2f, n %d)\n", name, v[n / 2], v[0], v[n - 1], n);
}

int main(int argc, char** argv) {
  if (argc < 7) {
    fprintf(stderr, "probe MODE pid x y w h [n]\n");
    return 2;
  }
  const char* mode = argv[1];
  int pid = atoi(argv[2]), x = atoi(argv[3]), y = atoi(argv[4]), w = atoi(argv[5]), h = atoi(argv[6]);
  int n = argc > 7 ? atoi(argv[7]) : 40;
  Display* d = XOpenDisplay(NULL);
  if (!d) return 1;
  double v[1000];
  if (!strcmp(mode, "type")) {
    // The editor is open on a cell: a letter and a Backspace in turn.
    double c0 = cpu_ms(pid);
    for (int i = 0; i < n; ++i) {
      v[i] = timed_key(d, i % 2 ? XK_BackSpace : XK_x, 0, x, y, w, h);
      usleep(150000);
    }
    double c1 = cpu_ms(pid);
    report("keystroke to picture", v, n);
    // Wall time waits for the scheduler on a loaded machine; CPU does not.
    printf("%-28s %7.2f ms CPU per key\n", "keystroke", (c1 - c0) / n);
  } else if (!strcmp(mode, "enter")) {
    // Click the cell at (cx, cy), type x, Enter (timed), Ctrl+Z (timed).
    double u[1000], c = 0, ce = 0;
    int cx = atoi(argv[8]), cy = atoi(argv[9]);
    for (int i = 0; i < n; ++i) {
      XTestFakeMotionEvent(d, -1, cx, cy, 0);
      XTestFakeButtonEvent(d, 1, True, 0);
      XTestFakeButtonEvent(d, 1, False, 0);
      XFlush(d);
      usleep(300000);
      key(d, XK_x, 0);
      usleep(200000);
      double c0 = cpu_ms(pid);
      v[i] = timed_key(d, XK_Return, 0, x, y, w, h);
      usleep(200000);
      double c1 = cpu_ms(pid);
      u[i] = timed_key(d, XK_z, XK_Control_L, x, y, w, h);
      usleep(200000);
      c += cpu_ms(pid) - c1;
      ce += c1 - c0;
    }
    printf("%-28s %7.2f ms CPU; its Ctrl+Z %.2f ms CPU\n", "Enter-committed edit", ce / n, c / n);
    report("Enter-committed edit", v, n);
    report("Ctrl+Z of it", u, n);
  } else if (!strcmp(mode, "motion")) {
    // Pointer motion over the grid at 100 Hz; CPU per motion.
    usleep(300000);
    double c0 = cpu_ms(pid);
    for (int i = 0; i < n; ++i) {
      XTestFakeMotionEvent(d, -1, x + (i % 50) * 3, y + (i % 30) * 2, 0);
      XFlush(d);
      usleep(10000);
    }
    usleep(300000);
    double c1 = cpu_ms(pid);
    printf("%-28s %7.2f ms CPU per motion (%d motions, %.0f ms CPU)\n", "pointer motion", (c1 - c0) / n, n,
           c1 - c0);
  } else if (!strcmp(mode, "idle")) {
    // Nothing sent for n seconds: the caret blinks.
    double c0 = cpu_ms(pid);
    sleep(n);
    double c1 = cpu_ms(pid);
    printf("%-28s %7.2f ms CPU per second (%d s)\n", "idle with blinking caret", (c1 - c0) / n, n);
  } else if (!strcmp(mode, "rules")) {
    // A click on the button at (cx, cy) that puts rules on the selection
    // (timed until the grid shows them), then Ctrl+Z (timed until they go).
    double u[1000];
    int cx = atoi(argv[8]), cy = atoi(argv[9]);
    double c = 0, cu = 0;
    for (int i = 0; i < n; ++i) {
      double c0 = cpu_ms(pid);
      v[i] = timed_click(d, cx, cy, x, y, w, h);
      usleep(700000);
      double c1 = cpu_ms(pid);
      u[i] = timed_key(d, XK_z, XK_Control_L, x, y, w, h);
      usleep(700000);
      c += c1 - c0;
      cu += cpu_ms(pid) - c1;
    }
    printf("%-28s %7.2f ms CPU; its undo %.2f ms CPU\n", "All Rules", c / n, cu / n);
    report("All Rules", v, n);
    report("Ctrl+Z of All Rules", u, n);
  } else if (!strcmp(mode, "key")) {
    key(d, XK_x, 0);
  }
  XCloseDisplay(d);
  return 0;
}
