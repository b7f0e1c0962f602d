// QzDate: clocks and relative-date phrases.
#include "QzDate.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <mutex>

#include <langinfo.h>

namespace {

using std::chrono::system_clock;

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Expands the composite conversions a locale's formats may use into their parts.
std::string expandComposites(std::string format) {
    const struct {
        const char* composite;
        const char* parts;
    } composites[] = {{"%T", "%H:%M:%S"}, {"%r", nl_langinfo(T_FMT_AMPM)}, {"%R", "%H:%M"}, {"%D", "%m/%d/%y"}};
    for (const auto& c : composites) {
        for (size_t at = format.find(c.composite); at != std::string::npos; at = format.find(c.composite)) {
            format.replace(at, 2, *c.parts ? c.parts : "%I:%M:%S %p");
        }
    }
    return format;
}

// The locale's time format without its seconds: the short time style.
std::string shortTimeFormat() {
    std::string format = expandComposites(nl_langinfo(T_FMT));
    const size_t seconds = format.find("%S");
    if (seconds != std::string::npos) {
        // The separator before the seconds goes too, unless it ends another conversion.
        const size_t from = seconds >= 2 && format[seconds - 2] != '%' ? seconds - 1 : seconds;
        format.erase(from, seconds + 2 - from);
    }
    return format;
}

// The medium date style: the abbreviated month name, the day and the four-digit year, with
// the day before the month where the locale's own date format puts it first.
std::string mediumDateFormat() {
    const std::string format = expandComposites(nl_langinfo(D_FMT));
    const size_t day = format.find("%d"), month = format.find("%m");
    const bool dayFirst = day != std::string::npos && month != std::string::npos && day < month;
    return dayFirst ? "%e %b %Y" : "%b %e, %Y";
}

std::string formatLocal(system_clock::time_point date, const std::string& format) {
    const std::time_t seconds = system_clock::to_time_t(date);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[128];
    const size_t length = std::strftime(text, sizeof text, format.c_str(), &local);
    std::string result(text, length);
    // %e pads a one-digit day with a space; a written date has none.
    for (size_t at = result.find("  "); at != std::string::npos; at = result.find("  ")) result.erase(at, 1);
    if (!result.empty() && result[0] == ' ') result.erase(0, 1);
    return result;
}

std::string withNumber(const char* format, int number) {
    char text[64];
    std::snprintf(text, sizeof text, format, number);
    return text;
}

}  // namespace

namespace {

std::mutex timeSourceMutex;
std::function<float()> timeSource;  // guarded by timeSourceMutex; empty: the steady clock

}  // namespace

void QzDate::setTimeSource(std::function<float()> source) {
    std::lock_guard lock(timeSourceMutex);
    timeSource = std::move(source);
}

float QzDate::getTimeAsFloat() {
    {
        std::lock_guard lock(timeSourceMutex);
        if (timeSource) return timeSource();
    }
    static std::atomic<double> start{-1.0};
    const double now = steadySeconds();
    double expected = -1.0;
    if (start.compare_exchange_strong(expected, now)) return 0.0f;
    return static_cast<float>(now - expected);
}

void QzDate::getClockTimeComponent(int32_t components[7]) {
    const system_clock::time_point now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const double sinceEpoch = std::chrono::duration<double>(now.time_since_epoch()).count();
    components[0] = local.tm_year + 1900;
    components[1] = local.tm_mon + 1;
    components[2] = local.tm_mday;
    components[3] = local.tm_hour;
    components[4] = local.tm_min;
    components[5] = local.tm_sec;
    components[6] = static_cast<int32_t>(std::fmod(sinceEpoch * 1000.0, 1000.0));
}

std::string QzDate::softFormatDate(system_clock::time_point date, system_clock::time_point now) {
    const double minutes = std::chrono::duration<double>(now - date).count() / 60.0;
    const double hours = minutes / 60.0, days = hours / 24.0;
    if (days < 1 && hours < 1 && minutes < 1) return "Less than a minute ago";
    if (days < 1 && hours < 1) {
        const int whole = static_cast<int>(minutes);
        return whole == 1 ? "One minute ago" : withNumber("%d minutes ago", whole);
    }
    if (days < 1 && hours < 12) {
        const int whole = static_cast<int>(hours);
        return whole == 1 ? "One hour ago" : withNumber("%d hours ago", whole);
    }
    if (days < 1) return formatLocal(date, shortTimeFormat());
    if (days < 2) return "Yesterday at " + formatLocal(date, shortTimeFormat());
    if (days < 8) return withNumber("%d days ago", static_cast<int>(days));
    return formatLocal(date, mediumDateFormat());
}
