// Tests of QzDate's relative-date phrases (the clocks are tested through platformWrappers).
#include <ctime>

#include <gtest/gtest.h>

#include "QzDate.h"

namespace {

using std::chrono::system_clock;

system_clock::time_point localTime(int year, int month, int day, int hour, int minute) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_isdst = -1;
    return system_clock::from_time_t(std::mktime(&parts));
}

TEST(QzDate, SoftFormatDatePhrasesInTheCLocale) {
    const auto now = localTime(2026, 3, 10, 15, 30);
    using std::chrono::seconds, std::chrono::minutes, std::chrono::hours;
    const struct {
        system_clock::duration age;
        const char* phrase;
    } cases[] = {
        {seconds(30), "Less than a minute ago"},
        {seconds(90), "One minute ago"},
        {seconds(150), "2 minutes ago"},
        {minutes(65), "One hour ago"},
        {hours(5) + minutes(59), "5 hours ago"},
        {hours(13), "02:30"},
        {hours(30), "Yesterday at 09:30"},
        {hours(24 * 3 + 5), "3 days ago"},
        {hours(24 * 20), "Feb 18, 2026"},
    };
    for (const auto& c : cases) EXPECT_EQ(QzDate::softFormatDate(now - c.age, now), c.phrase);
}

}  // namespace
