#pragma once
// A value or a typed error; the core reports failures through this, never by
// printing or exiting.
//
// Result follows C++23's std::expected member for member, so that moving to
// it is a rename: Result -> std::expected, Unexpected -> std::unexpected,
// BadResultAccess -> std::bad_expected_access. Hence an error is returned as
// `Unexpected(error)`, never converted implicitly, and value() on an error
// throws rather than aborts: a front-end's last-resort handler can still
// report it and clean up.

#include <cassert>
#include <exception>
#include <type_traits>
#include <utility>
#include <variant>

namespace binconv {

struct Unit {};

// An error on its way into a Result.
template <class E>
class Unexpected {
 public:
  constexpr explicit Unexpected(E error) : error_(std::move(error)) {}

  constexpr E& error() & { return error_; }
  constexpr const E& error() const& { return error_; }
  constexpr E&& error() && { return std::move(error_); }

 private:
  E error_;
};

template <class E>
Unexpected(E) -> Unexpected<E>;

// Thrown by value() on a Result that holds an error.
template <class E>
class BadResultAccess : public std::exception {
 public:
  explicit BadResultAccess(E error) : error_(std::move(error)) {}
  const char* what() const noexcept override { return "value() of a Result that holds an error"; }
  const E& error() const& { return error_; }

 private:
  E error_;
};

template <class T, class E>
class [[nodiscard]] Result {
 public:
  using value_type = T;
  using error_type = E;
  using unexpected_type = Unexpected<E>;

  template <class U = T,
            std::enable_if_t<std::is_convertible_v<U&&, T> &&
                                 !std::is_same_v<std::remove_cvref_t<U>, Result> &&
                                 !std::is_same_v<std::remove_cvref_t<U>, Unexpected<E>>,
                             int> = 0>
  constexpr Result(U&& value)  // NOLINT: implicit, as std::expected's
      : v_(std::in_place_index<0>, std::forward<U>(value)) {}
  template <class G>
  constexpr Result(Unexpected<G> error)  // NOLINT: implicit, as std::expected's
      : v_(std::in_place_index<1>, std::move(error).error()) {}

  constexpr bool has_value() const noexcept { return v_.index() == 0; }
  constexpr explicit operator bool() const noexcept { return has_value(); }

  // Preconditions, as std::expected's: a value for *, ->, an error for error().
  constexpr T& operator*() & { return *Get<0>(); }
  constexpr const T& operator*() const& { return *Get<0>(); }
  constexpr T&& operator*() && { return std::move(*Get<0>()); }
  constexpr T* operator->() { return Get<0>(); }
  constexpr const T* operator->() const { return Get<0>(); }
  constexpr E& error() & { return *Get<1>(); }
  constexpr const E& error() const& { return *Get<1>(); }
  constexpr E&& error() && { return std::move(*Get<1>()); }

  constexpr T& value() & {
    Check();
    return **this;
  }
  constexpr const T& value() const& {
    Check();
    return **this;
  }
  constexpr T&& value() && {
    Check();
    return std::move(**this);
  }

  template <class U>
  constexpr T value_or(U&& fallback) const& {
    return has_value() ? **this : static_cast<T>(std::forward<U>(fallback));
  }
  template <class U>
  constexpr T value_or(U&& fallback) && {
    return has_value() ? std::move(**this) : static_cast<T>(std::forward<U>(fallback));
  }

 private:
  template <std::size_t I>
  constexpr auto* Get() {
    assert(v_.index() == I);
    return std::get_if<I>(&v_);
  }
  template <std::size_t I>
  constexpr const auto* Get() const {
    assert(v_.index() == I);
    return std::get_if<I>(&v_);
  }
  constexpr void Check() const {
    if (!has_value()) throw BadResultAccess<E>(error());
  }

  std::variant<T, E> v_;
};

}  // namespace binconv
