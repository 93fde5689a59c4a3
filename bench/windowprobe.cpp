// Times a program from its start to the moment its first top-level window is mapped, watched from
// outside through the X server's own notifications (no hook in the program measured).
//
//   windowprobe PROGRAM [ARGS...]
//
// Prints "startup_ms N" and "window 0xID", then ends the program with SIGTERM. Needs DISPLAY and
// no window manager (a window manager would map its frame, not the program's window).

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

long windowPid(Display* display, Window window)
{
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
            &items, &after, &data)
            == Success
        && data) {
        if (format == 32 && items == 1)
            pid = *reinterpret_cast<long*>(data);
        XFree(data);
    }
    return pid;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: windowprobe PROGRAM [ARGS...]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "windowprobe: cannot open the display\n");
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    const auto start = Clock::now();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("windowprobe: fork");
        return 1;
    }
    if (child == 0) {
        execvp(argv[1], argv + 1);
        std::perror("windowprobe: exec");
        _exit(127);
    }

    const auto deadline = start + std::chrono::seconds(30);
    Window shown = None;
    double ms = 0;
    pollfd pfd { ConnectionNumber(display), POLLIN, 0 };
    while (shown == None && Clock::now() < deadline) {
        while (shown == None && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != MapNotify || event.xmap.override_redirect)
                continue;
            const auto at = Clock::now();
            if (windowPid(display, event.xmap.window) == child) {
                shown = event.xmap.window;
                ms = std::chrono::duration<double, std::milli>(at - start).count();
            }
        }
        if (shown != None)
            break;
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "windowprobe: %s ended before showing a window\n", argv[1]);
            return 1;
        }
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        poll(&pfd, 1, static_cast<int>(std::min<long>(left.count(), 100)));
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    if (shown == None) {
        std::fprintf(stderr, "windowprobe: no window in time\n");
        return 1;
    }
    std::printf("startup_ms %.2f\nwindow 0x%lx\n", ms, shown);
    return 0;
}
