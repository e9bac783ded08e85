// Where a recording's bytes go: the output file while recording, memory
// while a recording on disk is checked or fixed.
#pragma once

#include <cstdint>
#include <span>
#include <string>

class ByteSink {
public:
    virtual ~ByteSink() = default;

    // All of bytes, or false; a failed write may have left a part of them.
    virtual bool write(std::span<const char> bytes) = 0;
    // Bytes of the writes that succeeded.
    virtual std::int64_t written() const = 0;
    // Bytes held, the part of a failed write included.
    virtual std::int64_t held() const = 0;
    // Keeps the first size bytes held; later writes follow them.
    virtual bool cut(std::int64_t size) = 0;
};

class MemorySink final : public ByteSink {
public:
    bool write(std::span<const char> bytes) override
    {
        bytes_.append(bytes.data(), bytes.size());
        return true;
    }
    std::int64_t written() const override { return std::int64_t(bytes_.size()); }
    std::int64_t held() const override { return written(); }
    bool cut(std::int64_t size) override
    {
        if (size < written()) bytes_.resize(std::size_t(size));
        return true;
    }
    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
};
