// Time that moves on: a text record's first field, its timestamp, rewritten
// to the time the record is sent, in the layout the record uses (date order,
// separators, digits of the fraction as they stand), so that a station sees
// time go forward across the loop instead of jumping back.
#pragma once

#include <chrono>
#include <span>

// Rewrites the timestamp at the start of the record of length characters in
// buffer (the field up to its first comma), to now in local time (in UTC
// where it ends in Z). A part written without a leading zero ("9:30:00")
// stays so, and may grow by a digit, so the record's length may change:
// returns the new length, or -1 (the record as it was) when the field is no
// timestamp or the record would not fit. Allocates nothing.
int StampNow(std::span<char> buffer, int length, std::chrono::system_clock::time_point now);
