// QzDate: the game clock, the wall-clock components and relative-date phrases.
#ifndef QZ_DATE_H
#define QZ_DATE_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

class QzDate {
public:
    // Seconds since the first call of the process (which returns 0), on a clock that never
    // goes back when the wall clock is set. Safe from any thread.
    static float getTimeAsFloat();
    // Replaces the clock that getTimeAsFloat reads (a host stepping time by a fixed amount
    // per frame makes it follow that step); an empty function restores the steady clock.
    static void setTimeSource(std::function<float()> source);

    // Fills year, month (1 to 12), day of month, hour (0 to 23), minute, second and
    // millisecond (0 to 999) of the current local time.
    static void getClockTimeComponent(int32_t components[7]);

    // A phrase for a past date seen at `now`: "Less than a minute ago", "One minute ago",
    // "%d minutes ago", "One hour ago", "%d hours ago" (under 12 hours), the short time
    // (earlier the same day), "Yesterday at <short time>", "%d days ago" (under 8 days), or
    // the date in the medium style. Times and dates follow the C library's LC_TIME locale.
    static std::string softFormatDate(std::chrono::system_clock::time_point date,
                                      std::chrono::system_clock::time_point now = std::chrono::system_clock::now());
};

#endif
