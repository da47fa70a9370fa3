// Measures a windowed program from the outside, the way a viewer sees it, so that the survey and
// its baseline are timed alike without either of them cooperating:
//
//   ui_probe start  [--settle MS] -- CMD ...    launch to first frame, then peak RSS
//   ui_probe submit [--settle MS] [--key K]... --press K -- CMD ...
//                                              launch, wait for the first frame, type the keys,
//                                              then time from pressing K to the window's unmap
//                                              (as the X server has it) and to the process's exit
//   ui_probe run -- CMD ...                    a plain command: time to exit and peak RSS
//
// "First frame" is the moment the X server receives the first drawing into a top-level window of
// the launched process (by _NET_WM_PID) after which the window shows more than one colour: an
// empty background does not count, the popup or the label does. Prints one line of key=value
// pairs (milliseconds, kilobytes; cpu_ms is the program's user + system time); exits non-zero
// when the program fails or times out. UI_PROBE_TRACE=1 lists every drawing on stderr.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace {

double nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "ui_probe: %s\n", what);
    std::exit(2);
}

// Windows disappear while we look at them; their errors are expected.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

pid_t launch(char** argv) {
    const pid_t pid = fork();
    if (pid < 0)
        fail("fork failed");
    if (pid == 0) {
        execvp(argv[0], argv);
        std::perror("ui_probe: exec");
        _exit(127);
    }
    return pid;
}

// Waits for the child, at most `timeoutMs`; its status and peak RSS in kB, or false on time-out.
double g_cpuMs = 0;   // user + system time of the last child reaped

bool reap(pid_t pid, double timeoutMs, int& status, long& maxRssKb) {
    const double end = nowMs() + timeoutMs;
    rusage usage{};
    for (;;) {
        const pid_t r = wait4(pid, &status, WNOHANG, &usage);
        if (r == pid) {
            maxRssKb = usage.ru_maxrss;
            g_cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                      (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
            return true;
        }
        if (nowMs() > end)
            return false;
        usleep(200);
    }
}

class Watcher {
public:
    Watcher() = default;
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;
    void watch(pid_t pid, double start) {
        m_pid = pid;
        m_start = start;
    }

    void open() {
        m_dpy = XOpenDisplay(nullptr);
        if (!m_dpy)
            fail("cannot open the display");
        XSetErrorHandler(ignoreXError);
        int error = 0;
        if (!XDamageQueryExtension(m_dpy, &m_damageEvent, &error))
            fail("the display has no DAMAGE extension");
        XSelectInput(m_dpy, DefaultRootWindow(m_dpy), SubstructureNotifyMask);
        XSync(m_dpy, False);
        fcntl(ConnectionNumber(m_dpy), F_SETFD, FD_CLOEXEC);
    }

    // Handles X events until the first frame shows or `timeoutMs` passes; its time, or < 0.
    double waitFirstFrame(double timeoutMs) { return pump(timeoutMs, true); }

    // Handles events for `ms` more (the trace shows what is drawn after the first frame).
    void drain(double ms) { pump(ms, false); }

    // Asks the server, at most `timeoutMs` long, until the window that showed the first frame is
    // no longer viewable (unmapped or destroyed); when that was seen, or < 0.
    double waitUnmapped(double timeoutMs) {
        const double end = nowMs() + timeoutMs;
        while (nowMs() < end) {
            XWindowAttributes attrs{};
            if (!XGetWindowAttributes(m_dpy, m_content, &attrs) || attrs.map_state != IsViewable)
                return nowMs();
            usleep(200);
        }
        return -1;
    }

    void key(const char* name) {
        const KeyCode code = XKeysymToKeycode(m_dpy, XStringToKeysym(name));
        if (!code)
            fail("unknown key name");
        XTestFakeKeyEvent(m_dpy, code, True, CurrentTime);
        XTestFakeKeyEvent(m_dpy, code, False, CurrentTime);
        XFlush(m_dpy);
    }

    ~Watcher() {
        if (m_dpy)
            XCloseDisplay(m_dpy);
    }

private:
    // The event loop of both waits; with `untilContent` it returns at the first frame with
    // content (and fails when the program ends first), otherwise it runs for the whole time.
    double pump(double ms, bool untilContent) {
        const double end = nowMs() + ms;
        while (nowMs() < end) {
            if (!XPending(m_dpy)) {
                pollfd pfd{ConnectionNumber(m_dpy), POLLIN, 0};
                poll(&pfd, 1, 5);
                int status = 0;
                if (untilContent && waitpid(m_pid, &status, WNOHANG) == m_pid)
                    fail("the program exited before it showed a frame");
                continue;
            }
            XEvent ev;
            XNextEvent(m_dpy, &ev);
            const double at = nowMs();
            if (ev.type == CreateNotify && !ev.xcreatewindow.override_redirect) {
                m_damages[ev.xcreatewindow.window] =
                    XDamageCreate(m_dpy, ev.xcreatewindow.window, XDamageReportNonEmpty);
            } else if (ev.type == m_damageEvent + XDamageNotify) {
                const auto* de = reinterpret_cast<XDamageNotifyEvent*>(&ev);
                XDamageSubtract(m_dpy, de->damage, None, None);
                const bool owned = ownedByChild(de->drawable);
                const bool content = owned && untilContent && showsContent(de->drawable);
                if (m_trace)
                    std::fprintf(stderr, "ui_probe: %.1f ms damage window 0x%lx %dx%d+%d+%d%s%s\n", at - m_start,
                                 de->drawable, de->area.width, de->area.height, de->area.x, de->area.y,
                                 owned ? " (the program's)" : "", content ? " with content" : "");
                if (content) {
                    m_content = de->drawable;
                    return at;
                }
            }
        }
        return -1;
    }

    bool ownedByChild(Window w) {
        auto it = m_owner.find(w);
        if (it != m_owner.end())
            return it->second;
        const Atom pidAtom = XInternAtom(m_dpy, "_NET_WM_PID", False);
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        bool owned = false;
        if (XGetWindowProperty(m_dpy, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
                Success &&
            data && count == 1 && format == 32)
            owned = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == m_pid;
        if (data)
            XFree(data);
        // The property is set before the window is mapped, so before anything is drawn into it;
        // an answer of "not ours" is kept only once the property exists.
        if (owned || type != None)
            m_owner[w] = owned;
        return owned;
    }

    bool showsContent(Window w) {
        XWindowAttributes attrs{};
        if (!XGetWindowAttributes(m_dpy, w, &attrs) || attrs.map_state != IsViewable)
            return false;
        XImage* image = XGetImage(m_dpy, w, 0, 0, attrs.width, attrs.height, AllPlanes, ZPixmap);
        if (!image)
            return false;
        const unsigned long first = XGetPixel(image, 0, 0);
        bool varied = false;
        for (int y = 0; y < image->height && !varied; y += 2)
            for (int x = 0; x < image->width; x += 2)
                if (XGetPixel(image, x, y) != first) {
                    varied = true;
                    break;
                }
        XDestroyImage(image);
        return varied;
    }

    pid_t m_pid = 0;
    double m_start = 0;
    Window m_content = None;   // the window of the first frame
    bool m_trace = getenv("UI_PROBE_TRACE") != nullptr;   // every damage event on stderr
    Display* m_dpy = nullptr;
    int m_damageEvent = 0;
    std::map<Window, Damage> m_damages;
    std::map<Window, bool> m_owner;
};

struct Args {
    std::string mode;
    double settleMs = 1000;
    std::vector<std::string> keys;
    std::string press;
    char** command = nullptr;
};

Args parse(int argc, char** argv) {
    if (argc < 2)
        fail("usage: ui_probe start|submit|run [--settle MS] [--key K]... [--press K] -- CMD ...");
    Args a;
    a.mode = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--" && i + 1 < argc) {
            a.command = argv + i + 1;
            break;
        }
        if (i + 1 >= argc)
            fail("an option lacks its value");
        if (arg == "--settle")
            a.settleMs = std::atof(argv[++i]);
        else if (arg == "--key")
            a.keys.emplace_back(argv[++i]);
        else if (arg == "--press")
            a.press = argv[++i];
        else
            fail("unknown option");
    }
    if (!a.command)
        fail("no command after --");
    if (a.mode == "submit" && a.press.empty())
        fail("submit needs --press");
    return a;
}

