#include "stamp.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace {

// A run of digits in the field.
struct Digits {
    int at = 0, length = 0;
};

// Where each part of the time stands in the field; -1: not there.
struct Layout {
    int year = -1, month = -1, day = -1, hour = -1, minute = -1, second = -1, fraction = -1;
    bool utc = false;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int valueOf(std::span<const char> field, const Digits& digits)
{
    int value = 0;
    for (int i = 0; i < digits.length; ++i) value = value * 10 + (field[std::size_t(digits.at + i)] - '0');
    return value;
}

// The field as runs of digits and the one character between each two.
int split(std::span<const char> field, Digits (&runs)[8], char (&between)[8], bool& endsInZ)
{
    int count = 0;
    std::size_t at = 0;
    endsInZ = false;
    while (at < field.size()) {
        if (!isDigit(field[at]) || count == 8) return -1;
        Digits& run = runs[count];
        run = {int(at), 0};
        while (at < field.size() && isDigit(field[at])) ++at, ++run.length;
        between[count++] = at < field.size() ? field[at] : '\0';
        if (at == field.size()) break;
        if (field[at] == 'Z' && at + 1 == field.size()) {
            endsInZ = true;
            break;
        }
        ++at;  // the separator
        if (at == field.size()) return -1;
    }
    return count;
}

// "2026-03-14 09:30:00", "14.03.2026 09:30:00.250", "03/14/26 09:30", "09:30:00".
bool readLayout(std::span<const char> field, const Digits (&runs)[8], const char (&between)[8], int count,
                Layout& layout)
{
    int next = 0;
    const bool date = count >= 3 && between[0] == between[1] && (between[0] == '-' || between[0] == '/' || between[0] == '.');
    if (date) {
        const char separator = between[0];
        if (runs[0].length == 4) {
            layout = {0, 1, 2};
        } else if (separator == '/' && valueOf(field, runs[0]) <= 12) {
            layout = {2, 0, 1};  // the American month/day/year
        } else {
            layout.year = 2, layout.month = 1, layout.day = 0;
        }
        next = 3;
        if (count > 3 && between[2] != ' ' && between[2] != 'T') return false;
    }
    if (count > next) {
        if (count - next < 2 || between[next] != ':') return false;
        layout.hour = next, layout.minute = next + 1;
        if (count - next >= 3) {
            if (between[next + 1] != ':') return false;
            layout.second = next + 2;
        }
        if (count - next == 4) {
            if (between[next + 2] != '.') return false;
            layout.fraction = next + 3;
        }
        if (count - next > 4) return false;
    } else if (!date) {
        return false;
    }
    for (int part : {layout.month, layout.day, layout.hour, layout.minute, layout.second})
        if (part >= 0 && (runs[part].length < 1 || runs[part].length > 2)) return false;
    if (layout.year >= 0 && runs[layout.year].length != 4 && runs[layout.year].length != 2) return false;
    return true;
}

// Digits of value into out: as many as the field had when it had a leading
// zero or a fixed width, else as many as the value needs.
int put(char* out, const Digits& digits, long long value, bool natural)
{
    char text[20];
    int count = 0;
    do text[count++] = char('0' + value % 10), value /= 10;
    while (value > 0);
    const int width = natural ? std::max(count, digits.length) : digits.length;
    for (int i = 0; i < width; ++i) out[i] = i < width - count ? '0' : text[width - 1 - i];
    return width;
}

}  // namespace

int StampNow(std::span<char> buffer, int length, std::chrono::system_clock::time_point now)
{
    const std::span<const char> record = buffer.first(std::size_t(length));
    std::size_t end = 0;
    while (end < record.size() && record[end] != ',') ++end;
    const std::span<const char> field = record.first(end);
    Digits runs[8];
    char between[8];
    bool utc = false;
    const int count = split(field, runs, between, utc);
    Layout layout;
    if (count <= 0 || !readLayout(field, runs, between, count, layout)) return -1;
    const auto since = now.time_since_epoch();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const std::tm* parts = utc ? std::gmtime(&seconds) : std::localtime(&seconds);
    if (!parts) return -1;
    long long fraction = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() % 1'000'000'000;
    if (layout.fraction >= 0)  // as many digits of the second as the record gives, cut, not rounded
        for (int digits = 9; digits > runs[layout.fraction].length; --digits) fraction /= 10;
    const long long values[] = {parts->tm_year + 1900LL, parts->tm_mon + 1LL, parts->tm_mday + 0LL, parts->tm_hour + 0LL,
                                parts->tm_min + 0LL,     parts->tm_sec + 0LL, fraction};
    const int where[] = {layout.year, layout.month, layout.day, layout.hour, layout.minute, layout.second, layout.fraction};
    // The new field, separators as they stand.
    char stamped[64];
    int size = 0;
    for (int run = 0; run < count; ++run) {
        long long value = 0;
        bool natural = false;
        for (int part = 0; part < 7; ++part) {
            if (where[part] != run) continue;
            value = part == 0 && runs[run].length == 2 ? values[part] % 100 : values[part];
            natural = part >= 1 && part <= 3 && runs[run].length == 1;  // "3/14/2026 9:30"
        }
        size += put(stamped + size, runs[run], value, natural);
        if (between[run] != '\0' && run + 1 < count) stamped[size++] = between[run];
    }
    if (utc) stamped[size++] = 'Z';
    const int grown = size - int(field.size());
    if (length + grown > int(buffer.size())) return -1;
    std::memmove(buffer.data() + size, buffer.data() + field.size(), std::size_t(length) - field.size());
    std::memcpy(buffer.data(), stamped, std::size_t(size));
    return length + grown;
}
