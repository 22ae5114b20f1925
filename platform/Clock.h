#pragma once

namespace talvo::platform {

struct LocalTime {
    int year = 0;
    int month = 0; // 1-12
    int day = 0;   // 1-31
    int hour = 0;  // 0-23
    int minute = 0;
    int second = 0;
};

// The local wall-clock time, read afresh on every call.
LocalTime localNow();

// Milliseconds since this process was created (before main() ran, libraries loaded);
// -1 when the system does not say. For the start-up timeline: as exact as the system's
// own record of the start (10 ms on Linux).
long long millisecondsSinceProcessStart();

} // namespace talvo::platform
