// Drags one file onto a point of the screen and drops it, the way a file manager does over
// XDND: it owns XdndSelection, enters the window under the point offering text/uri-list,
// moves there a few times, drops even when the target declined (a careless browser would take
// the file anyway), hands over "file:///path\r\n" when asked and waits for XdndFinished.
// The end-to-end tests run it against the client; it prints what the target answered.
// Exit status: 0 finished, 3 no XDND window at the point, 4 no XdndStatus, 5 no XdndFinished,
// 1 display trouble, 2 usage.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/select.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Atoms {
    Atom aware, selection, enter, position, status, leave, drop, finished, actionCopy, uriList, targets;
};

Display* display = nullptr;
Window source = 0;
Window target = 0;
Atoms atoms{};
std::string payload;
bool gotStatus = false;
bool accepted = false;
bool gotFinished = false;
bool finishedAccepted = false;
int requests = 0;

bool hasProperty(Window window, Atom property)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int ok = XGetWindowProperty(display, window, property, 0, 1, False, AnyPropertyType, &type, &format, &count,
                                      &after, &data);
    if (data)
        XFree(data);
    return ok == Success && type != None;
}

// The innermost window at the root position that declares itself XDND-aware (top-levels do).
Window awareWindowAt(int x, int y)
{
    const Window root = DefaultRootWindow(display);
    Window current = root;
    Window found = 0;
    for (int depth = 0; depth < 32; ++depth) {
        int localX = 0, localY = 0;
        Window child = 0;
        if (!XTranslateCoordinates(display, root, current, x, y, &localX, &localY, &child) || !child)
            break;
        current = child;
        if (hasProperty(current, atoms.aware))
            found = current;
    }
    return found;
}

void sendMessage(Atom type, long l1, long l2, long l3, long l4)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.display = display;
    event.xclient.window = target;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(source);
    event.xclient.data.l[1] = l1;
    event.xclient.data.l[2] = l2;
    event.xclient.data.l[3] = l3;
    event.xclient.data.l[4] = l4;
    XSendEvent(display, target, False, NoEventMask, &event);
    XFlush(display);
}

void answerRequest(const XSelectionRequestEvent& request)
{
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.display = display;
    reply.xselection.requestor = request.requestor;
    reply.xselection.selection = request.selection;
    reply.xselection.target = request.target;
    reply.xselection.time = request.time;
    reply.xselection.property = None;
    const Atom property = request.property != None ? request.property : request.target;
    if (request.selection == atoms.selection && request.target == atoms.uriList) {
        XChangeProperty(display, request.requestor, property, atoms.uriList, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(payload.data()), static_cast<int>(payload.size()));
        reply.xselection.property = property;
        ++requests;
    } else if (request.selection == atoms.selection && request.target == atoms.targets) {
        const Atom offered[] = {atoms.targets, atoms.uriList};
        XChangeProperty(display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(offered), 2);
        reply.xselection.property = property;
    }
    XSendEvent(display, request.requestor, False, NoEventMask, &reply);
    XFlush(display);
}

// Handles what arrives until `done` holds or the time is up; true when `done` held.
template<typename Done>
bool pump(Done done, int milliseconds)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    const int fd = ConnectionNumber(display);
    while (!done()) {
        while (XPending(display) && !done()) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == SelectionRequest) {
                answerRequest(event.xselectionrequest);
            } else if (event.type == ClientMessage && event.xclient.message_type == atoms.status) {
                gotStatus = true;
                accepted = (event.xclient.data.l[1] & 1) != 0;
            } else if (event.type == ClientMessage && event.xclient.message_type == atoms.finished) {
                gotFinished = true;
                finishedAccepted = (event.xclient.data.l[1] & 1) != 0;
            }
        }
        if (done())
            break;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        timeval wait{static_cast<time_t>(left.count() / 1000000), static_cast<suseconds_t>(left.count() % 1000000)};
        select(fd + 1, &readable, nullptr, nullptr, &wait);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || argv[3][0] != '/') {
        std::fprintf(stderr, "usage: %s ROOT-X ROOT-Y /ABSOLUTE/FILE\n", argv[0]);
        return 2;
    }
    const int x = std::atoi(argv[1]);
    const int y = std::atoi(argv[2]);
    // The tests' files have plain names; no percent-encoding needed for them.
    payload = std::string("file://") + argv[3] + "\r\n";

    display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "xdnd: cannot open the display\n");
        return 1;
    }
    atoms = {XInternAtom(display, "XdndAware", False),      XInternAtom(display, "XdndSelection", False),
             XInternAtom(display, "XdndEnter", False),      XInternAtom(display, "XdndPosition", False),
             XInternAtom(display, "XdndStatus", False),     XInternAtom(display, "XdndLeave", False),
             XInternAtom(display, "XdndDrop", False),       XInternAtom(display, "XdndFinished", False),
             XInternAtom(display, "XdndActionCopy", False), XInternAtom(display, "text/uri-list", False),
             XInternAtom(display, "TARGETS", False)};

    source = XCreateSimpleWindow(display, DefaultRootWindow(display), -10, -10, 1, 1, 0, 0, 0);
    const Atom version = 5;
    XChangeProperty(display, source, atoms.aware, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&version), 1);
    XSetSelectionOwner(display, atoms.selection, source, CurrentTime);

    target = awareWindowAt(x, y);
    if (!target) {
        std::printf("no XDND window at %d,%d\n", x, y);
        XCloseDisplay(display);
        return 3;
    }
    std::printf("target 0x%lx\n", static_cast<unsigned long>(target));

    sendMessage(atoms.enter, 5L << 24, static_cast<long>(atoms.uriList), None, None);
    const long where = (static_cast<long>(x) << 16) | (y & 0xffff);
    // Several moves on the spot, as a hand holding the file does: the page answers the
    // first ones before it knows what it wants.
    for (int move = 0; move < 6; ++move) {
        gotStatus = false;
        sendMessage(atoms.position, 0, where, CurrentTime, static_cast<long>(atoms.actionCopy));
        if (!pump([] { return gotStatus; }, 5000)) {
            std::printf("no status\n");
            XCloseDisplay(display);
            return 4;
        }
        pump([] { return false; }, 150);
    }
    std::printf("status accepted=%d\n", accepted ? 1 : 0);

    sendMessage(atoms.drop, 0, CurrentTime, 0, 0);
    if (!pump([] { return gotFinished; }, 10000)) {
        std::printf("no finished (data requests %d)\n", requests);
        XCloseDisplay(display);
        return 5;
    }
    std::printf("finished accepted=%d requests=%d\n", finishedAccepted ? 1 : 0, requests);
    std::fflush(stdout);
    XCloseDisplay(display);
    return 0;
}
