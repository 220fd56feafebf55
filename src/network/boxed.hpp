#pragma once
// A value kept on the heap, used as an optional is: a record that only some nodes carry (a
// street inlet, 170 bytes) costs the others one pointer, so that the nodes every analysis walks
// stay small enough to share the cache. Copies are deep; equality compares the values.

#include <memory>
#include <optional>
#include <utility>

namespace rillway::network {

template <class T>
class Boxed {
public:
    Boxed() noexcept = default;
    Boxed(std::nullopt_t) noexcept {}  // NOLINT(google-explicit-constructor): as optional's
    Boxed(T value) : value_(std::make_unique<T>(std::move(value))) {}  // NOLINT
    Boxed(std::optional<T> value)  // NOLINT
        : value_(value ? std::make_unique<T>(std::move(*value)) : nullptr) {}
    Boxed(const Boxed& other) : value_(other.value_ ? std::make_unique<T>(*other.value_) : nullptr) {}
    Boxed(Boxed&&) noexcept = default;
    Boxed& operator=(const Boxed& other) {
        if (this != &other) value_ = other.value_ ? std::make_unique<T>(*other.value_) : nullptr;
        return *this;
    }
    Boxed& operator=(Boxed&&) noexcept = default;
    ~Boxed() = default;

    [[nodiscard]] bool has_value() const noexcept { return value_ != nullptr; }
    explicit operator bool() const noexcept { return has_value(); }
    [[nodiscard]] T& operator*() noexcept { return *value_; }
    [[nodiscard]] const T& operator*() const noexcept { return *value_; }
    [[nodiscard]] T* operator->() noexcept { return value_.get(); }
    [[nodiscard]] const T* operator->() const noexcept { return value_.get(); }
    void reset() noexcept { value_.reset(); }

    friend bool operator==(const Boxed& a, const Boxed& b) {
        return a.value_ && b.value_ ? *a.value_ == *b.value_ : !a.value_ && !b.value_;
    }

private:
    std::unique_ptr<T> value_;
};

}  // namespace rillway::network
