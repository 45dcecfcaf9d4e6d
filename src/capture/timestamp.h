// SPDX-License-Identifier: Apache-2.0
// The capture format's times and dates, read and written in one place: the capture reader, the
// offline decoder's header stamp and the tool all use these.
#ifndef RIZORODOZIDO_SRC_CAPTURE_TIMESTAMP_H
#define RIZORODOZIDO_SRC_CAPTURE_TIMESTAMP_H

#include <cstddef>
#include <string_view>

#include <RizOrodOzido/capture.h>

namespace rizorod::detail {

// "HH:MM:SS.mmm": hours 0 to 23, minutes 0 to 59, seconds 0 to 60 (a leap second), exactly three
// digits of milliseconds. Sets the time of `t` and nothing else.
bool read_time_of_day(std::string_view text, Timestamp& t);
// "YYYY-MM-DD" of a day that the month has. Sets the date of `t` and nothing else.
bool read_date(std::string_view text, Timestamp& t);

// "HH:MM:SS.mmm" into `out`, or the header line's own fallback "??:??:??.???" for a time that no
// clock can show.
constexpr std::size_t kTimeOfDayLength = 12;
void write_time_of_day(const Timestamp& t, char* out);

}  // namespace rizorod::detail

#endif