void sleepMs(double ms) { usleep(static_cast<useconds_t>(ms * 1000)); }

} // namespace

int main(int argc, char** argv) {
    const Args args = parse(argc, argv);
    int status = 0;
    long rssKb = 0;

    if (args.mode == "run") {
        const double t0 = nowMs();
        const pid_t pid = launch(args.command);
        if (!reap(pid, 60000, status, rssKb))
            fail("the command did not finish within 60 s");
        const double took = nowMs() - t0;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            fail("the command failed");
        std::printf("exit_ms=%.1f peak_rss_kb=%ld cpu_ms=%.1f\n", took, rssKb, g_cpuMs);
        return 0;
    }
    if (args.mode != "start" && args.mode != "submit")
        fail("unknown mode");

    // The watcher listens before the program exists, so that no window of it goes unseen.
    Watcher watcher;
    watcher.open();
    const double t0 = nowMs();
    const pid_t pid = launch(args.command);
    watcher.watch(pid, t0);
    if (getenv("UI_PROBE_TRACE"))
        std::fprintf(stderr, "ui_probe: launched at %.1f\n", t0);
    const double frame = watcher.waitFirstFrame(30000);
    if (frame < 0) {
        kill(pid, SIGKILL);
        reap(pid, 5000, status, rssKb);
        fail("no frame within 30 s");
    }
    watcher.drain(args.settleMs);

    if (args.mode == "start") {
        kill(pid, SIGKILL);
        if (!reap(pid, 5000, status, rssKb))
            fail("the program did not die");
        std::printf("first_frame_ms=%.1f peak_rss_kb=%ld cpu_ms=%.1f\n", frame - t0, rssKb, g_cpuMs);
        return 0;
    }

    for (const auto& k : args.keys) {
        watcher.key(k.c_str());
        sleepMs(300);
    }
    const double pressed = nowMs();
    watcher.key(args.press.c_str());
    const double unmapped = watcher.waitUnmapped(60000);
    const bool ended = reap(pid, 60000, status, rssKb);
    const double exited = nowMs();
    if (!ended) {
        kill(pid, SIGKILL);
        fail("the program did not exit within 60 s of the key");
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail("the program failed");
    if (unmapped < 0)
        fail("the window stayed on screen");
    std::printf("first_frame_ms=%.1f submit_unmap_ms=%.1f submit_exit_ms=%.1f peak_rss_kb=%ld cpu_ms=%.1f\n", frame - t0,
                unmapped - pressed, exited - pressed, rssKb, g_cpuMs);
    return 0;
}
