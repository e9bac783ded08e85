#include "outqueue.h"

void OutputQueue::reserve(std::size_t capacity)
{
    bytes_.reserve(capacity);
    unsent_.reserve(capacity);
}

void OutputQueue::push(std::span<const char> record, std::size_t sent)
{
    if (sent >= record.size()) return;
    if (bytes_.empty()) frontStarted_ = sent > 0;
    bytes_.append(record.data() + sent, record.size() - sent);
    unsent_.push_back(record.size() - sent);
}

void OutputQueue::pushTail(std::string_view tail)
{
    if (tail.empty()) return;
    bytes_.insert(0, tail);
    unsent_.insert(unsent_.begin(), tail.size());
    frontStarted_ = true;
}

void OutputQueue::consume(std::size_t n)
{
    bytes_.erase(0, n);
    std::size_t whole = 0;
    while (n > 0 && whole < unsent_.size()) {
        if (n >= unsent_[whole]) {
            n -= unsent_[whole++];
            frontStarted_ = false;
        } else {
            unsent_[whole] -= n;
            n = 0;
            frontStarted_ = true;
        }
    }
    unsent_.erase(unsent_.begin(), unsent_.begin() + std::ptrdiff_t(whole));
}

std::string_view OutputQueue::tornTail() const
{
    if (!frontStarted_ || unsent_.empty()) return {};
    return std::string_view(bytes_).substr(0, unsent_.front());
}

void OutputQueue::clear()
{
    bytes_.clear();
    unsent_.clear();
    frontStarted_ = false;
}
