#pragma once

#include <cstdint>
#include <string>

namespace ostrel {

// A counter label such as "Bytes Received = 12". The caption is always its
// fixed prefix followed by one decimal number, so it keeps the number and makes
// the text only when somebody looks: the engine sets it for every byte, the
// window shows it once per chunk.
class CounterCaption {
public:
    explicit CounterCaption(std::string prefix)
        : prefix_(std::move(prefix))
    {
    }

    void set(std::int64_t value) { value_ = value; }
    std::int64_t value() const { return value_; }
    std::string text() const { return prefix_ + std::to_string(value_); }

private:
    std::string prefix_;
    std::int64_t value_ = 0;
};

} // namespace ostrel
