// What a port has accepted and its driver has not yet taken, kept by record:
// each record goes out whole, so the queue knows where the record in flight
// ends. No allocation once reserved.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

class OutputQueue {
public:
    void reserve(std::size_t capacity);
    std::size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    // A record whose first `sent` bytes the driver has taken already.
    void push(std::span<const char> record, std::size_t sent);
    // The rest of a record whose head went out before (on an earlier open).
    void pushTail(std::string_view tail);
    std::span<const char> front() const { return {bytes_.data(), bytes_.size()}; }
    // The driver took n bytes from the front.
    void consume(std::size_t n);
    // The unsent rest of a record whose head has reached the driver; empty when
    // the front of the queue starts a record.
    std::string_view tornTail() const;
    void clear();

private:
    std::string bytes_;
    std::vector<std::size_t> unsent_;  // per record, bytes not yet taken
    bool frontStarted_ = false;
};
